// SignalFreeThread.h - starts a library thread with every signal blocked, so
// that signals meant for the application are never handled on our threads.
#pragma once

#include <signal.h>

#include <system_error>
#include <thread>
#include <utility>

namespace divize {

// Returns a running thread, or a non-joinable one when it could not start.
template <typename Function>
std::thread StartSignalFreeThread(Function&& function) {
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    std::thread thread;
    try {
        thread = std::thread(std::forward<Function>(function));
    } catch (const std::system_error&) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return thread;
}

}  // namespace divize
