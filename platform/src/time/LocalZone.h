// LocalZone.h - the process's local time zone from the tz database
// (internal to the time services).
//
// The zone is whatever the C library's localtime_r uses: TZ when set,
// /etc/localtime otherwise. The C library reads TZ once; after a test
// changes TZ it calls win32_testing::ReloadTimeZone, which re-reads it and
// empties the rules cache below.
//
// Thread-safety: all functions may be called from any thread; the rules
// cache has its own lock. ReloadTimeZone must not race with other time
// calls (the C library's tzset is not safe against concurrent localtime_r
// with a changing TZ).
#pragma once

#include <cstdint>
#include <string>

#include "win32/win32.h"

namespace win32_internal {

// The zone's regime at one instant.
struct ZoneState {
    std::int64_t offsetSeconds = 0;   // local time - UTC
    bool isDst = false;               // as the tz database marks it
    std::string abbreviation;         // "EST", "AEDT", "+09"...
};
bool ZoneStateAt(std::int64_t unixSeconds, ZoneState* state);

// The daylight-saving rules of one local year, in the Windows convention:
// daylight time is the regime with the larger UTC offset, whatever the tz
// database's isdst says (Europe/Dublin marks its winter as "DST" with a
// negative save; Windows and this layer call its summer daylight time).
struct ZoneRules {
    bool hasDaylight = false;            // both transitions found in the year
    std::int64_t standardOffset = 0;     // seconds east of UTC
    std::int64_t daylightOffset = 0;
    std::string standardName;
    std::string daylightName;
    SYSTEMTIME standardDate{};   // when standard time begins, in daylight local time
    SYSTEMTIME daylightDate{};   // when daylight time begins, in standard local time
};

// The rules of the given local year, computed from the tz database by
// scanning the year for offset changes; cached per year.
ZoneRules ZoneRulesForYear(std::int64_t year);

// Empties the rules cache (after a change of TZ).
void ForgetZoneRules();

}  // namespace win32_internal
