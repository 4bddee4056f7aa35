#include "UnixSockets.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace divize {
namespace {

bool FillAddress(const std::string& path, sockaddr_un* address) {
    std::memset(address, 0, sizeof(*address));
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address->sun_path)) return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

int NewStreamSocket() {
    return socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

}  // namespace

UniqueFd::~UniqueFd() { Reset(); }

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

int UniqueFd::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
}

UniqueFd ListenAt(const std::string& path) {
    sockaddr_un address;
    if (!FillAddress(path, &address)) return UniqueFd();
    UniqueFd fd(NewStreamSocket());
    if (!fd.Valid()) return UniqueFd();
    if (bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        return UniqueFd();
    }
    if (listen(fd.Get(), SOMAXCONN) != 0) {
        unlink(path.c_str());
        return UniqueFd();
    }
    return fd;
}

UniqueFd ConnectTo(const std::string& path) {
    sockaddr_un address;
    if (!FillAddress(path, &address)) return UniqueFd();
    // A Unix-domain connect either completes at once or fails with EAGAIN
    // while the listener's backlog is full; retry that for about a second
    // (relative waits only), since the receiver exists and is accepting.
    int delayMs = 1;
    for (int waitedMs = 0;;) {
        UniqueFd fd(NewStreamSocket());
        if (!fd.Valid()) return UniqueFd();
        if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
            return fd;
        }
        if (errno != EAGAIN || waitedMs >= 1000) return UniqueFd();
        poll(nullptr, 0, delayMs);
        waitedMs += delayMs;
        delayMs = delayMs < 64 ? delayMs * 2 : delayMs;
    }
}

bool PeerHasClosed(int fd) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, 0) <= 0) return false;
    if ((entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
    if ((entry.revents & POLLIN) != 0) {
        char byte;
        const ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
    }
    return false;
}

UniqueFd MakeWakeFd() { return UniqueFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)); }

void SignalWakeFd(int fd) {
    const std::uint64_t one = 1;
    // A full counter already means "wake up"; nothing else can fail here.
    [[maybe_unused]] const ssize_t n = write(fd, &one, sizeof(one));
}

void DrainWakeFd(int fd) {
    std::uint64_t count;
    [[maybe_unused]] const ssize_t n = read(fd, &count, sizeof(count));
}

}  // namespace divize
