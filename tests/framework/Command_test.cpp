// Command: item lists, copies, takes, clears, names and the sequence counter.
#include "framework/Command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "framework/FrameworkTesting.h"

namespace {

TEST(Command, StartsWithItsDefaults) {
    Command command(13);
    EXPECT_EQ(command.GetCode(), 13);
    EXPECT_EQ(command.GetResult(), 0);
    EXPECT_EQ(command.GetParameterCount(), 0u);
    EXPECT_EQ(command.GetReplyCount(), 0u);
    EXPECT_EQ(command.GetLocalName(), nullptr);
    EXPECT_EQ(command.GetRemoteName(), nullptr);
    EXPECT_EQ(command.GetSequence(), 0u);
    EXPECT_EQ(command.GetTimeoutMs(), 15000u);
    EXPECT_EQ(command.GetFlags(), 0u);
    EXPECT_EQ(command.GetTag(), 0u);
    EXPECT_EQ(command.GetParameterCapacity(), 16u);
    EXPECT_EQ(command.GetReplyCapacity(), 16u);
}

TEST(Command, ListsGrowBySixteenWhenTheCountReachesAMultipleOfSixteen) {
    Command command(1);
    struct Step { std::uint32_t count; std::uint32_t capacity; };
    const Step steps[] = {{1, 16}, {15, 16}, {16, 32}, {31, 32}, {32, 48}, {47, 48}, {48, 64}};
    std::uint32_t appended = 0;
    for (const Step& step : steps) {
        while (appended < step.count) {
            const std::uint8_t byte = static_cast<std::uint8_t>(appended);
            ASSERT_EQ(command.AddParameter(&byte, 1), 1);
            ASSERT_EQ(command.AddReply(&byte, 1), 1);
            ++appended;
        }
        EXPECT_EQ(command.GetParameterCapacity(), step.capacity) << "count " << step.count;
        EXPECT_EQ(command.GetReplyCapacity(), step.capacity) << "count " << step.count;
    }
    // Entries in use survive every regrowth.
    for (std::uint32_t i = 0; i < appended; ++i) {
        ASSERT_EQ(command.GetParameterLength(i), 1u);
        EXPECT_EQ(*static_cast<std::uint8_t*>(command.GetParameter(i)), static_cast<std::uint8_t>(i));
    }
}

TEST(Command, AppendBeyondTheItemLimitIsRefusedAndLosesNothing) {
    Command command(1);
    for (std::uint32_t i = 0; i < Command::kMaxItems; ++i) ASSERT_EQ(command.AddParameter("x", 1), 1);
    EXPECT_EQ(command.AddParameter("y", 1), 0);
    void* block = AllocateItemBuffer(4);
    EXPECT_EQ(command.AttachParameter(block, 4), 0);  // the block stays the caller's
    FreeItemBuffer(block);
    EXPECT_EQ(command.GetParameterCount(), Command::kMaxItems);
    EXPECT_EQ(command.BuildRequestMessage(), nullptr) << "table would end after byte 65535";
}

TEST(Command, CopyOwnsItsOwnBlocksAndNames) {
    Command original(13);
    for (std::uint8_t i = 0; i < 16; ++i) original.AddParameter(&i, 1);
    original.AddReply("reply", 5);
    original.SetLocalName("local");
    original.SetRemoteName("remote");
    original.SetResult(-4);
    original.SetTimeoutMs(77);
    original.SetFlags(Command::ReleaseParameters);
    original.SetTag(0x5A);
    original.AssignSequence();

    Command copy(original);
    EXPECT_EQ(copy.GetParameterCapacity(), 32u);
    EXPECT_EQ(copy.GetReplyCapacity(), 16u);
    EXPECT_EQ(copy.GetCode(), 13);
    EXPECT_EQ(copy.GetResult(), -4);
    EXPECT_EQ(copy.GetTimeoutMs(), 77u);
    EXPECT_EQ(copy.GetFlags(), Command::ReleaseParameters);
    EXPECT_EQ(copy.GetTag(), 0x5Au);
    EXPECT_EQ(copy.GetSequence(), original.GetSequence());
    ASSERT_EQ(copy.GetParameterCount(), 16u);
    EXPECT_NE(copy.GetParameter(3), original.GetParameter(3));
    EXPECT_EQ(*static_cast<std::uint8_t*>(copy.GetParameter(3)), 3);
    EXPECT_NE(copy.GetLocalName(), original.GetLocalName());
    EXPECT_STREQ(copy.GetLocalName(), "local");
    EXPECT_STREQ(copy.GetRemoteName(), "remote");
    ASSERT_EQ(copy.GetReplyLength(0), 5u);
    EXPECT_EQ(std::memcmp(copy.GetReply(0), "reply", 5), 0);
}

TEST(Command, TakeEmptiesTheSlotButKeepsTheCount) {
    Command command(1);
    command.AddParameter("hello", 5);
    std::uint32_t length = 99;
    void* block = command.TakeParameter(0, &length);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(std::memcmp(block, "hello", 5), 0);
    FreeItemBuffer(block);
    EXPECT_EQ(command.GetParameter(0), nullptr);
    EXPECT_EQ(command.GetParameterLength(0), 0u);
    EXPECT_EQ(command.GetParameterCount(), 1u);

    length = 99;
    EXPECT_EQ(command.TakeParameter(2, &length), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(command.TakeReply(0, &length), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(command.GetReply(0), nullptr);
    EXPECT_EQ(command.GetReplyLength(5), 0u);
}

TEST(Command, ClearParametersAndClearRepliesTouchOnlyTheirSide) {
    Command command(13);
    command.SetLocalName("a");
    command.SetRemoteName("b");
    command.SetTag(9);
    command.SetResult(5);
    command.SetTimeoutMs(10);
    command.SetFlags(3);
    command.AssignSequence();
    const std::uint32_t sequence = command.GetSequence();
    for (int i = 0; i < 20; ++i) command.AddParameter("p", 1);
    command.AddReply("r", 1);

    command.ClearParameters();
    EXPECT_EQ(command.GetParameterCount(), 0u);
    EXPECT_EQ(command.GetParameterCapacity(), 16u);
    EXPECT_EQ(command.GetCode(), 0);
    EXPECT_EQ(command.GetTimeoutMs(), 15000u);
    EXPECT_EQ(command.GetFlags(), 0u);
    EXPECT_STREQ(command.GetLocalName(), "a");
    EXPECT_STREQ(command.GetRemoteName(), "b");
    EXPECT_EQ(command.GetSequence(), sequence);
    EXPECT_EQ(command.GetTag(), 9u);
    EXPECT_EQ(command.GetResult(), 5);
    EXPECT_EQ(command.GetReplyCount(), 1u);

    command.SetCode(13);
    command.SetTimeoutMs(10);
    command.SetFlags(1);
    command.AddParameter("p", 1);
    command.ClearReplies();
    EXPECT_EQ(command.GetReplyCount(), 0u);
    EXPECT_EQ(command.GetResult(), 0);
    EXPECT_EQ(command.GetCode(), 13);
    EXPECT_EQ(command.GetParameterCount(), 1u);
    EXPECT_EQ(command.GetTimeoutMs(), 10u);
    EXPECT_EQ(command.GetFlags(), 1u);
    EXPECT_STREQ(command.GetLocalName(), "a");
    EXPECT_EQ(command.GetSequence(), sequence);
    EXPECT_EQ(command.GetTag(), 9u);
}

TEST(Command, BaseNamesCutAtTheFirstDoubleColonOnly) {
    struct Case { const char* name; const char* base; };
    const Case cases[] = {
        {"Server::Node", "Server"}, {"a:b", "a:b"}, {"a:b::c::d", "a:b"},
        {"::x", ""},                {"plain", "plain"}, {"x:::y", "x"},
    };
    for (const Case& c : cases) {
        Command command(0);
        command.SetLocalName(c.name);
        command.SetRemoteName(c.name);
        EXPECT_EQ(command.GetLocalBaseName(), c.base) << c.name;
        EXPECT_EQ(command.GetRemoteBaseName(), c.base) << c.name;
    }
    Command unset(0);
    EXPECT_EQ(unset.GetLocalBaseName(), "");
    unset.SetLocalName("x");
    unset.SetLocalName(nullptr);
    EXPECT_EQ(unset.GetLocalName(), nullptr);
}

TEST(Command, SequenceNumbersAreConsecutiveAndWrap) {
    framework_testing::SetNextRequestSequence(4294967294u);
    Command command(0);
    command.AssignSequence();
    EXPECT_EQ(command.GetSequence(), 4294967294u);
    command.AssignSequence();
    EXPECT_EQ(command.GetSequence(), 4294967295u);
    command.AssignSequence();
    EXPECT_EQ(command.GetSequence(), 0u);
}

TEST(Command, RequestsBuiltOnSeveralThreadsNeverShareANumber) {
    constexpr int kThreads = 4;
    constexpr int kEach = 5000;
    std::vector<std::vector<std::uint32_t>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&seen, t] {
            Command command(0);
            for (int i = 0; i < kEach; ++i) {
                command.AssignSequence();
                seen[t].push_back(command.GetSequence());
            }
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<std::uint32_t> all;
    for (const auto& numbers : seen) all.insert(numbers.begin(), numbers.end());
    EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach));
}

}  // namespace
