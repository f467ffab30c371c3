// Browsing one level at a time, refreshing, and reading an entry's attributes.

#include "model/EntryNode.h"
#include "source/LdapError.h"
#include "source/LdapSource.h"

#include <memory>

namespace {

// Every user and operational attribute.
const CStringArray& RootDseAttributes() {
    static const CStringArray attributes = [] {
        CStringArray all;
        all.Add("*");
        all.Add("+");
        return all;
    }();
    return attributes;
}

} // namespace

UINT CLdapSource::RunExpand(CExpandRequest& request) {
    CWorker worker;
    worker.pLock = &request.lock;
    worker.pAbandoned = &request.bAbandoned;
    worker.pWaiting = &request.bWaiting;
    worker.pCancelled = &request.bRefreshed;
    CEntryNode* pEntry = request.pEntry;
    HTREEITEM hItem;
    {
        CCriticalSectionLock lock(request.lock);
        hItem = request.hItem;
    }
    // The worker's last act on the record: a later refresh leaves it alone.
    auto finish = [&] {
        CCriticalSectionLock lock(request.lock);
        request.batch.RemoveAll();
        request.bFinished = TRUE;
    };

    if (IsShuttingDown() || IsRefreshed(request)) {
        finish();
        return 0;
    }
    // The record's item is read when the pane runs the call: a refresh that
    // comes first clears it, and the row is then not added to the
    // refreshed entry.
    Notify(request.hNotify, &ISourceEvents::LoadingEntries, request.hItem);

    const CString dn = pEntry->GetDN();
    const CString filter = request.strFilter.IsEmpty() ? CString("(objectclass=*)") : request.strFilter;

    if (LdapSetNoSizeLimit(m_ld.Get()) != 0) {
        if (!IsShuttingDown() && !IsRefreshed(request)) {
            Notify(request.hNotify, &ISourceEvents::SearchDone, hItem, SEARCH_FAILED);
            pEntry->EndOperation(OP_EXPAND);
        }
        finish();
        return 0;
    }
    if (IsShuttingDown()) {
        finish();
        return 0;
    }

    // The DNs, and whether each child has children of its own, so leaves
    // show as leaves at once (a server without the attribute sends nothing
    // more than names).
    CPagedSearch search;
    search.args.strBase = dn;
    search.args.nScope = LDAP_SCOPE_ONE_LEVEL;
    search.args.strFilter = filter;
    search.args.attributes.Add("hasSubordinates");
    PreparePaging(search);
    int nMsgId = -1;
    int nCode = SendPage(search, nMsgId);
    if (nCode != 0) {
        if (!IsShuttingDown() && !IsRefreshed(request)) {
            ShowError(nCode);
            Notify(request.hNotify, &ISourceEvents::SearchDone, hItem, SEARCH_FAILED);
            pEntry->EndOperation(OP_EXPAND);
        }
        finish();
        return 0;
    }
    BeginRequest(worker, nMsgId, OP_EXPAND, pEntry);

    BOOL bFirst = TRUE;
    BOOL bFirstSent = FALSE;
    int nCount = 0;
    int nDone = 0;
    // A server limit that cut the level short: the pane must say so.
    int nLimitCode = 0;
    auto removePlaceholder = [&] {
        if (bFirst && IsWindow(request.hPane))
            Notify(request.hNotify, &ISourceEvents::RemovePlaceholder, hItem);
        bFirst = FALSE;
    };
    // Shutdown or a refresh of the entry: nothing more is said. A refreshed
    // entry belongs to the new expansion, which also ends its operation.
    auto endSilently = [&] {
        EndRequest(worker);
        if (IsRefreshed(request))
            AbandonPaged(worker, search);
        finish();
        return 0;
    };

    for (;;) {
        CLdapMessage message;
        int nType = 0;
        // After a send, what has already arrived goes out together in the next one.
        EWaitOutcome eOutcome = NextResult(worker, message, nType, BatchIsEmpty(request) ? FALSE : TRUE);
        if (eOutcome == kNothingYet) {
            if (!SendEntries(request, nCount))
                return endSilently();
            continue;
        }
        if (eOutcome == kShutdown || IsRefreshed(request))
            return endSilently();
        if (eOutcome == kAbandoned) {
            AbandonPaged(worker, search);
            if (!SendEntries(request, nCount))
                return endSilently();
            removePlaceholder();
            nDone = SEARCH_STOPPED;
            break;
        }
        if (eOutcome == kWaitFailed) {
            // The entries received so far stay; the next expansion fetches again.
            if (!SendEntries(request, nCount))
                return endSilently();
            if (m_bConnectionLost)
                ReportConnectionLost();
            pEntry->MarkUnexpanded();
            nDone = SEARCH_FAILED;
            break;
        }
        if (nType == LDAP_RESULT_SEARCH_ENTRY) {
            if (IsShuttingDown())
                return endSilently();
            removePlaceholder();
            search.bEntriesSeen = true;
            if (IsWindow(request.hPane))
                AddSearchEntries(message.Get(), request);
            message.Reset();
            // The first entry is shown at once; later ones as batches.
            if (!bFirstSent || BatchCount(request) >= kMaxEntriesPerMessage) {
                bFirstSent = TRUE;
                if (!SendEntries(request, nCount))
                    return endSilently();
            }
            continue;
        }
        if (nType == LDAP_RESULT_SEARCH_RESULT) {
            // Any other error keeps what came as the answer (a level deleted
            // meanwhile shows as a leaf); a limit means there is more.
            int nResult = 0;
            EPageStep eStep = ContinuePaged(worker, search, message.Get(), nResult);
            if (eStep == kNextPageSent)
                continue;
            if (LimitOfResult(nResult))
                nLimitCode = nResult;
            if (!SendEntries(request, nCount) || IsShuttingDown())
                return endSilently();
            if (eStep == kPageSendFailed) {
                // What came stays; the rest of the level could not be asked for.
                ShowError(nResult);
                nDone = SEARCH_FAILED;
                break;
            }
            removePlaceholder();
            nDone = nCount;
            break;
        }
        // References and other messages carry no entries.
    }

    {
        // Finished or refreshed, decided once: a refresh from now on finds
        // this expansion over.
        CCriticalSectionLock lock(request.lock);
        if (!request.bRefreshed)
            request.bFinished = TRUE;
    }
    if (IsShuttingDown() || IsRefreshed(request))
        return endSilently();
    EndRequest(worker);
    finish();
    pEntry->EndOperation(OP_EXPAND);
    if (nLimitCode != 0 && IsWindow(request.hPane))
        Notify(request.hNotify, &ISourceEvents::LevelLimited, hItem, nLimitCode);
    Notify(request.hNotify, &ISourceEvents::SearchDone, hItem, nDone);
    return static_cast<UINT>(nCount);
}

BOOL CLdapSource::IsRefreshed(CExpandRequest& request) {
    CCriticalSectionLock lock(request.lock);
    return request.bRefreshed;
}

BOOL CLdapSource::BatchIsEmpty(CExpandRequest& request) {
    CCriticalSectionLock lock(request.lock);
    return request.batch.IsEmpty() ? TRUE : FALSE;
}

int CLdapSource::BatchCount(CExpandRequest& request) {
    CCriticalSectionLock lock(request.lock);
    return request.batch.GetCount();
}

void CLdapSource::AddSearchEntries(ldapmsg* pMessage, CExpandRequest& request) {
    if (IsShuttingDown())
        return;
    std::vector<CString> dns;
    std::vector<bool> leaves;
    LdapEntryDNs(m_ld.Get(), pMessage, dns, &leaves);
    // Under the record's lock: a refresh either sees these nodes among the
    // entry's children (and retires them) or none of them is made.
    CCriticalSectionLock lock(request.lock);
    if (request.bRefreshed)
        return;
    CEntryNode* pParent = request.pEntry;
    for (size_t i = 0; i < dns.size(); ++i) {
        // The DN exactly as the server sent it; linked at the head, so the
        // children list holds the reverse of the arrival order.
        auto* pNode = new CEntryNode;
        pNode->SetDN(dns[i]);
        if (leaves[i])
            pNode->MarkLeaf();
        pNode->SetParent(pParent);
        pParent->AddChildHead(pNode);
        request.batch.AddTail(pNode);
    }
}

BOOL CLdapSource::SendEntries(CExpandRequest& request, int& nCount) {
    int nEntries = 0;
    HTREEITEM hItem;
    {
        CCriticalSectionLock lock(request.lock);
        if (request.bRefreshed)
            return FALSE;
        nEntries = request.batch.GetCount();
        hItem = request.hItem;
    }
    if (nEntries == 0)
        return TRUE;
    if (IsShuttingDown())
        return FALSE;
    // Nodes stay in the tree whether or not the pane still exists. A refresh
    // that runs before the pane handles this call empties the list first.
    if (IsWindow(request.hPane)) {
        Notify(request.hNotify, &ISourceEvents::EntriesFound, request.batch, hItem);
        nCount += nEntries;
    }
    CCriticalSectionLock lock(request.lock);
    request.batch.RemoveAll();
    return request.bRefreshed ? FALSE : TRUE;
}

void CLdapSource::CancelExpansions(CEntryNode* pEntry) {
    for (auto& pRequest : m_expandRequests) {
        CCriticalSectionLock lock(pRequest->lock);
        // Only a running worker's entry is certain to be alive and this one.
        if (pRequest->bFinished || pRequest->pEntry != pEntry)
            continue;
        pRequest->bRefreshed = TRUE;
        pRequest->batch.RemoveAll();
        pRequest->hItem = HTREEITEM();
    }
}

BOOL CLdapSource::Refresh(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) {
    pEntry->BeginOperation(OP_REFRESH);
    pEntry->ClearLeaf();
    // An expansion of the entry still streaming would go on linking and
    // sending nodes that are about to be retired.
    CancelExpansions(pEntry);
    // A worker may still be busy on a node below (a read, a delete): the
    // removed subtrees are retired, not freed, until no worker runs.
    std::vector<CEntryNode*> children = pEntry->GetChildren();
    pEntry->RemoveAllChildren();
    for (CEntryNode* pChild : children)
        Retire(pChild);
    Notify(SafeHwnd(pPane), &ISourceEvents::EntryRefreshed, pEntry);
    Expand(pEntry, pPane, hItem);
    return TRUE;
}

UINT CLdapSource::RunRead(CReadAttributesRequest& request) {
    // Reads run one after another, in the order their workers get the lock;
    // the attribute workers take it too while they use the cache.
    CCriticalSectionLock readLock(m_readLock);
    CWorker worker;
    worker.pAbandoned = &request.bAbandoned;
    worker.pWaiting = &request.bWaiting;
    CEntryNode* pEntry = request.pEntry;

    if (IsShuttingDown())
        return 0;
    if (IsWindow(request.hPane))
        Notify(request.hNotify, &ISourceEvents::ClearAttributes, pEntry);

    if (!pEntry->m_attributes.IsEmpty()) {
        // The cache answers; the server is not asked.
        if (IsShuttingDown())
            return 0;
        if (IsWindow(request.hPane))
            Notify(request.hNotify, &ISourceEvents::ShowAttributes, pEntry->m_attributes, pEntry);
        pEntry->EndOperation(OP_READ_ATTRIBUTES);
        return 0;
    }

    const CString dn = pEntry->GetDN();
    int nMsgId = -1;
    int nCode = SendRequest(
        [&](int& nId) {
            // The root DSE says what it is in its operational attributes only.
            if (dn.IsEmpty())
                return LdapSearchAttributes(m_ld.Get(), dn, LDAP_SCOPE_BASE_LEVEL, "(objectclass=*)",
                                            RootDseAttributes(), 0, nId);
            if (!m_bShowOperational)
                return LdapSearch(m_ld.Get(), dn, LDAP_SCOPE_BASE_LEVEL, "(objectclass=*)", false, nId);
            // "+": the operational attributes besides the user ones (RFC 3673).
            CStringArray all;
            all.Add("*");
            all.Add("+");
            return LdapSearchAttributes(m_ld.Get(), dn, LDAP_SCOPE_BASE_LEVEL, "(objectclass=*)", all, 0,
                                        nId);
        },
        nMsgId);
    if (nCode != 0) {
        if (IsShuttingDown())
            return 0;
        ShowError(nCode);
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
        ShowError(-1);
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
            Notify(request.hNotify, &ISourceEvents::ShowAttributes, shown, request.pEntry);
        request.pTarget->Add(new CAttribute(attribute));
        return true;
    });
}
