#include "AppFramework/Application.h"

#include "win32/win32.h"

namespace {
Application* g_application = nullptr;
}

Application::Application() { g_application = this; }

Application::~Application() {
    if (g_application == this) g_application = nullptr;
}

bool Application::InitInstance() { return false; }

Application* Application::Current() { return g_application; }

int RunApplication() {
    Application* app = Application::Current();
    if (app == nullptr) return 2;
    PostQuitOnTerminationSignals(GetCurrentThreadId());
    if (!app->InitInstance()) return app->ExitCode();
    // A hook that returns true keeps the main thread serving its messages
    // until the quit message, as the framework's own loop would.
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return app->ExitCode();
}
