// MessageQueueLibrary.h - the process-wide binding of DIVIZE32.DLL.
//
// The library file is loaded on first use and its entries are looked up by
// name. Eight entries are required (a bind without any of them fails and
// leaves nothing bound); the other eleven are optional and every use checks
// the pointer first. QueueMessageAlloc and QueueMessageFree are not part of
// the binding: the program is linked to them when it is loaded.
//
// Thread-safety: Bind/Unbind/Shutdown/SetUseInputDesktop serialise among
// themselves; once bound, the entry pointers may be read from any thread
// (the library's callback threads included) as long as nobody unbinds.
#pragma once

#include <cstdint>

#include "divize32/divize32.h"

class DynamicLinkLibrary;

// One pointer per entry, empty when not found or not bound.
struct MessageQueueBinding {
    DynamicLinkLibrary* library = nullptr;  // present only while bound

    // Required.
    InitApplicationFn initApplication = nullptr;
    TermApplicationFn termApplication = nullptr;
    AllocateMessageFn allocateMessage = nullptr;
    FreeMessageFn freeMessage = nullptr;
    EnqueueMessageFn enqueueMessage = nullptr;
    SvcNodeExistsFn svcNodeExists = nullptr;
    CreateSvcNodeFn createSvcNode = nullptr;
    DeleteSvcNodeFn deleteSvcNode = nullptr;
    // Optional.
    GetGlobalTimeoutFn getGlobalTimeout = nullptr;
    SetGlobalTimeoutFn setGlobalTimeout = nullptr;
    SetLocalSysNameFn setLocalSysName = nullptr;
    LocalSysNameFn localSysName = nullptr;
    EnqueueMessage2Fn enqueueMessage2 = nullptr;
    Queue32LocalMACAddrFn queue32LocalMACAddr = nullptr;
    KovLocalUniqueIDFn kovLocalUniqueID = nullptr;
    EnqueueMessage4Fn enqueueMessage4 = nullptr;
    KovUseInputDesktopFn kovUseInputDesktop = nullptr;
    Queue32SetFeatureFlagsFn queue32SetFeatureFlags = nullptr;
    Queue32GetFeatureFlagsFn queue32GetFeatureFlags = nullptr;

    // The callback every ServiceNode registers (NodeMessageCallback); empty
    // until a bind succeeds.
    DivizeNodeCallback registeredCallback = nullptr;
};

// The binding state, for the framework's own calls and for tests.
const MessageQueueBinding& GetMessageQueueBinding();

// The file name the binding loads.
inline constexpr const char* kMessageQueueLibraryName = "DIVIZE32.DLL";

// 1 when the library is bound (at once when it already was), 0 when the file
// cannot be loaded or lacks a required entry; a failed bind leaves nothing
// bound and the next call tries the file anew. A successful bind calls
// KovUseInputDesktop (when present) with the stored flag, then InitApplication.
int BindMessageQueueLibrary();
// Releases the library and clears every entry pointer and the callback. 1.
int UnbindMessageQueueLibrary();
// TermApplication (when bound), then UnbindMessageQueueLibrary. 1.
int ShutdownMessageQueueLibrary();
// Stores the flag for the next bind, then BindMessageQueueLibrary(). The flag
// survives unbinding; a flag set while bound takes effect at the next bind.
int SetUseInputDesktop(std::uint32_t flag);

// Thin wrappers: each calls its entry with the arguments unread and returns
// its result, or the fallback when the entry is absent. Those marked "binds"
// bind first and return the fallback when that fails.
std::int32_t CallSvcNodeExists(std::uint32_t value);            // binds; 0
std::int32_t CallEnqueueMessage(void* message);                 // 0
// EnqueueMessage4(message, 0): 0 when accepted. Without that entry,
// CallEnqueueMessage with its result mapped: accepted 0, refused 255.
std::int32_t CallEnqueueMessage4(void* message);
std::int32_t CallSetGlobalTimeout(std::uint32_t value);         // 0
std::uint32_t CallLocalSysName();                               // binds; 0
std::int32_t CallSetLocalSysName(std::uint32_t value);          // binds; 0
std::uint32_t CallQueue32GetFeatureFlags();                     // binds; 0
std::int32_t CallQueue32SetFeatureFlags(std::uint32_t value);   // binds; 0
// binds; fallback: a static block of 8 zero bytes.
const std::uint8_t* CallQueue32LocalMACAddr();
std::uint32_t CallKovLocalUniqueID();                           // binds; 0
