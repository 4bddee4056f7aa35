// FuzzEvtFile.cpp - fuzz target fuzz_evtfile: arbitrary bytes as the
// System.evt file of the event-log service.
//
// The input is written to System.evt in a private directory named by
// EVENTLOG_DIR; when the file opens, every record number of the log (and
// one on each side of it) is read with seek reads, forwards and backwards,
// into a small and a 4096-byte buffer, and the log is walked with
// sequential reads both ways. Every read that succeeds must hand out whole
// records inside the bytes it reports, each with its names, strings and
// data inside its Length.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "Core/EventLogRecord.h"
#include "FuzzSupport.h"
#include "win32/win32.h"

namespace {

constexpr DWORD kSmallBuffer = 120;
constexpr DWORD kReadBuffer = 4096;

struct Harness {
    fuzz::PrivateDirectory logs;
    std::string file;

    Harness() : file(logs.Path() + "/System.evt") { ::setenv("EVENTLOG_DIR", logs.Path().c_str(), 1); }
};

std::uint32_t LoadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The records a successful read handed out: back to back, each whole.
void CheckRecords(const std::uint8_t* buffer, DWORD bytesRead, DWORD capacity) {
    fuzz::Check(bytesRead <= capacity, "a read reports more bytes than its buffer holds");
    fuzz::Check(bytesRead >= 4, "a successful read handed out no record");
    DWORD at = 0;
    while (at < bytesRead) {
        fuzz::Check(bytesRead - at >= 56, "a record handed out is shorter than its fixed part");
        const std::uint32_t length = LoadU32(buffer + at);
        fuzz::Check(length >= 56 && length <= bytesRead - at, "a record's Length runs past the bytes read");
        const EventLogRecord view(buffer + at, length);
        fuzz::Check(view.IsValid(), "a record handed out is not valid");
        // Both names end inside the record, in front of its trailing Length.
        std::size_t afterSource = 0;
        std::size_t afterComputer = 0;
        view.TextAt(EventLogRecord::kSourceNameOffset, &afterSource);
        view.TextAt(afterSource, &afterComputer);
        fuzz::Check(afterComputer <= length - 4, "a record's names run past its end");
        view.InsertionStrings();
        if (view.DataLength() != 0) fuzz::Check(view.Data() != nullptr, "a record's data lies outside it");
        at += length;
    }
}

void ReadOne(HANDLE log, DWORD flags, DWORD number, DWORD capacity) {
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[capacity]);
    DWORD bytesRead = 0xFFFFFFFFu;
    DWORD needed = 0;
    if (ReadEventLogW(log, flags, number, buffer.get(), capacity, &bytesRead, &needed)) {
        CheckRecords(buffer.get(), bytesRead, capacity);
    } else if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        fuzz::Check(needed > capacity, "a record that does not fit needs no more than the buffer");
    }
}

void WalkSequentially(HANDLE log, DWORD direction, DWORD count, DWORD capacity) {
    // Each read hands out at least one record, so count + 2 reads reach the end.
    for (DWORD i = 0; i < count + 2; ++i) {
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[capacity]);
        DWORD bytesRead = 0;
        DWORD needed = 0;
        if (!ReadEventLogW(log, EVENTLOG_SEQUENTIAL_READ | direction, 0, buffer.get(), capacity, &bytesRead,
                           &needed)) {
            return;
        }
        CheckRecords(buffer.get(), bytesRead, capacity);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness harness;
    fuzz::WriteWhole(harness.file, data, size);
    HANDLE log = OpenEventLogW(nullptr, u"System");
    if (log == nullptr) return 0;
    DWORD oldest = 0;
    DWORD count = 0;
    fuzz::Check(GetOldestEventLogRecord(log, &oldest) != 0, "GetOldestEventLogRecord failed on an open log");
    fuzz::Check(GetNumberOfEventLogRecords(log, &count) != 0, "GetNumberOfEventLogRecords failed on an open log");
    fuzz::Check(count <= size / 64, "more records than the file can hold");

    for (DWORD n = oldest - 1; n != oldest + count + 1; ++n) {
        for (DWORD direction : {EVENTLOG_FORWARDS_READ, EVENTLOG_BACKWARDS_READ}) {
            ReadOne(log, EVENTLOG_SEEK_READ | direction, n, kSmallBuffer);
            ReadOne(log, EVENTLOG_SEEK_READ | direction, n, kReadBuffer);
        }
    }
    WalkSequentially(log, EVENTLOG_FORWARDS_READ, count, kReadBuffer);
    WalkSequentially(log, EVENTLOG_BACKWARDS_READ, count, kSmallBuffer);
    fuzz::Check(CloseEventLog(log) != 0, "CloseEventLog failed");
    return 0;
}
