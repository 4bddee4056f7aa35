#include "AppFramework/Mutex.h"

Mutex::Mutex() : handle_(CreateMutexA(nullptr, FALSE, nullptr)) {}

Mutex::~Mutex() {
    if (handle_ != nullptr) CloseHandle(handle_);
}

SingleLock::SingleLock(Mutex* mutex, bool lockNow) : mutex_(mutex) {
    if (lockNow) Lock();
}

SingleLock::~SingleLock() { Unlock(); }

bool SingleLock::Lock(DWORD timeoutMs) {
    if (mutex_ == nullptr || mutex_->Handle() == nullptr) return false;
    const DWORD result = WaitForSingleObject(mutex_->Handle(), timeoutMs);
    locked_ = locked_ || result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

bool SingleLock::Unlock() {
    if (!locked_) return true;
    locked_ = false;
    return ReleaseMutex(mutex_->Handle()) != 0;
}
