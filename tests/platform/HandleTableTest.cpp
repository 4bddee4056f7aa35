#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "internal/KernelObject.h"

namespace {

class TrackedObject : public win32_internal::KernelObject {
public:
    explicit TrackedObject(bool* destroyed) : destroyed_(destroyed) {}
    ~TrackedObject() override { *destroyed_ = true; }

private:
    bool* destroyed_;
};

}  // namespace

TEST(HandleTableTest, HandlesAreDistinctNonNullAndNeverReused) {
    std::set<HANDLE> seen;
    for (int i = 0; i < 100; ++i) {
        bool destroyed = false;
        HANDLE handle = win32_internal::InsertHandle(std::make_shared<TrackedObject>(&destroyed));
        ASSERT_NE(handle, nullptr);
        EXPECT_TRUE(seen.insert(handle).second) << "handle value given out twice";
        ASSERT_TRUE(CloseHandle(handle));
        EXPECT_TRUE(destroyed);
    }
}

TEST(HandleTableTest, ClosedAndMadeUpHandlesFailCleanly) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    ASSERT_TRUE(CloseHandle(event));

    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_FALSE(ResetEvent(event));

    int local = 0;
    HANDLE madeUp = &local;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(madeUp, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(nullptr));
}

TEST(HandleTableTest, HandleOfAnotherKindIsInvalidForTheCall) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool destroyed = false;
    HANDLE plain = win32_internal::InsertHandle(std::make_shared<TrackedObject>(&destroyed));

    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(SetEvent(mutex));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(ReleaseMutex(event));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // An object that cannot be waited on (an event-log handle, say).
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(plain, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    EXPECT_TRUE(CloseHandle(mutex));
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_TRUE(CloseHandle(plain));
}

TEST(HandleTableTest, ObjectInUseOutlivesItsHandle) {
    bool destroyed = false;
    HANDLE handle = win32_internal::InsertHandle(std::make_shared<TrackedObject>(&destroyed));
    auto inUse = win32_internal::FindHandleAs<TrackedObject>(handle);
    ASSERT_NE(inUse, nullptr);
    EXPECT_TRUE(win32_internal::RemoveHandle(handle));
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(win32_internal::FindHandle(handle), nullptr);
    inUse.reset();
    EXPECT_TRUE(destroyed);
}
