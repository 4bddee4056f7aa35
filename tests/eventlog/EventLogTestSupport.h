// Shared pieces of the event-log tests: a scratch directory, reading a whole
// log the way the availability scan does, and field access on records.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "eventlog/EventLogFormat.h"
#include "win32/win32.h"

namespace eventlog_test {

namespace ef = eventlog_format;

// A fresh directory, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "evtlog-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data())) path_ = buf.data();
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// One record as read, with its read outcome.
struct ReadOutcome {
    DWORD number = 0;
    BOOL ok = FALSE;
    DWORD error = 0;
    DWORD needed = 0;
    DWORD bytesRead = 0;
    std::vector<std::uint8_t> bytes;   // the first record read
};

// Seek-reads every record from the oldest on with flags 6 and the given
// buffer size, one read per record number, as the availability scan does.
inline std::vector<ReadOutcome> ReadAllBySeek(HANDLE log, DWORD bufferSize = 4096) {
    std::vector<ReadOutcome> out;
    DWORD oldest = 0;
    DWORD count = 0;
    if (!GetOldestEventLogRecord(log, &oldest) || !GetNumberOfEventLogRecords(log, &count)) {
        ADD_FAILURE() << "cannot query the log";
        return out;
    }
    std::vector<std::uint8_t> buffer(bufferSize);
    for (DWORD i = 0; i < count; ++i) {
        ReadOutcome r;
        r.number = oldest + i;
        DWORD read = 0;
        r.ok = ReadEventLogW(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, r.number,
                             buffer.data(), bufferSize, &read, &r.needed);
        if (r.ok) {
            // The first record only, as the scan looks at no other.
            r.bytesRead = read;
            DWORD length = read >= 4 ? ef::LoadU32(buffer.data()) : 0;
            EXPECT_LE(length, read) << "record " << r.number;
            r.bytes.assign(buffer.begin(), buffer.begin() + std::min(length, read));
        } else {
            r.error = GetLastError();
        }
        out.push_back(std::move(r));
    }
    return out;
}

inline std::uint32_t U32(const std::vector<std::uint8_t>& r, std::size_t at) {
    return ef::LoadU32(r.data() + at);
}
inline std::uint16_t U16(const std::vector<std::uint8_t>& r, std::size_t at) {
    return ef::LoadU16(r.data() + at);
}

// The NUL-terminated UTF-16 text at `at`; *next is set past its NUL.
inline std::u16string TextAt(const std::vector<std::uint8_t>& r, std::size_t at,
                             std::size_t* next = nullptr) {
    std::u16string s;
    while (at + 2 <= r.size() && U16(r, at) != 0) {
        s.push_back(static_cast<char16_t>(U16(r, at)));
        at += 2;
    }
    if (next) *next = at + 2;
    return s;
}

inline std::u16string SourceName(const std::vector<std::uint8_t>& r) {
    return TextAt(r, ef::kRecordSourceName);
}
inline std::u16string ComputerName(const std::vector<std::uint8_t>& r) {
    std::size_t next = 0;
    TextAt(r, ef::kRecordSourceName, &next);
    return TextAt(r, next);
}
inline std::vector<std::u16string> Strings(const std::vector<std::uint8_t>& r) {
    std::vector<std::u16string> out;
    std::size_t at = U32(r, ef::kRecordStringOffset);
    for (std::uint16_t i = 0; i < U16(r, ef::kRecordNumStrings); ++i) out.push_back(TextAt(r, at, &at));
    return out;
}
inline std::vector<std::uint8_t> Data(const std::vector<std::uint8_t>& r) {
    std::size_t at = U32(r, ef::kRecordDataOffset);
    std::size_t n = U32(r, ef::kRecordDataLength);
    return std::vector<std::uint8_t>(r.begin() + static_cast<std::ptrdiff_t>(at),
                                     r.begin() + static_cast<std::ptrdiff_t>(at + n));
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = ::getenv(name)) {
            old_ = old;
            hadOld_ = true;
        }
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (hadOld_) {
            ::setenv(name_.c_str(), old_.c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool hadOld_ = false;
};

}  // namespace eventlog_test
