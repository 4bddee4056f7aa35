// FaultSupport.h - real processes for the fault, load and security tests: a
// private sandbox per test (endpoint directory, working and log directories,
// event-log directory), children with bounded waits, the agent and its
// clients, and what /proc says about a process.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fault_test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Bound for anything a healthy agent does in one step, sanitizers included.
inline constexpr std::chrono::milliseconds kPatience = 60s;

// Directory of the running test binary: every program of the build is there.
std::string BinaryDirectory();

// Exit status of a child: the exit code, or -signal when a signal ended it.
inline constexpr int kStillRunning = 1000;

struct ChildSpec {
    std::vector<std::string> argv;                   // argv[0] is the program path
    std::string workingDirectory;                    // empty: the test's own
    std::map<std::string, std::string> environment;  // set over the inherited one
    std::string outputPath;                          // stdout+stderr go here; empty: a pipe
};

// A child process. Killed with SIGKILL and reaped on destruction, so no test
// leaves one behind. Not thread-safe.
class Child {
public:
    explicit Child(ChildSpec spec);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return pid_; }
    bool Started() const { return pid_ > 0; }
    void Signal(int signal);
    // Exit status (see above), or kStillRunning when the child has not ended
    // within the patience.
    int Wait(std::chrono::milliseconds patience = kPatience);
    // Everything written to the pipe until the child closes it or the
    // patience ends (only without outputPath).
    std::string ReadAll(std::chrono::milliseconds patience = kPatience);

private:
    pid_t pid_ = -1;
    int pipe_ = -1;
    std::optional<int> status_;
};

// Runs a program to its end; status as Child::Wait.
struct RunResult {
    int status;
    std::string output;
};

// VmRSS in KiB and the number of open descriptors of a live process; -1
// when /proc cannot tell.
long ResidentKiB(pid_t pid);
long OpenDescriptors(pid_t pid);
// Stops the process with SIGSTOP and waits until it is stopped; false when
// it did not stop within the patience.
bool Freeze(pid_t pid);

// A private tree for one test in /dev/shm (else /tmp), removed afterwards:
//   root/        mode 0700
//   root/ep      DIVIZE_DIR (created by the library)
//   root/work    the agent's working directory, root/log its log directory
//   root/evt     EVENTLOG_DIR
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& Root() const { return root_; }
    std::string EndpointDirectory() const { return root_ + "/ep"; }
    std::string WorkDirectory() const { return root_ + "/work"; }
    std::string LogDirectory() const { return root_ + "/log"; }
    std::string AgentLogPath() const { return root_ + "/log/OrvaneAgent.log"; }
    std::string EventLogDirectory() const { return root_ + "/evt"; }
    std::string SystemLogPath() const { return root_ + "/evt/System.evt"; }
    // The environment every child of this sandbox gets.
    std::map<std::string, std::string> Environment() const;

private:
    std::string root_;
};

// System logs. Every record of the availability log qualifies (6005, 6006
// and 6008 in turn); computerLength sets how many characters each record's
// computer name has, which sets how big the report becomes.
bool WriteAvailabilityLog(const std::string& path, std::uint32_t records, std::size_t computerLength = 8);
// `records` records, one in ten qualifying (most of the log is scanned and
// skipped, as on a real machine).
bool WriteMixedLog(const std::string& path, std::uint32_t records);

// Fixture: a sandbox, the agent and its clients.
class AgentTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts OrvaneAgent in the sandbox (output to root/agent-N.out) and,
    // unless told otherwise, waits until it answers.
    std::unique_ptr<Child> StartAgent(const std::map<std::string, std::string>& extraEnvironment = {},
                                      bool waitUntilAnswering = true);
    // True once a code 7 query gets its answer (result 3) within the patience.
    bool WaitUntilAnswering(std::chrono::milliseconds patience = kPatience);
    // orvane-query with these arguments, run to its end.
    RunResult Query(const std::vector<std::string>& arguments,
                    std::chrono::milliseconds patience = kPatience);
    std::unique_ptr<Child> StartQuery(const std::vector<std::string>& arguments,
                                      const std::map<std::string, std::string>& extraEnvironment = {});
    // fault_client with these arguments.
    std::unique_ptr<Child> StartClient(const std::vector<std::string>& arguments);
    // The agent's log as it stands ("" when it cannot be read).
    std::string AgentLog() const;
    // Waits until the agent's log holds `text` at least `count` times.
    bool WaitForLog(const std::string& text, std::size_t count = 1,
                    std::chrono::milliseconds patience = kPatience) const;
    // The agent ended by SIGTERM: exit 0 and its last log line written.
    void StopAgentCleanly(Child& agent);

    std::unique_ptr<Sandbox> sandbox_;
    int agentStarts_ = 0;
};

std::size_t CountOccurrences(const std::string& text, const std::string& what);

}  // namespace fault_test
