#include "core/WaitableObject.h"

DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs) {
    auto object = win32_internal::FindHandleAs<win32_internal::WaitableObject>(handle);
    if (!object) return WAIT_FAILED;
    return object->Wait(timeoutMs);
}
