#include "RecordingListener.h"
#include "StubSource.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using namespace std::chrono;

namespace {

// The smallest source with real workers: each streams EntriesFound to
// the pane until the shutdown event is signalled, as a browse would.
class CStreamingSource : public CStubSource {
public:
    BOOL Expand(CEntryNode*, CWnd* pPane, HTREEITEM) override {
        auto* pArgs = new CArgs{this, SafeHwnd(pPane)};
        m_workerThreads.Add(HandleToDWord(AfxBeginThread(&Worker, pArgs)));
        return TRUE;
    }

    std::atomic<int> m_nSent{0};
    std::atomic<int> m_nEnded{0};

private:
    struct CArgs {
        CStreamingSource* pSource;
        HWND hPane;
    };
    static UINT Worker(void* p) {
        std::unique_ptr<CArgs> args(static_cast<CArgs*>(p));
        CStreamingSource* s = args->pSource;
        while (s->m_shutdownEvent.Wait(0) != WAIT_OBJECT_0) {
            CPtrList list;
            Notify(args->hPane, &ISourceEvents::EntriesFound, list, HTREEITEM());
            ++s->m_nSent;
        }
        ++s->m_nEnded;
        return 0;
    }
};

} // namespace

TEST(ShutdownHandshake, EndsEveryWorkerEvenWhileTheyAreBlockedInSends) {
    CRecordingListener pane;
    CStreamingSource source;
    for (int i = 0; i < 4; ++i)
        source.Expand(nullptr, &pane, HTREEITEM());
    // Let the workers run into their sends while this thread is not pumping.
    while (!CMessageDispatcher::Instance().HasPendingSends())
        std::this_thread::sleep_for(milliseconds(1));

    auto t0 = steady_clock::now();
    source.ShutdownWorkers(TRUE);
    auto ms = duration_cast<milliseconds>(steady_clock::now() - t0).count();

    EXPECT_EQ(source.m_nEnded, 4);
    EXPECT_TRUE(source.m_workerThreads.IsEmpty());
    EXPECT_GE(ms, 100); // the Close command's sleep
    EXPECT_LT(ms, 5000);
    // The event is reset for a later operation.
    EXPECT_EQ(source.m_shutdownEvent.Wait(0), WAIT_TIMEOUT);
}

TEST(ShutdownHandshake, ThreadsThatAlreadyEndedCountAsFinished) {
    CStreamingSource source;
    int nOpen = GetOpenThreadHandleCount();
    for (int i = 0; i < 3; ++i)
        source.m_workerThreads.Add(HandleToDWord(AfxBeginThread([](void*) -> UINT { return 0; }, nullptr)));
    Sleep(20);
    auto t0 = steady_clock::now();
    source.ShutdownWorkers(FALSE);
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - t0).count(), 100);
    EXPECT_TRUE(source.m_workerThreads.IsEmpty());
    EXPECT_EQ(GetOpenThreadHandleCount(), nOpen);
    // With no workers left it only toggles the event.
    source.ShutdownWorkers(FALSE);
    EXPECT_EQ(source.m_shutdownEvent.Wait(0), WAIT_TIMEOUT);
}
