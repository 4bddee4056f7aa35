// TimedWait.h - the one way the layer waits on a condition with a limit.
//
// std::condition_variable::wait_for turns into an absolute CLOCK_MONOTONIC
// deadline (pthread_cond_clockwait), which libfaketime (used by the
// end-to-end tests) does not translate: such a wait never ends under it.
// Waits here therefore give the kernel wall-clock deadlines, which
// libfaketime does translate, and measure what is left of the limit on the
// steady clock, so that a wall clock that jumps forward cannot end a wait
// early.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "win32/win32.h"

namespace win32_internal {

// Waits until ready() holds. timeoutMs 0 only tests ready(); INFINITE waits
// without a limit. Returns ready() at the end. lock must hold cv's mutex.
template <class Ready>
bool WaitWithTimeout(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                     DWORD timeoutMs, Ready ready) {
    if (ready()) return true;
    if (timeoutMs == 0) return false;
    if (timeoutMs == INFINITE) {
        cv.wait(lock, ready);
        return true;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!ready()) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return false;
        cv.wait_until(lock, std::chrono::system_clock::now() +
                                std::chrono::duration_cast<std::chrono::system_clock::duration>(left));
    }
    return true;
}

}  // namespace win32_internal
