// UnicodeStr.h - UTF-16 text in the packed Unicode encoding.
//
// Packed Unicode, the form of every text inside an availability report. Each
// 16-bit unit is encoded on its own (surrogate pairs are not combined) into
// one to three bytes; the text ends with one zero byte, and no other byte of
// it is zero, so it is measured, copied and appended as an ordinary
// zero-terminated byte string.
//
//   bits 0-6 of a byte: one 7-bit group of the unit, least significant group
//                       first, after PackGroup
//   bit 7 (0x80):       set on every byte of a unit but its last
//
//   unit 0x0001-0x007F  PackGroup(u & 0x7F)
//   unit 0x0080-0x3FFF  0x80|PackGroup(u & 0x7F), PackGroup((u >> 7) & 0x7F)
//   unit 0x4000-0xFFFF  0x80|PackGroup(u & 0x7F), 0x80|PackGroup((u >> 7) & 0x7F),
//                       PackGroup(u >> 14)  (always 0x04, 0x08 or 0x0C)
//
// PackGroup swaps the two 2-bit fields of a group's low nibble and keeps its
// upper three bits; it is its own inverse (0x41 -> 0x44, 0x0C -> 0x03).
//
// Decoding (Str::GetUnicode) accepts any byte string without fault: a unit
// spread over more than three bytes keeps the low 16 bits of its groups, a
// malformed unit whose 16 bits come out zero (0x80 0x80 0x10) gives U+FFFD
// so that the decoded text keeps all its units, and trailing bytes whose
// last one still carries the continuation bit give no unit.
//
// Thread-safety: as Str.
#pragma once

#include <cstdint>

#include "text/Str.h"

class UnicodeStr : public Str {
public:
    // Packs the zero-terminated UTF-16 text into a block of exactly the
    // packed length plus one. A null pointer packs as the empty text.
    explicit UnicodeStr(const WCHAR* text);
    ~UnicodeStr() override = default;

    UnicodeStr(const UnicodeStr&) = default;
    UnicodeStr& operator=(const UnicodeStr&) = default;

    // Decodes the whole packed text (null reads as empty) and its terminator
    // into `out`, which must hold the number of units GetUnicode(nullptr, 0)
    // reports for it. Returns out.
    static WCHAR* UnpackUnicode(const char* packed, WCHAR* out);
};

// The group transform of the packed encoding (see above).
constexpr std::uint8_t PackGroup(std::uint8_t group) noexcept {
    return static_cast<std::uint8_t>(((group & 0x03) << 2) | ((group & 0x0C) >> 2) | (group & 0x70));
}
