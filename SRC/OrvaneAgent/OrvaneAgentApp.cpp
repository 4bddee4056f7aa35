#include "OrvaneAgent/OrvaneAgentApp.h"

#include <cstdio>
#include <new>

#include "OrvaneAgent/AgentLog.h"
#include "OrvaneAgent/OrvaneAgent.h"
#include "win32/win32.h"

namespace {

bool g_serviceProcessRegistered = false;

// A node that was created but not connected is kept here rather than
// destroyed: the process ends right away and its log keeps what was written.
OrvaneAgent* g_unconnectedNode = nullptr;

using RegisterServiceProcessFn = DWORD (*)(DWORD processId, DWORD type);

}  // namespace

// The one application object.
OrvaneAgentApp theApp;

void RegisterAsServiceProcess() {
    if (g_serviceProcessRegistered) return;
    if (HMODULE kernel = GetModuleHandleA("KERNEL32.DLL")) {
        if (FARPROC entry = GetProcAddress(kernel, "RegisterServiceProcess")) {
            reinterpret_cast<RegisterServiceProcessFn>(entry)(0, 1);
        }
    }
    g_serviceProcessRegistered = true;
}

bool OrvaneAgentApp::InitInstance() {
    RegisterAsServiceProcess();
    auto* node = new (std::nothrow) OrvaneAgent("OrvaneAgent");
    if (node == nullptr || !node->IsConnected()) {
        g_unconnectedNode = node;
        std::fputs("OrvaneAgent: Base Service Node Not Created.\n", stderr);
        SetExitCode(1);
        return false;
    }
    node->Run();
    AgentLog::WriteFlush("Finished processing commands\n");
    delete node;
    return false;
}
