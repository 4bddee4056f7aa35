// Conversion.cpp - the entries' common work on top of the C library's iconv.
#include "Conversion.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "dozivo32/dozivo32.h"

namespace dozivo32 {
namespace {

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) iconv_close(handle_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

std::size_t SourceBytes(const void* source, Unit unit) {
    if (unit == Unit::Byte) return std::strlen(static_cast<const char*>(source));
    const auto* bytes = static_cast<const unsigned char*>(source);
    std::size_t units = 0;
    // Read byte by byte: the caller's buffer need not be aligned for char16_t.
    for (;;) {
        char16_t unit16;
        std::memcpy(&unit16, bytes + 2 * units, sizeof unit16);
        if (unit16 == 0) return 2 * units;
        ++units;
    }
}

// The whole converted text without its terminator; false when not convertible.
bool ConvertAll(const char* from, const char* to, const void* source, std::size_t sourceBytes,
                std::string& out) {
    IconvHandle cd(to, from);
    if (!cd.valid()) return false;
    std::vector<char> input(static_cast<const char*>(source), static_cast<const char*>(source) + sourceBytes);
    char* in = input.data();
    std::size_t inLeft = input.size();
    out.clear();
    char chunk[256];
    while (inLeft > 0) {
        char* outPtr = chunk;
        std::size_t outLeft = sizeof chunk;
        const std::size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(chunk, static_cast<std::size_t>(outPtr - chunk));
        // EILSEQ (not representable or invalid) and EINVAL (cut short) end it.
        if (rc == static_cast<std::size_t>(-1) && error != E2BIG) return false;
    }
    for (;;) {   // flushes any shift state
        char* outPtr = chunk;
        std::size_t outLeft = sizeof chunk;
        const std::size_t rc = iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);
        const int error = errno;
        out.append(chunk, static_cast<std::size_t>(outPtr - chunk));
        if (rc != static_cast<std::size_t>(-1)) return true;
        if (error != E2BIG) return false;
    }
}

}  // namespace

std::uint32_t Convert(const char* from, Unit sourceUnit, const char* to, Unit destinationUnit,
                      const void* source, void* destination, std::uint32_t destinationSize,
                      std::uint32_t setting, std::uint32_t flags) {
    if (source == nullptr || setting != kDozivoSettingWindows1252 || flags != 0) return 0;
    std::string converted;
    if (!ConvertAll(from, to, source, SourceBytes(source, sourceUnit), converted)) return 0;
    const std::size_t unitSize = destinationUnit == Unit::Byte ? 1 : 2;
    converted.append(unitSize, '\0');   // the terminator
    const std::size_t units = converted.size() / unitSize;
    if (units > UINT32_MAX) return 0;
    if (destination == nullptr) return destinationSize == 0 ? static_cast<std::uint32_t>(units) : 0;
    if (units > destinationSize) return 0;
    std::memcpy(destination, converted.data(), converted.size());
    return static_cast<std::uint32_t>(units);
}

}  // namespace dozivo32
