#include "Core/ReportBuffer.h"

#include <cstring>

#include "text/UnicodeStr.h"

namespace {

void StoreLittleEndian(std::uint8_t* at, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    at[0] = static_cast<std::uint8_t>(bits);
    at[1] = static_cast<std::uint8_t>(bits >> 8);
    at[2] = static_cast<std::uint8_t>(bits >> 16);
    at[3] = static_cast<std::uint8_t>(bits >> 24);
}

}  // namespace

ReportBuffer::ReportBuffer()
    : data_(new std::uint8_t[kInitialCapacity]()), length_(0), capacity_(kInitialCapacity) {}

ReportBuffer::~ReportBuffer() { delete[] data_; }

void ReportBuffer::Reset() { length_ = 0; }

void ReportBuffer::Grow() {
    auto* block = new std::uint8_t[capacity_ + kGrowthStep]();
    std::memcpy(block, data_, capacity_);
    delete[] data_;
    data_ = block;
    capacity_ += kGrowthStep;
}

void ReportBuffer::GrowToHold(std::uint64_t needed) {
    while (capacity_ < needed) Grow();
}

void ReportBuffer::AppendInt32(std::int32_t value) {
    if (capacity_ < static_cast<std::uint64_t>(length_) + 4) Grow();
    StoreLittleEndian(data_ + length_, value);
    length_ += 4;
}

void ReportBuffer::AppendString(const char16_t* text) {
    static const char16_t kEmpty[1] = {0};
    const UnicodeStr packed(text != nullptr ? text : kEmpty);
    const char* bytes = packed.GetText();
    // The packed form holds no zero byte before its terminator.
    const auto n = static_cast<std::uint32_t>(std::strlen(bytes) + 1);
    AppendBytes(bytes, n);
}

void ReportBuffer::AppendBytes(const void* bytes, std::uint32_t count) {
    GrowToHold(static_cast<std::uint64_t>(length_) + count);
    if (count != 0) std::memcpy(data_ + length_, bytes, count);
    length_ += count;
}

void ReportBuffer::PutInt32At(std::uint32_t offset, std::int32_t value) {
    if (capacity_ < static_cast<std::uint64_t>(offset) + 4) Grow();
    StoreLittleEndian(data_ + offset, value);
}

std::int32_t ReportBuffer::GetInt32At(std::uint32_t offset) const {
    const std::uint8_t* at = data_ + offset;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(at[0]) |
                                     (static_cast<std::uint32_t>(at[1]) << 8) |
                                     (static_cast<std::uint32_t>(at[2]) << 16) |
                                     (static_cast<std::uint32_t>(at[3]) << 24));
}
