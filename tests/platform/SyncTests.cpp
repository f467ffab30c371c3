#include "platform/Dispatcher.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using namespace std::chrono;

TEST(CEvent, ManualResetStaysSignalledUntilReset) {
    CEvent event;
    EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
    auto t0 = steady_clock::now();
    EXPECT_EQ(event.Wait(30), WAIT_TIMEOUT);
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - t0).count(), 25);

    event.SetEvent();
    EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0); // still set: manual reset
    event.ResetEvent();
    EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
}

TEST(CEvent, WakesAWaiterOnAnotherThread) {
    CEvent event;
    std::atomic<bool> woke{false};
    HANDLE h = AfxBeginThread(
        [](void* p) -> UINT {
            auto* e = static_cast<CEvent*>(p);
            return e->Wait(INFINITE) == WAIT_OBJECT_0 ? 0 : 1;
        },
        &event);
    Sleep(20);
    EXPECT_TRUE(IsThreadRunning(h));
    event.SetEvent();
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    woke = true;
    EXPECT_TRUE(woke);
    CloseHandle(h);
}

TEST(Thread, HandleCanBeWaitedOnAfterTheThreadHasEnded) {
    int nOpen = GetOpenThreadHandleCount();
    HANDLE h = AfxBeginThread([](void*) -> UINT { return 0; }, nullptr);
    ASSERT_TRUE(h);
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    Sleep(10);
    // Ended long ago: still a valid handle, the wait returns at once.
    auto t0 = steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForThreadDispatching(h, INFINITE), WAIT_OBJECT_0);
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - t0).count(), 50);
    EXPECT_FALSE(IsThreadRunning(h));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetOpenThreadHandleCount(), nOpen);
}

TEST(Thread, WaitTimesOutOnARunningThread) {
    static CEvent release;
    release.ResetEvent();
    HANDLE h = AfxBeginThread(
        [](void*) -> UINT {
            release.Wait(INFINITE);
            return 0;
        },
        nullptr);
    EXPECT_EQ(WaitForSingleObject(h, 20), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForThreadDispatching(h, 20), WAIT_TIMEOUT);
    release.SetEvent();
    EXPECT_EQ(WaitForThreadDispatching(h, 5000), WAIT_OBJECT_0);
    CloseHandle(h);
}

TEST(CCriticalSection, IsReentrantAndExcludesOtherThreads) {
    CCriticalSection cs;
    cs.Lock();
    cs.Lock();
    std::atomic<bool> got{false};
    std::thread other([&] { got = cs.TryLock() == TRUE; });
    other.join();
    EXPECT_FALSE(got);
    cs.Unlock();
    cs.Unlock();
    std::thread again([&] {
        got = cs.TryLock() == TRUE;
        if (got)
            cs.Unlock();
    });
    again.join();
    EXPECT_TRUE(got);
}
