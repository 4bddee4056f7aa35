// Code-page and UTF-8 conversions of a Str (byte text is Windows-1252).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/Str.h"

namespace {

std::string TextOf(const Str& s) { return s.GetText() ? s.GetText() : "<none>"; }

std::u16string Decode(const Str& s) {
    std::u16string out(s.Utf8ToUnicode(nullptr, 0), u'\xAAAA');
    EXPECT_EQ(s.Utf8ToUnicode(out.data(), static_cast<std::uint32_t>(out.size())), out.size());
    EXPECT_EQ(out.back(), 0);
    out.pop_back();
    return out;
}

TEST(StrConversionTest, ToUtf8AndBack) {
    Str s("A\xE9\x80");   // U+0041 U+00E9 U+20AC
    ASSERT_EQ(s.ConvertToUtf8(), 1);
    EXPECT_EQ(TextOf(s), "\x41\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(s.Capacity(), 7u);
    ASSERT_EQ(s.ConvertFromUtf8(), 1);
    EXPECT_EQ(TextOf(s), "A\xE9\x80");
    EXPECT_EQ(s.Capacity(), 4u);

    Str empty("");
    ASSERT_EQ(empty.ConvertToUtf8(), 1);
    EXPECT_STREQ(empty.GetText(), "");
    EXPECT_EQ(empty.Capacity(), 1u);
    ASSERT_EQ(empty.ConvertFromUtf8(), 1);
    EXPECT_EQ(empty.Capacity(), 1u);
}

TEST(StrConversionTest, NotConvertibleLeavesTextInPlace) {
    Str cjk("a\xE4\xB8\xAD");   // U+4E2D has no Windows-1252 form
    const char* before = cjk.GetText();
    EXPECT_EQ(cjk.ConvertFromUtf8(), 0);
    EXPECT_EQ(cjk.GetText(), before);
    EXPECT_EQ(TextOf(cjk), "a\xE4\xB8\xAD");

    Str undefined("x\x81");   // undefined in Windows-1252
    EXPECT_EQ(undefined.ConvertToUtf8(), 0);
    EXPECT_EQ(undefined.ConvertByEntry5(), 0);
    EXPECT_EQ(TextOf(undefined), "x\x81");

    Str none;
    EXPECT_EQ(none.ConvertToUtf8(), 0);
    EXPECT_EQ(none.ConvertFromUtf8(), 0);
    EXPECT_EQ(none.ConvertByEntry5(), 0);
    EXPECT_EQ(none.ConvertByEntry8(), 0);
    EXPECT_EQ(none.ConvertByEntry11(), 0);
    EXPECT_EQ(none.GetText(), nullptr);
    char16_t out[1] = {0xAAAA};
    EXPECT_EQ(none.Utf8ToUnicode(out, 1), 1u);
    EXPECT_EQ(out[0], 0);
}

TEST(StrConversionTest, ByEntry) {
    Str oem("Caf\xE9");
    ASSERT_EQ(oem.ConvertByEntry5(), 1);
    EXPECT_EQ(TextOf(oem), "Caf\x82");
    EXPECT_EQ(oem.Capacity(), 5u);
    ASSERT_EQ(oem.ConvertByEntry8(), 1);
    EXPECT_EQ(TextOf(oem), "Caf\xE9");
    Str latin9("5\x80");
    ASSERT_EQ(latin9.ConvertByEntry11(), 1);
    EXPECT_EQ(TextOf(latin9), "5\xA4");
    Str noOem("5\x80");
    EXPECT_EQ(noOem.ConvertByEntry5(), 0);
    EXPECT_EQ(TextOf(noOem), "5\x80");
}

TEST(StrConversionTest, Utf8ToUnicodeHonoursCount) {
    const Str s("\xC3\xA9\x41");
    EXPECT_EQ(s.Utf8ToUnicode(nullptr, 0), 3u);
    char16_t out[4] = {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
    EXPECT_EQ(s.Utf8ToUnicode(out, 1), 3u);
    EXPECT_EQ(out[0], 0x00E9);
    EXPECT_EQ(out[1], 0xAAAA);
    EXPECT_EQ(s.Utf8ToUnicode(out, 3), 3u);
    EXPECT_EQ(out[0], 0x00E9);
    EXPECT_EQ(out[1], 0x0041);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[3], 0xAAAA);
    EXPECT_EQ(s.Utf8ToUnicode(out, 0), 3u);
}

// Valid table of the reading rules, including the forms they accept
// without examining continuation bits.
TEST(StrConversionTest, Utf8ReadingValidTable) {
    const std::vector<std::pair<std::string, std::u16string>> rows = {
        {"", u""},
        {"abc", u"abc"},
        {"\xC2\x80", u"\x0080"},
        {"\xDF\xBF", u"\x07FF"},
        {"\xE0\xA0\x80", u"\x0800"},
        {"\xEF\xBF\xBF", u"\xFFFF"},
        {"\xED\xA0\xBD\xED\xB8\x80", u"\xD83D\xDE00"},   // halves as two sequences
        {"\xC1\x81", u"A"},                              // overlong, accepted
        {"\xC3\x41", u"\x00C1"},                         // second byte's top bits not examined
    };
    for (const auto& [utf8, units] : rows) {
        SCOPED_TRACE(testing::PrintToString(utf8));
        EXPECT_EQ(Decode(Str(utf8.c_str())), units);
    }
}

// Invalid table: input outside the readers' contract. Each row decodes
// without reading past the terminator, and ConvertFromUtf8 refuses it,
// keeping the text (its buffer is sized by sequence starts only).
TEST(StrConversionTest, Utf8ReadingInvalidTable) {
    const std::vector<std::pair<std::string, std::u16string>> rows = {
        {"\x80", u"\xFFFD"},                                   // stray continuation
        {"\x80\x80\x80\x80\x80\x80", std::u16string(6, u'\xFFFD')},   // no start at all
        {"a\xBF" "b", u"a\xFFFD" u"b"},
        {"\xC3", u"\xFFFD"},                                   // cut by the terminator
        {"a\xE2\x82", u"a\xFFFD"},
        {"a\xE2", u"a\xFFFD"},
        {"\xF0\x9F\x98\x80!", u"\xFFFD!"},                     // four-byte sequence
        {"\xF0\x9F", u"\xFFFD"},
        {"\xF8\x80\x80\x80\x80", u"\xFFFD\xFFFD"},             // lead takes three at most
        {"\xFF", u"\xFFFD"},
        {"a\xC0\x80" "b", u"a\xFFFD" u"b"},                    // overlong zero unit
        {"\xE0\x80\x80", u"\xFFFD"},
    };
    for (const auto& [utf8, units] : rows) {
        SCOPED_TRACE(testing::PrintToString(utf8));
        // The text sits at the very end of its block, so a read past the
        // terminator is caught by AddressSanitizer.
        const Str s(utf8.c_str());
        EXPECT_EQ(Decode(s), units);
        Str converted(utf8.c_str());
        EXPECT_EQ(converted.ConvertFromUtf8(), 0);
        EXPECT_EQ(TextOf(converted), utf8);
    }
}

}  // namespace
