// dozivo32.h - the text-conversion library (DOZIVO32), as this system uses it.
//
// The library is a closed system library on Windows, imported by ordinal.
// Linux has no ordinals: each entry is exported under a fixed name that
// carries its ordinal (DozivoEntry<ordinal>). The library is a shared object,
// libdozivo32.so, linked at load time: a program that uses it does not start
// without it.
//
// Every entry has one shape:
//
//   DWORD DozivoEntryN(const void* source, void* destination,
//                      DWORD destinationSize, DWORD setting, DWORD flags)
//
// - source: zero-terminated text, only read. A null source cannot be
//   converted.
// - Sizing call: destination null and destinationSize 0. Returns the size the
//   destination needs, in destination units (bytes or UTF-16 units),
//   including the terminating zero; 0 when the source cannot be converted.
// - Converting call: destination of destinationSize units. Fills it with the
//   converted text and its terminator and returns the units written,
//   terminator included; returns 0, having written at most destinationSize
//   units, when the source cannot be converted or the text does not fit.
// - setting: the code page of the byte text. Only kDozivoSettingWindows1252
//   (42) is known; any other setting converts nothing (result 0).
// - flags: reserved; must be 0, otherwise nothing is converted (result 0).
//
// Entries (byte text means Windows-1252 under setting 42):
//
//   1  UnicodeToText  UTF-16 (host order)  -> byte text
//   3  TextToUnicode  byte text            -> UTF-16 (host order)
//   5  byte text -> OEM code page 850 (the DOS Latin-1 console code page)
//   8  OEM code page 850 -> byte text
//   11 byte text -> ISO-8859-15 (Latin-9)
//
// A character that the target encoding lacks, a byte that the source
// encoding leaves undefined (0x81, 0x8D, 0x8F, 0x90 and 0x9D in
// Windows-1252) and an unpaired surrogate are not convertible: the whole
// source then gives 0. Nothing is substituted or dropped.
//
// Thread-safety: every entry may be called from any thread at any time; each
// call works on its own conversion state.
#pragma once

#include <cstdint>

// The setting that selects Windows-1252 as the byte text's code page.
inline constexpr std::uint32_t kDozivoSettingWindows1252 = 42;

extern "C" {

std::uint32_t DozivoEntry1(const void* source, void* destination, std::uint32_t destinationSize,
                           std::uint32_t setting, std::uint32_t flags);
std::uint32_t DozivoEntry3(const void* source, void* destination, std::uint32_t destinationSize,
                           std::uint32_t setting, std::uint32_t flags);
std::uint32_t DozivoEntry5(const void* source, void* destination, std::uint32_t destinationSize,
                           std::uint32_t setting, std::uint32_t flags);
std::uint32_t DozivoEntry8(const void* source, void* destination, std::uint32_t destinationSize,
                           std::uint32_t setting, std::uint32_t flags);
std::uint32_t DozivoEntry11(const void* source, void* destination, std::uint32_t destinationSize,
                            std::uint32_t setting, std::uint32_t flags);

}  // extern "C"
