// The date-time value, and the record-time conversion the agent builds
// from it and the Windows time calls.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "AppFramework/DateTime.h"
#include "ZoneFixture.h"
#include "win32/win32.h"

namespace {

constexpr char kLongPattern[] = "%A %B %d %Y %H:%M:%S";
constexpr char kShutdownPattern[] = "%I:%M:%S %p%m/%d/%y";
constexpr std::int64_t kSummer2026 = 1782907200;   // 2026-07-01 12:00:00 UTC
constexpr std::int64_t kWinter2026 = 1768478400;   // 2026-01-15 12:00:00 UTC

SYSTEMTIME Fields(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    return SYSTEMTIME{year, month, 0, day, hour, minute, second, 0};
}

class DateTimeInZone : public ZoneFixture {
protected:
    void SetUp() override {
        ZoneFixture::SetUp();
        ASSERT_NE(nullptr, SetLocaleA(LC_ALL_CATEGORIES, "English"));
    }
};

TEST_F(DateTimeInZone, FromLocalFieldsUsesTheRulesOfThatDate) {
    struct Case {
        const char* zone;
        SYSTEMTIME local;
        const char16_t* utcText;
    };
    const Case cases[] = {
        {"America/New_York", Fields(2005, 7, 1, 7, 0, 0), u"11:00:00 AM07/01/05"},
        {"America/New_York", Fields(2005, 1, 15, 7, 0, 0), u"12:00:00 PM01/15/05"},
        {"Asia/Tokyo", Fields(2005, 7, 1, 12, 0, 0), u"03:00:00 AM07/01/05"},
        {"Asia/Tokyo", Fields(2005, 7, 1, 21, 0, 0), u"12:00:00 PM07/01/05"},
        {"UTC", Fields(2004, 12, 31, 15, 4, 5), u"03:04:05 PM12/31/04"},
        // wMonth 0 and wDay 0 carry over, as mktime normalises them.
        {"UTC", Fields(2005, 0, 0, 0, 0, 0), u"12:00:00 AM11/30/04"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        UseZone(c.zone);
        // The season of "now" must not matter here.
        for (std::int64_t now : {kSummer2026, kWinter2026}) {
            PinNow(now);
            EXPECT_EQ(std::u16string(c.utcText),
                      DateTime::FromLocalFields(c.local).FormatUtc(kShutdownPattern));
        }
    }
}

TEST_F(DateTimeInZone, YearBefore1900GivesTheValueZero) {
    UseZone("America/New_York");
    const DateTime value = DateTime::FromLocalFields(Fields(1899, 12, 31, 23, 59, 59));
    EXPECT_EQ(0, value.GetValue());
    EXPECT_EQ(u"12:00:00 AM01/01/70", value.FormatUtc(kShutdownPattern));
    EXPECT_EQ(u"Thursday January 01 1970 00:00:00", value.FormatUtc(kLongPattern));
    EXPECT_NE(0, DateTime::FromLocalFields(Fields(1900, 1, 2, 0, 0, 0)).GetValue());
}

TEST_F(DateTimeInZone, NowAndSubtractionFollowThePinnedClock) {
    PinNow(kSummer2005);
    DateTime now = DateTime::Now();
    EXPECT_EQ(kSummer2005, now.GetValue());
    now.SubtractHour();
    EXPECT_EQ(u"20050701110000", now.FormatUtc("%Y%m%d%H%M%S"));
    now.SubtractSeconds(-7200);
    EXPECT_EQ(kSummer2005 + 3600, now.GetValue());
}

// The record-time conversion of 6005 and 6006 records: the record's UTC
// seconds through FileTimeToLocalFileTime (the offset of now), then read
// back as local wall-clock time with the rules of the record's date, and
// one hour taken off while daylight saving is in effect now.
struct RecordTimeTexts {
    std::u16string beforeCorrection;
    std::u16string final;
};

RecordTimeTexts ConvertRecordTime(std::int64_t timeGenerated) {
    const FILETIME utc = ZoneFixture::FileTimeOfUnix(timeGenerated);
    FILETIME local{};
    EXPECT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    SYSTEMTIME fields{};
    EXPECT_TRUE(FileTimeToSystemTime(&local, &fields));
    DateTime value = DateTime::FromLocalFields(fields);
    RecordTimeTexts texts;
    texts.beforeCorrection = value.FormatUtc(kLongPattern);
    TIME_ZONE_INFORMATION info{};
    if (GetTimeZoneInformation(&info) == TIME_ZONE_ID_DAYLIGHT) value.SubtractHour();
    texts.final = value.FormatUtc(kLongPattern);
    return texts;
}

TEST_F(DateTimeInZone, RecordTimeConversionInBothSeasonsOfNow) {
    struct Case {
        std::int64_t now;
        std::int64_t timeGenerated;
        const char16_t* beforeCorrection;
        const char16_t* final;
    };
    const Case cases[] = {
        {kSummer2026, kSummer2005, u"Friday July 01 2005 12:00:00", u"Friday July 01 2005 11:00:00"},
        {kWinter2026, kSummer2005, u"Friday July 01 2005 11:00:00", u"Friday July 01 2005 11:00:00"},
        {kSummer2026, kWinter2005, u"Saturday January 15 2005 13:00:00",
         u"Saturday January 15 2005 12:00:00"},
        {kWinter2026, kWinter2005, u"Saturday January 15 2005 12:00:00",
         u"Saturday January 15 2005 12:00:00"},
    };
    UseZone("America/New_York");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "now " << c.now << " record " << c.timeGenerated);
        PinNow(c.now);
        const RecordTimeTexts texts = ConvertRecordTime(c.timeGenerated);
        EXPECT_EQ(std::u16string(c.beforeCorrection), texts.beforeCorrection);
        EXPECT_EQ(std::u16string(c.final), texts.final);
    }
}

TEST(DateTimeFormat, TextsAboveTheLimitAreEmpty) {
    const DateTime value(1120219200);
    const std::string fits(DateTime::kMaxFormattedLength, 'x');
    EXPECT_EQ(std::u16string(DateTime::kMaxFormattedLength, u'x'), value.FormatUtc(fits.c_str()));
    EXPECT_EQ(u"", value.FormatUtc((fits + "x").c_str()));
    // The limit is in UTF-16 units, not in the bytes of the narrow text.
    std::string wide;
    for (std::size_t i = 0; i < DateTime::kMaxFormattedLength; ++i) wide += "\xE5\xB9\xB4";   // U+5E74
    EXPECT_EQ(std::u16string(DateTime::kMaxFormattedLength, u'\u5E74'), value.FormatUtc(wide.c_str()));
    EXPECT_EQ(u"", value.FormatUtc((wide + "\xE5\xB9\xB4").c_str()));
    // A short pattern that expands past the limit.
    std::string expanding;
    for (int i = 0; i < 15; ++i) expanding += "%A ";   // 15 x "Friday " = 105 units
    EXPECT_EQ(105u, value.FormatUtc(expanding.c_str()).size());
    for (int i = 0; i < 4; ++i) expanding += "%A ";    // 133 units
    EXPECT_EQ(u"", value.FormatUtc(expanding.c_str()));
}

TEST(DateTimeFormat, ValuesThatCannotBeBrokenDownGiveEmptyText) {
    EXPECT_EQ(u"", DateTime(-1).FormatUtc("%Y"));
    EXPECT_EQ(u"", DateTime(INT64_MIN).FormatUtc("%Y"));
    EXPECT_EQ(u"", DateTime(INT64_MAX).FormatUtc("%Y"));
    EXPECT_EQ(u"", DateTime(0).FormatUtc(nullptr));
    EXPECT_EQ(u"", DateTime(0).FormatUtc(""));
    EXPECT_EQ(u"1970", DateTime(0).FormatUtc("%Y"));
}

}  // namespace
