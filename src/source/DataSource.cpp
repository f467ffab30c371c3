#include "source/DataSource.h"

#include "model/EntryNode.h"
#include "platform/Thread.h"

CDataSource::~CDataSource() {
    // Handles never waited for are only forgotten; the threads are not touched.
    for (DWORD dw : m_workerThreads)
        CloseHandle(DWordToHandle(dw));
    m_workerThreads.RemoveAll();
}

void CDataSource::RetireEntry(CEntryNode* pEntry) {
    delete pEntry;
}

void CDataSource::ShutdownWorkers(BOOL bSleep) {
    m_shutdownEvent.SetEvent();
    if (bSleep)
        Sleep(100);
    while (!m_workerThreads.IsEmpty()) {
        HANDLE hThread = DWordToHandle(m_workerThreads[0]);
        WaitForThreadDispatching(hThread, INFINITE);
        CloseHandle(hThread);
        m_workerThreads.RemoveAt(0);
    }
    m_shutdownEvent.ResetEvent();
}
