// Recursive, unnamed mutexes with Windows ownership rules: an owner thread
// and an acquisition count, and abandonment when the owner thread ends.
#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "core/TimedWait.h"
#include "core/WaitableObject.h"

namespace win32_internal {
namespace {

// Thread-safety: all members are guarded by mutex_; every method may be
// called from any thread.
class MutexObject final : public WaitableObject,
                          public std::enable_shared_from_this<MutexObject> {
public:
    DWORD Wait(DWORD timeoutMs) override;
    // False when the calling thread does not own the mutex.
    bool Release();
    // Run for the mutexes a thread still owns when it ends.
    void Abandon(DWORD thread);

private:
    std::mutex mutex_;
    std::condition_variable released_;
    DWORD owner_ = 0;   // 0: not owned
    unsigned long count_ = 0;
    bool abandoned_ = false;   // the last owner ended without releasing it
};

// Set once the calling thread's list below is destroyed. The main thread's
// list goes before the destructors of static objects run at exit, and one
// of those may still take and release a mutex; trivially destructible, so it
// stays readable to the end of the thread.
thread_local bool ownedListGone = false;

// The mutexes the calling thread owns. When the thread ends, its destructor
// marks each one still owned as abandoned and wakes a waiter.
struct OwnedMutexes {
    std::vector<std::weak_ptr<MutexObject>> mutexes;

    ~OwnedMutexes() {
        ownedListGone = true;
        const DWORD self = GetCurrentThreadId();
        for (auto& weak : mutexes) {
            if (auto mutex = weak.lock()) mutex->Abandon(self);
        }
    }
};

thread_local OwnedMutexes ownedByThisThread;

// A thread whose list is gone is ending: nothing is left to abandon for it.
void RememberOwned(std::weak_ptr<MutexObject> mutex) {
    if (ownedListGone) return;
    ownedByThisThread.mutexes.push_back(std::move(mutex));
}

void ForgetOwned(const MutexObject* mutex) {
    if (ownedListGone) return;
    auto& list = ownedByThisThread.mutexes;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [mutex](const std::weak_ptr<MutexObject>& weak) {
                                  auto locked = weak.lock();
                                  return !locked || locked.get() == mutex;
                              }),
               list.end());
}

DWORD MutexObject::Wait(DWORD timeoutMs) {
    const DWORD self = GetCurrentThreadId();
    std::unique_lock<std::mutex> lock(mutex_);
    if (owner_ == self) {
        ++count_;
        return WAIT_OBJECT_0;
    }
    if (!WaitWithTimeout(lock, released_, timeoutMs, [this] { return owner_ == 0; })) {
        return WAIT_TIMEOUT;
    }
    owner_ = self;
    count_ = 1;
    const bool wasAbandoned = std::exchange(abandoned_, false);
    lock.unlock();
    RememberOwned(weak_from_this());
    return wasAbandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

bool MutexObject::Release() {
    const DWORD self = GetCurrentThreadId();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (owner_ != self) return false;
        if (--count_ != 0) return true;
        owner_ = 0;
    }
    released_.notify_one();
    ForgetOwned(this);
    return true;
}

void MutexObject::Abandon(DWORD thread) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (owner_ != thread) return;
        owner_ = 0;
        count_ = 0;
        abandoned_ = true;
    }
    released_.notify_one();
}

}  // namespace
}  // namespace win32_internal

HANDLE CreateMutexA(void* /*security*/, BOOL initialOwner, const char* name) {
    using win32_internal::MutexObject;
    if (name != nullptr && name[0] != '\0') {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto mutex = std::make_shared<MutexObject>();
    if (initialOwner) mutex->Wait(0);   // a new mutex is free: acquired at once
    return win32_internal::InsertHandle(std::move(mutex));
}

BOOL ReleaseMutex(HANDLE handle) {
    auto mutex = win32_internal::FindHandleAs<win32_internal::MutexObject>(handle);
    if (!mutex) return FALSE;
    if (!mutex->Release()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}
