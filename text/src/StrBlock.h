// StrBlock.h - heap blocks of Str (internal to text/).
#pragma once

#include <cstdint>
#include <cstring>
#include <new>

namespace text_internal {

// The shared empty text that stands in for a null argument or a missing text.
inline const char* OrEmpty(const char* text) noexcept { return text ? text : ""; }

// A block of `size` bytes. Str records sizes in 32 bits, so a larger request
// is refused as an allocation failure.
inline char* AllocateBlock(std::uint64_t size) {
    if (size == 0 || size > UINT32_MAX) throw std::bad_alloc();
    return new char[static_cast<std::size_t>(size)];
}

inline std::uint64_t Measure(const char* text) noexcept { return std::strlen(text); }

}  // namespace text_internal
