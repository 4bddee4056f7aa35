// The user's default locale and the process locale with Windows names.
//
// The user's locale is a POSIX name from the environment (LC_ALL, then
// LC_MESSAGES, then LANG; unset or empty: "C"), or the test override. A
// table maps its language and territory to a Windows locale identifier and
// to the Windows runtime's name for it, "<Language>_<Country>.<code page>".
// The name reported by SetLocaleA is always the one derived from that
// table, even when the C library has no such locale installed and the
// process runs on a fallback (C.UTF-8, then C): what the name tells a
// reader is the user's choice, and the C library locale only decides the
// texts strftime produces.
#include <clocale>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "win32/win32.h"
#include "win32/win32_testing.h"

namespace {

struct LocaleRow {
    const char* language;          // POSIX language code
    const char* territory;         // POSIX territory code
    LCID lcid;
    const char* windowsLanguage;   // the Windows runtime's names
    const char* windowsCountry;
    unsigned codePage;             // the language's Windows ANSI code page
};

// The first row of a language is used for its territories not listed.
constexpr LocaleRow kLocales[] = {
    {"en", "US", 0x0409, "English", "United States", 1252},
    {"en", "GB", 0x0809, "English", "United Kingdom", 1252},
    {"en", "AU", 0x0C09, "English", "Australia", 1252},
    {"en", "CA", 0x1009, "English", "Canada", 1252},
    {"en", "NZ", 0x1409, "English", "New Zealand", 1252},
    {"en", "IE", 0x1809, "English", "Ireland", 1252},
    {"en", "ZA", 0x1C09, "English", "South Africa", 1252},
    {"en", "IN", 0x4009, "English", "India", 1252},
    {"de", "DE", 0x0407, "German", "Germany", 1252},
    {"de", "CH", 0x0807, "German", "Switzerland", 1252},
    {"de", "AT", 0x0C07, "German", "Austria", 1252},
    {"de", "LU", 0x1007, "German", "Luxembourg", 1252},
    {"de", "LI", 0x1407, "German", "Liechtenstein", 1252},
    {"fr", "FR", 0x040C, "French", "France", 1252},
    {"fr", "BE", 0x080C, "French", "Belgium", 1252},
    {"fr", "CA", 0x0C0C, "French", "Canada", 1252},
    {"fr", "CH", 0x100C, "French", "Switzerland", 1252},
    {"fr", "LU", 0x140C, "French", "Luxembourg", 1252},
    {"ja", "JP", 0x0411, "Japanese", "Japan", 932},
    {"zh", "CN", 0x0804, "Chinese (Simplified)", "China", 936},
    {"zh", "SG", 0x1004, "Chinese (Simplified)", "Singapore", 936},
    {"zh", "TW", 0x0404, "Chinese (Traditional)", "Taiwan", 950},
    {"zh", "HK", 0x0C04, "Chinese (Traditional)", "Hong Kong SAR", 950},
    {"zh", "MO", 0x1404, "Chinese (Traditional)", "Macao SAR", 950},
    {"ko", "KR", 0x0412, "Korean", "Korea", 949},
    {"it", "IT", 0x0410, "Italian", "Italy", 1252},
    {"it", "CH", 0x0810, "Italian", "Switzerland", 1252},
    {"es", "ES", 0x0C0A, "Spanish", "Spain", 1252},
    {"es", "MX", 0x080A, "Spanish", "Mexico", 1252},
    {"es", "CO", 0x240A, "Spanish", "Colombia", 1252},
    {"es", "AR", 0x2C0A, "Spanish", "Argentina", 1252},
    {"es", "CL", 0x340A, "Spanish", "Chile", 1252},
    {"pt", "BR", 0x0416, "Portuguese", "Brazil", 1252},
    {"pt", "PT", 0x0816, "Portuguese", "Portugal", 1252},
    {"nl", "NL", 0x0413, "Dutch", "Netherlands", 1252},
    {"nl", "BE", 0x0813, "Dutch", "Belgium", 1252},
    {"sv", "SE", 0x041D, "Swedish", "Sweden", 1252},
    {"sv", "FI", 0x081D, "Swedish", "Finland", 1252},
    {"da", "DK", 0x0406, "Danish", "Denmark", 1252},
    {"nb", "NO", 0x0414, "Norwegian", "Norway", 1252},
    {"nn", "NO", 0x0814, "Norwegian (Nynorsk)", "Norway", 1252},
    {"fi", "FI", 0x040B, "Finnish", "Finland", 1252},
    {"is", "IS", 0x040F, "Icelandic", "Iceland", 1252},
    {"fo", "FO", 0x0438, "Faroese", "Faroe Islands", 1252},
    {"af", "ZA", 0x0436, "Afrikaans", "South Africa", 1252},
    {"eu", "ES", 0x042D, "Basque", "Spain", 1252},
    {"ca", "ES", 0x0403, "Catalan", "Spain", 1252},
    {"fy", "NL", 0x0462, "Frisian", "Netherlands", 1252},
    {"id", "ID", 0x0421, "Indonesian", "Indonesia", 1252},
    {"pl", "PL", 0x0415, "Polish", "Poland", 1250},
    {"cs", "CZ", 0x0405, "Czech", "Czech Republic", 1250},
    {"sk", "SK", 0x041B, "Slovak", "Slovakia", 1250},
    {"sl", "SI", 0x0424, "Slovenian", "Slovenia", 1250},
    {"hu", "HU", 0x040E, "Hungarian", "Hungary", 1250},
    {"hr", "HR", 0x041A, "Croatian", "Croatia", 1250},
    {"ro", "RO", 0x0418, "Romanian", "Romania", 1250},
    {"sq", "AL", 0x041C, "Albanian", "Albania", 1250},
    {"sr", "RS", 0x281A, "Serbian (Cyrillic)", "Serbia", 1251},
    {"ru", "RU", 0x0419, "Russian", "Russia", 1251},
    {"uk", "UA", 0x0422, "Ukrainian", "Ukraine", 1251},
    {"be", "BY", 0x0423, "Belarusian", "Belarus", 1251},
    {"bg", "BG", 0x0402, "Bulgarian", "Bulgaria", 1251},
    {"el", "GR", 0x0408, "Greek", "Greece", 1253},
    {"tr", "TR", 0x041F, "Turkish", "Turkey", 1254},
    {"he", "IL", 0x040D, "Hebrew", "Israel", 1255},
    {"ar", "SA", 0x0401, "Arabic", "Saudi Arabia", 1256},
    {"ar", "EG", 0x0C01, "Arabic", "Egypt", 1256},
    {"ar", "AE", 0x3801, "Arabic", "U.A.E.", 1256},
    {"et", "EE", 0x0425, "Estonian", "Estonia", 1257},
    {"lv", "LV", 0x0426, "Latvian", "Latvia", 1257},
    {"lt", "LT", 0x0427, "Lithuanian", "Lithuania", 1257},
    {"vi", "VN", 0x042A, "Vietnamese", "Vietnam", 1258},
    {"th", "TH", 0x041E, "Thai", "Thailand", 874},
};

// Older or alternative POSIX language codes.
constexpr std::pair<std::string_view, std::string_view> kLanguageAliases[] = {
    {"iw", "he"}, {"in", "id"}, {"no", "nb"}};

constexpr LCID kEnglishUnitedStates = 0x0409;
// What Windows reports for a user locale that has no identifier.
constexpr LCID kLocaleCustomUnspecified = 0x1000;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

bool IsCLocale(std::string_view posixName) {
    const std::string_view base = posixName.substr(0, posixName.find_first_of(".@"));
    return base.empty() || base == "C" || base == "POSIX";
}

// language[_territory][.codeset][@modifier]
struct PosixLocale {
    std::string language;    // lower case
    std::string territory;   // upper case
};

PosixLocale ParsePosixName(std::string_view name) {
    name = name.substr(0, name.find_first_of(".@"));
    const std::size_t underscore = name.find('_');
    PosixLocale parsed;
    for (char c : name.substr(0, underscore)) parsed.language += Lower(c);
    if (underscore != std::string_view::npos) {
        for (char c : name.substr(underscore + 1)) {
            parsed.territory += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        }
    }
    for (const auto& [alias, language] : kLanguageAliases) {
        if (parsed.language == alias) parsed.language = language;
    }
    return parsed;
}

const LocaleRow* FindPosixRow(std::string_view posixName) {
    const PosixLocale parsed = ParsePosixName(posixName);
    const LocaleRow* languageDefault = nullptr;
    for (const LocaleRow& row : kLocales) {
        if (parsed.language != row.language) continue;
        if (parsed.territory == row.territory) return &row;
        if (languageDefault == nullptr) languageDefault = &row;
    }
    return languageDefault;
}

// "<Language>[_<Country>][.<code page>]" as the Windows runtime accepts it.
const LocaleRow* FindWindowsRow(std::string_view name) {
    name = name.substr(0, name.find('.'));
    const std::size_t underscore = name.find('_');
    const std::string_view language = name.substr(0, underscore);
    const std::string_view country =
        underscore == std::string_view::npos ? std::string_view{} : name.substr(underscore + 1);
    for (const LocaleRow& row : kLocales) {
        if (EqualsIgnoringCase(language, row.windowsLanguage) &&
            (country.empty() || EqualsIgnoringCase(country, row.windowsCountry))) {
            return &row;
        }
    }
    return nullptr;
}

std::string WindowsName(const LocaleRow& row) {
    return std::string(row.windowsLanguage) + "_" + row.windowsCountry + "." +
           std::to_string(row.codePage);
}

std::string PosixNameOf(const LocaleRow& row) {
    return std::string(row.language) + "_" + row.territory + ".UTF-8";
}

std::mutex g_localeLock;
std::optional<std::string> g_userLocaleOverride;   // guarded by g_localeLock
const char* g_currentName = "C";                   // guarded by g_localeLock
// Every name ever reported, so that a returned pointer stays valid for the
// life of the process, as the runtime's static buffer would (at most one
// entry per distinct name: the table's and the environment's).
std::set<std::string>& ReportedNames() {
    static std::set<std::string> names;
    return names;
}

// Caller holds g_localeLock.
std::string UserPosixLocaleNameLocked() {
    if (g_userLocaleOverride) return *g_userLocaleOverride;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return "C";
}

// Switches the C library's locale to the first candidate it has installed;
// the last resort "C" always exists.
bool SwitchRuntimeLocale(std::initializer_list<std::string> candidates) {
    for (const std::string& candidate : candidates) {
        if (!candidate.empty() && std::setlocale(LC_ALL, candidate.c_str()) != nullptr) {
            return true;
        }
    }
    return false;
}

// Caller holds g_localeLock.
const char* Report(const std::string& name) {
    g_currentName = ReportedNames().insert(name).first->c_str();
    return g_currentName;
}

}  // namespace

LCID GetUserDefaultLCID() {
    std::string posixName;
    {
        std::lock_guard<std::mutex> lock(g_localeLock);
        posixName = UserPosixLocaleNameLocked();
    }
    if (IsCLocale(posixName)) return kEnglishUnitedStates;
    const LocaleRow* row = FindPosixRow(posixName);
    return row != nullptr ? row->lcid : kLocaleCustomUnspecified;
}

const char* SetLocaleA(int category, const char* name) {
    if (category != LC_ALL_CATEGORIES) return nullptr;
    std::lock_guard<std::mutex> lock(g_localeLock);
    if (name == nullptr) return g_currentName;
    const std::string_view requested(name);

    if (requested.empty()) {
        const std::string posixName = UserPosixLocaleNameLocked();
        if (IsCLocale(posixName)) {
            if (!SwitchRuntimeLocale({posixName, "C"})) return nullptr;
            return Report("C");
        }
        if (!SwitchRuntimeLocale({posixName, "C.UTF-8", "C"})) return nullptr;
        const LocaleRow* row = FindPosixRow(posixName);
        return Report(row != nullptr ? WindowsName(*row) : posixName);
    }
    if (requested == "C" || requested == "POSIX") {
        if (!SwitchRuntimeLocale({"C"})) return nullptr;
        return Report("C");
    }
    const LocaleRow* row = FindWindowsRow(requested);
    if (row == nullptr) return nullptr;
    // English is the C library's own C locale: its day and month names and
    // AM/PM marks are the English ones, and it is installed everywhere.
    const bool english = std::string_view(row->language) == "en";
    const bool switched = english ? SwitchRuntimeLocale({"C.UTF-8", "C"})
                                  : SwitchRuntimeLocale({PosixNameOf(*row), "C.UTF-8", "C"});
    if (!switched) return nullptr;
    return Report(WindowsName(*row));
}

namespace win32_testing {

void SetUserLocaleOverride(const char* posixLocaleName) {
    std::lock_guard<std::mutex> lock(g_localeLock);
    if (posixLocaleName == nullptr) {
        g_userLocaleOverride.reset();
    } else {
        g_userLocaleOverride = posixLocaleName;
    }
}

}  // namespace win32_testing
