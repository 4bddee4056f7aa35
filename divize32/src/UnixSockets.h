// UnixSockets.h - the few Unix-domain stream socket operations the library
// needs, with close-on-exec everywhere. Stateless; safe from any thread.
#pragma once

#include <string>

namespace divize {

// Owns one file descriptor; closes it on destruction. Not thread-safe.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// A non-blocking listening socket bound to path (which must not exist), or
// an invalid fd.
UniqueFd ListenAt(const std::string& path);

// A non-blocking socket connected to path, or an invalid fd when nothing
// listens there (no file, a stale socket, or a backlog that stayed full for
// about a second).
UniqueFd ConnectTo(const std::string& path);

// True when the peer of a connected socket has closed or reset it. Does not
// block and consumes nothing.
bool PeerHasClosed(int fd);

// A non-blocking, close-on-exec eventfd used to wake a poll loop.
UniqueFd MakeWakeFd();
void SignalWakeFd(int fd);
void DrainWakeFd(int fd);

}  // namespace divize
