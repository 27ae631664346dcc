// Tests of the mutex objects: recursive ownership, releases by the wrong
// thread, a second thread held off until the owner lets go, and closed handles.
#include "win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{

TEST(Win32Mutex, OwnershipIsRecursiveAndBelongsToOneThread)
{
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "named"), nullptr);
    HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); // the owner enters again

    DWORD other = 0;
    BOOL otherRelease = TRUE;
    std::thread(
        [&]
        {
            other = WaitForSingleObject(mutex, 0);
            otherRelease = ReleaseMutex(mutex);
        })
        .join();
    EXPECT_EQ(other, WAIT_TIMEOUT);
    EXPECT_EQ(otherRelease, FALSE);

    EXPECT_EQ(ReleaseMutex(mutex), TRUE);
    EXPECT_EQ(ReleaseMutex(mutex), TRUE);
    EXPECT_EQ(ReleaseMutex(mutex), FALSE) << "no longer owned";
    EXPECT_EQ(CloseHandle(mutex), TRUE);
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_FAILED);
    EXPECT_EQ(ReleaseMutex(mutex), FALSE);
    EXPECT_EQ(CloseHandle(mutex), FALSE);
}

TEST(Win32Mutex, AnUnboundedWaitEndsWhenTheOwnerReleases)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    std::atomic<int> stage{0};
    std::thread waiter(
        [&]
        {
            stage = 1;
            DWORD result = WaitForSingleObject(mutex, INFINITE);
            stage = result == WAIT_OBJECT_0 ? 2 : 3;
            ReleaseMutex(mutex);
        });
    while (stage.load() == 0)
        std::this_thread::yield();
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); // still ours: the waiter waits
    EXPECT_EQ(stage.load(), 1);
    ReleaseMutex(mutex);
    ReleaseMutex(mutex);
    waiter.join();
    EXPECT_EQ(stage.load(), 2);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

} // namespace
