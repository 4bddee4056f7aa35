#include "MessageQueue.h"

namespace divize {
namespace {

// Trivially destructible, so it stays readable while and after static
// destructors run.
std::atomic<bool> gFinalised{false};

MessageQueue gQueue;

}  // namespace

MessageQueue* MessageQueue::Instance() { return gFinalised.load() ? nullptr : &gQueue; }

MessageQueue::~MessageQueue() {
    gFinalised.store(true);
    Stop();
}

bool MessageQueue::Start() { return delivery_.Start() && outbox_.Start(); }

bool MessageQueue::Stop() {
    if (!delivery_.Stop()) return false;
    outbox_.Stop();
    return true;
}

}  // namespace divize
