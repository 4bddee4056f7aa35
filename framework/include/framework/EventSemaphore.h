// EventSemaphore.h - owner of one unnamed manual-reset Windows event.
//
// When the event could not be created every operation does nothing and
// returns 0.
//
// Thread-safety: all operations may be called from any thread.
#pragma once

#include "win32/win32.h"

class EventSemaphore {
public:
    explicit EventSemaphore(int initialState = 0);
    virtual ~EventSemaphore();

    EventSemaphore(const EventSemaphore&) = delete;
    EventSemaphore& operator=(const EventSemaphore&) = delete;

    int Set();
    int Reset();
    // 1 when the event was signalled, 0 on timeout or failure.
    int Wait();
    int Wait(DWORD timeoutMs);
    int IsValid() const { return handle != nullptr ? 1 : 0; }

private:
    HANDLE handle;
};
