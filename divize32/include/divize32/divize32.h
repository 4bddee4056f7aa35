// divize32.h - the entries of the message-queue library DIVIZE32.
//
// The framework binds every entry except QueueMessageAlloc/QueueMessageFree
// by name at run time (LoadLibraryA + GetProcAddress); those two are linked
// when the program is loaded. The typedefs below are the shapes the binding
// casts the looked-up addresses to.
//
// Messages are buffers in the queue message format (framework/MessageFormat.h).
// A buffer from AllocateMessage or QueueMessageAlloc may be released through
// FreeMessage or QueueMessageFree (all four are malloc/free-compatible).
//
// What the library does:
//  - A node is a Unix-domain stream socket "<encoded name>.sock" guarded by
//    an flock'ed "<encoded name>.lock" in the endpoint directory: $DIVIZE_DIR,
//    else $XDG_RUNTIME_DIR/divize, else /tmp/divize-<uid>. The directory is
//    created with mode 0700; an existing one must belong to the user and be
//    closed to group and others, or the library refuses to use it.
//  - Names are byte strings; every byte outside [A-Za-z0-9_.-] (and a dot
//    that would start the file name or follow another dot) is escaped as
//    %XX. A name that is empty or whose socket path would not fit sun_path
//    cannot be a node: CreateSvcNode and EnqueueMessage refuse it.
//  - One delivery thread per process calls every node's callback: messages
//    in the order each sender enqueued them, and a timer tick about every
//    100 ms. One writer thread per process sends accepted messages, so
//    EnqueueMessage never waits for a receiver.
//  - Threads are started by InitApplication (or lazily by CreateSvcNode and
//    EnqueueMessage) and stopped and joined by TermApplication, or at process
//    exit / unload when TermApplication was never called.
#pragma once

#include <cstdint>

// QueueMessageAlloc/QueueMessageFree are exported by the real library and by
// its test variant without DeleteSvcNode; the required-only test variant
// builds with DIVIZE32_NO_LINKED_ENTRIES and lacks them.
#if defined(DIVIZE32_NO_LINKED_ENTRIES)
#define DIVIZE32_LINKED_ENTRY
#else
#define DIVIZE32_LINKED_ENTRY __attribute__((visibility("default")))
#endif

extern "C" {

// Called for every message addressed to a node (message non-null; the
// callback owns it and releases it with QueueMessageFree; value is 0) and for
// every timer tick (message null; value = milliseconds since the node's
// previous tick, or since its creation for the first one). Always called on
// the library's delivery thread, never for a node whose DeleteSvcNode has
// returned. Returns 0.
typedef std::int32_t (*DivizeNodeCallback)(void* context, void* message, std::uint32_t value);

// Starts the library's threads; idempotent; returns 1 (0 only when the
// threads cannot be started).
typedef std::int32_t (*InitApplicationFn)();
// Stops and joins the threads, after a bounded attempt to send what was
// accepted, and removes the endpoints of nodes still registered. Returns 1;
// 0 when called from inside a callback (the delivery thread cannot join
// itself).
typedef std::int32_t (*TermApplicationFn)();
// malloc(size) (at least 1 byte), or null.
typedef void* (*AllocateMessageFn)(std::uint32_t size);
// free(message); null is ignored.
typedef void (*FreeMessageFn)(void* message);
// 1: the message was well formed and a node of its target name exists; the
// library owns the message and delivers it asynchronously. 0: malformed,
// unencodable target name, or no such node; the caller still owns it.
typedef std::int32_t (*EnqueueMessageFn)(void* message);
// 1 when the value is the handle of a live node of this process, else 0.
typedef std::int32_t (*SvcNodeExistsFn)(std::uint32_t value);
// Registers a node; returns its non-zero handle, or 0 when the name is taken
// by a live node (in any process), cannot be encoded, or the endpoint
// directory is unusable. An endpoint left by a crashed process is taken over.
typedef std::uint32_t (*CreateSvcNodeFn)(const char* name, void* context, DivizeNodeCallback callback);
// Unregisters a node and removes its endpoint. When it returns, no callback
// of that node runs or will run (from another thread it waits for a running
// one; from inside a callback it returns at once). 1, or 0 for an unknown name.
typedef std::int32_t (*DeleteSvcNodeFn)(const char* name);
// Returns timeoutMs unchanged.
typedef std::uint32_t (*GetGlobalTimeoutFn)(const char* targetName, std::uint32_t timeoutMs);
// Setters store the value and return 1; getters return the stored value.
typedef std::int32_t (*SetGlobalTimeoutFn)(std::uint32_t value);
typedef std::int32_t (*SetLocalSysNameFn)(std::uint32_t value);
typedef std::uint32_t (*LocalSysNameFn)();
// EnqueueMessage(message); the flag is not used.
typedef std::int32_t (*EnqueueMessage2Fn)(void* message, std::int32_t flag);
// Eight bytes: the first non-loopback interface's MAC address, zero-padded
// (all zero when there is none). The block lives as long as the library.
typedef const std::uint8_t* (*Queue32LocalMACAddrFn)();
// A value derived from the MAC address, stable for the machine.
typedef std::uint32_t (*KovLocalUniqueIDFn)();
// 0 when EnqueueMessage accepted the message, 1 when it refused it.
typedef std::int32_t (*EnqueueMessage4Fn)(void* message, std::int32_t flag);
// Stores the flag; returns 1.
typedef std::int32_t (*KovUseInputDesktopFn)(std::int32_t flag);
typedef std::int32_t (*Queue32SetFeatureFlagsFn)(std::uint32_t flags);
typedef std::uint32_t (*Queue32GetFeatureFlagsFn)();

// Linked at load time (ordinals 5 and 6 on the original platform).
DIVIZE32_LINKED_ENTRY void* QueueMessageAlloc(std::uint32_t size);
DIVIZE32_LINKED_ENTRY void QueueMessageFree(void* message);

}  // extern "C"
