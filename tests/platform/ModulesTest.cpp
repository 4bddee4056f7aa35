#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "TempDirectory.h"
#include "internal/Module.h"
#include "win32/win32.h"
#include "win32/win32_testing.h"

namespace {

using AnswerFunction = int (*)();

int CallAnswer(HMODULE module) {
    FARPROC procedure = GetProcAddress(module, "TestModuleAnswer");
    if (procedure == nullptr) return -1;
    return reinterpret_cast<AnswerFunction>(procedure)();
}

std::string ExecutablePath() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

std::string FileNameOf(HMODULE module) {
    char path[PATH_MAX] = {};
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    return std::string(path, length);
}

bool TestModuleIsMapped() {
    void* probe = dlopen(TESTMOD_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (probe != nullptr) dlclose(probe);
    return probe != nullptr;
}

// A copy of the test library under a name that only the search paths below
// can find: "OVERRIDEMOD.DLL" -> liboverridemod.so.
class ModuleSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(directory.path().empty());
        std::filesystem::copy_file(TESTMOD_PATH, directory.path() + "/liboverridemod.so");
    }
    void TearDown() override {
        win32_testing::SetModuleSearchOverride(nullptr);
        unsetenv("ORVANE_LIBRARY_PATH");
    }
    // Loads, checks where it came from, and releases it again.
    void ExpectLoadedFromDirectory(const char* name) {
        HMODULE module = LoadLibraryA(name);
        ASSERT_NE(module, nullptr) << name;
        EXPECT_EQ(CallAnswer(module), 42);
        EXPECT_EQ(FileNameOf(module),
                  std::filesystem::canonical(directory.path()).string() + "/liboverridemod.so");
        EXPECT_TRUE(FreeLibrary(module));
    }
    TempDirectory directory;
};

}  // namespace

TEST(ModulesTest, WindowsNamesMapToOneReferenceCountedModule) {
    HMODULE first = LoadLibraryA("TESTMOD.DLL");
    ASSERT_NE(first, nullptr) << GetLastError();
    HMODULE second = LoadLibraryA("testmod");
    HMODULE third = LoadLibraryA("TestMod.Dll");
    EXPECT_EQ(second, first);
    EXPECT_EQ(third, first);
    EXPECT_EQ(GetModuleHandleA("TESTMOD.DLL"), first);
    EXPECT_EQ(FileNameOf(first), std::filesystem::canonical(TESTMOD_PATH).string())
        << "found next to the executable";
    EXPECT_EQ(CallAnswer(first), 42);

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(CallAnswer(first), 42) << "one reference is left";
    EXPECT_TRUE(TestModuleIsMapped());
    EXPECT_TRUE(FreeLibrary(first));

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetProcAddress(first, "TestModuleAnswer"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetModuleHandleA("TESTMOD.DLL"), nullptr);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_FALSE(TestModuleIsMapped()) << "the last FreeLibrary unloads it";

    HMODULE again = LoadLibraryA("TESTMOD.DLL");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(CallAnswer(again), 42);
    EXPECT_TRUE(FreeLibrary(again));
}

TEST(ModulesTest, LookupFailuresReportTheirCause) {
    HMODULE module = LoadLibraryA("TESTMOD.DLL");
    ASSERT_NE(module, nullptr);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetProcAddress(module, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetProcAddress(nullptr, "TestModuleAnswer"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    int notAModule = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(&notAModule), "TestModuleAnswer"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(&notAModule)));
    EXPECT_TRUE(FreeLibrary(module));

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadLibraryA("NOSUCHLIBRARY.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleA("NOSUCHLIBRARY.DLL"), nullptr);
}

TEST_F(ModuleSearchTest, OverrideDirectoryIsSearchedFirst) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadLibraryA("OVERRIDEMOD.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    win32_testing::SetModuleSearchOverride(directory.path().c_str());
    ExpectLoadedFromDirectory("OVERRIDEMOD.DLL");
}

TEST_F(ModuleSearchTest, LibraryPathVariableIsSearched) {
    const std::string list = "/nonexistent-dir::" + directory.path();
    setenv("ORVANE_LIBRARY_PATH", list.c_str(), 1);
    ExpectLoadedFromDirectory("OverrideMod.dll");
}

TEST_F(ModuleSearchTest, NameWithDirectoryIsLoadedFromThereOnly) {
    const std::string windowsPath = directory.path() + "\\OVERRIDEMOD.DLL";
    ExpectLoadedFromDirectory(windowsPath.c_str());
    const std::string elsewhere = directory.path() + "\\sub\\TESTMOD.DLL";
    EXPECT_EQ(LoadLibraryA(elsewhere.c_str()), nullptr) << "not searched elsewhere";
}

TEST(ModulesTest, ExecutableModuleHasItsPathAndDlHandle) {
    HMODULE executable = GetModuleHandleA(nullptr);
    ASSERT_NE(executable, nullptr);
    EXPECT_EQ(FileNameOf(executable), ExecutablePath());
    EXPECT_EQ(win32_internal::PathOf(nullptr), ExecutablePath());
    EXPECT_NE(win32_internal::DlHandleOf(nullptr), nullptr);
    EXPECT_EQ(win32_internal::DlHandleOf(executable), win32_internal::DlHandleOf(nullptr));
    EXPECT_TRUE(FreeLibrary(executable)) << "never unloaded, but accepted";
    EXPECT_EQ(FileNameOf(nullptr), ExecutablePath());
}

TEST(ModulesTest, FileNameIsCutToTheBuffer) {
    const std::string full = ExecutablePath();
    ASSERT_GT(full.size(), 4u);
    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 4u);
    EXPECT_EQ(std::string(small), full.substr(0, 4));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, 0), 0u);
}

TEST(ModulesTest, Kernel32IsAPseudoModuleWithoutExports) {
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(GetModuleHandleA("kernel32"), kernel);
    EXPECT_EQ(GetModuleHandleA("Kernel32.dll"), kernel);
    EXPECT_EQ(LoadLibraryA("KERNEL32.DLL"), kernel);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetProcAddress(kernel, "RegisterServiceProcess"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(win32_internal::DlHandleOf(kernel), nullptr);
    EXPECT_TRUE(FreeLibrary(kernel));
    EXPECT_EQ(GetModuleHandleA("KERNEL32.DLL"), kernel);
}

TEST(ModulesTest, ModuleInternalsForOtherPlatformParts) {
    HMODULE module = LoadLibraryA("TESTMOD.DLL");
    ASSERT_NE(module, nullptr);
    void* dl = win32_internal::DlHandleOf(module);
    ASSERT_NE(dl, nullptr);
    EXPECT_NE(dlsym(dl, "TestModuleAnswer"), nullptr);
    EXPECT_EQ(win32_internal::PathOf(module), std::filesystem::canonical(TESTMOD_PATH).string());
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(win32_internal::DlHandleOf(module), nullptr);
    EXPECT_EQ(win32_internal::PathOf(module), "");
}

TEST(ModulesTest, ErrorModeIsStoredAndReturned) {
    const UINT original = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    EXPECT_EQ(SetErrorMode(original), SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}
