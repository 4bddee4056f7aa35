// OpenFile, as far as the existence test (OF_EXIST) goes.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "internal/KernelObject.h"

namespace {

bool EndsWithDll(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".dll";
}

// The shared object that LoadLibraryA would load for a "*.dll" path.
std::string SharedObjectFor(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::string file = path.substr(start, path.size() - start - 4);
    for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return path.substr(0, start) + "lib" + file + ".so";
}

// Opens and closes the file; 0 or an errno value.
int OpenAndClose(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    close(fd);
    return 0;
}

}  // namespace

HFILE OpenFile(const char* fileName, OFSTRUCT* info, UINT style) {
    if (info != nullptr) {
        std::memset(info, 0, sizeof *info);
        info->cBytes = static_cast<BYTE>(sizeof *info);
    }
    DWORD error = ERROR_SUCCESS;
    std::string path;
    if (fileName == nullptr || info == nullptr) {
        error = ERROR_INVALID_PARAMETER;
    } else if ((style & OF_EXIST) == 0) {
        error = ERROR_NOT_SUPPORTED;
    } else {
        path = fileName;
        std::replace(path.begin(), path.end(), '\\', '/');
        int result = OpenAndClose(path);
        // A library file is tested under the name LoadLibraryA will open.
        if (result == ENOENT && EndsWithDll(path)) {
            const std::string sharedObject = SharedObjectFor(path);
            if (OpenAndClose(sharedObject) == 0) {
                path = sharedObject;
                result = 0;
            }
        }
        if (result != 0) error = win32_internal::ErrorFromErrno(result);
    }
    if (info != nullptr && !path.empty()) {
        char resolved[PATH_MAX];
        const std::string full = realpath(path.c_str(), resolved) != nullptr ? resolved : path;
        const std::size_t length = std::min(full.size(), sizeof info->szPathName - 1);
        std::memcpy(info->szPathName, full.data(), length);
        info->szPathName[length] = '\0';
    }
    if (error != ERROR_SUCCESS) {
        if (info != nullptr) info->nErrCode = static_cast<WORD>(error);
        SetLastError(error);
        return HFILE_ERROR;
    }
    return 1;   // the file was opened and closed again; any non-error value will do
}
