// Str.cpp - storage, copying and slicing of the heap byte string.
// Comparison and case mapping, which need the platform's locale rules, live
// in StrLocale.cpp so that a program using only these needs no platform.
#include "text/Str.h"

#include <cstring>
#include <memory>
#include <utility>

#include "StrBlock.h"

using text_internal::AllocateBlock;
using text_internal::Measure;
using text_internal::OrEmpty;

namespace {

// Returned by CharAt for an index outside the block.
char sharedZeroByte = 0;

}  // namespace

Str::Str(const char* text) {
    const char* source = OrEmpty(text);
    const std::uint64_t size = Measure(source) + 1;
    text_ = AllocateBlock(size);
    std::memcpy(text_, source, size);
    capacity_ = static_cast<std::uint32_t>(size);
}

Str::Str(const Str& other) {
    if (other.text_ == nullptr) return;
    const std::uint64_t size = Measure(other.text_) + 1;
    text_ = AllocateBlock(size);
    std::memcpy(text_, other.text_, size);
    capacity_ = static_cast<std::uint32_t>(size);
}

Str::Str(Str&& other) noexcept
    : capacity_(std::exchange(other.capacity_, 0u)), text_(std::exchange(other.text_, nullptr)) {}

Str& Str::operator=(const Str& other) {
    if (this == &other) return *this;
    if (other.text_ == nullptr) {
        Adopt(nullptr, 0);
        return *this;
    }
    return Assign(other.text_);
}

Str& Str::operator=(Str&& other) noexcept {
    if (this != &other) {
        Adopt(std::exchange(other.text_, nullptr), std::exchange(other.capacity_, 0u));
    }
    return *this;
}

Str::~Str() { delete[] text_; }

void Str::Adopt(char* block, std::uint32_t capacity) noexcept {
    char* old = text_;
    text_ = block;
    capacity_ = capacity;
    delete[] old;
}

char& Str::CharAt(std::uint32_t index) noexcept {
    if (index < capacity_) return text_[index];
    return sharedZeroByte;
}

Str& Str::Assign(const char* text) {
    const char* source = OrEmpty(text);
    const std::uint64_t n = Measure(source) + 1;
    if (n > capacity_ || 2 * n < capacity_) {
        // The new block is filled before the old one goes, so that `text` may
        // lie in the old block and a failed allocation leaves the Str as it was.
        char* block = AllocateBlock(3 * n / 2);
        std::memcpy(block, source, n);
        Adopt(block, static_cast<std::uint32_t>(3 * n / 2));
    } else {
        // `text` may lie inside the kept block.
        std::memmove(text_, source, n);
    }
    return *this;
}

Str& Str::Append(const char* text) {
    const char* source = OrEmpty(text);
    // Measured before anything moves: `text` may be (part of) this Str's text,
    // whose terminator the copy overwrites.
    const std::uint64_t sourceLength = Measure(source);
    const std::uint64_t length = text_ ? Measure(text_) : 0;
    const std::uint64_t need = sourceLength + length + 1;
    if (need > capacity_) {
        char* block = AllocateBlock(3 * need / 2);
        if (length > 0) std::memcpy(block, text_, length);
        std::memcpy(block + length, source, sourceLength);
        block[length + sourceLength] = '\0';
        Adopt(block, static_cast<std::uint32_t>(3 * need / 2));
    } else {
        std::memmove(text_ + length, source, sourceLength);
        text_[length + sourceLength] = '\0';
    }
    return *this;
}

std::uint32_t Str::Length() const noexcept {
    return text_ ? static_cast<std::uint32_t>(Measure(text_)) : 0u;
}

Str Str::Substring(std::uint32_t index, std::uint32_t count) {
    Str part;
    if (text_ != nullptr) {
        const std::uint32_t length = Length();
        if (index > length) index = length;
        if (count > length - index) count = length - index;
        const std::uint32_t end = index + count;
        const char kept = text_[end];
        text_[end] = '\0';
        try {
            part.Assign(text_ + index);
        } catch (...) {
            text_[end] = kept;
            throw;
        }
        text_[end] = kept;
    }
    return Str(part);
}

Str Concat(const Str& a, const Str& b) {
    const char* first = OrEmpty(a.GetText());
    const char* second = OrEmpty(b.GetText());
    const std::uint64_t firstLength = Measure(first);
    const std::uint64_t secondLength = Measure(second);
    std::unique_ptr<char[]> joined(AllocateBlock(firstLength + secondLength + 1));
    std::memcpy(joined.get(), first, firstLength);
    std::memcpy(joined.get() + firstLength, second, secondLength + 1);
    return Str(joined.get());
}
