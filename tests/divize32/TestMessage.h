// TestMessage.h - builds queue messages for the library's tests and peers,
// writing the header with the wire:: Put functions.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "divize32/divize32.h"
#include "framework/MessageFormat.h"

namespace divize_test {

struct MessageSpec {
    std::string source;
    std::string target;
    std::uint8_t kind = wire::kKindRequest;
    std::int32_t code = 0;
    std::uint32_t sequence = 0;
    std::vector<std::string> items;
};

// A well-formed message from QueueMessageAlloc, owned by the caller.
inline std::uint8_t* BuildMessage(const MessageSpec& spec) {
    const auto sourceLength = static_cast<std::uint16_t>(spec.source.size() + 1);
    const auto targetLength = static_cast<std::uint16_t>(spec.target.size() + 1);
    const auto count = static_cast<std::uint16_t>(spec.items.size());
    std::uint32_t total = wire::kHeaderLength + sourceLength + targetLength + 4u * count;
    for (const std::string& item : spec.items) total += static_cast<std::uint32_t>(item.size());
    auto* m = static_cast<std::uint8_t*>(QueueMessageAlloc(total));
    std::memset(m, 0, total);
    const auto targetOffset = static_cast<std::uint16_t>(wire::kHeaderLength + sourceLength);
    const auto tableOffset = static_cast<std::uint16_t>(targetOffset + targetLength);
    const auto dataOffset = static_cast<std::uint16_t>(tableOffset + 4u * count);
    wire::PutU32(m, wire::kTotalLength, total);
    wire::PutU16(m, wire::kHeaderLengthField, static_cast<std::uint16_t>(wire::kHeaderLength));
    m[wire::kKind] = spec.kind;
    wire::PutU16(m, wire::kSourceLength, sourceLength);
    wire::PutU16(m, wire::kSourceOffset, static_cast<std::uint16_t>(wire::kHeaderLength));
    wire::PutU16(m, wire::kTargetLength, targetLength);
    wire::PutU16(m, wire::kTargetOffset, targetOffset);
    wire::PutI32(m, wire::kCode, spec.code);
    wire::PutU16(m, wire::kItemCount, count);
    wire::PutU16(m, wire::kLengthTableOffset, tableOffset);
    wire::PutU16(m, wire::kItemDataOffset, dataOffset);
    wire::PutU32(m, wire::kSequence, spec.sequence);
    std::memcpy(m + wire::kHeaderLength, spec.source.c_str(), sourceLength);
    std::memcpy(m + targetOffset, spec.target.c_str(), targetLength);
    std::size_t at = dataOffset;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::string& item = spec.items[i];
        wire::PutU32(m, tableOffset + 4u * i, static_cast<std::uint32_t>(item.size()));
        std::memcpy(m + at, item.data(), item.size());
        at += item.size();
    }
    return m;
}

inline std::string SourceName(const void* message) {
    return static_cast<const char*>(message) + wire::GetU16(message, wire::kSourceOffset);
}

inline std::string TargetName(const void* message) {
    return static_cast<const char*>(message) + wire::GetU16(message, wire::kTargetOffset);
}

}  // namespace divize_test
