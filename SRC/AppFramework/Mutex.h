// Mutex.h - the application framework's mutex and its scoped lock.
//
// Mutex owns an unnamed platform mutex (recursive, owned per thread).
// SingleLock locks one Mutex with an optional time limit and releases it, if
// still held, when it goes out of scope.
//
// Thread-safety: a Mutex may be shared between threads; a SingleLock belongs
// to the thread that created it.
#pragma once

#include "win32/win32.h"

class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    HANDLE Handle() const { return handle_; }

private:
    HANDLE handle_;
};

class SingleLock {
public:
    explicit SingleLock(Mutex* mutex, bool lockNow = false);
    ~SingleLock();
    SingleLock(const SingleLock&) = delete;
    SingleLock& operator=(const SingleLock&) = delete;

    // Waits at most timeoutMs (INFINITE: no limit); true when acquired.
    bool Lock(DWORD timeoutMs = INFINITE);
    bool Unlock();
    bool IsLocked() const { return locked_; }

private:
    Mutex* mutex_;
    bool locked_ = false;
};
