// StrConversion.cpp - code-page and UTF-8 conversions of a Str's text.
//
// Byte text <-> UTF-16 goes through the text-conversion library under its
// setting 42; the UTF-8 side is done here. Every conversion builds its new
// block completely before it releases the old one, so a conversion that
// fails (result 0 or an allocation failure) leaves the Str as it was. A Str
// without text has nothing to convert: each conversion returns 0.
#include <memory>

#include "StrBlock.h"
#include "Utf8Reader.h"
#include "dozivo32/dozivo32.h"
#include "text/Str.h"

namespace {

constexpr std::uint32_t kSetting = kDozivoSettingWindows1252;

std::uint32_t Utf8Size(char16_t unit) noexcept { return unit < 0x80 ? 1u : (unit < 0x800 ? 2u : 3u); }

}  // namespace

int Str::ConvertByEntry(ByteEntry entry) {
    if (text_ == nullptr) return 0;
    const std::uint32_t size = entry(text_, nullptr, 0, kSetting, 0);
    if (size == 0) return 0;
    std::unique_ptr<char[]> block(text_internal::AllocateBlock(size));
    block[0] = '\0';
    entry(text_, block.get(), size, kSetting, 0);
    block[size - 1] = '\0';   // a text whatever the library wrote
    Adopt(block.release(), size);
    return 1;
}

int Str::ConvertByEntry5() { return ConvertByEntry(&DozivoEntry5); }
int Str::ConvertByEntry8() { return ConvertByEntry(&DozivoEntry8); }
int Str::ConvertByEntry11() { return ConvertByEntry(&DozivoEntry11); }

int Str::ConvertToUtf8() {
    if (text_ == nullptr) return 0;
    const std::uint32_t units = DozivoEntry3(text_, nullptr, 0, kSetting, 0);
    if (units == 0) return 0;
    std::unique_ptr<char16_t[]> wide(new char16_t[units]());
    DozivoEntry3(text_, wide.get(), units, kSetting, 0);
    wide[units - 1] = 0;

    // All units are written, the terminating zero unit included: it becomes
    // the text's terminator.
    std::uint64_t size = 0;
    for (std::uint32_t i = 0; i < units; ++i) size += Utf8Size(wide[i]);
    std::unique_ptr<char[]> block(text_internal::AllocateBlock(size));
    auto* out = reinterpret_cast<unsigned char*>(block.get());
    for (std::uint32_t i = 0; i < units; ++i) {
        const unsigned u = wide[i];
        if (u < 0x80) {
            *out++ = static_cast<unsigned char>(u);
        } else if (u < 0x800) {
            *out++ = static_cast<unsigned char>(0xC0 | (u >> 6));
            *out++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        } else {
            *out++ = static_cast<unsigned char>(0xE0 | (u >> 12));
            *out++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
            *out++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        }
    }
    Adopt(block.release(), static_cast<std::uint32_t>(size));
    return 1;
}

int Str::ConvertFromUtf8() {
    if (text_ == nullptr) return 0;
    // Sized by counting sequence starts; the store below is bounded by that
    // size whatever the text holds, and malformed text is refused.
    const std::uint64_t starts = text_internal::CountSequenceStarts(text_);
    const std::uint64_t capacity = starts + 1;
    if (capacity > UINT32_MAX) throw std::bad_alloc();
    std::unique_ptr<char16_t[]> wide(new char16_t[capacity]);
    std::uint64_t j = 0;
    const auto read = text_internal::ReadUtf8(text_, [&](char16_t unit) {
        if (j < starts) wide[j] = unit;
        ++j;
    });
    if (read.malformed || j > starts) return 0;
    wide[j] = 0;

    const std::uint32_t size = DozivoEntry1(wide.get(), nullptr, 0, kSetting, 0);
    if (size == 0) return 0;
    std::unique_ptr<char[]> block(text_internal::AllocateBlock(size));
    block[0] = '\0';
    DozivoEntry1(wide.get(), block.get(), size, kSetting, 0);
    block[size - 1] = '\0';
    Adopt(block.release(), size);
    return 1;
}

std::uint32_t Str::Utf8ToUnicode(WCHAR* out, std::uint32_t count) const {
    std::uint32_t j = 0;
    text_internal::ReadUtf8(text_internal::OrEmpty(text_), [&](char16_t unit) {
        if (out != nullptr && j < count) out[j] = unit;
        ++j;
    });
    if (out != nullptr && j < count) out[j] = 0;
    return j + 1;
}
