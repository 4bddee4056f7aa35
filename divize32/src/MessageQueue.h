// MessageQueue.h - the process-wide library state behind the exported entries:
// the delivery loop, the outbox and the stored values of the optional entries.
//
// One static instance lives as long as the library is loaded; its destructor
// (at process exit or unload) stops and joins both threads, so a program that
// never calls TermApplication still ends cleanly. After that destructor has
// run, every entry refuses work.
//
// Thread-safety: every member may be called from any thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "DeliveryLoop.h"
#include "Outbox.h"

namespace divize {

class MessageQueue {
public:
    // Null once the static instance has been destroyed.
    static MessageQueue* Instance();

    MessageQueue() = default;
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    bool Start();
    // False when called on the delivery thread (from inside a callback).
    bool Stop();

    DeliveryLoop& Delivery() { return delivery_; }
    Outbox& Sender() { return outbox_; }

    std::atomic<std::uint32_t> globalTimeout{0};
    std::atomic<std::uint32_t> localSysName{0};
    std::atomic<std::uint32_t> featureFlags{0};
    std::atomic<std::int32_t> useInputDesktop{0};

private:
    // Destroyed in reverse order: the delivery loop (whose callbacks may
    // enqueue) stops before the outbox.
    Outbox outbox_;
    DeliveryLoop delivery_;
};

// The first non-loopback interface's MAC address in 8 bytes, zero-padded;
// all zero when there is none. Computed once; the block is static.
const std::uint8_t* LocalMacAddress();

}  // namespace divize
