// Conversion.h - one iconv conversion of a zero-terminated text (internal).
#pragma once

#include <cstdint>

namespace dozivo32 {

enum class Unit { Byte, Utf16 };

// Converts the zero-terminated `source` (of `sourceUnit`s) from encoding
// `from` to `to` and applies the entries' sizing/converting contract (see
// dozivo32.h). Returns 0 when the source cannot be converted.
std::uint32_t Convert(const char* from, Unit sourceUnit, const char* to, Unit destinationUnit,
                      const void* source, void* destination, std::uint32_t destinationSize,
                      std::uint32_t setting, std::uint32_t flags);

}  // namespace dozivo32
