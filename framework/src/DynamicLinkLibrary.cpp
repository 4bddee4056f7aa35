#include "framework/DynamicLinkLibrary.h"

#include <array>

namespace {

// Critical errors fail without a dialog, and no dialog for a file that
// cannot be opened.
constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
constexpr std::size_t kMaxModulePath = 256;

}  // namespace

DynamicLinkLibrary::DynamicLinkLibrary(const char* fileName) {
    if (fileName == nullptr) return;
    path = fileName;
    baseName = BaseNameOf(path);
    Load();
}

DynamicLinkLibrary::DynamicLinkLibrary(HMODULE module) : handle(module), wrapped(true) {
    std::array<char, kMaxModulePath> buffer{};
    const DWORD written =
        GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    path.assign(buffer.data(), written < buffer.size() ? written : 0);
    baseName = BaseNameOf(path);
}

DynamicLinkLibrary::~DynamicLinkLibrary() {
    if (handle != nullptr && loadCount != 0) {
        FreeLibrary(handle);
        handle = nullptr;
    }
}

int DynamicLinkLibrary::Load() {
    if (handle != nullptr) {
        // A wrapped module is someone else's: counting a load here would
        // let Unload or the destructor release a share this object never took.
        if (!wrapped) ++loadCount;
        return 1;
    }
    const UINT previousMode = SetErrorMode(kQuietErrorMode);
    handle = LoadLibraryA(path.c_str());
    SetErrorMode(previousMode);
    if (handle == nullptr) {
        loadCount = 0;
        return 0;
    }
    loadCount = 1;
    return 1;
}

int DynamicLinkLibrary::Unload() {
    if (handle != nullptr && loadCount != 0) {
        if (--loadCount == 0) {
            FreeLibrary(handle);
            handle = nullptr;
        }
    }
    return 1;
}

FARPROC DynamicLinkLibrary::FindEntry(const char* name) const {
    if (handle == nullptr || name == nullptr) return nullptr;
    return GetProcAddress(handle, name);
}

std::string DynamicLinkLibrary::BaseNameOf(const std::string& fullPath) {
    std::size_t start = 0;
    // Drive ("C:"), then directories ending in either separator.
    if (fullPath.size() >= 2 && fullPath[1] == ':') start = 2;
    const std::size_t lastSeparator = fullPath.find_last_of("/\\");
    if (lastSeparator != std::string::npos && lastSeparator + 1 > start) start = lastSeparator + 1;
    std::string name = fullPath.substr(start);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.resize(dot);
    if (name.size() > 255) name.resize(255);
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return name;
}
