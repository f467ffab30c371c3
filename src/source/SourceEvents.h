#pragma once
// How the sources report to the panes: one typed call per notification.
// A source names the window to tell by its handle; the call runs on the UI
// thread while the sender waits (a worker is held until the pane has read
// what it was given, which is also the back-pressure of a streaming level),
// in the order sent, and a handle whose window is gone finds nothing.

#include "model/Attribute.h"
#include "platform/Collections.h"
#include "platform/Window.h"

#include <vector>

class CEntryNode;
struct CModifyEntryRequest;
struct CMoveEntryRequest;
struct CDeleteEntryRequest;
struct CAddAttributesRequest;
struct CDeleteAttributesRequest;
struct CModifyAttributeRequest;
struct CSearchResult;
struct CSearchOutcome;

// Values of SearchDone's count besides a count.
constexpr int SEARCH_FAILED = -1;
constexpr int SEARCH_STOPPED = -100;

// A failed operation as a source reports it; the UI decides how to show it.
struct COperationFailure {
    // The LDAP result code, or 0 for a failure of our own (a file, a rule).
    int nCode = 0;
    CString strServerText; // the server's diagnostic message, may be empty
    CString strMatchedDN;  // for "no such object", the part the server found
    // The whole text for the user.
    CString strText;
};

class ISourceEvents {
public:
    virtual ~ISourceEvents() = default;

    // Expansion of a tree item (the tree pane).
    virtual void LoadingEntries(HTREEITEM /*hItem*/) {}
    virtual void RemovePlaceholder(HTREEITEM /*hItem*/) {}
    // The listed entries are linked in the tree already; the list is the
    // sender's.
    virtual void EntriesFound(const CPtrList& /*entries*/, HTREEITEM /*hParent*/) {}
    // Sent just before SearchDone when the server cut the level short
    // (result code 3, 4 or 11).
    virtual void LevelLimited(HTREEITEM /*hItem*/, int /*nResultCode*/) {}
    // Sent just before SearchDone when the level is not whole (stopped,
    // failed, or a server whose pages never ended): strText says so and how
    // many entries came, for a marker row that ends the level.
    virtual void LevelIncomplete(HTREEITEM /*hItem*/, const CString& /*strText*/) {}
    // Search result references met while reading the level (not followed):
    // their URLs, one marker row each. The array is the sender's.
    virtual void ReferencesFound(HTREEITEM /*hItem*/, const CStringArray& /*urls*/) {}
    // Sent just before SearchDone: entries the server sent for the level that
    // are not directly below the entry (or came twice) and are not shown.
    virtual void EntriesDropped(HTREEITEM /*hItem*/, int /*nDropped*/) {}
    // nCount entries, or SEARCH_FAILED, or SEARCH_STOPPED.
    virtual void SearchDone(HTREEITEM /*hItem*/, int /*nCount*/) {}
    // Everything below pEntry was thrown away; an expansion follows.
    virtual void EntryRefreshed(CEntryNode* /*pEntry*/) {}

    // Entry updates (the tree pane). pNewEntry is NULL when the add failed.
    virtual void EntryAdded(CEntryNode* /*pNewEntry*/, HTREEITEM /*hParentItem*/) {}
    virtual void EntryDeleted(CDeleteEntryRequest& /*request*/) {}
    virtual void EntryModified(CModifyEntryRequest& /*request*/) {}
    // A move ended (or was refused); the record says how.
    virtual void EntryMoved(CMoveEntryRequest& /*request*/) {}

    // Attributes (the attribute pane). pFor is the entry being read, NULL
    // when the sender does not say.
    virtual void ClearAttributes(CEntryNode* /*pFor*/) {}
    virtual void ShowAttributes(const CAttributeArray& /*attributes*/, CEntryNode* /*pFor*/) {}
    // The server would not give the entry's attributes; strText says why,
    // for the place where they would have been.
    virtual void AttributesUnavailable(CEntryNode* /*pFor*/, const CString& /*strText*/) {}
    virtual void AttributeAdded(CAddAttributesRequest& /*request*/) {}
    virtual void AttributeDeleted(CDeleteAttributesRequest& /*request*/) {}
    virtual void AttributeModified(CModifyAttributeRequest& /*request*/) {}

    // A search over a subtree (the search panel): batches, then one end.
    virtual void SearchResults(std::vector<CSearchResult>& /*batch*/) {}
    virtual void SearchFinished(const CSearchOutcome& /*outcome*/) {}

    // The source's schema has been read (or found missing): GetSchema()
    // answers from now on. Sent once, to the window LoadSchema named.
    virtual void SchemaLoaded() {}

    // Reports of the source as a whole (the window the UI named for them).
    virtual void OperationFailed(const COperationFailure& /*failure*/) {}
    // The connection is gone; TRUE when the user wants it made again.
    virtual BOOL ConnectionLost(const CString& /*text*/) { return FALSE; }
    // A text of the source for the status bar of its own window.
    virtual void StatusText(int /*nPane*/, const CString& /*text*/) {}
};

// Calls pfnEvent with args on the listener behind hWnd, on the UI thread,
// and waits until it has returned. The arguments are read there, when the
// call runs (a record's field changed on the UI thread meanwhile is seen).
// NULL or dead handle: nothing happens.
template <class... Params, class... Args>
void Notify(HWND hWnd, void (ISourceEvents::*pfnEvent)(Params...), Args&&... args) {
    SendToWindow(hWnd, [&](CWnd& wnd) -> LRESULT {
        if (auto* pEvents = dynamic_cast<ISourceEvents*>(&wnd))
            (pEvents->*pfnEvent)(args...);
        return 0;
    });
}
