// FuzzScan.cpp - fuzz target fuzz_scan: arbitrary bytes as the System.evt
// file that the whole availability scan reads.
//
// The input is written to System.evt in a private directory named by
// EVENTLOG_DIR and OrvaneAgent::BuildAvailabilityReport runs over it. A log
// that does not open leaves the report buffer as it was; otherwise the
// report must be the count, exactly that many entries (the file does not
// change during the scan) and the current time of the pinned clock.
#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "AgentHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::AgentHarness harness("FuzzScanAgent");
    static const std::string logs = [] {
        const std::string dir = harness.ScratchPath() + "/logs";
        fuzz::Check(::mkdir(dir.c_str(), 0700) == 0, "cannot make the log directory");
        ::setenv("EVENTLOG_DIR", dir.c_str(), 1);
        return dir;
    }();
    harness.UseDaylightZone();
    fuzz::WriteWhole(logs + "/System.evt", data, size);

    // A marker that a scan which cannot open or count the log leaves alone.
    ReportBuffer& report = TheReportBuffer();
    report.Reset();
    report.AppendInt32(-1);
    harness.Agent().BuildAvailabilityReport();
    const std::uint32_t length = report.GetLength();
    const std::uint8_t* bytes = report.GetData();
    fuzz::Check(length >= 4, "the report lost its count");
    const std::int32_t count = fuzz::LoadI32(bytes);
    if (length == 4 && count == -1) return 0;   // not a log: untouched

    fuzz::Check(count >= 0, "a negative count");
    std::uint32_t at = 4;
    for (std::int32_t i = 0; i < count; ++i) fuzz::TakeEntry(bytes, length, at);
    fuzz::Check(fuzz::TakePackedText(bytes, length, at) == u"20050701110000", "the current time is wrong");
    fuzz::Check(at == length, "entries beyond the count");
    return 0;
}
