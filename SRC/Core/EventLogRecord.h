// EventLogRecord.h - read-only view of one event-log record.
//
// Records come in the EVENTLOGRECORD layout, little-endian, with no
// alignment guarantee:
//
//   offset size field
//   0      4    Length           bytes of the whole record
//   12     4    TimeGenerated    seconds since 1970-01-01 00:00:00 UTC
//   20     2    EventID (low 16 bits: the event code)
//   26     2    NumStrings       number of insertion strings
//   36     4    StringOffset     first insertion string, from the record start
//   48     4    DataLength       bytes of the data section
//   52     4    DataOffset       data section, from the record start
//   56     ...  SourceName       NUL-terminated UTF-16
//   ...         ComputerName     NUL-terminated UTF-16, right after SourceName
//
// The view never reads outside the record: its extent is the smaller of the
// record's Length field and the bytes actually available. A text without its
// terminator inside the record ends at the record's end; a data section that
// does not lie inside the record counts as none. Fields read byte by byte.
//
// Thread-safety: immutable after construction; the bytes must outlive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class EventLogRecord {
public:
    static constexpr std::size_t kFixedPartSize = 56;
    static constexpr std::size_t kTimeGeneratedOffset = 12;
    static constexpr std::size_t kEventIdOffset = 20;
    static constexpr std::size_t kNumStringsOffset = 26;
    static constexpr std::size_t kStringOffsetOffset = 36;
    static constexpr std::size_t kDataLengthOffset = 48;
    static constexpr std::size_t kDataOffsetOffset = 52;
    static constexpr std::size_t kSourceNameOffset = 56;

    // `available` is how many bytes at `bytes` may be read.
    EventLogRecord(const std::uint8_t* bytes, std::size_t available);

    // False when not even the fixed part lies within the record.
    bool IsValid() const { return size_ >= kFixedPartSize; }
    std::size_t Size() const { return size_; }

    std::uint32_t TimeGenerated() const { return U32(kTimeGeneratedOffset); }
    std::uint16_t EventCode() const { return U16(kEventIdOffset); }
    std::uint16_t NumStrings() const { return U16(kNumStringsOffset); }
    std::uint32_t StringOffset() const { return U32(kStringOffsetOffset); }
    std::uint32_t DataLength() const { return U32(kDataLengthOffset); }
    std::uint32_t DataOffset() const { return U32(kDataOffsetOffset); }

    std::u16string SourceName() const;
    std::u16string ComputerName() const;
    // The NumStrings insertion strings from StringOffset on; strings that
    // would start outside the record are missing.
    std::vector<std::u16string> InsertionStrings() const;

    // The data section, or null when DataLength is 0 or it does not lie
    // inside the record.
    const std::uint8_t* Data() const;

    // The NUL-terminated UTF-16 text at `offset`, cut at the record's end;
    // `next` receives the offset after its terminator (or the record's end).
    std::u16string TextAt(std::size_t offset, std::size_t* next = nullptr) const;

private:
    std::uint16_t U16(std::size_t offset) const;
    std::uint32_t U32(std::size_t offset) const;

    const std::uint8_t* bytes_;
    std::size_t size_;
};
