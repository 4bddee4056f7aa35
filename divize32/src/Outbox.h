// Outbox.h - the sending half of the library: one writer thread and one
// cached connection per target endpoint.
//
// Enqueue decides synchronously whether a message can be accepted (well
// formed, target endpoint listening) and then queues it; on an idle
// connection it also writes what the socket takes at once, and the writer
// thread sends the rest. All writes are non-blocking, so a slow receiver
// delays only its own queue. Messages to one target leave in the order they were
// accepted. A connection that fails or that the receiver closes is dropped
// with whatever it still held (as if the receiver had crashed); the next
// Enqueue to that target connects afresh.
//
// Thread-safety: every public member may be called from any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "UnixSockets.h"
#include "WorkerThread.h"

namespace divize {

class Outbox {
public:
    Outbox() = default;
    ~Outbox();
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    // Starts the writer thread unless it runs; false when it cannot start.
    bool Start();
    // Sends what is queued while progress is made (bounded), then stops and
    // joins the writer and closes every connection; unsent messages are freed.
    void Stop();

    // True: accepted, the Outbox owns the message. False (malformed, larger
    // than FrameReader::kMaxFrameLength, unusable target name or no node
    // listening under it): the caller keeps it.
    bool Enqueue(void* message);

private:
    struct Frame {
        std::uint8_t* message;
        std::uint32_t length;
        std::uint64_t sent;  // bytes of prefix + message already written
    };
    struct Connection {
        explicit Connection(UniqueFd socket) : fd(std::move(socket)) {}
        ~Connection();
        UniqueFd fd;
        std::deque<Frame> frames;
        bool dead = false;
    };
    using ConnectionPtr = std::shared_ptr<Connection>;

    void Run();
    // Writes as much of the connection's queue as the socket takes. Called
    // with mutex_ held; false when the connection failed.
    static bool WriteSome(Connection& connection);
    void DropLocked(const std::string& path, const ConnectionPtr& connection);
    bool HasPendingLocked() const;

    std::mutex mutex_;
    std::map<std::string, ConnectionPtr> connections_;  // by socket path; guarded by mutex_
    WorkerThread worker_;  // the writer; its flags guarded by mutex_
};

}  // namespace divize
