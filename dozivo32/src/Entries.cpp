// Entries.cpp - the exported entries of the text-conversion library.
#include "Conversion.h"
#include "dozivo32/dozivo32.h"

namespace {

// Names of the encodings in the C library's iconv.
constexpr const char* kByteText = "WINDOWS-1252";
constexpr const char* kOem = "IBM850";
constexpr const char* kLatin9 = "ISO-8859-15";
constexpr const char* kUtf16 =
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    "UTF-16LE";
#else
    "UTF-16BE";
#endif

using dozivo32::Convert;
using dozivo32::Unit;

}  // namespace

#define DOZIVO_EXPORT __attribute__((visibility("default")))

extern "C" {

DOZIVO_EXPORT std::uint32_t DozivoEntry1(const void* source, void* destination, std::uint32_t destinationSize,
                                         std::uint32_t setting, std::uint32_t flags) {
    return Convert(kUtf16, Unit::Utf16, kByteText, Unit::Byte, source, destination, destinationSize, setting,
                   flags);
}

DOZIVO_EXPORT std::uint32_t DozivoEntry3(const void* source, void* destination, std::uint32_t destinationSize,
                                         std::uint32_t setting, std::uint32_t flags) {
    return Convert(kByteText, Unit::Byte, kUtf16, Unit::Utf16, source, destination, destinationSize, setting,
                   flags);
}

DOZIVO_EXPORT std::uint32_t DozivoEntry5(const void* source, void* destination, std::uint32_t destinationSize,
                                         std::uint32_t setting, std::uint32_t flags) {
    return Convert(kByteText, Unit::Byte, kOem, Unit::Byte, source, destination, destinationSize, setting, flags);
}

DOZIVO_EXPORT std::uint32_t DozivoEntry8(const void* source, void* destination, std::uint32_t destinationSize,
                                         std::uint32_t setting, std::uint32_t flags) {
    return Convert(kOem, Unit::Byte, kByteText, Unit::Byte, source, destination, destinationSize, setting, flags);
}

DOZIVO_EXPORT std::uint32_t DozivoEntry11(const void* source, void* destination, std::uint32_t destinationSize,
                                          std::uint32_t setting, std::uint32_t flags) {
    return Convert(kByteText, Unit::Byte, kLatin9, Unit::Byte, source, destination, destinationSize, setting,
                   flags);
}

}  // extern "C"
