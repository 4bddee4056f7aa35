// Thread identifiers, the tick count and the per-thread message queues.
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "core/Fatal.h"
#include "internal/KernelObject.h"

namespace {

// Thread-safety: messages is guarded by mutex.
struct MessageQueue {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<MSG> messages;
};

// Thread-safety: queues and ownerGuarded are guarded by mutex.
struct QueueRegistry {
    std::mutex mutex;
    std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> queues;
    // Threads whose queue is dropped by their own exit guard. A queue created
    // by a poster for a thread that never waits has no guard; it is dropped
    // once that thread is found gone (see DropQueuesOfEndedThreads).
    std::unordered_map<DWORD, bool> ownerGuarded;
};

// Lives for the whole process: library threads may post while static
// objects are being destroyed.
QueueRegistry& Registry() {
    static QueueRegistry* const registry = new QueueRegistry;
    return *registry;
}

// True while the thread is a live thread of this process.
bool ThreadIsAlive(DWORD threadId) {
    if (syscall(SYS_tgkill, getpid(), static_cast<pid_t>(threadId), 0) == 0) return true;
    return errno != ESRCH;
}

// Releases, at thread exit, the queue of a thread that waited for messages.
struct QueueExitGuard {
    DWORD threadId = 0;
    ~QueueExitGuard() {
        if (threadId == 0) return;
        QueueRegistry& registry = Registry();
        std::shared_ptr<MessageQueue> dropped;   // destroyed outside the lock
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto found = registry.queues.find(threadId);
        if (found != registry.queues.end()) {
            dropped = std::move(found->second);
            registry.queues.erase(found);
        }
        registry.ownerGuarded.erase(threadId);
    }
};

thread_local QueueExitGuard queueExitGuard;

// Called with registry.mutex held.
void DropQueuesOfEndedThreads(QueueRegistry& registry) {
    for (auto it = registry.ownerGuarded.begin(); it != registry.ownerGuarded.end();) {
        if (!it->second && !ThreadIsAlive(it->first)) {
            registry.queues.erase(it->first);
            it = registry.ownerGuarded.erase(it);
        } else {
            ++it;
        }
    }
}

std::shared_ptr<MessageQueue> OwnQueue() {
    const DWORD self = GetCurrentThreadId();
    QueueRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto& queue = registry.queues[self];
    if (!queue) queue = std::make_shared<MessageQueue>();
    bool& guarded = registry.ownerGuarded[self];
    if (!guarded) {
        guarded = true;
        queueExitGuard.threadId = self;
    }
    return queue;
}

}  // namespace

DWORD GetCurrentThreadId() {
    // Not cached: a cached value would be wrong in the child of a fork.
    return static_cast<DWORD>(gettid());
}

DWORD GetTickCount() {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) win32_internal::Fatal("clock_gettime", errno);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);   // wraps at 2^32 like the Windows count
}

BOOL GetMessageA(MSG* msg, HWND /*hwnd*/, UINT /*filterMin*/, UINT /*filterMax*/) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    auto queue = OwnQueue();
    std::unique_lock<std::mutex> lock(queue->mutex);
    queue->arrived.wait(lock, [&] { return !queue->messages.empty(); });
    *msg = queue->messages.front();
    queue->messages.pop_front();
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    if (threadId == 0) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    std::shared_ptr<MessageQueue> queue;
    {
        QueueRegistry& registry = Registry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto found = registry.queues.find(threadId);
        if (found != registry.queues.end()) {
            queue = found->second;
        } else {
            if (threadId != GetCurrentThreadId() && !ThreadIsAlive(threadId)) {
                SetLastError(ERROR_INVALID_THREAD_ID);
                return FALSE;
            }
            DropQueuesOfEndedThreads(registry);
            queue = std::make_shared<MessageQueue>();
            registry.queues.emplace(threadId, queue);
            registry.ownerGuarded.emplace(threadId, false);
        }
    }
    {
        std::lock_guard<std::mutex> lock(queue->mutex);
        queue->messages.push_back(MSG{nullptr, message, wParam, lParam, GetTickCount()});
    }
    queue->arrived.notify_one();
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

BOOL TranslateMessage(const MSG* /*msg*/) { return FALSE; }

LRESULT DispatchMessageA(const MSG* /*msg*/) { return 0; }
