#include "Core/ReportBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

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

ReportBuffer::ReportBuffer() : data_(nullptr), length_(0), capacity_(kInitialCapacity) {
    data_ = static_cast<std::uint8_t*>(std::calloc(kInitialCapacity, 1));
    if (data_ == nullptr) throw std::bad_alloc();
}

ReportBuffer::~ReportBuffer() { std::free(data_); }

void ReportBuffer::Reset() { length_ = 0; }

// realloc keeps the whole old block and frees it, as a fresh block and a
// copy would, but mostly extends the block where it lies: growing to N bytes
// in 64-byte steps then costs O(N), not O(N^2 / 64) bytes of copying.
void ReportBuffer::Grow() {
    void* block = std::realloc(data_, capacity_ + kGrowthStep);
    if (block == nullptr) throw std::bad_alloc();   // the old block is untouched
    data_ = static_cast<std::uint8_t*>(block);
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
