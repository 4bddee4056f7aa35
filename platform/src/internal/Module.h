// Module.h - what other parts of platform/ may read of an HMODULE
// (internal to platform/).
//
// Thread-safety: all functions may be called from any thread.
#pragma once

#include <string>

#include "win32/win32.h"

namespace win32_internal {

// The dlopen handle of a loaded module, for dlsym: null module means the
// running executable (dlopen(nullptr)). Null (ERROR_INVALID_HANDLE) for a
// module that is unknown or already freed, and for the KERNEL32 pseudo
// module. The handle stays valid only while the module stays loaded.
void* DlHandleOf(HMODULE module);

// The module's full path (null module: the running executable); empty
// (ERROR_INVALID_HANDLE) for an unknown or freed module.
std::string PathOf(HMODULE module);

}  // namespace win32_internal
