// TestSupport.h - private endpoint directory and child processes for tests.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

// Gives this test process (and its children) an endpoint directory of its
// own, so that node names never meet another test's. Idempotent.
// The directory is removed when the process that made it ends.
inline void UsePrivateDivizeDir() {
    struct PrivateDirectory {
        PrivateDirectory() {
            char pattern[] = "/tmp/orvane-framework-XXXXXX";
            if (mkdtemp(pattern) == nullptr) return;
            path = pattern;
            owner = getpid();
            setenv("DIVIZE_DIR", path.c_str(), 1);
        }
        ~PrivateDirectory() {
            std::error_code ignored;
            if (!path.empty() && owner == getpid()) std::filesystem::remove_all(path, ignored);
        }
        std::string path;
        pid_t owner = 0;
    };
    static PrivateDirectory directory;
}

// Directory of the running test binary (the build's bin directory).
inline std::string BinaryDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// A child process with its standard output (and optionally error) captured.
class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> argv) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> args;
            for (auto& a : argv) args.push_back(a.data());
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(out[1]);
        stdout_ = out[0];
    }
    ~ChildProcess() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        if (stdout_ >= 0) close(stdout_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }

    // One line of standard output (without '\n'), or nothing by the deadline.
    std::optional<std::string> ReadLine(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto newline = buffered_.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffered_.substr(0, newline);
                buffered_.erase(0, newline + 1);
                return line;
            }
            if (!ReadSome(deadline)) return std::nullopt;
        }
    }

    // Everything the child writes until it closes its standard output.
    std::string ReadAll(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (ReadSome(deadline)) {
        }
        std::string all;
        all.swap(buffered_);
        return all;
    }

    // The exit status, or -1 when the child did not end by the deadline or
    // was ended by a signal (then -signal - 100).
    int Wait(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!status_) {
            int status = 0;
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -100 - WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return *status_;
    }

    void Terminate() {
        if (pid_ > 0 && !status_) kill(pid_, SIGTERM);
    }

private:
    bool ReadSome(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || stdout_ < 0) return false;
        pollfd fd{stdout_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) return false;
        char chunk[4096];
        const ssize_t got = read(stdout_, chunk, sizeof chunk);
        if (got <= 0) return false;
        buffered_.append(chunk, static_cast<std::size_t>(got));
        return true;
    }

    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string buffered_;
    std::optional<int> status_;
};

}  // namespace test_support
