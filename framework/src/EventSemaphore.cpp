#include "framework/EventSemaphore.h"

EventSemaphore::EventSemaphore(int initialState)
    : handle(CreateEventA(nullptr, TRUE, initialState != 0 ? TRUE : FALSE, nullptr)) {}

EventSemaphore::~EventSemaphore() {
    if (handle != nullptr) CloseHandle(handle);
}

int EventSemaphore::Set() {
    if (handle == nullptr) return 0;
    return SetEvent(handle);
}

int EventSemaphore::Reset() {
    if (handle == nullptr) return 0;
    return ResetEvent(handle) != 0 ? 1 : 0;
}

int EventSemaphore::Wait() {
    return Wait(INFINITE);
}

int EventSemaphore::Wait(DWORD timeoutMs) {
    if (handle == nullptr) return 0;
    return WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0 ? 1 : 0;
}
