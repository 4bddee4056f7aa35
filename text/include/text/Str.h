// Str.h - the text library's heap byte string.
//
// A Str owns one heap block holding a zero-terminated 8-bit text and records
// the block's size (capacity, terminator included). It never stores a length:
// every operation that needs one measures the text. Two empty states exist:
// no text at all (GetText() is null, capacity 0) and an empty text (GetText()
// points to a zero byte). Every reading operation treats both as empty, and a
// null const char* argument always reads as the empty text.
//
// Allocation failure throws std::bad_alloc; nothing else throws, and no
// operation reports failure through its result. A text whose block would need
// more than 2^32 - 1 bytes is refused with std::bad_alloc as well.
//
// Thread-safety: none; one thread uses a Str at a time. Substring writes a
// temporary terminator into its source and so counts as a writer of it.
#pragma once

#include <cstdint>

#include "win32/win32.h"

class Str {
public:
    // No text, capacity 0.
    Str() noexcept = default;
    // Exact copy of text (capacity = length + 1); null gives an empty text
    // with capacity 1.
    explicit Str(const char* text);
    // String resource `id` of `module` (resource loader; see ResourceLoader.h
    // for the module chosen when module is null). A missing string gives a
    // Str without text.
    Str(UINT id, HINSTANCE module);
    // Exact-size copy; a source without text gives a Str without text.
    Str(const Str& other);
    // Takes the other's block; the other is left without text.
    Str(Str&& other) noexcept;
    // Copies the text as Assign does (never shares the block); a source
    // without text leaves this Str without text.
    Str& operator=(const Str& other);
    Str& operator=(Str&& other) noexcept;
    virtual ~Str();

    // The text; null when there is none.
    const char* GetText() const noexcept { return text_; }
    // Size of the owned block, terminator included; 0 without text.
    std::uint32_t Capacity() const noexcept { return capacity_; }

    // Byte `index` of the block when index < capacity (which may be the
    // terminator or a byte after it); otherwise a process-wide writable zero
    // byte that belongs to no Str.
    char& CharAt(std::uint32_t index) noexcept;

    // Replaces the text. Keeps the block while the new text fits and fills at
    // least half of it, otherwise installs a block of 3/2 of the size needed.
    // `text` may point into this Str's own block.
    Str& Assign(const char* text);
    // Appends; grows to 3/2 of the size needed, never shrinks. `text` may
    // point into this Str's own block, including its whole text.
    Str& Append(const char* text);

    // lstrcmpA (user's locale, case-sensitive) folded to -1, 0 or 1; 1 means
    // this text sorts after `text`.
    int Compare(const char* text) const;
    int IsEqual(const char* text) const { return Compare(text) == 0; }
    int IsNotEqual(const char* text) const { return Compare(text) != 0; }
    int IsGreater(const char* text) const { return Compare(text) == 1; }
    int IsLess(const char* text) const { return Compare(text) == -1; }
    int IsGreaterOrEqual(const char* text) const { return Compare(text) != -1; }
    int IsLessOrEqual(const char* text) const { return Compare(text) != 1; }

    // Bytes before the terminator; 0 without text.
    std::uint32_t Length() const noexcept;

    // Upper-cases in place with CharUpperA; returns the text, or null (and
    // does nothing) without text.
    char* MakeUpper();

    // The `count` bytes from `index`, both clipped to the text. A Str without
    // text yields one without text; otherwise the result always has text.
    Str Substring(std::uint32_t index, std::uint32_t count);

    // Reads the text as packed Unicode (UnicodeStr.h) and decodes it into
    // `out`, writing nothing at or beyond `count` units; a zero unit follows
    // the last unit when it fits. Returns the number of decoded units plus
    // one whatever out and count are. A Str without text reads as empty.
    std::uint32_t GetUnicode(WCHAR* out, std::uint32_t count) const;

    // Conversions through the text-conversion library (StrConversion.cpp).
    // Each replaces the text with a new exact-size block and returns 1, or
    // returns 0 and leaves the Str unchanged (source not convertible, or no
    // text). The byte text is in the library's code page (Windows-1252).
    int ConvertByEntry5();    // Windows-1252 -> OEM code page 850
    int ConvertByEntry8();    // OEM code page 850 -> Windows-1252
    int ConvertByEntry11();   // Windows-1252 -> ISO-8859-15
    int ConvertToUtf8();      // Windows-1252 -> UTF-8
    // UTF-8 -> Windows-1252. Malformed UTF-8 (a stray continuation byte, a
    // sequence cut by the terminator, a four-byte sequence) or a character
    // that Windows-1252 lacks gives 0 and keeps the UTF-8 text.
    int ConvertFromUtf8();
    // Decodes the text as UTF-8 into `out`, storing unit j only when j <
    // count and a zero unit after the last one when it fits. Returns the
    // number of decoded units plus one whatever out and count are. Malformed
    // sequences decode to U+FFFD; the reader never passes the terminator.
    std::uint32_t Utf8ToUnicode(WCHAR* out, std::uint32_t count) const;

protected:
    // Installs `block` (of `capacity` bytes, holding a terminated text) and
    // releases the previous one.
    void Adopt(char* block, std::uint32_t capacity) noexcept;

private:
    using ByteEntry = std::uint32_t (*)(const void*, void*, std::uint32_t, std::uint32_t, std::uint32_t);
    int ConvertByEntry(ByteEntry entry);

    std::uint32_t capacity_ = 0;
    char* text_ = nullptr;
};

// The two texts joined (a missing text counts as empty) in a new Str of exact
// size, which always has text.
Str Concat(const Str& a, const Str& b);
