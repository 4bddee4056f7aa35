// The packed Unicode encoding: byte tables, round trip and decoder limits.
#include "text/UnicodeStr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const Str& s) {
    Bytes out;
    for (const char* p = s.GetText(); *p != '\0'; ++p) out.push_back(static_cast<std::uint8_t>(*p));
    return out;
}

// Decodes raw packed bytes (a terminator is appended).
std::u16string Decode(const Bytes& packed) {
    std::string raw(packed.begin(), packed.end());
    const Str s(raw.c_str());
    std::u16string out(s.GetUnicode(nullptr, 0), u'\xAAAA');
    EXPECT_EQ(s.GetUnicode(out.data(), static_cast<std::uint32_t>(out.size())), out.size());
    EXPECT_EQ(out.back(), 0);
    out.pop_back();
    return out;
}

TEST(PackGroupTest, SwapsLowFieldsAndIsItsOwnInverse) {
    EXPECT_EQ(PackGroup(0x41), 0x44);
    EXPECT_EQ(PackGroup(0x01), 0x04);
    EXPECT_EQ(PackGroup(0x0C), 0x03);
    EXPECT_EQ(PackGroup(0x70), 0x70);
    for (unsigned g = 0; g < 0x80; ++g) EXPECT_EQ(PackGroup(PackGroup(static_cast<std::uint8_t>(g))), g);
}

// Valid table: UTF-16 text and its packed bytes (terminator not listed).
struct ValidRow {
    std::u16string text;
    Bytes packed;
};

const std::vector<ValidRow>& ValidTable() {
    static const std::vector<ValidRow> rows = {
        {u"", {}},
        {u"\x0041", {0x44}},
        {u"\x007F", {0x7F}},
        {u"\x0001", {0x04}},
        {u"\x0080", {0x80, 0x04}},
        {u"\x00E9", {0xE6, 0x04}},
        {u"\x20AC", {0xA3, 0x44}},
        {u"\x3FFF", {0xFF, 0x7F}},
        {u"\x4000", {0x80, 0x80, 0x04}},
        {u"\x8000", {0x80, 0x80, 0x08}},
        {u"\xFFFF", {0xFF, 0xFF, 0x0C}},
        {u"\xD83D\xDE00", {0xB7, 0xB0, 0x0C, 0x80, 0xB3, 0x0C}},   // one character, two halves
        {u"HOST1", {PackGroup('H'), PackGroup('O'), PackGroup('S'), PackGroup('T'), PackGroup('1')}},
        {u"A\x00E9" u"B", {0x44, 0xE6, 0x04, PackGroup('B')}},
    };
    return rows;
}

TEST(UnicodeStrTest, ValidTableEncodes) {
    for (const auto& row : ValidTable()) {
        SCOPED_TRACE(testing::PrintToString(row.packed));
        const UnicodeStr s(row.text.c_str());
        EXPECT_EQ(BytesOf(s), row.packed);
        EXPECT_EQ(s.Capacity(), row.packed.size() + 1);
    }
}

TEST(UnicodeStrTest, ValidTableDecodes) {
    for (const auto& row : ValidTable()) {
        SCOPED_TRACE(testing::PrintToString(row.packed));
        EXPECT_EQ(Decode(row.packed), row.text);
    }
}

TEST(UnicodeStrTest, EveryNonZeroUnitRoundTrips) {
    std::u16string all;
    for (unsigned u = 1; u <= 0xFFFF; ++u) all.push_back(static_cast<char16_t>(u));
    const UnicodeStr packed(all.c_str());
    EXPECT_EQ(packed.Capacity(), 0x7Fu + 2u * (0x4000u - 0x80u) + 3u * (0x10000u - 0x4000u) + 1u);
    std::u16string back(packed.GetUnicode(nullptr, 0), u'\0');
    ASSERT_EQ(back.size(), all.size() + 1);
    UnicodeStr::UnpackUnicode(packed.GetText(), back.data());
    EXPECT_EQ(back.back(), 0);
    back.pop_back();
    EXPECT_EQ(back, all);
    // Each unit alone as well: its size and its decoding.
    for (unsigned u = 1; u <= 0xFFFF; ++u) {
        const char16_t one[] = {static_cast<char16_t>(u), 0};
        const UnicodeStr s(one);
        char16_t out[2] = {0xAAAA, 0xAAAA};
        ASSERT_EQ(s.GetUnicode(out, 2), 2u) << u;
        ASSERT_EQ(out[0], u);
        ASSERT_EQ(out[1], 0);
        ASSERT_EQ(s.Capacity(), (u < 0x80 ? 1u : u < 0x4000 ? 2u : 3u) + 1u) << u;
    }
}

TEST(UnicodeStrTest, DecoderNeverWritesAtOrBeyondCount) {
    const UnicodeStr s(u"a\x00E9\x4E2D");   // k = 3
    for (std::uint32_t count = 0; count <= 5; ++count) {
        SCOPED_TRACE(count);
        std::vector<char16_t> buffer(6, 0xAAAA);
        EXPECT_EQ(s.GetUnicode(buffer.data(), count), 4u);
        const std::vector<char16_t> full = {u'a', 0x00E9, 0x4E2D, 0};
        for (std::uint32_t i = 0; i < 6; ++i) {
            if (i < count && i < 4)
                EXPECT_EQ(buffer[i], full[i]) << i;
            else
                EXPECT_EQ(buffer[i], 0xAAAA) << i;
        }
    }
    EXPECT_EQ(s.GetUnicode(nullptr, 100), 4u);
}

TEST(UnicodeStrTest, EmptyAndMissingTexts) {
    const UnicodeStr empty(u"");
    EXPECT_STREQ(empty.GetText(), "");
    EXPECT_EQ(empty.Capacity(), 1u);
    char16_t out[2] = {0xAAAA, 0xAAAA};
    EXPECT_EQ(empty.GetUnicode(out, 2), 1u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0xAAAA);

    const UnicodeStr fromNull(nullptr);
    EXPECT_STREQ(fromNull.GetText(), "");
    const Str none;
    EXPECT_EQ(none.GetUnicode(out, 2), 1u);

    char16_t unpacked[1] = {0xAAAA};
    EXPECT_EQ(UnicodeStr::UnpackUnicode(nullptr, unpacked), unpacked);
    EXPECT_EQ(unpacked[0], 0);
}

// Invalid table: byte strings no encoder writes, and what they decode to.
struct InvalidRow {
    const char* what;
    Bytes packed;
    std::u16string text;
};

TEST(UnicodeStrTest, InvalidTableDecodesWithoutFault) {
    const std::vector<InvalidRow> rows = {
        {"truncated two-byte unit", {0x80}, u""},
        {"truncated three-byte unit", {0x44, 0xFF, 0xFF}, u"A"},
        {"third byte with extra bits", {0xFF, 0xFF, 0x7F}, u"\xFFFF"},
        {"four-byte unit keeps low 16 bits", {0x84, 0x80, 0x80, 0x04}, u"\x0001"},
        {"long run of continuation bytes", Bytes(1000, 0xFF), u""},
        {"overlong then valid", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x44}, u"\xFFFF" u"A"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Decode(row.packed), row.text);
    }
}

TEST(UnicodeStrTest, DestroyedThroughBasePointer) {
    Str* s = new UnicodeStr(u"abc");
    delete s;
}

}  // namespace
