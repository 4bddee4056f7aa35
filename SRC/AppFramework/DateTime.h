// DateTime.h - the application framework's date-time value.
//
// A DateTime is a count of seconds since 1970-01-01 00:00:00 UTC. The agent
// makes every time text from a value's UTC calendar fields (FormatUtc),
// never from its local ones; local time enters only when a value is made
// from calendar fields (FromLocalFields), where the runtime's own rules for
// the zone decide whether daylight-saving time applied on that date.
//
// Thread-safety: a value type; distinct values may be used on any threads.
// FromLocalFields and FormatUtc read the process's zone and locale, which
// SetLocaleA and the zone seams change for every thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "win32/win32.h"

class DateTime {
public:
    // The longest text FormatUtc produces, in UTF-16 units.
    static constexpr std::size_t kMaxFormattedLength = 127;

    DateTime() = default;   // value 0: 1970-01-01 00:00:00 UTC
    explicit DateTime(std::int64_t unixSeconds) : seconds_(unixSeconds) {}

    // Now, from the platform layer's clock (CurrentUnixTime).
    static DateTime Now();

    // The fields taken as local wall-clock time, daylight-saving status left
    // to the zone's rules for that date (mktime with tm_isdst -1); wDayOfWeek
    // and wMilliseconds are ignored, out-of-range fields carry over as mktime
    // normalises them. A year before 1900 gives the value 0; fields the
    // runtime cannot represent give -1.
    static DateTime FromLocalFields(const SYSTEMTIME& fields);

    std::int64_t GetValue() const { return seconds_; }

    void SubtractSeconds(std::int64_t seconds) { seconds_ -= seconds; }
    void SubtractHour() { SubtractSeconds(3600); }

    // The value's UTC calendar fields formatted with an strftime pattern in
    // the process locale (SetLocaleA). Empty when the text would be longer
    // than kMaxFormattedLength units, when the value is before 1970 or cannot
    // be broken into fields, or when pattern is null.
    std::u16string FormatUtc(const char* pattern) const;

private:
    std::int64_t seconds_ = 0;
};
