#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "win32/win32.h"

TEST(EventTest, ManualResetEventReleasesEveryWaiterAndStaysSignalled) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);

    std::vector<std::future<DWORD>> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.push_back(std::async(std::launch::async, [event] { return WaitForSingleObject(event, INFINITE); }));
    }
    ASSERT_TRUE(SetEvent(event));
    for (auto& waiter : waiters) EXPECT_EQ(waiter.get(), WAIT_OBJECT_0);

    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "a wait does not reset it";
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(EventTest, InitialStateAndTimedWaitOnASignalledEvent) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(EventTest, AutoResetEventReleasesOneWaitPerSet) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(SetEvent(event));   // does not count up
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

    auto waiter = std::async(std::launch::async, [event] { return WaitForSingleObject(event, INFINITE); });
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(waiter.get(), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(EventTest, NamedEventsAreNotSupported) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "name"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}
