// SIGTERM and SIGINT turned into WM_QUIT for one thread, through one owned
// signal thread that reads a signalfd (never from a signal handler).
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#include "core/Fatal.h"
#include "win32/win32.h"

namespace {

using win32_internal::CheckErrorNumber;
using win32_internal::Fatal;

// Thread-safety: Start runs under startMutex_; target_ is atomic; the
// destructor runs once, at process exit.
class TerminationSignalThread {
public:
    ~TerminationSignalThread() {
        if (!started_) return;
        // A forked child inherits this object but not the thread (and shares
        // the eventfd with its parent, which it must not wake).
        if (getpid() != ownerProcess_) return;
        const std::uint64_t one = 1;
        if (write(stopFd_, &one, sizeof one) != static_cast<ssize_t>(sizeof one)) {
            Fatal("write to the signal thread's eventfd", errno);
        }
        CheckErrorNumber(pthread_join(thread_, nullptr), "pthread_join of the signal thread");
        close(signalFd_);
        close(stopFd_);
    }

    void Start(DWORD targetThread) {
        std::lock_guard<std::mutex> lock(startMutex_);
        target_.store(targetThread);
        if (started_) return;

        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        // A peer that goes away must not kill the process through a write.
        if (sigaction(SIGPIPE, &ignore, nullptr) != 0) Fatal("sigaction(SIGPIPE)", errno);

        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGINT);
        CheckErrorNumber(pthread_sigmask(SIG_BLOCK, &signals, nullptr), "pthread_sigmask");
        signalFd_ = signalfd(-1, &signals, SFD_CLOEXEC);
        if (signalFd_ < 0) Fatal("signalfd", errno);
        stopFd_ = eventfd(0, EFD_CLOEXEC);
        if (stopFd_ < 0) Fatal("eventfd", errno);
        CheckErrorNumber(pthread_create(&thread_, nullptr, &TerminationSignalThread::Main, this),
                         "pthread_create of the signal thread");
        ownerProcess_ = getpid();
        started_ = true;
    }

private:
    static void* Main(void* self) {
        static_cast<TerminationSignalThread*>(self)->Loop();
        return nullptr;
    }

    void Loop() {
        for (;;) {
            pollfd fds[2] = {{signalFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                Fatal("poll in the signal thread", errno);
            }
            if (fds[1].revents != 0) return;
            if (fds[0].revents != 0) {
                signalfd_siginfo info{};
                const ssize_t got = read(signalFd_, &info, sizeof info);
                if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
                if (got != static_cast<ssize_t>(sizeof info)) Fatal("read of the signalfd", errno);
                // The target may have ended already; then there is no one to tell.
                PostThreadMessageA(target_.load(), WM_QUIT, 0, 0);
            }
        }
    }

    std::mutex startMutex_;
    std::atomic<DWORD> target_{0};
    bool started_ = false;
    pid_t ownerProcess_ = 0;
    pthread_t thread_{};
    int signalFd_ = -1;
    int stopFd_ = -1;
};

}  // namespace

void PostQuitOnTerminationSignals(DWORD threadId) {
    // Destroyed at process exit, which stops and joins the signal thread.
    static TerminationSignalThread signalThread;
    signalThread.Start(threadId);
}
