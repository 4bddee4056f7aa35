// ReportBuffer.h - the growable byte buffer in which a report is assembled.
//
// The block starts at 128 bytes and grows in steps of exactly 64 bytes; it
// is never shrunk, so after Reset a report no larger than the largest one so
// far is built without any allocation. Integers are stored as 4
// little-endian bytes at whatever offset the buffer has reached.
//
// Thread-safety: none; the agent's one instance is used only under the
// node's dispatch lock.
#pragma once

#include <cstdint>

class ReportBuffer {
public:
    static constexpr std::uint32_t kInitialCapacity = 128;
    static constexpr std::uint32_t kGrowthStep = 64;

    ReportBuffer();
    ~ReportBuffer();
    ReportBuffer(const ReportBuffer&) = delete;
    ReportBuffer& operator=(const ReportBuffer&) = delete;

    // Forgets the contents; keeps the block and its capacity.
    void Reset();

    void AppendInt32(std::int32_t value);
    // Appends the text in the packed Unicode form, its zero byte included.
    // A null text counts as empty.
    void AppendString(const char16_t* text);
    void AppendBytes(const void* bytes, std::uint32_t count);

    // The caller keeps offset + 4 within the capacity (for PutInt32At,
    // within the capacity after its single growth step).
    void PutInt32At(std::uint32_t offset, std::int32_t value);
    std::int32_t GetInt32At(std::uint32_t offset) const;

    // Valid until the next operation that grows the buffer.
    const std::uint8_t* GetData() const { return data_; }
    std::uint32_t GetLength() const { return length_; }
    std::uint32_t GetCapacity() const { return capacity_; }

private:
    // One step: a block of capacity + 64 bytes holding the whole old block
    // (realloc: it may be the old block extended). A failed allocation
    // (std::bad_alloc) leaves the buffer as it was.
    void Grow();
    void GrowToHold(std::uint64_t needed);

    std::uint8_t* data_;
    std::uint32_t length_;
    std::uint32_t capacity_;
};
