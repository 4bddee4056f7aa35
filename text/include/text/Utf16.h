// Utf16.h - UTF-16 text as UTF-8, for logs and terminals.
//
// Surrogate pairs become one four-byte sequence; an unpaired surrogate
// becomes U+FFFD. Stops at the first zero unit of a pointer argument.
//
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <string_view>

std::string Utf16ToUtf8(std::u16string_view text);
std::string Utf16ToUtf8(const char16_t* text);
