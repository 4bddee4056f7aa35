// CivilCalendar.h - proleptic Gregorian calendar arithmetic on day counts
// (internal to the time services).
//
// The conversions between FILETIME, Unix seconds and SYSTEMTIME are done
// here rather than with gmtime/timegm, so that they cover the whole FILETIME
// range (years 1601 to 30828) whatever the C library's time_t limits are.
//
// Thread-safety: pure functions.
#pragma once

#include <cstdint>

#include "win32/win32.h"

namespace win32_internal {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kFileTimeUnitsPerSecond = 10'000'000;
// 100-ns intervals from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kFileTimeUnixEpoch = 116'444'736'000'000'000;

// Days from 1970-01-01 to the given date (month 1-12, day 1-31); negative
// before 1970.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);

struct CivilDate {
    std::int64_t year;
    unsigned month;      // 1-12
    unsigned day;        // 1-31
    unsigned dayOfWeek;  // 0 = Sunday
};
CivilDate CivilFromDays(std::int64_t daysSince1970);

bool IsLeapYear(std::int64_t year);
unsigned DaysInMonth(std::int64_t year, unsigned month);

// Calendar fields of Unix seconds (UTC), milliseconds given separately.
// False when the year does not fit a WORD (before 1 or after 65535).
bool SystemTimeFromUnixSeconds(std::int64_t unixSeconds, unsigned milliseconds,
                               SYSTEMTIME* out);

}  // namespace win32_internal
