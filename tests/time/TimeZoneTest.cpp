// GetTimeZoneInformation, the local clock, FileTimeToLocalFileTime and the
// kernel bias words, in real tz database zones at a pinned "now".
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ZoneFixture.h"
#include "win32/win32.h"

namespace {

constexpr std::int64_t kSummer2026 = 1782907200;   // 2026-07-01 12:00:00 UTC
constexpr std::int64_t kWinter2026 = 1768478400;   // 2026-01-15 12:00:00 UTC

// A recurring rule: month, weekday, week of month (5 = last), hour, minute.
struct Rule {
    WORD month, dayOfWeek, week, hour, minute;
};

struct ZoneCase {
    const char* zone;
    std::int64_t now;
    DWORD expectedId;
    LONG bias;
    LONG daylightBias;
    Rule standardDate;   // all zero for a zone without daylight saving
    Rule daylightDate;
    const char16_t* standardName;
    const char16_t* daylightName;
};

const ZoneCase kZoneCases[] = {
    {"America/New_York", kSummer2026, TIME_ZONE_ID_DAYLIGHT, 300, -60,
     {11, 0, 1, 2, 0}, {3, 0, 2, 2, 0}, u"EST", u"EDT"},
    {"America/New_York", kWinter2026, TIME_ZONE_ID_STANDARD, 300, -60,
     {11, 0, 1, 2, 0}, {3, 0, 2, 2, 0}, u"EST", u"EDT"},
    // Southern hemisphere: daylight saving in January, ends first Sunday of
    // April at 03:00 daylight time, begins first Sunday of October.
    {"Australia/Sydney", kWinter2026, TIME_ZONE_ID_DAYLIGHT, -600, -60,
     {4, 0, 1, 3, 0}, {10, 0, 1, 2, 0}, u"AEST", u"AEDT"},
    {"Australia/Sydney", kSummer2026, TIME_ZONE_ID_STANDARD, -600, -60,
     {4, 0, 1, 3, 0}, {10, 0, 1, 2, 0}, u"AEST", u"AEDT"},
    // Last Sunday of October 2026 is the 25th: week 4 of the month, but the
    // rule is "last", which Windows writes as week 5.
    {"Europe/Berlin", kSummer2026, TIME_ZONE_ID_DAYLIGHT, -60, -60,
     {10, 0, 5, 3, 0}, {3, 0, 5, 2, 0}, u"CET", u"CEST"},
    // The tz database marks Dublin's winter as daylight saving with a
    // negative save; Windows calls its summer daylight time.
    {"Europe/Dublin", kSummer2026, TIME_ZONE_ID_DAYLIGHT, 0, -60,
     {10, 0, 5, 2, 0}, {3, 0, 5, 1, 0}, u"GMT", u"IST"},
    {"Europe/Dublin", kWinter2026, TIME_ZONE_ID_STANDARD, 0, -60,
     {10, 0, 5, 2, 0}, {3, 0, 5, 1, 0}, u"GMT", u"IST"},
    {"Asia/Tokyo", kSummer2026, TIME_ZONE_ID_UNKNOWN, -540, 0, {}, {}, u"JST", u"JST"},
    {"Asia/Kathmandu", kSummer2026, TIME_ZONE_ID_UNKNOWN, -345, 0, {}, {}, u"+0545", u"+0545"},
    // Had daylight saving until 2019: only the current year's rules count.
    {"America/Sao_Paulo", kWinter2026, TIME_ZONE_ID_UNKNOWN, 180, 0, {}, {}, u"-03", u"-03"},
    {"UTC", kSummer2026, TIME_ZONE_ID_UNKNOWN, 0, 0, {}, {}, u"UTC", u"UTC"},
};

void ExpectRule(const Rule& expected, const SYSTEMTIME& actual) {
    EXPECT_EQ(0, actual.wYear);
    EXPECT_EQ(expected.month, actual.wMonth);
    EXPECT_EQ(expected.dayOfWeek, actual.wDayOfWeek);
    EXPECT_EQ(expected.week, actual.wDay);
    EXPECT_EQ(expected.hour, actual.wHour);
    EXPECT_EQ(expected.minute, actual.wMinute);
    EXPECT_EQ(0, actual.wSecond);
    EXPECT_EQ(0, actual.wMilliseconds);
}

class TimeZone : public ZoneFixture {};

TEST_F(TimeZone, InformationFromTheTzDatabase) {
    for (const ZoneCase& c : kZoneCases) {
        SCOPED_TRACE(testing::Message() << c.zone << " at " << c.now);
        UseZone(c.zone);
        PinNow(c.now);
        TIME_ZONE_INFORMATION info{};
        EXPECT_EQ(c.expectedId, GetTimeZoneInformation(&info));
        EXPECT_EQ(c.bias, info.Bias);
        EXPECT_EQ(0, info.StandardBias);
        EXPECT_EQ(c.daylightBias, info.DaylightBias);
        ExpectRule(c.standardDate, info.StandardDate);
        ExpectRule(c.daylightDate, info.DaylightDate);
        EXPECT_EQ(std::u16string(c.standardName), std::u16string(info.StandardName));
        EXPECT_EQ(std::u16string(c.daylightName), std::u16string(info.DaylightName));
    }
}

TEST_F(TimeZone, StatusChangesAtTheTransitionSecond) {
    UseZone("America/New_York");
    TIME_ZONE_INFORMATION info{};
    PinNow(1772953200 - 1);   // 2026-03-08 01:59:59 EST
    EXPECT_EQ(TIME_ZONE_ID_STANDARD, GetTimeZoneInformation(&info));
    PinNow(1772953200);       // 2026-03-08 03:00:00 EDT
    EXPECT_EQ(TIME_ZONE_ID_DAYLIGHT, GetTimeZoneInformation(&info));
    PinNow(1793512800 - 1);   // 2026-11-01 01:59:59 EDT
    EXPECT_EQ(TIME_ZONE_ID_DAYLIGHT, GetTimeZoneInformation(&info));
    PinNow(1793512800);       // 2026-11-01 01:00:00 EST
    EXPECT_EQ(TIME_ZONE_ID_STANDARD, GetTimeZoneInformation(&info));
}

TEST_F(TimeZone, RulesFollowTheYearOfNow) {
    // Before 2007 the United States changed clocks on the first Sunday of
    // April and the last Sunday of October.
    UseZone("America/New_York");
    PinNow(kSummer2005);
    TIME_ZONE_INFORMATION info{};
    EXPECT_EQ(TIME_ZONE_ID_DAYLIGHT, GetTimeZoneInformation(&info));
    ExpectRule({4, 0, 1, 2, 0}, info.DaylightDate);
    ExpectRule({10, 0, 5, 2, 0}, info.StandardDate);
}

TEST_F(TimeZone, NullRecordIsInvalid) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(TIME_ZONE_ID_INVALID, GetTimeZoneInformation(nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

// FileTimeToLocalFileTime shifts every instant by the offset in effect now,
// whatever the instant's own date.
TEST_F(TimeZone, LocalFileTimeUsesTheCurrentOffset) {
    struct Case {
        const char* zone;
        std::int64_t now;
        std::int64_t instant;
        std::int64_t expectedShiftSeconds;
    };
    const Case cases[] = {
        {"America/New_York", kSummer2005, kWinter2005, -4 * 3600},
        {"America/New_York", kSummer2005, kSummer2005, -4 * 3600},
        {"America/New_York", kWinter2005, kSummer2005, -5 * 3600},
        {"America/New_York", kWinter2005, kWinter2005, -5 * 3600},
        {"Australia/Sydney", kWinter2005, kSummer2005, 11 * 3600},
        {"Asia/Tokyo", kSummer2005, kWinter2005, 9 * 3600},
        {"UTC", kSummer2005, kSummer2005, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.zone << " now " << c.now << " instant " << c.instant);
        UseZone(c.zone);
        PinNow(c.now);
        const FILETIME utc = FileTimeOfUnix(c.instant);
        FILETIME local{};
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_EQ(static_cast<std::int64_t>(Units(utc)) + c.expectedShiftSeconds * 10'000'000,
                  static_cast<std::int64_t>(Units(local)));
    }
}

TEST_F(TimeZone, LocalFileTimeOutOfRangeFails) {
    UseZone("America/New_York");   // shifts backwards
    PinNow(kSummer2005);
    const FILETIME nearStart{1000, 0};
    FILETIME local{7, 7};
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(FileTimeToLocalFileTime(&nearStart, &local));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    const FILETIME tooLarge{0, 0x80000000u};
    EXPECT_FALSE(FileTimeToLocalFileTime(&tooLarge, &local));
    EXPECT_EQ(7u, local.dwLowDateTime);

    UseZone("Asia/Tokyo");   // shifts forwards
    const FILETIME nearEnd{0xFFFFFFFFu, 0x7FFFFFFFu};
    EXPECT_FALSE(FileTimeToLocalFileTime(&nearEnd, &local));
    EXPECT_FALSE(FileTimeToLocalFileTime(nullptr, &local));
}

TEST_F(TimeZone, LocalClockUsesTheCurrentOffset) {
    UseZone("America/New_York");
    win32_testing::SetFixedClock(kSummer2005 * 1'000'000 + 250'000);
    SYSTEMTIME local{};
    GetLocalTime(&local);
    EXPECT_EQ(2005, local.wYear);
    EXPECT_EQ(7, local.wMonth);
    EXPECT_EQ(1, local.wDay);
    EXPECT_EQ(5, local.wDayOfWeek);
    EXPECT_EQ(8, local.wHour);
    EXPECT_EQ(0, local.wMinute);
    EXPECT_EQ(250, local.wMilliseconds);

    UseZone("Asia/Tokyo");   // crosses midnight into the next day
    win32_testing::SetFixedClock((kSummer2005 + 12 * 3600) * 1'000'000);
    GetLocalTime(&local);
    EXPECT_EQ(2, local.wDay);
    EXPECT_EQ(6, local.wDayOfWeek);
    EXPECT_EQ(9, local.wHour);
}

TEST_F(TimeZone, KernelBiasWordsHoldTheCurrentBiasIn100NanosecondUnits) {
    struct Case {
        const char* zone;
        std::int64_t now;
        DWORD high, low;
    };
    const Case cases[] = {
        {"America/New_York", kSummer2005, 0x21u, 0x8711A000u},       // 240 minutes
        {"America/New_York", kWinter2005, 0x29u, 0xE8D60800u},       // 300 minutes
        {"Asia/Tokyo", kSummer2005, 0xFFFFFFB4u, 0x90185800u},       // -540 minutes
        {"UTC", kSummer2005, 0u, 0u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.zone << " at " << c.now);
        UseZone(c.zone);
        PinNow(c.now);
        DWORD low = 1;
        DWORD high = 1;
        ReadKernelTimeZoneBias(&low, &high);
        EXPECT_EQ(c.high, high);
        EXPECT_EQ(c.low, low);
    }
}

}  // namespace
