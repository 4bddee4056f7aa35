#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "win32/win32.h"

// The tests run in the "C" locale, where the comparison is by byte value.
TEST(StringHelpersTest, CompareFoldsBySign) {
    struct Case {
        const char* a;
        const char* b;
        int sensitive;
        int insensitive;
    };
    const Case cases[] = {
        {"abc", "abc", 0, 0},   {"abc", "abd", -1, -1}, {"abd", "abc", 1, 1},
        {"ABC", "abc", -1, 0},  {"abc", "ABD", 1, -1},  {"", "a", -1, -1},
        {"ab", "a", 1, 1},      {nullptr, "", -1, -1},  {"", nullptr, 1, 1},
        {nullptr, nullptr, 0, 0}, {"\xC3\xA9", "e", 1, 1},
    };
    for (const Case& c : cases) {
        const std::string label = std::string(c.a ? c.a : "(null)") + " vs " + (c.b ? c.b : "(null)");
        EXPECT_EQ(lstrcmpA(c.a, c.b), c.sensitive) << label;
        EXPECT_EQ(lstrcmpiA(c.a, c.b), c.insensitive) << label;
    }
}

TEST(StringHelpersTest, UpperCaseChangesAsciiLettersOnly) {
    char text[] = "divize32.dll - \xC3\xA9t\xC3\xA9 z";
    EXPECT_EQ(CharUpperA(text), text);
    EXPECT_STREQ(text, "DIVIZE32.DLL - \xC3\xA9T\xC3\xA9 Z");

    // The single-character form: the character in the pointer's low word.
    auto single = [](char c) {
        return reinterpret_cast<std::uintptr_t>(
            CharUpperA(reinterpret_cast<char*>(static_cast<std::uintptr_t>(static_cast<unsigned char>(c)))));
    };
    EXPECT_EQ(single('q'), static_cast<std::uintptr_t>('Q'));
    EXPECT_EQ(single('7'), static_cast<std::uintptr_t>('7'));
}
