// Clock.h - the layer's one clock (internal to the time services).
//
// Every read of "now" in the time services goes through NowMicroseconds, so
// that win32_testing::SetFixedClock pins all of them at once. The real clock
// is clock_gettime(CLOCK_REALTIME), which libfaketime intercepts, so
// end-to-end tests can move the whole process in time as well.
//
// Thread-safety: all functions may be called from any thread.
#pragma once

#include <cstdint>

namespace win32_internal {

// Microseconds since 1970-01-01 00:00:00 UTC.
std::int64_t NowMicroseconds();

// Whole seconds since 1970 (rounded towards the past) and the milliseconds
// within that second, from one clock read.
struct ClockReading {
    std::int64_t seconds;
    unsigned milliseconds;
};
ClockReading ReadClock();

}  // namespace win32_internal
