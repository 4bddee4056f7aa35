#include "text/Utf16.h"

#include <cstdint>

namespace {

void AppendCodePoint(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool IsHigh(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t unit = text[i];
        if (IsHigh(unit) && i + 1 < text.size() && IsLow(text[i + 1])) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (IsHigh(unit) || IsLow(unit)) {
            unit = 0xFFFD;
        }
        AppendCodePoint(out, unit);
    }
    return out;
}

std::string Utf16ToUtf8(const char16_t* text) {
    return text == nullptr ? std::string() : Utf16ToUtf8(std::u16string_view(text));
}
