// win32_testing.h - seams of the platform layer for tests.
//
// Production code never calls these. Each seam replaces one input of the
// layer (the clock, the module search, the system version, the user's
// locale) so that a test can pin it; each has a call that restores the real
// source.
#pragma once

#include "win32/win32.h"

namespace win32_testing {

// Pins the layer's clock to a fixed instant (microseconds since 1970 UTC).
// Every clock read (GetSystemTime, GetLocalTime, CurrentUnixTime, the
// "now" of FileTimeToLocalFileTime and GetTimeZoneInformation) sees it.
void SetFixedClock(std::int64_t unixMicroseconds);
void UseRealClock();

// Makes GetTimeZoneInformation fail (TIME_ZONE_ID_INVALID) while set.
void FailTimeZoneInformation(bool fail);

// Re-reads TZ after a test changed it (tzset and the layer's own cache).
void ReloadTimeZone();

// LoadLibraryA searches this directory first (null: no override).
void SetModuleSearchOverride(const char* directory);

// Makes GetVersionExW report these values (null: the real ones).
void SetVersionOverride(const OSVERSIONINFOW* version);

// Makes the user's default locale this POSIX name, as if LANG held it
// (null: the environment again).
void SetUserLocaleOverride(const char* posixLocaleName);

}  // namespace win32_testing
