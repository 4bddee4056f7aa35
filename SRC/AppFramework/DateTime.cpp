#include "AppFramework/DateTime.h"

#include <ctime>

DateTime DateTime::Now() {
    return DateTime(CurrentUnixTime());
}

DateTime DateTime::FromLocalFields(const SYSTEMTIME& fields) {
    if (fields.wYear < 1900) return DateTime(0);
    std::tm local{};
    local.tm_year = fields.wYear - 1900;
    local.tm_mon = fields.wMonth - 1;
    local.tm_mday = fields.wDay;
    local.tm_hour = fields.wHour;
    local.tm_min = fields.wMinute;
    local.tm_sec = fields.wSecond;
    local.tm_isdst = -1;
    return DateTime(MakeLocalTime(&local));
}

std::u16string DateTime::FormatUtc(const char* pattern) const {
    if (pattern == nullptr || seconds_ < 0) return {};
    std::tm utc{};
    if (!BreakDownUtc(seconds_, &utc)) return {};
    // strftime writes the locale's multibyte (UTF-8) text: a UTF-16 unit takes
    // at most 3 bytes of it, so this buffer holds any text that can fit the
    // limit in UTF-16, and the limit is checked after the conversion.
    char narrow[kMaxFormattedLength * 3 + 1];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const std::size_t length = std::strftime(narrow, sizeof narrow, pattern, &utc);
#pragma GCC diagnostic pop
    if (length == 0) return {};
    const int units = MultiByteToWideChar(CP_UTF8, 0, narrow, static_cast<int>(length), nullptr, 0);
    if (units <= 0 || static_cast<std::size_t>(units) > kMaxFormattedLength) return {};
    std::u16string wide(static_cast<std::size_t>(units), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, narrow, static_cast<int>(length), wide.data(), units);
    return wide;
}
