// The availability scan, the handler and the report they leave behind,
// against real event-log files in a pinned zone and time.
#include <gtest/gtest.h>

#include "AgentFixture.h"
#include "Core/AvailabilityReport.h"
#include "framework/Command.h"

namespace agent_test {
namespace {

using evtwriter::RecordBuilder;
using Bytes = std::vector<std::uint8_t>;

// The one-record HOST1 report in the worked zone, written out by hand:
// count 1, code 6005, "HOST1", "Friday July 01 2005 11:00:00", then the
// agent's current time (20050701110000 in summer).
const Bytes kHost1Summer = {
    0x01, 0x00, 0x00, 0x00, 0x75, 0x17, 0x00, 0x00, 0x42, 0x4F, 0x5C, 0x51, 0x34, 0x00, 0x49,
    0x78, 0x66, 0x61, 0x64, 0x76, 0x20, 0x4A, 0x75, 0x63, 0x76, 0x20, 0x30, 0x34, 0x20, 0x38,
    0x30, 0x30, 0x35, 0x20, 0x34, 0x34, 0x3A, 0x30, 0x30, 0x3A, 0x30, 0x30, 0x00, 0x38, 0x30,
    0x30, 0x35, 0x30, 0x3D, 0x30, 0x34, 0x34, 0x34, 0x30, 0x30, 0x30, 0x30, 0x00};
// 20050115120000 packed, the winter scan's current time.
const Bytes kWinterNow = {0x38, 0x30, 0x30, 0x35, 0x30, 0x34, 0x34, 0x35,
                          0x34, 0x38, 0x30, 0x30, 0x30, 0x30, 0x00};

AvailabilityReport Parse(const Bytes& bytes) {
    AvailabilityReport report;
    std::string error;
    EXPECT_TRUE(ParseAvailabilityReport(bytes.data(), bytes.size(), &report, &error)) << error;
    return report;
}

class AvailabilityScanTest : public AgentFixture {};

TEST_F(AvailabilityScanTest, EmptyLogGivesCountAndCurrentTimeOnly) {
    WriteSystemLog({});
    Agent().BuildAvailabilityReport();
    const Bytes report = Report();
    ASSERT_EQ(report.size(), 19u);
    EXPECT_EQ(Bytes(report.begin(), report.begin() + 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(LogAfterStartUp(),
              "Oldest Event Log Record = 1\n"
              "Number of records = 0\n"
              "Current time = Friday July 01 2005 11:00:00\n"
              "Current time = 20050701110000\n");
}

TEST_F(AvailabilityScanTest, WorkedExampleIsByteExactInBothSeasons) {
    WriteSystemLog({RecordBuilder(6005).Time(1120219200).Computer(u"HOST1").Build()});
    Agent().BuildAvailabilityReport();
    EXPECT_EQ(Report(), kHost1Summer);
    EXPECT_EQ(LogAfterStartUp(),
              "Oldest Event Log Record = 1\n"
              "Number of records = 1\n"
              "TimeGeneratedInString before calc DS mode gives: Friday July 01 2005 12:00:00\n"
              "New time calc DS mode gives: Friday July 01 2005 11:00:00\n"
              "Current time = Friday July 01 2005 11:00:00\n"
              "Current time = 20050701110000\n");

    SetNow(kWinter);
    Agent().BuildAvailabilityReport();
    Bytes expected(kHost1Summer.begin(), kHost1Summer.end() - 15);
    expected.insert(expected.end(), kWinterNow.begin(), kWinterNow.end());
    EXPECT_EQ(Report(), expected);
}

TEST_F(AvailabilityScanTest, JanuaryRecordReadsAsUtcInBothSeasons) {
    WriteSystemLog({RecordBuilder(6006).Time(1105790400).Computer(u"HOST1").Build()});
    for (std::int64_t now : {kSummer, kWinter}) {
        SetNow(now);
        Agent().BuildAvailabilityReport();
        const AvailabilityReport report = Parse(Report());
        ASSERT_EQ(report.entries.size(), 1u);
        EXPECT_EQ(report.entries[0].eventCode, 6006);
        EXPECT_EQ(report.entries[0].time, u"Saturday January 15 2005 12:00:00");
    }
}

TEST_F(AvailabilityScanTest, QualifyingRecordsAreChosenByTheLow16BitsOfEventId) {
    WriteSystemLog({
        RecordBuilder(0x80001775).Time(kSummer).Computer(u"A").Build(),              // 6005
        RecordBuilder(6007).Time(kSummer).Computer(u"B").Build(),                    // ignored
        RecordBuilder(6006).Time(kSummer).Source(u"Someone").Computer(u"C").Build(),  // any source
        RecordBuilder(0x00011776).Time(kSummer).Computer(u"D").Build(),              // 6006 too
        RecordBuilder(7036).Time(kSummer).Computer(u"E").Build(),                    // ignored
    });
    Agent().BuildAvailabilityReport();
    const AvailabilityReport report = Parse(Report());
    EXPECT_EQ(report.count, 3);
    ASSERT_EQ(report.entries.size(), 3u);
    EXPECT_EQ(report.entries[0].eventCode, 6005);
    EXPECT_EQ(report.entries[0].computer, u"A");
    EXPECT_EQ(report.entries[1].eventCode, 6006);
    EXPECT_EQ(report.entries[1].computer, u"C");
    EXPECT_EQ(report.entries[2].computer, u"D");
}

TEST_F(AvailabilityScanTest, RecordTooLargeForTheReadBufferIsNeitherCountedNorReported) {
    WriteSystemLog({
        RecordBuilder(6005).Time(kSummer).Computer(u"BEFORE").Build(),
        RecordBuilder(6005).Time(kSummer).Computer(u"HUGE").PadTo(5000).Build(),
        RecordBuilder(6006).Time(kSummer).Computer(u"AFTER").Build(),
    });
    Agent().BuildAvailabilityReport();
    const AvailabilityReport report = Parse(Report());
    EXPECT_EQ(report.count, 2);
    ASSERT_EQ(report.entries.size(), 2u);
    EXPECT_EQ(report.entries[0].computer, u"BEFORE");
    EXPECT_EQ(report.entries[1].computer, u"AFTER");
}

TEST_F(AvailabilityScanTest, OverlongComputerNameIsCutTo255Units) {
    const std::u16string longName(300, u'\u00e9');
    WriteSystemLog({RecordBuilder(6005).Time(kSummer).Computer(longName).Build()});
    Agent().BuildAvailabilityReport();
    const AvailabilityReport report = Parse(Report());
    ASSERT_EQ(report.entries.size(), 1u);
    EXPECT_EQ(report.entries[0].computer, std::u16string(255, u'\u00e9'));
}

TEST_F(AvailabilityScanTest, RecordsAreReportedOldestFirstFromTheOldestNumber) {
    std::vector<evtwriter::Record> records;
    for (int i = 0; i < 40; ++i) {
        records.push_back(RecordBuilder(i % 2 == 0 ? 6005 : 6006)
                              .Time(static_cast<std::uint32_t>(kWinter + i * 60))
                              .Computer(u"H" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)))
                              .Build());
    }
    evtwriter::LogOptions options;
    options.firstRecordNumber = 1000;
    ASSERT_TRUE(evtwriter::WriteLog((Root() / "evt" / "System.evt").string(), records, options));
    Agent().BuildAvailabilityReport();
    const AvailabilityReport report = Parse(Report());
    EXPECT_EQ(report.count, 40);
    ASSERT_EQ(report.entries.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(report.entries[static_cast<std::size_t>(i)].computer[1], static_cast<char16_t>(u'A' + i % 26));
    }
    EXPECT_NE(LogAfterStartUp().find("Oldest Event Log Record = 1000\nNumber of records = 40\n"), std::string::npos);
}

// The handler: code 13 replies with the report, a failed open resends the
// previous one, any other code gets result 3 and no item.
class AvailabilityHandlerTest : public AgentFixture {
protected:
    Command Handle(std::int32_t code) {
        Command command(code);
        command.SetRemoteName("client.1");
        EXPECT_EQ(Agent().HandleCommand(command), 1);
        return command;
    }
};

TEST_F(AvailabilityHandlerTest, CodeThirteenRepliesWithTheReport) {
    WriteSystemLog({RecordBuilder(6005).Time(1120219200).Computer(u"HOST1").Build()});
    const Command reply = Handle(13);
    EXPECT_EQ(reply.GetResult(), 0);
    ASSERT_EQ(reply.GetReplyCount(), 1u);
    const auto* bytes = static_cast<const std::uint8_t*>(reply.GetReply(0));
    EXPECT_EQ(Bytes(bytes, bytes + reply.GetReplyLength(0)), kHost1Summer);
    const std::string log = LogAfterStartUp();
    EXPECT_EQ(log.rfind("=> [12:00:00 07/01/2005]Command reveived from: client.1, CommandCode=13\n"
                        " Number of input commands=0\n",
                        0),
              0u)
        << log;
    EXPECT_NE(log.find("Processed command code Orvane_COMMAND_ID\n"), std::string::npos);
}

TEST_F(AvailabilityHandlerTest, FailedOpenResendsThePreviousReport) {
    WriteSystemLog({RecordBuilder(6005).Time(1120219200).Computer(u"HOST1").Build()});
    Handle(13);
    std::filesystem::remove(Root() / "evt" / "System.evt");
    SetNow(kWinter);
    const Command second = Handle(13);
    ASSERT_EQ(second.GetReplyCount(), 1u);
    const auto* bytes = static_cast<const std::uint8_t*>(second.GetReply(0));
    EXPECT_EQ(Bytes(bytes, bytes + second.GetReplyLength(0)), kHost1Summer);
    EXPECT_NE(LogAfterStartUp().find("OpenEventLog failed"), std::string::npos);
}

TEST_F(AvailabilityHandlerTest, OtherCodesGetResultThreeAndNoItem) {
    WriteSystemLog({RecordBuilder(6005).Time(1120219200).Computer(u"HOST1").Build()});
    const Command reply = Handle(7);
    EXPECT_EQ(reply.GetResult(), 3);
    EXPECT_EQ(reply.GetReplyCount(), 0u);
    EXPECT_EQ(LogAfterStartUp(),
              "=> [12:00:00 07/01/2005]Command reveived from: client.1, CommandCode=7\n"
              "Processed unknown command code!\n");
}

TEST_F(AvailabilityHandlerTest, ReceivedTimeIsShownAsUtc) {
    WriteSystemLog({});
    SetNow(1107439509);  // 2005-02-03 14:05:09 UTC
    Handle(7);
    EXPECT_EQ(LogAfterStartUp().rfind("=> [14:05:09 02/03/2005]", 0), 0u);
}

}  // namespace
}  // namespace agent_test
