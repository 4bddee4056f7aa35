// UnicodeStr.cpp - packing UTF-16 text and reading packed text back.
#include "text/UnicodeStr.h"

#include <memory>

#include "StrBlock.h"

namespace {

constexpr std::uint8_t kContinuation = 0x80;
constexpr WCHAR kReplacementUnit = 0xFFFD;

std::uint64_t PackedSize(const WCHAR* text) noexcept {
    std::uint64_t size = 1;
    for (const WCHAR* p = text; *p != 0; ++p) size += *p < 0x80 ? 1 : (*p < 0x4000 ? 2 : 3);
    return size;
}

char Byte(unsigned value) noexcept { return static_cast<char>(static_cast<std::uint8_t>(value)); }

}  // namespace

UnicodeStr::UnicodeStr(const WCHAR* text) {
    static constexpr WCHAR kEmpty[] = {0};
    const WCHAR* source = text ? text : kEmpty;
    const std::uint64_t size = PackedSize(source);
    std::unique_ptr<char[]> block(text_internal::AllocateBlock(size));
    char* out = block.get();
    for (const WCHAR* p = source; *p != 0; ++p) {
        const unsigned u = *p;
        const auto low = PackGroup(static_cast<std::uint8_t>(u & 0x7F));
        const auto middle = PackGroup(static_cast<std::uint8_t>((u >> 7) & 0x7F));
        if (u < 0x80) {
            *out++ = Byte(low);
        } else if (u < 0x4000) {
            *out++ = Byte(kContinuation | low);
            *out++ = Byte(middle);
        } else {
            *out++ = Byte(kContinuation | low);
            *out++ = Byte(kContinuation | middle);
            *out++ = Byte(PackGroup(static_cast<std::uint8_t>(u >> 14)));
        }
    }
    *out = '\0';
    Adopt(block.release(), static_cast<std::uint32_t>(size));
}

std::uint32_t Str::GetUnicode(WCHAR* out, std::uint32_t count) const {
    const char* text = text_internal::OrEmpty(GetText());
    std::uint32_t value = 0;
    unsigned position = 0;
    std::uint32_t units = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto b = static_cast<std::uint8_t>(*p);
        // Groups from bit 16 up cannot reach the unit; dropping them keeps the
        // shift defined for units spread over any number of bytes.
        if (position < 16) value |= static_cast<std::uint32_t>(PackGroup(b & 0x7F)) << position;
        position += 7;
        if ((b & kContinuation) == 0) {
            // Only a malformed unit comes out zero ("80 80 10"); a zero
            // unit would end the UTF-16 text before its last unit.
            const auto unit = static_cast<WCHAR>(value & 0xFFFF);
            if (out != nullptr && units < count) out[units] = unit != 0 ? unit : kReplacementUnit;
            ++units;
            value = 0;
            position = 0;
        } else if (position > 16) {
            position = 16;   // keeps the counter bounded; no further group lands
        }
    }
    if (out != nullptr && units < count) out[units] = 0;
    return units + 1;
}

WCHAR* UnicodeStr::UnpackUnicode(const char* packed, WCHAR* out) {
    const Str copy(packed);
    const std::uint32_t size = copy.GetUnicode(nullptr, 0);
    copy.GetUnicode(out, size);
    return out;
}
