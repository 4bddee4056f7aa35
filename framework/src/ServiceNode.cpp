#include "framework/ServiceNode.h"

#include <cstring>

#include "divize32/divize32.h"
#include "framework/MessageQueueLibrary.h"

ServiceNode::ServiceNode(const char* nodeName, int rawModeValue, int readyValue)
    : rawMode(rawModeValue != 0 ? 1 : 0), ready(readyValue != 0 ? 1 : 0), pendingLock(0), dispatchLock(0) {
    if (!BindMessageQueueLibrary()) return;
    const char* text = nodeName != nullptr ? nodeName : "";
    const std::size_t length = std::strlen(text);
    name = new char[length + 1];
    std::memcpy(name, text, length + 1);
    const MessageQueueBinding& binding = GetMessageQueueBinding();
    if (binding.createSvcNode != nullptr) {
        nodeHandle = binding.createSvcNode(name, this, binding.registeredCallback);
    }
}

ServiceNode::~ServiceNode() {
    const MessageQueueBinding& binding = GetMessageQueueBinding();
    if (nodeHandle.exchange(0) != 0 && binding.deleteSvcNode != nullptr) {
        binding.deleteSvcNode(name);
    }

    // No reply can reach this node any more: end every request still
    // awaiting one, so that OnComplete runs once, waiters wake and
    // auto-deleted Commands are not leaked.
    LockPending();
    PendingRequest* orphans = pendingList;
    pendingList = nullptr;
    UnlockPending();
    CompleteEach(orphans, kResultNotConnected);

    delete[] name;
    name = nullptr;

    while (deferredList != nullptr) {
        DeferredMessage* record = deferredList;
        deferredList = record->next;
        QueueMessageFree(record->message);
        delete record;
    }
}

int ServiceNode::HandleCommand(Command&) {
    return 1;
}

void ServiceNode::OnRunStart() {}

void ServiceNode::OnRunEnd() {}

void ServiceNode::HandleRawMessage(void* message, std::uint32_t) {
    if (message != nullptr) QueueMessageFree(message);
}

int ServiceNode::OnTimer() {
    return 1;
}

int ServiceNode::DispatchThreadMessage(MSG* message) {
    TranslateMessage(message);
    return static_cast<int>(DispatchMessageA(message));
}

int ServiceNode::Disconnect() {
    if (nodeHandle.exchange(0) == 0) return 1;
    const MessageQueueBinding& binding = GetMessageQueueBinding();
    if (binding.deleteSvcNode == nullptr) return 1;
    return binding.deleteSvcNode(name);
}

void ServiceNode::Run() {
    SetReady(1);
    OnRunStart();
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1 || message.message == WM_QUIT) break;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    OnRunEnd();
}

void ServiceNode::SetReady(int value) {
    if (value == 0) {
        ready = 0;
        return;
    }
    ready = 1;
    LockDispatch();
    ReplayDeferredLocked();
    UnlockDispatch();
}

void ServiceNode::ReplayDeferredLocked() {
    // A handler that calls SetReady(0) during the replay stops it; the rest
    // stays held back for the next SetReady(1).
    while (ready.load() != 0 && deferredList != nullptr) {
        DeferredMessage* record = deferredList;
        deferredList = record->next;
        AnswerRequest(record->message);
        delete record;
    }
}

void ServiceNode::SetTimerInterval(std::uint32_t ms) {
    timerIntervalMs = ms;
    timerCountdownMs = ms;
}

std::uint32_t ServiceNode::CountPendingRequests() {
    LockPending();
    std::uint32_t count = 0;
    for (PendingRequest* record = pendingList; record != nullptr; record = record->next) ++count;
    UnlockPending();
    return count;
}

std::uint32_t ServiceNode::CountDeferredMessages() {
    LockDispatch();
    std::uint32_t count = 0;
    for (DeferredMessage* record = deferredList; record != nullptr; record = record->next) ++count;
    UnlockDispatch();
    return count;
}
