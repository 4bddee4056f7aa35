// ResourceLoader.cpp - load-once of the resource libraries and the string
// lookups that use them.
#include "text/ResourceLoader.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "StrBlock.h"
#include "text/ResourceLoaderTesting.h"

namespace {

constexpr std::size_t kNameFieldSize = 32;
constexpr const char kDllExtension[] = ".dll";
constexpr std::size_t kExtensionLength = 4;
constexpr int kExitNoResourceLibrary = 99;
constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
// The Str constructor loads at most 255 characters.
constexpr int kResourceStringBufferSize = 256;

char resourceLibraryName[kNameFieldSize] = {};
HMODULE defaultModule = nullptr;
HMODULE preferredModule = nullptr;
HMODULE resourceModule = nullptr;
HMODULE namedLibrary = nullptr;
HMODULE languageLibrary = nullptr;
int resourcesLoaded = 0;
bool exitRoutineRegistered = false;

bool EndsWithDll(const char* name, std::size_t length) {
    return length >= kExtensionLength && lstrcmpiA(name + length - kExtensionLength, kDllExtension) == 0;
}

// Fits the 32-byte field, and the 32-byte search copy once ".dll" is added.
bool NameFits(const char* name) {
    const std::size_t length = std::strlen(name);
    if (length >= kNameFieldSize) return false;
    return EndsWithDll(name, length) || length + kExtensionLength < kNameFieldSize;
}

// The module a lookup prefers: PreferredModule, else the language library.
HMODULE Preferred() { return preferredModule != nullptr ? preferredModule : languageLibrary; }

void EnsureLoaded() {
    if (resourcesLoaded == 0) LoadResourceLibraries();
}

void FreeAtExit() { FreeResourceLibraries(); }

}  // namespace

int SetResourceLibraryName(const char* name) {
    if (name == nullptr) name = "";
    if (!NameFits(name)) return 0;
    std::memset(resourceLibraryName, 0, sizeof resourceLibraryName);
    std::memcpy(resourceLibraryName, name, std::strlen(name));
    return 1;
}

void SetDefaultModule(HMODULE module) { defaultModule = module; }
void SetPreferredModule(HMODULE module) { preferredModule = module; }

void LoadResourceLibraries() {
    if (resourcesLoaded != 0) return;
    if (resourceLibraryName[0] == '\0' || !NameFits(resourceLibraryName)) {
        resourceModule = defaultModule;
        resourcesLoaded = 1;
        return;
    }
    char fileName[kNameFieldSize] = {};
    const std::size_t length = std::strlen(resourceLibraryName);
    std::memcpy(fileName, resourceLibraryName, length);
    if (!EndsWithDll(fileName, length)) std::memcpy(fileName + length, kDllExtension, kExtensionLength);

    const Str path = FindLanguageFile(fileName, 0);
    if (path.Length() > 0) {
        const UINT previousMode = SetErrorMode(kQuietErrorMode);
        languageLibrary = LoadLibraryA(path.GetText());
        SetErrorMode(previousMode);
    }
    resourceModule = LoadLibraryA(resourceLibraryName);
    if (resourceModule != nullptr) {
        namedLibrary = resourceModule;
    } else if (languageLibrary == nullptr) {
        std::exit(kExitNoResourceLibrary);
    }
    if (!exitRoutineRegistered) {
        exitRoutineRegistered = true;
        std::atexit(FreeAtExit);
    }
    resourcesLoaded = 1;
}

void FreeResourceLibraries() {
    if (namedLibrary != nullptr) {
        FreeLibrary(namedLibrary);
        namedLibrary = nullptr;
    }
    if (languageLibrary != nullptr) {
        FreeLibrary(languageLibrary);
        languageLibrary = nullptr;
    }
}

HINSTANCE GetResourceInstance() {
    EnsureLoaded();
    const HMODULE preferred = Preferred();
    return preferred != nullptr ? preferred : resourceModule;
}

int LoadResString(UINT id, HINSTANCE module, char* buffer, int size) {
    EnsureLoaded();
    if (module == nullptr) {
        const HMODULE preferred = Preferred();
        if (preferred != nullptr && LoadResString(id, preferred, buffer, size) != 0) return 1;
        if (resourceModule != nullptr && LoadResString(id, resourceModule, buffer, size) != 0) return 1;
    }
    return LoadStringA(module, id, buffer, size);
}

Str::Str(UINT id, HINSTANCE module) {
    EnsureLoaded();
    if (module == nullptr) module = Preferred();
    if (module == nullptr) module = resourceModule;
    char loaded[kResourceStringBufferSize];
    const int length = LoadStringA(module, id, loaded, kResourceStringBufferSize);
    if (length <= 0) return;
    const auto size = static_cast<std::uint32_t>(length) + 1;
    std::unique_ptr<char[]> block(text_internal::AllocateBlock(size));
    std::memcpy(block.get(), loaded, size);
    block[size - 1] = '\0';
    Adopt(block.release(), size);
}

namespace text_testing {

void ResetResourceLoader() {
    FreeResourceLibraries();
    std::memset(resourceLibraryName, 0, sizeof resourceLibraryName);
    defaultModule = nullptr;
    preferredModule = nullptr;
    resourceModule = nullptr;
    resourcesLoaded = 0;
}

HMODULE NamedLibrary() { return namedLibrary; }
HMODULE LanguageLibrary() { return languageLibrary; }
HMODULE ResourceModule() { return resourceModule; }
bool ResourcesLoaded() { return resourcesLoaded != 0; }

}  // namespace text_testing
