#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "TempDirectory.h"
#include "win32/win32.h"

namespace {

std::string Contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class TextStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(directory.path().empty());
        std::filesystem::create_directory(directory.path() + "/log");
        windowsPath = directory.path() + "\\log\\Agent.log";
        posixPath = directory.path() + "/log/Agent.log";
    }
    TempDirectory directory;
    std::string windowsPath;
    std::string posixPath;
};

}  // namespace

TEST_F(TextStreamTest, CommitModeWritesThroughOnFlushAndTruncatesOnOpen) {
    TextStream* stream = OpenTextStream(windowsPath.c_str(), "w+c");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(WriteTextStream(stream, "Starting", 8), 8u);
    EXPECT_EQ(FlushTextStream(stream), 0);
    EXPECT_EQ(Contents(posixPath), "Starting") << "visible after the flush, before the close";
    EXPECT_EQ(WriteTextStream(stream, ", line\n", 7), 7u);
    CloseTextStream(stream);
    EXPECT_EQ(Contents(posixPath), "Starting, line\n");

    stream = OpenTextStream(windowsPath.c_str(), "w+c");
    ASSERT_NE(stream, nullptr);
    CloseTextStream(stream);
    EXPECT_EQ(Contents(posixPath), "") << "a new start truncates the file";
}

TEST_F(TextStreamTest, AppendModeWithoutCommit) {
    for (const char* text : {"one\n", "two\n"}) {
        TextStream* stream = OpenTextStream(posixPath.c_str(), "at");
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(WriteTextStream(stream, text, 4), 4u);
        EXPECT_EQ(FlushTextStream(stream), 0);
        CloseTextStream(stream);
    }
    EXPECT_EQ(Contents(posixPath), "one\ntwo\n");
}

TEST_F(TextStreamTest, FailuresGiveNullAndAReason) {
    SetLastError(ERROR_SUCCESS);
    const std::string missing = directory.path() + "\\nolog\\Agent.log";
    EXPECT_EQ(OpenTextStream(missing.c_str(), "w+c"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(OpenTextStream(posixPath.c_str(), "x"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(OpenTextStream(nullptr, "w"), nullptr);

    EXPECT_EQ(WriteTextStream(nullptr, "a", 1), 0u);
    EXPECT_EQ(FlushTextStream(nullptr), -1);
    CloseTextStream(nullptr);
}
