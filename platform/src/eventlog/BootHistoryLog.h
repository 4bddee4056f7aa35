// BootHistoryLog.h - the "System" log synthesised from this machine's boot
// history, for when no exported log file is configured.
//
// Source: the login accounting file wtmp (/var/log/wtmp; ORVANE_WTMP names
// another file) and the kernel's boot time (btime of /proc/stat). Records,
// in wtmp order, numbered from 1, source "EventLog", computer = host name:
// - a boot record gives 6005 (the event-log service started) at boot time;
// - a shutdown record gives 6006 (the event-log service stopped);
// - a boot with no shutdown since the previous boot gives, right after its
//   6005, a 6008 (the previous shutdown was unexpected) at boot time. Its
//   data section holds the last sign of life before the crash (the latest
//   wtmp time since the previous boot) as two SYSTEMTIMEs, local then UTC,
//   and its two insertion strings hold that local time and date as Windows
//   writes them ("11:59:02 PM", "7/4/2005");
// - the current boot is added at its place in time when wtmp lacks it, and
//   counts as a boot for the 6008 rule.
// Record numbers depend only on the file's contents, so they stay the same
// across opens as long as wtmp only grows.
//
// Thread-safety: BootHistoryBuilder is not thread-safe; OpenBootHistory may
// be called from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "eventlog/EventLogFormat.h"
#include "eventlog/EventLogSource.h"

namespace win32_internal {

constexpr std::uint32_t kEventIdServiceStarted = 0x80001775u;    // 6005
constexpr std::uint32_t kEventIdServiceStopped = 0x80001776u;    // 6006
constexpr std::uint32_t kEventIdUnexpectedShutdown = 0x80001778u;   // 6008

// One wtmp entry, reduced to what the history needs.
struct WtmpEntry {
    enum class Kind { Boot, Shutdown, Other };
    Kind kind = Kind::Other;
    std::int64_t seconds = 0;       // since 1970 UTC
    std::int32_t microseconds = 0;
};

// True when a boot entry of wtmp stands for the boot at bootSeconds: one
// recorded at most kBootTimeSlack seconds before it, or any time after it
// (the clock may have been corrected since the boot was recorded).
constexpr std::int64_t kBootTimeSlack = 120;
bool IsEntryOfBoot(const WtmpEntry& entry, std::int64_t bootSeconds);

// Turns wtmp entries, fed in file order, into event records. Keeps only the
// records it makes, so a long wtmp costs no memory.
class BootHistoryBuilder {
public:
    // missingBoot: a boot that wtmp lacks (the current one), placed before
    // the first entry at or after its time.
    BootHistoryBuilder(std::u16string computerName, std::optional<std::int64_t> missingBoot);

    void Add(const WtmpEntry& entry);
    std::vector<eventlog_format::EventRecordFields> Finish();

private:
    void OnBoot(std::int64_t seconds);
    void Emit(std::uint32_t eventId, std::uint16_t type, std::int64_t seconds);

    std::u16string computerName_;
    std::optional<std::int64_t> missingBoot_;
    bool bootSeen_ = false;
    bool shutdownSinceBoot_ = false;
    std::int64_t lastSignSeconds_ = 0;
    std::int32_t lastSignMicroseconds_ = 0;
    std::vector<eventlog_format::EventRecordFields> records_;
};

// Reads wtmp and the boot time and builds the log. A missing wtmp is an
// empty history; any other failure to read it fails with *error set.
std::unique_ptr<EventLogSource> OpenBootHistory(DWORD* error);

}  // namespace win32_internal
