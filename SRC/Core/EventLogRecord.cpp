#include "Core/EventLogRecord.h"

#include <algorithm>

EventLogRecord::EventLogRecord(const std::uint8_t* bytes, std::size_t available)
    : bytes_(bytes), size_(0) {
    if (bytes == nullptr || available < 4) return;
    const std::uint32_t length = static_cast<std::uint32_t>(bytes[0]) |
                                 (static_cast<std::uint32_t>(bytes[1]) << 8) |
                                 (static_cast<std::uint32_t>(bytes[2]) << 16) |
                                 (static_cast<std::uint32_t>(bytes[3]) << 24);
    size_ = std::min<std::size_t>(length, available);
}

std::uint16_t EventLogRecord::U16(std::size_t offset) const {
    if (offset + 2 > size_) return 0;
    return static_cast<std::uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
}

std::uint32_t EventLogRecord::U32(std::size_t offset) const {
    if (offset + 4 > size_) return 0;
    return static_cast<std::uint32_t>(bytes_[offset]) |
           (static_cast<std::uint32_t>(bytes_[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes_[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes_[offset + 3]) << 24);
}

std::u16string EventLogRecord::TextAt(std::size_t offset, std::size_t* next) const {
    std::u16string text;
    std::size_t at = offset;
    while (at + 2 <= size_) {
        const auto unit = static_cast<char16_t>(bytes_[at] | (bytes_[at + 1] << 8));
        at += 2;
        if (unit == 0) {
            if (next != nullptr) *next = at;
            return text;
        }
        text.push_back(unit);
    }
    if (next != nullptr) *next = size_;
    return text;
}

std::u16string EventLogRecord::SourceName() const { return TextAt(kSourceNameOffset); }

std::u16string EventLogRecord::ComputerName() const {
    std::size_t after = size_;
    TextAt(kSourceNameOffset, &after);
    return TextAt(after);
}

std::vector<std::u16string> EventLogRecord::InsertionStrings() const {
    std::vector<std::u16string> strings;
    std::size_t at = StringOffset();
    for (std::uint16_t i = 0; i < NumStrings() && at < size_; ++i) {
        strings.push_back(TextAt(at, &at));
    }
    return strings;
}

const std::uint8_t* EventLogRecord::Data() const {
    const std::uint64_t offset = DataOffset();
    const std::uint64_t length = DataLength();
    if (length == 0 || offset > size_ || length > size_ - offset) return nullptr;
    return bytes_ + offset;
}
