// Delivery between nodes: in one process, between processes, timer ticks and
// the end of a node's callbacks at DeleteSvcNode.
#include <atomic>
#include <filesystem>
#include <thread>

#include "DivizeEntries.h"
#include "DivizeTestSupport.h"
#include "TestMessage.h"

namespace divize_test {
namespace {

using DeliveryTest = DivizeTest;

void ExpectSequencesInOrder(const std::vector<Received>& messages, std::size_t count) {
    ASSERT_EQ(messages.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(messages[i].sequence, i) << "message " << i << " out of order";
    }
}

TEST_F(DeliveryTest, DeliversInSendOrderWithinOneProcess) {
    Recorder beta;
    ASSERT_NE(CreateSvcNode("beta", &beta, Recorder::Callback), 0u);
    constexpr std::uint32_t kCount = 500;
    for (std::uint32_t i = 0; i < kCount; ++i) ASSERT_TRUE(Send("alpha", "beta", i));
    ASSERT_TRUE(beta.WaitForMessages(kCount));
    const std::vector<Received> got = beta.Messages();
    ExpectSequencesInOrder(got, kCount);
    EXPECT_EQ(got[0].source, "alpha");
    EXPECT_EQ(got[0].target, "beta");
}

TEST_F(DeliveryTest, ExchangesMessagesWithAnotherProcessInOrder) {
    Recorder client;
    ASSERT_NE(CreateSvcNode("client", &client, Recorder::Callback), 0u);
    Peer echo({"echo", "echo-peer"});
    ASSERT_EQ(echo.ReadLine(), "ready");
    constexpr std::uint32_t kCount = 300;
    for (std::uint32_t i = 0; i < kCount; ++i) ASSERT_TRUE(Send("client", "echo-peer", i));
    ASSERT_TRUE(client.WaitForMessages(kCount));
    const std::vector<Received> replies = client.Messages();
    ExpectSequencesInOrder(replies, kCount);
    EXPECT_EQ(replies[0].source, "echo-peer");
    EXPECT_EQ(replies[0].kind, wire::kKindReply);
    echo.CloseInput();
    EXPECT_EQ(echo.Wait(), 0);
}

// The sender exits right after enqueueing, without TermApplication: what was
// accepted still arrives, and the process ends cleanly.
TEST_F(DeliveryTest, SenderThatExitsWithoutTermStillDeliversEverythingInOrder) {
    Recorder sink;
    ASSERT_NE(CreateSvcNode("sink", &sink, Recorder::Callback), 0u);
    constexpr std::uint32_t kCount = 1000;
    Peer sender({"send", "remote", "sink", std::to_string(kCount)});
    EXPECT_EQ(sender.ReadLine(), "sent " + std::to_string(kCount));
    EXPECT_EQ(sender.Wait(), 0);
    ASSERT_TRUE(sink.WaitForMessages(kCount));
    ExpectSequencesInOrder(sink.Messages(), kCount);
}

TEST_F(DeliveryTest, TicksCarryTheTimeSinceThePreviousTick) {
    Recorder node;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_NE(CreateSvcNode("ticking", &node, Recorder::Callback), 0u);
    ASSERT_TRUE(node.WaitForTicks(5));
    ASSERT_EQ(DeleteSvcNode("ticking"), 1);
    const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    const std::vector<std::uint32_t> ticks = node.Ticks();
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        if (i > 0) {
            EXPECT_GT(ticks[i], 0u) << "tick " << i;
        }
        sum += ticks[i];
    }
    // Each tick reports elapsed time, so together they cannot exceed it.
    EXPECT_LE(sum, static_cast<std::uint64_t>(wall.count()));
}

TEST_F(DeliveryTest, DeleteStopsCallbacksAndRemovesTheEndpoint) {
    Recorder target;
    Recorder witness;
    const std::uint32_t handle = CreateSvcNode("target", &target, Recorder::Callback);
    ASSERT_NE(handle, 0u);
    ASSERT_NE(CreateSvcNode("witness", &witness, Recorder::Callback), 0u);
    ASSERT_TRUE(Send("x", "target", 1));
    ASSERT_TRUE(target.WaitForMessages(1));
    EXPECT_EQ(SvcNodeExists(handle), 1);

    ASSERT_EQ(DeleteSvcNode("target"), 1);
    const std::size_t callsAtDelete = target.CallCount();
    EXPECT_EQ(SvcNodeExists(handle), 0);
    EXPECT_FALSE(std::filesystem::exists(SocketPath("target")));
    EXPECT_FALSE(std::filesystem::exists(endpointDir_ + "/target.lock"));
    EXPECT_FALSE(Send("x", "target", 2)) << "the cached connection must not hide the deletion";

    // Let the delivery thread run a few more rounds.
    const std::size_t witnessTicks = witness.Ticks().size();
    ASSERT_TRUE(witness.WaitForTicks(witnessTicks + 3));
    EXPECT_EQ(target.CallCount(), callsAtDelete);
    EXPECT_EQ(DeleteSvcNode("target"), 0);
    EXPECT_EQ(DeleteSvcNode("never-existed"), 0);
}

TEST_F(DeliveryTest, DeleteFromAnotherThreadWaitsForTheRunningCallback) {
    Recorder slow;
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool release = false;
    std::atomic<bool> finished{false};
    slow.onMessage = [&](const void*) {
        std::unique_lock lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
        finished = true;
    };
    ASSERT_NE(CreateSvcNode("slow", &slow, Recorder::Callback), 0u);
    ASSERT_TRUE(Send("x", "slow", 1));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, kPatience, [&] { return entered; }));
    }
    std::atomic<bool> deleted{false};
    bool finishedWhenDeleteReturned = false;
    std::int32_t result = 0;
    std::thread deleter([&] {
        result = DeleteSvcNode("slow");
        finishedWhenDeleteReturned = finished.load();
        deleted = true;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(deleted.load()) << "DeleteSvcNode returned while the node's callback ran";
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    deleter.join();
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(finishedWhenDeleteReturned);
}

TEST_F(DeliveryTest, CallbackCanDeleteItsOwnNodeAndCreateAnother) {
    Recorder selfish;
    Recorder reborn;
    std::atomic<std::int32_t> deleteResult{-1};
    std::atomic<std::uint32_t> rebornHandle{0};
    selfish.onMessage = [&](const void*) {
        if (deleteResult.load() != -1) return;
        deleteResult = DeleteSvcNode("selfish");
        rebornHandle = CreateSvcNode("reborn", &reborn, Recorder::Callback);
    };
    ASSERT_NE(CreateSvcNode("selfish", &selfish, Recorder::Callback), 0u);
    ASSERT_TRUE(Send("x", "selfish", 1));
    ASSERT_TRUE(selfish.WaitForMessages(1));
    EXPECT_EQ(deleteResult.load(), 1);
    ASSERT_NE(rebornHandle.load(), 0u);
    EXPECT_FALSE(Send("x", "selfish", 2));
    ASSERT_TRUE(Send("x", "reborn", 3));
    ASSERT_TRUE(reborn.WaitForMessages(1));
    EXPECT_EQ(reborn.Messages()[0].sequence, 3u);
}

}  // namespace
}  // namespace divize_test
