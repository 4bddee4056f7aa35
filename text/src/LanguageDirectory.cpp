// LanguageDirectory.cpp - the language table: locale to directory name.
#include <iterator>

#include "text/ResourceLoader.h"

namespace {

struct LanguageRow {
    WORD primary;
    WORD sub;   // 0 matches every sub-language
    const char* directory;
};

// Order matters: the first matching row wins (0x04/2 before 0x04/0, and
// 0x1A "hr" hides the later 0x1A "sr").
constexpr LanguageRow kLanguages[] = {
    {0x36, 0, "af"}, {0x0F, 0, "is"},   {0x1C, 0, "sq"},   {0x21, 0, "in"}, {0x01, 0, "ar"},
    {0x10, 0, "it"}, {0x2D, 0, "eu"},   {0x11, 0, "ja"},   {0x23, 0, "be"}, {0x12, 0, "ko"},
    {0x02, 0, "bg"}, {0x26, 0, "lv"},   {0x03, 0, "ca"},   {0x27, 0, "lt"}, {0x04, 2, "zhCN"},
    {0x04, 1, "zhTW"}, {0x04, 0, "zhCN"}, {0x1A, 0, "hr"}, {0x14, 0, "no"}, {0x05, 0, "cs"},
    {0x15, 0, "pl"}, {0x06, 0, "da"},   {0x16, 0, "pt"},   {0x13, 0, "nl"}, {0x18, 0, "ro"},
    {0x09, 0, "en"}, {0x19, 0, "ru"},   {0x25, 0, "et"},   {0x1A, 0, "sr"}, {0x38, 0, "fo"},
    {0x1B, 0, "sk"}, {0x29, 0, "fy"},   {0x24, 0, "sl"},   {0x0B, 0, "fi"}, {0x0A, 0, "es"},
    {0x0C, 0, "fr"}, {0x1D, 0, "sv"},   {0x07, 0, "de"},   {0x1E, 0, "th"}, {0x08, 0, "el"},
    {0x1F, 0, "tr"}, {0x0D, 0, "iw"},   {0x22, 0, "uk"},   {0x0E, 0, "hu"}, {0x2A, 0, "vi"},
};
static_assert(std::size(kLanguages) == 45);

}  // namespace

const char* LanguageDirectoryFor(WORD languageId) {
    const WORD primary = languageId & 0x3FF;
    const WORD sub = static_cast<WORD>(languageId >> 10);
    for (const auto& row : kLanguages) {
        if (row.primary == primary && (row.sub == 0 || row.sub == sub)) return row.directory;
    }
    return "en";
}

const char* GetLanguageDirectory() {
    return LanguageDirectoryFor(static_cast<WORD>(GetUserDefaultLCID() & 0xFFFF));
}
