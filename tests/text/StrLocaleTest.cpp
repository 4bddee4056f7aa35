// Comparison and case mapping of Str through the platform's locale rules.
#include <gtest/gtest.h>

#include "text/Str.h"

namespace {

TEST(StrLocaleTest, CompareFoldsBySignAndReadsMissingAsEmpty) {
    const Str b("b");
    EXPECT_EQ(b.Compare("c"), -1);
    EXPECT_EQ(b.Compare("a"), 1);
    EXPECT_EQ(b.Compare("b"), 0);
    EXPECT_EQ(b.Compare(nullptr), 1);

    const Str none;
    const Str empty(nullptr);
    for (const Str* s : {&none, &empty}) {
        EXPECT_EQ(s->IsEqual(nullptr), 1);
        EXPECT_EQ(s->IsEqual(""), 1);
        EXPECT_EQ(s->IsLess("a"), 1);
    }
}

TEST(StrLocaleTest, RelationsFollowCompare) {
    struct Row {
        const char* text;
        const char* other;
        int eq, ne, gt, lt, ge, le;
    };
    const Row rows[] = {
        {"abc", "abc", 1, 0, 0, 0, 1, 1},
        {"abc", "abd", 0, 1, 0, 1, 0, 1},
        {"abd", "abc", 0, 1, 1, 0, 1, 0},
        {"", "x", 0, 1, 0, 1, 0, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.text) + " vs " + row.other);
        const Str s(row.text);
        EXPECT_EQ(s.IsEqual(row.other), row.eq);
        EXPECT_EQ(s.IsNotEqual(row.other), row.ne);
        EXPECT_EQ(s.IsGreater(row.other), row.gt);
        EXPECT_EQ(s.IsLess(row.other), row.lt);
        EXPECT_EQ(s.IsGreaterOrEqual(row.other), row.ge);
        EXPECT_EQ(s.IsLessOrEqual(row.other), row.le);
    }
}

TEST(StrLocaleTest, MakeUpperInPlace) {
    Str s("Hello, world");
    const char* block = s.GetText();
    EXPECT_EQ(s.MakeUpper(), block);
    EXPECT_STREQ(s.GetText(), "HELLO, WORLD");
    Str none;
    EXPECT_EQ(none.MakeUpper(), nullptr);
    EXPECT_EQ(none.GetText(), nullptr);
    Str empty("");
    EXPECT_STREQ(empty.MakeUpper(), "");
}

}  // namespace
