// The language table: Windows language identifiers to directory names.
#include <gtest/gtest.h>

#include <string>

#include "text/ResourceLoader.h"
#include "win32/win32_testing.h"

namespace {

WORD LanguageId(WORD primary, WORD sub) { return static_cast<WORD>(primary | (sub << 10)); }

TEST(LanguageDirectoryTest, Table) {
    struct Row {
        WORD primary, sub;
        const char* directory;
    };
    const Row rows[] = {
        {0x04, 2, "zhCN"}, {0x04, 1, "zhTW"}, {0x04, 3, "zhCN"}, {0x04, 0, "zhCN"},
        {0x1A, 1, "hr"},   {0x1A, 2, "hr"},   {0x1A, 3, "hr"},   // row 18 hides row 29
        {0x09, 1, "en"},   {0x39, 1, "en"},   {0x00, 0, "en"},   {0x3FF, 0x3F, "en"},
        {0x36, 1, "af"},   {0x2A, 1, "vi"},   {0x07, 1, "de"},   {0x07, 5, "de"},
        {0x0D, 1, "iw"},   {0x21, 1, "in"},   {0x0C, 1, "fr"},   {0x11, 1, "ja"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.primary) + "/" + std::to_string(row.sub));
        EXPECT_STREQ(LanguageDirectoryFor(LanguageId(row.primary, row.sub)), row.directory);
    }
}

TEST(LanguageDirectoryTest, FollowsTheUserLocale) {
    const std::pair<const char*, const char*> rows[] = {
        {"de_DE.UTF-8", "de"}, {"zh_TW.UTF-8", "zhTW"}, {"zh_CN.UTF-8", "zhCN"},
        {"en_US.UTF-8", "en"}, {"C", "en"},
    };
    for (const auto& [locale, directory] : rows) {
        SCOPED_TRACE(locale);
        win32_testing::SetUserLocaleOverride(locale);
        EXPECT_STREQ(GetLanguageDirectory(), directory);
    }
    win32_testing::SetUserLocaleOverride(nullptr);
}

}  // namespace
