// The availability scan: two passes over the "System" event log.
#include <memory>
#include <string>

#include "AppFramework/DateTime.h"
#include "Core/EventLogRecord.h"
#include "Core/ReportBuffer.h"
#include "OrvaneAgent/AgentLog.h"
#include "OrvaneAgent/OrvaneAgent.h"

namespace {

constexpr DWORD kSeekForwards = EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ;
constexpr const char* kRecordTimePattern = "%A %B %d %Y %H:%M:%S";
constexpr const char* kReportTimePattern = "%Y%m%d%H%M%S";
// 116444736000000000: 100-ns intervals from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000LL;

bool Qualifies(std::uint16_t code) { return code == 6005 || code == 6006 || code == 6008; }

// Texts reach the report through buffers of 256 units, terminator included.
std::u16string FitReportText(std::u16string text) {
    if (text.size() >= OrvaneAgent::kReportTextUnits) text.resize(OrvaneAgent::kReportTextUnits - 1);
    return text;
}

bool DaylightNow() {
    TIME_ZONE_INFORMATION zone{};
    return GetTimeZoneInformation(&zone) == TIME_ZONE_ID_DAYLIGHT;
}

// Reads `count` records one by one from `first` on, handing each record read
// to `visit`; a record that cannot be read is skipped, its number used up.
template <class Visit>
void ReadEachRecord(HANDLE eventLog, DWORD first, DWORD count, Visit visit) {
    DWORD recordNumber = first;
    for (DWORD remaining = count; remaining > 0; --remaining) {
        // A fresh block for each read; the read fills it, so it is not zeroed.
        auto buffer = std::make_unique_for_overwrite<BYTE[]>(OrvaneAgent::kReadBufferSize);
        DWORD bytesRead = 0;
        DWORD bytesNeeded = 0;
        const BOOL read = ReadEventLogW(eventLog, kSeekForwards, recordNumber, buffer.get(),
                                        OrvaneAgent::kReadBufferSize, &bytesRead, &bytesNeeded);
        ++recordNumber;
        if (read) visit(buffer.get(), static_cast<std::size_t>(bytesRead));
    }
}

// Time text of a 6005 or 6006 record: TimeGenerated shifted by the zone's
// current offset, read back as local wall-clock time, shown in UTC, and one
// hour earlier while daylight saving is in effect now.
std::u16string RecordTimeText(std::uint32_t timeGenerated) {
    const std::int64_t value =
        static_cast<std::int64_t>(static_cast<std::int32_t>(timeGenerated)) * 10000000LL + kUnixEpochAsFileTime;
    const auto bits = static_cast<std::uint64_t>(value);
    const FILETIME fileTime{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
    FILETIME localFileTime{};
    SYSTEMTIME fields{};
    FileTimeToLocalFileTime(&fileTime, &localFileTime);
    FileTimeToSystemTime(&localFileTime, &fields);

    DateTime when = DateTime::FromLocalFields(fields);
    std::u16string text = when.FormatUtc(kRecordTimePattern);
    AgentLog::WriteFlush("TimeGeneratedInString before calc DS mode gives: %S\n", text.c_str());
    if (DaylightNow()) {
        when.SubtractHour();
        text = when.FormatUtc(kRecordTimePattern);
        AgentLog::WriteFlush("New time calc DS mode gives: %S\n", text.c_str());
    }
    return text;
}

}  // namespace

void OrvaneAgent::BuildAvailabilityReport() {
    HANDLE eventLog = OpenEventLogW(nullptr, u"System");
    SetLocaleA(LC_ALL_CATEGORIES, "English");
    if (eventLog == nullptr) {
        AgentLog::WriteFlush("OpenEventLog failed");
        return;
    }
    DWORD oldest = 1;
    GetOldestEventLogRecord(eventLog, &oldest);
    AgentLog::WriteFlush("Oldest Event Log Record = %Ld\n", oldest);

    DWORD count = 0;
    if (!GetNumberOfEventLogRecords(eventLog, &count)) {
        AgentLog::WriteFlush("GetNumberOfEventLogRecords failed\n");
        CloseEventLog(eventLog);
        return;
    }
    AgentLog::WriteFlush("Number of records = %d\n", count);

    ReportBuffer& report = TheReportBuffer();
    report.Reset();
    const std::int32_t counted = CountAvailabilityEvents(eventLog);
    report.AppendInt32(counted);
    std::int32_t written = 0;
    ReadEachRecord(eventLog, oldest, count, [this, &report, &written](const BYTE* record, std::size_t size) {
        const std::uint32_t before = report.GetLength();
        ProcessEventRecord(record, size);
        if (report.GetLength() != before) ++written;
    });
    CloseEventLog(eventLog);
    // A log truncated or rewritten between the two passes yields another
    // number of entries than the first pass counted; the report announces
    // the entries it holds, so that a reader never runs past them.
    if (written != counted) report.PutInt32At(0, written);

    DateTime now = DateTime::Now();
    if (DaylightNow()) now.SubtractHour();
    const std::u16string longText = now.FormatUtc(kRecordTimePattern);
    AgentLog::WriteFlush("Current time = %S\n", longText.c_str());
    const std::u16string digits = FitReportText(now.FormatUtc(kReportTimePattern));
    AgentLog::WriteFlush("Current time = %S\n", digits.c_str());
    report.AppendString(digits.c_str());
}

std::int32_t OrvaneAgent::CountAvailabilityEvents(HANDLE eventLog) {
    std::int32_t found = 0;
    DWORD first = 1;
    GetOldestEventLogRecord(eventLog, &first);
    DWORD count = 0;
    if (!GetNumberOfEventLogRecords(eventLog, &count)) {
        AgentLog::WriteFlush("GetNumberOfEventLogRecords failed");
        return 0;
    }
    ReadEachRecord(eventLog, first, count, [&found](const BYTE* record, std::size_t size) {
        const EventLogRecord view(record, size);
        if (view.IsValid() && Qualifies(view.EventCode())) ++found;
    });
    return found;
}

void OrvaneAgent::ProcessEventRecord(const BYTE* record, std::size_t size) {
    const EventLogRecord view(record, size);
    if (!view.IsValid()) return;
    const std::uint16_t code = view.EventCode();
    if (!Qualifies(code)) return;

    const std::u16string computer = FitReportText(view.ComputerName());
    const std::u16string time =
        FitReportText(code == 6008 ? RecoverShutdownTime(record, size) : RecordTimeText(view.TimeGenerated()));
    ReportBuffer& report = TheReportBuffer();
    report.AppendInt32(code);
    report.AppendString(computer.c_str());
    report.AppendString(time.c_str());
}
