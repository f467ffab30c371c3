#include "RecordingWindow.h"
#include "platform/Dispatcher.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/Window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

using namespace std::chrono;

namespace {

constexpr UINT WM_TEST = WM_USER + 100;

// Runs queued sends on this (the UI) thread until pred holds or 10 s pass.
bool PumpUntil(const std::function<bool()>& pred) {
    return CMessageDispatcher::Instance().WaitDispatching(pred, 10000) == TRUE;
}

} // namespace

TEST(SendMessage, OnTheUIThreadCallsTheHandlerDirectly) {
    CRecordingWindow wnd;
    EXPECT_TRUE(IsWindow(wnd.m_hWnd));
    ::SendMessage(wnd.m_hWnd, WM_TEST, 7, 9);
    auto messages = wnd.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].wParam, 7u);
    EXPECT_EQ(messages[0].lParam, 9);
    EXPECT_EQ(messages[0].thread, std::this_thread::get_id());
}

TEST(SendMessage, NullAndDeadHandlesReturnZeroWithoutBlocking) {
    HWND dead;
    {
        CRecordingWindow wnd;
        dead = wnd.m_hWnd;
    }
    EXPECT_FALSE(IsWindow(dead));
    EXPECT_FALSE(IsWindow(HWND()));
    std::atomic<int> done{0};
    // From a worker, with the UI thread not pumping: must still return at once.
    std::thread worker([&] {
        EXPECT_EQ(::SendMessage(dead, WM_TEST, 1, 1), 0);
        EXPECT_EQ(::SendMessage(HWND(), WM_TEST, 1, 1), 0);
        done = 1;
    });
    worker.join();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(::SendMessage(dead, WM_TEST), 0);
}

TEST(SendMessage, ManyThreadsEachBlockedUntilHandledAndOrderPerSenderKept) {
    constexpr int kThreads = 8;
    constexpr int kPerThread = 300;
    struct CCountingWindow : CWnd {
        ~CCountingWindow() override { DestroyWindowHandle(); }
        LRESULT WindowProc(UINT, WPARAM wParam, LPARAM lParam) override {
            EXPECT_TRUE(CMessageDispatcher::Instance().IsUIThread());
            auto& last = m_last[static_cast<int>(lParam)];
            EXPECT_EQ(static_cast<int>(wParam), last + 1) << "sender " << lParam << " out of order";
            last = static_cast<int>(wParam);
            ++m_nHandled;
            return static_cast<LRESULT>(wParam) * 2;
        }
        std::map<int, int> m_last;
        int m_nHandled = 0;
    } wnd;
    for (int t = 0; t < kThreads; ++t)
        wnd.m_last[t] = -1;

    std::atomic<int> finished{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                // The handler's result proves the send returned after it ran.
                LRESULT r = ::SendMessage(wnd.m_hWnd, WM_TEST, static_cast<WPARAM>(i), t);
                EXPECT_EQ(r, i * 2);
            }
            ++finished;
        });
    }
    EXPECT_TRUE(PumpUntil([&] { return finished == kThreads; }));
    for (auto& s : senders)
        s.join();
    EXPECT_EQ(wnd.m_nHandled, kThreads * kPerThread);
}

TEST(SendMessage, SenderStaysBlockedWhileTheUIThreadIsBusy) {
    CRecordingWindow wnd;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        ::SendMessage(wnd.m_hWnd, WM_TEST);
        returned = true;
    });
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_FALSE(returned) << "a send must not return before its handler ran";
    EXPECT_EQ(wnd.Count(WM_TEST), 0);
    EXPECT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(wnd.Count(WM_TEST), 1);
}

TEST(SendMessage, SendQueuedWhenItsWindowIsDestroyedReturnsZero) {
    auto wnd = std::make_unique<CRecordingWindow>();
    HWND h = wnd->m_hWnd;
    std::atomic<LRESULT> result{-5};
    std::thread worker([&] { result = ::SendMessage(h, WM_TEST); });
    // Wait until the send is queued, then destroy the window before draining.
    for (int i = 0; i < 500 && !CMessageDispatcher::Instance().HasPendingSends(); ++i)
        std::this_thread::sleep_for(milliseconds(2));
    ASSERT_TRUE(CMessageDispatcher::Instance().HasPendingSends());
    wnd.reset();
    EXPECT_TRUE(PumpUntil([&] { return result.load() != -5; }));
    worker.join();
    EXPECT_EQ(result.load(), 0);
}

TEST(SendMessage, WaitingForAWorkerBlockedInASendDoesNotDeadlock) {
    // The close path: the UI thread waits for a worker that is itself
    // waiting for the UI thread to handle its message.
    CRecordingWindow wnd;
    struct CArgs {
        HWND hWnd;
        CEvent* pStarted;
    };
    CEvent started;
    CArgs args{wnd.m_hWnd, &started};
    HANDLE h = AfxBeginThread(
        [](void* p) -> UINT {
            auto* a = static_cast<CArgs*>(p);
            a->pStarted->SetEvent();
            for (int i = 0; i < 5; ++i)
                ::SendMessage(a->hWnd, WM_TEST, static_cast<WPARAM>(i));
            return 0;
        },
        &args);
    started.Wait(INFINITE);
    EXPECT_EQ(WaitForThreadDispatching(h, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(wnd.Count(WM_TEST), 5);
    CloseHandle(h);
}

TEST(SendMessage, ShutdownReleasesQueuedAndLaterSenders) {
    CRecordingWindow wnd;
    std::atomic<int> done{0};
    std::thread worker([&] {
        EXPECT_EQ(::SendMessage(wnd.m_hWnd, WM_TEST), 0);
        ++done;
    });
    for (int i = 0; i < 500 && !CMessageDispatcher::Instance().HasPendingSends(); ++i)
        std::this_thread::sleep_for(milliseconds(2));
    CMessageDispatcher::Instance().Shutdown();
    worker.join();
    std::thread later([&] {
        EXPECT_EQ(::SendMessage(wnd.m_hWnd, WM_TEST), 0);
        ++done;
    });
    later.join();
    CMessageDispatcher::Instance().Restart();
    EXPECT_EQ(done, 2);
    EXPECT_EQ(wnd.Count(WM_TEST), 0);
}

TEST(SendMessage, WakeupIsCalledForQueuedSends) {
    std::atomic<int> wakeups{0};
    CMessageDispatcher::Instance().SetWakeup([&] { ++wakeups; });
    CRecordingWindow wnd;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        ::SendMessage(wnd.m_hWnd, WM_TEST);
        done = true;
    });
    while (!CMessageDispatcher::Instance().HasPendingSends())
        std::this_thread::sleep_for(milliseconds(1));
    EXPECT_GE(wakeups.load(), 1);
    CMessageDispatcher::Instance().DrainPendingSends();
    worker.join();
    CMessageDispatcher::Instance().SetWakeup(nullptr);
    EXPECT_TRUE(done);
}
