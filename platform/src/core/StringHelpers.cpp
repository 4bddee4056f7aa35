// lstrcmpA, lstrcmpiA and CharUpperA on byte text.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include "win32/win32.h"

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

// Folds A-Z only: bytes of multi-byte UTF-8 characters must stay intact.
std::string AsciiLower(const char* text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

}  // namespace

int lstrcmpA(const char* a, const char* b) {
    // A null text sorts before any text, as on Windows.
    if (a == nullptr || b == nullptr) return (a != nullptr) - (b != nullptr);
    return Sign(std::strcoll(a, b));
}

int lstrcmpiA(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return (a != nullptr) - (b != nullptr);
    return Sign(std::strcoll(AsciiLower(a).c_str(), AsciiLower(b).c_str()));
}

char* CharUpperA(char* text) {
    // Windows passes a single character in the low word of the pointer.
    const auto value = reinterpret_cast<std::uintptr_t>(text);
    if (value < 0x10000u) {
        const auto c = static_cast<unsigned char>(value & 0xFFu);
        const auto upper = (c >= 'a' && c <= 'z') ? static_cast<std::uintptr_t>(c - 'a' + 'A') : c;
        return reinterpret_cast<char*>(upper);
    }
    for (char* p = text; *p != '\0'; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    }
    return text;
}
