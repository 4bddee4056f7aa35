#include "BenchSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace bench {

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TempDir::TempDir(const char* stem) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + stem + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void MakeDirectory(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) {
        std::fprintf(stderr, "bench: cannot create %s: %s\n", path.c_str(), error.message().c_str());
        std::exit(1);
    }
}

pid_t StartChild(const std::vector<std::string>& argv, const ChildOptions& options) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
    for (const std::string& entry : options.environment) {
        const std::size_t eq = entry.find('=');
        setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
    }
    if (options.discardOutput) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDOUT_FILENO);
    }
    execv(args[0], args.data());
    _exit(127);
}

int WaitChild(pid_t pid, int timeoutMs) {
    const Clock::time_point start = Clock::now();
    int delayMs = 1;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
            return -1;
        }
        if (done < 0 && errno != EINTR) return -1;
        if (SecondsSince(start) * 1000 >= timeoutMs) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        // A child's end is not a pollable event here; back off gently.
        poll(nullptr, 0, delayMs);
        delayMs = std::min(delayMs * 2, 20);
    }
}

int RunChild(const std::vector<std::string>& argv, const ChildOptions& options, int timeoutMs) {
    const pid_t pid = StartChild(argv, options);
    if (pid < 0) {
        std::perror("fork");
        std::exit(1);
    }
    const int status = WaitChild(pid, timeoutMs);
    if (status == 126 || status == 127) {
        std::fprintf(stderr, "bench: cannot run %s\n", argv[0].c_str());
        std::exit(1);
    }
    return status;
}

AgentProcess::AgentProcess(const std::string& binDir, const std::string& root,
                           const std::string& divizeDir, const std::string& eventLogDir,
                           bool withLog) {
    MakeDirectory(root + "/work");
    if (withLog) MakeDirectory(root + "/log");
    ChildOptions options;
    options.workingDirectory = root + "/work";
    options.environment = {"DIVIZE_DIR=" + divizeDir, "EVENTLOG_DIR=" + eventLogDir};
    pid_ = StartChild({binDir + "/OrvaneAgent"}, options);
    if (pid_ < 0) {
        std::perror("fork");
        std::exit(1);
    }
    // The node is there once its socket file is.
    const std::string socket = divizeDir + "/OrvaneAgent.sock";
    const Clock::time_point start = Clock::now();
    while (access(socket.c_str(), F_OK) != 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_ || SecondsSince(start) > 10) {
            std::fprintf(stderr, "bench: the agent did not start\n");
            std::exit(1);
        }
        poll(nullptr, 0, 2);
    }
}

AgentProcess::~AgentProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (WaitChild(pid_, 10000) < 0) std::fprintf(stderr, "bench: the agent had to be killed\n");
}

long StatusKb(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string wanted = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, wanted.size(), wanted) == 0) return std::atol(line.c_str() + wanted.size());
    }
    return -1;
}

MemorySampler::MemorySampler(pid_t pid) : pid_(pid) {
    thread_ = std::thread([this] {
        while (!stop_.load()) {
            const long kb = StatusKb(pid_, "VmRSS");
            if (kb > peakKb_.load()) peakKb_.store(kb);
            poll(nullptr, 0, 2);
        }
    });
}

MemorySampler::~MemorySampler() {
    stop_.store(true);
    thread_.join();
}

double Median(std::vector<double> values) { return Percentile(std::move(values), 0.5); }

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(std::lround(fraction * static_cast<double>(values.size() - 1)));
    return values[index];
}

std::string ExecutableDirectory() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

std::string FormatDuration(double seconds) {
    char text[32];
    if (seconds < 1e-6) {
        std::snprintf(text, sizeof text, "%.0f ns", seconds * 1e9);
    } else if (seconds < 1e-3) {
        std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
    } else if (seconds < 1) {
        std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    }
    return text;
}

}  // namespace bench
