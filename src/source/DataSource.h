#pragma once
// The abstract data source behind the two panes: an LDAP server or an LDIF
// file. Operations are called on the UI thread; outcomes come back as
// ISourceEvents calls to the window the caller named.

#include "model/Attribute.h"
#include "platform/Collections.h"
#include "platform/Sync.h"
#include "platform/Window.h"
#include "source/EntryWriter.h"
#include "source/PasswordHash.h"
#include "source/SchemaCache.h"
#include "source/SourceEvents.h"

#include <atomic>
#include <functional>

class CConnectionParams;
struct CSearchQuery;
class CEntryNode;

// How a password change ended; filled by the source, read on the UI thread
// once bDone is set.
struct CPasswordChange {
    std::atomic<bool> bDone{false};
    bool bChanged = false;
    // The server set it with the Password Modify operation (and hashed it).
    bool bByServer = false;
    CString strMessage; // why not, when not changed
};

class CDataSource : public CObject {
public:
    CDataSource() = default;
    ~CDataSource() override;
    CDataSource(const CDataSource&) = delete;
    CDataSource& operator=(const CDataSource&) = delete;

    virtual BOOL Open(CConnectionParams& params) = 0;
    virtual BOOL Expand(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) = 0;
    virtual BOOL AddEntry(CEntryNode* pParent, CEntryNode* pNewEntry, HTREEITEM hParentItem,
                          CWnd* pNotify) = 0;
    virtual BOOL DeleteEntry(CEntryNode* pEntry, CWnd* pNotify) = 0;
    virtual BOOL ModifyEntry(CEntryNode* pEntry, CString strNewRDN, CString strOldRDN, CString strNewDN,
                             CString strOldItemText, CWnd* pNotify, BOOL bDeleteOldRdn = TRUE) = 0;
    // Moves the entry with everything below it to pNewParent. The caller has
    // begun OP_MODIFY_ENTRY on the entry and OP_ADD_ENTRY on the new parent;
    // the outcome comes as EntryMoved. bCopyDelete: entry by entry (copies
    // under the new parent, then the old ones deleted), for a server that
    // will not move a subtree in one request.
    virtual BOOL MoveEntry(CEntryNode* pEntry, CEntryNode* pNewParent, CWnd* pNotify,
                           BOOL bCopyDelete = FALSE);
    // Why the entry cannot go below pNewParent; empty when it can.
    static CString MoveRefusal(const CEntryNode* pEntry, const CEntryNode* pNewParent);
    // The entries below pEntry that are in memory now.
    static int CountLoadedBelow(const CEntryNode* pEntry);
    virtual BOOL AddAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pNotify) = 0;
    virtual BOOL DeleteAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CDWordArray* pRowIndices,
                                  CWnd* pNotify) = 0;
    virtual BOOL ModifyAttribute(CEntryNode* pEntry, CAttribute* pAttribute, int nRowIndex,
                                 CWnd* pNotify) = 0;
    // Non-zero when started (the LDAP source returns the worker's handle id).
    virtual std::uintptr_t ReadAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pPane,
                                          BOOL bNotify) = 0;
    virtual BOOL Stop() = 0;
    // Operations with a request still outstanding (an LDIF source has none).
    virtual int GetRunning() { return 0; }
    virtual BOOL Close() = 0;
    virtual BOOL Refresh(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) = 0;

    // Searches below a base and reports to pNotify (SearchResults,
    // SearchFinished); FALSE when the search did not start. A source that
    // cannot search reports that at once.
    virtual BOOL Search(const CSearchQuery& query, CWnd* pNotify);
    // Ends the running search, if any; its SearchFinished says stopped.
    virtual BOOL StopSearch();

    // Runs job with a writer that adds entries to this source: the LDAP
    // source on a worker of its connection (the call returns at once and
    // fnDone runs on that worker when the job has ended), a source that
    // works inside its calls runs both here. FALSE, with nothing run, when
    // the source cannot add entries this way.
    virtual BOOL RunEntryWriter(std::function<void(IEntryWriter&)> job, std::function<void()> fnDone);

    // Entries per page when the source can page its searches (0: none).
    virtual void SetPageSize(int /*nPageSize*/) {}
    // Whether reading an entry also brings its operational attributes.
    virtual void SetShowOperational(bool /*bShow*/) {}

    // Takes back a node the tree pane removed after EntryDeleted. A
    // source whose workers may still reach the node keeps it until none can.
    virtual void RetireEntry(CEntryNode* pEntry);

    // Starts reading the schema this source works with, once per session;
    // pNotify hears SchemaLoaded when it has settled. A source without
    // a schema settles at once with none.
    virtual void LoadSchema(CWnd* pNotify);
    // The schema; NULL while it loads and when the source has none.
    std::shared_ptr<const CSchema> GetSchema() const { return m_schema.Get(); }
    // UI thread: the schema after waiting up to dwMilliseconds for a load
    // under way (queued sends run meanwhile); NULL at once when no load was
    // asked for.
    std::shared_ptr<const CSchema> WaitForSchema(DWORD dwMilliseconds);
    const CSchemaCache& SchemaCache() const { return m_schema; }

    // Sets the entry's password: through the server's Password Modify
    // operation when it offers one, else as a userPassword value in
    // eScheme. The outcome arrives in the record (at once for a source
    // that works inside the call). The password is not kept.
    virtual std::shared_ptr<CPasswordChange> SetPassword(CEntryNode* pEntry, const CString& password,
                                                         EPasswordScheme eScheme);

    // The shutdown handshake the document runs before it closes or drops
    // the source: signal the event, optionally sleep 100 ms, wait for every
    // listed worker from the front (running queued sends meanwhile, so a
    // worker blocked in a send can finish), then reset the event. A worker
    // still running after kShutdownGraceMs is stuck, and the connection is
    // broken under it (BreakConnection).
    void ShutdownWorkers(BOOL bSleep);
    static constexpr DWORD kShutdownGraceMs = 500;
    // Makes every worker blocked on the source's connection return at once;
    // the source is closed next. Nothing to do for a source without one.
    virtual void BreakConnection() {}

    // The window told of failures and of a lost connection (OperationFailed,
    // ConnectionLost). Without one, a failure is shown in the standard box
    // and the question asked with Yes/No, both on the UI thread.
    void SetReportWindow(HWND hWnd) { m_hReportWindow = hWnd; }
    // Any thread: tells the report window and waits until it has shown the
    // failure. No worker opens a box itself.
    void ReportFailure(const COperationFailure& failure) const;
    void ReportFailure(const CString& text) const;
    // Any thread: TRUE when the user wants the lost connection made again.
    BOOL AskReconnect(const CString& text) const;
    // Any thread: a text for a pane of the status bar of the source's own
    // window (another window's must not show it), through the report window.
    void ShowStatus(const CString& text, int nPane) const;

    // Handles (HandleToDWord) of every worker started, in start order.
    CDWordArray m_workerThreads;
    CEvent m_shutdownEvent;

protected:
    CSchemaCache m_schema;

private:
    std::atomic<HWND> m_hReportWindow{HWND()};
};
