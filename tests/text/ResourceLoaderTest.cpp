// The load-once routine of the resource libraries and the lookups that use
// them, against the sample library ORVSAMPLE (<build>/bin, bin/en, bin/de),
// ORVLANGONLY (bin/de only) and this program's own string table.
#include <gtest/gtest.h>

#include <string>

#include "text/ResourceLoader.h"
#include "text/ResourceLoaderTesting.h"
#include "win32/win32_testing.h"

namespace {

std::string TextOf(const Str& s) { return s.GetText() ? s.GetText() : "<none>"; }

class ResourceLoaderTest : public testing::Test {
protected:
    void SetUp() override { text_testing::ResetResourceLoader(); }
    void TearDown() override {
        text_testing::ResetResourceLoader();
        win32_testing::SetUserLocaleOverride(nullptr);
    }
    static void Load(const char* name, const char* locale) {
        win32_testing::SetUserLocaleOverride(locale);
        ASSERT_EQ(SetResourceLibraryName(name), 1);
        LoadResourceLibraries();
        ASSERT_TRUE(text_testing::ResourcesLoaded());
    }
};

TEST_F(ResourceLoaderTest, NoNameUsesDefaultModule) {
    EXPECT_EQ(TextOf(Str(1, nullptr)), "Program hello");   // the executable
    EXPECT_TRUE(text_testing::ResourcesLoaded());
    EXPECT_EQ(GetResourceInstance(), nullptr);
    EXPECT_EQ(text_testing::NamedLibrary(), nullptr);
    EXPECT_EQ(text_testing::LanguageLibrary(), nullptr);

    text_testing::ResetResourceLoader();
    const HMODULE neutral = LoadLibraryA("ORVSAMPLE");
    ASSERT_NE(neutral, nullptr);
    SetDefaultModule(neutral);
    EXPECT_EQ(GetResourceInstance(), neutral);
    EXPECT_EQ(TextOf(Str(1, nullptr)), "Hello (neutral)");
    EXPECT_EQ(TextOf(Str(9, nullptr)), "<none>");
    EXPECT_EQ(Str(9, nullptr).Capacity(), 0u);
    FreeLibrary(neutral);
}

TEST_F(ResourceLoaderTest, NamedLibraryWithLanguageCopy) {
    Load("ORVSAMPLE", "de_DE.UTF-8");
    const HMODULE named = text_testing::NamedLibrary();
    const HMODULE language = text_testing::LanguageLibrary();
    ASSERT_NE(named, nullptr);
    ASSERT_NE(language, nullptr);
    EXPECT_NE(named, language);
    EXPECT_EQ(text_testing::ResourceModule(), named);
    EXPECT_EQ(GetResourceInstance(), language);

    // The Str constructor tries one module: the language library.
    const Str hello(1, nullptr);
    EXPECT_EQ(TextOf(hello), "Hallo");
    EXPECT_EQ(hello.Capacity(), 6u);
    EXPECT_EQ(TextOf(Str(5, nullptr)), "<none>");
    EXPECT_EQ(TextOf(Str(1, named)), "Hello (neutral)");

    // LoadResString falls back: language library, named library, executable.
    char buffer[64];
    EXPECT_EQ(LoadResString(1, nullptr, buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "Hallo");
    EXPECT_EQ(LoadResString(5, nullptr, buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "Neutral only");
    EXPECT_EQ(LoadResString(9, nullptr, buffer, sizeof buffer), 12);
    EXPECT_STREQ(buffer, "Program only");
    EXPECT_EQ(LoadResString(77, nullptr, buffer, sizeof buffer), 0);
    EXPECT_EQ(LoadResString(1, named, buffer, sizeof buffer), 15);

    SetPreferredModule(named);
    EXPECT_EQ(GetResourceInstance(), named);
    EXPECT_EQ(TextOf(Str(1, nullptr)), "Hello (neutral)");
}

TEST_F(ResourceLoaderTest, LoadsOnceAndFreesBothLibraries) {
    Load("ORVSAMPLE", "de_DE.UTF-8");
    const HMODULE named = text_testing::NamedLibrary();
    ASSERT_EQ(SetResourceLibraryName("NOSUCHRES"), 1);
    LoadResourceLibraries();   // already done: the new name is not loaded
    EXPECT_EQ(text_testing::NamedLibrary(), named);

    FreeResourceLibraries();
    EXPECT_EQ(text_testing::NamedLibrary(), nullptr);
    EXPECT_EQ(text_testing::LanguageLibrary(), nullptr);
    EXPECT_EQ(text_testing::ResourceModule(), named);   // left as it was
    EXPECT_TRUE(text_testing::ResourcesLoaded());
    EXPECT_EQ(TextOf(Str(1, nullptr)), "<none>");        // a freed module has no strings
}

TEST_F(ResourceLoaderTest, NameWithExtensionIsSearchedUnchanged) {
    Load("orvsample.DLL", "en_GB.UTF-8");
    ASSERT_NE(text_testing::LanguageLibrary(), nullptr);
    ASSERT_NE(text_testing::NamedLibrary(), nullptr);
    EXPECT_EQ(TextOf(Str(7, nullptr)), "English only");
}

TEST_F(ResourceLoaderTest, LanguageWithoutDirectoryFallsBackToEnglish) {
    Load("ORVSAMPLE", "fr_FR.UTF-8");   // no fr/: en/ replaces the plain file
    ASSERT_NE(text_testing::LanguageLibrary(), nullptr);
    EXPECT_EQ(TextOf(Str(1, nullptr)), "Hello");
}

TEST_F(ResourceLoaderTest, LanguageCopyAloneIsEnough) {
    Load("ORVLANGONLY", "de_DE.UTF-8");
    EXPECT_EQ(text_testing::NamedLibrary(), nullptr);
    EXPECT_EQ(text_testing::ResourceModule(), nullptr);
    ASSERT_NE(text_testing::LanguageLibrary(), nullptr);
    EXPECT_EQ(TextOf(Str(1, nullptr)), "Hallo");
}

TEST_F(ResourceLoaderTest, NamedLibraryThatCannotLoadEndsTheProcess) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    win32_testing::SetUserLocaleOverride("de_DE.UTF-8");
    ASSERT_EQ(SetResourceLibraryName("NOSUCHRES"), 1);
    EXPECT_EXIT(LoadResourceLibraries(), testing::ExitedWithCode(99), "");
    ASSERT_EQ(SetResourceLibraryName("ORVLANGONLY"), 1);
    win32_testing::SetUserLocaleOverride("fr_FR.UTF-8");   // no copy for this language
    EXPECT_EXIT(Str(1, nullptr), testing::ExitedWithCode(99), "");
}

TEST_F(ResourceLoaderTest, LongNamesAreRefused) {
    const std::string name27(27, 'n'), name28(28, 'n');
    const std::string dll31 = std::string(27, 'n') + ".dll", dll32 = std::string(28, 'n') + ".DLL";
    EXPECT_EQ(SetResourceLibraryName(name27.c_str()), 1);
    EXPECT_EQ(SetResourceLibraryName(dll31.c_str()), 1);
    EXPECT_EQ(SetResourceLibraryName(name28.c_str()), 0);
    EXPECT_EQ(SetResourceLibraryName(dll32.c_str()), 0);
    EXPECT_EQ(SetResourceLibraryName(nullptr), 1);   // names no library
    LoadResourceLibraries();
    EXPECT_EQ(text_testing::NamedLibrary(), nullptr);
    EXPECT_EQ(text_testing::ResourceModule(), nullptr);
}

}  // namespace
