#include "time/Clock.h"

#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "time/CivilCalendar.h"
#include "win32/win32.h"
#include "win32/win32_testing.h"

namespace {

// The fixed instant and whether it is in use; written only by the test seam.
std::atomic<bool> g_fixedClockActive{false};
std::atomic<std::int64_t> g_fixedClockMicroseconds{0};

std::int64_t RealClockMicroseconds() {
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) {
        // CLOCK_REALTIME always exists; a failure here is a broken system.
        std::fputs("platform: clock_gettime(CLOCK_REALTIME) failed\n", stderr);
        std::abort();
    }
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

}  // namespace

namespace win32_internal {

std::int64_t NowMicroseconds() {
    if (g_fixedClockActive.load(std::memory_order_acquire)) {
        return g_fixedClockMicroseconds.load(std::memory_order_relaxed);
    }
    return RealClockMicroseconds();
}

ClockReading ReadClock() {
    const std::int64_t micros = NowMicroseconds();
    std::int64_t seconds = micros / 1'000'000;
    std::int64_t rest = micros % 1'000'000;
    if (rest < 0) {
        rest += 1'000'000;
        --seconds;
    }
    return ClockReading{seconds, static_cast<unsigned>(rest / 1000)};
}

}  // namespace win32_internal

namespace win32_testing {

void SetFixedClock(std::int64_t unixMicroseconds) {
    g_fixedClockMicroseconds.store(unixMicroseconds, std::memory_order_relaxed);
    g_fixedClockActive.store(true, std::memory_order_release);
}

void UseRealClock() {
    g_fixedClockActive.store(false, std::memory_order_release);
}

}  // namespace win32_testing

std::int64_t CurrentUnixTime() {
    return win32_internal::ReadClock().seconds;
}

void GetSystemTime(SYSTEMTIME* systemTime) {
    if (systemTime == nullptr) return;
    const auto now = win32_internal::ReadClock();
    if (!win32_internal::SystemTimeFromUnixSeconds(now.seconds, now.milliseconds, systemTime)) {
        *systemTime = SYSTEMTIME{};
    }
}
