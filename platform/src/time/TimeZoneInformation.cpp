// The Windows view of the local zone: GetTimeZoneInformation, the local
// clock, FileTimeToLocalFileTime and the kernel's bias words. All of them
// use the zone's regime at the layer's "now", never at another instant.
#include <atomic>
#include <cstdint>
#include <iterator>
#include <string>

#include "time/CivilCalendar.h"
#include "time/Clock.h"
#include "time/LocalZone.h"
#include "win32/win32.h"

namespace {

using win32_internal::ZoneState;

ZoneState CurrentZoneState(std::int64_t nowSeconds) {
    ZoneState state;
    if (!win32_internal::ZoneStateAt(nowSeconds, &state)) state = ZoneState{};
    return state;
}

// Zone abbreviations are ASCII in the tz database; anything else is shown
// as '?'. Cut to 31 units plus the terminator.
void CopyName(const std::string& name, WCHAR (&out)[32]) {
    std::size_t i = 0;
    for (; i < name.size() && i + 1 < std::size(out); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        out[i] = byte < 0x80 ? static_cast<WCHAR>(byte) : u'?';
    }
    for (; i < std::size(out); ++i) out[i] = 0;
}

LONG MinutesWest(std::int64_t offsetSeconds) {
    return static_cast<LONG>(-offsetSeconds / 60);
}

}  // namespace

namespace {
std::atomic<bool> g_failTimeZoneInformation{false};
}

namespace win32_testing {
void FailTimeZoneInformation(bool fail) { g_failTimeZoneInformation = fail; }
}  // namespace win32_testing

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) {
    if (g_failTimeZoneInformation) {
        SetLastError(ERROR_GEN_FAILURE);
        return TIME_ZONE_ID_INVALID;
    }
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    const std::int64_t now = win32_internal::ReadClock().seconds;
    const ZoneState current = CurrentZoneState(now);
    SYSTEMTIME localNow{};
    win32_internal::SystemTimeFromUnixSeconds(now + current.offsetSeconds, 0, &localNow);
    const win32_internal::ZoneRules rules = win32_internal::ZoneRulesForYear(localNow.wYear);

    TIME_ZONE_INFORMATION result{};
    if (!rules.hasDaylight) {
        result.Bias = MinutesWest(current.offsetSeconds);
        CopyName(current.abbreviation, result.StandardName);
        CopyName(current.abbreviation, result.DaylightName);
        *info = result;
        return TIME_ZONE_ID_UNKNOWN;
    }
    result.Bias = MinutesWest(rules.standardOffset);
    result.StandardBias = 0;
    result.DaylightBias = MinutesWest(rules.daylightOffset - rules.standardOffset);
    CopyName(rules.standardName, result.StandardName);
    CopyName(rules.daylightName, result.DaylightName);
    result.StandardDate = rules.standardDate;
    result.DaylightDate = rules.daylightDate;
    *info = result;
    return current.offsetSeconds == rules.daylightOffset ? TIME_ZONE_ID_DAYLIGHT
                                                         : TIME_ZONE_ID_STANDARD;
}

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) {
    if (fileTime == nullptr || localFileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::uint64_t units =
        static_cast<std::uint64_t>(fileTime->dwHighDateTime) << 32 | fileTime->dwLowDateTime;
    const std::int64_t offset =
        CurrentZoneState(win32_internal::ReadClock().seconds).offsetSeconds *
        win32_internal::kFileTimeUnitsPerSecond;
    // The shifted value must stay a valid FILETIME: not before 1601 and not
    // at or above 2^63.
    constexpr std::uint64_t kLimit = 0x8000'0000'0000'0000ull;
    if (units >= kLimit || (offset < 0 && units < static_cast<std::uint64_t>(-offset)) ||
        (offset > 0 && units >= kLimit - static_cast<std::uint64_t>(offset))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::uint64_t shifted = offset < 0 ? units - static_cast<std::uint64_t>(-offset)
                                             : units + static_cast<std::uint64_t>(offset);
    localFileTime->dwLowDateTime = static_cast<DWORD>(shifted & 0xFFFF'FFFFu);
    localFileTime->dwHighDateTime = static_cast<DWORD>(shifted >> 32);
    return TRUE;
}

void GetLocalTime(SYSTEMTIME* systemTime) {
    if (systemTime == nullptr) return;
    const auto now = win32_internal::ReadClock();
    const std::int64_t offset = CurrentZoneState(now.seconds).offsetSeconds;
    if (!win32_internal::SystemTimeFromUnixSeconds(now.seconds + offset, now.milliseconds,
                                                   systemTime)) {
        *systemTime = SYSTEMTIME{};
    }
}

void ReadKernelTimeZoneBias(DWORD* low, DWORD* high) {
    const std::int64_t bias = -CurrentZoneState(win32_internal::ReadClock().seconds).offsetSeconds *
                              win32_internal::kFileTimeUnitsPerSecond;
    const auto bits = static_cast<std::uint64_t>(bias);
    if (low != nullptr) *low = static_cast<DWORD>(bits & 0xFFFF'FFFFu);
    if (high != nullptr) *high = static_cast<DWORD>(bits >> 32);
}
