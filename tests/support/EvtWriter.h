// EvtWriter.h - writes legacy event-log files (.evt) for tests and
// benchmarks, in the layout of platform/src/eventlog/EventLogFormat.h.
//
//   std::vector<evtwriter::Record> records = {
//       evtwriter::RecordBuilder(6005).Time(1120219200).Computer(u"HOST1").Build(),
//       evtwriter::RecordBuilder(6008).Strings({u"11:59:02 PM", u"7/4/2005"})
//           .Data(evtwriter::SystemTimes(local, utc)).Build()};
//   evtwriter::WriteLog(dir + "/System.evt", records, {});
//
// Record numbers are given by the writer (options.firstRecordNumber on);
// whatever Build() put there is overwritten.
//
// Thread-safety: none needed; every function works on its arguments only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "eventlog/EventLogFormat.h"
#include "win32/win32.h"

namespace evtwriter {

using Record = eventlog_format::EventRecordFields;

// Fluent builder of one record. Defaults: time 0, information type, source
// "EventLog", computer "TESTHOST", no strings, no data.
class RecordBuilder {
public:
    explicit RecordBuilder(std::uint32_t eventId);
    RecordBuilder& Time(std::uint32_t timeGenerated);   // TimeWritten too
    RecordBuilder& Type(std::uint16_t eventType);
    RecordBuilder& Source(std::u16string sourceName);
    RecordBuilder& Computer(std::u16string computerName);
    RecordBuilder& Strings(std::vector<std::u16string> strings);
    RecordBuilder& Data(std::vector<std::uint8_t> data);
    // Grows the data section so that the encoded record is at least
    // `length` bytes long (for records that do not fit a read buffer).
    RecordBuilder& PadTo(std::uint32_t length);
    Record Build() const;

private:
    Record record_;
    std::uint32_t padTo_ = 0;
};

// The 32-byte data section of a 6008 record: two SYSTEMTIMEs.
std::vector<std::uint8_t> SystemTimes(const SYSTEMTIME& first, const SYSTEMTIME& second);

struct LogOptions {
    std::uint32_t firstRecordNumber = 1;
    // Size of the whole file; 0: exactly header + records + end-of-file
    // record. Unused ring space is zero-filled.
    std::uint32_t fileSize = 0;
    // Where the oldest record starts (>= 0x30). Records and the end-of-file
    // record run on from there and continue after the header once they
    // reach the end of the file, splitting whatever straddles it.
    std::uint32_t startOffset = eventlog_format::kHeaderSize;
    // When set, the record of this index is not split at the end of the
    // file: the rest of the file is filled with 0x00000027 words and the
    // record starts right after the header.
    std::optional<std::size_t> fillBeforeRecord;
    // Dirty header: the flag set and the header describing only the first
    // headerRecordCount records (as a system that crashed leaves it).
    bool dirty = false;
    std::uint32_t headerRecordCount = 0;
};

// The file image with where things landed, for tests that damage it.
struct LogImage {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> recordOffsets;   // file offset of each record's start
    std::vector<std::uint32_t> recordLengths;
    std::uint32_t eofOffset = 0;
};

// Lays the records out; aborts the test program (with a message) when they
// do not fit the requested file.
LogImage BuildLog(const std::vector<Record>& records, const LogOptions& options);

// The start offset that makes record `index` straddle the end of a file of
// fileSize bytes with bytesBeforeWrap of its bytes before the wrap point.
std::uint32_t StartOffsetSplitting(const std::vector<Record>& records, std::uint32_t fileSize,
                                   std::size_t index, std::uint32_t bytesBeforeWrap);

// Writes bytes to path (replacing it); false on failure.
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool WriteLog(const std::string& path, const std::vector<Record>& records,
              const LogOptions& options);

}  // namespace evtwriter
