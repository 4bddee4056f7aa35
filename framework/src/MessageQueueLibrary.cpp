#include "framework/MessageQueueLibrary.h"

#include <mutex>

#include "framework/DynamicLinkLibrary.h"
#include "framework/ServiceNode.h"

namespace {

// The binding lives as long as the process: nothing in the framework
// unbinds, and the process ends bound (the library's own threads may still
// be running at exit, so it is never released behind their back).
MessageQueueBinding binding;
std::uint32_t useInputDesktopFlag = 0;
std::mutex bindMutex;

const std::uint8_t kZeroMacAddress[8] = {};

template <class Fn>
Fn Lookup(const DynamicLinkLibrary& library, const char* name) {
    // Entry addresses are looked up untyped and cast to the entry's shape.
    return reinterpret_cast<Fn>(library.FindEntry(name));
}

void ClearBindingLocked() {
    binding = MessageQueueBinding{};
}

}  // namespace

const MessageQueueBinding& GetMessageQueueBinding() {
    return binding;
}

int BindMessageQueueLibrary() {
    std::lock_guard<std::mutex> lock(bindMutex);
    if (binding.library != nullptr) return 1;

    auto* library = new DynamicLinkLibrary(kMessageQueueLibraryName);
    if (library->GetHandle() == nullptr) {
        delete library;
        return 0;
    }

    MessageQueueBinding found;
    found.library = library;
    found.initApplication = Lookup<InitApplicationFn>(*library, "InitApplication");
    found.termApplication = Lookup<TermApplicationFn>(*library, "TermApplication");
    found.allocateMessage = Lookup<AllocateMessageFn>(*library, "AllocateMessage");
    found.freeMessage = Lookup<FreeMessageFn>(*library, "FreeMessage");
    found.enqueueMessage = Lookup<EnqueueMessageFn>(*library, "EnqueueMessage");
    found.svcNodeExists = Lookup<SvcNodeExistsFn>(*library, "SvcNodeExists");
    found.createSvcNode = Lookup<CreateSvcNodeFn>(*library, "CreateSvcNode");
    found.deleteSvcNode = Lookup<DeleteSvcNodeFn>(*library, "DeleteSvcNode");
    found.getGlobalTimeout = Lookup<GetGlobalTimeoutFn>(*library, "GetGlobalTimeout");
    found.setGlobalTimeout = Lookup<SetGlobalTimeoutFn>(*library, "SetGlobalTimeout");
    found.setLocalSysName = Lookup<SetLocalSysNameFn>(*library, "SetLocalSysName");
    found.localSysName = Lookup<LocalSysNameFn>(*library, "LocalSysName");
    found.enqueueMessage2 = Lookup<EnqueueMessage2Fn>(*library, "EnqueueMessage2");
    found.queue32LocalMACAddr = Lookup<Queue32LocalMACAddrFn>(*library, "Queue32LocalMACAddr");
    found.kovLocalUniqueID = Lookup<KovLocalUniqueIDFn>(*library, "KovLocalUniqueID");
    found.enqueueMessage4 = Lookup<EnqueueMessage4Fn>(*library, "EnqueueMessage4");
    found.kovUseInputDesktop = Lookup<KovUseInputDesktopFn>(*library, "KovUseInputDesktop");
    found.queue32SetFeatureFlags =
        Lookup<Queue32SetFeatureFlagsFn>(*library, "Queue32SetFeatureFlags");
    found.queue32GetFeatureFlags =
        Lookup<Queue32GetFeatureFlagsFn>(*library, "Queue32GetFeatureFlags");

    if (found.initApplication == nullptr || found.termApplication == nullptr ||
        found.allocateMessage == nullptr || found.freeMessage == nullptr ||
        found.enqueueMessage == nullptr || found.svcNodeExists == nullptr ||
        found.createSvcNode == nullptr || found.deleteSvcNode == nullptr) {
        delete library;
        ClearBindingLocked();
        return 0;
    }

    found.registeredCallback = &NodeMessageCallback;
    binding = found;
    if (binding.kovUseInputDesktop != nullptr) {
        binding.kovUseInputDesktop(static_cast<std::int32_t>(useInputDesktopFlag));
    }
    binding.initApplication();
    return 1;
}

int UnbindMessageQueueLibrary() {
    std::lock_guard<std::mutex> lock(bindMutex);
    delete binding.library;
    ClearBindingLocked();
    return 1;
}

int ShutdownMessageQueueLibrary() {
    {
        std::lock_guard<std::mutex> lock(bindMutex);
        if (binding.termApplication != nullptr) binding.termApplication();
    }
    return UnbindMessageQueueLibrary();
}

int SetUseInputDesktop(std::uint32_t flag) {
    {
        std::lock_guard<std::mutex> lock(bindMutex);
        useInputDesktopFlag = flag;
    }
    return BindMessageQueueLibrary();
}

std::int32_t CallSvcNodeExists(std::uint32_t value) {
    if (!BindMessageQueueLibrary() || binding.svcNodeExists == nullptr) return 0;
    return binding.svcNodeExists(value);
}

std::int32_t CallEnqueueMessage(void* message) {
    if (binding.enqueueMessage == nullptr) return 0;
    return binding.enqueueMessage(message);
}

std::int32_t CallEnqueueMessage4(void* message) {
    if (binding.enqueueMessage4 != nullptr) return binding.enqueueMessage4(message, 0);
    return CallEnqueueMessage(message) != 0 ? 0 : 255;
}

std::int32_t CallSetGlobalTimeout(std::uint32_t value) {
    if (binding.setGlobalTimeout == nullptr) return 0;
    return binding.setGlobalTimeout(value);
}

std::uint32_t CallLocalSysName() {
    if (!BindMessageQueueLibrary() || binding.localSysName == nullptr) return 0;
    return binding.localSysName();
}

std::int32_t CallSetLocalSysName(std::uint32_t value) {
    if (!BindMessageQueueLibrary() || binding.setLocalSysName == nullptr) return 0;
    return binding.setLocalSysName(value);
}

std::uint32_t CallQueue32GetFeatureFlags() {
    if (!BindMessageQueueLibrary() || binding.queue32GetFeatureFlags == nullptr) return 0;
    return binding.queue32GetFeatureFlags();
}

std::int32_t CallQueue32SetFeatureFlags(std::uint32_t value) {
    if (!BindMessageQueueLibrary() || binding.queue32SetFeatureFlags == nullptr) return 0;
    return binding.queue32SetFeatureFlags(value);
}

const std::uint8_t* CallQueue32LocalMACAddr() {
    if (!BindMessageQueueLibrary() || binding.queue32LocalMACAddr == nullptr) {
        return kZeroMacAddress;
    }
    return binding.queue32LocalMACAddr();
}

std::uint32_t CallKovLocalUniqueID() {
    if (!BindMessageQueueLibrary() || binding.kovLocalUniqueID == nullptr) return 0;
    return binding.kovLocalUniqueID();
}
