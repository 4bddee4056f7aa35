// OrvaneAgent.h - the agent's service node.
//
// The node answers requests with command code 13 (Orvane_COMMAND_ID) with
// one reply item, the availability report built from the "System" event
// log, and every other code with result 3 and no item. Everything it does is
// written to AgentLog.
//
// The availability report (all integers 32-bit little-endian, no header, no
// padding; each text in the packed Unicode form ending in its zero byte):
//   count                        qualifying records found by a counting pass
//   count entries, oldest first: event code (6005, 6006 or 6008)
//                                computer name, packed
//                                time text, packed
//   current time                 "%Y%m%d%H%M%S", packed (15 bytes)
//
// Thread-safety: HandleCommand and everything it calls run under the node's
// dispatch lock (one request at a time); they share the date text and the
// process-wide report buffer, which have no lock of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/ServiceNode.h"
#include "win32/win32.h"

class Command;
class ReportBuffer;

inline constexpr std::int32_t Orvane_COMMAND_ID = 13;
inline constexpr std::int32_t kUnknownCommandResult = 3;

class OrvaneAgent : public ServiceNode {
public:
    static constexpr std::size_t kHostNameUnits = 256;
    static constexpr std::size_t kDateTextSize = 200;
    // Computer names and time texts go into the report through buffers of
    // 256 UTF-16 units including the terminator; longer texts are cut.
    static constexpr std::size_t kReportTextUnits = 256;
    static constexpr std::uint32_t kReadBufferSize = 4096;

    explicit OrvaneAgent(const char* nodeName);
    ~OrvaneAgent() override;

    // The start-up lock; always 1.
    int Init();

    int HandleCommand(Command& command) override;

    // The availability scan: leaves the report in the process-wide report
    // buffer (untouched when the log cannot be opened or counted).
    void BuildAvailabilityReport();
    std::int32_t CountAvailabilityEvents(HANDLE eventLog);
    // `size` is how many bytes of the record were read.
    void ProcessEventRecord(const BYTE* record, std::size_t size);
    std::u16string RecoverShutdownTime(const BYTE* record, std::size_t size);

    // Time-zone and clock diagnostics.
    void FormatSystemTime(SYSTEMTIME time, char* buffer);
    void LogTimeZoneInformation();
    void LogClocks();

    const char16_t* HostName() const { return hostName_; }
    const char* DateText() const { return dateText_; }

private:
    char16_t hostName_[kHostNameUnits + 1] = {};
    char dateText_[kDateTextSize] = {};
};

// The process-wide report buffer and start-up mutex.
ReportBuffer& TheReportBuffer();
class Mutex;
Mutex& TheStartupMutex();
