// BenchSupport.h - what the end-to-end benchmarks share: private directories,
// child processes with bounded waits, a running agent, memory samples of a
// process and a few statistics.
//
// Thread-safety: free functions are safe from any thread; a MemorySampler
// and an AgentProcess are each used from one thread.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start);

// A fresh directory under $TMPDIR (or /tmp), mode 0700, removed with its
// contents on destruction.
class TempDir {
public:
    explicit TempDir(const char* stem);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

void MakeDirectory(const std::string& path);

struct ChildOptions {
    std::string workingDirectory;             // empty: inherited
    std::vector<std::string> environment;     // NAME=VALUE added to ours
    bool discardOutput = true;                // stdout to /dev/null
};

// Starts argv[0] (a path) with the options; the child's pid, or -1.
pid_t StartChild(const std::vector<std::string>& argv, const ChildOptions& options);
// Waits up to timeoutMs for the child; its exit status (0..255), 128 + the
// signal that ended it, or -1 when it did not end in time (it is then killed).
int WaitChild(pid_t pid, int timeoutMs);
// StartChild and WaitChild together; exits the benchmark when the program
// cannot be started.
int RunChild(const std::vector<std::string>& argv, const ChildOptions& options, int timeoutMs);

// The agent under test, started in a working directory of its own; with
// withLog its sibling ../log exists and the agent writes its log there.
class AgentProcess {
public:
    AgentProcess(const std::string& binDir, const std::string& root, const std::string& divizeDir,
                 const std::string& eventLogDir, bool withLog);
    ~AgentProcess();   // SIGTERM, then a bounded wait
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// Kilobytes of a /proc/<pid>/status field ("VmRSS", "VmHWM"); -1 if absent.
long StatusKb(pid_t pid, const char* field);

// Samples VmRSS of a process every few milliseconds on its own thread and
// keeps the largest value seen.
class MemorySampler {
public:
    explicit MemorySampler(pid_t pid);
    ~MemorySampler();   // stops and joins
    MemorySampler(const MemorySampler&) = delete;
    MemorySampler& operator=(const MemorySampler&) = delete;
    long PeakKb() const { return peakKb_.load(); }

private:
    pid_t pid_;
    std::atomic<bool> stop_{false};
    std::atomic<long> peakKb_{0};
    std::thread thread_;
};

double Median(std::vector<double> values);
double Percentile(std::vector<double> values, double fraction);

// The directory holding this executable (the build's bin directory).
std::string ExecutableDirectory();

// "12.3 us", "4.56 ms", "1.23 s".
std::string FormatDuration(double seconds);

}  // namespace bench
