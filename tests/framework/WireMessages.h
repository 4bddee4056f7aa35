// WireMessages.h - hand-made queue messages for tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "divize32/divize32.h"
#include "framework/MessageFormat.h"

namespace wire_test {

// A well-formed message laid out as the format describes.
inline std::vector<std::uint8_t> MakeMessage(std::uint8_t kind, const std::string& source,
                                             const std::string& target, std::int32_t code,
                                             std::uint32_t sequence,
                                             const std::vector<std::string>& items = {},
                                             std::uint8_t tag = 0) {
    const std::size_t sourceLength = source.size() + 1;
    const std::size_t targetLength = target.size() + 1;
    const std::size_t table = 32 + sourceLength + targetLength;
    std::size_t total = table + 4 * items.size();
    for (const auto& item : items) total += item.size();
    std::vector<std::uint8_t> m(total, 0);
    wire::PutU32(m.data(), wire::kTotalLength, static_cast<std::uint32_t>(total));
    wire::PutU16(m.data(), wire::kHeaderLengthField, 32);
    m[wire::kKind] = kind;
    m[wire::kTag] = tag;
    wire::PutU16(m.data(), wire::kSourceLength, static_cast<std::uint16_t>(sourceLength));
    wire::PutU16(m.data(), wire::kSourceOffset, 32);
    wire::PutU16(m.data(), wire::kTargetLength, static_cast<std::uint16_t>(targetLength));
    wire::PutU16(m.data(), wire::kTargetOffset, static_cast<std::uint16_t>(32 + sourceLength));
    wire::PutI32(m.data(), wire::kCode, code);
    wire::PutU16(m.data(), wire::kItemCount, static_cast<std::uint16_t>(items.size()));
    wire::PutU16(m.data(), wire::kLengthTableOffset, static_cast<std::uint16_t>(table));
    wire::PutU16(m.data(), wire::kItemDataOffset, static_cast<std::uint16_t>(table + 4 * items.size()));
    wire::PutU32(m.data(), wire::kSequence, sequence);
    std::memcpy(m.data() + 32, source.c_str(), sourceLength);
    std::memcpy(m.data() + 32 + sourceLength, target.c_str(), targetLength);
    std::size_t offset = table + 4 * items.size();
    for (std::size_t i = 0; i < items.size(); ++i) {
        wire::PutU32(m.data(), table + 4 * i, static_cast<std::uint32_t>(items[i].size()));
        std::memcpy(m.data() + offset, items[i].data(), items[i].size());
        offset += items[i].size();
    }
    return m;
}

// The bytes in a library buffer of exactly their size, as the library
// delivers a message; the caller owns it (QueueMessageFree).
inline void* ToQueueMessage(const std::vector<std::uint8_t>& bytes) {
    void* message = QueueMessageAlloc(static_cast<std::uint32_t>(bytes.size()));
    std::memcpy(message, bytes.data(), bytes.size());
    return message;
}

// A malformed message: a well-formed one spoiled by `spoil`.
struct MalformedCase {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> spoil;
};

inline std::vector<MalformedCase> MalformedCases() {
    using V = std::vector<std::uint8_t>;
    return {
        {"totalLength below the header size",
         [](V& m) { wire::PutU32(m.data(), wire::kTotalLength, 20); }},
        {"source offset past the end",
         [](V& m) { wire::PutU16(m.data(), wire::kSourceOffset, static_cast<std::uint16_t>(m.size() + 10)); }},
        {"source offset inside the header",
         [](V& m) { wire::PutU16(m.data(), wire::kSourceOffset, 4); }},
        {"source length runs past the end",
         [](V& m) { wire::PutU16(m.data(), wire::kSourceLength, 0xFFFF); }},
        {"source length 0", [](V& m) { wire::PutU16(m.data(), wire::kSourceLength, 0); }},
        {"source name without its NUL",
         [](V& m) { m[32 + wire::GetU16(m.data(), wire::kSourceLength) - 1] = 'x'; }},
        {"target offset past the end",
         [](V& m) { wire::PutU16(m.data(), wire::kTargetOffset, 0xFFF0); }},
        {"target name unterminated up to the end",
         [](V& m) {
             const std::size_t offset = wire::GetU16(m.data(), wire::kTargetOffset);
             const std::size_t length = m.size() - offset;
             wire::PutU16(m.data(), wire::kTargetLength, static_cast<std::uint16_t>(length));
             for (std::size_t i = offset; i < m.size(); ++i) m[i] = 'y';
         }},
        {"huge item count with the table past the end",
         [](V& m) { wire::PutU16(m.data(), wire::kItemCount, 0xFFFF); }},
        {"length table offset past the end",
         [](V& m) { wire::PutU16(m.data(), wire::kLengthTableOffset, 0xFFF0); }},
        {"item length past the end",
         [](V& m) {
             wire::PutU32(m.data(), wire::GetU16(m.data(), wire::kLengthTableOffset), 0xFFFFFFFFu);
         }},
        {"item data offset past the end",
         [](V& m) { wire::PutU16(m.data(), wire::kItemDataOffset, 0xFFFF); }},
        {"item data overlapping the length table",
         [](V& m) {
             wire::PutU16(m.data(), wire::kItemDataOffset,
                          wire::GetU16(m.data(), wire::kLengthTableOffset));
         }},
    };
}

}  // namespace wire_test
