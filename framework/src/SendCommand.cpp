// Sending requests, waiting for their replies, and late replies.
#include <cstdlib>

#include "divize32/divize32.h"
#include "framework/MessageQueueLibrary.h"
#include "framework/ServiceNode.h"

namespace {

void ReleaseRequestMessage(void* message) {
    const MessageQueueBinding& binding = GetMessageQueueBinding();
    if (binding.freeMessage != nullptr) {
        binding.freeMessage(message);
    } else {
        QueueMessageFree(message);
    }
}

// A synchronous sender whose wait ended without completion cannot return a
// meaningful outcome; the process ends (the runtime's normal exit).
[[noreturn]] void AbandonWait() {
    std::exit(1);
}

}  // namespace

int ServiceNode::FailCommand(Command* command, std::int32_t code, int autoDelete) {
    command->SetResult(code);
    command->OnComplete();
    if (autoDelete != 0) delete command;
    return 1;
}

int ServiceNode::SendCommand(Command* command, EventSemaphore* event, int asynchronous,
                             int viaEnqueueMessage2, int autoDelete) {
    if (rawMode.load() != 0 || command == nullptr) return 0;
    command->SetLocalName(name);
    if (nodeHandle.load() == 0) return FailCommand(command, kResultNotConnected, autoDelete);

    void* message = command->BuildRequestMessage();
    if (message == nullptr) return FailCommand(command, kResultNoMessage, autoDelete);

    const MessageQueueBinding& binding = GetMessageQueueBinding();
    if (binding.getGlobalTimeout != nullptr) {
        const char* remote = command->GetRemoteName();
        command->SetTimeoutMs(
            binding.getGlobalTimeout(remote != nullptr ? remote : "", command->GetTimeoutMs()));
    }

    std::atomic<std::uint16_t> done{0};
    auto* record = new PendingRequest;
    record->command = command;
    record->autoDelete = autoDelete;
    record->event = event;
    if (asynchronous == 0) {
        record->doneFlag = &done;
        record->waiterThreadId = GetCurrentThreadId();
    }
    LockPending();
    record->next = pendingList;
    pendingList = record;
    if (event != nullptr) event->Reset();
    UnlockPending();
    // From here on the record (and with autoDelete the Command) may be
    // completed and freed on another thread at any moment.

    std::int32_t taken = 0;
    if (viaEnqueueMessage2 != 0 && binding.enqueueMessage2 != nullptr) {
        taken = binding.enqueueMessage2(message, 1);
    } else if (binding.enqueueMessage != nullptr) {
        taken = binding.enqueueMessage(message);
    }

    if (taken == 0) {
        LockPending();
        bool stillPending = false;
        for (PendingRequest** link = &pendingList; *link != nullptr; link = &(*link)->next) {
            if (*link == record) {
                *link = record->next;
                stillPending = true;
                break;
            }
        }
        UnlockPending();
        ReleaseRequestMessage(message);
        // A timeout tick may have completed the record already; the Command
        // then had its one OnComplete (and may be gone with autoDelete).
        if (!stillPending) return 1;
        delete record;
        return FailCommand(command, kResultRefused, autoDelete);
    }

    if (asynchronous != 0) return 1;

    if (event != nullptr) {
        event->Wait();
        if (done.load(std::memory_order_acquire) != 0) return 1;
        AbandonWait();
    }

    while (done.load(std::memory_order_acquire) == 0) {
        MSG threadMessage{};
        const BOOL got = GetMessageA(&threadMessage, nullptr, 0, 0);
        if (got == 0 || got == -1 || threadMessage.message == WM_QUIT) {
            if (done.load(std::memory_order_acquire) != 0) return 1;
            AbandonWait();
        }
        DispatchThreadMessage(&threadMessage);
    }
    return 1;
}

void ServiceNode::CompletePendingRequest(PendingRequest* record) {
    if (record == nullptr) return;
    Command* command = record->command;
    if (command != nullptr) command->OnComplete();
    // An auto-deleted Command goes before the waiter is released, so that a
    // synchronous sender never returns while its Command still exists.
    if (record->autoDelete != 0 && command != nullptr) delete command;
    // The flag before the event and the wake-up message: a woken waiter
    // always finds it set. The waiter's flag may be gone right after this.
    if (record->doneFlag != nullptr) record->doneFlag->store(1, std::memory_order_release);
    if (record->event != nullptr) record->event->Set();
    if (record->waiterThreadId != 0) PostThreadMessageA(record->waiterThreadId, kWakeUpMessage, 0, 0);
}

void ServiceNode::CompleteEach(PendingRequest* list, std::int32_t result) {
    while (list != nullptr) {
        PendingRequest* record = list;
        list = record->next;
        record->command->SetResult(result);
        CompletePendingRequest(record);
        delete record;
    }
}

int ServiceNode::SendReply(Command* command) {
    if (rawMode.load() != 0 || command == nullptr) return 0;
    int sent = 0;
    LockDispatch();
    if ((command->GetFlags() & Command::DeferReply) != 0) {
        command->SetLocalName(name);
        void* reply = command->BuildReplyMessage();
        if (reply != nullptr) {
            const MessageQueueBinding& binding = GetMessageQueueBinding();
            const std::int32_t taken =
                binding.enqueueMessage != nullptr ? binding.enqueueMessage(reply) : 0;
            if (taken == 0) ReleaseRequestMessage(reply);
            delete command;
            sent = 1;
        }
    }
    UnlockDispatch();
    return sent;
}
