#include "source/DataSource.h"

#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Services.h"
#include "platform/Thread.h"
#include "source/Requests.h"
#include "source/Search.h"

CDataSource::~CDataSource() {
    // Handles never waited for are only forgotten; the threads are not touched.
    for (DWORD dw : m_workerThreads)
        CloseHandle(DWordToHandle(dw));
    m_workerThreads.RemoveAll();
}

BOOL CDataSource::Search(const CSearchQuery&, CWnd* pNotify) {
    CSearchOutcome outcome;
    outcome.bFailed = true;
    outcome.strMessage = "This source cannot search.";
    Notify(SafeHwnd(pNotify), &ISourceEvents::SearchFinished, outcome);
    return FALSE;
}

BOOL CDataSource::RunEntryWriter(std::function<void(IEntryWriter&)>, std::function<void()>) {
    return FALSE;
}

void CDataSource::ReportFailure(const COperationFailure& failure) const {
    const HWND hReport = m_hReportWindow.load();
    if (IsWindow(hReport)) {
        Notify(hReport, &ISourceEvents::OperationFailed, failure);
        return;
    }
    CMessageDispatcher::Instance().Invoke([&]() -> LRESULT {
        return CServices::MessageBoxes().ShowMessageBox(failure.strText, kAppTitle, MB_OK | MB_ICONSTOP);
    });
}

void CDataSource::ReportFailure(const CString& text) const {
    COperationFailure failure;
    failure.strText = text;
    ReportFailure(failure);
}

BOOL CDataSource::AskReconnect(const CString& text) const {
    const HWND hReport = m_hReportWindow.load();
    if (IsWindow(hReport))
        return static_cast<BOOL>(SendToWindow(hReport, [&](CWnd& wnd) -> LRESULT {
            auto* pEvents = dynamic_cast<ISourceEvents*>(&wnd);
            return pEvents ? pEvents->ConnectionLost(text) : FALSE;
        }));
    return CMessageDispatcher::Instance().Invoke([&]() -> LRESULT {
        return CServices::MessageBoxes().ShowMessageBox(text, kAppTitle, MB_YESNO | MB_ICONSTOP);
    }) == IDYES;
}

void CDataSource::ShowStatus(const CString& text, int nPane) const {
    const HWND hReport = m_hReportWindow.load();
    if (IsWindow(hReport))
        Notify(hReport, &ISourceEvents::StatusText, nPane, text);
    else
        SetStatusText(text, nPane);
}

BOOL CDataSource::StopSearch() {
    return TRUE;
}

namespace {

// 1,000: counts the way people read them.
CString GroupedCount(int nCount) {
    std::string digits = std::to_string(nCount);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && digits[i - 1] != '-' && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return CString(grouped);
}

} // namespace

CString DescribeSearchOutcome(const CSearchOutcome& outcome, int nRequestedLimit) {
    CString text = GroupedCount(outcome.nCount) + (outcome.nCount == 1 ? " entry" : " entries");
    if (outcome.bStopped)
        return text + " (stopped)";
    if (outcome.bFailed)
        return text + " (failed" + (outcome.strMessage.IsEmpty() ? CString() : ": " + outcome.strMessage) +
               ")";
    // The server answers "size limit exceeded" for the client's own limit
    // too: the count tells whose limit stopped the search.
    if (outcome.nResultCode == 4 && nRequestedLimit > 0 && outcome.nCount >= nRequestedLimit)
        return text + " (your limit of " + GroupedCount(nRequestedLimit) + " reached)";
    if (outcome.nResultCode == 4)
        return text + " (the server's size limit of " + GroupedCount(outcome.nCount) + " reached)";
    if (const char* pszLimit = LimitOfResult(outcome.nResultCode))
        return text + " (the server's " + pszLimit + " reached)";
    return text;
}

const char* LimitOfResult(int nResultCode) {
    switch (nResultCode) {
    case 3:
        return "time limit";
    case 4:
        return "size limit";
    case 11:
        return "administrative limit";
    default:
        return nullptr;
    }
}

void CDataSource::LoadSchema(CWnd* pNotify) {
    if (!m_schema.Begin())
        return;
    m_schema.Settle(nullptr);
    if (pNotify)
        Notify(pNotify->GetSafeHwnd(), &ISourceEvents::SchemaLoaded);
}

std::shared_ptr<const CSchema> CDataSource::WaitForSchema(DWORD dwMilliseconds) {
    // Nothing asked for it: nothing to wait for.
    if (!m_schema.IsBegun())
        return nullptr;
    CMessageDispatcher::Instance().WaitDispatching([this] { return m_schema.IsSettled(); }, dwMilliseconds);
    return m_schema.Get();
}

std::shared_ptr<CPasswordChange> CDataSource::SetPassword(CEntryNode*, const CString&, EPasswordScheme) {
    auto pChange = std::make_shared<CPasswordChange>();
    pChange->strMessage = "This source cannot set passwords.";
    pChange->bDone = true;
    return pChange;
}

BOOL CDataSource::MoveEntry(CEntryNode* pEntry, CEntryNode* pNewParent, CWnd* pNotify, BOOL) {
    ReportFailure("This source cannot move entries.");
    pEntry->EndOperation(OP_MODIFY_ENTRY);
    pNewParent->EndOperation(OP_ADD_ENTRY);
    CMoveEntryRequest request;
    request.pSource = this;
    request.pEntry = pEntry;
    request.pNewParent = pNewParent;
    request.strOldDN = pEntry->GetDN();
    Notify(SafeHwnd(pNotify), &ISourceEvents::EntryMoved, request);
    return FALSE;
}

CString CDataSource::MoveRefusal(const CEntryNode* pEntry, const CEntryNode* pNewParent) {
    if (!pEntry || !pNewParent)
        return "Select the entry to move and the entry to move it below.";
    if (pEntry == pNewParent)
        return "An entry can't be moved onto itself.";
    if (!pEntry->GetParent() || pNewParent->GetDN().IsEmpty())
        return "The top entry can't be moved, and nothing can be moved above it.";
    if (pEntry->GetParent() == pNewParent)
        return "The entry is already below " + pNewParent->GetDN() + ".";
    // By the nodes and by the names (a key ends in ",<key of the parent>").
    bool bBelow = false;
    for (const CEntryNode* pUp = pNewParent; pUp && !bBelow; pUp = pUp->GetParent())
        bBelow = pUp == pEntry;
    const std::string entryKey = "," + DnCompareKey(pEntry->GetDN().View());
    const std::string targetKey = DnCompareKey(pNewParent->GetDN().View());
    bBelow = bBelow || targetKey.ends_with(entryKey);
    if (bBelow)
        return "An entry can't be moved below itself.";
    return CString();
}

int CDataSource::CountLoadedBelow(const CEntryNode* pEntry) {
    int nCount = 0;
    for (const CEntryNode* pChild : pEntry->GetChildren())
        nCount += 1 + CountLoadedBelow(pChild);
    return nCount;
}

void CDataSource::RetireEntry(CEntryNode* pEntry) {
    delete pEntry;
}

void CDataSource::ShutdownWorkers(BOOL bSleep) {
    m_shutdownEvent.SetEvent();
    if (bSleep)
        Sleep(100);
    bool bBroken = false;
    while (!m_workerThreads.IsEmpty()) {
        HANDLE hThread = DWordToHandle(m_workerThreads[0]);
        // A worker that has not seen the event by now is stuck in the
        // network (a write to a server that stopped reading): the connection
        // is broken under it so that it returns.
        if (!bBroken && WaitForThreadDispatching(hThread, kShutdownGraceMs) != WAIT_OBJECT_0) {
            BreakConnection();
            bBroken = true;
        }
        WaitForThreadDispatching(hThread, INFINITE);
        CloseHandle(hThread);
        m_workerThreads.RemoveAt(0);
    }
    m_shutdownEvent.ResetEvent();
}
