#include "Core/AvailabilityReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/ReportBuffer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Build(std::int32_t count, const std::vector<std::pair<std::int32_t, std::u16string>>& entries,
            const char16_t* now = u"20050701110000") {
    ReportBuffer buffer;
    buffer.AppendInt32(count);
    for (const auto& [code, text] : entries) {
        buffer.AppendInt32(code);
        buffer.AppendString(u"HOST\u00e9");
        buffer.AppendString(text.c_str());
    }
    buffer.AppendString(now);
    return {buffer.GetData(), buffer.GetData() + buffer.GetLength()};
}

TEST(AvailabilityReportTest, ReadsBackWhatTheBufferWrote) {
    const Bytes bytes = Build(2, {{6005, u"Friday July 01 2005 11:00:00"}, {6008, u"11:59:02 PM\u20ac"}});
    AvailabilityReport report;
    std::string error;
    ASSERT_TRUE(ParseAvailabilityReport(bytes.data(), bytes.size(), &report, &error)) << error;
    EXPECT_EQ(report.count, 2);
    ASSERT_EQ(report.entries.size(), 2u);
    EXPECT_EQ(report.entries[1].eventCode, 6008);
    EXPECT_EQ(report.entries[1].computer, u"HOST\u00e9");
    EXPECT_EQ(report.entries[1].time, u"11:59:02 PM\u20ac");
    EXPECT_EQ(report.currentTime, u"20050701110000");
}

TEST(AvailabilityReportTest, MalformedReportsAreRefusedWithoutReadingPastThem) {
    const Bytes good = Build(1, {{6005, u"x"}});
    const Bytes noTerminator(good.begin(), good.end() - 1);
    Bytes trailing = good;
    trailing.push_back(0x44);
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"count cut short", {1, 0}},
        {"negative count", Build(-1, {})},
        {"count larger than the report", Build(0x7FFFFFFF, {})},
        {"count above the entries", Build(2, {{6005, u"x"}})},
        {"count below the entries", Build(0, {{6005, u"x"}})},
        {"time without its zero byte", noTerminator},
        {"bytes after the time", trailing},
        {"time not 14 digits", Build(0, {}, u"2005070111000")},
        {"time not digits", Build(0, {}, u"2005070111000x")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A copy of exactly the report's size, so ASan sees any read beyond it.
        const auto* data = c.bytes.empty() ? nullptr : c.bytes.data();
        std::string error;
        EXPECT_FALSE(ParseAvailabilityReport(data, c.bytes.size(), nullptr, &error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
