// DivizeEntries.h - declarations of the library's entries for tests that link
// the library directly instead of binding it at run time. The shapes are the
// typedefs of divize32.h.
#pragma once

#include <cstdint>

#include "divize32/divize32.h"

extern "C" {
std::int32_t InitApplication();
std::int32_t TermApplication();
void* AllocateMessage(std::uint32_t size);
void FreeMessage(void* message);
std::int32_t EnqueueMessage(void* message);
std::int32_t SvcNodeExists(std::uint32_t value);
std::uint32_t CreateSvcNode(const char* name, void* context, DivizeNodeCallback callback);
std::int32_t DeleteSvcNode(const char* name);
std::uint32_t GetGlobalTimeout(const char* targetName, std::uint32_t timeoutMs);
std::int32_t SetGlobalTimeout(std::uint32_t value);
std::int32_t SetLocalSysName(std::uint32_t value);
std::uint32_t LocalSysName();
std::int32_t EnqueueMessage2(void* message, std::int32_t flag);
const std::uint8_t* Queue32LocalMACAddr();
std::uint32_t KovLocalUniqueID();
std::int32_t EnqueueMessage4(void* message, std::int32_t flag);
std::int32_t KovUseInputDesktop(std::int32_t flag);
std::int32_t Queue32SetFeatureFlags(std::uint32_t flags);
std::uint32_t Queue32GetFeatureFlags();
}
