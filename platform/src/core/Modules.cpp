// Module loading: Windows library names mapped to shared objects, searched
// in a fixed order, reference counted, plus the executable and the KERNEL32
// pseudo module.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "internal/KernelObject.h"
#include "internal/Module.h"
#include "win32/win32_testing.h"

// One record per module file the process has loaded through this layer.
// Records are never freed, so an HMODULE stays a valid pointer for the
// life of the process; a freed module keeps its record with dl null and is
// revived by the next load of the same file.
struct ModuleObject {
    enum class Kind { Executable, System, Library };
    Kind kind = Kind::Library;
    std::string path;            // full path; "KERNEL32.DLL" for the pseudo module
    void* dl = nullptr;          // dlopen handle; null for System and for freed libraries
    unsigned long references = 0;   // LoadLibraryA calls not yet undone (Library only)
};

namespace {

// Thread-safety: every member is guarded by mutex. dlopen and dlclose run
// outside it, because a library's constructors and destructors may call
// back into this layer.
struct ModuleRegistry {
    std::mutex mutex;
    ModuleObject executable;
    ModuleObject system;
    std::vector<std::unique_ptr<ModuleObject>> libraries;
    std::string searchOverride;   // empty: none
};

// Lives for the whole process: library threads may look modules up while
// static objects are being destroyed.
ModuleRegistry& Registry() {
    static ModuleRegistry* const registry = [] {
        auto* r = new ModuleRegistry;
        r->executable.kind = ModuleObject::Kind::Executable;
        char path[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        if (length > 0) r->executable.path.assign(path, static_cast<std::size_t>(length));
        r->executable.dl = dlopen(nullptr, RTLD_NOW);
        r->system.kind = ModuleObject::Kind::System;
        r->system.path = "KERNEL32.DLL";
        return r;
    }();
    return *registry;
}

std::atomic<UINT> errorMode{0};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string WithSlashes(const char* path) {
    std::string text(path);
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

bool IsKernel32(const char* name) {
    std::string file = WithSlashes(name);
    file = Lower(file.substr(file.find_last_of('/') + 1));
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".dll") == 0) file.resize(file.size() - 4);
    return file == "kernel32";
}

bool IsSharedObjectName(const std::string& file) {
    return (file.size() > 3 && file.compare(file.size() - 3, 3, ".so") == 0) ||
           file.find(".so.") != std::string::npos;
}

// "DIR\NAME.DLL" -> "DIR/libname.so"; a shared-object name stays as it is.
std::string LinuxLibraryName(const char* windowsName) {
    const std::string path = WithSlashes(windowsName);
    const std::size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string file = path.substr(directory.size());
    if (IsSharedObjectName(file)) return path;
    file = Lower(file);
    const std::size_t dot = file.find_last_of('.');
    if (dot != std::string::npos && dot != 0) file.resize(dot);
    return directory + "lib" + file + ".so";
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FileOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// The full path of a module that dlopen loaded.
std::string LoadedPath(void* dl, const std::string& fallback) {
    link_map* map = nullptr;
    if (dlinfo(dl, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr &&
        map->l_name[0] != '\0') {
        return RealPath(map->l_name);
    }
    return RealPath(fallback);
}

// Called with registry.mutex held. Libraries only count while loaded.
bool IsKnown(const ModuleRegistry& registry, const ModuleObject* module) {
    if (module == &registry.executable || module == &registry.system) return true;
    return std::any_of(registry.libraries.begin(), registry.libraries.end(),
                       [module](const auto& library) { return library.get() == module; });
}

bool IsLoaded(const ModuleRegistry& registry, const ModuleObject* module) {
    return IsKnown(registry, module) &&
           (module->kind != ModuleObject::Kind::Library || module->dl != nullptr);
}

// Opens the mapped name from the search order of LoadLibraryA. Null when no
// candidate exists or the first existing one cannot be loaded.
void* OpenLibrary(const std::string& mapped) {
    constexpr int flags = RTLD_NOW | RTLD_LOCAL;
    if (mapped.find('/') != std::string::npos) return dlopen(mapped.c_str(), flags);

    std::vector<std::string> directories;
    {
        ModuleRegistry& registry = Registry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        if (!registry.searchOverride.empty()) directories.push_back(registry.searchOverride);
        if (!registry.executable.path.empty()) directories.push_back(DirectoryOf(registry.executable.path));
    }
    if (const char* list = std::getenv("ORVANE_LIBRARY_PATH")) {
        const std::string paths(list);
        std::size_t start = 0;
        while (start <= paths.size()) {
            const std::size_t colon = std::min(paths.find(':', start), paths.size());
            if (colon > start) directories.push_back(paths.substr(start, colon - start));
            start = colon + 1;
        }
    }
    for (const std::string& directory : directories) {
        const std::string candidate = directory + "/" + mapped;
        // The first file that exists decides: one that is there but cannot
        // be loaded is an error, not a reason to take another copy.
        if (access(candidate.c_str(), F_OK) == 0) return dlopen(candidate.c_str(), flags);
    }
    return dlopen(mapped.c_str(), flags);
}

}  // namespace

UINT SetErrorMode(UINT mode) { return errorMode.exchange(mode); }

HMODULE LoadLibraryA(const char* fileName) {
    if (fileName == nullptr || fileName[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ModuleRegistry& registry = Registry();
    if (IsKernel32(fileName)) return &registry.system;

    const std::string mapped = LinuxLibraryName(fileName);
    void* dl = OpenLibrary(mapped);
    if (dl == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const std::string path = LoadedPath(dl, mapped);

    ModuleObject* module = nullptr;
    bool alreadyOpen = false;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        for (auto& library : registry.libraries) {
            if (library->dl == dl) {
                module = library.get();
                alreadyOpen = true;
                break;
            }
        }
        if (module == nullptr) {
            for (auto& library : registry.libraries) {
                if (library->dl == nullptr && library->path == path) {
                    module = library.get();
                    break;
                }
            }
        }
        if (module == nullptr) {
            registry.libraries.push_back(std::make_unique<ModuleObject>());
            module = registry.libraries.back().get();
            module->path = path;
        }
        module->dl = dl;
        ++module->references;
    }
    // One dlopen reference per record; the count lives in the record.
    if (alreadyOpen) dlclose(dl);
    return module;
}

BOOL FreeLibrary(HMODULE module) {
    ModuleRegistry& registry = Registry();
    void* toClose = nullptr;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        if (!IsLoaded(registry, module)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (module->kind != ModuleObject::Kind::Library) return TRUE;
        if (--module->references == 0) toClose = std::exchange(module->dl, nullptr);
    }
    if (toClose != nullptr) dlclose(toClose);
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (procName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Values below 0x10000 are export ordinals on Windows; there are none here.
    if (reinterpret_cast<std::uintptr_t>(procName) < 0x10000u) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    ModuleRegistry& registry = Registry();
    void* address = nullptr;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        if (!IsLoaded(registry, module)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        if (module->dl != nullptr) address = dlsym(module->dl, procName);
    }
    if (address == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    FARPROC procedure = nullptr;
    static_assert(sizeof procedure == sizeof address);
    std::memcpy(&procedure, &address, sizeof procedure);
    return procedure;
}

HMODULE GetModuleHandleA(const char* moduleName) {
    ModuleRegistry& registry = Registry();
    if (moduleName == nullptr) return &registry.executable;
    if (IsKernel32(moduleName)) return &registry.system;

    const std::string mapped = LinuxLibraryName(moduleName);
    const bool byPath = mapped.find('/') != std::string::npos;
    const std::string wanted = byPath ? RealPath(mapped) : mapped;
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (auto& library : registry.libraries) {
        if (library->dl == nullptr) continue;
        if (byPath ? library->path == wanted : FileOf(library->path) == wanted) return library.get();
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, char* fileName, DWORD size) {
    const std::string path = win32_internal::PathOf(module);   // sets the error when empty
    if (path.empty()) {
        if (fileName != nullptr && size > 0) fileName[0] = '\0';
        return 0;
    }
    if (fileName == nullptr || size == 0) {
        SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::size_t copied = std::min<std::size_t>(path.size(), size - 1);
    std::memcpy(fileName, path.data(), copied);
    fileName[copied] = '\0';
    SetLastError(copied < path.size() ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
    return static_cast<DWORD>(copied);
}

namespace win32_internal {

void* DlHandleOf(HMODULE module) {
    ModuleRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (module == nullptr) module = &registry.executable;
    if (!IsLoaded(registry, module) || module->dl == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return module->dl;
}

std::string PathOf(HMODULE module) {
    ModuleRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (module == nullptr) module = &registry.executable;
    if (!IsLoaded(registry, module) || module->path.empty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return {};
    }
    return module->path;
}

}  // namespace win32_internal

namespace win32_testing {

void SetModuleSearchOverride(const char* directory) {
    ModuleRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.searchOverride = directory != nullptr ? WithSlashes(directory) : std::string();
}

}  // namespace win32_testing
