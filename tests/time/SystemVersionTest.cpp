// GetVersionExW and its override.
#include <gtest/gtest.h>

#include <string>

#include "win32/win32.h"
#include "win32/win32_testing.h"

namespace {

class SystemVersion : public ::testing::Test {
protected:
    void TearDown() override { win32_testing::SetVersionOverride(nullptr); }
};

TEST_F(SystemVersion, ReportsAModernNtSystem) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = 276;
    ASSERT_TRUE(GetVersionExW(&info));
    EXPECT_EQ(VER_PLATFORM_WIN32_NT, info.dwPlatformId);
    EXPECT_EQ(10u, info.dwMajorVersion);
    EXPECT_EQ(0u, info.dwMinorVersion);
    EXPECT_EQ(276u, info.dwOSVersionInfoSize);
    EXPECT_EQ(0, std::u16string(info.szCSDVersion).rfind(u"Linux ", 0));
}

TEST_F(SystemVersion, OverrideMakesItNt40) {
    OSVERSIONINFOW nt4{};
    nt4.dwMajorVersion = 4;
    nt4.dwMinorVersion = 0;
    nt4.dwBuildNumber = 1381;
    nt4.dwPlatformId = VER_PLATFORM_WIN32_NT;
    win32_testing::SetVersionOverride(&nt4);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = 276;
    ASSERT_TRUE(GetVersionExW(&info));
    EXPECT_EQ(4u, info.dwMajorVersion);
    EXPECT_EQ(0u, info.dwMinorVersion);
    EXPECT_EQ(1381u, info.dwBuildNumber);
    EXPECT_EQ(276u, info.dwOSVersionInfoSize);

    win32_testing::SetVersionOverride(nullptr);
    ASSERT_TRUE(GetVersionExW(&info));
    EXPECT_EQ(10u, info.dwMajorVersion);
}

TEST_F(SystemVersion, WrongRecordSizeFails) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetVersionExW(&info));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(0u, info.dwMajorVersion);
    EXPECT_FALSE(GetVersionExW(nullptr));
}

}  // namespace
