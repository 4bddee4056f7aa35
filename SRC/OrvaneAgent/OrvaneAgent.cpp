#include "OrvaneAgent/OrvaneAgent.h"

#include <cstdio>

#include "AppFramework/Mutex.h"
#include "Core/ReportBuffer.h"
#include "OrvaneAgent/AgentLog.h"
#include "framework/Command.h"
#include "win32/win32.h"

namespace {

constexpr const char* kLogPath = "..\\log\\OrvaneAgent.log";

}  // namespace

ReportBuffer& TheReportBuffer() {
    static ReportBuffer buffer;
    return buffer;
}

Mutex& TheStartupMutex() {
    static Mutex mutex;
    return mutex;
}

// Static initialisation builds the start-up mutex and then the report
// buffer, as the process's other process-wide objects are built.
[[maybe_unused]] static const bool g_processStateBuilt = (TheStartupMutex(), TheReportBuffer(), true);

// The node is registered by the base constructor, before this object is
// complete; it holds requests back (ready 0) until the end of this
// constructor, so that none is handled by a half-built agent (the base's
// HandleCommand would answer a code-13 request with an empty reply). The
// requests held back meanwhile are answered right after Init.
OrvaneAgent::OrvaneAgent(const char* nodeName) : ServiceNode(nodeName, 0, 0) {
    AgentLog::Open(kLogPath, "w+c");
    AgentLog::WriteFlush("Starting, file is open!");
    AgentLog::WriteFlush("Before WSAStartup!");

    WSADATA data{};
    if (WSAStartup(0x101, &data) != 0) {
        AgentLog::WriteFlush("in if WSAStartup");
        WSACleanup();
        AgentLog::WriteFlush("in if WSAStartup, after WSACleanup");
    } else {
        AgentLog::WriteFlush("in else WSAStartup");
        hostName_[0] = 0;
        char narrow[256] = {};
        if (GetHostNameA(narrow, static_cast<int>(sizeof narrow)) == 0) {
            if (MultiByteToWideChar(CP_ACP, 0, narrow, -1, hostName_,
                                    static_cast<int>(kHostNameUnits)) == 0) {
                hostName_[0] = 0;
            }
        }
        AgentLog::WriteFlush("hostName=%S\n", hostName_);
        WSACleanup();
        AgentLog::WriteFlush("in else WSAStartup, after WSACleanup");
    }
    Init();
    SetReady(1);
}

// No request may reach the node while it is being torn down: the library
// node goes first, then the log.
OrvaneAgent::~OrvaneAgent() {
    Disconnect();
    AgentLog::Close();
}

int OrvaneAgent::Init() {
    AgentLog::WriteFlush("in Init");
    SingleLock sLock(&TheStartupMutex());
    AgentLog::WriteFlush("in Init, after sLock create");
    sLock.Lock(30000);
    AgentLog::WriteFlush("in Init, after sLock.lock");
    if (sLock.IsLocked()) {
        AgentLog::WriteFlush("in Init, in if IsLocked");
        sLock.Unlock();
        AgentLog::WriteFlush("in Init, after unlock");
    }
    AgentLog::WriteFlush("in Init, return");
    return 1;
}

int OrvaneAgent::HandleCommand(Command& command) {
    std::tm utc{};
    BreakDownUtc(CurrentUnixTime(), &utc);
    char received[64];
    std::snprintf(received, sizeof received, "%02d:%02d:%02d %02d/%02d/%04d", utc.tm_hour, utc.tm_min,
                  utc.tm_sec, utc.tm_mon + 1, utc.tm_mday, utc.tm_year + 1900);
    AgentLog::WriteFlush("=> [%s]Command reveived from: %s,", received, command.GetRemoteName());
    AgentLog::WriteFlush(" CommandCode=%d\n", command.GetCode());

    if (command.GetCode() == Orvane_COMMAND_ID) {
        AgentLog::WriteFlush(" Number of input commands=%d\n", command.GetParameterCount());
        BuildAvailabilityReport();
        ReportBuffer& report = TheReportBuffer();
        command.AddReply(report.GetData(), report.GetLength());
        AgentLog::WriteFlush("Processed command code Orvane_COMMAND_ID\n");
    } else {
        AgentLog::WriteFlush("Processed unknown command code!\n");
        command.SetResult(kUnknownCommandResult);
    }
    AgentLog::Flush();
    return 1;
}
