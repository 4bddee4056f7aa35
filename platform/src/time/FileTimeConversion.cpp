// FILETIME <-> SYSTEMTIME, both in UTC (no zone involved).
#include <cstdint>

#include "time/CivilCalendar.h"
#include "win32/win32.h"

namespace {

using win32_internal::kFileTimeUnitsPerSecond;
using win32_internal::kSecondsPerDay;

constexpr std::uint64_t kLargestFileTime = 0x7FFF'FFFF'FFFF'FFFFull;

std::uint64_t Combine(const FILETIME& fileTime) {
    return static_cast<std::uint64_t>(fileTime.dwHighDateTime) << 32 | fileTime.dwLowDateTime;
}

// 1601-01-01 as days since 1970 (kFileTimeUnixEpoch / 10^7 / 86400 days back).
constexpr std::int64_t kDaysOf1601 = -134774;
static_assert(-kDaysOf1601 * kSecondsPerDay * kFileTimeUnitsPerSecond ==
              win32_internal::kFileTimeUnixEpoch);

}  // namespace

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
    if (fileTime == nullptr || systemTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::uint64_t units = Combine(*fileTime);
    if (units > kLargestFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto totalSeconds = static_cast<std::int64_t>(units / kFileTimeUnitsPerSecond);
    const auto milliseconds = static_cast<unsigned>(units % kFileTimeUnitsPerSecond / 10'000);
    const std::int64_t unixSeconds = totalSeconds + kDaysOf1601 * kSecondsPerDay;
    SYSTEMTIME fields{};
    if (!win32_internal::SystemTimeFromUnixSeconds(unixSeconds, milliseconds, &fields)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *systemTime = fields;
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime) {
    if (systemTime == nullptr || fileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const SYSTEMTIME& t = *systemTime;
    const bool valid = t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 &&
                       t.wDay >= 1 && t.wDay <= win32_internal::DaysInMonth(t.wYear, t.wMonth) &&
                       t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 &&
                       t.wMilliseconds < 1000;
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::int64_t days = win32_internal::DaysFromCivil(t.wYear, t.wMonth, t.wDay) - kDaysOf1601;
    const std::int64_t seconds =
        days * kSecondsPerDay + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
    const auto units = static_cast<std::uint64_t>(seconds * kFileTimeUnitsPerSecond +
                                                  t.wMilliseconds * std::int64_t{10'000});
    fileTime->dwLowDateTime = static_cast<DWORD>(units & 0xFFFF'FFFFu);
    fileTime->dwHighDateTime = static_cast<DWORD>(units >> 32);
    return TRUE;
}
