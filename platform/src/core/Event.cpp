// Unnamed events, manual-reset and auto-reset.
#include <condition_variable>
#include <memory>
#include <mutex>

#include "core/TimedWait.h"
#include "core/WaitableObject.h"

namespace win32_internal {
namespace {

// Thread-safety: signalled_ is guarded by mutex_; every method may be
// called from any thread.
class EventObject final : public WaitableObject {
public:
    EventObject(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}

    DWORD Wait(DWORD timeoutMs) override {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!WaitWithTimeout(lock, changed_, timeoutMs, [this] { return signalled_; })) {
            return WAIT_TIMEOUT;
        }
        if (!manualReset_) signalled_ = false;   // this waiter takes the signal
        return WAIT_OBJECT_0;
    }

    void Set() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            signalled_ = true;
        }
        // A manual-reset event releases every waiter; an auto-reset one
        // releases one, which resets it.
        if (manualReset_) {
            changed_.notify_all();
        } else {
            changed_.notify_one();
        }
    }

    void Reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = false;
    }

private:
    const bool manualReset_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_;
};

}  // namespace
}  // namespace win32_internal

HANDLE CreateEventA(void* /*security*/, BOOL manualReset, BOOL initialState, const char* name) {
    if (name != nullptr && name[0] != '\0') {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return win32_internal::InsertHandle(
        std::make_shared<win32_internal::EventObject>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE handle) {
    auto event = win32_internal::FindHandleAs<win32_internal::EventObject>(handle);
    if (!event) return FALSE;
    event->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    auto event = win32_internal::FindHandleAs<win32_internal::EventObject>(handle);
    if (!event) return FALSE;
    event->Reset();
    return TRUE;
}
