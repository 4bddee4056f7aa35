// Application.h - the application framework's process entry and its one
// application object.
//
// A program defines exactly one object of a class derived from Application
// (at namespace scope, so static initialisation constructs it) and calls
// RunApplication from main(). RunApplication arranges for the quit message
// to reach the main thread when the process is asked to stop (SIGTERM or
// SIGINT), then calls the init hook. A hook that returns false ends the
// process at once, without any message loop of the framework's own; the
// process's exit status is then ExitCode().
//
// Thread-safety: RunApplication runs once, on the main thread.
#pragma once

class Application {
public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The init hook. Returning true would hand the main thread to the
    // framework's own message loop (RunMessageLoop); returning false ends
    // the process.
    virtual bool InitInstance();

    // Exit status of the process after the init hook returned false.
    int ExitCode() const { return exitCode_; }
    void SetExitCode(int code) { exitCode_ = code; }

    // The one application object, or null before it is constructed.
    static Application* Current();

private:
    int exitCode_ = 0;
};

// The process entry: runs the application object's init hook and returns
// the process's exit status. Returns 2 when there is no application object.
int RunApplication();
