// The text-conversion library's entries: the sizing and converting calls.
#include "dozivo32/dozivo32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Entry = std::uint32_t (*)(const void*, void*, std::uint32_t, std::uint32_t, std::uint32_t);
constexpr std::uint32_t k42 = kDozivoSettingWindows1252;

// Byte-to-byte entries, valid table: source and output without terminator.
struct ByteRow {
    const char* name;
    Entry entry;
    std::string source;
    std::string output;
};

std::string RunBytes(Entry entry, const std::string& source) {
    const std::uint32_t size = entry(source.c_str(), nullptr, 0, k42, 0);
    EXPECT_GT(size, 0u);
    if (size == 0) return "<not convertible>";
    std::string out(size + 4, '\x55');
    EXPECT_EQ(entry(source.c_str(), out.data(), size, k42, 0), size);
    EXPECT_EQ(out[size - 1], '\0');
    EXPECT_EQ(out.substr(size), std::string(4, '\x55'));   // nothing beyond size
    return out.substr(0, size - 1);
}

TEST(DozivoTest, ByteEntriesValidTable) {
    const std::vector<ByteRow> rows = {
        {"5 ascii", DozivoEntry5, "Hello", "Hello"},
        {"5 empty", DozivoEntry5, "", ""},
        {"5 e-acute A-umlaut", DozivoEntry5, "\xE9\xC4", "\x82\x8E"},
        {"8 e-acute A-umlaut", DozivoEntry8, "\x82\x8E", "\xE9\xC4"},
        {"8 ascii", DozivoEntry8, "abc", "abc"},
        {"11 euro and S-caron", DozivoEntry11, "\x80\x8A", "\xA4\xA6"},
        {"11 latin-1 letters", DozivoEntry11, "Gr\xFC\xDF", "Gr\xFC\xDF"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RunBytes(row.entry, row.source), row.output);
    }
}

TEST(DozivoTest, NotConvertibleGivesZero) {
    const std::vector<ByteRow> rows = {
        {"5 euro has no OEM form", DozivoEntry5, "a\x80", ""},
        {"5 undefined 1252 byte", DozivoEntry5, "\x81", ""},
        {"8 shade block has no 1252 form", DozivoEntry8, "\xB0", ""},
        {"11 currency sign has no Latin-9 form", DozivoEntry11, "\xA4", ""},
        {"11 undefined 1252 byte", DozivoEntry11, "\x9D", ""},
        {"3 undefined 1252 byte", DozivoEntry3, "ok\x8F", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.entry(row.source.c_str(), nullptr, 0, k42, 0), 0u);
        char out[16] = {};
        EXPECT_EQ(row.entry(row.source.c_str(), out, sizeof out, k42, 0), 0u);
    }
}

TEST(DozivoTest, TextToUnicodeAndBack) {
    const char* text = "A\x80\xE9";
    ASSERT_EQ(DozivoEntry3(text, nullptr, 0, k42, 0), 4u);
    char16_t wide[4] = {1, 1, 1, 1};
    EXPECT_EQ(DozivoEntry3(text, wide, 4, k42, 0), 4u);
    EXPECT_EQ(std::u16string(wide, 4), std::u16string(u"A\x20AC\x00E9", 4));

    ASSERT_EQ(DozivoEntry1(wide, nullptr, 0, k42, 0), 4u);
    char bytes[4] = {1, 1, 1, 1};
    EXPECT_EQ(DozivoEntry1(wide, bytes, 4, k42, 0), 4u);
    EXPECT_EQ(std::string(bytes, 4), std::string("A\x80\xE9", 4));

    EXPECT_EQ(DozivoEntry3("", nullptr, 0, k42, 0), 1u);
    EXPECT_EQ(DozivoEntry1(u"", nullptr, 0, k42, 0), 1u);
    EXPECT_EQ(DozivoEntry1(u"\x4E2D", nullptr, 0, k42, 0), 0u);   // no 1252 form
    EXPECT_EQ(DozivoEntry1(u"a\xD800" u"b", nullptr, 0, k42, 0), 0u);   // unpaired surrogate
}

TEST(DozivoTest, CallShapeIsChecked) {
    char out[8];
    EXPECT_EQ(DozivoEntry5(nullptr, nullptr, 0, k42, 0), 0u);
    EXPECT_EQ(DozivoEntry5("abc", nullptr, 0, 41, 0), 0u);    // unknown setting
    EXPECT_EQ(DozivoEntry5("abc", nullptr, 0, k42, 1), 0u);   // reserved flags
    EXPECT_EQ(DozivoEntry5("abc", nullptr, 4, k42, 0), 0u);   // sizing call with a size
    std::string small(8, '\x55');
    EXPECT_EQ(DozivoEntry5("abc", small.data(), 3, k42, 0), 0u);   // no room for the terminator
    EXPECT_EQ(small, std::string(8, '\x55'));
    EXPECT_EQ(DozivoEntry3("abc", out, 3, k42, 0), 0u);   // 3 units needed 4
    // A long text passes through the iconv chunks intact.
    const std::string longText(5000, 'x');
    EXPECT_EQ(RunBytes(DozivoEntry11, longText), longText);
}

}  // namespace
