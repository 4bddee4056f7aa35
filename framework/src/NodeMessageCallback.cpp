// Dispatch of everything the library hands a node: raw messages, timer
// ticks, requests, replies and the kinds the framework acknowledges itself.
#include <cstring>
#include <new>

#include "divize32/divize32.h"
#include "framework/MessageFormat.h"
#include "framework/MessageQueueLibrary.h"
#include "framework/ServiceNode.h"

namespace {

// Every field of the message lies inside its totalLength, which is what the
// library delivers.
bool IsSound(const void* message) {
    return wire::IsWellFormed(message, wire::GetU32(message, wire::kTotalLength));
}

// Hands a built message to the library; frees it when refused.
void Enqueue(void* message) {
    const MessageQueueBinding& binding = GetMessageQueueBinding();
    const std::int32_t taken = binding.enqueueMessage != nullptr ? binding.enqueueMessage(message) : 0;
    if (taken == 0) QueueMessageFree(message);
}

}  // namespace

std::int32_t NodeMessageCallback(void* context, void* message, std::uint32_t value) {
    auto* node = static_cast<ServiceNode*>(context);
    if (node == nullptr) {
        if (message != nullptr) QueueMessageFree(message);
        return 0;
    }
    if (node->rawMode.load() != 0) {
        // Ticks are ignored in raw mode: nothing times out, OnTimer never runs.
        // Raw mode does not wait for `ready`, but reading it orders this call
        // after Run's SetReady and so after the derived class's constructor
        // (its vtable pointer included) on the thread that ran both.
        static_cast<void>(node->ready.load());
        if (message != nullptr) node->HandleRawMessage(message, value);
        return 0;
    }
    if (message == nullptr) {
        node->ReceiveTick(value);
        return 0;
    }
    // A message whose names, length table or items run past its end is
    // dropped unanswered: none of the paths below may read outside it.
    if (!IsSound(message)) {
        QueueMessageFree(message);
        return 0;
    }
    const std::uint8_t kind = wire::GetKind(message);
    if (kind == wire::kKindRequest) {
        node->ReceiveRequest(message, value);
    } else if ((kind & 1u) != 0) {
        node->ReceiveReply(message);
    } else if (kind == wire::kKindAuthorizationRequest || kind == wire::kKindAckRequest) {
        node->Acknowledge(message);
        QueueMessageFree(message);
    } else {
        QueueMessageFree(message);
    }
    return 0;
}

void ServiceNode::ReceiveTick(std::uint32_t elapsed) {
    LockPending();
    // Unlink every expired record first and complete them afterwards: an
    // OnComplete may send a new request, which links itself at the head.
    PendingRequest* expired = nullptr;
    PendingRequest** link = &pendingList;
    while (*link != nullptr) {
        PendingRequest* record = *link;
        const std::uint32_t left = record->command->GetTimeoutMs();
        if (left >= elapsed) {
            record->command->SetTimeoutMs(left - elapsed);
            link = &record->next;
        } else {
            *link = record->next;
            record->next = expired;
            expired = record;
        }
    }
    // `expired` is oldest-first now; complete in list order (newest first).
    PendingRequest* ordered = nullptr;
    while (expired != nullptr) {
        PendingRequest* record = expired;
        expired = record->next;
        record->next = ordered;
        ordered = record;
    }
    CompleteEach(ordered, kResultTimedOut);

    int keepRunning = 1;
    const std::uint32_t interval = timerIntervalMs.load();
    if (interval != 0) {
        const std::uint32_t countdown = timerCountdownMs.load();
        if (countdown > elapsed) {
            timerCountdownMs = countdown - elapsed;
        } else {
            timerCountdownMs = interval;
            keepRunning = OnTimer();
        }
    }
    UnlockPending();
    if (keepRunning == 0) PostQuitMessage(0);
}

void ServiceNode::ReceiveRequest(void* message, std::uint32_t value) {
    // The ready test and the hold-back happen under dispatchLock, and a ready
    // node replays what is still held back before this request: a request
    // racing SetReady(1) can neither be stranded in deferredList nor
    // overtake the held-back ones.
    LockDispatch();
    if (ready.load() == 0) {
        auto* record = new (std::nothrow) DeferredMessage{message, value, deferredList};
        if (record != nullptr) {
            deferredList = record;
        } else {
            QueueMessageFree(message);
        }
        UnlockDispatch();
        return;
    }
    ReplayDeferredLocked();
    AnswerRequest(message);
    UnlockDispatch();
}

void ServiceNode::AnswerRequest(void* message) {
    auto* command = new (std::nothrow) Command(0);
    if (command == nullptr) {
        // Without memory for a Command the request is dropped; its sender times out.
        QueueMessageFree(message);
        return;
    }
    if (!command->ParseRequest(message)) {
        delete command;
        QueueMessageFree(message);
        return;
    }
    QueueMessageFree(message);

    LockDispatch();
    const int keepRunning = HandleCommand(*command);
    void* reply = nullptr;
    if ((command->GetFlags() & Command::DeferReply) == 0) {
        command->SetLocalName(name);
        reply = command->BuildReplyMessage();
        delete command;
        UnlockDispatch();
        if (reply == nullptr) return;
    } else {
        // The handler keeps the Command and answers with SendReply.
        UnlockDispatch();
    }
    std::int32_t taken = 0;
    if (reply != nullptr) {
        const MessageQueueBinding& binding = GetMessageQueueBinding();
        taken = binding.enqueueMessage != nullptr ? binding.enqueueMessage(reply) : 0;
    }
    if (keepRunning == 0) PostQuitMessage(0);
    if (reply != nullptr && taken == 0) QueueMessageFree(reply);
}

void ServiceNode::ReceiveReply(void* message) {
    const std::uint32_t sequence = wire::GetU32(message, wire::kSequence);
    LockPending();
    PendingRequest* found = nullptr;
    for (PendingRequest** link = &pendingList; *link != nullptr; link = &(*link)->next) {
        if ((*link)->command->GetSequence() == sequence) {
            found = *link;
            *link = found->next;
            found->next = nullptr;
            break;
        }
    }
    UnlockPending();
    if (found != nullptr) {
        found->command->ParseReply(message);
        CompletePendingRequest(found);
        delete found;
    }
    QueueMessageFree(message);
}

void ServiceNode::Acknowledge(const void* message) {
    const MessageQueueBinding& binding = GetMessageQueueBinding();
    if (binding.allocateMessage == nullptr) return;
    const std::uint16_t sourceLength = wire::GetU16(message, wire::kSourceLength);
    const std::uint16_t targetLength = wire::GetU16(message, wire::kTargetLength);
    const std::uint32_t size = wire::kHeaderLength + sourceLength + targetLength;
    // The acknowledgement's target offset must fit its 16-bit field.
    if (wire::kHeaderLength + targetLength > 0xFFFFu) return;
    void* ack = binding.allocateMessage(size);
    if (ack == nullptr) return;
    auto* bytes = static_cast<std::uint8_t*>(ack);
    const auto* incoming = static_cast<const std::uint8_t*>(message);
    std::memset(ack, 0, size);
    const auto ackTargetOffset = static_cast<std::uint16_t>(wire::kHeaderLength + targetLength);
    wire::PutU32(ack, wire::kTotalLength, size);
    wire::PutU16(ack, wire::kHeaderLengthField, static_cast<std::uint16_t>(wire::kHeaderLength));
    bytes[wire::kKind] = static_cast<std::uint8_t>(incoming[wire::kKind] | 1u);
    bytes[wire::kTag] = incoming[wire::kTag];
    wire::PutU16(ack, wire::kSourceLength, targetLength);
    wire::PutU16(ack, wire::kSourceOffset, static_cast<std::uint16_t>(wire::kHeaderLength));
    wire::PutU16(ack, wire::kTargetLength, sourceLength);
    wire::PutU16(ack, wire::kTargetOffset, ackTargetOffset);
    std::memcpy(bytes + wire::kHeaderLength, incoming + wire::GetU16(message, wire::kTargetOffset),
                targetLength);
    std::memcpy(bytes + ackTargetOffset, incoming + wire::GetU16(message, wire::kSourceOffset),
                sourceLength);
    wire::PutU32(ack, wire::kSequence, wire::GetU32(message, wire::kSequence));
    Enqueue(ack);
}
