// LoadStringA over the string tables of the sample resource library and of
// this program.
#include <gtest/gtest.h>

#include <string>

#include "TestPaths.h"
#include "win32/win32.h"

namespace {

std::string Load(HINSTANCE module, UINT id, int size, int* length) {
    std::string buffer(static_cast<std::size_t>(size > 0 ? size : 1) + 8, '\x55');
    *length = LoadStringA(module, id, buffer.data(), size);
    // Nothing is written at or beyond size.
    if (size > 0) {
        const auto used = static_cast<std::size_t>(size);
        EXPECT_EQ(buffer.substr(used), std::string(buffer.size() - used, '\x55'));
    }
    return buffer.c_str();
}

class LoadStringTest : public testing::Test {
protected:
    void SetUp() override {
        neutral_ = LoadLibraryA("ORVSAMPLE");
        german_ = LoadLibraryA((ProgramDirectory() + "/de/ORVSAMPLE.dll").c_str());
        ASSERT_NE(neutral_, nullptr);
        ASSERT_NE(german_, nullptr);
    }
    void TearDown() override {
        if (neutral_) FreeLibrary(neutral_);
        if (german_) FreeLibrary(german_);
    }
    HMODULE neutral_ = nullptr;
    HMODULE german_ = nullptr;
};

TEST_F(LoadStringTest, FindsStringsOfEachModule) {
    struct Row {
        const char* what;
        HMODULE module;
        UINT id;
        const char* text;
    };
    const Row rows[] = {
        {"neutral 1", neutral_, 1, "Hello (neutral)"},
        {"neutral 5", neutral_, 5, "Neutral only"},
        {"german 1", german_, 1, "Hallo"},
        {"german utf-8", german_, 3, "Gr\xC3\xBC\xC3\x9F" "e"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        int length = -1;
        EXPECT_EQ(Load(row.module, row.id, 64, &length), row.text);
        EXPECT_EQ(length, static_cast<int>(std::string(row.text).size()));
    }
    int length = -1;
    EXPECT_EQ(Load(nullptr, 9, 64, &length), "Program only");
    EXPECT_EQ(length, 12);
}

TEST_F(LoadStringTest, MissingStringsGiveZero) {
    int length = -1;
    SetLastError(0);
    EXPECT_EQ(Load(neutral_, 99, 64, &length), "");
    EXPECT_EQ(length, 0);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(Load(neutral_, 6, 64, &length), "");   // an empty string counts as none
    EXPECT_EQ(length, 0);
    EXPECT_EQ(Load(german_, 5, 64, &length), "");    // only in the neutral copy
    EXPECT_EQ(length, 0);
    EXPECT_EQ(Load(nullptr, 5, 64, &length), "");    // the program's own table lacks it
    EXPECT_EQ(length, 0);
}

TEST_F(LoadStringTest, CutsToBufferSize) {
    int length = -1;
    EXPECT_EQ(Load(nullptr, 10, 41, &length), "A string of exactly forty characters....");
    EXPECT_EQ(length, 40);
    EXPECT_EQ(Load(nullptr, 10, 40, &length), "A string of exactly forty characters...");
    EXPECT_EQ(length, 39);
    EXPECT_EQ(Load(neutral_, 1, 6, &length), "Hello");
    EXPECT_EQ(length, 5);
    EXPECT_EQ(Load(neutral_, 1, 1, &length), "");
    EXPECT_EQ(length, 0);
}

TEST_F(LoadStringTest, RefusesBadArguments) {
    SetLastError(0);
    EXPECT_EQ(LoadStringA(neutral_, 1, nullptr, 10), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(LoadStringA(neutral_, 1, buffer, 0), 0);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(LoadStringA(neutral_, 1, buffer, -5), 0);

    ASSERT_TRUE(FreeLibrary(german_));
    const HMODULE freed = german_;
    german_ = nullptr;
    SetLastError(0);
    EXPECT_EQ(LoadStringA(freed, 1, buffer, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
