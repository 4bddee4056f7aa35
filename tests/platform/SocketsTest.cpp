#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "win32/win32.h"

TEST(SocketsTest, StartupAcceptsVersionsOneAndTwoAndNests) {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    ASSERT_EQ(WSAStartup(0x0202, &data), 0);
    EXPECT_EQ(WSAStartup(0x0003, &data), WSAVERNOTSUPPORTED);
    EXPECT_EQ(WSAStartup(0x0000, &data), WSAVERNOTSUPPORTED);
    EXPECT_EQ(WSAStartup(0x0101, nullptr), WSAEFAULT);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(WSANOTINITIALISED));
}

TEST(SocketsTest, HostNameIsTheMachinesAndMustFit) {
    char expected[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(gethostname(expected, sizeof expected), 0);
    char name[256] = {};
    ASSERT_EQ(GetHostNameA(name, sizeof name), 0);
    EXPECT_STREQ(name, expected);

    const int exact = static_cast<int>(std::strlen(expected)) + 1;
    EXPECT_EQ(GetHostNameA(name, exact), 0);
    EXPECT_EQ(GetHostNameA(name, exact - 1), SOCKET_ERROR) << "no room for the NUL";
    EXPECT_EQ(GetHostNameA(nullptr, 10), SOCKET_ERROR);
}
