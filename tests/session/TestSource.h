#pragma once
// A small data source of the tests' own for the document and the login
// sheet: Open succeeds or fails as told, the calls are counted, and an
// optional worker keeps sending to a window until the shutdown event.

#include "StubSource.h"

#include "model/EntryNode.h"
#include "platform/Thread.h"
#include "source/ConnectionParams.h"

#include <atomic>
#include <functional>

struct CTestSourceLog {
    std::atomic<int> nCreated{0};
    std::atomic<int> nDestroyed{0};
    std::atomic<int> nOpen{0};
    std::atomic<int> nStop{0};
    std::atomic<int> nClose{0};
    std::atomic<int> nSends{0};
    CConnectionParams lastParams;
    // Runs inside Open (on the UI thread).
    std::function<void()> fnOnOpen;
};

class CTestSource : public CStubSource {
public:
    CTestSource(CTestSourceLog* pLog, bool bOpenSucceeds) : m_pLog(pLog), m_bOpenSucceeds(bOpenSucceeds) {
        ++m_pLog->nCreated;
    }
    ~CTestSource() override {
        ShutdownWorkers(FALSE);
        delete m_pRoot;
        ++m_pLog->nDestroyed;
    }

    BOOL Open(CConnectionParams& params) override {
        ++m_pLog->nOpen;
        m_pLog->lastParams = params;
        if (m_pLog->fnOnOpen)
            m_pLog->fnOnOpen();
        if (!m_bOpenSucceeds)
            return FALSE;
        m_pRoot = new CEntryNode;
        m_pRoot->SetDN(params.m_strSearchBase.IsEmpty() ? CString("dc=example,dc=com")
                                                        : params.m_strSearchBase);
        m_pRoot->MarkRoot();
        m_pRoot->MarkUnexpanded();
        params.m_pRoot = m_pRoot;
        return TRUE;
    }
    BOOL Stop() override {
        ++m_pLog->nStop;
        return TRUE;
    }
    int GetRunning() override { return m_nRunning; }
    int m_nRunning = 0; // what the test says still runs
    BOOL Close() override {
        ++m_pLog->nClose;
        return TRUE;
    }

    // Starts a worker that sends to pTarget in a loop until the shutdown
    // event is set, as a busy worker of a real source does.
    void StartSendingWorker(CWnd* pTarget) {
        m_hTarget = pTarget->GetSafeHwnd();
        m_workerThreads.Add(HandleToDWord(AfxBeginThread(&CTestSource::WorkerProc, this)));
    }

private:
    static UINT WorkerProc(void* pParam) {
        auto* pThis = static_cast<CTestSource*>(pParam);
        // Test the event before every send, as real workers do; a send that is
        // already under way when the event is set must still finish.
        while (pThis->m_shutdownEvent.Wait(0) != WAIT_OBJECT_0) {
            Notify(pThis->m_hTarget, &ISourceEvents::ClearAttributes, nullptr);
            ++pThis->m_pLog->nSends;
            Sleep(1);
        }
        return 0;
    }

    CTestSourceLog* m_pLog;
    bool m_bOpenSucceeds;
    CEntryNode* m_pRoot = nullptr;
    HWND m_hTarget;
};
