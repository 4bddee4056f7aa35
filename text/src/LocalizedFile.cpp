// LocalizedFile.cpp - the search for a file in the language directories
// next to the executable.
#include <cstring>
#include <string>

#include "text/ResourceLoader.h"
#include "text/ResourceLoaderTesting.h"

namespace {

// The path buffer of the search: the executable's directory plus any
// candidate must fit with its terminator.
constexpr std::size_t kPathBufferSize = 255;
// Language names copied out: 4 characters and the terminator.
constexpr std::size_t kLanguageOutSize = 5;

std::string executablePathOverride;
bool useExecutablePathOverride = false;

// The executable's full path, or "" when it is unknown or did not fit.
std::string ExecutablePath() {
    if (useExecutablePathOverride) return executablePathOverride;
    char path[kPathBufferSize];
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, kPathBufferSize);
    // A full buffer may hold a cut path.
    if (length == 0 || length >= kPathBufferSize - 1) return {};
    return std::string(path, length);
}

bool Exists(const std::string& path) {
    OFSTRUCT info{};
    return OpenFile(path.c_str(), &info, OF_EXIST) != HFILE_ERROR;
}

}  // namespace

namespace text_testing {

void SetExecutablePathOverride(const char* path) {
    useExecutablePathOverride = path != nullptr;
    executablePathOverride = path ? path : "";
}

}  // namespace text_testing

Str FindLocalizedFile(const char* file, const char* language, int relative, char* languageOut) {
    if (file == nullptr || *file == '\0') return Str();
    if (language == nullptr) language = "";
    const std::size_t languageLength = std::strlen(language);
    if (languageOut != nullptr && languageLength >= kLanguageOutSize) return Str();

    const std::string executable = ExecutablePath();
    const std::size_t slash = executable.find_last_of('/');
    if (slash == std::string::npos) return Str();
    const std::string directory = executable.substr(0, slash + 1);

    std::string found;   // tail of the last path found
    // A candidate that would not fit the path buffer is refused, as if absent.
    const auto tryTail = [&](const std::string& tail) {
        if (directory.size() + tail.size() + 1 > kPathBufferSize) return false;
        if (!Exists(directory + tail)) return false;
        found = tail;
        return true;
    };
    const auto giveLanguage = [&](const char* name, std::size_t length) {
        if (languageOut == nullptr) return;
        std::memcpy(languageOut, name, length);
        languageOut[length] = '\0';
    };

    if (tryTail(std::string(language) + "/" + file)) {
        giveLanguage(language, languageLength);
    } else if (languageLength >= 4 && tryTail(std::string(language, 2) + "/" + file)) {
        giveLanguage(language, 2);
    } else {
        const bool plain = tryTail(file);
        if (plain && languageOut != nullptr) {
            giveLanguage(language, languageLength);
        } else if (tryTail(std::string("en/") + file)) {
            giveLanguage("en", 2);
        }
    }
    if (found.empty()) return Str();
    return Str(relative ? found.c_str() : (directory + found).c_str());
}

Str FindLanguageFile(const char* file, int relative) {
    return FindLocalizedFile(file, GetLanguageDirectory(), relative, nullptr);
}
