// ServiceNode.h - one named endpoint on the message-queue library.
//
// An application derives from ServiceNode, overrides HandleCommand (and the
// other hooks it needs), constructs one node per name and calls Run on the
// thread that serves it. Construction binds the library on first use and
// registers the node with CreateSvcNode; from then on the library hands
// every message and timer tick to NodeMessageCallback, possibly on a thread
// of its own. A node can also send requests (SendCommand and its forms) and
// answer a kept request later (SendReply).
//
// Locks: pendingLock guards pendingList, its records, their timeouts and the
// timer countdown (the whole tick pass runs under it); dispatchLock guards
// deferredList and serialises HandleCommand, reply building, SendReply and
// the replay of held-back requests. Both are recursive. The framework never
// takes one while holding the other; user code called under a lock may.
//
// A derived class is registered before its own constructor runs. A class
// that must finish constructing before it handles requests constructs the
// node with ready = 0 and lets Run make it ready; its destructor should call
// Disconnect() first, so that no callback reaches a half-destroyed object.
//
// Thread-safety: every public operation may be called from any thread,
// except that the node must not be destroyed while another thread uses it.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/Command.h"
#include "framework/EventSemaphore.h"
#include "framework/MutexSemaphore.h"
#include "win32/win32.h"

// Result codes the framework writes into a sent Command's result.
inline constexpr std::int32_t kResultNotConnected = -0xfffa;     // the node has no library node
inline constexpr std::int32_t kResultNoMessage = -0xfff9;        // the request message could not be built
inline constexpr std::int32_t kResultRefused = -0xef00;          // the library refused the request
inline constexpr std::int32_t kResultTimedOut = -0xfffe;         // no reply before timeoutMs ran out

// Thread message posted to a synchronous sender's thread when its request
// completes; it only wakes GetMessageA.
inline constexpr UINT kWakeUpMessage = WM_USER + 234;  // 1258

// A sent request awaiting its reply, linked into pendingList (newest first).
struct PendingRequest {
    Command* command = nullptr;
    PendingRequest* next = nullptr;
    int autoDelete = 0;                           // destroy the Command once completed
    std::atomic<std::uint16_t>* doneFlag = nullptr;  // the synchronous sender's flag
    DWORD waiterThreadId = 0;                     // the synchronous sender's thread, or 0
    EventSemaphore* event = nullptr;              // signalled on completion, or null
};

// A request held back while the node is not ready, linked into deferredList
// (newest first). Owns its message.
struct DeferredMessage {
    void* message = nullptr;
    std::uint32_t value = 0;
    DeferredMessage* next = nullptr;
};

// The function through which the library hands a node (context) every
// incoming message (the callback owns it) and every timer tick (message
// null, value = milliseconds elapsed). Always returns 0.
std::int32_t NodeMessageCallback(void* context, void* message, std::uint32_t value);

class ServiceNode {
public:
    // Binds the library (first use) and registers `name`. With rawMode every
    // message goes to HandleRawMessage; with ready 0 requests are held back
    // until SetReady(1) or Run.
    ServiceNode(const char* name, int rawMode, int ready);
    // Deletes the node from the library, completes every request still
    // awaiting a reply with kResultNotConnected (OnComplete, waiter woken,
    // auto-delete honoured) and drops held-back requests unanswered.
    virtual ~ServiceNode();

    ServiceNode(const ServiceNode&) = delete;
    ServiceNode& operator=(const ServiceNode&) = delete;

    // Answers one request. Set result and reply items on the Command; set
    // Command::DeferReply in its flags to keep it and answer later with
    // SendReply. Return 0 to ask the callback's thread to quit (the reply is
    // still sent). Runs under dispatchLock. Base: 1, Command untouched.
    virtual int HandleCommand(Command& command);
    virtual void OnRunStart();
    virtual void OnRunEnd();
    // Raw mode: receives every message (owns it). Base: frees it.
    virtual void HandleRawMessage(void* message, std::uint32_t value);
    // Called every timerIntervalMs under pendingLock; return 0 to ask the
    // callback's thread to quit. Base: 1.
    virtual int OnTimer();
    // Used by the waiting loop of SendCommandAndWait for every other thread
    // message. Base: TranslateMessage, then DispatchMessageA's result.
    virtual int DispatchThreadMessage(MSG* message);

    int IsConnected() const { return nodeHandle.load() != 0 ? 1 : 0; }
    // Deletes the node from the library (once); 1 when already disconnected,
    // else DeleteSvcNode's result (1 when that entry is not bound).
    int Disconnect();
    // SetReady(1), OnRunStart, the calling thread's message loop until
    // WM_QUIT, OnRunEnd.
    void Run();
    // 0: hold incoming requests back. Non-zero: become ready and replay the
    // held-back requests, newest first, before any new one is handled.
    void SetReady(int value);
    // Period of OnTimer in ms (0: off); restarts the countdown.
    void SetTimerInterval(std::uint32_t ms);

    void LockPending() { pendingLock.Lock(); }
    void UnlockPending() { pendingLock.Unlock(); }
    void LockDispatch() { dispatchLock.Lock(); }
    void UnlockDispatch() { dispatchLock.Unlock(); }

    // Sends `command` (code, remote name, parameters and timeoutMs set).
    // Returns 0 only in raw mode (then nothing at all happens), else 1; the
    // outcome is the Command's result, delivered through its OnComplete,
    // which runs exactly once. With autoDelete the framework destroys the
    // Command after OnComplete, so a synchronous caller must not touch it
    // after the call. Synchronous sends wait without a limit of their own:
    // the timeout tick of the library ends them; a quit message or a failed
    // event wait before completion ends the process with exit code 1.
    int SendCommand(Command* command, EventSemaphore* event, int asynchronous,
                    int viaEnqueueMessage2, int autoDelete);
    int SendCommandAsync(Command* command, int autoDelete, int viaEnqueueMessage2) {
        return SendCommand(command, nullptr, 1, viaEnqueueMessage2, autoDelete);
    }
    // Waits by pumping the calling thread's messages.
    int SendCommandAndWait(Command* command) { return SendCommand(command, nullptr, 0, 0, 0); }
    // Waits on `event` without serving the thread's queue.
    int SendCommandAndWaitEvent(Command* command, EventSemaphore* event) {
        return SendCommand(command, event, 0, 0, 0);
    }
    // Sends the reply of a Command kept under DeferReply and destroys it: 1.
    // 0 (Command left to the caller) in raw mode, without DeferReply, or when
    // no reply could be built.
    int SendReply(Command* command);
    // The completion of an unlinked record: OnComplete, auto-delete, then
    // done flag, event and wake-up message. The caller frees the record.
    void CompletePendingRequest(PendingRequest* record);

    // Null when the library could not be bound.
    const char* GetName() const { return name; }
    int IsReady() const { return ready.load(); }
    int IsRawMode() const { return rawMode.load(); }
    std::uint32_t CountPendingRequests();
    std::uint32_t CountDeferredMessages();

private:
    friend std::int32_t NodeMessageCallback(void* context, void* message, std::uint32_t value);

    void ReceiveTick(std::uint32_t elapsed);
    void ReceiveRequest(void* message, std::uint32_t value);
    void ReceiveReply(void* message);
    void Acknowledge(const void* message);
    // Parses, handles and answers one request; takes dispatchLock itself.
    void AnswerRequest(void* message);
    // Replays held-back requests while ready; dispatchLock held by the caller.
    void ReplayDeferredLocked();
    int FailCommand(Command* command, std::int32_t code, int autoDelete);
    // Completes every record of an unlinked list, in list order, with
    // `result`, and frees the records.
    void CompleteEach(PendingRequest* list, std::int32_t result);

    char* name = nullptr;
    std::atomic<std::uint32_t> nodeHandle{0};
    std::atomic<int> rawMode;
    std::atomic<int> ready;
    PendingRequest* pendingList = nullptr;       // guarded by pendingLock
    DeferredMessage* deferredList = nullptr;     // guarded by dispatchLock
    std::atomic<std::uint32_t> timerIntervalMs{0};
    std::atomic<std::uint32_t> timerCountdownMs{0};  // changed in ticks under pendingLock
    MutexSemaphore pendingLock;
    MutexSemaphore dispatchLock;
};
