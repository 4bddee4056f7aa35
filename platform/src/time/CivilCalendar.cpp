#include "time/CivilCalendar.h"

namespace win32_internal {

// Day-count algorithms over 400-year eras (each era has exactly 146097
// days), with the year taken to start on 1 March so that the leap day is
// the last day of the year.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<std::int64_t>(year - era * 400);
    const std::int64_t shiftedMonth = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
    const std::int64_t dayOfEra =
        yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CivilDate CivilFromDays(std::int64_t daysSince1970) {
    const std::int64_t z = daysSince1970 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    CivilDate date{};
    date.day = static_cast<unsigned>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    date.month = static_cast<unsigned>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
    // 1970-01-01 was a Thursday (4).
    const std::int64_t weekday = (daysSince1970 % 7 + 7 + 4) % 7;
    date.dayOfWeek = static_cast<unsigned>(weekday);
    return date;
}

bool IsLeapYear(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(std::int64_t year, unsigned month) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool SystemTimeFromUnixSeconds(std::int64_t unixSeconds, unsigned milliseconds,
                               SYSTEMTIME* out) {
    std::int64_t days = unixSeconds / kSecondsPerDay;
    std::int64_t secondOfDay = unixSeconds % kSecondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += kSecondsPerDay;
        --days;
    }
    const CivilDate date = CivilFromDays(days);
    if (date.year < 1 || date.year > 65535) return false;
    out->wYear = static_cast<WORD>(date.year);
    out->wMonth = static_cast<WORD>(date.month);
    out->wDayOfWeek = static_cast<WORD>(date.dayOfWeek);
    out->wDay = static_cast<WORD>(date.day);
    out->wHour = static_cast<WORD>(secondOfDay / 3600);
    out->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    out->wSecond = static_cast<WORD>(secondOfDay % 60);
    out->wMilliseconds = static_cast<WORD>(milliseconds);
    return true;
}

}  // namespace win32_internal
