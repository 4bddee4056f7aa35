// The per-thread last error and the one translation of errno values.
#include <cerrno>

#include "internal/KernelObject.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

namespace win32_internal {

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    case ERANGE: return ERROR_INSUFFICIENT_BUFFER;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EISDIR: return ERROR_ACCESS_DENIED;   // what Windows reports for opening a directory
    default: return ERROR_GEN_FAILURE;   // never ERROR_SUCCESS for a real failure
    }
}

void SetLastErrorFromErrno() { SetLastError(ErrorFromErrno(errno)); }

}  // namespace win32_internal
