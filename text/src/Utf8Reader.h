// Utf8Reader.h - the UTF-8 reading rules of the text library (internal).
//
// Sequences of one to three bytes give one 16-bit unit each; the second and
// third bytes' top bits are not examined and overlong forms are accepted.
// Input outside that contract never makes the reader pass the terminator:
//   - a stray continuation byte (10xxxxxx where a sequence begins) gives
//     U+FFFD and the reader goes on with the next byte;
//   - a sequence cut short by the terminator gives U+FFFD and ends the text;
//   - a four-byte sequence (lead 0xF0 to 0xFF) gives one U+FFFD together with
//     the continuation bytes, at most three, that follow its lead;
//   - an overlong form of U+0000 (0xC0 0x80 ...) gives U+FFFD, since a zero
//     unit would end the UTF-16 text early and cut the rest off.
// Each case marks the text malformed. A reader produces at most one unit per
// byte that starts a sequence (bit 7 clear, or bits 7 and 6 set) plus one per
// stray continuation byte.
#pragma once

#include <cstdint>

namespace text_internal {

constexpr char16_t kReplacementUnit = 0xFFFD;

struct Utf8Result {
    std::uint32_t units = 0;   // decoded units, terminator not counted
    bool malformed = false;
};

inline bool IsContinuation(std::uint8_t b) noexcept { return (b & 0xC0) == 0x80; }

// Calls sink(unit) for every unit of the zero-terminated UTF-8 text.
template <class Sink>
Utf8Result ReadUtf8(const char* text, Sink&& sink) {
    Utf8Result result;
    const auto* p = reinterpret_cast<const std::uint8_t*>(text);
    const auto emit = [&](char16_t unit) {
        sink(unit);
        ++result.units;
    };
    const auto emitDecoded = [&](char16_t unit) {
        if (unit == 0) {
            emit(kReplacementUnit);
            result.malformed = true;
        } else {
            emit(unit);
        }
    };
    while (*p != 0) {
        const std::uint8_t b = *p;
        if (b < 0x80) {
            emit(b);
            p += 1;
        } else if (IsContinuation(b)) {
            emit(kReplacementUnit);
            result.malformed = true;
            p += 1;
        } else if ((b & 0xE0) == 0xC0) {
            if (p[1] == 0) {
                emit(kReplacementUnit);
                result.malformed = true;
                break;
            }
            emitDecoded(static_cast<char16_t>(((b & 0x1F) << 6) | (p[1] & 0x3F)));
            p += 2;
        } else if ((b & 0xF0) == 0xE0) {
            if (p[1] == 0 || p[2] == 0) {
                emit(kReplacementUnit);
                result.malformed = true;
                break;
            }
            emitDecoded(static_cast<char16_t>(((b & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F)));
            p += 3;
        } else {
            emit(kReplacementUnit);
            result.malformed = true;
            p += 1;
            for (int i = 0; i < 3 && IsContinuation(*p); ++i) ++p;
        }
    }
    return result;
}

// Bytes that start a sequence: bit 7 clear, or bits 7 and 6 both set.
inline std::uint32_t CountSequenceStarts(const char* text) noexcept {
    std::uint32_t starts = 0;
    for (const auto* p = reinterpret_cast<const std::uint8_t*>(text); *p != 0; ++p) {
        if (!IsContinuation(*p)) ++starts;
    }
    return starts;
}

}  // namespace text_internal
