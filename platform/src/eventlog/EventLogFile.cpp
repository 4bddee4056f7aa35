#include "eventlog/EventLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "eventlog/EventLogFormat.h"
#include "internal/KernelObject.h"

namespace win32_internal {

namespace ef = eventlog_format;

namespace {

constexpr std::uint32_t kScanChunk = 64 * 1024;
// Words found between the newest record of a wrapped log and the end of the
// file when the writer moved on to the start of the ring instead of
// splitting a record there.
constexpr std::uint32_t kFillerWord = 0x00000027;

// The variable part of a record read whole: names, SID, strings and data
// must lie inside the record, in front of its trailing length.
bool IsWellFormedBody(const std::uint8_t* r, std::uint32_t length) {
    const std::uint64_t end = length - 4;
    auto textEnd = [&](std::uint64_t at) -> std::uint64_t {   // past the NUL, or 0
        for (; at + 2 <= end; at += 2) {
            if (ef::LoadU16(r + at) == 0) return at + 2;
        }
        return 0;
    };
    std::uint64_t at = textEnd(ef::kRecordSourceName);
    if (at == 0 || textEnd(at) == 0) return false;
    auto inside = [&](std::uint32_t offset, std::uint32_t size) {
        return size == 0 ||
               (offset >= ef::kRecordFixedSize && std::uint64_t{offset} + size <= end);
    };
    if (!inside(ef::LoadU32(r + ef::kRecordUserSidOffset), ef::LoadU32(r + ef::kRecordUserSidLength)))
        return false;
    if (!inside(ef::LoadU32(r + ef::kRecordDataOffset), ef::LoadU32(r + ef::kRecordDataLength)))
        return false;
    std::uint16_t strings = ef::LoadU16(r + ef::kRecordNumStrings);
    if (strings > 0) {
        at = ef::LoadU32(r + ef::kRecordStringOffset);
        if (at < ef::kRecordFixedSize) return false;
        for (std::uint16_t i = 0; i < strings; ++i) {
            at = textEnd(at);
            if (at == 0) return false;
        }
    }
    return true;
}

}  // namespace

std::unique_ptr<EventLogFile> EventLogFile::Open(const std::string& path, DWORD* error) {
    // O_NONBLOCK: a FIFO put in the log's place must not hang the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *error = ErrorFromErrno(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *error = ErrorFromErrno(errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > static_cast<off_t>(UINT32_MAX)) {
        *error = ERROR_EVENTLOG_FILE_CORRUPT;
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<EventLogFile> file(new EventLogFile(fd, static_cast<std::uint32_t>(st.st_size)));
    std::uint8_t header[ef::kHeaderSize];
    if (file->fileSize_ < ef::kHeaderSize + ef::kEofSize) {
        *error = ERROR_EVENTLOG_FILE_CORRUPT;
        return nullptr;
    }
    *error = file->ReadAt(0, header, ef::kHeaderSize);
    if (*error == ERROR_SUCCESS) *error = file->Load(header);
    if (*error != ERROR_SUCCESS) return nullptr;
    return file;
}

EventLogFile::~EventLogFile() { ::close(fd_); }

DWORD EventLogFile::Load(const std::uint8_t* header) {
    if (ef::LoadU32(header + ef::kHeaderHeaderSize) != ef::kHeaderSize ||
        ef::LoadU32(header + ef::kHeaderSignature) != ef::kSignature ||
        ef::LoadU32(header + ef::kHeaderMajorVersion) != ef::kMajorVersion ||
        ef::LoadU32(header + ef::kHeaderMinorVersion) != ef::kMinorVersion ||
        ef::LoadU32(header + ef::kHeaderEndHeaderSize) != ef::kHeaderSize) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    // A clean header says where the end-of-file record is; a dirty one may
    // be stale, and then the record is searched for. Either way the numbers
    // and offsets are taken from the end-of-file record, which the writer
    // updates with every record (the header only when the log is closed).
    std::uint32_t hint = 0;
    if ((ef::LoadU32(header + ef::kHeaderFlags) & ef::kFlagDirty) == 0) {
        hint = ef::LoadU32(header + ef::kHeaderEndOffset);
    }
    std::uint8_t eof[ef::kEofSize];
    DWORD error = FindEofRecord(hint, eof);
    if (error != ERROR_SUCCESS) return error;

    std::uint32_t begin = ef::LoadU32(eof + ef::kEofBeginRecord);
    std::uint32_t end = ef::LoadU32(eof + ef::kEofEndRecord);
    std::uint32_t current = ef::LoadU32(eof + ef::kEofCurrentRecordNumber);
    std::uint32_t oldest = ef::LoadU32(eof + ef::kEofOldestRecordNumber);
    if (begin < ef::kHeaderSize || begin >= fileSize_ || begin % 4 != 0) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    oldest_ = oldest;
    if (begin == end) {   // empty log
        count_ = 0;
        return ERROR_SUCCESS;
    }
    std::uint32_t span = end >= begin ? end - begin : RingSize() - (begin - end);
    if (oldest == 0 || current <= oldest || current - oldest > span / ef::kRecordMinSize) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    count_ = current - oldest;
    IndexRecords(begin, span);
    return ERROR_SUCCESS;
}

DWORD EventLogFile::FindEofRecord(std::uint32_t hint, std::uint8_t* eof) const {
    auto isEofAt = [&](std::uint32_t offset, std::uint8_t* out) {
        return ReadRing(offset, out, ef::kEofSize) == ERROR_SUCCESS && ef::IsEofRecord(out) &&
               ef::LoadU32(out + ef::kEofEndRecord) == offset;
    };
    if (hint >= ef::kHeaderSize && hint < fileSize_ && isEofAt(hint, eof)) return ERROR_SUCCESS;

    // Look at every 4-aligned word of the ring for the first magic word; the
    // record may itself be split at the wrap point. Should more than one
    // candidate survive (a stale copy in unused space), the one with the
    // highest next record number is the newest.
    bool found = false;
    std::uint32_t bestCurrent = 0;
    std::vector<std::uint8_t> chunk(kScanChunk);
    std::uint8_t candidate[ef::kEofSize];
    for (std::uint64_t base = ef::kHeaderSize; base + 4 <= fileSize_; base += kScanChunk) {
        std::uint32_t n =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(kScanChunk, fileSize_ - base)) & ~3u;
        if (ReadAt(base, chunk.data(), n) != ERROR_SUCCESS) return ERROR_EVENTLOG_FILE_CORRUPT;
        for (std::uint32_t i = 0; i < n; i += 4) {
            if (ef::LoadU32(&chunk[i]) != ef::kEofMagic[0]) continue;
            std::uint32_t start = RingBack(static_cast<std::uint32_t>(base + i), 4);
            if (!isEofAt(start, candidate)) continue;
            std::uint32_t current = ef::LoadU32(candidate + ef::kEofCurrentRecordNumber);
            if (!found || current > bestCurrent) {
                found = true;
                bestCurrent = current;
                std::memcpy(eof, candidate, ef::kEofSize);
            }
        }
    }
    return found ? ERROR_SUCCESS : ERROR_EVENTLOG_FILE_CORRUPT;
}

void EventLogFile::IndexRecords(std::uint32_t begin, std::uint32_t span) {
    offsets_.assign(count_, 0);
    std::uint8_t fixed[ef::kRecordFixedSize];
    std::uint8_t word[4];

    // Forward, from the oldest record, following the leading lengths. The
    // walk reads the file through a window of kScanChunk bytes rather than
    // with two small reads per record.
    std::vector<std::uint8_t> window;
    std::uint64_t windowStart = 0;
    auto readAhead = [&](std::uint32_t offset, std::uint8_t* out, std::uint32_t n) {
        if (offset >= ef::kHeaderSize && offset < fileSize_ && n <= fileSize_ - offset) {
            if (offset < windowStart || offset + std::uint64_t{n} > windowStart + window.size()) {
                window.resize(std::min<std::uint32_t>(kScanChunk, fileSize_ - offset));
                windowStart = offset;
                if (n > window.size() || ReadAt(offset, window.data(), static_cast<std::uint32_t>(window.size())) !=
                                             ERROR_SUCCESS) {
                    window.clear();
                    return ReadRing(offset, out, n);
                }
            }
            std::memcpy(out, window.data() + (offset - windowStart), n);
            return static_cast<DWORD>(ERROR_SUCCESS);
        }
        return ReadRing(offset, out, n);   // wraps, or out of the file
    };
    std::uint32_t pos = begin;
    std::uint32_t walked = 0;
    std::uint32_t k = 0;
    bool skippedFiller = false;
    while (k < count_ && span - walked >= ef::kRecordMinSize) {
        if (readAhead(pos, fixed, ef::kRecordFixedSize) != ERROR_SUCCESS) break;
        std::uint32_t length = ef::LoadU32(fixed + ef::kRecordLength);
        if (ef::LoadU32(fixed + ef::kRecordReserved) != ef::kSignature) {
            std::uint32_t toEnd = fileSize_ - pos;
            if (!skippedFiller && pos != ef::kHeaderSize && toEnd < span - walked &&
                IsFillerUpToEnd(pos)) {
                skippedFiller = true;
                walked += toEnd;
                pos = ef::kHeaderSize;
                continue;
            }
            break;
        }
        if (length < ef::kRecordMinSize || length % 4 != 0 || length > span - walked ||
            ef::LoadU32(fixed + ef::kRecordNumber) != oldest_ + k ||
            readAhead(RingAdvance(pos, length - 4), word, 4) != ERROR_SUCCESS ||
            ef::LoadU32(word) != length) {
            break;
        }
        offsets_[k++] = pos;
        pos = RingAdvance(pos, length);
        walked += length;
    }
    if (k == count_) return;

    // Damage stopped the forward walk: walk back from the end-of-file record
    // over the trailing lengths, so that only the damaged stretch is lost.
    std::uint32_t end = RingAdvance(begin, span);
    pos = end;
    std::uint32_t back = 0;
    for (std::uint32_t j = count_; j > k; --j) {
        if (ReadRing(RingBack(pos, 4), word, 4) != ERROR_SUCCESS) break;
        std::uint32_t length = ef::LoadU32(word);
        if (length < ef::kRecordMinSize || length % 4 != 0 || length > span - walked - back) break;
        std::uint32_t start = RingBack(pos, length);
        if (ReadRing(start, fixed, ef::kRecordFixedSize) != ERROR_SUCCESS ||
            ef::LoadU32(fixed + ef::kRecordLength) != length ||
            ef::LoadU32(fixed + ef::kRecordReserved) != ef::kSignature ||
            ef::LoadU32(fixed + ef::kRecordNumber) != oldest_ + j - 1) {
            break;
        }
        offsets_[j - 1] = start;
        pos = start;
        back += length;
    }
}

bool EventLogFile::IsFillerUpToEnd(std::uint32_t offset) const {
    if (offset % 4 != 0 || fileSize_ % 4 != 0) return false;
    std::vector<std::uint8_t> chunk(kScanChunk);
    for (std::uint64_t at = offset; at < fileSize_; at += kScanChunk) {
        auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(kScanChunk, fileSize_ - at));
        if (ReadAt(at, chunk.data(), n) != ERROR_SUCCESS) return false;
        for (std::uint32_t i = 0; i < n; i += 4) {
            std::uint32_t w = ef::LoadU32(&chunk[i]);
            if (w != kFillerWord && w != 0) return false;
        }
    }
    return true;
}

DWORD EventLogFile::ReadRecord(std::uint32_t number, std::uint8_t* out, std::size_t capacity,
                               std::uint32_t* length) const {
    *length = 0;
    if (number - oldest_ >= offsets_.size()) return ERROR_INVALID_PARAMETER;
    std::uint32_t pos = offsets_[number - oldest_];
    if (pos == 0) return ERROR_EVENTLOG_FILE_CORRUPT;
    std::uint8_t fixed[ef::kRecordFixedSize];
    DWORD error = ReadRing(pos, fixed, ef::kRecordFixedSize);
    if (error != ERROR_SUCCESS) return error;
    std::uint32_t size = ef::LoadU32(fixed + ef::kRecordLength);
    if (ef::LoadU32(fixed + ef::kRecordReserved) != ef::kSignature ||
        ef::LoadU32(fixed + ef::kRecordNumber) != number || size < ef::kRecordMinSize ||
        size % 4 != 0 || size > RingSize()) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    *length = size;
    if (size > capacity) return ERROR_INSUFFICIENT_BUFFER;
    error = ReadRing(pos, out, size);
    if (error != ERROR_SUCCESS) return error;
    // Checked again on the bytes handed out: the file may have changed since
    // the fixed part was read.
    if (ef::LoadU32(out + ef::kRecordLength) != size || !IsIntactRecord(out, size, number)) {
        *length = 0;
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    return ERROR_SUCCESS;
}

DWORD EventLogFile::ReadForwards(std::uint32_t first, std::uint8_t* out, std::size_t capacity,
                                 std::uint32_t* used, std::uint32_t* records) const {
    *used = 0;
    *records = 0;
    const std::uint32_t index = first - oldest_;
    if (index >= offsets_.size()) return ERROR_INVALID_PARAMETER;
    const std::uint32_t pos = offsets_[index];
    const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, RingSize()));
    std::uint32_t at = 0;
    std::uint32_t number = first;
    if (pos != 0 && ReadRing(pos, out, size) == ERROR_SUCCESS) {
        while (number - oldest_ < count_ && offsets_[number - oldest_] == RingAdvance(pos, at) &&
               IsIntactRecord(out + at, size - at, number)) {
            at += ef::LoadU32(out + at);
            ++number;
        }
    }
    if (number == first) {
        // Not even the first: let the one-record read tell why.
        std::uint32_t length = 0;
        DWORD error = ReadRecord(first, out, capacity, &length);
        *used = length;
        if (error == ERROR_SUCCESS) *records = 1;
        return error;
    }
    *used = at;
    *records = number - first;
    return ERROR_SUCCESS;
}

bool EventLogFile::IsIntactRecord(const std::uint8_t* r, std::uint32_t available,
                                  std::uint32_t number) const {
    if (available < ef::kRecordFixedSize) return false;
    std::uint32_t length = ef::LoadU32(r + ef::kRecordLength);
    return length >= ef::kRecordMinSize && length % 4 == 0 && length <= available &&
           ef::LoadU32(r + ef::kRecordReserved) == ef::kSignature &&
           ef::LoadU32(r + ef::kRecordNumber) == number && ef::LoadU32(r + length - 4) == length &&
           IsWellFormedBody(r, length);
}

std::uint32_t EventLogFile::RingSize() const { return fileSize_ - ef::kHeaderSize; }

std::uint32_t EventLogFile::RingAdvance(std::uint32_t offset, std::uint32_t n) const {
    std::uint32_t toEnd = fileSize_ - offset;
    return n < toEnd ? offset + n : ef::kHeaderSize + (n - toEnd);
}

std::uint32_t EventLogFile::RingBack(std::uint32_t offset, std::uint32_t n) const {
    std::uint32_t fromStart = offset - ef::kHeaderSize;
    return n <= fromStart ? offset - n : fileSize_ - (n - fromStart);
}

DWORD EventLogFile::ReadRing(std::uint32_t offset, std::uint8_t* out, std::uint32_t n) const {
    if (offset < ef::kHeaderSize || offset >= fileSize_ || n > RingSize()) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    std::uint32_t first = std::min(n, fileSize_ - offset);
    DWORD error = ReadAt(offset, out, first);
    if (error == ERROR_SUCCESS && first < n) error = ReadAt(ef::kHeaderSize, out + first, n - first);
    return error;
}

DWORD EventLogFile::ReadAt(std::uint64_t offset, std::uint8_t* out, std::uint32_t n) const {
    std::uint32_t done = 0;
    while (done < n) {
        ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return ErrorFromErrno(errno);
        }
        // The file is shorter than when it was opened: it was truncated.
        if (got == 0) return ERROR_EVENTLOG_FILE_CORRUPT;
        done += static_cast<std::uint32_t>(got);
    }
    return ERROR_SUCCESS;
}

}  // namespace win32_internal
