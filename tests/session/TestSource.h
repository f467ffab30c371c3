#pragma once
// A small data source of the tests' own for the document and the login
// sheet: Open succeeds or fails as told, the calls are counted, and an
// optional worker keeps sending to a window until the shutdown event.

#include "model/EntryNode.h"
#include "source/ConnectionParams.h"
#include "source/DataSource.h"

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

class CTestSource : public CDataSource {
public:
    CTestSource(CTestSourceLog* pLog, bool bOpenSucceeds);
    ~CTestSource() override;

    BOOL Open(CConnectionParams& params) override;
    BOOL Expand(CEntryNode*, CWnd*, HTREEITEM) override { return TRUE; }
    BOOL AddEntry(CEntryNode*, CEntryNode*, HTREEITEM, CWnd*) override { return TRUE; }
    BOOL DeleteEntry(CEntryNode*, CWnd*) override { return TRUE; }
    BOOL ModifyEntry(CEntryNode*, CString, CString, CString, CString, CWnd*) override { return TRUE; }
    BOOL AddAttributes(CEntryNode*, CAttributeArray*, CWnd*) override { return TRUE; }
    BOOL DeleteAttributes(CEntryNode*, CAttributeArray*, CDWordArray*, CWnd*) override { return TRUE; }
    BOOL ModifyAttribute(CEntryNode*, CAttribute*, int, CWnd*) override { return TRUE; }
    std::uintptr_t ReadAttributes(CEntryNode*, CAttributeArray*, CWnd*, BOOL) override { return 0; }
    BOOL Stop() override;
    BOOL Close() override;
    BOOL Refresh(CEntryNode*, CWnd*, HTREEITEM) override { return TRUE; }

    // Starts a worker that sends to pTarget in a loop until the shutdown
    // event is set, as a busy worker of a real source does.
    void StartSendingWorker(CWnd* pTarget);

private:
    static UINT WorkerProc(void* pParam);

    CTestSourceLog* m_pLog;
    bool m_bOpenSucceeds;
    CEntryNode* m_pRoot = nullptr;
    HWND m_hTarget;
};
