// Browsing one level at a time, refreshing, and reading an entry's attributes.

#include "model/EntryNode.h"
#include "source/LdapError.h"
#include "source/LdapSource.h"
#include "source/Messages.h"

#include <memory>

UINT CLdapSource::RunExpand(CExpandRequest& request) {
    CWorker worker;
    worker.pAbandoned = &request.bAbandoned;
    worker.pWaiting = &request.bWaiting;
    CEntryNode* pEntry = request.pEntry;
    const LPARAM lItem = request.hItem.ToLParam();

    if (IsShuttingDown())
        return 0;
    ::SendMessage(request.hNotify, WM_LOADING_ENTRIES, PtrToWParam(&request.hItem), 0);

    const CString dn = pEntry->GetDN();
    const CString filter = request.strFilter.IsEmpty() ? CString("(objectclass=*)") : request.strFilter;

    if (LdapSetNoSizeLimit(m_ld.Get()) != 0) {
        if (IsShuttingDown())
            return 0;
        ::SendMessage(request.hNotify, WM_SEARCH_DONE, static_cast<WPARAM>(SEARCH_FAILED), lItem);
        pEntry->EndOperation(OP_EXPAND);
        return 0;
    }
    if (IsShuttingDown())
        return 0;

    // Names only: the browse uses nothing but the DNs.
    int nMsgId = -1;
    int nCode = SendRequest(
        [&](int& nId) { return LdapSearch(m_ld.Get(), dn, LDAP_SCOPE_ONE_LEVEL, filter, true, nId); },
        nMsgId);
    if (nCode != 0) {
        if (IsShuttingDown())
            return 0;
        ShowLdapError(nCode);
        ::SendMessage(request.hNotify, WM_SEARCH_DONE, static_cast<WPARAM>(SEARCH_FAILED), lItem);
        pEntry->EndOperation(OP_EXPAND);
        return 0;
    }
    BeginRequest(worker, nMsgId, OP_EXPAND, pEntry);

    BOOL bFirst = TRUE;
    BOOL bFirstSent = FALSE;
    int nCount = 0;
    int nDone = 0;
    CPtrList batch;
    auto removePlaceholder = [&] {
        if (bFirst && IsWindow(request.hPane))
            ::SendMessage(request.hNotify, WM_REMOVE_PLACEHOLDER, request.hItem.ToWParam(), 0);
        bFirst = FALSE;
    };

    for (;;) {
        CLdapMessage message;
        int nType = 0;
        // After a send, what has already arrived goes out together in the next one.
        EWaitOutcome eOutcome = NextResult(worker, message, nType, batch.IsEmpty() ? FALSE : TRUE);
        if (eOutcome == kNothingYet) {
            if (!SendEntries(batch, request, nCount))
                eOutcome = kShutdown;
            else
                continue;
        }
        if (eOutcome == kShutdown) {
            EndRequest(worker);
            return 0;
        }
        if (eOutcome == kAbandoned) {
            if (!SendEntries(batch, request, nCount)) {
                EndRequest(worker);
                return 0;
            }
            removePlaceholder();
            nDone = SEARCH_STOPPED;
            break;
        }
        if (eOutcome == kWaitFailed) {
            // The entries received so far stay; the next expansion fetches again.
            if (!SendEntries(batch, request, nCount)) {
                EndRequest(worker);
                return 0;
            }
            pEntry->MarkUnexpanded();
            nDone = SEARCH_FAILED;
            break;
        }
        if (nType == LDAP_RESULT_SEARCH_ENTRY) {
            if (IsShuttingDown()) {
                EndRequest(worker);
                return 0;
            }
            removePlaceholder();
            if (IsWindow(request.hPane))
                AddSearchEntries(message.Get(), pEntry, batch);
            message.Reset();
            // The first entry is shown at once; later ones as batches.
            if (!bFirstSent || batch.GetCount() >= kMaxEntriesPerMessage) {
                bFirstSent = TRUE;
                if (!SendEntries(batch, request, nCount)) {
                    EndRequest(worker);
                    return 0;
                }
            }
            continue;
        }
        if (nType == LDAP_RESULT_SEARCH_RESULT) {
            // Its code is not examined: the entries received are the answer.
            if (!SendEntries(batch, request, nCount)) {
                EndRequest(worker);
                return 0;
            }
            if (IsShuttingDown()) {
                EndRequest(worker);
                return 0;
            }
            removePlaceholder();
            nDone = nCount;
            break;
        }
        // References and other messages carry no entries.
    }

    EndRequest(worker);
    if (IsShuttingDown())
        return 0;
    pEntry->EndOperation(OP_EXPAND);
    ::SendMessage(request.hNotify, WM_SEARCH_DONE, static_cast<WPARAM>(static_cast<LPARAM>(nDone)), lItem);
    return static_cast<UINT>(nCount);
}

void CLdapSource::AddSearchEntries(ldapmsg* pMessage, CEntryNode* pParent, CPtrList& list) {
    if (IsShuttingDown())
        return;
    std::vector<CString> dns;
    LdapEntryDNs(m_ld.Get(), pMessage, dns);
    for (const CString& dn : dns) {
        // The DN exactly as the server sent it; linked at the head, so the
        // children list holds the reverse of the arrival order.
        auto* pNode = new CEntryNode;
        pNode->SetDN(dn);
        pNode->SetParent(pParent);
        pParent->AddChildHead(pNode);
        list.AddTail(pNode);
    }
}

BOOL CLdapSource::SendEntries(CPtrList& list, CExpandRequest& request, int& nCount) {
    if (list.IsEmpty())
        return TRUE;
    if (IsShuttingDown()) {
        list.RemoveAll();
        return FALSE;
    }
    // Nodes stay in the tree whether or not the pane still exists.
    if (IsWindow(request.hPane)) {
        int nEntries = list.GetCount();
        ::SendMessage(request.hNotify, WM_ENTRIES_FOUND, PtrToWParam(&list), request.hItem.ToLParam());
        nCount += nEntries;
    }
    list.RemoveAll();
    return TRUE;
}

BOOL CLdapSource::Refresh(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) {
    pEntry->BeginOperation(OP_REFRESH);
    pEntry->ClearLeaf();
    // A worker may still be busy on a node below (a read, a delete): the
    // removed subtrees are retired, not freed, until no worker runs.
    std::vector<CEntryNode*> children = pEntry->GetChildren();
    pEntry->RemoveAllChildren();
    for (CEntryNode* pChild : children)
        Retire(pChild);
    ::SendMessage(SafeHwnd(pPane), WM_ENTRY_REFRESHED, PtrToWParam(pEntry), 0);
    Expand(pEntry, pPane, hItem);
    return TRUE;
}

UINT CLdapSource::RunRead(CReadAttributesRequest& request) {
    // Reads run one after another, in the order their workers get the lock.
    CCriticalSectionLock readLock(m_readLock);
    CWorker worker;
    worker.pAbandoned = &request.bAbandoned;
    worker.pWaiting = &request.bWaiting;
    CEntryNode* pEntry = request.pEntry;

    if (IsShuttingDown())
        return 0;
    if (IsWindow(request.hPane))
        ::SendMessage(request.hNotify, WM_CLEAR_ATTRIBUTES, 0, 0);

    if (!pEntry->m_attributes.IsEmpty()) {
        // The cache answers; the server is not asked.
        if (IsShuttingDown())
            return 0;
        if (IsWindow(request.hPane))
            ::SendMessage(request.hNotify, WM_SHOW_ATTRIBUTES, PtrToWParam(&pEntry->m_attributes), 0);
        pEntry->EndOperation(OP_READ_ATTRIBUTES);
        return 0;
    }

    const CString dn = pEntry->GetDN();
    int nMsgId = -1;
    int nCode = SendRequest(
        [&](int& nId) {
            return LdapSearch(m_ld.Get(), dn, LDAP_SCOPE_BASE_LEVEL, "(objectclass=*)", false, nId);
        },
        nMsgId);
    if (nCode != 0) {
        if (IsShuttingDown())
            return 0;
        ShowLdapError(nCode);
        pEntry->EndOperation(OP_READ_ATTRIBUTES);
        return 0;
    }
    BeginRequest(worker, nMsgId, OP_READ_ATTRIBUTES, pEntry);

    BOOL bFailed = FALSE;
    for (;;) {
        CLdapMessage message;
        int nType = 0;
        EWaitOutcome eOutcome = NextResult(worker, message, nType, FALSE);
        if (eOutcome == kShutdown) {
            EndRequest(worker);
            return 0;
        }
        if (eOutcome == kWaitFailed)
            bFailed = TRUE;
        if (eOutcome != kGotMessage || nType != LDAP_RESULT_SEARCH_ENTRY)
            break; // stopped, failed, or the final result (its code is not examined)
        if (IsWindow(request.hPane))
            ReadEntryAttributes(message.Get(), request);
    }
    EndRequest(worker);
    if (IsShuttingDown())
        return 0;
    if (bFailed)
        ShowLdapError(-1);
    pEntry->EndOperation(OP_READ_ATTRIBUTES);
    return 0;
}

void CLdapSource::ReadEntryAttributes(ldapmsg* pMessage, CReadAttributesRequest& request) {
    if (IsShuttingDown())
        return;
    LdapForEachAttribute(m_ld.Get(), pMessage, [&](const CAttribute& attribute) {
        if (IsShuttingDown())
            return false;
        // One copy for the pane, gone after the send; one for the cache.
        auto pShown = std::make_unique<CAttribute>(attribute);
        CAttributeArray shown;
        shown.Add(pShown.get());
        if (IsWindow(request.hPane))
            ::SendMessage(request.hNotify, WM_SHOW_ATTRIBUTES, PtrToWParam(&shown), 0);
        request.pTarget->Add(new CAttribute(attribute));
        return true;
    });
}
