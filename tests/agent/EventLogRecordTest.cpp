#include "Core/EventLogRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Builds a record in the EVENTLOGRECORD layout byte by byte.
struct RecordBuilder {
    std::uint32_t time = 1120219200;
    std::uint32_t eventId = 6005;
    std::u16string source = u"EventLog";
    std::u16string computer = u"HOST1";
    std::vector<std::u16string> strings;
    std::vector<std::uint8_t> data;

    static void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
        out[at] = static_cast<std::uint8_t>(v);
        out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    static void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    static void AppendText(std::vector<std::uint8_t>& out, const std::u16string& text) {
        for (char16_t c : text) {
            out.push_back(static_cast<std::uint8_t>(c));
            out.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        out.push_back(0);
        out.push_back(0);
    }

    std::vector<std::uint8_t> Build() const {
        std::vector<std::uint8_t> out(56, 0);
        Put32(out, 4, 0x654c664c);
        Put32(out, 12, time);
        Put32(out, 16, time);
        Put32(out, 20, eventId);
        Put16(out, 26, static_cast<std::uint32_t>(strings.size()));
        AppendText(out, source);
        AppendText(out, computer);
        Put32(out, 36, static_cast<std::uint32_t>(out.size()));
        for (const auto& s : strings) AppendText(out, s);
        Put32(out, 48, static_cast<std::uint32_t>(data.size()));
        Put32(out, 52, static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), data.begin(), data.end());
        while (out.size() % 4 != 0) out.push_back(0);
        out.resize(out.size() + 4);
        Put32(out, 0, static_cast<std::uint32_t>(out.size()));
        Put32(out, out.size() - 4, static_cast<std::uint32_t>(out.size()));
        return out;
    }
};

TEST(EventLogRecordTest, ReadsTheFieldsAtTheirOffsets) {
    RecordBuilder builder;
    builder.eventId = 0x80001775;
    builder.strings = {u"11:59:02 PM", u"7/4/2005"};
    builder.data = std::vector<std::uint8_t>(32, 0x11);
    const auto bytes = builder.Build();
    const EventLogRecord record(bytes.data(), bytes.size());
    ASSERT_TRUE(record.IsValid());
    EXPECT_EQ(record.TimeGenerated(), 1120219200u);
    EXPECT_EQ(record.EventCode(), 6005);
    EXPECT_EQ(record.SourceName(), u"EventLog");
    EXPECT_EQ(record.ComputerName(), u"HOST1");
    EXPECT_EQ(record.InsertionStrings(), (std::vector<std::u16string>{u"11:59:02 PM", u"7/4/2005"}));
    EXPECT_EQ(record.DataLength(), 32u);
    ASSERT_NE(record.Data(), nullptr);
    EXPECT_EQ(record.Data()[31], 0x11);
}

TEST(EventLogRecordTest, FieldReadsStayInsideTheRecord) {
    RecordBuilder builder;
    builder.data = std::vector<std::uint8_t>(16, 0x22);
    auto bytes = builder.Build();

    // A data section that claims to run past the record is no data section.
    RecordBuilder::Put32(bytes, 48, 4096);
    EXPECT_EQ(EventLogRecord(bytes.data(), bytes.size()).Data(), nullptr);
    RecordBuilder::Put32(bytes, 48, 16);
    RecordBuilder::Put32(bytes, 52, 0xFFFFFFF0u);
    EXPECT_EQ(EventLogRecord(bytes.data(), bytes.size()).Data(), nullptr);

    // Insertion strings that start outside the record are missing.
    RecordBuilder::Put16(bytes, 26, 3);
    RecordBuilder::Put32(bytes, 36, 0x7FFFFFFF);
    EXPECT_TRUE(EventLogRecord(bytes.data(), bytes.size()).InsertionStrings().empty());

    // A Length field larger than what was read is cut to what was read.
    RecordBuilder::Put32(bytes, 0, 100000);
    const EventLogRecord cut(bytes.data(), 60);
    EXPECT_EQ(cut.Size(), 60u);
    EXPECT_EQ(cut.ComputerName(), u"");
    EXPECT_EQ(cut.SourceName(), u"Ev");
}

TEST(EventLogRecordTest, UnterminatedNameEndsAtTheRecordEnd) {
    std::vector<std::uint8_t> bytes(64, 0);
    RecordBuilder::Put32(bytes, 0, 63);  // odd length: the last byte is half a unit
    for (std::size_t at = 56; at + 1 < bytes.size(); at += 2) bytes[at] = 'A';
    const EventLogRecord record(bytes.data(), bytes.size());
    EXPECT_EQ(record.SourceName(), u"AAA");
    EXPECT_EQ(record.ComputerName(), u"");
}

TEST(EventLogRecordTest, ShortRecordsAreInvalid) {
    std::vector<std::uint8_t> bytes(56, 0);
    RecordBuilder::Put32(bytes, 0, 40);
    EXPECT_FALSE(EventLogRecord(bytes.data(), bytes.size()).IsValid());
    EXPECT_FALSE(EventLogRecord(bytes.data(), 3).IsValid());
    EXPECT_FALSE(EventLogRecord(nullptr, 100).IsValid());
    EXPECT_EQ(EventLogRecord(bytes.data(), 10).EventCode(), 0);
}

}  // namespace
