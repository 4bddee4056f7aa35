// WorkerThread.h - the lifecycle shared by the library's two threads (the
// delivery thread and the writer): one owned thread, the descriptor that
// wakes it, and the running/stopping flags. The flags are guarded by the
// owner's mutex, which also guards the owner's own state; Start and the
// owner's Stop are serialised by `lifecycle`.
#pragma once

#include <mutex>
#include <thread>

#include "SignalFreeThread.h"
#include "UnixSockets.h"

namespace divize {

struct WorkerThread {
    bool running = false;   // guarded by the owner's mutex
    bool stopping = false;  // guarded by the owner's mutex
    UniqueFd wake;          // set while running
    std::thread thread;
    std::mutex lifecycle;   // serialises Start and the owner's Stop

    // Starts `body` on a new signal-free thread unless one runs. False when
    // the thread cannot start, or when it is being stopped.
    template <typename Body>
    bool Start(std::mutex& ownerMutex, Body body) {
        {
            std::lock_guard lock(ownerMutex);
            if (running && !stopping) return true;
        }
        std::lock_guard serial(lifecycle);
        std::lock_guard lock(ownerMutex);
        if (running) return !stopping;
        wake = MakeWakeFd();
        if (!wake.Valid()) return false;
        thread = StartSignalFreeThread(std::move(body));
        if (!thread.joinable()) {
            wake.Reset();
            return false;
        }
        running = true;
        return true;
    }

    // With `lifecycle` held by the caller: marks the thread stopping, wakes
    // and joins it. False (nothing done) when it was not running.
    bool StopAndJoin(std::mutex& ownerMutex) {
        {
            std::lock_guard lock(ownerMutex);
            if (!running) return false;
            stopping = true;
            SignalWakeFd(wake.Get());
        }
        thread.join();
        return true;
    }

    // With the owner's mutex held, after the owner's own clean-up.
    void MarkStoppedLocked() {
        wake.Reset();
        running = false;
        stopping = false;
    }
};

}  // namespace divize
