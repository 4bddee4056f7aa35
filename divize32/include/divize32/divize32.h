// divize32.h - the entries of the message-queue library DIVIZE32.
//
// The framework binds every entry except QueueMessageAlloc/QueueMessageFree
// by name at run time (LoadLibraryA + GetProcAddress); those two are linked
// when the program is loaded. The typedefs below are the shapes the binding
// casts the looked-up addresses to.
//
// Messages are buffers in the queue message format (framework/MessageFormat.h).
// A buffer from AllocateMessage or QueueMessageAlloc may be released through
// FreeMessage or QueueMessageFree.
#pragma once

#include <cstdint>

extern "C" {

// Called for every message addressed to a node (message non-null; the
// callback owns it and releases it with QueueMessageFree) and for every
// timer tick (message null; value = milliseconds since the previous tick).
// Returns 0.
typedef std::int32_t (*DivizeNodeCallback)(void* context, void* message, std::uint32_t value);

typedef std::int32_t (*InitApplicationFn)();
typedef std::int32_t (*TermApplicationFn)();
typedef void* (*AllocateMessageFn)(std::uint32_t size);
typedef void (*FreeMessageFn)(void* message);
typedef std::int32_t (*EnqueueMessageFn)(void* message);
typedef std::int32_t (*SvcNodeExistsFn)(std::uint32_t value);
typedef std::uint32_t (*CreateSvcNodeFn)(const char* name, void* context, DivizeNodeCallback callback);
typedef std::int32_t (*DeleteSvcNodeFn)(const char* name);
typedef std::uint32_t (*GetGlobalTimeoutFn)(const char* targetName, std::uint32_t timeoutMs);
typedef std::int32_t (*SetGlobalTimeoutFn)(std::uint32_t value);
typedef std::int32_t (*SetLocalSysNameFn)(std::uint32_t value);
typedef std::uint32_t (*LocalSysNameFn)();
typedef std::int32_t (*EnqueueMessage2Fn)(void* message, std::int32_t flag);
typedef const std::uint8_t* (*Queue32LocalMACAddrFn)();
typedef std::uint32_t (*KovLocalUniqueIDFn)();
typedef std::int32_t (*EnqueueMessage4Fn)(void* message, std::int32_t flag);
typedef std::int32_t (*KovUseInputDesktopFn)(std::int32_t flag);
typedef std::int32_t (*Queue32SetFeatureFlagsFn)(std::uint32_t flags);
typedef std::uint32_t (*Queue32GetFeatureFlagsFn)();

// Linked at load time.
void* QueueMessageAlloc(std::uint32_t size);
void QueueMessageFree(void* message);

}  // extern "C"
