#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32/win32.h"

namespace {

struct Case {
    std::string utf8;
    std::vector<WCHAR> utf16;
};

std::vector<WCHAR> Convert(const std::string& text) {
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::vector<WCHAR> out(static_cast<std::size_t>(needed));
    const int written = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), needed);
    EXPECT_EQ(written, needed);
    return out;
}

std::string Hex(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) text += "\\x" + std::to_string(c);
    return text;
}

}  // namespace

TEST(MultiByteToWideCharTest, WellFormedText) {
    const std::vector<Case> cases = {
        {"A", {0x41}},
        {"\xC3\xA9", {0xE9}},
        {"\xE2\x82\xAC", {0x20AC}},
        {"\xEF\xBF\xBF", {0xFFFF}},
        {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
        {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
        {std::string("a\0b", 3), {0x61, 0x00, 0x62}},
        {"\xC2\x80z", {0x80, 0x7A}},
    };
    for (const Case& c : cases) EXPECT_EQ(Convert(c.utf8), c.utf16) << Hex(c.utf8);
}

TEST(MultiByteToWideCharTest, MalformedBytesBecomeReplacementCharacters) {
    const WCHAR R = 0xFFFD;
    const std::vector<Case> cases = {
        {"\x80", {R}},                                   // stray continuation byte
        {"\xFF", {R}},
        {"\xF5\x80", {R, R}},                            // lead byte beyond U+10FFFF
        {"\xC0\xAF", {R, R}},                            // overlong '/'
        {"\xE0\x80\x80", {R, R, R}},                     // overlong
        {"\xED\xA0\x80", {R, R, R}},                     // encoded surrogate
        {"\xF4\x90\x80\x80", {R, R, R, R}},              // above U+10FFFF
        {"\xE2\x82", {R}},                               // cut short at the end
        {"\xE2\x82" "A", {R, 0x41}},                     // cut short by the next character
        {"\xF0\x9F\x98", {R}},
        {"a\xC3", {0x61, R}},
    };
    for (const Case& c : cases) EXPECT_EQ(Convert(c.utf8), c.utf16) << Hex(c.utf8);
}

TEST(MultiByteToWideCharTest, SizingFollowsTheTwoCallPattern) {
    // -1: the terminator is converted and counted.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "h\xC3\xA9", -1, nullptr, 0), 3);
    WCHAR out[3] = {1, 1, 1};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "h\xC3\xA9", -1, out, 3), 3);
    EXPECT_EQ(out[0], u'h');
    EXPECT_EQ(out[1], 0xE9);
    EXPECT_EQ(out[2], 0);

    WCHAR small[2] = {7, 7};
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, small, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(small[0], 7) << "nothing written when it does not fit";
}

TEST(MultiByteToWideCharTest, InvalidArgumentsFail) {
    WCHAR out[4];
    struct Call {
        UINT codePage;
        const char* source;
        int sourceLength;
        WCHAR* dest;
        int destSize;
    };
    const Call calls[] = {
        {1252, "a", 1, out, 4},     // no other code page
        {CP_UTF8, nullptr, 1, out, 4},
        {CP_UTF8, "a", 0, out, 4},
        {CP_UTF8, "a", -2, out, 4},
        {CP_UTF8, "a", 1, out, -1},
        {CP_UTF8, "a", 1, nullptr, 4},
    };
    for (const Call& call : calls) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(MultiByteToWideChar(call.codePage, 0, call.source, call.sourceLength, call.dest, call.destSize), 0);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
}
