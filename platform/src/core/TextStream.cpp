// The runtime library's text streams, with the Windows runtime's 'c'
// (commit) mode flag.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "internal/KernelObject.h"

struct TextStream {
    std::FILE* file;
    bool commitOnFlush;
};

TextStream* OpenTextStream(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string posixPath(path);
    std::replace(posixPath.begin(), posixPath.end(), '\\', '/');

    // 'c' and 'n' (commit, no commit) and 't' (text) are the Windows
    // runtime's; glibc gives 'c' another meaning, so none of them reaches
    // fopen. 'e' keeps the descriptor from leaking into child processes.
    std::string posixMode;
    bool commit = false;
    for (const char* m = mode; *m != '\0'; ++m) {
        switch (*m) {
        case 'c': commit = true; break;
        case 'n': commit = false; break;
        case 't': break;
        default: posixMode += *m; break;
        }
    }
    posixMode += 'e';

    std::FILE* file = std::fopen(posixPath.c_str(), posixMode.c_str());
    if (file == nullptr) {
        win32_internal::SetLastErrorFromErrno();
        return nullptr;
    }
    return new TextStream{file, commit};
}

std::size_t WriteTextStream(TextStream* stream, const char* bytes, std::size_t count) {
    if (stream == nullptr || (bytes == nullptr && count != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t written = std::fwrite(bytes, 1, count, stream->file);
    if (written != count) win32_internal::SetLastErrorFromErrno();
    return written;
}

int FlushTextStream(TextStream* stream) {
    if (stream == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (std::fflush(stream->file) != 0 ||
        (stream->commitOnFlush && fdatasync(fileno(stream->file)) != 0)) {
        win32_internal::SetLastErrorFromErrno();
        return -1;
    }
    return 0;
}

void CloseTextStream(TextStream* stream) {
    if (stream == nullptr) return;
    if (stream->commitOnFlush) FlushTextStream(stream);
    std::fclose(stream->file);
    delete stream;
}
