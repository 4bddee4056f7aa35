// Storage, copying, growth and slicing of Str.
#include "text/Str.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string TextOf(const Str& s) { return s.GetText() ? s.GetText() : "<none>"; }

TEST(StrTest, EmptyStatesDiffer) {
    const Str none;
    EXPECT_EQ(none.GetText(), nullptr);
    EXPECT_EQ(none.Capacity(), 0u);
    EXPECT_EQ(none.Length(), 0u);

    const Str empty(nullptr);
    ASSERT_NE(empty.GetText(), nullptr);
    EXPECT_EQ(empty.GetText()[0], '\0');
    EXPECT_EQ(empty.Capacity(), 1u);
    EXPECT_EQ(empty.Length(), 0u);

    const Str copyOfNone(none);
    EXPECT_EQ(copyOfNone.GetText(), nullptr);
    EXPECT_EQ(copyOfNone.Capacity(), 0u);

    const Str copyOfEmpty(empty);
    EXPECT_STREQ(copyOfEmpty.GetText(), "");
    EXPECT_EQ(copyOfEmpty.Capacity(), 1u);
    EXPECT_NE(copyOfEmpty.GetText(), empty.GetText());
}

TEST(StrTest, ConstructionAllocatesExactly) {
    const Str s("hello");
    EXPECT_EQ(TextOf(s), "hello");
    EXPECT_EQ(s.Capacity(), 6u);
    Str grown("ab");
    grown.Append("cdefgh");
    const Str copy(grown);
    EXPECT_EQ(copy.Capacity(), 9u);
    EXPECT_NE(copy.GetText(), grown.GetText());
}

// Each row applies one operation to the Str left by the rows before it.
struct CapacityStep {
    const char* operation;   // "assign" or "append"
    const char* argument;
    const char* text;
    std::uint32_t capacity;
};

void RunSteps(Str& s, const std::vector<CapacityStep>& steps) {
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.operation) + " \"" + (step.argument ? step.argument : "null") + "\"");
        if (std::strcmp(step.operation, "assign") == 0)
            s.Assign(step.argument);
        else
            s.Append(step.argument);
        EXPECT_EQ(TextOf(s), step.text);
        EXPECT_EQ(s.Capacity(), step.capacity);
    }
}

TEST(StrTest, AssignKeepsBlockWhileAtLeastHalfFull) {
    Str s;
    RunSteps(s, {
                    {"assign", "abc", "abc", 6},     // n = 4 -> 6
                    {"assign", "ab", "ab", 6},       // n = 3, 2n = 6 not below 6
                    {"assign", "a", "a", 3},         // n = 2, 4 < 6 -> 3
                    {"assign", "abcd", "abcd", 7},   // n = 5 > 3 -> 7
                    {"assign", nullptr, "", 1},      // n = 1, 2 < 7 -> 1
                    {"assign", "", "", 1},
                });
    Str fresh;
    RunSteps(fresh, {{"assign", "", "", 1}});
}

TEST(StrTest, AppendGrowsByHalfAndNeverShrinks) {
    Str s("abc");   // exact block of 4
    RunSteps(s, {
                    {"append", "def", "abcdef", 10},    // need 7 -> 10
                    {"append", "ghi", "abcdefghi", 10}, // need 10 fits
                    {"append", "j", "abcdefghij", 16},  // need 11 -> 16
                    {"append", nullptr, "abcdefghij", 16},
                    {"assign", "abcdefgh", "abcdefgh", 16},
                });
    Str none;
    RunSteps(none, {{"append", "", "", 1}});
    Str none2;
    RunSteps(none2, {{"append", nullptr, "", 1}, {"append", "xy", "xy", 4}});
}

// Arguments that point into the receiving Str's own block. Under
// AddressSanitizer a copy from a released block or a run past the
// terminator is reported.
TEST(StrTest, AssignFromOwnBlock) {
    Str shrink("abcdefghijklmnop");   // capacity 17
    shrink.Assign(shrink.GetText() + 14);   // "op": n = 3, 6 < 17 -> new block
    EXPECT_EQ(TextOf(shrink), "op");
    EXPECT_EQ(shrink.Capacity(), 4u);

    Str keep("abcdef");   // capacity 7
    keep.Assign(keep.GetText() + 2);   // "cdef": n = 5, kept, overlapping move
    EXPECT_EQ(TextOf(keep), "cdef");
    EXPECT_EQ(keep.Capacity(), 7u);

    Str self("same");
    self.Assign(self.GetText());
    EXPECT_EQ(TextOf(self), "same");
}

TEST(StrTest, AppendFromOwnBlock) {
    Str grow("abc");   // capacity 4: appending itself needs a new block
    grow.Append(grow.GetText());
    EXPECT_EQ(TextOf(grow), "abcabc");
    EXPECT_EQ(grow.Capacity(), 10u);

    // Room enough: the copy runs over the terminator it reads up to.
    Str big("0123456789");
    big.Append("");          // capacity 11, no change
    big.Assign("01234");     // n = 6, 12 > 11 -> kept
    ASSERT_EQ(big.Capacity(), 11u);
    big.Append(big.GetText());   // need 11 fits: in-place self-append
    EXPECT_EQ(TextOf(big), "0123401234");
    EXPECT_EQ(big.Capacity(), 11u);
    big.Assign("0123");              // n = 5, 10 < 11 -> block of 7
    big.Append(big.GetText() + 2);   // "23" from inside the text, need 7 fits   // "23" from inside the text
    EXPECT_EQ(TextOf(big), "012323");
}

TEST(StrTest, CharAtIsBoundedByTheBlock) {
    Str s("abc");
    s.Append("d");   // "abcd" in a block of 7
    EXPECT_EQ(s.CharAt(0), 'a');
    EXPECT_EQ(&s.CharAt(s.Length()), s.GetText() + 4);   // the terminator
    EXPECT_EQ(s.CharAt(s.Length()), '\0');
    char& outside = s.CharAt(s.Capacity());
    EXPECT_EQ(outside, '\0');
    EXPECT_TRUE(&outside < s.GetText() || &outside >= s.GetText() + s.Capacity());
    EXPECT_EQ(&s.CharAt(0xFFFFFFFFu), &outside);
    Str none;
    EXPECT_EQ(&none.CharAt(0), &outside);
    s.CharAt(1) = 'B';
    EXPECT_EQ(TextOf(s), "aBcd");
}

TEST(StrTest, SubstringClipsAndRestoresSource) {
    struct Row {
        std::uint32_t index, count;
        const char* expected;
    };
    const Row rows[] = {
        {1, 3, "bcd"}, {4, 100, "e"}, {9, 2, ""}, {0, 0, ""},
        {0, 5, "abcde"}, {5, 1, ""}, {2, 0xFFFFFFFFu, "cde"}, {0xFFFFFFFFu, 0xFFFFFFFFu, ""},
    };
    Str source("abcde");
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.index) + "," + std::to_string(row.count));
        const Str part = source.Substring(row.index, row.count);
        EXPECT_EQ(TextOf(part), row.expected);
        EXPECT_EQ(part.Capacity(), std::strlen(row.expected) + 1);
        EXPECT_EQ(TextOf(source), "abcde");
        EXPECT_EQ(source.Capacity(), 6u);
    }
    Str none;
    const Str nonePart = none.Substring(0, 3);
    EXPECT_EQ(nonePart.GetText(), nullptr);
    EXPECT_EQ(nonePart.Capacity(), 0u);
}

TEST(StrTest, ConcatBuildsExactCopy) {
    const Str a("foo"), b("barbaz"), none;
    const Str joined = Concat(a, b);
    EXPECT_EQ(TextOf(joined), "foobarbaz");
    EXPECT_EQ(joined.Capacity(), 10u);
    EXPECT_EQ(TextOf(a), "foo");
    EXPECT_EQ(TextOf(b), "barbaz");

    const Str nothing = Concat(none, none);
    EXPECT_STREQ(nothing.GetText(), "");
    EXPECT_EQ(nothing.Capacity(), 1u);
    EXPECT_EQ(TextOf(Concat(none, a)), "foo");
}

TEST(StrTest, CopyAndMoveAssignmentNeverShareBlocks) {
    Str a("alpha");
    Str b;
    b = a;
    EXPECT_EQ(TextOf(b), "alpha");
    EXPECT_NE(b.GetText(), a.GetText());
    b = b;
    EXPECT_EQ(TextOf(b), "alpha");
    const Str none;
    b = none;
    EXPECT_EQ(b.GetText(), nullptr);
    EXPECT_EQ(b.Capacity(), 0u);

    Str moved(std::move(a));
    EXPECT_EQ(TextOf(moved), "alpha");
    EXPECT_EQ(a.GetText(), nullptr);   // NOLINT(bugprone-use-after-move): defined state
    b = std::move(moved);
    EXPECT_EQ(TextOf(b), "alpha");
    EXPECT_EQ(moved.GetText(), nullptr);   // NOLINT(bugprone-use-after-move)
}

TEST(StrTest, DestroyedThroughBasePointer) {
    Str* s = new Str("owned");
    delete s;   // AddressSanitizer reports a leak if the block survives
}

}  // namespace
