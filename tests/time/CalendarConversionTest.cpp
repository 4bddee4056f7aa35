// FILETIME <-> SYSTEMTIME conversions and the UTC clock.
#include <gtest/gtest.h>

#include <cstdint>

#include "ZoneFixture.h"
#include "win32/win32.h"

namespace {

SYSTEMTIME Fields(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                  WORD milliseconds = 0, WORD dayOfWeek = 0) {
    return SYSTEMTIME{year, month, dayOfWeek, day, hour, minute, second, milliseconds};
}

void ExpectSameFields(const SYSTEMTIME& expected, const SYSTEMTIME& actual) {
    EXPECT_EQ(expected.wYear, actual.wYear);
    EXPECT_EQ(expected.wMonth, actual.wMonth);
    EXPECT_EQ(expected.wDay, actual.wDay);
    EXPECT_EQ(expected.wHour, actual.wHour);
    EXPECT_EQ(expected.wMinute, actual.wMinute);
    EXPECT_EQ(expected.wSecond, actual.wSecond);
    EXPECT_EQ(expected.wMilliseconds, actual.wMilliseconds);
}

struct KnownInstant {
    SYSTEMTIME fields;   // wDayOfWeek is the expected weekday
    std::uint64_t units;
};

// Values checked against the FILETIME definition: 100-ns units since
// 1601-01-01 00:00:00 UTC.
const KnownInstant kKnownInstants[] = {
    {Fields(1601, 1, 1, 0, 0, 0, 0, 1), 0},
    {Fields(1970, 1, 1, 0, 0, 0, 0, 4), 116444736000000000ull},
    {Fields(2005, 7, 1, 12, 0, 0, 0, 5), 116444736000000000ull + 1120219200ull * 10000000},
    {Fields(2000, 2, 29, 23, 59, 59, 999, 2),
     116444736000000000ull + 951868799ull * 10000000 + 9990000},
    {Fields(30828, 9, 14, 2, 48, 5, 477, 4), 0x7FFFFFFFFFFFFFFFull},
};

TEST(FileTimeConversion, KnownInstantsConvertBothWays) {
    for (const KnownInstant& known : kKnownInstants) {
        SCOPED_TRACE(known.fields.wYear);
        const FILETIME fileTime{static_cast<DWORD>(known.units & 0xFFFFFFFFu),
                                static_cast<DWORD>(known.units >> 32)};
        SYSTEMTIME fields{};
        ASSERT_TRUE(FileTimeToSystemTime(&fileTime, &fields));
        ExpectSameFields(known.fields, fields);
        EXPECT_EQ(known.fields.wDayOfWeek, fields.wDayOfWeek);

        if (known.fields.wYear > 30827) continue;   // beyond SystemTimeToFileTime's range
        FILETIME back{};
        ASSERT_TRUE(SystemTimeToFileTime(&known.fields, &back));
        EXPECT_EQ(known.units, ZoneFixture::Units(back) / 10000 * 10000);
    }
}

TEST(FileTimeConversion, RoundTripKeepsMillisecondsAndDropsFinerUnits) {
    // 2005-07-01 12:00:00.123 plus 4567 units below the millisecond.
    const std::uint64_t units = 116444736000000000ull + 1120219200ull * 10000000 + 1234567;
    const FILETIME fileTime{static_cast<DWORD>(units & 0xFFFFFFFFu),
                            static_cast<DWORD>(units >> 32)};
    SYSTEMTIME fields{};
    ASSERT_TRUE(FileTimeToSystemTime(&fileTime, &fields));
    EXPECT_EQ(123, fields.wMilliseconds);
    FILETIME back{};
    ASSERT_TRUE(SystemTimeToFileTime(&fields, &back));
    EXPECT_EQ(units - 4567, ZoneFixture::Units(back));
}

TEST(FileTimeConversion, FileTimeAtOrAboveTwoToThe63Fails) {
    const FILETIME tooLarge{0, 0x80000000u};
    SYSTEMTIME fields{};
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, &fields));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_FALSE(FileTimeToSystemTime(nullptr, &fields));
    EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, nullptr));
}

TEST(FileTimeConversion, ValidFieldsAreAccepted) {
    const SYSTEMTIME valid[] = {
        Fields(1601, 1, 1, 0, 0, 0),
        Fields(30827, 12, 31, 23, 59, 59, 999),
        Fields(2004, 2, 29, 12, 0, 0),    // leap year
        Fields(2000, 2, 29, 12, 0, 0),    // divisible by 400
        Fields(2005, 4, 30, 0, 0, 0),
        Fields(2005, 7, 1, 12, 0, 0, 0, 6),   // wrong weekday: ignored
        Fields(2005, 7, 1, 12, 0, 0, 0, 65535),
    };
    for (const SYSTEMTIME& fields : valid) {
        SCOPED_TRACE(testing::Message() << fields.wYear << "-" << fields.wMonth << "-" << fields.wDay);
        FILETIME fileTime{};
        EXPECT_TRUE(SystemTimeToFileTime(&fields, &fileTime));
    }
}

TEST(FileTimeConversion, InvalidFieldsAreRejected) {
    const SYSTEMTIME invalid[] = {
        Fields(1600, 12, 31, 23, 59, 59),
        Fields(30828, 1, 1, 0, 0, 0),
        Fields(0, 10, 5, 2, 0, 0),        // a recurring rule, not a date
        Fields(2005, 0, 1, 0, 0, 0),
        Fields(2005, 13, 1, 0, 0, 0),
        Fields(2005, 1, 0, 0, 0, 0),
        Fields(2005, 4, 31, 0, 0, 0),
        Fields(2005, 2, 29, 0, 0, 0),     // not a leap year
        Fields(1900, 2, 29, 0, 0, 0),     // divisible by 100, not by 400
        Fields(2005, 1, 1, 24, 0, 0),
        Fields(2005, 1, 1, 0, 60, 0),
        Fields(2005, 1, 1, 0, 0, 60),
        Fields(2005, 1, 1, 0, 0, 0, 1000),
        Fields(65535, 65535, 65535, 65535, 65535, 65535, 65535),
    };
    for (const SYSTEMTIME& fields : invalid) {
        SCOPED_TRACE(testing::Message() << fields.wYear << "-" << fields.wMonth << "-" << fields.wDay
                                        << " " << fields.wHour << ":" << fields.wMinute << ":"
                                        << fields.wSecond << "." << fields.wMilliseconds);
        FILETIME fileTime{0x12345678u, 0x9ABCDEFu};
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(SystemTimeToFileTime(&fields, &fileTime));
        EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
        EXPECT_EQ(0x12345678u, fileTime.dwLowDateTime) << "output untouched on failure";
    }
}

using PinnedClock = ZoneFixture;

TEST_F(PinnedClock, EveryUtcClockReadSeesThePinnedInstant) {
    win32_testing::SetFixedClock(kSummer2005 * 1'000'000 + 250'999);
    EXPECT_EQ(kSummer2005, CurrentUnixTime());
    SYSTEMTIME now{};
    GetSystemTime(&now);
    ExpectSameFields(Fields(2005, 7, 1, 12, 0, 0, 250), now);
    EXPECT_EQ(5, now.wDayOfWeek);   // Friday

    // A pinned instant before 1970 rounds towards the past.
    win32_testing::SetFixedClock(-1);
    EXPECT_EQ(-1, CurrentUnixTime());
    GetSystemTime(&now);
    ExpectSameFields(Fields(1969, 12, 31, 23, 59, 59, 999), now);
}

TEST_F(PinnedClock, RealClockIsRestored) {
    PinNow(kWinter2005);
    win32_testing::UseRealClock();
    EXPECT_GT(CurrentUnixTime(), 1'600'000'000);   // after September 2020
}

TEST(BreakDown, UtcFieldsAndFailure) {
    std::tm fields{};
    ASSERT_TRUE(BreakDownUtc(1120219200, &fields));
    EXPECT_EQ(105, fields.tm_year);
    EXPECT_EQ(6, fields.tm_mon);
    EXPECT_EQ(1, fields.tm_mday);
    EXPECT_EQ(12, fields.tm_hour);
    EXPECT_FALSE(BreakDownUtc(INT64_MAX, &fields));
    EXPECT_FALSE(BreakDownLocal(INT64_MAX, &fields));
    EXPECT_FALSE(BreakDownUtc(0, nullptr));
}

}  // namespace
