// FuzzRecord.cpp - fuzz target fuzz_record: arbitrary bytes as one
// event-log record handed to the scan's record processing.
//
// OrvaneAgent::ProcessEventRecord gets the input as a record of exactly its
// size, twice: in a zone with daylight-saving rules on an ordinary system,
// and in a zone without them on a Japanese Windows NT 4.0 (the two ways
// RecoverShutdownTime can go). Afterwards the report buffer must hold
// nothing (the record does not qualify) or exactly one entry.
#include <cstdint>

#include "AgentHarness.h"

namespace {

void ProcessAndCheck(OrvaneAgent& agent, const std::uint8_t* data, std::size_t size) {
    ReportBuffer& report = TheReportBuffer();
    report.Reset();
    agent.ProcessEventRecord(data, size);
    const std::uint32_t length = report.GetLength();
    if (length == 0) return;
    std::uint32_t at = 0;
    fuzz::TakeEntry(report.GetData(), length, at);
    fuzz::Check(at == length, "more than one entry for one record");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::AgentHarness harness("FuzzRecordAgent");
    harness.UseDaylightZone();
    ProcessAndCheck(harness.Agent(), data, size);
    harness.UseJapaneseNt4();
    ProcessAndCheck(harness.Agent(), data, size);
    return 0;
}
