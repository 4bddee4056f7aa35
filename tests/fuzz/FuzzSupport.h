// FuzzSupport.h - what the fuzz targets share: a private scratch directory
// and the check that stops a run when a target's own invariant breaks.
//
// A target's harness lives in a function-local static built on the first
// input, so the same code serves libFuzzer and the replay runner.
//
// Thread-safety: none; libFuzzer and the replay runner feed one input at a
// time.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Reports a broken invariant and aborts, so that libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

inline void Check(bool condition, const char* what) {
    if (!condition) Fail(what);
}

// Replaces the file at `path` with exactly these bytes.
inline void WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Check(fd >= 0, "cannot write the input file");
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        Check(n > 0, "cannot write the input file");
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// A mkdtemp directory of mode 0700, removed with its contents when the
// object dies.
class PrivateDirectory {
public:
    PrivateDirectory() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/orvane-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp");
        path_ = pattern;
    }
    ~PrivateDirectory() { Remove(path_); }
    PrivateDirectory(const PrivateDirectory&) = delete;
    PrivateDirectory& operator=(const PrivateDirectory&) = delete;

    const std::string& Path() const { return path_; }

private:
    static void Remove(const std::string& path) {
        if (DIR* dir = ::opendir(path.c_str())) {
            while (dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name == "." || name == "..") continue;
                const std::string child = path + "/" + name;
                struct stat st {};
                if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                    Remove(child);
                } else {
                    ::unlink(child.c_str());
                }
            }
            ::closedir(dir);
        }
        ::rmdir(path.c_str());
    }

    std::string path_;
};

}  // namespace fuzz
