// Fatal.h - the loud end for impossibilities below the platform layer.
//
// A pthread or system call that cannot fail in a correct program (locking,
// signal masks, creating the layer's own descriptors) but does is a bug:
// carrying on would hide it, so the process stops with a message.
#pragma once

namespace win32_internal {

// Writes "platform: <what> failed: <strerror(error)>" to stderr and aborts.
[[noreturn]] void Fatal(const char* what, int error);

// For calls that return an error number (pthread style): aborts unless 0.
inline void CheckErrorNumber(int result, const char* what) {
    if (result != 0) Fatal(what, result);
}

}  // namespace win32_internal
