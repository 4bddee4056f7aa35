// SetLocaleA and GetUserDefaultLCID with Windows names.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "AppFramework/DateTime.h"
#include "win32/win32.h"
#include "win32/win32_testing.h"

namespace {

// Restores the environment's locale variables, the override and the
// process locale.
class UserLocale : public ::testing::Test {
protected:
    void SetUp() override {
        for (std::size_t i = 0; i < std::size(kVariables); ++i) {
            const char* value = std::getenv(kVariables[i]);
            saved_[i] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
            unsetenv(kVariables[i]);
        }
    }
    void TearDown() override {
        for (std::size_t i = 0; i < std::size(kVariables); ++i) {
            if (saved_[i]) {
                setenv(kVariables[i], saved_[i]->c_str(), 1);
            } else {
                unsetenv(kVariables[i]);
            }
        }
        win32_testing::SetUserLocaleOverride(nullptr);
        SetLocaleA(LC_ALL_CATEGORIES, "C");
    }

    static std::string Name(const char* name) { return name != nullptr ? name : "(null)"; }

    static constexpr const char* kVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> saved_[std::size(kVariables)];
};

// Compiles de_DE.UTF-8 into a private directory and points the C library
// at it (LOCPATH), so that a machine with only C and C.UTF-8 installed still
// shows German names; empty when localedef is not available.
class GermanLocaleInstalled {
public:
    GermanLocaleInstalled() {
        if (const char* value = std::getenv("LOCPATH")) savedLocPath_ = value;
        char pattern[] = "/tmp/time-tests-locale-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        directory_ = pattern;
        const std::string command = "localedef -i de_DE -f UTF-8 '" + directory_ +
                                    "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return;
        setenv("LOCPATH", directory_.c_str(), 1);
        installed_ = true;
    }
    ~GermanLocaleInstalled() {
        if (savedLocPath_) {
            setenv("LOCPATH", savedLocPath_->c_str(), 1);
        } else {
            unsetenv("LOCPATH");
        }
        if (!directory_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(directory_, ignored);
        }
    }
    bool installed() const { return installed_; }

private:
    std::optional<std::string> savedLocPath_;
    std::string directory_;
    bool installed_ = false;
};

TEST_F(UserLocale, EnglishGivesEnglishNamesWhateverTheUsersLocale) {
    const GermanLocaleInstalled german;
    setenv("LANG", "de_DE.UTF-8", 1);
    const DateTime value(1120219200 + 3 * 3600);   // 2005-07-01 15:00:00 UTC
    EXPECT_EQ("German_Germany.1252", Name(SetLocaleA(LC_ALL_CATEGORIES, "")));
    if (german.installed()) {
        EXPECT_EQ(u"Freitag Juli", value.FormatUtc("%A %B"));
    }
    EXPECT_EQ("English_United States.1252", Name(SetLocaleA(LC_ALL_CATEGORIES, "English")));
    EXPECT_EQ(u"Friday Fri July Jul PM", value.FormatUtc("%A %a %B %b %p"));
    EXPECT_EQ(u"03:00:00 PM07/01/05", value.FormatUtc("%I:%M:%S %p%m/%d/%y"));
    if (!german.installed()) GTEST_SKIP() << "localedef unavailable: German names not checked";
}

TEST_F(UserLocale, UserLocaleIsReportedWithItsWindowsName) {
    struct Case {
        const char* posixName;
        const char* windowsName;
    };
    const Case cases[] = {
        {"ja_JP.UTF-8", "Japanese_Japan.932"},
        {"ja_JP", "Japanese_Japan.932"},
        {"ja_JP.eucJP", "Japanese_Japan.932"},
        {"ja", "Japanese_Japan.932"},
        {"en_GB.UTF-8", "English_United Kingdom.1252"},
        {"de_BE.UTF-8", "German_Germany.1252"},      // territory not in the table
        {"zh_TW.UTF-8", "Chinese (Traditional)_Taiwan.950"},
        {"fr_CA.UTF-8@euro", "French_Canada.1252"},
        {"C", "C"},
        {"C.UTF-8", "C"},
        {"POSIX", "C"},
        {"eo.UTF-8", "eo.UTF-8"},                    // no Windows name: shown as it is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.posixName);
        win32_testing::SetUserLocaleOverride(c.posixName);
        EXPECT_EQ(c.windowsName, Name(SetLocaleA(LC_ALL_CATEGORIES, "")));
        EXPECT_EQ(c.windowsName, Name(SetLocaleA(LC_ALL_CATEGORIES, nullptr)));
    }
}

TEST_F(UserLocale, JapaneseUserIsDetectedByPrefixEvenWithoutTheLocaleInstalled) {
    setenv("LANG", "ja_JP.UTF-8", 1);
    SetLocaleA(LC_ALL_CATEGORIES, "English");
    const std::string name = Name(SetLocaleA(LC_ALL_CATEGORIES, ""));
    EXPECT_EQ(0, name.compare(0, 14, "Japanese_Japan")) << name;
    // The C library runs on some installed locale all the same.
    EXPECT_NE(nullptr, std::setlocale(LC_ALL, nullptr));
    EXPECT_EQ("English_United States.1252", Name(SetLocaleA(LC_ALL_CATEGORIES, "English")));
}

TEST_F(UserLocale, EnvironmentPrecedence) {
    setenv("LANG", "fr_FR.UTF-8", 1);
    EXPECT_EQ(0x040Cu, GetUserDefaultLCID());
    setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
    EXPECT_EQ(0x0407u, GetUserDefaultLCID());
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(0x0411u, GetUserDefaultLCID());
    win32_testing::SetUserLocaleOverride("ko_KR.UTF-8");
    EXPECT_EQ(0x0412u, GetUserDefaultLCID());
    win32_testing::SetUserLocaleOverride(nullptr);
    setenv("LC_ALL", "", 1);   // empty counts as unset
    EXPECT_EQ(0x0407u, GetUserDefaultLCID());
}

TEST_F(UserLocale, DefaultLcidTable) {
    struct Case {
        const char* posixName;
        LCID lcid;
    };
    const Case cases[] = {
        {"en_US.UTF-8", 0x0409}, {"en_GB.UTF-8", 0x0809}, {"en_AU", 0x0C09},
        {"de_DE.UTF-8", 0x0407}, {"de_AT.UTF-8", 0x0C07}, {"de_CH", 0x0807},
        {"fr_FR.UTF-8", 0x040C}, {"fr_BE", 0x080C},       {"fr_CA", 0x0C0C},
        {"ja_JP.UTF-8", 0x0411}, {"ko_KR.UTF-8", 0x0412},
        {"zh_CN.UTF-8", 0x0804}, {"zh_TW.UTF-8", 0x0404}, {"zh_HK.UTF-8", 0x0C04},
        {"zh", 0x0804},          {"it_IT", 0x0410},       {"es_ES.UTF-8", 0x0C0A},
        {"es_MX", 0x080A},       {"pt_BR.UTF-8", 0x0416}, {"pt_PT.UTF-8", 0x0816},
        {"nl_NL", 0x0413},       {"sv_SE", 0x041D},       {"da_DK", 0x0406},
        {"nb_NO", 0x0414},       {"no_NO", 0x0414},       {"fi_FI", 0x040B},
        {"pl_PL", 0x0415},       {"cs_CZ", 0x0405},       {"hu_HU", 0x040E},
        {"ru_RU.UTF-8", 0x0419}, {"uk_UA", 0x0422},       {"el_GR", 0x0408},
        {"tr_TR", 0x041F},       {"he_IL", 0x040D},       {"iw_IL", 0x040D},
        {"ar_SA", 0x0401},       {"th_TH", 0x041E},       {"vi_VN", 0x042A},
        {"de_BE.UTF-8", 0x0407},  // unknown territory: the language's first row
        {"C", 0x0409},           {"POSIX", 0x0409},       {"C.UTF-8", 0x0409},
        {"eo", 0x1000},          // no identifier: LOCALE_CUSTOM_UNSPECIFIED
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.posixName);
        win32_testing::SetUserLocaleOverride(c.posixName);
        EXPECT_EQ(c.lcid, GetUserDefaultLCID());
    }
    win32_testing::SetUserLocaleOverride(nullptr);
    EXPECT_EQ(0x0409u, GetUserDefaultLCID()) << "no locale variables: the C locale";
}

TEST_F(UserLocale, WindowsNamesAreAcceptedAndOthersRefused) {
    EXPECT_EQ("English_United States.1252", Name(SetLocaleA(LC_ALL_CATEGORIES, "english")));
    EXPECT_EQ("English_United Kingdom.1252",
              Name(SetLocaleA(LC_ALL_CATEGORIES, "English_United Kingdom.1252")));
    EXPECT_EQ("Japanese_Japan.932", Name(SetLocaleA(LC_ALL_CATEGORIES, "Japanese")));
    EXPECT_EQ("C", Name(SetLocaleA(LC_ALL_CATEGORIES, "C")));
    const char* before = SetLocaleA(LC_ALL_CATEGORIES, "German_Germany.1252");
    EXPECT_EQ("German_Germany.1252", Name(before));
    // Refusals leave the locale as it was.
    EXPECT_EQ(nullptr, SetLocaleA(LC_ALL_CATEGORIES, "Klingon"));
    EXPECT_EQ(nullptr, SetLocaleA(LC_ALL_CATEGORIES, "de_DE.UTF-8"));
    EXPECT_EQ(nullptr, SetLocaleA(LC_ALL_CATEGORIES, "English_Narnia"));
    EXPECT_EQ(nullptr, SetLocaleA(LC_ALL_CATEGORIES + 1, "English"));
    EXPECT_EQ("German_Germany.1252", Name(SetLocaleA(LC_ALL_CATEGORIES, nullptr)));
    // A returned name stays readable after later switches.
    SetLocaleA(LC_ALL_CATEGORIES, "English");
    EXPECT_EQ("German_Germany.1252", Name(before));
}

}  // namespace
