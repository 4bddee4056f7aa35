// The event-log calls of win32.h: an event-log handle is a KernelObject that
// owns one EventLogSource and the position of sequential reads.

#include <dirent.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "eventlog/BootHistoryLog.h"
#include "eventlog/EventLogFile.h"
#include "eventlog/EventLogSource.h"
#include "internal/KernelObject.h"

namespace win32_internal {

DWORD MemoryEventLog::ReadRecord(std::uint32_t number, std::uint8_t* out, std::size_t capacity,
                                 std::uint32_t* length) const {
    *length = 0;
    if (number < 1 || number > records_.size()) return ERROR_INVALID_PARAMETER;
    const auto& record = records_[number - 1];
    *length = static_cast<std::uint32_t>(record.size());
    if (record.size() > capacity) return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(out, record.data(), record.size());
    return ERROR_SUCCESS;
}

DWORD EventLogSource::ReadForwards(std::uint32_t first, std::uint8_t* out, std::size_t capacity,
                                   std::uint32_t* used, std::uint32_t* records) const {
    *used = 0;
    *records = 0;
    const std::uint64_t end = std::uint64_t{OldestRecordNumber()} + RecordCount();
    for (std::uint64_t number = first; number < end; ++number) {
        std::uint32_t length = 0;
        DWORD error = ReadRecord(static_cast<std::uint32_t>(number), out + *used, capacity - *used,
                                 &length);
        if (error != ERROR_SUCCESS) {
            if (*records > 0) break;
            *used = length;
            return error;
        }
        *used += length;
        ++*records;
    }
    return ERROR_SUCCESS;
}

namespace {

// Thread-safety: the source is immutable; the sequential position is
// guarded by mutex_.
class EventLogHandle final : public KernelObject {
public:
    explicit EventLogHandle(std::unique_ptr<EventLogSource> source) : source_(std::move(source)) {}

    const EventLogSource& Source() const { return *source_; }

    BOOL Read(DWORD flags, DWORD recordNumber, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
              DWORD* minBytesNeeded);

private:
    std::unique_ptr<EventLogSource> source_;
    std::mutex mutex_;
    std::optional<std::uint32_t> next_;   // next record of a sequential read
};

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL EventLogHandle::Read(DWORD flags, DWORD recordNumber, void* buffer, DWORD bytesToRead,
                          DWORD* bytesRead, DWORD* minBytesNeeded) {
    if (bytesRead) *bytesRead = 0;
    if (minBytesNeeded) *minBytesNeeded = 0;
    const bool sequential = (flags & EVENTLOG_SEQUENTIAL_READ) != 0;
    const bool seek = (flags & EVENTLOG_SEEK_READ) != 0;
    const bool forwards = (flags & EVENTLOG_FORWARDS_READ) != 0;
    const bool backwards = (flags & EVENTLOG_BACKWARDS_READ) != 0;
    if (sequential == seek || forwards == backwards || (!buffer && bytesToRead > 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::uint32_t oldest = source_->OldestRecordNumber();
    const std::uint32_t count = source_->RecordCount();
    auto inLog = [&](std::uint64_t n) { return count > 0 && n >= oldest && n - oldest < count; };

    std::lock_guard<std::mutex> lock(mutex_);
    std::uint64_t number;
    if (seek) {
        if (!inLog(recordNumber)) return Fail(ERROR_INVALID_PARAMETER);
        number = recordNumber;
    } else {
        if (!next_) next_ = forwards ? oldest : oldest + count - 1;
        number = *next_;
        if (!inLog(number)) return Fail(ERROR_HANDLE_EOF);
    }

    // As many whole records as fit, the first one required.
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t used = 0;
    if (forwards) {
        std::uint32_t bytes = 0;
        std::uint32_t records = 0;
        DWORD error = source_->ReadForwards(static_cast<std::uint32_t>(number), out, bytesToRead,
                                            &bytes, &records);
        if (error != ERROR_SUCCESS) {
            if (error == ERROR_INSUFFICIENT_BUFFER && minBytesNeeded) *minBytesNeeded = bytes;
            return Fail(error);
        }
        next_ = static_cast<std::uint32_t>(number + records);
        if (bytesRead) *bytesRead = bytes;
        return TRUE;
    }
    for (;;) {
        std::uint32_t length = 0;
        DWORD error = source_->ReadRecord(static_cast<std::uint32_t>(number), out + used,
                                          bytesToRead - used, &length);
        if (error != ERROR_SUCCESS) {
            if (used > 0) break;
            if (error == ERROR_INSUFFICIENT_BUFFER && minBytesNeeded) *minBytesNeeded = length;
            return Fail(error);
        }
        used += length;
        if (number-- == oldest) break;
    }
    next_ = static_cast<std::uint32_t>(number);
    if (bytesRead) *bytesRead = static_cast<DWORD>(used);
    return TRUE;
}

// The log name as a file name: plain ASCII, no path separators.
std::optional<std::string> LogName(const WCHAR* source) {
    if (!source || !*source) return std::nullopt;
    std::string name;
    for (const WCHAR* p = source; *p; ++p) {
        if (*p < 0x20 || *p > 0x7e || *p == u'/' || *p == u'\\') return std::nullopt;
        name.push_back(static_cast<char>(*p));
    }
    if (name == "." || name == "..") return std::nullopt;
    return name;
}

// $dir/<name>.evt, matched without regard to case when the exact name is
// not there (exported logs are often named in capitals).
std::string LogFilePath(const std::string& dir, const std::string& name) {
    std::string wanted = name + ".evt";
    std::string exact = dir + "/" + wanted;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return exact;
    std::string found;
    while (dirent* entry = ::readdir(d)) {
        if (std::strcmp(entry->d_name, wanted.c_str()) == 0) {
            found.clear();
            break;
        }
        if (found.empty() && ::strcasecmp(entry->d_name, wanted.c_str()) == 0) {
            found = entry->d_name;
        }
    }
    ::closedir(d);
    return found.empty() ? exact : dir + "/" + found;
}

}  // namespace

}  // namespace win32_internal

using win32_internal::EventLogHandle;
using win32_internal::Fail;

HANDLE OpenEventLogW(const WCHAR* server, const WCHAR* source) {
    if (server && *server) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    std::optional<std::string> name = win32_internal::LogName(source);
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DWORD error = ERROR_SUCCESS;
    std::unique_ptr<win32_internal::EventLogSource> log;
    const char* dir = std::getenv("EVENTLOG_DIR");
    if (dir && *dir) {
        log = win32_internal::EventLogFile::Open(win32_internal::LogFilePath(dir, *name), &error);
    } else if (::strcasecmp(name->c_str(), "System") == 0) {
        log = win32_internal::OpenBootHistory(&error);
    } else {
        error = ERROR_FILE_NOT_FOUND;
    }
    if (!log) {
        SetLastError(error);
        return nullptr;
    }
    return win32_internal::InsertHandle(std::make_shared<EventLogHandle>(std::move(log)));
}

BOOL CloseEventLog(HANDLE eventLog) {
    if (!win32_internal::FindHandleAs<EventLogHandle>(eventLog)) return FALSE;
    return win32_internal::RemoveHandle(eventLog) ? TRUE : FALSE;
}

BOOL GetOldestEventLogRecord(HANDLE eventLog, DWORD* oldestRecord) {
    auto log = win32_internal::FindHandleAs<EventLogHandle>(eventLog);
    if (!log) return FALSE;
    if (!oldestRecord) return Fail(ERROR_INVALID_PARAMETER);
    *oldestRecord = log->Source().OldestRecordNumber();
    return TRUE;
}

BOOL GetNumberOfEventLogRecords(HANDLE eventLog, DWORD* numberOfRecords) {
    auto log = win32_internal::FindHandleAs<EventLogHandle>(eventLog);
    if (!log) return FALSE;
    if (!numberOfRecords) return Fail(ERROR_INVALID_PARAMETER);
    *numberOfRecords = log->Source().RecordCount();
    return TRUE;
}

BOOL ReadEventLogW(HANDLE eventLog, DWORD readFlags, DWORD recordOffset, void* buffer,
                   DWORD bytesToRead, DWORD* bytesRead, DWORD* minBytesNeeded) {
    auto log = win32_internal::FindHandleAs<EventLogHandle>(eventLog);
    if (!log) return FALSE;
    return log->Read(readFlags, recordOffset, buffer, bytesToRead, bytesRead, minBytesNeeded);
}
