#include "framework/MutexSemaphore.h"

MutexSemaphore::MutexSemaphore(int initialOwner)
    : handle(CreateMutexA(nullptr, initialOwner != 0 ? TRUE : FALSE, nullptr)) {}

MutexSemaphore::~MutexSemaphore() {
    if (handle != nullptr) CloseHandle(handle);
}

int MutexSemaphore::Lock() {
    return Lock(INFINITE);
}

int MutexSemaphore::Lock(DWORD timeoutMs) {
    if (handle == nullptr) return 0;
    return WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0 ? 1 : 0;
}

int MutexSemaphore::Unlock() {
    if (handle == nullptr) return 0;
    return ReleaseMutex(handle);
}
