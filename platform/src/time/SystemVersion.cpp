// GetVersionExW: this layer presents itself as a modern member of the NT
// family (platform 2, version 10.0); the Linux kernel release goes into
// szCSDVersion for the reader of a diagnostic log.
#include <sys/utsname.h>

#include <iterator>
#include <mutex>
#include <optional>

#include "win32/win32.h"
#include "win32/win32_testing.h"

namespace {

constexpr DWORD kVersionRecordSize = sizeof(OSVERSIONINFOW);
static_assert(kVersionRecordSize == 276);

std::mutex g_overrideLock;
std::optional<OSVERSIONINFOW> g_override;  // guarded by g_overrideLock

OSVERSIONINFOW RealVersion() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = kVersionRecordSize;
    version.dwMajorVersion = 10;
    version.dwMinorVersion = 0;
    version.dwBuildNumber = 0;
    version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    utsname names{};
    if (uname(&names) == 0) {
        constexpr char kPrefix[] = "Linux ";
        std::size_t out = 0;
        const auto append = [&](const char* text) {
            for (; *text != '\0' && out + 1 < std::size(version.szCSDVersion); ++text) {
                const auto byte = static_cast<unsigned char>(*text);
                version.szCSDVersion[out++] = byte < 0x80 ? static_cast<WCHAR>(byte) : u'?';
            }
        };
        append(kPrefix);
        append(names.release);
    }
    return version;
}

}  // namespace

BOOL GetVersionExW(OSVERSIONINFOW* info) {
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (info->dwOSVersionInfoSize != kVersionRecordSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    OSVERSIONINFOW version;
    {
        std::lock_guard<std::mutex> lock(g_overrideLock);
        version = g_override ? *g_override : RealVersion();
    }
    version.dwOSVersionInfoSize = kVersionRecordSize;
    *info = version;
    return TRUE;
}

namespace win32_testing {

void SetVersionOverride(const OSVERSIONINFOW* version) {
    std::lock_guard<std::mutex> lock(g_overrideLock);
    if (version == nullptr) {
        g_override.reset();
    } else {
        g_override = *version;
    }
}

}  // namespace win32_testing
