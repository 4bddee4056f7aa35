// MessageFormat.h - the queue message format, described once.
//
// Byte order: every integer is LITTLE-ENDIAN. Nothing is padded or aligned
// (the 32-bit code field sits at offset 18), so fields are read and written
// byte by byte, never through a cast pointer.
//
//   offset width field              meaning
//   0      u32   totalLength        whole message, header included
//   4      u16   headerLength       32
//   6      u8    kind               0 request, 1 reply, 2/3 authorisation
//                                   request/reply, 4/5 acknowledged request/ack;
//                                   bit 0 set = reply
//   7      u8    tag                request's tag, carried into its reply
//   8      u16   sourceLength       source name bytes incl. NUL
//   10     u16   sourceOffset       32
//   12     u16   targetLength       target name bytes incl. NUL
//   14     u16   targetOffset       32 + sourceLength
//   16     u16   reserved           0
//   18     i32   code               request: command code; reply: result
//   22     u16   itemCount
//   24     u16   lengthTableOffset  targetOffset + targetLength
//   26     u16   itemDataOffset     lengthTableOffset + 4 * itemCount
//   28     u32   sequence           request's sequence; replies echo it
//
// Then: source name + NUL, target name + NUL, itemCount u32 item lengths,
// the items' bytes back to back.
//
// This header is shared by the framework (which builds and parses messages)
// and the message-queue library (which routes them by target name).
#pragma once

#include <cstddef>
#include <cstdint>

namespace wire {

inline constexpr std::uint32_t kHeaderLength = 32;

inline constexpr std::size_t kTotalLength = 0;
inline constexpr std::size_t kHeaderLengthField = 4;
inline constexpr std::size_t kKind = 6;
inline constexpr std::size_t kTag = 7;
inline constexpr std::size_t kSourceLength = 8;
inline constexpr std::size_t kSourceOffset = 10;
inline constexpr std::size_t kTargetLength = 12;
inline constexpr std::size_t kTargetOffset = 14;
inline constexpr std::size_t kReserved = 16;
inline constexpr std::size_t kCode = 18;
inline constexpr std::size_t kItemCount = 22;
inline constexpr std::size_t kLengthTableOffset = 24;
inline constexpr std::size_t kItemDataOffset = 26;
inline constexpr std::size_t kSequence = 28;

inline constexpr std::uint8_t kKindRequest = 0;
inline constexpr std::uint8_t kKindReply = 1;
inline constexpr std::uint8_t kKindAuthorizationRequest = 2;
inline constexpr std::uint8_t kKindAuthorizationReply = 3;
inline constexpr std::uint8_t kKindAckRequest = 4;
inline constexpr std::uint8_t kKindAck = 5;

inline std::uint16_t GetU16(const void* base, std::size_t offset) {
    const auto* p = static_cast<const std::uint8_t*>(base) + offset;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t GetU32(const void* base, std::size_t offset) {
    const auto* p = static_cast<const std::uint8_t*>(base) + offset;
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::int32_t GetI32(const void* base, std::size_t offset) {
    return static_cast<std::int32_t>(GetU32(base, offset));
}

inline void PutU16(void* base, std::size_t offset, std::uint16_t value) {
    auto* p = static_cast<std::uint8_t*>(base) + offset;
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(void* base, std::size_t offset, std::uint32_t value) {
    auto* p = static_cast<std::uint8_t*>(base) + offset;
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

inline void PutI32(void* base, std::size_t offset, std::int32_t value) {
    PutU32(base, offset, static_cast<std::uint32_t>(value));
}

inline std::uint8_t GetKind(const void* message) {
    return static_cast<const std::uint8_t*>(message)[kKind];
}

// True when the NUL-terminated name field [offset, offset + length) lies
// inside a message of `total` bytes and holds a NUL within it.
inline bool NameFieldIsSound(const void* message, std::uint32_t total, std::uint32_t offset,
                             std::uint32_t length) {
    if (length == 0 || offset < kHeaderLength || offset > total || length > total - offset) {
        return false;
    }
    const auto* p = static_cast<const std::uint8_t*>(message) + offset;
    for (std::uint32_t i = 0; i < length; ++i) {
        if (p[i] == 0) return true;
    }
    return false;
}

// Structural check of a message whose buffer holds `available` bytes: the
// header fits, totalLength fits the buffer, both name fields lie inside the
// message and contain their NUL, and the length table and every item lie
// inside totalLength. A message that passes can be parsed without reading
// outside it. Acknowledgements (itemCount 0, table offsets 0) pass.
inline bool IsWellFormed(const void* message, std::size_t available) {
    if (message == nullptr || available < kHeaderLength) return false;
    const std::uint32_t total = GetU32(message, kTotalLength);
    if (total < kHeaderLength || total > available) return false;
    if (!NameFieldIsSound(message, total, GetU16(message, kSourceOffset),
                          GetU16(message, kSourceLength))) {
        return false;
    }
    if (!NameFieldIsSound(message, total, GetU16(message, kTargetOffset),
                          GetU16(message, kTargetLength))) {
        return false;
    }
    const std::uint32_t count = GetU16(message, kItemCount);
    if (count == 0) return true;
    const std::uint64_t table = GetU16(message, kLengthTableOffset);
    const std::uint64_t data = GetU16(message, kItemDataOffset);
    if (table < kHeaderLength || table + 4ull * count > total || data < table + 4ull * count ||
        data > total) {
        return false;
    }
    std::uint64_t end = data;
    for (std::uint32_t i = 0; i < count; ++i) {
        end += GetU32(message, static_cast<std::size_t>(table) + 4u * i);
        if (end > total) return false;
    }
    return true;
}

}  // namespace wire
