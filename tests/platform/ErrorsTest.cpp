#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "internal/KernelObject.h"

TEST(ErrorsTest, ErrnoValuesTranslateToWindowsCodes) {
    struct Case {
        int error;
        DWORD expected;
    };
    const Case cases[] = {
        {ENOENT, ERROR_FILE_NOT_FOUND},       {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED},        {EPERM, ERROR_ACCESS_DENIED},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
        {ENFILE, ERROR_TOO_MANY_OPEN_FILES},  {EEXIST, ERROR_ALREADY_EXISTS},
        {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE}, {EINVAL, ERROR_INVALID_PARAMETER},
        {EBADF, ERROR_INVALID_HANDLE},        {ENOSPC, ERROR_DISK_FULL},
        {EIO, ERROR_GEN_FAILURE},             {0, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(win32_internal::ErrorFromErrno(c.error), c.expected) << "errno " << c.error;
    }
}

TEST(ErrorsTest, LastErrorIsPerThreadAndSetFromErrno) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seenByOtherThread = 1;
    std::thread other([&] {
        seenByOtherThread = GetLastError();
        errno = ENOENT;
        win32_internal::SetLastErrorFromErrno();
    });
    other.join();
    EXPECT_EQ(seenByOtherThread, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    errno = EEXIST;
    win32_internal::SetLastErrorFromErrno();
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
}
