// The signals go to a child process, never to the test runner.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace {

constexpr int kWaitMs = 20000;   // bound for every wait on the child

class Child {
public:
    explicit Child(const char* mode) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            execl(SIGNAL_CHILD_PATH, SIGNAL_CHILD_PATH, mode, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        out_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    bool started() const { return pid_ > 0 && out_ >= 0; }
    pid_t pid() const { return pid_; }

    // One line of the child's output, without the newline; "" on timeout or EOF.
    std::string ReadLine() {
        std::string line;
        char c = 0;
        while (true) {
            pollfd fd{out_, POLLIN, 0};
            if (poll(&fd, 1, kWaitMs) <= 0) return "";
            if (read(out_, &c, 1) != 1) return "";
            if (c == '\n') return line;
            line += c;
        }
    }

    // The exit status, or -1 when the child did not end within the bound.
    int WaitForExit() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                reaped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            pollfd none{-1, 0, 0};
            poll(&none, 0, 10);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool reaped_ = false;
};

}  // namespace

TEST(TerminationSignalsTest, SigtermAndSigintPostQuitToTheThread) {
    for (int signal : {SIGTERM, SIGINT}) {
        Child child("wait");
        ASSERT_TRUE(child.started());
        ASSERT_EQ(child.ReadLine(), "ready");
        ASSERT_EQ(kill(child.pid(), signal), 0);
        EXPECT_EQ(child.ReadLine(), "quit") << "signal " << signal;
        EXPECT_EQ(child.WaitForExit(), 0) << "the process ends normally after the quit message";
    }
}

TEST(TerminationSignalsTest, NormalExitStopsTheSignalThread) {
    Child child("exit");
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.WaitForExit(), 0);
}
