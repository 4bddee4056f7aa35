// Unexpected-shutdown (6008) time texts and the time-zone diagnostics they
// log.
#include <gtest/gtest.h>

#include <cstring>

#include "AgentFixture.h"
#include "Core/AvailabilityReport.h"

namespace agent_test {
namespace {

using evtwriter::RecordBuilder;

std::u16string OnlyTime(const std::vector<std::uint8_t>& bytes) {
    AvailabilityReport report;
    std::string error;
    EXPECT_TRUE(ParseAvailabilityReport(bytes.data(), bytes.size(), &report, &error)) << error;
    EXPECT_EQ(report.entries.size(), 1u);
    return report.entries.empty() ? u"" : report.entries[0].time;
}

std::vector<std::uint8_t> OneSystemTime(const SYSTEMTIME& time) {
    std::vector<std::uint8_t> both = evtwriter::SystemTimes(time, time);
    both.resize(16);
    return both;
}

class ShutdownTimeTest : public AgentFixture {
protected:
    std::u16string ScanOne(const evtwriter::Record& record) {
        WriteSystemLog({record});
        Agent().BuildAvailabilityReport();
        return OnlyTime(Report());
    }

    static void UseVersion(DWORD platform, DWORD major, DWORD minor) {
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = 276;
        version.dwPlatformId = platform;
        version.dwMajorVersion = major;
        version.dwMinorVersion = minor;
        win32_testing::SetVersionOverride(&version);
    }
};

TEST_F(ShutdownTimeTest, WorkedExampleInEitherSeason) {
    const auto record = RecordBuilder(6008)
                            .Time(kSummer)
                            .Data(evtwriter::SystemTimes(At(2005, 7, 1, 8, 0, 0), At(2005, 7, 1, 12, 0, 0)))
                            .Build();
    for (std::int64_t now : {kSummer, kWinter}) {
        SetNow(now);
        EXPECT_EQ(ScanOne(record), u"11:00:00 AM07/01/05");
    }
    const std::string log = LogAfterStartUp();
    EXPECT_NE(log.find("\nSystem Time for Event 6008 \n6008 event System Date: 2005/07/01 12:00:00 \n"),
              std::string::npos);
    EXPECT_NE(log.find("offset: 16\ntimeGenerated1.Format -- 6008 no conversion2: 11:00:00 AM07/01/05\n"
                       "6008 restart time = 11:00:00 AM07/01/05\n"),
              std::string::npos);
}

TEST_F(ShutdownTimeTest, DataLengthChoosesTheTimeSource) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> data;
        const char16_t* expected;
        const char* offsetLine;
    };
    // Read as local December time and shifted back by the 300-minute bias,
    // a data-section time comes out as itself.
    const SYSTEMTIME a = At(2004, 12, 31, 15, 4, 5);
    const SYSTEMTIME b = At(2004, 12, 31, 10, 4, 5);
    std::vector<std::uint8_t> fifteen = OneSystemTime(a);
    fifteen.resize(15);
    std::vector<std::uint8_t> twentyFour = evtwriter::SystemTimes(b, a);
    twentyFour.resize(24);
    const Case cases[] = {
        {"16 bytes: the first SYSTEMTIME", OneSystemTime(a), u"03:04:05 PM12/31/04", "offset: 0\n"},
        {"32 bytes: the second SYSTEMTIME", evtwriter::SystemTimes(b, a), u"03:04:05 PM12/31/04", "offset: 16\n"},
        {"24 bytes: only the first is whole", twentyFour, u"10:04:05 AM12/31/04", "offset: 0\n"},
        {"15 bytes: the insertion strings", fifteen, u"11:59:02 PM7/4/2005", nullptr},
        {"no data: the insertion strings", {}, u"11:59:02 PM7/4/2005", nullptr},
    };
    SetNow(kWinter);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto record =
            RecordBuilder(6008).Time(kWinter).Strings({u"11:59:02 PM", u"7/4/2005"}).Data(c.data).Build();
        EXPECT_EQ(ScanOne(record), c.expected);
        const std::string log = LogText();
        if (c.offsetLine != nullptr) {
            EXPECT_EQ(log.substr(log.rfind("offset: "), std::strlen(c.offsetLine)), c.offsetLine);
        } else {
            // Version and locale are examined all the same; nothing of the
            // data-section path is logged.
            const std::string last = log.substr(log.rfind("osvi.dwPlatformId:"));
            EXPECT_EQ(last.find("System Time for Event 6008"), std::string::npos);
            EXPECT_NE(last.find("6008 restart time = 11:59:02 PM7/4/2005\n"), std::string::npos);
        }
    }
}

TEST_F(ShutdownTimeTest, NoStringsAndNoDataGiveAnEmptyText) {
    EXPECT_EQ(ScanOne(RecordBuilder(6008).Time(kSummer).Build()), u"");
    // The entry's time text is a lone zero byte before the current time.
    const auto bytes = Report();
    EXPECT_EQ(bytes[bytes.size() - 16], 0);
}

TEST_F(ShutdownTimeTest, ZoneWithoutDaylightSavingDependsOnJapaneseNt40) {
    SetZone("Asia/Tokyo");
    const auto record =
        RecordBuilder(6008).Time(kSummer).Data(OneSystemTime(At(2005, 7, 1, 12, 0, 0))).Build();

    // Elsewhere the time is first taken to local time (21:00).
    UseVersion(2, 10, 0);
    EXPECT_EQ(ScanOne(record), u"12:00:00 PM07/01/05");
    EXPECT_NE(LogText().find("Other Windows NT versions detected, conversion is done !!! \n"), std::string::npos);

    // Japanese Windows NT 4.0: used as it stands.
    UseVersion(2, 4, 0);
    win32_testing::SetUserLocaleOverride("ja_JP.UTF-8");
    EXPECT_EQ(ScanOne(record), u"03:00:00 AM07/01/05");
    const std::string log = LogText();
    EXPECT_NE(log.find("Windows NT 4.0 platform detected !!!\n"), std::string::npos);
    EXPECT_NE(log.find("OS Japanese locale detected !!!\n"), std::string::npos);
    EXPECT_NE(log.find("\nTIME_ZONE_ID_UNKNOWN !!!\nBefore convert to FileTime -> 6008 event System Date: "
                       "2005/07/01 12:00:00 \nWindows NT Japanese version detected, no conversion is needed !!! \n"
                       "After convert to SysTime -> 6008 event System Date: 2005/07/01 12:00:00 \n"),
              std::string::npos);

    // Japanese locale alone, or NT 4.0 alone, is not enough.
    UseVersion(2, 4, 0);
    win32_testing::SetUserLocaleOverride("en_US.UTF-8");
    EXPECT_EQ(ScanOne(record), u"12:00:00 PM07/01/05");
    UseVersion(2, 5, 0);
    win32_testing::SetUserLocaleOverride("ja_JP.UTF-8");
    EXPECT_EQ(ScanOne(record), u"12:00:00 PM07/01/05");
}

TEST_F(ShutdownTimeTest, JapaneseNt40ChangesNothingWhereDaylightSavingExists) {
    UseVersion(2, 4, 0);
    win32_testing::SetUserLocaleOverride("ja_JP.UTF-8");
    const auto record = RecordBuilder(6008)
                            .Time(kSummer)
                            .Data(evtwriter::SystemTimes(At(2005, 7, 1, 8, 0, 0), At(2005, 7, 1, 12, 0, 0)))
                            .Build();
    EXPECT_EQ(ScanOne(record), u"11:00:00 AM07/01/05");
}

TEST_F(ShutdownTimeTest, YearBefore1900GivesTheEpoch) {
    SetZone("UTC");
    EXPECT_EQ(ScanOne(RecordBuilder(6008).Time(kSummer).Data(OneSystemTime(At(1850, 1, 1, 0, 0, 0))).Build()),
              u"12:00:00 AM01/01/70");
}

// The diagnostics that the 6008 path writes.
class DiagnosticsTest : public AgentFixture {};

TEST_F(DiagnosticsTest, FormatSystemTimeShowsSixFieldsYearFirst) {
    struct Case {
        SYSTEMTIME time;
        const char* text;
    };
    const Case cases[] = {
        {At(2005, 10, 10, 14, 3, 7), "2005/10/10 14:03:07"},
        {At(2005, 1, 2, 3, 4, 5), "2005/01/02 03:04:05"},
        {At(0, 10, 5, 2, 0, 0), "00/10/05 02:00:00"},
        {SYSTEMTIME{65535, 65535, 65535, 65535, 65535, 65535, 65535, 65535}, "65535/65535/65535 65535:65535:65535"},
    };
    char buffer[OrvaneAgent::kDateTextSize];
    for (const Case& c : cases) {
        std::memset(buffer, 'x', sizeof buffer);
        Agent().FormatSystemTime(c.time, buffer);
        EXPECT_STREQ(buffer, c.text);
    }
    EXPECT_EQ(std::strlen(cases[3].text), 35u);
}

TEST_F(DiagnosticsTest, DaylightZoneShowsTheDaylightLineFirst) {
    Agent().LogTimeZoneInformation();
    Agent().LogClocks();
    EXPECT_EQ(LogAfterStartUp(),
              "GetTimeZoneInformation: \n TIME_ZONE_ID_DAYLIGHT \n"
              "Bias 300 DaylightName: EDT DaylightDate: 00/04/01 02:00:00 DaylightBias: -60\n"
              "Standard Name: EST StandardDate: 00/10/05 02:00:00 StandardBias: 0\n"
              " User_Shared_Data bias: 00000021 8711a000 \n\n"
              "GetLocalTime: 2005/07/01 08:00:00\n"
              "GetSystemTime: 2005/07/01 12:00:00\n"
              "\n");
}

TEST_F(DiagnosticsTest, StandardAndUnknownZonesShowTheStandardLineFirst) {
    SetNow(kWinter);
    Agent().LogTimeZoneInformation();
    EXPECT_EQ(LogAfterStartUp(),
              "GetTimeZoneInformation: \n TIME_ZONE_ID_STANDARD \n"
              "Bias 300 Standard Name: EST StandardDate: 00/10/05 02:00:00 StandardBias: 0\n"
              "DaylightName: EDT DaylightDate: 00/04/01 02:00:00 DaylightBias: -60\n"
              " User_Shared_Data bias: 00000029 e8d60800 \n\n");

    SetZone("Asia/Tokyo");
    const std::size_t before = LogText().size();
    Agent().LogTimeZoneInformation();
    const std::string tokyo = LogText().substr(before);
    EXPECT_EQ(tokyo.rfind("GetTimeZoneInformation: \n TIME_ZONE_ID_UNKNOWN\nBias -540 Standard Name: JST "
                          "StandardDate: 00/00/00 00:00:00 StandardBias: 0\n",
                          0),
              0u)
        << tokyo;
}

TEST_F(DiagnosticsTest, FailedZoneQueryShowsItsStatusAndTheBiasOnOneLine) {
    win32_testing::FailTimeZoneInformation(true);
    Agent().LogTimeZoneInformation();
    win32_testing::FailTimeZoneInformation(false);
    EXPECT_EQ(LogAfterStartUp(),
              "GetTimeZoneInformation: \n returned undoced status: -1"
              " User_Shared_Data bias: 00000021 8711a000 \n\n");
}

}  // namespace
}  // namespace agent_test
