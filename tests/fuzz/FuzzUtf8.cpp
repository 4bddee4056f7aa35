// FuzzUtf8.cpp - fuzz target fuzz_utf8: the UTF-8 readers and the code-page
// conversions on arbitrary bytes.
//
// Input: byte 0 is the unit count given to Utf8ToUnicode; the rest is the
// text (up to its first zero byte for the Str operations; whole, with any
// zero bytes, for MultiByteToWideChar with an explicit length). Buffers are
// heap blocks of exactly the size given.
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "text/Str.h"
#include "win32/win32.h"

namespace {

void ReadUtf8(const Str& text, std::uint32_t count) {
    const std::uint32_t needed = text.Utf8ToUnicode(nullptr, 0);
    fuzz::Check(needed >= 1 && needed <= text.Length() + 1, "Utf8ToUnicode sizing out of range");
    std::unique_ptr<WCHAR[]> all(new WCHAR[needed]);
    fuzz::Check(text.Utf8ToUnicode(all.get(), needed) == needed, "Utf8ToUnicode result depends on the buffer");
    fuzz::Check(all[needed - 1] == 0, "Utf8ToUnicode did not terminate");
    std::unique_ptr<WCHAR[]> part(new WCHAR[count]);
    fuzz::Check(text.Utf8ToUnicode(part.get(), count) == needed, "Utf8ToUnicode result depends on the count");
    for (std::uint32_t i = 0; i < count && i < needed; ++i) {
        fuzz::Check(part[i] == all[i], "Utf8ToUnicode with a short buffer wrote other units");
    }
}

void Convert(const char* bytes) {
    Str fromUtf8(bytes);
    const int converted = fromUtf8.ConvertFromUtf8();
    if (!converted) fuzz::Check(std::strcmp(fromUtf8.GetText(), bytes) == 0, "a failed ConvertFromUtf8 changed the text");

    // Byte text -> UTF-8 -> byte text gives the text back.
    Str toUtf8(bytes);
    if (toUtf8.ConvertToUtf8()) {
        fuzz::Check(toUtf8.Capacity() == toUtf8.Length() + 1, "ConvertToUtf8 block is not exact");
        Str back(toUtf8.GetText());
        fuzz::Check(back.ConvertFromUtf8() != 0, "the UTF-8 form of a byte text does not convert back");
        fuzz::Check(std::strcmp(back.GetText(), bytes) == 0, "byte text -> UTF-8 -> byte text changed it");
    }
    Str entry5(bytes);
    entry5.ConvertByEntry5();
    Str entry8(bytes);
    entry8.ConvertByEntry8();
    Str entry11(bytes);
    entry11.ConvertByEntry11();
}

void MultiByte(UINT codePage, const char* source, int length) {
    const int needed = MultiByteToWideChar(codePage, 0, source, length, nullptr, 0);
    if (needed <= 0) return;
    std::unique_ptr<WCHAR[]> out(new WCHAR[static_cast<std::size_t>(needed)]);
    fuzz::Check(MultiByteToWideChar(codePage, 0, source, length, out.get(), needed) == needed,
                "MultiByteToWideChar wrote another count than it asked for");
    if (needed > 1) {
        fuzz::Check(MultiByteToWideChar(codePage, 0, source, length, out.get(), needed - 1) == 0,
                    "MultiByteToWideChar accepted a buffer that is too small");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > INT_MAX / 4) return 0;
    const std::uint32_t count = data[0];
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const Str text(rest.c_str());
    ReadUtf8(text, count);
    Convert(rest.c_str());
    if (!rest.empty()) {
        // The bytes in an exact-size block, zero bytes and all.
        std::unique_ptr<char[]> raw(new char[rest.size()]);
        std::memcpy(raw.get(), rest.data(), rest.size());
        MultiByte(CP_UTF8, raw.get(), static_cast<int>(rest.size()));
    }
    MultiByte(CP_ACP, rest.c_str(), -1);
    return 0;
}
