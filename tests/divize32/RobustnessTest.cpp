// Bad input: malformed messages handed to EnqueueMessage, unknown targets,
// and a hostile local peer writing to a node's socket directly.
#include <unistd.h>

#include <cstring>
#include <functional>

#include "DivizeEntries.h"
#include "DivizeTestSupport.h"
#include "TestMessage.h"

namespace divize_test {
namespace {

using RobustnessTest = DivizeTest;

std::vector<std::uint8_t> ValidMessageBytes(const std::string& target, std::uint32_t sequence) {
    MessageSpec spec;
    spec.source = "raw";
    spec.target = target;
    spec.sequence = sequence;
    spec.items = {"payload"};
    std::uint8_t* m = BuildMessage(spec);
    std::vector<std::uint8_t> bytes(m, m + wire::GetU32(m, wire::kTotalLength));
    QueueMessageFree(m);
    return bytes;
}

std::vector<std::uint8_t> Frame(const std::vector<std::uint8_t>& body, std::uint32_t announced) {
    std::vector<std::uint8_t> frame(4);
    wire::PutU32(frame.data(), 0, announced);
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

TEST_F(RobustnessTest, EnqueueToAnUnknownNodeLeavesTheMessageWithTheCaller) {
    Recorder node;
    ASSERT_NE(CreateSvcNode("known", &node, Recorder::Callback), 0u);
    MessageSpec spec;
    spec.source = "known";
    spec.target = "nobody";
    std::uint8_t* message = BuildMessage(spec);
    EXPECT_EQ(EnqueueMessage(message), 0);
    EXPECT_EQ(EnqueueMessage2(message, 1), 0);
    EXPECT_EQ(EnqueueMessage4(message, 0), 1);
    // Still ours: the sanitizer would flag a double release.
    QueueMessageFree(message);
}

TEST_F(RobustnessTest, MalformedMessagesAreRefused) {
    Recorder node;
    ASSERT_NE(CreateSvcNode("strict", &node, Recorder::Callback), 0u);
    struct Case {
        const char* what;
        std::function<void(std::uint8_t*)> corrupt;
    };
    const Case cases[] = {
        {"total below header", [](std::uint8_t* m) { wire::PutU32(m, wire::kTotalLength, 16); }},
        {"target without NUL",
         [](std::uint8_t* m) {
             m[wire::GetU16(m, wire::kTargetOffset) + wire::GetU16(m, wire::kTargetLength) - 1] = 'x';
         }},
        {"target offset past end",
         [](std::uint8_t* m) { wire::PutU16(m, wire::kTargetOffset, static_cast<std::uint16_t>(wire::GetU32(m, 0))); }},
        {"zero target length", [](std::uint8_t* m) { wire::PutU16(m, wire::kTargetLength, 0); }},
        {"source offset inside header", [](std::uint8_t* m) { wire::PutU16(m, wire::kSourceOffset, 4); }},
        {"item past end",
         [](std::uint8_t* m) { wire::PutU32(m, wire::GetU16(m, wire::kLengthTableOffset), 100000); }},
        {"length table past end", [](std::uint8_t* m) { wire::PutU16(m, wire::kItemCount, 5000); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MessageSpec spec;
        spec.source = "x";
        spec.target = "strict";
        spec.items = {"abc"};
        std::uint8_t* message = BuildMessage(spec);
        c.corrupt(message);
        EXPECT_EQ(EnqueueMessage(message), 0);
        EXPECT_EQ(EnqueueMessage4(message, 0), 1);
        QueueMessageFree(message);
    }
    EXPECT_EQ(EnqueueMessage(nullptr), 0);
    // Nothing reached the node, and a sound message still does.
    ASSERT_TRUE(Send("x", "strict", 9));
    ASSERT_TRUE(node.WaitForMessages(1));
    EXPECT_EQ(node.Messages().size(), 1u);
}

// Receivers refuse frames above 256 MiB, so the sender refuses such messages
// up front rather than accept what can never arrive.
TEST_F(RobustnessTest, MessagesLargerThanAFrameAreRefused) {
    Recorder node;
    ASSERT_NE(CreateSvcNode("big", &node, Recorder::Callback), 0u);
    MessageSpec spec;
    spec.source = "x";
    spec.target = "big";
    spec.items = {"1234"};
    std::uint8_t* header = BuildMessage(spec);
    const std::uint32_t small = wire::GetU32(header, wire::kTotalLength);
    const std::uint32_t total = (256u << 20) + 1;
    // Only the header, names and length table are written; the item bytes
    // are never read by the check.
    auto* big = static_cast<std::uint8_t*>(QueueMessageAlloc(total));
    ASSERT_NE(big, nullptr);
    std::memcpy(big, header, small);
    QueueMessageFree(header);
    wire::PutU32(big, wire::kTotalLength, total);
    wire::PutU32(big, wire::GetU16(big, wire::kLengthTableOffset), total - wire::GetU16(big, wire::kItemDataOffset));
    ASSERT_TRUE(wire::IsWellFormed(big, total));
    EXPECT_EQ(EnqueueMessage(big), 0);
    QueueMessageFree(big);
}

// Each stream below is garbage: the node drops that connection and nothing
// else changes.
TEST_F(RobustnessTest, GarbageOnAConnectionDropsOnlyThatConnection) {
    Recorder fortress;
    ASSERT_NE(CreateSvcNode("fortress", &fortress, Recorder::Callback), 0u);
    const std::vector<std::uint8_t> valid = ValidMessageBytes("fortress", 1);
    const auto size = static_cast<std::uint32_t>(valid.size());
    std::vector<std::uint8_t> noNul = valid;
    noNul[wire::GetU16(valid.data(), wire::kTargetOffset) + wire::GetU16(valid.data(), wire::kTargetLength) - 1] = 'z';
    std::vector<std::uint8_t> padded = valid;
    padded.resize(valid.size() + 4, 0);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"random bytes", std::vector<std::uint8_t>(64, 0xAB)},
        {"huge length", {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}},
        {"length beyond the cap", Frame({}, (256u << 20) + 1)},
        {"length below the header", Frame(std::vector<std::uint8_t>(10, 0), 10)},
        {"length disagrees with totalLength", Frame(padded, size + 4)},
        {"malformed message", Frame(noNul, size)},
        {"valid frame then garbage", [&] {
             std::vector<std::uint8_t> bytes = Frame(valid, size);
             const std::vector<std::uint8_t> junk = Frame(std::vector<std::uint8_t>(8, 0), 8);
             bytes.insert(bytes.end(), junk.begin(), junk.end());
             return bytes;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int fd = ConnectRaw(SocketPath("fortress"));
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(WriteAll(fd, c.bytes.data(), c.bytes.size()));
        EXPECT_TRUE(WaitForClose(fd));
        close(fd);
    }
    ASSERT_TRUE(Send("x", "fortress", 42));
    ASSERT_TRUE(fortress.WaitForMessages(2));
    const std::vector<Received> got = fortress.Messages();
    EXPECT_EQ(got[0].sequence, 1u) << "the valid frame before the garbage is delivered";
    EXPECT_EQ(got[1].sequence, 42u);
}

// Peers that vanish mid-frame, announce far more than they send, or just sit
// on connections: the node goes on receiving.
TEST_F(RobustnessTest, PeersThatStopMidFrameOrHoardConnectionsDoNotHurtTheNode) {
    Recorder fortress;
    ASSERT_NE(CreateSvcNode("fortress", &fortress, Recorder::Callback), 0u);
    const std::string path = SocketPath("fortress");
    const std::vector<std::uint8_t> valid = ValidMessageBytes("fortress", 1);
    const auto size = static_cast<std::uint32_t>(valid.size());

    const std::vector<std::vector<std::uint8_t>> vanishing = {
        {0x10, 0x00},                                            // half a length
        Frame(std::vector<std::uint8_t>(valid.begin(), valid.begin() + 20), size),  // half a message
        Frame(std::vector<std::uint8_t>(1 << 20, 0x5A), 200u << 20),  // 1 MiB of an announced 200 MiB
    };
    for (const auto& bytes : vanishing) {
        const int fd = ConnectRaw(path);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(WriteAll(fd, bytes.data(), bytes.size()));
        close(fd);
    }
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i) {
        const int fd = ConnectRaw(path);
        ASSERT_GE(fd, 0);
        idle.push_back(fd);
    }
    // A frame written by hand is accepted: the framing is a little-endian
    // length followed by the message.
    const int raw = ConnectRaw(path);
    ASSERT_GE(raw, 0);
    const std::vector<std::uint8_t> frame = Frame(valid, size);
    ASSERT_TRUE(WriteAll(raw, frame.data(), 3));
    ASSERT_TRUE(WriteAll(raw, frame.data() + 3, frame.size() - 3));
    ASSERT_TRUE(fortress.WaitForMessages(1));
    ASSERT_TRUE(Send("x", "fortress", 2));
    ASSERT_TRUE(fortress.WaitForMessages(2));
    EXPECT_EQ(fortress.Messages()[1].sequence, 2u);
    close(raw);
    for (int fd : idle) close(fd);
}

}  // namespace
}  // namespace divize_test
