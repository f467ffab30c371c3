// The connection, the worker machinery shared by every operation (start,
// result routing, registration, Stop) and the retirement of removed nodes.

#include "source/LdapSource.h"

#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/Services.h"
#include "platform/Thread.h"
#include "source/ConnectionParams.h"
#include "source/LdapError.h"

#include <algorithm>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unordered_set>

namespace {
// Type reported by WaitForResult when the result read belonged to another worker.
constexpr int kHandedOn = -101;
// The library's code for a request held back behind a half-written one.
constexpr int kLibraryBusy = 51;
} // namespace

CLdapSource::CLdapSource() {
    m_connectionReady.SetEvent();
}

CLdapSource::~CLdapSource() {
    // The document runs the shutdown handshake first; a source dropped
    // without it must still not free what a running worker touches.
    if (!m_workerThreads.IsEmpty())
        ShutdownWorkers(FALSE);
    if (m_ld)
        CLdapSource::Close();

    std::vector<CEntryNode*> roots;
    {
        CCriticalSectionLock lock(m_retireLock);
        roots.swap(m_retired);
    }
    if (m_pRoot)
        roots.push_back(m_pRoot);
    m_pRoot = nullptr;
    roots.insert(roots.end(), m_namingContexts.begin(), m_namingContexts.end());
    m_namingContexts.clear();
    DeleteSubtrees(roots);

    // Copies that no pane took over (a worker that ended at the shutdown
    // event leaves them in its record).
    for (auto& pRequest : m_addAttributeRequests)
        ::DeleteAttributes(pRequest->attributes);
    for (auto& pRequest : m_deleteAttributeRequests)
        ::DeleteAttributes(pRequest->attributes);
}

BOOL CLdapSource::Open(CConnectionParams& params) {
    m_strSearchBase = params.m_strSearchBase;
    auto pTop = std::make_unique<CEntryNode>();

    if (CResult connected =
            LdapConnectAndBind(m_ld, params, kNetworkTimeoutSeconds, m_connectionInfo, &m_bQuiet);
        !connected) {
        if (!m_bQuiet && !connected.Reason().IsEmpty())
            ReportFailure(connected.Reason());
        return FALSE;
    }
    m_ld.LimitWrites(kWriteSliceMs);
    m_nSocket = m_ld.Socket();
    m_bConnectionLost = false;
    m_bPagingOffered = m_ld.OffersPagedResults();
    m_strServer = params.m_strServer;
    m_nPort = params.m_nPort;
    // A reconnect uses the same login, security and trust as this one; the
    // password waits for it in a buffer of its own.
    m_reconnectParams = params;
    m_reconnectParams.m_pPrompts = nullptr;
    m_password.Assign(params.m_strPassword.View());
    WipeString(m_reconnectParams.m_strPassword);

    if (!m_strSearchBase.IsEmpty()) {
        // The server's own spelling of the base replaces what was typed.
        int nMsgId = -1;
        int nCode =
            LdapSearch(m_ld.Get(), m_strSearchBase, LDAP_SCOPE_BASE_LEVEL, "(objectclass=*)", true, nMsgId);
        if (nCode != 0) {
            ReportOpenError(nCode);
            m_ld.Unbind();
            return FALSE;
        }
        for (;;) {
            CLdapMessage message;
            int nType = LdapReadResult(m_ld.Get(), nMsgId, kNetworkTimeoutSeconds * 1000, message);
            if (nType == LDAP_RESULT_SEARCH_ENTRY) {
                std::vector<CString> dns;
                LdapEntryDNs(m_ld.Get(), message.Get(), dns);
                if (!dns.empty()) {
                    params.m_strSearchBase = dns.back();
                    m_strSearchBase = params.m_strSearchBase;
                }
                continue;
            }
            if (nType == LDAP_RESULT_SEARCH_RESULT) {
                CString diagnostic, matchedDN;
                nCode = LdapResultCode(m_ld.Get(), message.Get(), &diagnostic, &matchedDN);
                if (nCode != 0) {
                    ReportOpenError(nCode, diagnostic, matchedDN);
                    m_ld.Unbind();
                    return FALSE;
                }
                break;
            }
            // No answer in time or a broken wait: go on with the base as typed.
            if (nType == 0)
                LdapAbandon(m_ld.Get(), nMsgId);
            break;
        }
    }

    // Without a base the tree starts where a directory's own starts: at the
    // server's naming contexts, beside the root DSE itself.
    if (m_strSearchBase.IsEmpty()) {
        for (const CString& context : m_ld.RootDseValues("namingContexts")) {
            auto* pContext = new CEntryNode;
            pContext->SetDN(context);
            pContext->SetParent(nullptr);
            m_namingContexts.push_back(pContext);
        }
    }
    params.m_namingContexts = m_namingContexts;
    pTop->SetDN(m_strSearchBase);
    pTop->SetParent(nullptr);
    m_pRoot = pTop.release();
    params.m_pRoot = m_pRoot;
    return TRUE;
}

const char* const CLdapSource::kReconnectQuestion = "Reconnect with the same login?";
const char* const CLdapSource::kReconnectedText =
    "Reconnected. What failed was not sent again: refresh (F5) or repeat the change.";

void CLdapSource::ShowError(int nCode, const CString& diagnostic, const CString& matchedDN) {
    // A server may answer one request with -1 as its result code: only a
    // connection that is really gone (a failed read or send said so, or the
    // socket is closed) fails every other request too.
    if (nCode == kServerDown && (m_bConnectionLost || m_ld.Socket() < 0)) {
        // Gone for every worker, not only this one.
        m_bConnectionLost = true;
        ReportConnectionLost();
    } else if (nCode == kServerDown) {
        // Not the library's "Can't contact": the server said -1 itself.
        COperationFailure failure = LdapFailure(nCode, diagnostic, matchedDN);
        failure.strText = "The server answered with the unknown result code -1";
        if (!diagnostic.IsEmpty())
            failure.strText += "\n" + diagnostic;
        ReportFailure(failure);
    } else {
        ReportFailure(LdapFailure(nCode, diagnostic, matchedDN));
    }
}

void CLdapSource::ReportConnectionLost() {
    if (m_bLossReported.exchange(true))
        return;
    CString text;
    text.Format("The connection to %s:%d was lost.", m_strServer.GetString(), m_nPort);
    // Yes: tried as soon as no other worker uses the handle (the last one
    // to end does it), so that a server still down is said at once.
    if (AskReconnect(text + "\n" + kReconnectQuestion))
        m_bReconnectNow = true;
}

void CLdapSource::EndWorker() {
    bool bReconnect = false;
    {
        CCriticalSectionLock lock(m_startLock);
        if (m_nLiveWorkers.load() == 1 && m_bConnectionLost && m_bReconnectNow.exchange(false) &&
            !IsShuttingDown()) {
            m_bReconnectWanted = false;
            m_connectionReady.ResetEvent();
            bReconnect = true;
        }
    }
    if (bReconnect)
        Reconnect();
    --m_nLiveWorkers;
}

void CLdapSource::BeforeStart() {
    ReconnectIfWanted();
    FreeRetiredIfIdle();
}

void CLdapSource::ReconnectIfWanted() {
    if (!m_bConnectionLost)
        return;
    if (!m_bReconnectWanted && !m_bReconnectNow) {
        // Declined: the next failure asks again.
        m_bLossReported = false;
        return;
    }
    {
        // Only the UI thread starts workers, and it is here: with none alive
        // nothing can be using the old handle, and the workers started from
        // now on wait for the new one.
        CCriticalSectionLock lock(m_startLock);
        if (m_nLiveWorkers.load() != 0)
            return;
        m_bReconnectWanted = false;
        m_bReconnectNow = false;
        m_connectionReady.ResetEvent();
    }
    StartWorker(&ReconnectWorker, this);
}

UINT CLdapSource::ReconnectWorker(void* pParam) {
    auto* pSource = static_cast<CLdapSource*>(pParam);
    pSource->Reconnect();
    --pSource->m_nLiveWorkers;
    return 0;
}

CConnectionParams CLdapSource::LoginParams() const {
    CConnectionParams params = m_reconnectParams;
    params.m_strPassword = CString(std::string(m_password.View()));
    return params;
}

void CLdapSource::Reconnect() {
    CLdapConnection fresh;
    CConnectionInfo info;
    CConnectionParams params = LoginParams();
    const CResult connected = LdapConnectAndBind(fresh, params, kNetworkTimeoutSeconds, info);
    WipeString(params.m_strPassword);
    const bool bConnected = connected.Succeeded();
    if (!bConnected && !connected.Reason().IsEmpty() && !IsShuttingDown())
        ReportFailure(connected.Reason());
    if (bConnected) {
        // The dead handle goes with fresh.
        CCriticalSectionLock lock(m_routingLock);
        m_ld.Swap(fresh);
        m_ld.LimitWrites(kWriteSliceMs);
        m_nUnfinishedMsgId = -1;
        m_nSocket = m_ld.Socket();
        m_bConnectionLost = false;
        m_bBroken = false;
    }
    // What failed before is not sent again by itself (an update may need
    // the user's second look): the status says how to repeat it.
    if (bConnected && !IsShuttingDown())
        ShowStatus(kReconnectedText, 0);
    // Failed: the attempt said why, so the requests that waited for it fail
    // without another box; the user's next request tries again.
    m_bReconnectWanted = !bConnected;
    m_bLossReported = !bConnected;
    m_connectionReady.SetEvent();
}

void CLdapSource::WaitForConnection() const {
    // Also at shutdown: the reconnect ends within the network time-out, and
    // the shutdown waits for every thread anyway.
    m_connectionReady.Wait(INFINITE);
}

void CLdapSource::ReportOpenError(int nCode, const CString& diagnostic, const CString& matchedDN) {
    if (!m_bQuiet)
        ReportFailure(LdapFailure(nCode, diagnostic, matchedDN));
}

BOOL CLdapSource::Close() {
    // The password was kept only for a reconnect of this session.
    m_password.Wipe();
    if (m_ld) {
        // The library frees the handle whatever the unbind returns, so it is
        // never used again even when the unbind reports a failure.
        int nCode = m_ld.Unbind();
        m_nSocket = -1;
        if (nCode != 0 && !m_bBroken) {
            ReportFailure(LdapFailure(nCode));
            return FALSE;
        }
    }
    return TRUE;
}

void CLdapSource::BreakConnection() {
    // Not through the library: its lock may be held by the very worker
    // that is stuck in a write. The socket's number stays valid until Close.
    const int nSocket = m_nSocket;
    if (nSocket < 0)
        return;
    m_bBroken = true;
    m_bConnectionLost = true;
    shutdown(nSocket, SHUT_RDWR);
}

BOOL CLdapSource::IsShuttingDown() const {
    // A test with a zero time-out, made without any timed wait.
    return m_shutdownEvent.IsSignalled();
}

void CLdapSource::StartWorker(AFX_THREADPROC pfnWorker, void* pRecord, HANDLE* pHandle) {
    {
        CCriticalSectionLock lock(m_startLock);
        ++m_nLiveWorkers;
    }
    HANDLE hThread = AfxBeginThread(pfnWorker, pRecord);
    if (pHandle)
        *pHandle = hThread;
    CCriticalSectionLock lock(m_threadListLock);
    m_workerThreads.Add(HandleToDWord(hThread));
}

int CLdapSource::SendRequest(const std::function<int(int&)>& fnSend, int& nMsgId, int nWaitMs) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(nWaitMs < 0 ? kNetworkTimeoutSeconds * 1000 : nWaitMs);
    for (;;) {
        int nCode = 0;
        {
            CCriticalSectionLock lock(m_routingLock);
            if (!m_ld || m_bConnectionLost) {
                nMsgId = -1;
                return kServerDown; // the library's "Can't contact LDAP server"
            }
            nCode = fnSend(nMsgId);
            if (nCode == 0 && nMsgId >= 0) {
                m_activeMsgIds.insert(nMsgId);
                if (LdapSendUnfinished(m_ld.Get()))
                    m_nUnfinishedMsgId = nMsgId;
            } else {
                nMsgId = -1;
            }
            if (nCode == kServerDown && m_ld.Socket() < 0)
                m_bConnectionLost = true;
        }
        // The library sends nothing while a request before it is only half
        // written (a server that stopped reading): wait for the server
        // outside the lock, so that the other workers and Stop go on.
        if (nCode != kLibraryBusy || IsShuttingDown() || std::chrono::steady_clock::now() >= deadline)
            return nCode;
        WaitWritable();
    }
}

int CLdapSource::AbandonRequest(int nMsgId) {
    CCriticalSectionLock lock(m_routingLock);
    if (!m_ld || m_bConnectionLost || m_nUnfinishedMsgId != -1)
        return 0;
    return LdapAbandon(m_ld.Get(), nMsgId);
}

void CLdapSource::WaitWritable() {
    if (const int fd = m_nSocket; fd >= 0) {
        pollfd pfd{fd, POLLOUT, 0};
        poll(&pfd, 1, kWaitSliceMs);
    } else {
        Sleep(kWaitSliceMs);
    }
}

void CLdapSource::WaitForResult(int nMsgId, int& nType, CLdapMessage& message) {
    CCriticalSectionLock lock(m_routingLock);
    if (ldapmsg* pMessage = m_pendingResults.Take(nMsgId, nType)) {
        message.Reset(pMessage);
        return;
    }
    if (m_bConnectionLost) {
        nType = -1;
        return;
    }
    CLdapMessage read;
    nType = LdapReadResult(m_ld.Get(), -1, 0, read);
    if (nType < 0) {
        // A broken connection is gone for every worker, not only this one.
        if (LdapReadLostConnection(m_ld.Get()))
            m_bConnectionLost = true;
        nType = -1;
        return;
    }
    if (nType == 0)
        return;
    int nId = LdapMessageId(read.Get());
    if (nId == m_nUnfinishedMsgId)
        m_nUnfinishedMsgId = -1; // answered, so read whole
    if (nId == nMsgId) {
        message = std::move(read);
        return;
    }
    // Another worker's: stored for it while it still waits, dropped otherwise
    // (an abandoned or finished request), so the store cannot grow without end.
    if (m_activeMsgIds.count(nId)) {
        m_pendingResults.Add(nId, read.Release(), nType);
        ++m_nHandedOver;
    }
    nType = kHandedOn;
}

CLdapSource::EWaitOutcome CLdapSource::NextResult(CWorker& worker, CLdapMessage& message, int& nType,
                                                  BOOL bNoWait) {
    for (;;) {
        if (IsShuttingDown())
            return kShutdown;
        {
            CCriticalSectionLock lock(*worker.pLock);
            if (*worker.pAbandoned || (worker.pCancelled && *worker.pCancelled))
                return kAbandoned;
            *worker.pWaiting = TRUE;
        }
        WaitForResult(worker.nMsgId, nType, message);
        {
            CCriticalSectionLock lock(*worker.pLock);
            *worker.pWaiting = FALSE;
        }
        if (message)
            return kGotMessage;
        if (nType == -1)
            return kWaitFailed;
        if (nType == kHandedOn)
            continue;
        if (bNoWait)
            return kNothingYet;
        WaitSlice();
    }
}

void CLdapSource::WaitSlice() {
    // Nothing yet: wait for the socket outside the library, one short
    // slice, so no other worker's send and no abandon is held up.
    if (const int fd = m_nSocket; fd >= 0) {
        pollfd pfd{fd, POLLIN, 0};
        poll(&pfd, 1, kWaitSliceMs);
    } else {
        Sleep(kWaitSliceMs);
    }
}

void CLdapSource::BeginRequest(CWorker& worker, int nMsgId, int nOp, CEntryNode* pEntry) {
    worker.nMsgId = nMsgId;
    IncrementRunning();
    RegisterRequest(nMsgId, nOp, pEntry, worker.pAbandoned, worker.pLock, worker.pWaiting);
}

void CLdapSource::EndRequest(CWorker& worker) {
    DecrementRunning();
    UnregisterRequest(worker.nMsgId);
    CCriticalSectionLock lock(m_routingLock);
    m_activeMsgIds.erase(worker.nMsgId);
    m_pendingResults.Drop(worker.nMsgId);
}

void CLdapSource::MoveRequest(CWorker& worker, int nMsgId) {
    {
        CCriticalSectionLock lock(m_routingLock);
        m_activeMsgIds.erase(worker.nMsgId);
        m_pendingResults.Drop(worker.nMsgId);
    }
    {
        // The next page keeps the request's place among Stop's aims.
        CCriticalSectionLock lock(m_registrationLock);
        for (CRegistration& registration : m_registrations)
            if (registration.nMsgId == worker.nMsgId)
                registration.nMsgId = nMsgId;
        ShowLatestRegistration();
    }
    worker.nMsgId = nMsgId;
}

void CLdapSource::PreparePaging(CPagedSearch& search) {
    search.args.bPaged = m_bPagingOffered && m_nPageSize > 0;
    search.args.nPageSize = search.args.bPaged ? m_nPageSize.load() : 0;
    search.args.cookie.clear();
}

bool CLdapSource::TakePagingTurn(CPagedSearch& search, const std::function<bool()>& fnGiveUp,
                                 const std::function<void()>& fnWaiting) {
    bool bWaited = false;
    for (;;) {
        {
            CCriticalSectionLock lock(m_pagingLock);
            if (!m_bPagingTaken) {
                m_bPagingTaken = true;
                search.pTurnOf = this;
                return true;
            }
        }
        if (fnGiveUp())
            return false;
        if (!bWaited && fnWaiting)
            fnWaiting();
        bWaited = true;
        Sleep(kWaitSliceMs);
    }
}

void CLdapSource::ReleasePagingTurn() {
    CCriticalSectionLock lock(m_pagingLock);
    m_bPagingTaken = false;
}

int CLdapSource::SendPage(CPagedSearch& search, int& nMsgId) {
    return SendRequest([&](int& nId) { return LdapSearchPage(m_ld.Get(), search.args, nId); }, nMsgId);
}

CLdapSource::EPageStep CLdapSource::ContinuePaged(CWorker& worker, CPagedSearch& search, ldapmsg* pResult,
                                                  int& nResultCode) {
    nResultCode = LdapResultCode(m_ld.Get(), pResult);
    if (!search.args.bPaged)
        return kSearchDone;
    if (nResultCode == 0) {
        search.args.cookie = LdapPageCookie(m_ld.Get(), pResult);
        if (search.args.cookie.empty())
            return kSearchDone; // the last page
        // A cookie seen before, or page after page of nothing, would go on
        // for ever (the same entries again, or requests without end).
        search.nEmptyPages = search.nPageEntries == 0 ? search.nEmptyPages + 1 : 0;
        if (!search.cookiesSeen.insert(search.args.cookie).second || search.nEmptyPages > kMaxEmptyPages) {
            AbandonPaged(worker, search);
            return kPagingRunaway;
        }
        search.nPageEntries = 0;
    } else if ((nResultCode == 11 || nResultCode == 53) && search.args.cookie.empty() &&
               !search.bEntriesSeen) {
        // The first page's size refused: smaller, and below the floor the
        // search goes without paging (its limit is then reported).
        if (search.args.nPageSize <= kMinPageSize)
            search.args.bPaged = false;
        else
            search.args.nPageSize = std::max(kMinPageSize, search.args.nPageSize / 2);
    } else {
        return kSearchDone;
    }
    int nMsgId = -1;
    int nCode = SendPage(search, nMsgId);
    if (nCode != 0) {
        nResultCode = nCode;
        return kPageSendFailed;
    }
    MoveRequest(worker, nMsgId);
    return kNextPageSent;
}

CString CLdapSource::RunawayText(int nShown) {
    CString text;
    text.Format("The server's paged results did not end; %d entries shown", nShown);
    return text;
}

void CLdapSource::AbandonPaged(CWorker& worker, CPagedSearch& search) {
    AbandonRequest(worker.nMsgId);
    if (!search.args.bPaged || search.args.cookie.empty())
        return;
    CLdapSearchArgs release = search.args;
    release.nPageSize = 0;
    CCriticalSectionLock lock(m_routingLock);
    if (!m_ld || m_bConnectionLost)
        return;
    // Its answer is dropped when read: no worker waits for it.
    int nMsgId = -1;
    LdapSearchPage(m_ld.Get(), release, nMsgId);
    search.args.cookie.clear();
}

void CLdapSource::RegisterRequest(int nMsgId, int nOp, CEntryNode* pEntry, BOOL* pAbandoned,
                                  CCriticalSection* pWorkerLock, BOOL* pWaiting) {
    CCriticalSectionLock lock(m_registrationLock);
    m_registrations.push_back(CRegistration{nMsgId, nOp, pEntry, pAbandoned, pWaiting, pWorkerLock});
    ShowLatestRegistration();
}

void CLdapSource::UnregisterRequest(int nMsgId) {
    CCriticalSectionLock lock(m_registrationLock);
    std::erase_if(m_registrations,
                  [nMsgId](const CRegistration& registration) { return registration.nMsgId == nMsgId; });
    ShowLatestRegistration();
}

void CLdapSource::ShowLatestRegistration() {
    if (m_registrations.empty()) {
        ClearRegistration();
        return;
    }
    const CRegistration& latest = m_registrations.back();
    m_pCurrentEntry = latest.pEntry;
    m_nCurrentMsgId = latest.nMsgId;
    m_nCurrentOp = latest.nOp;
    m_pAbandonFlag = latest.pAbandoned;
    m_pWaitingFlag = latest.pWaiting;
    m_pWorkerLock = latest.pWorkerLock;
}

void CLdapSource::ClearRegistration() {
    m_pCurrentEntry = nullptr;
    m_nCurrentMsgId = -1;
    m_nCurrentOp = -1;
    m_pAbandonFlag = nullptr;
    m_pWaitingFlag = nullptr;
    m_pWorkerLock = nullptr;
}

BOOL CLdapSource::TryAbandon(CCriticalSection* pWorkerLock) {
    CCriticalSectionLock lock(*pWorkerLock);
    if (!*m_pWaitingFlag) {
        *m_pAbandonFlag = TRUE;
        return TRUE;
    }
    *m_pAbandonFlag = FALSE;
    return FALSE;
}

void CLdapSource::IncrementRunning() {
    CCriticalSectionLock lock(m_runningLock);
    ++m_nRunning;
}

void CLdapSource::DecrementRunning() {
    CCriticalSectionLock lock(m_runningLock);
    --m_nRunning;
}

int CLdapSource::GetRunning() {
    CCriticalSectionLock lock(m_runningLock);
    return m_nRunning;
}

BOOL CLdapSource::Stop() {
    if (GetRunning() == 0)
        return TRUE;
    CCriticalSectionLock lock(m_registrationLock);
    if (m_nCurrentMsgId != -1) {
        // A worker is inside a read only for a moment (reads never block in
        // the library), so this loop ends at once.
        while (!TryAbandon(m_pWorkerLock))
            std::this_thread::yield();
        // The server may already have made an update: it is not abandoned,
        // and its worker ends the operation once it knows the outcome.
        if (!IsUpdateOperation(m_nCurrentOp)) {
            int nCode = AbandonRequest(m_nCurrentMsgId);
            if (nCode != 0)
                ReportFailure(LdapFailure(nCode));
            if (m_pCurrentEntry)
                m_pCurrentEntry->EndOperation(m_nCurrentOp);
        }
        // Stopped: the next Stop aims at the request before it.
        const int nStopped = m_nCurrentMsgId;
        std::erase_if(m_registrations, [nStopped](const CRegistration& registration) {
            return registration.nMsgId == nStopped;
        });
        ShowLatestRegistration();
    }
    return TRUE;
}

void CLdapSource::RetireEntry(CEntryNode* pEntry) {
    if (!pEntry)
        return;
    Retire(pEntry);
    FreeRetiredIfIdle();
}

void CLdapSource::Retire(CEntryNode* pEntry) {
    CCriticalSectionLock lock(m_retireLock);
    m_retired.push_back(pEntry);
}

int CLdapSource::GetRetiredCount() {
    CCriticalSectionLock lock(m_retireLock);
    return static_cast<int>(m_retired.size());
}

void CLdapSource::FreeRetiredIfIdle() {
    // Only the UI thread starts workers, and it is here: with none alive no
    // worker can hold a pointer to a retired node.
    if (m_nLiveWorkers.load() != 0)
        return;
    std::vector<CEntryNode*> roots;
    {
        CCriticalSectionLock lock(m_retireLock);
        roots.swap(m_retired);
    }
    DeleteSubtrees(roots);
}

void CLdapSource::DeleteSubtrees(const std::vector<CEntryNode*>& roots) {
    // Each node once, even when it was retired twice or lies below another
    // retired node; no recursion, so deep trees cannot exhaust the stack.
    std::unordered_set<CEntryNode*> nodes;
    std::vector<CEntryNode*> pending(roots.begin(), roots.end());
    while (!pending.empty()) {
        CEntryNode* pNode = pending.back();
        pending.pop_back();
        if (!pNode || !nodes.insert(pNode).second)
            continue;
        for (CEntryNode* pChild : pNode->GetChildren())
            pending.push_back(pChild);
    }
    for (CEntryNode* pNode : nodes)
        delete pNode;
}

// ---- Starters (UI thread) ----

BOOL CLdapSource::Expand(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) {
    BeforeStart();
    auto pRequest = std::make_unique<CExpandRequest>();
    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->hItem = hItem;
    pRequest->hNotify = SafeHwnd(pPane);
    pRequest->hPane = SafeHwnd(pPane);
    CExpandRequest* p = pRequest.get();
    m_expandRequests.push_back(std::move(pRequest));
    StartWorker(&ExpandWorker, p);
    return TRUE;
}

std::uintptr_t CLdapSource::ReadAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pPane,
                                           BOOL bNotify) {
    BeforeStart();
    auto pRequest = std::make_unique<CReadAttributesRequest>();
    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->pTarget = pAttributes;
    pRequest->hPane = SafeHwnd(pPane);
    pRequest->hNotify = bNotify ? SafeHwnd(pPane) : HWND();
    CReadAttributesRequest* p = pRequest.get();
    m_readRequests.push_back(std::move(pRequest));
    HANDLE hThread;
    StartWorker(&ReadWorker, p, &hThread);
    return static_cast<std::uintptr_t>(hThread.GetId());
}

BOOL CLdapSource::AddEntry(CEntryNode* pParent, CEntryNode* pNewEntry, HTREEITEM hParentItem, CWnd* pNotify) {
    BeforeStart();
    auto pRequest = std::make_unique<CAddEntryRequest>();
    pRequest->pSource = this;
    pRequest->pNewEntry = pNewEntry;
    pRequest->pParent = pParent;
    pRequest->hNotify = SafeHwnd(pNotify);
    pRequest->hParentItem = hParentItem;
    CAddEntryRequest* p = pRequest.get();
    m_addEntryRequests.push_back(std::move(pRequest));
    StartWorker(&AddEntryWorker, p);
    return TRUE;
}

BOOL CLdapSource::DeleteEntry(CEntryNode* pEntry, CWnd* pNotify) {
    BeforeStart();
    auto pRequest = std::make_unique<CDeleteEntryRequest>();
    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->hNotify = SafeHwnd(pNotify);
    CDeleteEntryRequest* p = pRequest.get();
    m_deleteEntryRequests.push_back(std::move(pRequest));
    StartWorker(&DeleteEntryWorker, p);
    return TRUE;
}

BOOL CLdapSource::ModifyEntry(CEntryNode* pEntry, CString strNewRDN, CString strOldRDN, CString strNewDN,
                              CString strOldItemText, CWnd* pNotify, BOOL bDeleteOldRdn) {
    BeforeStart();
    auto pRequest = std::make_unique<CModifyEntryRequest>();
    pRequest->bDeleteOldRdn = bDeleteOldRdn;
    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->hNotify = SafeHwnd(pNotify);
    pRequest->strNewRDN = strNewRDN;
    pRequest->strOldRDN = strOldRDN;
    pRequest->strNewDN = strNewDN;
    pRequest->strOldItemText = strOldItemText;
    CModifyEntryRequest* p = pRequest.get();
    m_modifyEntryRequests.push_back(std::move(pRequest));
    StartWorker(&ModifyEntryWorker, p);
    return TRUE;
}

BOOL CLdapSource::MoveEntry(CEntryNode* pEntry, CEntryNode* pNewParent, CWnd* pNotify, BOOL bCopyDelete) {
    BeforeStart();
    auto pRequest = std::make_unique<CMoveEntryRequest>();
    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->pNewParent = pNewParent;
    pRequest->hNotify = SafeHwnd(pNotify);
    pRequest->strOldDN = pEntry->GetDN();
    pRequest->strNewDN = DnFirstRdn(pEntry->GetDN()) + "," + pNewParent->GetDN();
    pRequest->bCopyDelete = bCopyDelete;
    CMoveEntryRequest* p = pRequest.get();
    m_moveEntryRequests.push_back(std::move(pRequest));
    StartWorker(&MoveEntryWorker, p);
    return TRUE;
}

BOOL CLdapSource::AddAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pNotify) {
    BeforeStart();
    auto pRequest = std::make_unique<CAddAttributesRequest>();
    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->hNotify = SafeHwnd(pNotify);
    if (pAttributes)
        CopyAttributes(pRequest->attributes, *pAttributes);
    CAddAttributesRequest* p = pRequest.get();
    m_addAttributeRequests.push_back(std::move(pRequest));
    StartWorker(&AddAttributesWorker, p);
    return TRUE;
}

BOOL CLdapSource::DeleteAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CDWordArray* pRowIndices,
                                   CWnd* pNotify) {
    BeforeStart();
    auto pRequest = std::make_unique<CDeleteAttributesRequest>();
    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->hNotify = SafeHwnd(pNotify);
    if (pAttributes)
        CopyAttributes(pRequest->attributes, *pAttributes);
    if (pRowIndices)
        pRequest->rowIndices.Copy(*pRowIndices);
    CDeleteAttributesRequest* p = pRequest.get();
    m_deleteAttributeRequests.push_back(std::move(pRequest));
    StartWorker(&DeleteAttributesWorker, p);
    return TRUE;
}

BOOL CLdapSource::ModifyAttribute(CEntryNode* pEntry, CAttribute* pAttribute, int nRowIndex, CWnd* pNotify) {
    BeforeStart();
    auto pRequest = std::make_unique<CModifyAttributeRequest>();
    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->hNotify = SafeHwnd(pNotify);
    if (pAttribute)
        pRequest->attribute = *pAttribute;
    pRequest->nRowIndex = nRowIndex;
    CModifyAttributeRequest* p = pRequest.get();
    m_modifyAttributeRequests.push_back(std::move(pRequest));
    StartWorker(&ModifyAttributeWorker, p);
    return TRUE;
}

// ---- Thread functions: the last act of each is the live-worker decrement ----

#define TARVO_LDAP_WORKER(Name, Record, Run)                                                                 \
    UINT CLdapSource::Name(void* pParam) {                                                                   \
        auto* pRequest = static_cast<Record*>(pParam);                                                       \
        auto* pSource = static_cast<CLdapSource*>(pRequest->pSource);                                        \
        pSource->WaitForConnection();                                                                        \
        UINT nResult = pSource->Run(*pRequest);                                                              \
        pSource->EndWorker();                                                                                \
        return nResult;                                                                                      \
    }

TARVO_LDAP_WORKER(ExpandWorker, CExpandRequest, RunExpand)
TARVO_LDAP_WORKER(ReadWorker, CReadAttributesRequest, RunRead)
TARVO_LDAP_WORKER(AddEntryWorker, CAddEntryRequest, RunAddEntry)
TARVO_LDAP_WORKER(DeleteEntryWorker, CDeleteEntryRequest, RunDeleteEntry)
TARVO_LDAP_WORKER(ModifyEntryWorker, CModifyEntryRequest, RunModifyEntry)
TARVO_LDAP_WORKER(MoveEntryWorker, CMoveEntryRequest, RunMoveEntry)
TARVO_LDAP_WORKER(AddAttributesWorker, CAddAttributesRequest, RunAddAttributes)
TARVO_LDAP_WORKER(DeleteAttributesWorker, CDeleteAttributesRequest, RunDeleteAttributes)
TARVO_LDAP_WORKER(ModifyAttributeWorker, CModifyAttributeRequest, RunModifyAttribute)

#undef TARVO_LDAP_WORKER
