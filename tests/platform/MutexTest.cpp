#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "win32/win32.h"

namespace {

// Runs fn on a new thread and returns its result.
template <class Fn>
auto OnOtherThread(Fn fn) {
    auto task = std::async(std::launch::async, fn);
    return task.get();
}

class MutexTest : public ::testing::Test {
protected:
    void SetUp() override { mutex = CreateMutexA(nullptr, FALSE, nullptr); ASSERT_NE(mutex, nullptr); }
    void TearDown() override { EXPECT_TRUE(CloseHandle(mutex)); }
    HANDLE mutex = nullptr;
};

}  // namespace

TEST_F(MutexTest, OwnerRecursesAndOthersWaitUntilTheLastRelease) {
    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);

    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }), WAIT_TIMEOUT);
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 20); }), WAIT_TIMEOUT);
    const auto foreignRelease = OnOtherThread([&] {
        SetLastError(ERROR_SUCCESS);
        const BOOL released = ReleaseMutex(mutex);
        return std::make_pair(released, GetLastError());
    });
    EXPECT_FALSE(foreignRelease.first);
    EXPECT_EQ(foreignRelease.second, ERROR_ACCESS_DENIED);

    ASSERT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }), WAIT_TIMEOUT)
        << "one acquisition is still held";
    ASSERT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex)) << "released more often than acquired";

    EXPECT_EQ(OnOtherThread([&] {
                  const DWORD result = WaitForSingleObject(mutex, 0);
                  ReleaseMutex(mutex);
                  return result;
              }),
              WAIT_OBJECT_0);
}

TEST_F(MutexTest, BlockedWaiterGetsTheMutexWhenReleased) {
    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    std::promise<void> waiting;
    auto waiter = std::async(std::launch::async, [&] {
        waiting.set_value();
        const DWORD result = WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
        return result;
    });
    waiting.get_future().wait();
    ASSERT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(waiter.get(), WAIT_OBJECT_0);
}

TEST_F(MutexTest, MutualExclusionHoldsUnderContention) {
    long counter = 0;   // guarded by mutex
    auto work = [&] {
        for (int i = 0; i < 2000; ++i) {
            ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
            const long seen = counter;
            std::this_thread::yield();
            counter = seen + 1;
            ASSERT_TRUE(ReleaseMutex(mutex));
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 4000);
}

TEST_F(MutexTest, MutexOfAnEndedOwnerIsAbandonedOnce) {
    std::thread([&] { ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); }).join();
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
    ASSERT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ReleaseMutex(mutex));
}

TEST_F(MutexTest, WaiterIsWokenWhenTheOwnerEnds) {
    std::promise<void> owned;
    std::promise<void> mayEnd;
    std::thread owner([&] {
        WaitForSingleObject(mutex, INFINITE);
        WaitForSingleObject(mutex, INFINITE);   // ends holding two acquisitions
        owned.set_value();
        mayEnd.get_future().wait();
    });
    owned.get_future().wait();
    auto waiter = std::async(std::launch::async, [&] { return WaitForSingleObject(mutex, INFINITE); });
    mayEnd.set_value();
    owner.join();
    EXPECT_EQ(waiter.get(), WAIT_ABANDONED);
}

TEST(MutexCreationTest, InitialOwnerAndNames) {
    HANDLE owned = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(owned, 0); }), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(owned));
    EXPECT_TRUE(CloseHandle(owned));

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "Global\\Named"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}
