// Time-zone and clock diagnostics of the agent's log.
#include <cstdio>
#include <cstring>

#include "OrvaneAgent/AgentLog.h"
#include "OrvaneAgent/OrvaneAgent.h"

namespace {

// The zone record's names hold up to 32 units and need not be terminated.
struct ZoneName {
    explicit ZoneName(const WCHAR (&name)[32]) {
        std::memcpy(text, name, sizeof name);
        text[32] = 0;
    }
    char16_t text[33];
};

}  // namespace

void OrvaneAgent::FormatSystemTime(SYSTEMTIME time, char* buffer) {
    std::snprintf(buffer, kDateTextSize, "%02d/%02d/%02d %02d:%02d:%02d", time.wYear, time.wMonth,
                  time.wDay, time.wHour, time.wMinute, time.wSecond);
}

void OrvaneAgent::LogTimeZoneInformation() {
    TIME_ZONE_INFORMATION zone{};
    const DWORD result = GetTimeZoneInformation(&zone);
    const ZoneName standardName(zone.StandardName);
    const ZoneName daylightName(zone.DaylightName);
    AgentLog::WriteFlush("GetTimeZoneInformation: \n ");
    switch (result) {
        case TIME_ZONE_ID_UNKNOWN:
        case TIME_ZONE_ID_STANDARD:
            AgentLog::Write(result == TIME_ZONE_ID_UNKNOWN ? "TIME_ZONE_ID_UNKNOWN\n"
                                                           : "TIME_ZONE_ID_STANDARD \n");
            FormatSystemTime(zone.StandardDate, dateText_);
            AgentLog::WriteFlush("Bias %d Standard Name: %S StandardDate: %s StandardBias: %d\n", zone.Bias,
                                 standardName.text, dateText_, zone.StandardBias);
            FormatSystemTime(zone.DaylightDate, dateText_);
            AgentLog::WriteFlush("DaylightName: %S DaylightDate: %s DaylightBias: %d\n", daylightName.text,
                                 dateText_, zone.DaylightBias);
            break;
        case TIME_ZONE_ID_DAYLIGHT:
            AgentLog::Write("TIME_ZONE_ID_DAYLIGHT \n");
            FormatSystemTime(zone.DaylightDate, dateText_);
            AgentLog::WriteFlush("Bias %d DaylightName: %S DaylightDate: %s DaylightBias: %d\n", zone.Bias,
                                 daylightName.text, dateText_, zone.DaylightBias);
            FormatSystemTime(zone.StandardDate, dateText_);
            AgentLog::WriteFlush("Standard Name: %S StandardDate: %s StandardBias: %d\n", standardName.text,
                                 dateText_, zone.StandardBias);
            break;
        default:
            AgentLog::WriteFlush("returned undoced status: %d", static_cast<int>(result));
            break;
    }
    DWORD low = 0;
    DWORD high = 0;
    ReadKernelTimeZoneBias(&low, &high);
    AgentLog::WriteFlush(" User_Shared_Data bias: %08x %08x \n\n", high, low);
}

void OrvaneAgent::LogClocks() {
    SYSTEMTIME clock{};
    GetLocalTime(&clock);
    FormatSystemTime(clock, dateText_);
    AgentLog::WriteFlush("GetLocalTime: %s\n", dateText_);
    GetSystemTime(&clock);
    FormatSystemTime(clock, dateText_);
    AgentLog::WriteFlush("GetSystemTime: %s\n", dateText_);
    AgentLog::WriteFlush("\n");
}
