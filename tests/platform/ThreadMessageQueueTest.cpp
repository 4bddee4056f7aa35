#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "win32/win32.h"

TEST(ThreadMessageQueueTest, ThreadIdsAreNonZeroAndDistinct) {
    const DWORD self = GetCurrentThreadId();
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(self, 0u);
    EXPECT_NE(other, 0u);
    EXPECT_NE(self, other);
    EXPECT_EQ(GetCurrentThreadId(), self);
}

TEST(ThreadMessageQueueTest, OwnMessagesComeBackInOrderAndQuitReturnsZero) {
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 1, 10, -1));
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 2, 20, -2));
    PostQuitMessage(7);

    MSG msg{};
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, WM_USER + 1);
    EXPECT_EQ(msg.wParam, 10u);
    EXPECT_EQ(msg.lParam, -1);
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(TranslateMessage(&msg), FALSE);
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, WM_USER + 2);
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 7u);
}

TEST(ThreadMessageQueueTest, MessagesPostedBeforeTheFirstWaitAreKept) {
    std::promise<DWORD> started;
    std::promise<void> mayWait;
    std::vector<UINT> received;
    std::thread receiver([&] {
        started.set_value(GetCurrentThreadId());
        mayWait.get_future().wait();
        MSG msg{};
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) received.push_back(msg.message);
    });
    const DWORD receiverId = started.get_future().get();
    for (UINT i = 1; i <= 5; ++i) ASSERT_TRUE(PostThreadMessageA(receiverId, WM_USER + i, 0, 0));
    ASSERT_TRUE(PostThreadMessageA(receiverId, WM_QUIT, 0, 0));
    mayWait.set_value();
    receiver.join();
    EXPECT_EQ(received, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_USER + 4, WM_USER + 5}));
}

TEST(ThreadMessageQueueTest, PostFromAnotherThreadWakesAWaiter) {
    std::promise<DWORD> started;
    std::promise<MSG> got;
    std::thread receiver([&] {
        started.set_value(GetCurrentThreadId());
        MSG msg{};
        GetMessageA(&msg, nullptr, 0, 0);   // usually blocked before the post
        got.set_value(msg);
    });
    const DWORD receiverId = started.get_future().get();
    ASSERT_TRUE(PostThreadMessageA(receiverId, WM_USER + 234, 0, 0));
    const MSG msg = got.get_future().get();
    receiver.join();
    EXPECT_EQ(msg.message, WM_USER + 234);
}

TEST(ThreadMessageQueueTest, BadArgumentsAndEndedThreadsFail) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(PostThreadMessageA(0, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);

    DWORD ended = 0;
    std::thread([&] { ended = GetCurrentThreadId(); }).join();
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(PostThreadMessageA(ended, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);

    EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
}

TEST(ThreadMessageQueueTest, TickCountAdvancesMonotonically) {
    const DWORD first = GetTickCount();
    const DWORD second = GetTickCount();
    // Unsigned difference: correct across the 2^32 wrap as well.
    EXPECT_LT(static_cast<DWORD>(second - first), 60000u);
}
