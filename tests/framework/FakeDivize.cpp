// A stand-in for the message-queue library that records the calls the
// binding makes, for the binding tests. Loaded only through the module
// search override; never linked.
#include <cstdint>
#include <string>

namespace {
std::string& Log() {
    static std::string log;
    return log;
}
const std::uint8_t kMac[8] = {1, 2, 3, 4, 5, 6, 0, 0};
}  // namespace

#define FAKE_ENTRY extern "C" __attribute__((visibility("default")))

FAKE_ENTRY const char* FakeDivizeCallLog() { return Log().c_str(); }
FAKE_ENTRY std::int32_t InitApplication() { Log() += "InitApplication;"; return 1; }
FAKE_ENTRY std::int32_t TermApplication() { Log() += "TermApplication;"; return 1; }
FAKE_ENTRY void* AllocateMessage(std::uint32_t) { return nullptr; }
FAKE_ENTRY void FreeMessage(void*) {}
FAKE_ENTRY std::int32_t EnqueueMessage(void*) { return 0; }
FAKE_ENTRY std::int32_t SvcNodeExists(std::uint32_t value) { return static_cast<std::int32_t>(value + 1); }
FAKE_ENTRY std::uint32_t CreateSvcNode(const char*, void*, void*) { return 0; }
FAKE_ENTRY std::int32_t DeleteSvcNode(const char*) { return 1; }
FAKE_ENTRY std::uint32_t GetGlobalTimeout(const char*, std::uint32_t timeoutMs) { return timeoutMs; }
FAKE_ENTRY std::int32_t SetGlobalTimeout(std::uint32_t value) { return static_cast<std::int32_t>(value * 2); }
FAKE_ENTRY std::int32_t SetLocalSysName(std::uint32_t value) { return static_cast<std::int32_t>(value * 3); }
FAKE_ENTRY std::uint32_t LocalSysName() { return 0x5151; }
FAKE_ENTRY std::int32_t EnqueueMessage2(void*, std::int32_t) { return 0; }
FAKE_ENTRY const std::uint8_t* Queue32LocalMACAddr() { return kMac; }
FAKE_ENTRY std::uint32_t KovLocalUniqueID() { return 0xABCD; }
FAKE_ENTRY std::int32_t EnqueueMessage4(void*, std::int32_t flag) { return 7 + flag; }
FAKE_ENTRY std::int32_t KovUseInputDesktop(std::int32_t flag) {
    Log() += "KovUseInputDesktop(" + std::to_string(flag) + ");";
    return 1;
}
FAKE_ENTRY std::int32_t Queue32SetFeatureFlags(std::uint32_t flags) { return static_cast<std::int32_t>(flags + 5); }
FAKE_ENTRY std::uint32_t Queue32GetFeatureFlags() { return 0x77; }
