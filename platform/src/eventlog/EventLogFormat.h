// EventLogFormat.h - the legacy Windows event-log file format (.evt), described
// once for the reader in platform/src/eventlog and for the test writer in
// tests/support.
//
// Byte order: every integer is little-endian; nothing is aligned in memory,
// so fields are read and written byte by byte (LoadU32/StoreU32), never
// through casts.
//
// File layout:
//   [0x00, 0x30)  file header (kHeader*)
//   [0x30, size)  the record area, used as a ring: records run from the
//                 header's StartOffset to the end of the file and continue
//                 right after the header; one record (or the end-of-file
//                 record) may be split across that wrap point. Between the
//                 end-of-file record and the oldest record lies unused space.
//   Every record is a multiple of 4 bytes long and starts 4-aligned.
//
// Event record (EVENTLOGRECORD), offsets from the record start:
//   0 Length, 4 Reserved ("LfLe"), 8 RecordNumber, 12 TimeGenerated,
//   16 TimeWritten, 20 EventID, 24 EventType (u16), 26 NumStrings (u16),
//   28 EventCategory (u16), 30 ReservedFlags (u16), 32 ClosingRecordNumber,
//   36 StringOffset, 40 UserSidLength, 44 UserSidOffset, 48 DataLength,
//   52 DataOffset, 56 SourceName (UTF-16, NUL-terminated), ComputerName
//   (UTF-16, NUL-terminated), padding to 4, user SID, insertion strings
//   (UTF-16, each NUL-terminated), data, padding to 4, Length again (last
//   4 bytes).
//
// End-of-file record (0x28 bytes): 0x28, 0x11111111, 0x22222222, 0x33333333,
//   0x44444444, BeginRecord (offset of the oldest record, or of this record
//   when the log is empty), EndRecord (offset of this record),
//   CurrentRecordNumber (number the next record will get), OldestRecordNumber,
//   0x28.
//
// The header's StartOffset/EndOffset/CurrentRecordNumber/OldestRecordNumber
// are only trustworthy when the dirty flag is clear: a system that did not
// close the log leaves it set, and then the end-of-file record is the truth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace eventlog_format {

constexpr std::uint32_t kSignature = 0x654c664cu;   // "LfLe"

// File header.
constexpr std::uint32_t kHeaderSize = 0x30;
constexpr std::size_t kHeaderHeaderSize = 0x00;
constexpr std::size_t kHeaderSignature = 0x04;
constexpr std::size_t kHeaderMajorVersion = 0x08;
constexpr std::size_t kHeaderMinorVersion = 0x0c;
constexpr std::size_t kHeaderStartOffset = 0x10;
constexpr std::size_t kHeaderEndOffset = 0x14;
constexpr std::size_t kHeaderCurrentRecordNumber = 0x18;
constexpr std::size_t kHeaderOldestRecordNumber = 0x1c;
constexpr std::size_t kHeaderMaxSize = 0x20;
constexpr std::size_t kHeaderFlags = 0x24;
constexpr std::size_t kHeaderRetention = 0x28;
constexpr std::size_t kHeaderEndHeaderSize = 0x2c;
constexpr std::uint32_t kMajorVersion = 1;
constexpr std::uint32_t kMinorVersion = 1;

constexpr std::uint32_t kFlagDirty = 0x1;
constexpr std::uint32_t kFlagWrapped = 0x2;
constexpr std::uint32_t kFlagLogFullWritten = 0x4;
constexpr std::uint32_t kFlagArchiveSet = 0x8;

// Event record.
constexpr std::size_t kRecordLength = 0;
constexpr std::size_t kRecordReserved = 4;
constexpr std::size_t kRecordNumber = 8;
constexpr std::size_t kRecordTimeGenerated = 12;
constexpr std::size_t kRecordTimeWritten = 16;
constexpr std::size_t kRecordEventId = 20;
constexpr std::size_t kRecordEventType = 24;
constexpr std::size_t kRecordNumStrings = 26;
constexpr std::size_t kRecordEventCategory = 28;
constexpr std::size_t kRecordReservedFlags = 30;
constexpr std::size_t kRecordClosingRecordNumber = 32;
constexpr std::size_t kRecordStringOffset = 36;
constexpr std::size_t kRecordUserSidLength = 40;
constexpr std::size_t kRecordUserSidOffset = 44;
constexpr std::size_t kRecordDataLength = 48;
constexpr std::size_t kRecordDataOffset = 52;
constexpr std::size_t kRecordSourceName = 56;
constexpr std::uint32_t kRecordFixedSize = 56;
// Fixed part, two empty names and the trailing length.
constexpr std::uint32_t kRecordMinSize = kRecordFixedSize + 2 + 2 + 4;

constexpr std::uint16_t kEventTypeError = 0x0001;
constexpr std::uint16_t kEventTypeWarning = 0x0002;
constexpr std::uint16_t kEventTypeInformation = 0x0004;

// End-of-file record.
constexpr std::uint32_t kEofSize = 0x28;
constexpr std::uint32_t kEofMagic[4] = {0x11111111u, 0x22222222u, 0x33333333u, 0x44444444u};
constexpr std::size_t kEofBeginRecord = 0x14;
constexpr std::size_t kEofEndRecord = 0x18;
constexpr std::size_t kEofCurrentRecordNumber = 0x1c;
constexpr std::size_t kEofOldestRecordNumber = 0x20;
constexpr std::size_t kEofSizeEnd = 0x24;

inline std::uint32_t LoadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint16_t LoadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline void StoreU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void StoreU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

// True when the 0x28 bytes hold a well-formed end-of-file record.
inline bool IsEofRecord(const std::uint8_t* p) {
    return LoadU32(p) == kEofSize && LoadU32(p + 4) == kEofMagic[0] &&
           LoadU32(p + 8) == kEofMagic[1] && LoadU32(p + 12) == kEofMagic[2] &&
           LoadU32(p + 16) == kEofMagic[3] && LoadU32(p + kEofSizeEnd) == kEofSize;
}

// The contents of one event record, for writers.
struct EventRecordFields {
    std::uint32_t recordNumber = 0;
    std::uint32_t timeGenerated = 0;
    std::uint32_t timeWritten = 0;
    std::uint32_t eventId = 0;
    std::uint16_t eventType = kEventTypeInformation;
    std::uint16_t eventCategory = 0;
    std::u16string sourceName;
    std::u16string computerName;
    std::vector<std::uint8_t> userSid;
    std::vector<std::u16string> strings;
    std::vector<std::uint8_t> data;
};

// Serialises a record in the layout above (padding zero-filled, Length at
// both ends).
inline std::vector<std::uint8_t> EncodeEventRecord(const EventRecordFields& f) {
    auto align4 = [](std::size_t n) { return (n + 3) & ~std::size_t{3}; };
    std::size_t namesEnd =
        kRecordFixedSize + 2 * (f.sourceName.size() + 1) + 2 * (f.computerName.size() + 1);
    std::size_t sidOffset = align4(namesEnd);
    std::size_t stringOffset = sidOffset + f.userSid.size();
    std::size_t stringsSize = 0;
    for (const auto& s : f.strings) stringsSize += 2 * (s.size() + 1);
    std::size_t dataOffset = stringOffset + stringsSize;
    std::size_t length = align4(dataOffset + f.data.size()) + 4;

    std::vector<std::uint8_t> r(length, 0);
    auto u32 = [](std::size_t n) { return static_cast<std::uint32_t>(n); };
    StoreU32(&r[kRecordLength], u32(length));
    StoreU32(&r[kRecordReserved], kSignature);
    StoreU32(&r[kRecordNumber], f.recordNumber);
    StoreU32(&r[kRecordTimeGenerated], f.timeGenerated);
    StoreU32(&r[kRecordTimeWritten], f.timeWritten);
    StoreU32(&r[kRecordEventId], f.eventId);
    StoreU16(&r[kRecordEventType], f.eventType);
    StoreU16(&r[kRecordNumStrings], static_cast<std::uint16_t>(f.strings.size()));
    StoreU16(&r[kRecordEventCategory], f.eventCategory);
    StoreU32(&r[kRecordStringOffset], u32(stringOffset));
    StoreU32(&r[kRecordUserSidLength], u32(f.userSid.size()));
    StoreU32(&r[kRecordUserSidOffset], u32(sidOffset));
    StoreU32(&r[kRecordDataLength], u32(f.data.size()));
    StoreU32(&r[kRecordDataOffset], u32(dataOffset));
    std::size_t at = kRecordSourceName;
    auto putText = [&](const std::u16string& s) {
        for (char16_t c : s) {
            StoreU16(&r[at], static_cast<std::uint16_t>(c));
            at += 2;
        }
        at += 2;   // terminator, already zero
    };
    putText(f.sourceName);
    putText(f.computerName);
    for (std::size_t i = 0; i < f.userSid.size(); ++i) r[sidOffset + i] = f.userSid[i];
    at = stringOffset;
    for (const auto& s : f.strings) putText(s);
    for (std::size_t i = 0; i < f.data.size(); ++i) r[dataOffset + i] = f.data[i];
    StoreU32(&r[length - 4], u32(length));
    return r;
}

// Serialises an end-of-file record.
inline std::vector<std::uint8_t> EncodeEofRecord(std::uint32_t beginRecord, std::uint32_t endRecord,
                                                 std::uint32_t currentRecordNumber,
                                                 std::uint32_t oldestRecordNumber) {
    std::vector<std::uint8_t> r(kEofSize, 0);
    StoreU32(&r[0], kEofSize);
    for (std::size_t i = 0; i < 4; ++i) StoreU32(&r[4 + 4 * i], kEofMagic[i]);
    StoreU32(&r[kEofBeginRecord], beginRecord);
    StoreU32(&r[kEofEndRecord], endRecord);
    StoreU32(&r[kEofCurrentRecordNumber], currentRecordNumber);
    StoreU32(&r[kEofOldestRecordNumber], oldestRecordNumber);
    StoreU32(&r[kEofSizeEnd], kEofSize);
    return r;
}

}  // namespace eventlog_format
