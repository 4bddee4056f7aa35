#include "DeliveryLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "SignalFreeThread.h"

namespace divize {
namespace {

// Accepts per listener and round, so one busy endpoint cannot starve others.
constexpr int kAcceptsPerRound = 64;

// Opens and flock's the node's lock file. The lock is held for the node's
// life; the kernel drops it when the owner dies, which is how an endpoint
// left by a crashed process is recognised. Retries when the file it locked
// was unlinked (and maybe replaced) by its previous owner meanwhile.
UniqueFd AcquireNodeLock(const std::string& path) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd.Valid()) return UniqueFd();
        if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return UniqueFd();
        struct stat held {};
        struct stat named {};
        if (fstat(fd.Get(), &held) == 0 && stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            return fd;
        }
    }
    return UniqueFd();
}

std::uint32_t MillisecondsBetween(std::chrono::steady_clock::time_point from,
                                  std::chrono::steady_clock::time_point to) {
    if (to <= from) return 0;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
    constexpr auto kMax = std::numeric_limits<std::uint32_t>::max();
    return ms > static_cast<long long>(kMax) ? kMax : static_cast<std::uint32_t>(ms);
}

}  // namespace

DeliveryLoop::~DeliveryLoop() {
    // Only a callback that ends the process gets here on the delivery
    // thread; that thread cannot join itself and ends with the process.
    if (OnDeliveryThread()) {
        worker_.thread.detach();
        return;
    }
    Stop();
}

bool DeliveryLoop::Start() { return worker_.Start(mutex_, [this] { Run(); }); }

bool DeliveryLoop::Stop() {
    if (OnDeliveryThread()) return false;
    std::lock_guard serial(worker_.lifecycle);
    if (!worker_.StopAndJoin(mutex_)) return true;
    std::lock_guard lock(mutex_);
    for (auto& inbound : inbound_) CloseInboundLocked(*inbound);
    inbound_.clear();
    for (auto& entry : nodes_) {
        entry.second->deleted = true;
        RemoveEndpointLocked(*entry.second);
    }
    nodes_.clear();
    deliveryThread_.store(std::thread::id());
    worker_.MarkStoppedLocked();
    return true;
}

std::uint32_t DeliveryLoop::CreateNode(const char* name, void* context, DivizeNodeCallback callback) {
    if (callback == nullptr) return 0;
    const std::optional<EndpointPaths> paths = MakeEndpointPaths(name);
    if (!paths || !Start()) return 0;

    std::lock_guard lock(mutex_);
    if (!worker_.running || worker_.stopping || nodes_.count(name) != 0) return 0;
    UniqueFd nodeLock = AcquireNodeLock(paths->lockPath);
    if (!nodeLock.Valid()) return 0;
    // Holding the lock makes whatever socket file is left the remains of a
    // dead owner (or of nothing): replace it.
    unlink(paths->socketPath.c_str());
    UniqueFd listener = ListenAt(paths->socketPath);
    if (!listener.Valid()) {
        unlink(paths->lockPath.c_str());
        return 0;
    }
    auto node = std::make_shared<Node>();
    node->name = name;
    node->context = context;
    node->callback = callback;
    node->handle = NextHandleLocked();
    node->paths = *paths;
    node->listen = std::move(listener);
    node->lock = std::move(nodeLock);
    node->lastTick = Clock::now();
    nodes_.emplace(node->name, node);
    SignalWakeFd(worker_.wake.Get());
    return node->handle;
}

bool DeliveryLoop::DeleteNode(const char* name) {
    if (name == nullptr) return false;
    std::unique_lock lock(mutex_);
    const auto it = nodes_.find(name);
    if (it == nodes_.end()) return false;
    const NodePtr node = it->second;
    nodes_.erase(it);
    node->deleted = true;
    RemoveEndpointLocked(*node);
    if (worker_.wake.Valid()) SignalWakeFd(worker_.wake.Get());
    // On the delivery thread the running callback is the caller itself (or
    // another node's); nothing of this node can start after the flag above.
    if (!OnDeliveryThread()) {
        callbackDone_.wait(lock, [&] { return inCallback_ != node.get(); });
    }
    return true;
}

bool DeliveryLoop::NodeExists(std::uint32_t handle) {
    if (handle == 0) return false;
    std::lock_guard lock(mutex_);
    return std::any_of(nodes_.begin(), nodes_.end(),
                       [handle](const auto& entry) { return entry.second->handle == handle; });
}

std::uint32_t DeliveryLoop::NextHandleLocked() {
    for (;;) {
        const std::uint32_t handle = nextHandle_++;
        if (handle == 0) continue;
        const bool inUse = std::any_of(nodes_.begin(), nodes_.end(),
                                       [handle](const auto& entry) { return entry.second->handle == handle; });
        if (!inUse) return handle;
    }
}

void DeliveryLoop::RemoveEndpointLocked(Node& node) {
    // Unlink while still holding the lock file, so no new owner's files are
    // removed; shutting the accepted streams down tells every sender at once
    // (their fds stay open until the delivery thread closes them).
    if (node.listen.Valid()) {
        unlink(node.paths.socketPath.c_str());
        node.listen.Reset();
    }
    for (int fd : node.accepted) shutdown(fd, SHUT_RDWR);
    if (node.lock.Valid()) {
        unlink(node.paths.lockPath.c_str());
        node.lock.Reset();
    }
}

void DeliveryLoop::CloseInboundLocked(Inbound& inbound) {
    if (!inbound.fd.Valid()) return;
    std::vector<int>& accepted = inbound.node->accepted;
    accepted.erase(std::remove(accepted.begin(), accepted.end(), inbound.fd.Get()), accepted.end());
    inbound.fd.Reset();
}

void DeliveryLoop::AcceptLocked(const NodePtr& node) {
    for (int i = 0; i < kAcceptsPerRound && node->listen.Valid(); ++i) {
        UniqueFd fd(accept4(node->listen.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.Valid()) return;  // EAGAIN, or a peer that already went away
        if (inbound_.size() >= kMaxConnections) continue;
        node->accepted.push_back(fd.Get());
        auto inbound = std::make_unique<Inbound>(budget_);
        inbound->fd = std::move(fd);
        inbound->node = node;
        inbound_.push_back(std::move(inbound));
    }
}

void DeliveryLoop::Deliver(const NodePtr& node, void* message, std::uint32_t value) {
    std::unique_lock lock(mutex_);
    if (node->deleted || worker_.stopping) {
        lock.unlock();
        std::free(message);
        return;
    }
    inCallback_ = node.get();
    const DivizeNodeCallback callback = node->callback;
    void* const context = node->context;
    lock.unlock();
    callback(context, message, value);
    lock.lock();
    inCallback_ = nullptr;
    callbackDone_.notify_all();
}

void DeliveryLoop::ReadFrom(Inbound& inbound) {
    std::vector<void*> messages;
    const FrameReader::Status status = inbound.reader.ReadAvailable(inbound.fd.Get(), messages);
    for (void* message : messages) Deliver(inbound.node, message, 0);
    if (status != FrameReader::Status::kOpen) inbound.closing = true;
}

void DeliveryLoop::Tick() {
    std::vector<NodePtr> nodes;
    {
        std::lock_guard lock(mutex_);
        nodes.reserve(nodes_.size());
        for (const auto& entry : nodes_) nodes.push_back(entry.second);
    }
    for (const NodePtr& node : nodes) {
        const Clock::time_point now = Clock::now();
        const std::uint32_t elapsed = MillisecondsBetween(node->lastTick, now);
        node->lastTick = now;
        Deliver(node, nullptr, elapsed);
    }
}

void DeliveryLoop::Run() {
    deliveryThread_.store(std::this_thread::get_id());
    std::vector<pollfd> fds;
    std::vector<NodePtr> listeners;
    int untilTickMs = kTickIntervalMs;
    for (;;) {
        bool anyNode;
        {
            std::lock_guard lock(mutex_);
            if (worker_.stopping) break;
            fds.clear();
            listeners.clear();
            fds.push_back(pollfd{worker_.wake.Get(), POLLIN, 0});
            for (const auto& inbound : inbound_) fds.push_back(pollfd{inbound->fd.Get(), POLLIN, 0});
            for (const auto& entry : nodes_) {
                fds.push_back(pollfd{entry.second->listen.Get(), POLLIN, 0});
                listeners.push_back(entry.second);
            }
            anyNode = !nodes_.empty();
        }
        if (!anyNode) untilTickMs = kTickIntervalMs;
        const Clock::time_point before = Clock::now();
        const int ready = poll(fds.data(), fds.size(), anyNode ? untilTickMs : -1);
        const std::uint32_t waited = MillisecondsBetween(before, Clock::now());
        // The poll timeout, not the clock, decides that a tick is due: the
        // clock may be frozen or jump (tests run under a faked clock).
        const bool tickDue = anyNode && (ready == 0 || waited >= static_cast<std::uint32_t>(untilTickMs));
        if (tickDue) {
            untilTickMs = kTickIntervalMs;
        } else if (anyNode) {
            untilTickMs = std::max(1, untilTickMs - static_cast<int>(waited));
        }

        if (ready > 0) {
            if (fds[0].revents != 0) DrainWakeFd(fds[0].fd);
            const std::size_t inboundCount = fds.size() - 1 - listeners.size();
            for (std::size_t i = 0; i < inboundCount; ++i) {
                Inbound& inbound = *inbound_[i];
                if (fds[1 + i].revents == 0) continue;
                bool deleted;
                {
                    std::lock_guard lock(mutex_);
                    deleted = inbound.node->deleted;
                }
                if (deleted) {
                    inbound.closing = true;
                } else {
                    ReadFrom(inbound);
                }
            }
            std::lock_guard lock(mutex_);
            for (auto& inbound : inbound_) {
                if (inbound->closing) CloseInboundLocked(*inbound);
            }
            inbound_.erase(std::remove_if(inbound_.begin(), inbound_.end(),
                                          [](const auto& inbound) { return !inbound->fd.Valid(); }),
                           inbound_.end());
            for (std::size_t i = 0; i < listeners.size(); ++i) {
                const pollfd& entry = fds[1 + inboundCount + i];
                // The fd may have been closed (and its number reused) by
                // DeleteNode meanwhile; only a live node's listener is used.
                if (entry.revents != 0 && !listeners[i]->deleted && listeners[i]->listen.Get() == entry.fd) {
                    AcceptLocked(listeners[i]);
                }
            }
        }
        if (tickDue) Tick();
    }
    listeners.clear();
}

}  // namespace divize
