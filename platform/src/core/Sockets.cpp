// Sockets start-up (nothing to start on Linux) and the host name.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>

#include "win32/win32.h"

namespace {

std::mutex startupMutex;
int startupCount = 0;   // guarded by startupMutex

void CopyText(char* destination, std::size_t size, const char* text) {
    const std::size_t length = std::min(std::strlen(text), size - 1);
    std::memcpy(destination, text, length);
    destination[length] = '\0';
}

}  // namespace

int WSAStartup(WORD versionRequested, WSADATA* data) {
    const unsigned major = versionRequested & 0xFFu;   // low byte: major version
    if (data == nullptr) return WSAEFAULT;
    if (major < 1 || major > 2) {
        data->wVersion = 0x0202;
        data->wHighVersion = 0x0202;
        return WSAVERNOTSUPPORTED;
    }
    data->wVersion = versionRequested;
    data->wHighVersion = 0x0202;
    CopyText(data->szDescription, sizeof data->szDescription, "POSIX sockets");
    CopyText(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
    std::lock_guard<std::mutex> lock(startupMutex);
    ++startupCount;
    return 0;
}

int WSACleanup() {
    std::lock_guard<std::mutex> lock(startupMutex);
    if (startupCount == 0) {
        SetLastError(WSANOTINITIALISED);
        return SOCKET_ERROR;
    }
    --startupCount;
    return 0;
}

int GetHostNameA(char* name, int size) {
    if (name == nullptr || size <= 0) {
        SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    const std::size_t length = std::strlen(host);
    if (length + 1 > static_cast<std::size_t>(size)) {
        SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    std::memcpy(name, host, length + 1);
    return 0;
}
