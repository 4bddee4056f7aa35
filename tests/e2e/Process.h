// Process.h - starting the real programs from end-to-end tests.
//
// Every wait is bounded; a child still running when its Process object goes
// away is killed and reaped.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

// Directory of the running test program: the programs under test sit there.
inline std::filesystem::path BinaryDirectory() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

struct ProcessOptions {
    std::vector<std::string> argv;
    std::filesystem::path workingDirectory;
    std::map<std::string, std::string> environment;  // added to (or replacing) ours
    std::vector<std::string> unset;                  // removed from ours
    bool captureOutput = false;
};

class Process {
public:
    explicit Process(const ProcessOptions& options) {
        int pipeFds[2] = {-1, -1};
        if (options.captureOutput && pipe2(pipeFds, O_CLOEXEC) != 0) return;
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const std::string key = entry.substr(0, entry.find('='));
            bool drop = options.environment.count(key) != 0;
            for (const auto& name : options.unset) drop = drop || name == key;
            if (!drop) env.push_back(entry);
        }
        for (const auto& [key, value] : options.environment) env.push_back(key + "=" + value);
        std::vector<char*> argv;
        for (const auto& a : options.argv) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);

        pid_ = fork();
        if (pid_ == 0) {
            if (options.captureOutput) dup2(pipeFds[1], STDOUT_FILENO);
            if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        if (options.captureOutput) {
            close(pipeFds[1]);
            output_ = pipeFds[0];
        }
    }

    ~Process() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        if (output_ >= 0) close(output_);
    }

    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    bool Signal(int signal) const { return pid_ > 0 && kill(pid_, signal) == 0; }

    // Exit status (or 128 + signal), or nothing when still running at the
    // deadline. Reads captured output meanwhile so the child never blocks.
    std::optional<int> Wait(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!status_) {
            int status = 0;
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            Drain(20);
        }
        Drain(0);
        return status_;
    }

    bool Running() {
        if (status_) return false;
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return false;
        }
        return true;
    }

    const std::string& Output() const { return captured_; }

private:
    void Drain(int timeoutMs) {
        if (output_ < 0) {
            if (timeoutMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return;
        }
        pollfd fd{output_, POLLIN, 0};
        while (poll(&fd, 1, timeoutMs) > 0) {
            char buffer[4096];
            const ssize_t n = read(output_, buffer, sizeof buffer);
            if (n <= 0) {
                close(output_);
                output_ = -1;
                return;
            }
            captured_.append(buffer, static_cast<std::size_t>(n));
            timeoutMs = 0;
        }
    }

    pid_t pid_ = -1;
    int output_ = -1;
    std::string captured_;
    std::optional<int> status_;
};

}  // namespace e2e
