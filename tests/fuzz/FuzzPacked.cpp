// FuzzPacked.cpp - fuzz target fuzz_packed: the packed Unicode decoder on
// arbitrary bytes, and the encoder on arbitrary UTF-16.
//
// Input: byte 0 is the unit count given to GetUnicode; the rest is read
// twice, as packed text (up to its first zero byte) and as little-endian
// UTF-16 (up to its first zero unit). Buffers are heap blocks of exactly
// the count given, so a store at or past it is caught.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "text/Str.h"
#include "text/UnicodeStr.h"

namespace {

void DecodeArbitrary(const std::string& packed, std::uint32_t count) {
    const Str text(packed.c_str());
    const std::uint32_t needed = text.GetUnicode(nullptr, 0);
    fuzz::Check(needed >= 1 && needed <= packed.size() + 1, "GetUnicode sizing out of range");

    std::unique_ptr<WCHAR[]> all(new WCHAR[needed]);
    fuzz::Check(text.GetUnicode(all.get(), needed) == needed, "GetUnicode result depends on the buffer");
    fuzz::Check(all[needed - 1] == 0, "GetUnicode did not terminate a buffer of the size it asked for");
    for (std::uint32_t i = 0; i + 1 < needed; ++i) fuzz::Check(all[i] != 0, "GetUnicode decoded a zero unit");

    std::unique_ptr<WCHAR[]> part(new WCHAR[count]);
    fuzz::Check(text.GetUnicode(part.get(), count) == needed, "GetUnicode result depends on the count");
    for (std::uint32_t i = 0; i < count && i < needed; ++i) {
        fuzz::Check(part[i] == all[i], "GetUnicode with a short buffer wrote other units");
    }

    std::unique_ptr<WCHAR[]> unpacked(new WCHAR[needed]);
    UnicodeStr::UnpackUnicode(packed.c_str(), unpacked.get());
    fuzz::Check(std::memcmp(unpacked.get(), all.get(), needed * sizeof(WCHAR)) == 0,
                "UnpackUnicode differs from GetUnicode");
}

void RoundTrip(const std::u16string& units) {
    const UnicodeStr packed(units.c_str());
    const char* bytes = packed.GetText();
    fuzz::Check(bytes != nullptr, "UnicodeStr without text");
    const std::size_t length = std::strlen(bytes);
    fuzz::Check(packed.Capacity() == length + 1, "UnicodeStr capacity is not its packed length plus one");
    fuzz::Check(length <= 3 * units.size(), "a unit took more than three bytes");
    const std::uint32_t needed = packed.GetUnicode(nullptr, 0);
    fuzz::Check(needed == units.size() + 1, "decoding gives another number of units");
    std::unique_ptr<WCHAR[]> out(new WCHAR[needed]);
    packed.GetUnicode(out.get(), needed);
    fuzz::Check(std::u16string(out.get()) == units && out[needed - 1] == 0, "round trip changed the text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint32_t count = data[0];
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    DecodeArbitrary(rest.c_str(), count);

    std::u16string units;
    for (std::size_t i = 0; i + 1 < rest.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<std::uint8_t>(rest[i]) |
                                                (static_cast<std::uint8_t>(rest[i + 1]) << 8));
        if (unit == 0) break;
        units.push_back(unit);
    }
    RoundTrip(units);
    return 0;
}
