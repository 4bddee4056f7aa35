#include "Outbox.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "EndpointPaths.h"
#include "FrameReader.h"
#include "SignalFreeThread.h"
#include "framework/MessageFormat.h"

namespace divize {
namespace {

// While stopping, the writer polls in rounds of this length and gives up
// after this many rounds in a row without progress.
constexpr int kStopRoundMs = 100;
constexpr int kStopIdleRounds = 10;
constexpr std::size_t kPrefixLength = 4;

}  // namespace

Outbox::Connection::~Connection() {
    for (Frame& frame : frames) std::free(frame.message);
}

Outbox::~Outbox() { Stop(); }

bool Outbox::Start() { return worker_.Start(mutex_, [this] { Run(); }); }

void Outbox::Stop() {
    std::lock_guard serial(worker_.lifecycle);
    if (!worker_.StopAndJoin(mutex_)) return;
    std::lock_guard lock(mutex_);
    connections_.clear();
    worker_.MarkStoppedLocked();
}

bool Outbox::Enqueue(void* message) {
    if (message == nullptr) return false;
    const std::uint32_t total = wire::GetU32(message, wire::kTotalLength);
    // A receiver drops a connection that announces more than the frame cap,
    // so such a message could never arrive: refuse it here instead.
    if (total > FrameReader::kMaxFrameLength || !wire::IsWellFormed(message, total)) return false;
    const char* target = static_cast<const char*>(message) + wire::GetU16(message, wire::kTargetOffset);
    const std::optional<EndpointPaths> paths = MakeEndpointPaths(target);
    if (!paths || !Start()) return false;
    const std::string& path = paths->socketPath;

    std::unique_lock lock(mutex_);
    ConnectionPtr connection;
    bool connected = false;  // a connection the writer does not poll yet
    if (auto it = connections_.find(path); it != connections_.end()) {
        if (it->second->dead || PeerHasClosed(it->second->fd.Get())) {
            DropLocked(path, it->second);
        } else {
            connection = it->second;
        }
    }
    if (!connection) {
        lock.unlock();
        UniqueFd fd = ConnectTo(path);
        if (!fd.Valid()) return false;
        lock.lock();
        if (!worker_.running || worker_.stopping) return false;
        ConnectionPtr& slot = connections_[path];
        if (!slot) {
            slot = std::make_shared<Connection>(std::move(fd));
            connected = true;
        }
        connection = slot;  // another thread may have connected meanwhile; ours closes
    }
    const bool wasIdle = connection->frames.empty();
    connection->frames.push_back(Frame{static_cast<std::uint8_t*>(message), total, 0});
    if (!wasIdle) return true;   // the writer is on it; order is kept
    // An idle connection is written at once on this thread (non-blocking,
    // as the writer would): handing every message to the writer thread
    // costs a thread wake-up on each hop of a request and its reply. What
    // the socket does not take now is left to the writer.
    // A new connection is handed to the writer even when all was written:
    // only its poll sees the receiver go away and closes the socket, which
    // otherwise stays open as long as the process (one per client that ever
    // was answered).
    if (!WriteSome(*connection)) {
        DropLocked(path, connection);   // as the writer does with a failed connection
    } else if (!connection->frames.empty() || connected) {
        SignalWakeFd(worker_.wake.Get());
    }
    return true;
}

void Outbox::DropLocked(const std::string& path, const ConnectionPtr& connection) {
    connection->dead = true;
    for (Frame& frame : connection->frames) std::free(frame.message);
    connection->frames.clear();
    if (auto it = connections_.find(path); it != connections_.end() && it->second == connection) {
        connections_.erase(it);
    }
}

bool Outbox::HasPendingLocked() const {
    for (const auto& entry : connections_) {
        if (!entry.second->frames.empty()) return true;
    }
    return false;
}

bool Outbox::WriteSome(Connection& connection) {
    while (!connection.frames.empty()) {
        Frame& frame = connection.frames.front();
        std::uint8_t prefix[kPrefixLength];
        wire::PutU32(prefix, 0, frame.length);
        iovec parts[2];
        int count = 0;
        if (frame.sent < kPrefixLength) {
            parts[count++] = iovec{prefix + frame.sent, kPrefixLength - frame.sent};
            parts[count++] = iovec{frame.message, frame.length};
        } else {
            const std::uint64_t done = frame.sent - kPrefixLength;
            parts[count++] = iovec{frame.message + done, frame.length - done};
        }
        msghdr header{};
        header.msg_iov = parts;
        header.msg_iovlen = static_cast<std::size_t>(count);
        const ssize_t n = sendmsg(connection.fd.Get(), &header, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        frame.sent += static_cast<std::uint64_t>(n);
        if (frame.sent == kPrefixLength + frame.length) {
            std::free(frame.message);
            connection.frames.pop_front();
        }
    }
    return true;
}

void Outbox::Run() {
    std::vector<pollfd> fds;
    std::vector<std::pair<std::string, ConnectionPtr>> polled;
    int idleRounds = 0;
    for (;;) {
        bool stopping;
        {
            std::lock_guard lock(mutex_);
            stopping = worker_.stopping;
            if (stopping && (!HasPendingLocked() || idleRounds >= kStopIdleRounds)) break;
            fds.clear();
            polled.clear();
            fds.push_back(pollfd{worker_.wake.Get(), POLLIN, 0});
            for (const auto& [path, connection] : connections_) {
                const short events = static_cast<short>(POLLIN | (connection->frames.empty() ? 0 : POLLOUT));
                fds.push_back(pollfd{connection->fd.Get(), events, 0});
                polled.emplace_back(path, connection);
            }
        }
        const int ready = poll(fds.data(), fds.size(), stopping ? kStopRoundMs : -1);
        if (ready <= 0) {
            ++idleRounds;
            continue;
        }
        idleRounds = 0;
        if (fds[0].revents != 0) DrainWakeFd(fds[0].fd);
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < polled.size(); ++i) {
            const auto& [path, connection] = polled[i];
            const short revents = fds[i + 1].revents;
            if (connection->dead || revents == 0) continue;
            if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                DropLocked(path, connection);
                continue;
            }
            if ((revents & POLLIN) != 0) {
                // Receivers never write; end of stream means the node is gone.
                char scratch[512];
                const ssize_t n = recv(connection->fd.Get(), scratch, sizeof(scratch), MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    DropLocked(path, connection);
                    continue;
                }
            }
            if ((revents & POLLOUT) != 0 && !WriteSome(*connection)) DropLocked(path, connection);
        }
    }
    polled.clear();
}

}  // namespace divize
