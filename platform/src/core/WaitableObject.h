// WaitableObject.h - kernel objects that WaitForSingleObject can wait on.
#pragma once

#include "internal/KernelObject.h"

namespace win32_internal {

class WaitableObject : public KernelObject {
public:
    // Blocks the calling thread as WaitForSingleObject describes and returns
    // its result (never WAIT_FAILED: the handle was already found).
    virtual DWORD Wait(DWORD timeoutMs) = 0;
};

}  // namespace win32_internal
