#include "platform/Dispatcher.h"
#include "platform/Services.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/Window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono;

namespace {

// A window that logs the calls it runs.
class CLogWindow : public CWnd {
public:
    struct CCall {
        WPARAM wParam;
        LPARAM lParam;
        std::thread::id thread;
    };
    ~CLogWindow() override { DestroyWindowHandle(); }
    virtual LRESULT Handle(WPARAM wParam, LPARAM lParam) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back({wParam, lParam, std::this_thread::get_id()});
        return 0;
    }
    std::vector<CCall> Calls() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    int Count() const { return static_cast<int>(Calls().size()); }

private:
    mutable std::mutex m_mutex;
    std::vector<CCall> m_calls;
};

// One call to the window behind hWnd.
LRESULT Send(HWND hWnd, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendToWindow(hWnd,
                        [=](CWnd& wnd) { return static_cast<CLogWindow&>(wnd).Handle(wParam, lParam); });
}

// Runs queued sends on this (the UI) thread until pred holds or 10 s pass.
bool PumpUntil(const std::function<bool()>& pred) {
    return CMessageDispatcher::Instance().WaitDispatching(pred, 10000) == TRUE;
}

} // namespace

TEST(SendToWindow, OnTheUIThreadCallsTheHandlerDirectly) {
    CLogWindow wnd;
    EXPECT_TRUE(IsWindow(wnd.m_hWnd));
    Send(wnd.m_hWnd, 7, 9);
    auto messages = wnd.Calls();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].wParam, 7u);
    EXPECT_EQ(messages[0].lParam, 9);
    EXPECT_EQ(messages[0].thread, std::this_thread::get_id());
}

TEST(SendToWindow, NullAndDeadHandlesReturnZeroWithoutBlocking) {
    HWND dead;
    {
        CLogWindow wnd;
        dead = wnd.m_hWnd;
    }
    EXPECT_FALSE(IsWindow(dead));
    EXPECT_FALSE(IsWindow(HWND()));
    std::atomic<int> done{0};
    // From a worker, with the UI thread not pumping: must still return at once.
    std::thread worker([&] {
        EXPECT_EQ(Send(dead, 1, 1), 0);
        EXPECT_EQ(Send(HWND(), 1, 1), 0);
        done = 1;
    });
    worker.join();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(Send(dead), 0);
}

TEST(SendToWindow, ManyThreadsEachBlockedUntilHandledAndOrderPerSenderKept) {
    constexpr int kThreads = 8;
    constexpr int kPerThread = 300;
    struct CCountingWindow : CLogWindow {
        LRESULT Handle(WPARAM wParam, LPARAM lParam) override {
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
                LRESULT r = Send(wnd.m_hWnd, static_cast<WPARAM>(i), t);
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

TEST(SendToWindow, SenderStaysBlockedWhileTheUIThreadIsBusy) {
    CLogWindow wnd;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        Send(wnd.m_hWnd);
        returned = true;
    });
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_FALSE(returned) << "a send must not return before its handler ran";
    EXPECT_EQ(wnd.Count(), 0);
    EXPECT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(wnd.Count(), 1);
}

TEST(SendToWindow, SendQueuedWhenItsWindowIsDestroyedReturnsZero) {
    auto wnd = std::make_unique<CLogWindow>();
    HWND h = wnd->m_hWnd;
    std::atomic<LRESULT> result{-5};
    std::thread worker([&] { result = Send(h); });
    // Wait until the send is queued, then destroy the window before draining.
    for (int i = 0; i < 500 && !CMessageDispatcher::Instance().HasPendingSends(); ++i)
        std::this_thread::sleep_for(milliseconds(2));
    ASSERT_TRUE(CMessageDispatcher::Instance().HasPendingSends());
    wnd.reset();
    EXPECT_TRUE(PumpUntil([&] { return result.load() != -5; }));
    worker.join();
    EXPECT_EQ(result.load(), 0);
}

TEST(SendToWindow, WaitingForAWorkerBlockedInASendDoesNotDeadlock) {
    // The close path: the UI thread waits for a worker that is itself
    // waiting for the UI thread to handle its message.
    CLogWindow wnd;
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
                Send(a->hWnd, static_cast<WPARAM>(i));
            return 0;
        },
        &args);
    started.Wait(INFINITE);
    EXPECT_EQ(WaitForThreadDispatching(h, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(wnd.Count(), 5);
    CloseHandle(h);
}

TEST(SendToWindow, ShutdownReleasesQueuedAndLaterSenders) {
    CLogWindow wnd;
    std::atomic<int> done{0};
    std::thread worker([&] {
        EXPECT_EQ(Send(wnd.m_hWnd), 0);
        ++done;
    });
    for (int i = 0; i < 500 && !CMessageDispatcher::Instance().HasPendingSends(); ++i)
        std::this_thread::sleep_for(milliseconds(2));
    CMessageDispatcher::Instance().Shutdown();
    worker.join();
    std::thread later([&] {
        EXPECT_EQ(Send(wnd.m_hWnd), 0);
        ++done;
    });
    later.join();
    CMessageDispatcher::Instance().Restart();
    EXPECT_EQ(done, 2);
    EXPECT_EQ(wnd.Count(), 0);
}

TEST(SendToWindow, WakeupIsCalledForQueuedSends) {
    std::atomic<int> wakeups{0};
    CMessageDispatcher::Instance().SetWakeup([&] { ++wakeups; });
    CLogWindow wnd;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        Send(wnd.m_hWnd);
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

TEST(SendToWindow, ABoxAskedForByAWorkerIsShownOnTheUIThreadAndCounted) {
    // The counter is what every test's services check: it must see a box a
    // worker asks for, and only such a box.
    const int nBefore = OffThreadMessageBoxCount();
    AfxMessageBox("from the UI thread");
    EXPECT_EQ(OffThreadMessageBoxCount(), nBefore);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        AfxMessageBox("from a worker");
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(OffThreadMessageBoxCount(), nBefore + 1);
}
