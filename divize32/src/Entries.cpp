// The exported entries of the message-queue library. The library is built
// with hidden visibility; each entry is exported according to
// DIVIZE32_EXPORT_SET: 0 every entry (the real library), 1 all but
// DeleteSvcNode, 2 the eight required entries only. The variants exist to
// test how the framework binds an incomplete library.
#include <cstdlib>

#include "MessageQueue.h"
#include "divize32/divize32.h"
#include "framework/MessageFormat.h"

#ifndef DIVIZE32_EXPORT_SET
#define DIVIZE32_EXPORT_SET 0
#endif

#define DIVIZE32_EXPORTED __attribute__((visibility("default")))
#define DIVIZE32_REQUIRED_ENTRY DIVIZE32_EXPORTED
#if DIVIZE32_EXPORT_SET == 2
#define DIVIZE32_OPTIONAL_ENTRY
#else
#define DIVIZE32_OPTIONAL_ENTRY DIVIZE32_EXPORTED
#endif
#if DIVIZE32_EXPORT_SET == 1
#define DIVIZE32_DELETE_ENTRY
#else
#define DIVIZE32_DELETE_ENTRY DIVIZE32_EXPORTED
#endif

using divize::MessageQueue;

namespace {

// The variants are loaded next to the real library, whose exported names
// come first in symbol lookup; entries therefore share code through this
// internal function, never by calling each other's exported names.
std::int32_t Enqueue(void* message) {
    MessageQueue* queue = MessageQueue::Instance();
    return queue != nullptr && queue->Sender().Enqueue(message) ? 1 : 0;
}

}  // namespace

extern "C" {

DIVIZE32_REQUIRED_ENTRY std::int32_t InitApplication() {
    MessageQueue* queue = MessageQueue::Instance();
    return queue != nullptr && queue->Start() ? 1 : 0;
}

DIVIZE32_REQUIRED_ENTRY std::int32_t TermApplication() {
    MessageQueue* queue = MessageQueue::Instance();
    return queue != nullptr && queue->Stop() ? 1 : 0;
}

DIVIZE32_REQUIRED_ENTRY void* AllocateMessage(std::uint32_t size) { return std::malloc(size == 0 ? 1 : size); }

DIVIZE32_REQUIRED_ENTRY void FreeMessage(void* message) { std::free(message); }

void* QueueMessageAlloc(std::uint32_t size) { return std::malloc(size == 0 ? 1 : size); }

void QueueMessageFree(void* message) { std::free(message); }

DIVIZE32_REQUIRED_ENTRY std::int32_t EnqueueMessage(void* message) { return Enqueue(message); }

DIVIZE32_REQUIRED_ENTRY std::int32_t SvcNodeExists(std::uint32_t value) {
    MessageQueue* queue = MessageQueue::Instance();
    return queue != nullptr && queue->Delivery().NodeExists(value) ? 1 : 0;
}

DIVIZE32_REQUIRED_ENTRY std::uint32_t CreateSvcNode(const char* name, void* context, DivizeNodeCallback callback) {
    MessageQueue* queue = MessageQueue::Instance();
    return queue != nullptr ? queue->Delivery().CreateNode(name, context, callback) : 0;
}

DIVIZE32_DELETE_ENTRY std::int32_t DeleteSvcNode(const char* name) {
    MessageQueue* queue = MessageQueue::Instance();
    return queue != nullptr && queue->Delivery().DeleteNode(name) ? 1 : 0;
}

DIVIZE32_OPTIONAL_ENTRY std::uint32_t GetGlobalTimeout(const char* /*targetName*/, std::uint32_t timeoutMs) {
    return timeoutMs;
}

DIVIZE32_OPTIONAL_ENTRY std::int32_t SetGlobalTimeout(std::uint32_t value) {
    if (MessageQueue* queue = MessageQueue::Instance()) queue->globalTimeout.store(value);
    return 1;
}

DIVIZE32_OPTIONAL_ENTRY std::int32_t SetLocalSysName(std::uint32_t value) {
    if (MessageQueue* queue = MessageQueue::Instance()) queue->localSysName.store(value);
    return 1;
}

DIVIZE32_OPTIONAL_ENTRY std::uint32_t LocalSysName() {
    MessageQueue* queue = MessageQueue::Instance();
    return queue != nullptr ? queue->localSysName.load() : 0;
}

DIVIZE32_OPTIONAL_ENTRY std::int32_t EnqueueMessage2(void* message, std::int32_t /*flag*/) {
    return Enqueue(message);
}

DIVIZE32_OPTIONAL_ENTRY const std::uint8_t* Queue32LocalMACAddr() { return divize::LocalMacAddress(); }

DIVIZE32_OPTIONAL_ENTRY std::uint32_t KovLocalUniqueID() {
    const std::uint8_t* mac = divize::LocalMacAddress();
    return wire::GetU32(mac, 2);
}

DIVIZE32_OPTIONAL_ENTRY std::int32_t EnqueueMessage4(void* message, std::int32_t /*flag*/) {
    return Enqueue(message) != 0 ? 0 : 1;
}

DIVIZE32_OPTIONAL_ENTRY std::int32_t KovUseInputDesktop(std::int32_t flag) {
    if (MessageQueue* queue = MessageQueue::Instance()) queue->useInputDesktop.store(flag);
    return 1;
}

DIVIZE32_OPTIONAL_ENTRY std::int32_t Queue32SetFeatureFlags(std::uint32_t flags) {
    if (MessageQueue* queue = MessageQueue::Instance()) queue->featureFlags.store(flags);
    return 1;
}

DIVIZE32_OPTIONAL_ENTRY std::uint32_t Queue32GetFeatureFlags() {
    MessageQueue* queue = MessageQueue::Instance();
    return queue != nullptr ? queue->featureFlags.load() : 0;
}

}  // extern "C"
