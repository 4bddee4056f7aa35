// FuzzMessage.cpp - fuzz target fuzz_message: arbitrary bytes as a queue
// message.
//
// The input goes through the structural check, through Command's request
// and reply parsers (on a library buffer whose totalLength is the input's
// size, as the library delivers it), and through NodeMessageCallback of a
// live node registered in a private endpoint directory. A request the
// parser accepts must give a reply that is well formed and parses back to
// the same items. The node echoes every parameter as a reply item; replies
// and acknowledgements it sends go to names that do not exist there, so the
// library refuses them and the node frees them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "divize32/divize32.h"
#include "framework/Command.h"
#include "framework/FrameworkTesting.h"
#include "framework/MessageFormat.h"
#include "framework/ServiceNode.h"

namespace {

class EchoNode : public ServiceNode {
public:
    explicit EchoNode(const char* nodeName) : ServiceNode(nodeName, 0, 1) {}
    int HandleCommand(Command& command) override {
        for (std::uint32_t i = 0; i < command.GetParameterCount(); ++i) {
            command.AddReply(command.GetParameter(i), command.GetParameterLength(i));
        }
        command.SetResult(command.GetCode());
        return 1;   // never asks the thread to quit
    }
};

struct Harness {
    fuzz::PrivateDirectory endpoints;
    EchoNode* node = nullptr;

    Harness() {
        ::setenv("DIVIZE_DIR", endpoints.Path().c_str(), 1);
        node = new EchoNode("FuzzMessageNode");
        fuzz::Check(node->IsConnected() != 0, "the node could not be registered");
    }
    ~Harness() { delete node; }
};

// The input in a library buffer of at least a header's size whose
// totalLength is the input's size.
void* ToQueueMessage(const std::uint8_t* data, std::size_t size) {
    const std::size_t block = size < wire::kHeaderLength ? wire::kHeaderLength : size;
    void* message = QueueMessageAlloc(static_cast<std::uint32_t>(block));
    fuzz::Check(message != nullptr, "QueueMessageAlloc");
    std::memset(message, 0, block);
    if (size != 0) std::memcpy(message, data, size);
    wire::PutU32(message, wire::kTotalLength, static_cast<std::uint32_t>(size));
    return message;
}

bool SameItems(const Command& request, const Command& reply) {
    if (request.GetParameterCount() != reply.GetReplyCount()) return false;
    for (std::uint32_t i = 0; i < request.GetParameterCount(); ++i) {
        const std::uint32_t length = request.GetParameterLength(i);
        if (reply.GetReplyLength(i) != length) return false;
        if (length != 0 && std::memcmp(request.GetParameter(i), reply.GetReply(i), length) != 0) return false;
    }
    return true;
}

void CheckRequestRoundTrip(const void* message) {
    Command request(0);
    if (!request.ParseRequest(message)) return;
    fuzz::Check(wire::IsWellFormed(message, wire::GetU32(message, wire::kTotalLength)),
                "ParseRequest accepted a message the structural check refuses");
    const Command copy(request);
    for (std::uint32_t i = 0; i < request.GetParameterCount(); ++i) {
        request.AddReply(request.GetParameter(i), request.GetParameterLength(i));
    }
    request.SetLocalName("FuzzReplier");
    void* reply = request.BuildReplyMessage();
    if (reply == nullptr) return;
    const std::uint32_t total = wire::GetU32(reply, wire::kTotalLength);
    fuzz::Check(wire::IsWellFormed(reply, total), "a built reply is not well formed");
    fuzz::Check(wire::GetKind(reply) == wire::kKindReply, "a built reply has the wrong kind");
    Command waiting(0);
    framework_testing::SetNextRequestSequence(request.GetSequence());
    waiting.AssignSequence();
    fuzz::Check(waiting.ParseReply(reply) != 0, "a built reply does not parse");
    fuzz::Check(SameItems(copy, waiting), "a reply's items differ from the request's");
    QueueMessageFree(reply);
}

void CheckReplyParser(const void* message) {
    Command waiting(0);
    framework_testing::SetNextRequestSequence(wire::GetU32(message, wire::kSequence));
    waiting.AssignSequence();
    if (waiting.ParseReply(message)) {
        fuzz::Check(wire::IsWellFormed(message, wire::GetU32(message, wire::kTotalLength)),
                    "ParseReply accepted a message the structural check refuses");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness harness;
    if (size > 0xFFFFFFu) return 0;

    // The structural check on the bare bytes: totalLength as it stands.
    wire::IsWellFormed(data, size);

    void* message = ToQueueMessage(data, size);
    CheckRequestRoundTrip(message);
    CheckReplyParser(message);
    QueueMessageFree(message);

    // The callback owns what it is given.
    NodeMessageCallback(harness.node, ToQueueMessage(data, size), 0);
    NodeMessageCallback(harness.node, nullptr, size != 0 ? data[0] : 0u);
    return 0;
}
