// DeliveryLoop.h - the receiving half of the library: the nodes of this
// process and the one delivery thread that calls their callbacks.
//
// The thread polls every node's listening socket, every accepted connection
// and a wake-up eventfd. It hands each complete, well-formed message to the
// callback of the node whose endpoint received it, and about every 100 ms
// gives every node a timer tick carrying the milliseconds since its previous
// tick. Waits are relative poll timeouts only. A connection that sends
// garbage (see FrameReader) is closed without affecting its node.
//
// Thread-safety: every public member may be called from any thread,
// including from inside a callback on the delivery thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "EndpointPaths.h"
#include "FrameReader.h"
#include "UnixSockets.h"
#include "WorkerThread.h"
#include "divize32/divize32.h"

namespace divize {

class DeliveryLoop {
public:
    static constexpr int kTickIntervalMs = 100;
    // Accepted connections beyond this many are closed at once.
    static constexpr std::size_t kMaxConnections = 1024;
    // Partial frames of all connections together hold at most this much.
    static constexpr std::uint64_t kMaxBufferedBytes = 1ull << 30;

    DeliveryLoop() = default;
    ~DeliveryLoop();
    DeliveryLoop(const DeliveryLoop&) = delete;
    DeliveryLoop& operator=(const DeliveryLoop&) = delete;

    // Starts the delivery thread unless it runs; false when it cannot start.
    bool Start();
    // Stops and joins the thread, then closes and removes the endpoints of
    // every node still registered. False (and nothing done) on the delivery
    // thread itself, which cannot join itself.
    bool Stop();

    // The node's handle, or 0 (see CreateSvcNode in divize32.h).
    std::uint32_t CreateNode(const char* name, void* context, DivizeNodeCallback callback);
    // See DeleteSvcNode in divize32.h.
    bool DeleteNode(const char* name);
    bool NodeExists(std::uint32_t handle);

    bool OnDeliveryThread() const { return deliveryThread_.load() == std::this_thread::get_id(); }

private:
    using Clock = std::chrono::steady_clock;

    struct Node {
        std::string name;
        void* context = nullptr;
        DivizeNodeCallback callback = nullptr;
        std::uint32_t handle = 0;
        EndpointPaths paths;
        UniqueFd listen;
        UniqueFd lock;
        std::vector<int> accepted;  // fds of its open Inbound connections
        Clock::time_point lastTick;  // written by the delivery thread after creation
        bool deleted = false;
    };
    using NodePtr = std::shared_ptr<Node>;

    struct Inbound {
        explicit Inbound(BufferBudget& budget) : reader(budget) {}
        UniqueFd fd;
        NodePtr node;
        FrameReader reader;
        bool closing = false;
    };

    void Run();
    void AcceptLocked(const NodePtr& node);
    void ReadFrom(Inbound& inbound);
    void Tick();
    // Calls the node's callback unless the node was deleted (then frees the
    // message). Takes and releases mutex_.
    void Deliver(const NodePtr& node, void* message, std::uint32_t value);
    void CloseInboundLocked(Inbound& inbound);
    static void RemoveEndpointLocked(Node& node);
    std::uint32_t NextHandleLocked();

    std::mutex mutex_;
    std::condition_variable callbackDone_;
    std::map<std::string, NodePtr> nodes_;  // guarded by mutex_
    const Node* inCallback_ = nullptr;      // guarded by mutex_
    std::uint32_t nextHandle_ = 1;          // guarded by mutex_
    BufferBudget budget_{kMaxBufferedBytes};  // delivery thread only
    std::vector<std::unique_ptr<Inbound>> inbound_;  // delivery thread only (fds closed under mutex_)
    std::atomic<std::thread::id> deliveryThread_{};
    WorkerThread worker_;  // the delivery thread; its flags guarded by mutex_
};

}  // namespace divize
