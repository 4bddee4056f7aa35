// The queue message format as Command writes and reads it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "WireMessages.h"
#include "divize32/divize32.h"
#include "framework/Command.h"
#include "framework/FrameworkTesting.h"
#include "framework/MessageFormat.h"

namespace {

struct MessageDeleter {
    void operator()(void* message) const { QueueMessageFree(message); }
};
using Message = std::unique_ptr<void, MessageDeleter>;

std::vector<std::uint8_t> Bytes(const Message& message) {
    const auto* p = static_cast<const std::uint8_t*>(message.get());
    return std::vector<std::uint8_t>(p, p + wire::GetU32(p, wire::kTotalLength));
}

struct Header {
    std::uint32_t totalLength;
    std::uint8_t kind;
    std::uint8_t tag;
    std::uint16_t sourceLength, sourceOffset, targetLength, targetOffset;
    std::int32_t code;
    std::uint16_t itemCount, lengthTableOffset, itemDataOffset;
    std::uint32_t sequence;
};

void ExpectHeader(const void* m, const Header& h, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(wire::GetU32(m, wire::kTotalLength), h.totalLength);
    EXPECT_EQ(wire::GetU16(m, wire::kHeaderLengthField), 32);
    EXPECT_EQ(wire::GetKind(m), h.kind);
    EXPECT_EQ(static_cast<const std::uint8_t*>(m)[wire::kTag], h.tag);
    EXPECT_EQ(wire::GetU16(m, wire::kSourceLength), h.sourceLength);
    EXPECT_EQ(wire::GetU16(m, wire::kSourceOffset), h.sourceOffset);
    EXPECT_EQ(wire::GetU16(m, wire::kTargetLength), h.targetLength);
    EXPECT_EQ(wire::GetU16(m, wire::kTargetOffset), h.targetOffset);
    EXPECT_EQ(wire::GetU16(m, wire::kReserved), 0);
    EXPECT_EQ(wire::GetI32(m, wire::kCode), h.code);
    EXPECT_EQ(wire::GetU16(m, wire::kItemCount), h.itemCount);
    EXPECT_EQ(wire::GetU16(m, wire::kLengthTableOffset), h.lengthTableOffset);
    EXPECT_EQ(wire::GetU16(m, wire::kItemDataOffset), h.itemDataOffset);
    EXPECT_EQ(wire::GetU32(m, wire::kSequence), h.sequence);
}

// Valid messages: what the builders write, byte for byte.
TEST(WireFormat, BuildersWriteTheDocumentedLayout) {
    framework_testing::SetNextRequestSequence(500);
    {
        Command command(13);
        command.SetLocalName("A");
        command.SetRemoteName("OrvaneAgent");
        Message m(command.BuildRequestMessage());
        ASSERT_TRUE(m);
        ExpectHeader(m.get(), {46, 0, 0, 2, 32, 12, 34, 13, 0, 46, 46, 500}, "no parameters");
        const auto bytes = Bytes(m);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 18, bytes.begin() + 22),
                  (std::vector<std::uint8_t>{13, 0, 0, 0}));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + 32), 2), std::string("A\0", 2));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + 34), 12),
                  std::string("OrvaneAgent\0", 12));
    }
    {
        Command command(13);
        command.SetLocalName("A");
        command.SetRemoteName("OrvaneAgent");
        command.AddParameter("\x01\x02\x03\x04", 4);
        Message m(command.BuildRequestMessage());
        ASSERT_TRUE(m);
        ExpectHeader(m.get(), {54, 0, 0, 2, 32, 12, 34, 13, 1, 46, 50, 501}, "one 4-byte parameter");
        const auto bytes = Bytes(m);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 46, bytes.end()),
                  (std::vector<std::uint8_t>{4, 0, 0, 0, 1, 2, 3, 4}));
    }
    {
        Command command(-2);
        command.SetRemoteName("B");
        Message m(command.BuildRequestMessage());
        ASSERT_TRUE(m);
        ExpectHeader(m.get(), {35, 0, 0, 1, 32, 2, 33, -2, 0, 35, 35, 502}, "no local name");
        EXPECT_EQ(static_cast<const std::uint8_t*>(m.get())[32], 0);
        EXPECT_EQ(Bytes(m)[18], 0xFE);  // two's complement
    }
    {
        SendAuthorizationCommand command(4);
        command.SetLocalName("A");
        command.SetRemoteName("B");
        Message request(command.BuildRequestMessage());
        Message reply(command.BuildReplyMessage());
        ASSERT_TRUE(request && reply);
        ExpectHeader(request.get(), {36, 2, 0, 2, 32, 2, 34, 4, 0, 36, 36, 503}, "authorisation request");
        ExpectHeader(reply.get(), {36, 3, 0, 2, 32, 2, 34, 0, 0, 36, 36, 503}, "authorisation reply");
    }
}

TEST(WireFormat, ReplyEchoesTagAndSequenceWithNamesSwapped) {
    framework_testing::SetNextRequestSequence(1000);
    Command request(13);
    request.SetLocalName("A");
    request.SetRemoteName("OrvaneAgent");
    request.SetTag(0x15A);  // only the low byte travels
    Message requestMessage(request.BuildRequestMessage());
    ASSERT_TRUE(requestMessage);

    Command received(0);
    ASSERT_EQ(received.ParseRequest(requestMessage.get()), 1);
    EXPECT_EQ(received.GetCode(), 13);
    EXPECT_EQ(received.GetSequence(), 1000u);
    EXPECT_EQ(received.GetTag(), 0x5Au);
    EXPECT_STREQ(received.GetLocalName(), "OrvaneAgent");
    EXPECT_STREQ(received.GetRemoteName(), "A");
    received.SetResult(3);
    received.SetLocalName("OrvaneAgent");
    Message reply(received.BuildReplyMessage());
    ASSERT_TRUE(reply);
    ExpectHeader(reply.get(), {46, 1, 0x5A, 12, 32, 2, 44, 3, 0, 46, 46, 1000}, "reply");
    EXPECT_STREQ(static_cast<const char*>(reply.get()) + 32, "OrvaneAgent");
    EXPECT_STREQ(static_cast<const char*>(reply.get()) + 44, "A");
}

TEST(WireFormat, ItemsSurviveARoundTrip) {
    const std::vector<std::string> items = {std::string("\0\xff\n", 3), "", std::string(70000, 'z')};
    Command request(7);
    request.SetLocalName("client");
    request.SetRemoteName("server");
    for (const auto& item : items) request.AddParameter(item.data(), static_cast<std::uint32_t>(item.size()));
    Message m(request.BuildRequestMessage());
    ASSERT_TRUE(m);
    EXPECT_EQ(wire::GetU32(m.get(), wire::kTotalLength), 32u + 7 + 7 + 12 + 3 + 70000);

    Command received(0);
    ASSERT_EQ(received.ParseRequest(m.get()), 1);
    ASSERT_EQ(received.GetParameterCount(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        ASSERT_EQ(received.GetParameterLength(i), items[i].size());
        EXPECT_EQ(std::memcmp(received.GetParameter(i), items[i].data(), items[i].size()), 0);
        received.AddReply(items[i].data(), static_cast<std::uint32_t>(items[i].size()));
    }
    received.SetResult(-0x1234);
    Message reply(received.BuildReplyMessage());
    ASSERT_TRUE(reply);
    ASSERT_EQ(request.ParseReply(reply.get()), 1);
    EXPECT_EQ(request.GetResult(), -0x1234);
    ASSERT_EQ(request.GetReplyCount(), 3u);
    EXPECT_EQ(request.GetReplyLength(2), 70000u);
    EXPECT_EQ(received.GetParameterCount(), 3u) << "a reply never releases the parameters";
}

TEST(WireFormat, ReleaseParametersFreesEachBlockOnceCopied) {
    Command command(1);
    command.SetRemoteName("x");
    command.AddParameter("abc", 3);
    command.AddParameter("de", 2);
    command.SetFlags(Command::ReleaseParameters);
    Message m(command.BuildRequestMessage());
    ASSERT_TRUE(m);
    EXPECT_EQ(command.GetParameterCount(), 2u);
    EXPECT_EQ(command.GetParameter(0), nullptr);
    EXPECT_EQ(command.GetParameterLength(1), 0u);
    Command received(0);
    ASSERT_EQ(received.ParseRequest(m.get()), 1);
    EXPECT_EQ(std::memcmp(received.GetParameter(0), "abc", 3), 0);
    EXPECT_EQ(std::memcmp(received.GetParameter(1), "de", 2), 0);
}

TEST(WireFormat, TwoRequestsFromOneCommandTakeConsecutiveNumbers) {
    Command command(1);
    Message first(command.BuildRequestMessage());
    const std::uint32_t one = command.GetSequence();
    Message second(command.BuildRequestMessage());
    EXPECT_EQ(command.GetSequence(), one + 1);
    EXPECT_EQ(wire::GetU32(second.get(), wire::kSequence), one + 1);
}

TEST(WireFormat, MessagesTheHeaderCannotDescribeAreNotBuilt) {
    Command longName(1);
    longName.SetRemoteName(std::string(65535 - 32 - 1, 'n').c_str());  // header + names end after byte 65535
    EXPECT_EQ(longName.BuildRequestMessage(), nullptr);

    Command fits(1);
    fits.SetRemoteName(std::string(65535 - 32 - 2, 'n').c_str());  // ends exactly at byte 65535
    Message m(fits.BuildRequestMessage());
    ASSERT_TRUE(m);
    EXPECT_EQ(wire::GetU16(m.get(), wire::kItemDataOffset), 65535);
    Command back(0);
    EXPECT_EQ(back.ParseRequest(m.get()), 1);
}

TEST(WireFormat, ParsersRefuseTheWrongSide) {
    Command request(5);
    request.SetRemoteName("b");
    request.AddParameter("p", 1);
    request.AddReply("r", 1);
    Message requestMessage(request.BuildRequestMessage());
    EXPECT_EQ(request.ParseReply(requestMessage.get()), 0);
    EXPECT_EQ(request.GetReplyCount(), 0u) << "cleared before the refusal";

    Command received(0);
    ASSERT_EQ(received.ParseRequest(requestMessage.get()), 1);
    Message reply(received.BuildReplyMessage());
    Command other(0);
    other.AddParameter("q", 1);
    EXPECT_EQ(other.ParseRequest(reply.get()), 0);
    EXPECT_EQ(other.GetParameterCount(), 0u);

    Command stranger(5);
    stranger.AssignSequence();
    stranger.AddReply("old", 3);
    EXPECT_EQ(stranger.ParseReply(reply.get()), 0) << "another sequence";
    EXPECT_EQ(stranger.GetReplyCount(), 0u);
    EXPECT_EQ(IsReplyMessage(reply.get()), 1);
    EXPECT_EQ(IsRequestMessage(reply.get()), 0);
    EXPECT_EQ(IsRequestMessage(requestMessage.get()), 1);
}

// Invalid messages: never read outside totalLength, always refused.
TEST(WireFormat, ParsersRefuseMalformedMessages) {
    for (const auto& c : wire_test::MalformedCases()) {
        for (const std::uint8_t kind : {std::uint8_t{0}, std::uint8_t{1}}) {
            SCOPED_TRACE(std::string(c.what) + (kind == 0 ? " (request)" : " (reply)"));
            auto bytes = wire_test::MakeMessage(kind, "src", "target", 13, 77, {"item-one", "2"});
            c.spoil(bytes);
            EXPECT_FALSE(wire::IsWellFormed(bytes.data(), bytes.size()));
            void* message = wire_test::ToQueueMessage(bytes);
            Command command(0);
            if (kind == 0) {
                EXPECT_EQ(command.ParseRequest(message), 0);
                EXPECT_EQ(command.GetParameterCount(), 0u);
            } else {
                command.AssignSequence();
                wire::PutU32(message, wire::kSequence, command.GetSequence());
                EXPECT_EQ(command.ParseReply(message), 0);
                EXPECT_EQ(command.GetReplyCount(), 0u);
            }
            QueueMessageFree(message);
        }
    }
}

TEST(WireFormat, HostileItemCountWithinTheMessageParses) {
    // As many empty items as a header can place: the whole table lies inside the message.
    std::vector<std::string> items(16000);
    const auto bytes = wire_test::MakeMessage(0, "s", "t", 1, 1, items);
    void* message = wire_test::ToQueueMessage(bytes);
    Command command(0);
    EXPECT_EQ(command.ParseRequest(message), 1);
    EXPECT_EQ(command.GetParameterCount(), items.size());
    EXPECT_EQ(command.GetParameterCapacity(), 16u * (static_cast<std::uint32_t>(items.size()) / 16 + 1));
    QueueMessageFree(message);
}

}  // namespace
