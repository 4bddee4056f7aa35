// MutexSemaphore.h - owner of one unnamed Windows mutex.
//
// The mutex is recursive: the owning thread may lock it again and unlocks
// once per lock. When the mutex could not be created every operation does
// nothing and returns 0.
//
// Thread-safety: all operations may be called from any thread.
#pragma once

#include "win32/win32.h"

class MutexSemaphore {
public:
    explicit MutexSemaphore(int initialOwner = 0);
    virtual ~MutexSemaphore();

    MutexSemaphore(const MutexSemaphore&) = delete;
    MutexSemaphore& operator=(const MutexSemaphore&) = delete;

    // 1 when acquired normally; 0 otherwise, also when acquired from an owner
    // that ended without unlocking (the caller then owns it all the same).
    int Lock();
    int Lock(DWORD timeoutMs);
    int Unlock();
    int IsValid() const { return handle != nullptr ? 1 : 0; }

private:
    HANDLE handle;
};
