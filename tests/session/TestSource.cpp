#include "TestSource.h"

#include "platform/Thread.h"

CTestSource::CTestSource(CTestSourceLog* pLog, bool bOpenSucceeds)
    : m_pLog(pLog), m_bOpenSucceeds(bOpenSucceeds) {
    ++m_pLog->nCreated;
}

CTestSource::~CTestSource() {
    ShutdownWorkers(FALSE);
    delete m_pRoot;
    ++m_pLog->nDestroyed;
}

BOOL CTestSource::Open(CConnectionParams& params) {
    ++m_pLog->nOpen;
    m_pLog->lastParams = params;
    if (m_pLog->fnOnOpen)
        m_pLog->fnOnOpen();
    if (!m_bOpenSucceeds)
        return FALSE;
    m_pRoot = new CEntryNode;
    m_pRoot->SetDN(params.m_strSearchBase.IsEmpty() ? CString("dc=example,dc=com") : params.m_strSearchBase);
    m_pRoot->MarkRoot();
    m_pRoot->MarkUnexpanded();
    params.m_pRoot = m_pRoot;
    return TRUE;
}

BOOL CTestSource::Stop() {
    ++m_pLog->nStop;
    return TRUE;
}

BOOL CTestSource::Close() {
    ++m_pLog->nClose;
    return TRUE;
}

void CTestSource::StartSendingWorker(CWnd* pTarget) {
    m_hTarget = pTarget->GetSafeHwnd();
    HANDLE hThread = AfxBeginThread(&CTestSource::WorkerProc, this);
    m_workerThreads.Add(HandleToDWord(hThread));
}

UINT CTestSource::WorkerProc(void* pParam) {
    auto* pThis = static_cast<CTestSource*>(pParam);
    // Test the event before every send, as real workers do; a send that is
    // already under way when the event is set must still finish.
    while (pThis->m_shutdownEvent.Wait(0) != WAIT_OBJECT_0) {
        ::SendMessage(pThis->m_hTarget, WM_USER + 100, 0, 0);
        ++pThis->m_pLog->nSends;
        Sleep(1);
    }
    return 0;
}
