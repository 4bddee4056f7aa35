#include "EndpointPaths.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace divize {
namespace {

// Longest encoded stem: a file name (255 bytes) less the ".sock" suffix.
constexpr std::size_t kMaxStem = 250;

bool IsPlainByte(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

bool DirectoryIsPrivate(const std::string& dir) {
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) return false;
    if (st.st_uid != geteuid()) return false;
    return (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::optional<std::string> ResolveEndpointDirectory() {
    std::string dir;
    if (const char* explicitDir = std::getenv("DIVIZE_DIR"); explicitDir != nullptr && *explicitDir) {
        dir = explicitDir;
    } else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
        dir = std::string(runtime) + "/divize";
    } else {
        dir = "/tmp/divize-" + std::to_string(static_cast<unsigned long>(geteuid()));
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    if (!DirectoryIsPrivate(dir)) return std::nullopt;
    return dir;
}

std::optional<std::string> EncodeNodeName(const char* name) {
    if (name == nullptr || *name == '\0') return std::nullopt;
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string stem;
    unsigned char previous = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        const bool escape = !IsPlainByte(c) || (c == '.' && (stem.empty() || previous == '.'));
        if (escape) {
            stem += '%';
            stem += kHex[c >> 4];
            stem += kHex[c & 0x0F];
        } else {
            stem += static_cast<char>(c);
        }
        previous = c;
        if (stem.size() > kMaxStem) return std::nullopt;
    }
    return stem;
}

std::optional<EndpointPaths> MakeEndpointPaths(const char* name) {
    const std::optional<std::string> stem = EncodeNodeName(name);
    if (!stem) return std::nullopt;
    const std::optional<std::string> dir = ResolveEndpointDirectory();
    if (!dir) return std::nullopt;
    EndpointPaths paths;
    paths.socketPath = *dir + "/" + *stem + ".sock";
    paths.lockPath = *dir + "/" + *stem + ".lock";
    if (paths.socketPath.size() >= sizeof(sockaddr_un{}.sun_path)) return std::nullopt;
    return paths;
}

}  // namespace divize
