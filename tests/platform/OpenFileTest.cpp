#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TempDirectory.h"
#include "win32/win32.h"

TEST(OpenFileTest, ExistenceTest) {
    TempDirectory directory;
    ASSERT_FALSE(directory.path().empty());
    std::filesystem::create_directory(directory.path() + "/en");
    std::ofstream(directory.path() + "/en/Strings.txt") << "x";
    const std::string canonical = std::filesystem::canonical(directory.path()).string();

    OFSTRUCT info{};
    const std::string present = directory.path() + "\\en\\Strings.txt";
    EXPECT_NE(OpenFile(present.c_str(), &info, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(info.cBytes, sizeof info);
    EXPECT_EQ(std::string(info.szPathName), canonical + "/en/Strings.txt");

    const std::string absent = directory.path() + "\\fr\\Strings.txt";
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(OpenFile(absent.c_str(), &info, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(info.nErrCode, ERROR_FILE_NOT_FOUND);

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(OpenFile(present.c_str(), &info, 0), HFILE_ERROR) << "only OF_EXIST is supported";
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(OpenFile(nullptr, &info, OF_EXIST), HFILE_ERROR);
}

TEST(OpenFileTest, LibraryNamesAreTestedUnderTheirSharedObjectName) {
    TempDirectory directory;
    ASSERT_FALSE(directory.path().empty());
    std::filesystem::create_directory(directory.path() + "/de");
    std::ofstream(directory.path() + "/de/libresources.so") << "x";
    OFSTRUCT info{};
    const std::string dll = directory.path() + "\\de\\Resources.dll";
    EXPECT_NE(OpenFile(dll.c_str(), &info, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(std::string(info.szPathName),
              std::filesystem::canonical(directory.path()).string() + "/de/libresources.so");
}

TEST(OpenFileTest, LongPathIsCutInTheRecord) {
    TempDirectory directory;
    ASSERT_FALSE(directory.path().empty());
    const std::string name = directory.path() + "/" + std::string(150, 'n');
    std::ofstream(name) << "x";
    OFSTRUCT info{};
    EXPECT_NE(OpenFile(name.c_str(), &info, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(std::string(info.szPathName).size(), sizeof info.szPathName - 1);
}
