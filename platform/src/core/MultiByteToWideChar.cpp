// UTF-8 to UTF-16 with the sizing rules of MultiByteToWideChar.
#include <cstring>
#include <vector>

#include "win32/win32.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Decodes one sequence at text[i] (i < length) and advances i. A malformed
// sequence yields U+FFFD for its longest valid prefix (at least one byte),
// the replacement practice Unicode recommends.
char32_t DecodeOne(const unsigned char* text, std::size_t length, std::size_t& i) {
    const unsigned char lead = text[i++];
    if (lead < 0x80) return lead;
    int continuation = 0;
    unsigned char low = 0x80, high = 0xBF;   // allowed range of the second byte
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuation = 1;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuation = 2;
        value = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;            // no overlong forms
        if (lead == 0xED) high = 0x9F;           // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuation = 3;
        value = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;            // no overlong forms
        if (lead == 0xF4) high = 0x8F;           // nothing above U+10FFFF
    } else {
        return kReplacement;                     // stray continuation, C0, C1, F5..FF
    }
    for (int k = 0; k < continuation; ++k) {
        if (i >= length) return kReplacement;
        const unsigned char byte = text[i];
        const unsigned char min = k == 0 ? low : 0x80;
        const unsigned char max = k == 0 ? high : 0xBF;
        if (byte < min || byte > max) return kReplacement;   // byte starts the next sequence
        value = (value << 6) | (byte & 0x3Fu);
        ++i;
    }
    return value;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, const char* source, int sourceLength,
                        WCHAR* dest, int destSize) {
    if ((codePage != CP_ACP && codePage != CP_UTF8) || source == nullptr || sourceLength == 0 ||
        sourceLength < -1 || destSize < 0 || (destSize > 0 && dest == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length =
        sourceLength == -1 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceLength);
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);

    std::vector<WCHAR> units;
    units.reserve(length);
    for (std::size_t i = 0; i < length;) {
        const char32_t c = DecodeOne(bytes, length, i);
        if (c >= 0x10000) {
            const char32_t offset = c - 0x10000;
            units.push_back(static_cast<WCHAR>(0xD800 + (offset >> 10)));
            units.push_back(static_cast<WCHAR>(0xDC00 + (offset & 0x3FF)));
        } else {
            units.push_back(static_cast<WCHAR>(c));
        }
    }
    if (units.size() > static_cast<std::size_t>(INT32_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int needed = static_cast<int>(units.size());
    if (destSize == 0) return needed;
    if (needed > destSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dest, units.data(), units.size() * sizeof(WCHAR));
    return needed;
}
