// ServiceNode against the real message-queue library, nodes in one process.
#include "framework/ServiceNode.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "NodeTestSupport.h"
#include "TestSupport.h"
#include "WireMessages.h"
#include "divize32/divize32.h"
#include "framework/MessageFormat.h"
#include "framework/MessageQueueLibrary.h"

namespace {

using namespace node_test;

class ServiceNodeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test_support::UsePrivateDivizeDir();
        ASSERT_EQ(BindMessageQueueLibrary(), 1);
    }
    // Every test uses names of its own.
    std::string Name(const char* base) {
        return std::string(base) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
};

TEST_F(ServiceNodeTest, RequestAndReplyRoundTrip) {
    EchoNode server(Name("server").c_str());
    ServiceNode client(Name("client").c_str(), 0, 1);
    ASSERT_TRUE(server.IsConnected() && client.IsConnected());

    CountingCommand command(7);
    command.SetRemoteName(server.GetName());
    command.AddParameter("ping", 4);
    EXPECT_EQ(client.SendCommandAndWait(&command), 1);
    EXPECT_EQ(command.completions.load(), 1);
    EXPECT_EQ(command.GetResult(), 107);
    ASSERT_EQ(command.GetReplyCount(), 1u);
    EXPECT_EQ(std::string(static_cast<const char*>(command.GetReply(0)), 4), "ping");
    EXPECT_STREQ(command.GetRemoteName(), server.GetName());
    EXPECT_EQ(client.CountPendingRequests(), 0u);
}

TEST_F(ServiceNodeTest, SendFailuresCompleteAtOnce) {
    // Not connected: an empty name cannot be registered.
    ServiceNode unconnected("", 0, 1);
    EXPECT_EQ(unconnected.IsConnected(), 0);
    std::atomic<int> destroyed{0};
    auto* command = new CountingCommand(1, &destroyed);
    command->SetRemoteName("anyone");
    EXPECT_EQ(unconnected.SendCommandAndWait(command), 1);
    EXPECT_EQ(command->completions.load(), 1);
    EXPECT_EQ(command->GetResult(), kResultNotConnected);
    delete command;
    auto* autoDeleted = new CountingCommand(1, &destroyed);
    EXPECT_EQ(unconnected.SendCommand(autoDeleted, nullptr, 0, 0, 1), 1);
    EXPECT_EQ(destroyed.load(), 2);

    // Refused: no node of that name.
    ServiceNode client(Name("client").c_str(), 0, 1);
    CountingCommand refused(1);
    refused.SetRemoteName("nobody-at-all");
    EXPECT_EQ(client.SendCommandAndWait(&refused), 1);
    EXPECT_EQ(refused.completions.load(), 1);
    EXPECT_EQ(refused.GetResult(), kResultRefused);
    EXPECT_EQ(client.CountPendingRequests(), 0u);

    // Not describable by the header.
    CountingCommand huge(1);
    huge.SetRemoteName(std::string(70000, 'n').c_str());
    EXPECT_EQ(client.SendCommandAndWait(&huge), 1);
    EXPECT_EQ(huge.GetResult(), kResultNoMessage);
    EXPECT_EQ(huge.completions.load(), 1);
}

TEST_F(ServiceNodeTest, RawModeSendsNothingAndCompletesNothing) {
    RawNode raw(Name("raw").c_str());
    std::atomic<int> destroyed{0};
    auto* command = new CountingCommand(1, &destroyed);
    command->SetRemoteName("x");
    command->SetResult(42);
    EXPECT_EQ(raw.SendCommand(command, nullptr, 1, 0, 1), 0);
    EXPECT_EQ(command->completions.load(), 0);
    EXPECT_EQ(command->GetResult(), 42);
    EXPECT_EQ(destroyed.load(), 0);
    command->SetFlags(Command::DeferReply);
    EXPECT_EQ(raw.SendReply(command), 0);
    delete command;
}

TEST_F(ServiceNodeTest, TimeoutCompletesOnceAndALateReplyIsDropped) {
    EchoNode server(Name("server").c_str());
    ServiceNode client(Name("client").c_str(), 0, 1);
    server.keep = true;

    CountingCommand command(5);
    command.SetRemoteName(server.GetName());
    command.SetTimeoutMs(250);
    EXPECT_EQ(client.SendCommandAndWait(&command), 1);
    EXPECT_EQ(command.GetResult(), kResultTimedOut);
    EXPECT_EQ(command.completions.load(), 1);

    // The server answers now; the reply matches nothing and is dropped.
    Command* kept = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (kept = server.TakeKept()) != nullptr; }));
    EXPECT_EQ(server.SendReply(kept), 1);
    server.keep = false;
    // The next reply travels the same way behind the late one.
    CountingCommand next(6);
    next.SetRemoteName(server.GetName());
    client.SendCommandAndWait(&next);
    EXPECT_EQ(next.GetResult(), 106);
    EXPECT_EQ(command.completions.load(), 1);
    EXPECT_EQ(command.GetResult(), kResultTimedOut);
    EXPECT_EQ(command.GetReplyCount(), 0u);
}

TEST_F(ServiceNodeTest, DeferredReplyLeavesOnlyWithSendReply) {
    EchoNode server(Name("server").c_str());
    ServiceNode client(Name("client").c_str(), 0, 1);
    server.keep = true;

    std::atomic<int> destroyed{0};
    auto* command = new CountingCommand(9, &destroyed);
    command->SetRemoteName(server.GetName());
    EXPECT_EQ(client.SendCommandAsync(command, 1, 0), 1);
    Command* kept = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (kept = server.TakeKept()) != nullptr; }));
    EXPECT_EQ(destroyed.load(), 0) << "no reply before SendReply";

    Command plain(1);
    EXPECT_EQ(server.SendReply(&plain), 0) << "refused without DeferReply";

    EXPECT_EQ(server.SendReply(kept), 1);
    ASSERT_TRUE(WaitFor([&] { return destroyed.load() == 1; })) << "completed and auto-deleted";
    EXPECT_EQ(client.CountPendingRequests(), 0u);
}

TEST_F(ServiceNodeTest, HeldBackRequestsAreReplayedNewestFirst) {
    EchoNode server(Name("server").c_str(), 0);
    ServiceNode client(Name("client").c_str(), 0, 1);
    client.SetReady(0);  // replies to the client's own requests still complete

    CountingCommand commands[3] = {CountingCommand(1), CountingCommand(2), CountingCommand(3)};
    for (auto& command : commands) {
        command.SetRemoteName(server.GetName());
        client.SendCommandAsync(&command, 0, 0);
    }
    ASSERT_TRUE(WaitFor([&] { return server.CountDeferredMessages() == 3; }));
    EXPECT_TRUE(server.Handled().empty());

    server.SetReady(1);
    EXPECT_EQ(server.Handled(), (std::vector<std::int32_t>{3, 2, 1}));
    EXPECT_EQ(server.CountDeferredMessages(), 0u);
    ASSERT_TRUE(WaitFor([&] { return client.CountPendingRequests() == 0; }));
    for (auto& command : commands) {
        EXPECT_EQ(command.completions.load(), 1);
        EXPECT_EQ(command.GetResult(), command.GetCode() + 100);
    }
}

TEST_F(ServiceNodeTest, DestroyingANodeDropsHeldBackRequestsUnanswered) {
    ServiceNode client(Name("client").c_str(), 0, 1);
    CountingCommand command(1);
    {
        EchoNode server(Name("server").c_str(), 0);
        command.SetRemoteName(server.GetName());
        command.SetTimeoutMs(300);
        client.SendCommandAsync(&command, 0, 0);
        ASSERT_TRUE(WaitFor([&] { return server.CountDeferredMessages() == 1; }));
    }
    ASSERT_TRUE(WaitFor([&] { return command.completions.load() == 1; }));
    EXPECT_EQ(command.GetResult(), kResultTimedOut);
}

TEST_F(ServiceNodeTest, DestroyingASenderCompletesItsPendingRequests) {
    RawNode hole(Name("hole").c_str());
    std::atomic<int> destroyed{0};
    auto* command = new CountingCommand(1, &destroyed);
    {
        ServiceNode client(Name("client").c_str(), 0, 1);
        command->SetRemoteName(hole.GetName());
        client.SendCommandAsync(command, 1, 0);
        EXPECT_EQ(client.CountPendingRequests(), 1u);
    }
    EXPECT_EQ(destroyed.load(), 1) << "completed with the node and auto-deleted";
}

TEST_F(ServiceNodeTest, KindsTwoAndFourAreAcknowledgedEvenWhileHoldingBack) {
    RawNode sender("A");
    EchoNode receiver("OrvaneAgent", 0);
    ASSERT_TRUE(sender.IsConnected() && receiver.IsConnected());

    auto send = [&](std::uint8_t kind, std::uint32_t sequence, std::uint8_t tag) {
        auto bytes = wire_test::MakeMessage(kind, "A", "OrvaneAgent", 99, sequence, {"item"}, tag);
        void* message = wire_test::ToQueueMessage(bytes);
        ASSERT_NE(CallEnqueueMessage(message), 0);
    };
    send(6, 1, 0);      // dropped: nothing comes back
    send(2, 4242, 0x5A);
    send(4, 4243, 0x11);
    ASSERT_TRUE(WaitFor([&] { return sender.Received().size() == 2; }));
    const auto acks = sender.Received();

    const std::uint8_t* ack = acks[0].data();
    ASSERT_EQ(acks[0].size(), 46u);
    EXPECT_EQ(wire::GetU32(ack, wire::kTotalLength), 46u);
    EXPECT_EQ(wire::GetU16(ack, wire::kHeaderLengthField), 32);
    EXPECT_EQ(wire::GetKind(ack), 3);
    EXPECT_EQ(ack[wire::kTag], 0x5A);
    EXPECT_EQ(wire::GetU16(ack, wire::kSourceLength), 12);
    EXPECT_EQ(wire::GetU16(ack, wire::kSourceOffset), 32);
    EXPECT_EQ(wire::GetU16(ack, wire::kTargetLength), 2);
    EXPECT_EQ(wire::GetU16(ack, wire::kTargetOffset), 44);
    EXPECT_EQ(wire::GetI32(ack, wire::kCode), 0);
    EXPECT_EQ(wire::GetU16(ack, wire::kItemCount), 0);
    EXPECT_EQ(wire::GetU16(ack, wire::kLengthTableOffset), 0);
    EXPECT_EQ(wire::GetU16(ack, wire::kItemDataOffset), 0);
    EXPECT_EQ(wire::GetU32(ack, wire::kSequence), 4242u);
    EXPECT_STREQ(reinterpret_cast<const char*>(ack) + 32, "OrvaneAgent");
    EXPECT_STREQ(reinterpret_cast<const char*>(ack) + 44, "A");

    EXPECT_EQ(wire::GetKind(acks[1].data()), 5);
    EXPECT_EQ(acks[1][wire::kTag], 0x11);
    EXPECT_EQ(wire::GetU32(acks[1].data(), wire::kSequence), 4243u);
    EXPECT_TRUE(receiver.Handled().empty());
    EXPECT_EQ(receiver.CountDeferredMessages(), 0u);

    // A SendAuthorizationCommand completes with the acknowledgement.
    ServiceNode client(Name("client").c_str(), 0, 1);
    SendAuthorizationCommand authorization(3);
    authorization.SetRemoteName("OrvaneAgent");
    authorization.SetResult(77);
    client.SendCommandAndWait(&authorization);
    EXPECT_EQ(authorization.GetResult(), 0);
    EXPECT_EQ(authorization.GetReplyCount(), 0u);
}

TEST_F(ServiceNodeTest, MalformedMessagesAreDroppedAndTheNodeKeepsAnswering) {
    // A pending request whose sequence the malformed replies carry; it
    // outlives the client, which completes it at destruction.
    CountingCommand pending(1);
    RawNode hole(Name("hole").c_str());
    EchoNode server(Name("server").c_str());
    ServiceNode client(Name("client").c_str(), 0, 1);
    pending.SetRemoteName(hole.GetName());
    pending.SetTimeoutMs(60000);
    client.SendCommandAsync(&pending, 0, 0);

    for (const auto& c : wire_test::MalformedCases()) {
        for (const std::uint8_t kind : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{2}}) {
            SCOPED_TRACE(std::string(c.what) + " kind " + std::to_string(kind));
            auto bytes = wire_test::MakeMessage(kind, client.GetName(), server.GetName(), 13,
                                                pending.GetSequence(), {"abc", "de"});
            c.spoil(bytes);
            EXPECT_EQ(NodeMessageCallback(&server, wire_test::ToQueueMessage(bytes), 0), 0);
            EXPECT_EQ(NodeMessageCallback(&client, wire_test::ToQueueMessage(bytes), 0), 0);
        }
    }
    EXPECT_TRUE(server.Handled().empty());
    EXPECT_EQ(pending.completions.load(), 0) << "a malformed reply completes nothing";

    // The library refuses a malformed frame on its socket; the node goes on.
    const char* directory = std::getenv("DIVIZE_DIR");
    ASSERT_NE(directory, nullptr);
    const std::string socketPath = std::string(directory) + "/" + server.GetName() + ".sock";
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        auto bytes = wire_test::MakeMessage(0, "x", server.GetName(), 13, 1, {"abc"});
        wire_test::MalformedCases()[8].spoil(bytes);  // huge item count
        std::vector<std::uint8_t> frame(4 + bytes.size());
        wire::PutU32(frame.data(), 0, static_cast<std::uint32_t>(bytes.size()));
        std::memcpy(frame.data() + 4, bytes.data(), bytes.size());
        EXPECT_EQ(send(fd, frame.data(), frame.size(), MSG_NOSIGNAL), static_cast<ssize_t>(frame.size()));
    }
    close(fd);

    CountingCommand command(4);
    command.SetRemoteName(server.GetName());
    client.SendCommandAndWait(&command);
    EXPECT_EQ(command.GetResult(), 104);
    EXPECT_EQ(server.Handled(), (std::vector<std::int32_t>{4}));
}

TEST_F(ServiceNodeTest, EventWaitResetsASignalledEventFirst) {
    EchoNode server(Name("server").c_str());
    ServiceNode client(Name("client").c_str(), 0, 1);
    EventSemaphore event(1);
    ASSERT_EQ(event.Wait(0), 1);
    CountingCommand command(2);
    command.SetRemoteName(server.GetName());
    EXPECT_EQ(client.SendCommandAndWaitEvent(&command, &event), 1);
    EXPECT_EQ(command.completions.load(), 1);
    EXPECT_EQ(command.GetResult(), 102);
    EXPECT_EQ(event.Wait(0), 1);
}

TEST_F(ServiceNodeTest, SynchronousAutoDeleteDestroysBeforeReturning) {
    EchoNode server(Name("server").c_str());
    ServiceNode client(Name("client").c_str(), 0, 1);
    std::atomic<int> destroyed{0};
    auto* command = new CountingCommand(1, &destroyed);
    command->SetRemoteName(server.GetName());
    EXPECT_EQ(client.SendCommand(command, nullptr, 0, 0, 1), 1);
    EXPECT_EQ(destroyed.load(), 1);
}

TEST_F(ServiceNodeTest, QuitBeforeTheReplyEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string clientName = Name("client");
    const std::string holeName = Name("hole");
    EXPECT_EXIT(
        {
            RawNode hole(holeName.c_str());
            ServiceNode client(clientName.c_str(), 0, 1);
            Command command(1);
            command.SetRemoteName(hole.GetName());
            PostQuitMessage(0);
            client.SendCommandAndWait(&command);
            std::_Exit(5);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(ServiceNodeTest, DisconnectTwiceCallsTheLibraryOnce) {
    ServiceNode node(Name("node").c_str(), 0, 1);
    ASSERT_EQ(node.IsConnected(), 1);
    EXPECT_EQ(node.Disconnect(), 1);
    EXPECT_EQ(node.IsConnected(), 0);
    EXPECT_EQ(node.Disconnect(), 1);
    // The name is free again.
    ServiceNode again(Name("node").c_str(), 0, 1);
    EXPECT_EQ(again.IsConnected(), 1);
}

// Ticks and the timer, driven by hand on nodes the library no longer ticks.
class TimerNode : public ServiceNode {
public:
    TimerNode() : ServiceNode("", 0, 1) {}
    int OnTimer() override {
        ++timerCalls;
        return verdict;
    }
    int timerCalls = 0;
    int verdict = 1;
};

TEST_F(ServiceNodeTest, TicksCountDownRequestsAndTheTimer) {
    RawNode hole(Name("hole").c_str());
    ServiceNode client(Name("client").c_str(), 0, 1);
    CountingCommand command(1);
    command.SetRemoteName(hole.GetName());
    command.SetTimeoutMs(5000);
    client.SendCommandAsync(&command, 0, 0);
    client.Disconnect();  // no more library ticks; the record stays pending
    const std::uint32_t left = command.GetTimeoutMs();

    NodeMessageCallback(&client, nullptr, 0);
    EXPECT_EQ(command.GetTimeoutMs(), left) << "a tick of 0 changes nothing";
    NodeMessageCallback(&client, nullptr, left);
    EXPECT_EQ(command.GetTimeoutMs(), 0u);
    EXPECT_EQ(command.completions.load(), 0) << "equal time left survives";
    NodeMessageCallback(&client, nullptr, 1);
    EXPECT_EQ(command.completions.load(), 1);
    EXPECT_EQ(command.GetResult(), kResultTimedOut);
    EXPECT_EQ(client.CountPendingRequests(), 0u);

    TimerNode timer;
    NodeMessageCallback(&timer, nullptr, 5000);
    EXPECT_EQ(timer.timerCalls, 0) << "no timer by default";
    timer.SetTimerInterval(1000);
    std::vector<int> calls;
    for (int i = 0; i < 8; ++i) {
        NodeMessageCallback(&timer, nullptr, 300);
        calls.push_back(timer.timerCalls);
    }
    EXPECT_EQ(calls, (std::vector<int>{0, 0, 0, 1, 1, 1, 1, 2}));
}

// True when the calling thread's queue holds WM_QUIT ahead of a marker
// posted now; wake-up messages of earlier sends are skipped. Empties the
// queue up to the marker.
bool QuitIsQueued() {
    constexpr UINT kMarker = WM_USER + 1;
    PostThreadMessageA(GetCurrentThreadId(), kMarker, 0, 0);
    bool quit = false;
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
        } else if (message.message == kMarker) {
            return quit;
        }
    }
}

TEST_F(ServiceNodeTest, ZeroFromTheHandlersPostsQuitToTheCallingThread) {
    TimerNode timer;
    timer.SetTimerInterval(100);
    timer.verdict = 0;
    EXPECT_FALSE(QuitIsQueued());
    NodeMessageCallback(&timer, nullptr, 99);
    EXPECT_FALSE(QuitIsQueued());
    NodeMessageCallback(&timer, nullptr, 1);
    EXPECT_TRUE(QuitIsQueued());

    // A handler returning 0 is answered first, then asks to quit.
    EchoNode server("");
    server.quitAfter = true;
    auto bytes = wire_test::MakeMessage(0, "nobody", "x", 1, 1);
    NodeMessageCallback(&server, wire_test::ToQueueMessage(bytes), 0);
    EXPECT_EQ(server.Handled(), (std::vector<std::int32_t>{1}));
    EXPECT_TRUE(QuitIsQueued());
}

class RunNode : public ServiceNode {
public:
    RunNode() : ServiceNode("", 0, 0) {}
    void OnRunStart() override { events += "start;"; }
    void OnRunEnd() override { events += "end;"; }
    std::string events;
};

TEST_F(ServiceNodeTest, RunWithAQuitAlreadyQueuedStartsAndEnds) {
    RunNode node;
    EXPECT_EQ(node.IsReady(), 0);
    EXPECT_FALSE(QuitIsQueued());
    PostQuitMessage(0);
    node.Run();
    EXPECT_EQ(node.events, "start;end;");
    EXPECT_EQ(node.IsReady(), 1);
}

}  // namespace
