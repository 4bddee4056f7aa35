// EventLogSource.h - what an open event-log handle reads its records from.
//
// A source numbers its records consecutively from OldestRecordNumber();
// every record is one EVENTLOGRECORD (EventLogFormat.h). Reads by number
// are O(1).
//
// Thread-safety: a source is immutable after construction; every member may
// be called from any thread at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "win32/win32.h"

namespace win32_internal {

class EventLogSource {
public:
    virtual ~EventLogSource() = default;

    virtual std::uint32_t OldestRecordNumber() const = 0;
    virtual std::uint32_t RecordCount() const = 0;

    // Copies record `number` (OldestRecordNumber() <= number <
    // OldestRecordNumber() + RecordCount()) to out. Returns ERROR_SUCCESS and
    // its length in *length; ERROR_INSUFFICIENT_BUFFER with the length needed
    // in *length when it is longer than capacity; ERROR_EVENTLOG_FILE_CORRUPT
    // when the record cannot be read intact (damaged, or the file changed
    // under the reader); an I/O error code otherwise.
    virtual DWORD ReadRecord(std::uint32_t number, std::uint8_t* out, std::size_t capacity,
                             std::uint32_t* length) const = 0;

    // Copies records first, first + 1, ... of the log to out while whole
    // ones fit and can be read; the first is required. On success *used is
    // the bytes copied and *records their number; on failure the result and
    // *used are those of ReadRecord(first) (the length needed for
    // ERROR_INSUFFICIENT_BUFFER). Bytes of out past *used may be changed.
    virtual DWORD ReadForwards(std::uint32_t first, std::uint8_t* out, std::size_t capacity,
                               std::uint32_t* used, std::uint32_t* records) const;
};

// Records held in memory, numbered from 1 (the boot history).
class MemoryEventLog final : public EventLogSource {
public:
    explicit MemoryEventLog(std::vector<std::vector<std::uint8_t>> records)
        : records_(std::move(records)) {}

    std::uint32_t OldestRecordNumber() const override { return records_.empty() ? 0 : 1; }
    std::uint32_t RecordCount() const override {
        return static_cast<std::uint32_t>(records_.size());
    }
    DWORD ReadRecord(std::uint32_t number, std::uint8_t* out, std::size_t capacity,
                     std::uint32_t* length) const override;

private:
    std::vector<std::vector<std::uint8_t>> records_;
};

}  // namespace win32_internal
