// The search order of FindLocalizedFile and FindLanguageFile on a scratch
// tree that stands in for the executable's directory.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "text/ResourceLoader.h"
#include "text/ResourceLoaderTesting.h"
#include "win32/win32_testing.h"

namespace {

namespace fs = std::filesystem;

class LocalizedFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "text-localized-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        UseDirectory(root_);
    }
    void TearDown() override {
        text_testing::SetExecutablePathOverride(nullptr);
        win32_testing::SetUserLocaleOverride(nullptr);
        fs::remove_all(root_);
    }
    // Makes `directory` the executable's directory.
    void UseDirectory(const std::string& directory) {
        directory_ = directory;
        text_testing::SetExecutablePathOverride((directory + "/app").c_str());
    }
    void Create(const std::vector<std::string>& files) {
        for (const auto& file : files) {
            const fs::path path = fs::path(directory_) / file;
            fs::create_directories(path.parent_path());
            std::ofstream(path) << "x";
        }
    }
    std::string root_;
    std::string directory_;
};

std::string TextOf(const Str& s) { return s.GetText() ? s.GetText() : "<none>"; }

TEST_F(LocalizedFileTest, SearchOrder) {
    struct Row {
        const char* what;
        std::vector<std::string> files;
        const char* language;
        bool withLanguageOut;
        const char* found;          // relative; "<none>" for nothing
        const char* languageOut;    // "" when untouched
    };
    const std::vector<Row> rows = {
        {"language first", {"de/f.txt", "f.txt", "en/f.txt"}, "de", true, "de/f.txt", "de"},
        {"two-letter directory", {"zh/f.txt", "f.txt"}, "zhTW", true, "zh/f.txt", "zh"},
        {"full name before two letters", {"zhTW/f.txt", "zh/f.txt"}, "zhTW", true, "zhTW/f.txt", "zhTW"},
        {"no two-letter step below 4 chars", {"ab/f.txt"}, "abc", true, "<none>", ""},
        {"en replaces plain without out", {"f.txt", "en/f.txt"}, "de", false, "en/f.txt", ""},
        {"plain stops with out", {"f.txt", "en/f.txt"}, "de", true, "f.txt", "de"},
        {"plain alone", {"f.txt"}, "de", false, "f.txt", ""},
        {"plain gives full language", {"f.txt"}, "zhCN", true, "f.txt", "zhCN"},
        {"en last", {"en/f.txt"}, "de", true, "en/f.txt", "en"},
        {"other files do not count", {"de/g.txt", "fr/f.txt"}, "de", true, "<none>", ""},
        {"language of five characters refused with out", {"abcde/f.txt"}, "abcde", true, "<none>", ""},
        {"language of five characters without out", {"abcde/f.txt"}, "abcde", false, "abcde/f.txt", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(root_);
        fs::create_directories(root_);
        Create(row.files);
        char out[8] = "unset";
        const Str relative = FindLocalizedFile("f.txt", row.language, 1, row.withLanguageOut ? out : nullptr);
        EXPECT_EQ(TextOf(relative), row.found);
        if (row.withLanguageOut) {
            EXPECT_STREQ(out, row.languageOut[0] ? row.languageOut : "unset");
        }
        const Str full = FindLocalizedFile("f.txt", row.language, 0, nullptr);
        if (!row.withLanguageOut) {
            EXPECT_EQ(TextOf(full), std::string(row.found) == "<none>" ? "<none>" : root_ + "/" + row.found);
        }
    }
}

TEST_F(LocalizedFileTest, FindLanguageFileUsesTheUserLocale) {
    Create({"zh/f.txt", "en/f.txt", "f.txt"});
    win32_testing::SetUserLocaleOverride("zh_TW.UTF-8");
    EXPECT_EQ(TextOf(FindLanguageFile("f.txt", 1)), "zh/f.txt");
    EXPECT_EQ(TextOf(FindLanguageFile("f.txt", 0)), root_ + "/zh/f.txt");
    win32_testing::SetUserLocaleOverride("de_DE.UTF-8");
    EXPECT_EQ(TextOf(FindLanguageFile("f.txt", 1)), "en/f.txt");
    fs::remove_all(root_ + "/en");
    EXPECT_EQ(TextOf(FindLanguageFile("f.txt", 1)), "f.txt");
}

TEST_F(LocalizedFileTest, NoDirectoryOrNoFileFindsNothing) {
    Create({"f.txt"});
    text_testing::SetExecutablePathOverride("app-without-directory");
    char out[8] = "unset";
    EXPECT_EQ(FindLocalizedFile("f.txt", "de", 0, out).GetText(), nullptr);
    EXPECT_STREQ(out, "unset");
    UseDirectory(root_);
    EXPECT_EQ(FindLocalizedFile("", "de", 0, out).GetText(), nullptr);
    EXPECT_EQ(FindLocalizedFile(nullptr, "de", 0, out).GetText(), nullptr);
}

// Paths are bounded to 255 bytes with the terminator: a candidate that
// would not fit is refused, not cut.
TEST_F(LocalizedFileTest, CandidatesBeyondThePathLimitAreRefused) {
    std::string deep = root_;
    while (deep.size() + 1 < 248) deep += "/" + std::string(std::min<std::size_t>(40, 248 - deep.size() - 2), 'd');
    ASSERT_EQ(deep.size() + 1, 248u);   // directory with its '/'
    UseDirectory(deep);
    Create({"f.txt", "en/f.txt", "de/f.txt"});
    // 248 + "f.txt" + 1 = 254 fits; 248 + "en/f.txt" + 1 = 257 does not.
    EXPECT_EQ(TextOf(FindLocalizedFile("f.txt", "de", 1, nullptr)), "f.txt");
    EXPECT_EQ(TextOf(FindLocalizedFile("f.txt", "de", 0, nullptr)), deep + "/f.txt");
    Create({"gg.txt", "ggg.txt"});   // 255 bytes with the terminator; 256
    EXPECT_EQ(TextOf(FindLocalizedFile("gg.txt", "de", 1, nullptr)), "gg.txt");
    EXPECT_EQ(FindLocalizedFile("ggg.txt", "de", 1, nullptr).GetText(), nullptr);
}

}  // namespace
