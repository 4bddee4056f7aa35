#include "framework/Command.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "divize32/divize32.h"
#include "framework/FrameworkTesting.h"
#include "framework/MessageFormat.h"
#include "win32/win32.h"

namespace {

constexpr std::uint32_t kListStep = 16;

// Request sequence numbers, seeded with the tick count at static
// initialisation; unsigned arithmetic wraps from 4294967295 to 0.
std::atomic<std::uint32_t> requestSequence{GetTickCount()};

std::uint32_t CapacityFor(std::uint32_t count) {
    return kListStep * (count / kListStep + 1);
}

char* CopyText(const char* text) {
    if (text == nullptr) return nullptr;
    const std::size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

std::string BaseNameOf(const char* name) {
    if (name == nullptr) return std::string();
    std::string text(name);
    const std::size_t cut = text.find("::");
    if (cut != std::string::npos) text.resize(cut);
    return text;
}

// A message whose every field lies inside its own totalLength. The library
// delivers totalLength bytes, so that is the size trusted here.
bool IsSound(const void* message) {
    return message != nullptr && wire::IsWellFormed(message, wire::GetU32(message, wire::kTotalLength));
}

// The name in a sound message's name field (its NUL lies inside the field).
const char* NameAt(const void* message, std::size_t offsetField) {
    return static_cast<const char*>(message) + wire::GetU16(message, offsetField);
}

}  // namespace

namespace framework_testing {
void SetNextRequestSequence(std::uint32_t value) {
    requestSequence.store(value);
}
}  // namespace framework_testing

void* AllocateItemBuffer(std::uint32_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

void FreeItemBuffer(void* block) {
    std::free(block);
}

int IsReplyMessage(const void* message) {
    return (wire::GetKind(message) & 1u) != 0 ? 1 : 0;
}

int IsRequestMessage(const void* message) {
    return (wire::GetKind(message) & 1u) == 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Lists

void Command::InitList(ItemList& list, std::uint32_t capacity) {
    list.count = 0;
    list.capacity = capacity;
    list.lengths = new std::uint32_t[capacity]();
    list.blocks = new void*[capacity]();
}

void Command::ReleaseList(ItemList& list) {
    for (std::uint32_t i = 0; i < list.count; ++i) FreeItemBuffer(list.blocks[i]);
    delete[] list.lengths;
    delete[] list.blocks;
    list = ItemList{};
}

void Command::CopyList(ItemList& to, const ItemList& from) {
    InitList(to, CapacityFor(from.count));
    for (std::uint32_t i = 0; i < from.count; ++i) {
        void* block = nullptr;
        if (from.blocks[i] != nullptr) {
            block = AllocateItemBuffer(from.lengths[i]);
            if (block == nullptr) throw std::bad_alloc();
            std::memcpy(block, from.blocks[i], from.lengths[i]);
        }
        to.blocks[i] = block;
        to.lengths[i] = block != nullptr ? from.lengths[i] : 0;
        to.count = i + 1;
    }
}

int Command::Append(ItemList& list, void* block, std::uint32_t length) {
    if (list.count >= kMaxItems) return 0;
    // The arrays hold 16 x (count / 16 + 1) entries: grow by 16 when the
    // append brings the count to a multiple of 16 (unless a load reserved
    // the room already).
    if ((list.count + 1) % kListStep == 0 && list.capacity < list.count + 1 + kListStep) {
        const std::uint32_t grown = list.count + 1 + kListStep;
        auto* lengths = new std::uint32_t[grown]();
        auto* blocks = new void*[grown]();
        std::copy(list.lengths, list.lengths + list.count, lengths);
        std::copy(list.blocks, list.blocks + list.count, blocks);
        delete[] list.lengths;
        delete[] list.blocks;
        list.lengths = lengths;
        list.blocks = blocks;
        list.capacity = grown;
    }
    list.blocks[list.count] = block;
    list.lengths[list.count] = length;
    ++list.count;
    return 1;
}

int Command::AddCopy(ItemList& list, const void* bytes, std::uint32_t length) {
    if (list.count >= kMaxItems) return 0;
    void* block = AllocateItemBuffer(length);
    if (block == nullptr) return 0;
    if (length != 0 && bytes != nullptr) std::memcpy(block, bytes, length);
    if (!Append(list, block, length)) {
        FreeItemBuffer(block);
        return 0;
    }
    return 1;
}

void* Command::Take(ItemList& list, std::uint32_t index, std::uint32_t* length) {
    if (index >= list.count) {
        if (length != nullptr) *length = 0;
        return nullptr;
    }
    void* block = list.blocks[index];
    if (length != nullptr) *length = list.lengths[index];
    list.blocks[index] = nullptr;
    list.lengths[index] = 0;
    return block;
}

int Command::LoadItems(ItemList& list, const void* message) {
    const std::uint32_t count = wire::GetU16(message, wire::kItemCount);
    if (count == 0) return 1;
    // Reserve the final size at once: a hostile count of 65535 must not cost
    // thousands of regrowths.
    ReleaseList(list);
    InitList(list, CapacityFor(count));
    const std::size_t table = wire::GetU16(message, wire::kLengthTableOffset);
    std::size_t offset = wire::GetU16(message, wire::kItemDataOffset);
    const auto* bytes = static_cast<const std::uint8_t*>(message);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t length = wire::GetU32(message, table + 4u * i);
        if (!AddCopy(list, bytes + offset, length)) {
            ReleaseList(list);
            InitList(list, kListStep);
            return 0;
        }
        offset += length;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Construction

Command::Command(std::int32_t commandCode) : code(commandCode) {
    InitList(parameters, kListStep);
    InitList(replies, kListStep);
}

Command::Command(const Command& other)
    : code(other.code),
      result(other.result),
      sequence(other.sequence),
      timeoutMs(other.timeoutMs),
      flags(other.flags),
      tag(other.tag) {
    CopyList(parameters, other.parameters);
    CopyList(replies, other.replies);
    localName = CopyText(other.localName);
    remoteName = CopyText(other.remoteName);
}

Command::~Command() {
    ReleaseList(parameters);
    ReleaseList(replies);
    delete[] localName;
    delete[] remoteName;
}

void Command::OnComplete() {}

// ---------------------------------------------------------------------------
// Items

int Command::AttachParameter(void* block, std::uint32_t length) {
    return Append(parameters, block, length);
}

int Command::AttachReply(void* block, std::uint32_t length) {
    return Append(replies, block, length);
}

int Command::AddParameter(const void* bytes, std::uint32_t length) {
    return AddCopy(parameters, bytes, length);
}

int Command::AddReply(const void* bytes, std::uint32_t length) {
    return AddCopy(replies, bytes, length);
}

void* Command::GetParameter(std::uint32_t index) const {
    return index < parameters.count ? parameters.blocks[index] : nullptr;
}

void* Command::GetReply(std::uint32_t index) const {
    return index < replies.count ? replies.blocks[index] : nullptr;
}

std::uint32_t Command::GetParameterLength(std::uint32_t index) const {
    return index < parameters.count ? parameters.lengths[index] : 0;
}

std::uint32_t Command::GetReplyLength(std::uint32_t index) const {
    return index < replies.count ? replies.lengths[index] : 0;
}

void* Command::TakeParameter(std::uint32_t index, std::uint32_t* length) {
    return Take(parameters, index, length);
}

void* Command::TakeReply(std::uint32_t index, std::uint32_t* length) {
    return Take(replies, index, length);
}

void Command::ClearParameters() {
    ReleaseList(parameters);
    InitList(parameters, kListStep);
    code = 0;
    timeoutMs = kDefaultTimeoutMs;
    flags = 0;
}

void Command::ClearReplies() {
    ReleaseList(replies);
    InitList(replies, kListStep);
    result = 0;
}

// ---------------------------------------------------------------------------
// Fields

void Command::SetLocalName(const char* name) {
    char* copy = CopyText(name);
    delete[] localName;
    localName = copy;
}

void Command::SetRemoteName(const char* name) {
    char* copy = CopyText(name);
    delete[] remoteName;
    remoteName = copy;
}

std::string Command::GetLocalBaseName() const {
    return BaseNameOf(localName);
}

std::string Command::GetRemoteBaseName() const {
    return BaseNameOf(remoteName);
}

void Command::AssignSequence() {
    sequence = requestSequence.fetch_add(1, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Messages

void* Command::BuildMessage(std::uint8_t kind, bool request) {
    ItemList& items = request ? parameters : replies;
    const std::uint64_t sourceLength = (localName != nullptr ? std::strlen(localName) : 0) + 1;
    const std::uint64_t targetLength = (remoteName != nullptr ? std::strlen(remoteName) : 0) + 1;
    const std::uint64_t count = items.count;
    const std::uint64_t dataOffset = wire::kHeaderLength + sourceLength + targetLength + 4 * count;
    std::uint64_t total = dataOffset;
    for (std::uint32_t i = 0; i < items.count; ++i) total += items.lengths[i];
    // The 16-bit fields must describe everything up to the item data, and
    // totalLength the whole message: anything larger is refused rather than
    // written with a wrong header.
    if (count > kMaxItems || dataOffset > 0xFFFFu || total > 0xFFFFFFFFu) return nullptr;

    void* message = QueueMessageAlloc(static_cast<std::uint32_t>(total));
    if (message == nullptr) return nullptr;
    auto* bytes = static_cast<std::uint8_t*>(message);

    const auto targetOffset = static_cast<std::uint16_t>(wire::kHeaderLength + sourceLength);
    const auto tableOffset = static_cast<std::uint16_t>(targetOffset + targetLength);
    wire::PutU32(message, wire::kTotalLength, static_cast<std::uint32_t>(total));
    wire::PutU16(message, wire::kHeaderLengthField, static_cast<std::uint16_t>(wire::kHeaderLength));
    bytes[wire::kKind] = kind;
    bytes[wire::kTag] = static_cast<std::uint8_t>(tag);
    wire::PutU16(message, wire::kSourceLength, static_cast<std::uint16_t>(sourceLength));
    wire::PutU16(message, wire::kSourceOffset, static_cast<std::uint16_t>(wire::kHeaderLength));
    wire::PutU16(message, wire::kTargetLength, static_cast<std::uint16_t>(targetLength));
    wire::PutU16(message, wire::kTargetOffset, targetOffset);
    wire::PutU16(message, wire::kReserved, 0);
    wire::PutI32(message, wire::kCode, request ? code : result);
    wire::PutU16(message, wire::kItemCount, static_cast<std::uint16_t>(count));
    wire::PutU16(message, wire::kLengthTableOffset, tableOffset);
    wire::PutU16(message, wire::kItemDataOffset, static_cast<std::uint16_t>(dataOffset));
    wire::PutU32(message, wire::kSequence, sequence);

    std::memcpy(bytes + wire::kHeaderLength, localName != nullptr ? localName : "", sourceLength);
    std::memcpy(bytes + targetOffset, remoteName != nullptr ? remoteName : "", targetLength);

    std::size_t offset = static_cast<std::size_t>(dataOffset);
    const bool release = request && (flags & ReleaseParameters) != 0;
    for (std::uint32_t i = 0; i < items.count; ++i) {
        const std::uint32_t length = items.lengths[i];
        wire::PutU32(message, tableOffset + 4u * i, length);
        if (length != 0) std::memcpy(bytes + offset, items.blocks[i], length);
        offset += length;
        if (release && items.blocks[i] != nullptr) {
            FreeItemBuffer(items.blocks[i]);
            items.blocks[i] = nullptr;
            items.lengths[i] = 0;
        }
    }
    return message;
}

void* Command::BuildRequestMessage() {
    AssignSequence();
    return BuildMessage(wire::kKindRequest, true);
}

void* Command::BuildReplyMessage() {
    return BuildMessage(wire::kKindReply, false);
}

int Command::ParseRequest(const void* message) {
    ClearParameters();
    if (!IsSound(message) || IsReplyMessage(message)) return 0;
    code = wire::GetI32(message, wire::kCode);
    sequence = wire::GetU32(message, wire::kSequence);
    tag = static_cast<const std::uint8_t*>(message)[wire::kTag];
    SetLocalName(NameAt(message, wire::kTargetOffset));
    SetRemoteName(NameAt(message, wire::kSourceOffset));
    return LoadItems(parameters, message);
}

int Command::ParseReply(const void* message) {
    ClearReplies();
    if (!IsSound(message) || !IsReplyMessage(message)) return 0;
    if (wire::GetU32(message, wire::kSequence) != sequence) return 0;
    result = wire::GetI32(message, wire::kCode);
    tag = static_cast<const std::uint8_t*>(message)[wire::kTag];
    SetLocalName(NameAt(message, wire::kTargetOffset));
    SetRemoteName(NameAt(message, wire::kSourceOffset));
    return LoadItems(replies, message);
}

void* SendAuthorizationCommand::BuildRequestMessage() {
    void* message = Command::BuildRequestMessage();
    if (message != nullptr) static_cast<std::uint8_t*>(message)[wire::kKind] = wire::kKindAuthorizationRequest;
    return message;
}

void* SendAuthorizationCommand::BuildReplyMessage() {
    void* message = Command::BuildReplyMessage();
    if (message != nullptr) static_cast<std::uint8_t*>(message)[wire::kKind] = wire::kKindAuthorizationReply;
    return message;
}
