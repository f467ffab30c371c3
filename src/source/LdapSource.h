#pragma once
// The data source that works on a directory server. One connection is
// shared by the UI thread and one worker thread per started operation; each
// worker sends one request, collects its results (handing on results that
// belong to other workers) and reports to the pane with synchronous sends.

#include "platform/SecretBuffer.h"
#include "platform/Thread.h"
#include "source/ConnectionParams.h"
#include "source/DataSource.h"
#include "source/LdapConnect.h"
#include "source/LdapRequests.h"
#include "source/LdapWrap.h"
#include "source/PendingResults.h"
#include "source/Search.h"

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <vector>

class CLdapSource : public CDataSource {
public:
    CLdapSource();
    ~CLdapSource() override;

    BOOL Open(CConnectionParams& params) override;
    BOOL Expand(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) override;
    BOOL AddEntry(CEntryNode* pParent, CEntryNode* pNewEntry, HTREEITEM hParentItem, CWnd* pNotify) override;
    BOOL DeleteEntry(CEntryNode* pEntry, CWnd* pNotify) override;
    BOOL ModifyEntry(CEntryNode* pEntry, CString strNewRDN, CString strOldRDN, CString strNewDN,
                     CString strOldItemText, CWnd* pNotify, BOOL bDeleteOldRdn = TRUE) override;
    BOOL MoveEntry(CEntryNode* pEntry, CEntryNode* pNewParent, CWnd* pNotify,
                   BOOL bCopyDelete = FALSE) override;
    BOOL AddAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pNotify) override;
    BOOL DeleteAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CDWordArray* pRowIndices,
                          CWnd* pNotify) override;
    BOOL ModifyAttribute(CEntryNode* pEntry, CAttribute* pAttribute, int nRowIndex, CWnd* pNotify) override;
    std::uintptr_t ReadAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pPane,
                                  BOOL bNotify) override;
    BOOL Stop() override;
    BOOL Close() override;
    BOOL Refresh(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) override;
    void RetireEntry(CEntryNode* pEntry) override;
    void BreakConnection() override;
    BOOL Search(const CSearchQuery& query, CWnd* pNotify) override;
    BOOL StopSearch() override;
    // The job runs on a worker of this connection; its adds are pipelined.
    BOOL RunEntryWriter(std::function<void(IEntryWriter&)> job, std::function<void()> fnDone) override;
    void LoadSchema(CWnd* pNotify) override;
    std::shared_ptr<CPasswordChange> SetPassword(CEntryNode* pEntry, const CString& password,
                                                 EPasswordScheme eScheme) override;

    // The library's code for a connection that is gone.
    static constexpr int kServerDown = -1;
    // Said once when the server is gone, with the offer to reconnect.
    static const char* const kReconnectQuestion;
    // The status after a reconnect: what to press for what failed.
    static const char* const kReconnectedText;

    // An Open whose caller gave up: its failures are no longer shown.
    void SetQuiet(bool bQuiet) { m_bQuiet = bQuiet; }

    // Operations with a request outstanding at the server.
    int GetRunning() override;
    // Diagnostics for tests: results held for other workers now, and how
    // many results were handed from one worker to another so far.
    int GetPendingResultCount() const { return m_pendingResults.GetCount(); }
    int GetHandedOverCount() const { return m_nHandedOver.load(); }
    // Nodes removed from the tree and not yet freed.
    int GetRetiredCount();
    // How the open connection is protected and whom the server sees.
    const CConnectionInfo& GetConnectionInfo() const { return m_connectionInfo; }
    // This session's login, password included, for a connection of its own
    // (an import); never asks a question. The caller wipes the password.
    CConnectionParams LoginParams() const;
    // The password kept for a reconnect until Close.
    const CSecretBuffer& GetKeptPassword() const { return m_password; }

    // Entries per page of a paged search (0: no paging), used when the
    // server offers paging.
    void SetPageSize(int nPageSize) override { m_nPageSize = nPageSize; }
    void SetShowOperational(bool bShow) override { m_bShowOperational = bShow; }
    bool OffersPaging() const { return m_bPagingOffered; }
    // The smallest page size tried after the server refused larger ones.
    static constexpr int kMinPageSize = 50;

    // Most entries sent in one EntriesFound.
    static constexpr int kMaxEntriesPerMessage = 1000;
    // Length of one wait for the connection, in milliseconds.
    static constexpr int kWaitSliceMs = 15;
    // Network and synchronous-call time-out, in seconds.
    static constexpr int kNetworkTimeoutSeconds = 10;
    // How long a stopped update still waits for the server's answer before
    // its entries are read again, in milliseconds.
    static constexpr int kStoppedUpdateWaitMs = 3000;
    // Tests shorten the wait to reach the read-again path on a held server.
    void SetStoppedUpdateWait(int nMs) { m_nStoppedUpdateWaitMs = nMs; }
    // The status text after a stopped update whose answer never came.
    static const char* const kStoppedReadAgainText;
    // ... and whose entry could not be read again either.
    static const char* const kStoppedUnreadText;
    // How long the read after a stopped update may take (sending included),
    // in milliseconds; tests shorten it.
    void SetReadBackWait(int nMs) { m_nReadBackWaitMs = nMs; }
    // Longest time one socket write may block the connection, in milliseconds.
    static constexpr int kWriteSliceMs = 100;
    // What the attribute pane shows for a read stopped before any attribute came.
    static const char* const kReadStoppedText;
    // The tree's status while a level waits for another paged reading (its DN follows).
    static const char* const kWaitingForPagingText;

private:
    // How an update request ended (the box for a failure already shown).
    // Stopped: no answer came in time, so what the server did is unknown.
    enum EUpdateOutcome { kUpdateShutdown, kUpdateRefused, kUpdateFailed, kUpdateStopped, kUpdateDone };
    // What a base search of one DN found.
    enum EReadBack { kReadFound, kReadMissing, kReadFailed };

    // How a worker's wait for its next result ended.
    enum EWaitOutcome { kGotMessage, kNothingYet, kAbandoned, kWaitFailed, kShutdown };

    // What one worker shares with Stop through the registration.
    struct CWorker {
        CCriticalSection ownLock;
        // The expand worker shares its record's lock with Refresh.
        CCriticalSection* pLock = &ownLock;
        BOOL* pAbandoned = nullptr;
        // Set when the request's entry was refreshed (expansions only).
        const BOOL* pCancelled = nullptr;
        BOOL* pWaiting = nullptr;
        int nMsgId = -1;
        // Value updates: a refusal whose code this accepts is not shown but
        // kept in deferredFailure for the worker to settle (the entry changed
        // since it was read, or values the server cannot match one by one).
        std::function<bool(int)> fnDefer;
        bool bDeferred = false;
        COperationFailure deferredFailure;
    };

    static UINT ExpandWorker(void* pParam);
    static UINT ReadWorker(void* pParam);
    static UINT AddEntryWorker(void* pParam);
    static UINT DeleteEntryWorker(void* pParam);
    static UINT ModifyEntryWorker(void* pParam);
    static UINT MoveEntryWorker(void* pParam);
    static UINT AddAttributesWorker(void* pParam);
    static UINT DeleteAttributesWorker(void* pParam);
    static UINT ModifyAttributeWorker(void* pParam);
    static UINT SearchWorker(void* pParam);
    static UINT SchemaWorker(void* pParam);
    static UINT PasswordWorker(void* pParam);
    static UINT EntryWriterWorker(void* pParam);
    class CEntryWriter;
    struct CEntryWriterJob;

    UINT RunExpand(CExpandRequest& request);
    UINT RunRead(CReadAttributesRequest& request);
    UINT RunAddEntry(CAddEntryRequest& request);
    UINT RunDeleteEntry(CDeleteEntryRequest& request);
    UINT RunModifyEntry(CModifyEntryRequest& request);
    UINT RunMoveEntry(CMoveEntryRequest& request);
    // The move entry by entry: the subtree read, copied below the new
    // parent parents first, the old entries deleted deepest first. What was
    // done is in the record; a stop on the way is reported with it.
    EUpdateOutcome CopyThenDelete(CWorker& worker, CMoveEntryRequest& request);
    // A move the server made: the node leaves its old parent, and hangs
    // below the new one when that level is loaded (else it is retired).
    void FinishMove(CMoveEntryRequest& request);
    UINT RunAddAttributes(CAddAttributesRequest& request);
    UINT RunDeleteAttributes(CDeleteAttributesRequest& request);
    UINT RunModifyAttribute(CModifyAttributeRequest& request);
    UINT RunSearch(CSearchRequest& request);
    void RunSchemaLoad();
    struct CPasswordRequest;
    void RunSetPassword(CPasswordRequest& request);
    // Sends one request on the calling worker and collects its results
    // without a box (fnEach sees every search entry); the final result's
    // code, or the library's code when it could not be sent or read.
    int RequestQuietly(const std::function<int(int&)>& fnSend,
                       const std::function<void(ldapmsg*)>& fnEach = nullptr);
    // One entry's listed attributes (operational ones too), read on the
    // calling worker without a box; FALSE when it could not be read.
    bool ReadEntryQuietly(const CString& dn, const CStringArray& names, std::vector<CAttribute>& attributes);

    // Starting: the thread is counted as live before it runs.
    void StartWorker(AFX_THREADPROC pfnWorker, void* pRecord, HANDLE* pHandle = nullptr);
    BOOL IsShuttingDown() const;

    // Sends a request with fnSend (which returns the library's code and
    // sets the message id) so that no result of it can be read before it is
    // known to belong to a live worker.
    // A request that cannot go out because the one before it is still only
    // half written is tried again until nWaitMs passed (-1: the network time-out).
    int SendRequest(const std::function<int(int&)>& fnSend, int& nMsgId, int nWaitMs = -1);
    // One slice of waiting for the connection to take more bytes.
    void WaitWritable();
    // Abandons a request unless a request is still only partly written: the
    // abandon would be written into the middle of it (the server stops
    // nothing then, and the worker drops the results anyway). The library's code.
    int AbandonRequest(int nMsgId);
    // The worker's whole result wait: short slices, the shutdown event and
    // the abandoned flag checked between them. bNoWait: only what is
    // already available (kNothingYet otherwise).
    EWaitOutcome NextResult(CWorker& worker, CLdapMessage& message, int& nType, BOOL bNoWait);
    // One slice of waiting for the connection to have something to read.
    void WaitSlice();
    // One read under the routing lock: this request's result from the
    // store, else one result from the connection, handed on when it is
    // another worker's (type -101). Type 0: nothing now; -1: failed.
    void WaitForResult(int nMsgId, int& nType, CLdapMessage& message);
    // A worker that sent a request: counted and registered; finished:
    // uncounted, unregistered, its late results dropped.
    void BeginRequest(CWorker& worker, int nMsgId, int nOp, CEntryNode* pEntry);
    void EndRequest(CWorker& worker);

    void RegisterRequest(int nMsgId, int nOp, CEntryNode* pEntry, BOOL* pAbandoned,
                         CCriticalSection* pWorkerLock, BOOL* pWaiting);
    void UnregisterRequest(int nMsgId);
    BOOL TryAbandon(CCriticalSection* pWorkerLock);
    void IncrementRunning();
    void DecrementRunning();
    void ClearRegistration();
    // Under the registration lock: the fields mirror the latest registration.
    void ShowLatestRegistration();

    // Sends an update request and waits for its single result.
    EUpdateOutcome SendUpdate(CWorker& worker, int nOp, CEntryNode* pEntry,
                              const std::function<int(int&)>& fnSend);
    // After Stop: the update's answer for a while longer.
    EWaitOutcome AwaitStoppedUpdate(CWorker& worker, CLdapMessage& message, int& nType, int nWaitMs);
    // How long an answer may still follow the read again, in milliseconds.
    static constexpr int kSettleWaitMs = 1000;
    // Reads dn again from the server (its attributes into pAttributes when
    // given); not registered, so Stop leaves it alone.
    EReadBack ReadBack(const CString& dn, CAttributeArray* pAttributes);
    // Empties the entry's attribute cache, so that what is shown next is read
    // from the server.
    void ForgetCachedAttributes(CEntryNode* pEntry);
    EUpdateOutcome OutcomeOf(CWorker& worker, EWaitOutcome eWait, CLdapMessage& message);
    // Ends a stopped update's request: its own answer when it came
    // meanwhile, else kUpdateStopped with the status text in nPane.
    EUpdateOutcome SettleStoppedUpdate(CWorker& worker, int nPane, EReadBack eRead);
    // A stopped entry update: dn read again, then settled.
    EUpdateOutcome ResolveStoppedUpdate(CWorker& worker, const CString& dn, EReadBack& eRead);
    // A stopped rename or move: done when the server has newDn and not oldDn.
    EUpdateOutcome ResolveStoppedRename(CWorker& worker, const CString& oldDn, const CString& newDn);
    // A stopped attribute update: without its answer, the entry's cache and
    // rows become what the server holds.
    EUpdateOutcome ResolveStoppedAttributeUpdate(CWorker& worker, CEntryNode* pEntry, HWND hNotify);
    // The entry's cache and the pane's rows become fresh (what the server
    // holds, read just now); fresh is emptied.
    void ReplaceCachedAttributes(CEntryNode* pEntry, CAttributeArray& fresh, HWND hNotify);
    // A value update the server refused because the entry changed since it
    // was read: the entry read again, then the refusal told.
    void ReportEntryChanged(const COperationFailure& refusal, CEntryNode* pEntry, HWND hNotify);
    // A deferred refusal of inappropriate matching, taken back: TRUE when
    // there is one to retry with whole values.
    static bool TakeMatchingRefusal(CWorker& worker);
    // A value update's deferred refusal, told: an entry that changed is
    // read again first; a matching refusal left after Stop is shown as it is.
    void SettleDeferredRefusal(CWorker& worker, CEntryNode* pEntry, HWND hNotify);
    static bool IsUpdateOperation(int nOp);
    void ReportOpenError(int nCode, const CString& diagnostic = CString(),
                         const CString& matchedDN = CString());
    // A worker's error box; a request that failed because the connection
    // is gone leads to the one lost-connection notice instead.
    void ShowError(int nCode, const CString& diagnostic = CString(), const CString& matchedDN = CString());
    void ReportConnectionLost();
    // Starters (UI thread): a reconnect the user asked for, begun once no
    // worker can be using the old handle; then the retired nodes.
    void BeforeStart();
    void ReconnectIfWanted();
    // The reconnect's own thread: connecting and binding can each wait for
    // the network time-out, which the UI thread must not.
    static UINT ReconnectWorker(void* pParam);
    void Reconnect();
    // Every worker's first act: no request touches the handle while a
    // reconnect may still replace it.
    void WaitForConnection() const;
    // Every worker's last act; the last one alive makes a reconnect the user
    // has just asked for.
    void EndWorker();

    // One search that may come in pages (RFC 2696), for the browse and the
    // search panel alike.
    struct CPagedSearch {
        CPagedSearch() = default;
        ~CPagedSearch() {
            if (pTurnOf)
                pTurnOf->ReleasePagingTurn();
        }
        CPagedSearch(const CPagedSearch&) = delete;
        CPagedSearch& operator=(const CPagedSearch&) = delete;
        CLdapSearchArgs args;
        // The source whose paging this search holds (TakePagingTurn).
        CLdapSource* pTurnOf = nullptr;
        // A refused page size is retried smaller only before any entry came.
        bool bEntriesSeen = false;
        // A server that pages forever: the cookies it sent, and the pages in
        // a row that brought no entry (nPageEntries counts the current one).
        std::set<std::string> cookiesSeen;
        int nEmptyPages = 0;
        int nPageEntries = 0;
    };
    // Pages in a row without an entry after which the paging is given up.
    static constexpr int kMaxEmptyPages = 3;
    enum EPageStep { kSearchDone, kNextPageSent, kPageSendFailed, kPagingRunaway };
    // Pages when the server offers them and a page size is set.
    void PreparePaging(CPagedSearch& search);
    // slapd keeps one paged-results state per connection, which a second
    // paged search resets under the first ("cookie is invalid or old"): a
    // paged search holds the connection's paging from its first page to its
    // end, and the next waits. FALSE when fnGiveUp said so first.
    // fnWaiting runs once if the turn is not free at once.
    bool TakePagingTurn(CPagedSearch& search, const std::function<bool()>& fnGiveUp,
                        const std::function<void()>& fnWaiting = {});
    void ReleasePagingTurn();
    int SendPage(CPagedSearch& search, int& nMsgId);
    // At a final result: its code, and the next page (or the first one
    // again, smaller, when its size was refused) sent and waited for by the
    // worker. kPageSendFailed: nResultCode is the library's code.
    EPageStep ContinuePaged(CWorker& worker, CPagedSearch& search, ldapmsg* pResult, int& nResultCode);
    // The text for a paged search given up; nShown entries came.
    static CString RunawayText(int nShown);
    // A stopped paged search: its page abandoned, a held cookie handed back
    // with a page size of 0 so the server can let it go.
    void AbandonPaged(CWorker& worker, CPagedSearch& search);
    // The worker waits for nMsgId now; Stop aims at it when it aimed at the
    // page before.
    void MoveRequest(CWorker& worker, int nMsgId);

    // Browsing helpers. Entries not directly below the parent (by its
    // compare key) are counted in nDropped and not made.
    void AddSearchEntries(ldapmsg* pMessage, CExpandRequest& request, const std::string& parentKey,
                          int& nDropped);
    static bool IsDirectChild(const CString& dn, const std::string& parentKey);
    // Marker texts of a level that is not whole.
    static CString StoppedText(int nShown);
    static CString FailedText(int nShown, const CString& why);
    // FALSE when the expansion must end at once (shutdown, or a refresh).
    BOOL SendEntries(CExpandRequest& request, int& nCount);
    BOOL IsRefreshed(CExpandRequest& request);
    BOOL BatchIsEmpty(CExpandRequest& request);
    int BatchCount(CExpandRequest& request);
    // Ends the running expansions of pEntry: what they have not sent is
    // dropped and nothing of theirs reaches a pane any more.
    void CancelExpansions(CEntryNode* pEntry);
    // A refreshed expansion's page still at the server: its answer is
    // awaited (and dropped) for a while, so that no page of the old search
    // runs beside the new one.
    void DrainRefreshedPage(CWorker& worker);
    // How long a refreshed search's last page is waited for, in milliseconds.
    static constexpr int kDrainWaitMs = 3000;
    // FALSE when the read was stopped (or the source shuts down) on the way.
    BOOL ReadEntryAttributes(ldapmsg* pMessage, CReadAttributesRequest& request, CWorker& worker);

    // Cache helpers of the attribute workers.
    static void MergeAddedAttributes(CEntryNode* pEntry, const CAttributeArray& added);
    static void RemoveDeletedValues(CEntryNode* pEntry, const CAttributeArray& deleted);
    // An empty value of an attribute whose cache has no such value: the
    // row that stands for an attribute shown without values.
    static bool IsValuelessRow(CEntryNode* pEntry, const CString& name, const CString& value);

    // Nodes removed from the tree, freed once no worker can reach them.
    void Retire(CEntryNode* pEntry);
    void FreeRetiredIfIdle();
    static void DeleteSubtrees(const std::vector<CEntryNode*>& roots);

    CLdapConnection m_ld;
    CConnectionInfo m_connectionInfo;
    std::atomic<int> m_nSocket{-1};
    // The socket was shut down under a stuck worker: the unbind at Close
    // cannot reach the server, and that is no failure to report.
    std::atomic<bool> m_bBroken{false};
    CCriticalSection m_readLock;
    CCriticalSection m_threadListLock;
    // Owned: the whole tree below it.
    CEntryNode* m_pRoot = nullptr;
    std::vector<CEntryNode*> m_namingContexts; // top entries beside the root DSE
    CString m_strSearchBase;
    int m_nRunning = 0;
    std::atomic<int> m_nPageSize{500};
    std::atomic<bool> m_bShowOperational{false};
    bool m_bPagingOffered = false; // read at Open
    int m_nStoppedUpdateWaitMs = kStoppedUpdateWaitMs;
    int m_nReadBackWaitMs = kNetworkTimeoutSeconds * 1000;

    // Every registered request in the order sent; the latest still running
    // is what Stop abandons, mirrored in the fields below. A request that
    // ends gives the aim back to the one before it, so Stop still reaches a
    // level that streams on after a later read ended.
    struct CRegistration {
        int nMsgId;
        int nOp;
        CEntryNode* pEntry;
        BOOL* pAbandoned;
        BOOL* pWaiting;
        CCriticalSection* pWorkerLock;
    };
    std::vector<CRegistration> m_registrations;
    // The registration of the most recently sent request: what Stop abandons.
    CEntryNode* m_pCurrentEntry = nullptr;
    int m_nCurrentMsgId = -1;
    int m_nCurrentOp = -1;
    BOOL* m_pAbandonFlag = nullptr;
    BOOL* m_pWaitingFlag = nullptr;
    CCriticalSection* m_pWorkerLock = nullptr;

    CPendingResults m_pendingResults;
    CCriticalSection m_registrationLock;
    CCriticalSection m_runningLock;

    // Held across "take from the store, read the connection, hand on", so
    // the results of one request reach its worker in the server's order.
    CCriticalSection m_routingLock;
    // Message ids of requests whose worker still waits (under m_routingLock).
    std::set<int> m_activeMsgIds;
    // A request the library has not written whole, until its first answer
    // shows that the server read it all (under m_routingLock); -1: none.
    int m_nUnfinishedMsgId = -1;
    std::atomic<bool> m_bConnectionLost{false};
    std::atomic<bool> m_bQuiet{false};
    std::atomic<bool> m_bLossReported{false};
    CCriticalSection m_pagingLock;
    bool m_bPagingTaken = false;
    std::atomic<bool> m_bReconnectWanted{false};
    // The user said Yes just now: the last worker to end reconnects.
    std::atomic<bool> m_bReconnectNow{false};
    // Starting a worker and claiming the reconnect at a worker's end.
    CCriticalSection m_startLock;
    // Reset while a reconnect runs; the workers started meanwhile wait for it.
    CEvent m_connectionReady;
    // Where the session is, for the lost-connection notice.
    CString m_strServer;
    int m_nPort = 0;
    // The login of this session for a reconnect, without its password; the
    // password lives only as long as the session (wiped at Close).
    CConnectionParams m_reconnectParams;
    CSecretBuffer m_password;
    std::atomic<int> m_nHandedOver{0};
    HWND m_hSchemaNotify; // told once the schema has settled

    // Workers started and not yet ended (their last act is the decrement).
    std::atomic<int> m_nLiveWorkers{0};
    CCriticalSection m_retireLock;
    std::vector<CEntryNode*> m_retired; // owned

    // Every request record ever made, kept until the source is destroyed.
    std::vector<std::unique_ptr<CExpandRequest>> m_expandRequests;
    std::vector<std::unique_ptr<CReadAttributesRequest>> m_readRequests;
    std::vector<std::unique_ptr<CAddEntryRequest>> m_addEntryRequests;
    std::vector<std::unique_ptr<CModifyEntryRequest>> m_modifyEntryRequests;
    std::vector<std::unique_ptr<CMoveEntryRequest>> m_moveEntryRequests;
    std::vector<std::unique_ptr<CAddAttributesRequest>> m_addAttributeRequests;
    std::vector<std::unique_ptr<CDeleteAttributesRequest>> m_deleteAttributeRequests;
    std::vector<std::unique_ptr<CModifyAttributeRequest>> m_modifyAttributeRequests;
    std::vector<std::unique_ptr<CDeleteEntryRequest>> m_deleteEntryRequests;
    std::vector<std::unique_ptr<CSearchRequest>> m_searchRequests;
};
