// KernelObject.h - handles of the platform layer (internal to platform/).
//
// Every HANDLE the layer gives out (mutexes, events, event-log handles)
// names a KernelObject kept in one process-wide table. A handle is looked up
// before every use, so a closed or made-up handle fails cleanly with
// ERROR_INVALID_HANDLE instead of touching freed memory. Lookups hand out
// shared ownership: an object closed on one thread stays alive until a call
// that is still using it on another thread returns.
//
// Thread-safety: all functions may be called from any thread.
#pragma once

#include <memory>

#include "win32/win32.h"

namespace win32_internal {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// Adds the object to the table and returns its new handle (never null).
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The live object behind a handle; null with ERROR_INVALID_HANDLE when the
// handle is unknown or closed.
std::shared_ptr<KernelObject> FindHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> FindHandleAs(HANDLE handle) {
    auto object = std::dynamic_pointer_cast<T>(FindHandle(handle));
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

// Removes the handle from the table; false (ERROR_INVALID_HANDLE) when it
// was not there.
bool RemoveHandle(HANDLE handle);

// The one place where errno values become Windows error codes.
DWORD ErrorFromErrno(int error);

// SetLastError(ErrorFromErrno(errno)); for the implementation files.
void SetLastErrorFromErrno();

}  // namespace win32_internal
