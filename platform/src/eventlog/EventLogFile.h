// EventLogFile.h - a legacy event-log file (.evt) opened for reading.
//
// Open() walks the file once, front to back, and keeps only the offset of
// each record (4 bytes a record, never the records themselves); a read then
// fetches the one record with pread. Wrapped logs, records split across the
// wrap point and headers left dirty are handled (see EventLogFormat.h).
//
// Damage never leads outside the file: every offset and length is checked
// against the file before use. A damaged header, or no end-of-file record to
// be found, fails the open; a damaged record makes that record unreadable
// (the walk resumes from the newest end, following the trailing lengths, so
// the records after the damage stay readable). Records are checked again at
// read time, so a file truncated or rewritten under an open reader gives
// failed reads, never a crash. The file is read with pread, not mapped: a
// mapping of a file truncated under the reader would fault.
//
// Thread-safety: immutable after Open(); reads may run on any thread at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "eventlog/EventLogSource.h"

namespace win32_internal {

class EventLogFile final : public EventLogSource {
public:
    // Null with *error set (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
    // ERROR_EVENTLOG_FILE_CORRUPT, ...) when the file cannot be used.
    static std::unique_ptr<EventLogFile> Open(const std::string& path, DWORD* error);
    ~EventLogFile() override;

    EventLogFile(const EventLogFile&) = delete;
    EventLogFile& operator=(const EventLogFile&) = delete;

    std::uint32_t OldestRecordNumber() const override { return oldest_; }
    std::uint32_t RecordCount() const override { return count_; }
    DWORD ReadRecord(std::uint32_t number, std::uint8_t* out, std::size_t capacity,
                     std::uint32_t* length) const override;
    // One pread for the whole run: consecutive records lie one after
    // another in the ring.
    DWORD ReadForwards(std::uint32_t first, std::uint8_t* out, std::size_t capacity,
                       std::uint32_t* used, std::uint32_t* records) const override;

private:
    EventLogFile(int fd, std::uint32_t fileSize) : fd_(fd), fileSize_(fileSize) {}

    DWORD Load(const std::uint8_t* header);
    DWORD FindEofRecord(std::uint32_t hint, std::uint8_t* eof) const;
    void IndexRecords(std::uint32_t begin, std::uint32_t span);
    bool IsFillerUpToEnd(std::uint32_t offset) const;
    bool IsIntactRecord(const std::uint8_t* r, std::uint32_t available, std::uint32_t number) const;

    // Reads n bytes of the record ring starting at offset, wrapping from the
    // end of the file to just after the header. n must not exceed the ring.
    DWORD ReadRing(std::uint32_t offset, std::uint8_t* out, std::uint32_t n) const;
    DWORD ReadAt(std::uint64_t offset, std::uint8_t* out, std::uint32_t n) const;
    std::uint32_t RingSize() const;
    std::uint32_t RingAdvance(std::uint32_t offset, std::uint32_t n) const;
    std::uint32_t RingBack(std::uint32_t offset, std::uint32_t n) const;

    int fd_;
    std::uint32_t fileSize_;
    std::uint32_t oldest_ = 0;
    std::uint32_t count_ = 0;
    // offsets_[n - oldest_]: where record n starts; 0 when it was not found.
    std::vector<std::uint32_t> offsets_;
};

}  // namespace win32_internal
