#include "eventlog/BootHistoryLog.h"

#include <fcntl.h>
#include <unistd.h>
#include <utmp.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>

#include "internal/KernelObject.h"

namespace win32_internal {

namespace ef = eventlog_format;

namespace {

constexpr const char* kDefaultWtmpPath = "/var/log/wtmp";
constexpr const char* kProcStatPath = "/proc/stat";

std::u16string Widen(const std::string& text) {
    std::u16string out;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        out.push_back(byte < 0x80 ? static_cast<char16_t>(byte) : u'?');
    }
    return out;
}

std::uint32_t ClampToDword(std::int64_t seconds) {
    if (seconds < 0) return 0;
    if (seconds > static_cast<std::int64_t>(UINT32_MAX)) return UINT32_MAX;
    return static_cast<std::uint32_t>(seconds);
}

void AppendSystemTime(std::vector<std::uint8_t>& out, const std::tm& t, std::int32_t milliseconds) {
    const std::uint16_t fields[8] = {
        static_cast<std::uint16_t>(t.tm_year + 1900), static_cast<std::uint16_t>(t.tm_mon + 1),
        static_cast<std::uint16_t>(t.tm_wday),        static_cast<std::uint16_t>(t.tm_mday),
        static_cast<std::uint16_t>(t.tm_hour),        static_cast<std::uint16_t>(t.tm_min),
        static_cast<std::uint16_t>(t.tm_sec),         static_cast<std::uint16_t>(milliseconds)};
    for (std::uint16_t f : fields) {
        out.push_back(static_cast<std::uint8_t>(f));
        out.push_back(static_cast<std::uint8_t>(f >> 8));
    }
}

// Calls visit for each whole entry of the wtmp file; false with *error set
// when it cannot be read (a missing file is an empty one).
bool ForEachWtmpEntry(const char* path, const std::function<void(const WtmpEntry&)>& visit,
                      DWORD* error) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        *error = ErrorFromErrno(errno);
        return false;
    }
    constexpr std::size_t kBatch = 256;
    std::vector<struct utmp> batch(kBatch);
    std::size_t carried = 0;   // bytes of a partial entry at the front of the batch
    auto* bytes = reinterpret_cast<char*>(batch.data());
    const std::size_t capacity = kBatch * sizeof(struct utmp);
    for (;;) {
        ssize_t got = ::read(fd, bytes + carried, capacity - carried);
        if (got < 0) {
            if (errno == EINTR) continue;
            *error = ErrorFromErrno(errno);
            ::close(fd);
            return false;
        }
        if (got == 0) break;   // a partial entry at the end is left out
        std::size_t have = carried + static_cast<std::size_t>(got);
        std::size_t whole = have / sizeof(struct utmp);
        for (std::size_t i = 0; i < whole; ++i) {
            const struct utmp& u = batch[i];
            WtmpEntry entry;
            entry.seconds = u.ut_tv.tv_sec;
            entry.microseconds = static_cast<std::int32_t>(u.ut_tv.tv_usec);
            if (u.ut_type == BOOT_TIME) {
                entry.kind = WtmpEntry::Kind::Boot;
            } else if (u.ut_type == RUN_LVL &&
                       std::strncmp(u.ut_user, "shutdown", sizeof u.ut_user) == 0) {
                entry.kind = WtmpEntry::Kind::Shutdown;
            }
            visit(entry);
        }
        carried = have - whole * sizeof(struct utmp);
        std::memmove(bytes, bytes + whole * sizeof(struct utmp), carried);
    }
    ::close(fd);
    return true;
}

std::optional<std::int64_t> ReadKernelBootTime() {
    std::FILE* f = std::fopen(kProcStatPath, "re");
    if (!f) return std::nullopt;
    std::optional<std::int64_t> result;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        long long value = 0;
        if (std::sscanf(line, "btime %lld", &value) == 1) {
            result = value;
            break;
        }
    }
    std::fclose(f);
    return result;
}

}  // namespace

bool IsEntryOfBoot(const WtmpEntry& entry, std::int64_t bootSeconds) {
    return entry.kind == WtmpEntry::Kind::Boot && entry.seconds >= bootSeconds - kBootTimeSlack;
}

BootHistoryBuilder::BootHistoryBuilder(std::u16string computerName,
                                       std::optional<std::int64_t> missingBoot)
    : computerName_(std::move(computerName)), missingBoot_(missingBoot) {}

void BootHistoryBuilder::Add(const WtmpEntry& entry) {
    if (missingBoot_ && entry.seconds >= *missingBoot_) {
        std::int64_t boot = *missingBoot_;
        missingBoot_.reset();
        OnBoot(boot);
    }
    switch (entry.kind) {
    case WtmpEntry::Kind::Boot:
        OnBoot(entry.seconds);
        break;
    case WtmpEntry::Kind::Shutdown:
        Emit(kEventIdServiceStopped, ef::kEventTypeInformation, entry.seconds);
        shutdownSinceBoot_ = true;
        break;
    case WtmpEntry::Kind::Other:
        break;
    }
    if (entry.seconds >= lastSignSeconds_) {
        lastSignSeconds_ = entry.seconds;
        lastSignMicroseconds_ = entry.microseconds;
    }
}

std::vector<eventlog_format::EventRecordFields> BootHistoryBuilder::Finish() {
    if (missingBoot_) {
        std::int64_t boot = *missingBoot_;
        missingBoot_.reset();
        OnBoot(boot);
    }
    return std::move(records_);
}

void BootHistoryBuilder::OnBoot(std::int64_t seconds) {
    Emit(kEventIdServiceStarted, ef::kEventTypeInformation, seconds);
    if (bootSeen_ && !shutdownSinceBoot_) {
        Emit(kEventIdUnexpectedShutdown, ef::kEventTypeError, seconds);
        auto& record = records_.back();
        // The last sign of life, local then UTC, and as the two insertion
        // strings of the Windows message ("... at %1 on %2 was unexpected").
        auto when = static_cast<std::time_t>(lastSignSeconds_);
        std::tm local{};
        std::tm utc{};
        if (::localtime_r(&when, &local) && ::gmtime_r(&when, &utc)) {
            std::int32_t ms = lastSignMicroseconds_ / 1000;
            if (ms < 0 || ms > 999) ms = 0;
            AppendSystemTime(record.data, local, ms);
            AppendSystemTime(record.data, utc, ms);
            int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
            char time[64];
            char date[64];
            std::snprintf(time, sizeof time, "%d:%02d:%02d %s", hour12, local.tm_min,
                          local.tm_sec, local.tm_hour < 12 ? "AM" : "PM");
            std::snprintf(date, sizeof date, "%d/%d/%d", local.tm_mon + 1, local.tm_mday,
                          local.tm_year + 1900);
            record.strings = {Widen(time), Widen(date)};
        }
    }
    bootSeen_ = true;
    shutdownSinceBoot_ = false;
    lastSignSeconds_ = seconds;
    lastSignMicroseconds_ = 0;
}

void BootHistoryBuilder::Emit(std::uint32_t eventId, std::uint16_t type, std::int64_t seconds) {
    ef::EventRecordFields record;
    record.recordNumber = static_cast<std::uint32_t>(records_.size() + 1);
    record.timeGenerated = ClampToDword(seconds);
    record.timeWritten = record.timeGenerated;
    record.eventId = eventId;
    record.eventType = type;
    record.sourceName = u"EventLog";
    record.computerName = computerName_;
    records_.push_back(std::move(record));
}

std::unique_ptr<EventLogSource> OpenBootHistory(DWORD* error) {
    const char* path = std::getenv("ORVANE_WTMP");
    if (!path || !*path) path = kDefaultWtmpPath;

    std::optional<std::int64_t> boot = ReadKernelBootTime();
    if (boot) {
        bool recorded = false;
        if (!ForEachWtmpEntry(
                path, [&](const WtmpEntry& e) { recorded = recorded || IsEntryOfBoot(e, *boot); },
                error)) {
            return nullptr;
        }
        if (recorded) boot.reset();
    }

    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    ::tzset();
    BootHistoryBuilder builder(Widen(host), boot);
    if (!ForEachWtmpEntry(path, [&](const WtmpEntry& e) { builder.Add(e); }, error)) {
        return nullptr;
    }
    std::vector<std::vector<std::uint8_t>> records;
    for (const auto& fields : builder.Finish()) records.push_back(ef::EncodeEventRecord(fields));
    return std::make_unique<MemoryEventLog>(std::move(records));
}

}  // namespace win32_internal
