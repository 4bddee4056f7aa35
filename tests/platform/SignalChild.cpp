// Child process of TerminationSignalsTest. Arguments:
//   wait  - arm the signals, print "ready", wait for one thread message and
//           print "quit" when it is WM_QUIT, then exit normally;
//   exit  - arm the signals and exit at once (the signal thread must not
//           keep the process alive).
#include <cstdio>
#include <cstring>
#include <future>
#include <thread>

#include "win32/win32.h"

int main(int argc, char** argv) {
    PostQuitOnTerminationSignals(GetCurrentThreadId());
    if (argc > 1 && std::strcmp(argv[1], "exit") == 0) return 0;

    // A thread started afterwards inherits the blocked signals, so a signal
    // cannot end the process through it either.
    std::promise<DWORD> workerId;
    std::thread worker([&workerId] {
        workerId.set_value(GetCurrentThreadId());
        MSG msg{};
        GetMessageA(&msg, nullptr, 0, 0);
    });
    const DWORD workerThread = workerId.get_future().get();

    std::puts("ready");
    std::fflush(stdout);
    MSG msg{};
    const BOOL result = GetMessageA(&msg, nullptr, 0, 0);
    std::puts(result == 0 && msg.message == WM_QUIT ? "quit" : "other");
    std::fflush(stdout);

    PostThreadMessageA(workerThread, WM_QUIT, 0, 0);
    worker.join();
    return 0;
}
