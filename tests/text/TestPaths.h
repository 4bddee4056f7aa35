// TestPaths.h - where the test program and its sample libraries live.
#pragma once

#include <string>

#include "win32/win32.h"

// The directory of the running test program (<build>/bin), without '/'.
inline std::string ProgramDirectory() {
    char path[4096];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string full(path, length);
    return full.substr(0, full.find_last_of('/'));
}
