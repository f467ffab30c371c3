// Browsing one level at a time, refreshing, and reading an entry's attributes.

#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "source/LdapError.h"
#include "source/LdapSource.h"

#include <chrono>
#include <memory>

namespace {
constexpr int kNoSuchObject = 32;
// How often the attributes of one entry reach the pane while they are read.
constexpr auto kAttributeBatchAge = std::chrono::milliseconds(100);

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
    // Referral objects are listed as entries; "ref" tells them apart.
    search.args.attributes.Add("ref");
    search.args.bManageDsaIT = true;
    PreparePaging(search);
    if (search.args.bPaged) {
        // Another level or search paging now: this one starts after it,
        // and the status says why nothing comes meanwhile. A refreshed
        // level holds the turn until its outstanding page is answered, so
        // that page cannot move the server's paged state under this one.
        bool bWaited = false;
        if (!TakePagingTurn(
                search, [&] { return IsShuttingDown() || IsRefreshed(request); },
                [&] {
                    bWaited = true;
                    ShowStatus(kWaitingForPagingText + DnForDisplay(dn), 1);
                })) {
            finish();
            return 0;
        }
        if (bWaited && !IsRefreshed(request))
            ShowStatus("Searching  " + DnForDisplay(dn), 1);
    }
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
    // A level that is not whole ends with this text (a marker row).
    CString incomplete;
    // Entries the server sent that are not children of the entry.
    int nDropped = 0;
    const std::string parentKey = DnCompareKey(dn.View());
    auto removePlaceholder = [&] {
        if (bFirst && IsWindow(request.hPane))
            Notify(request.hNotify, &ISourceEvents::RemovePlaceholder, hItem);
        bFirst = FALSE;
    };
    // Shutdown or a refresh of the entry: nothing more is said. A refreshed
    // entry belongs to the new expansion, which also ends its operation.
    // Its page's answer is still to come while the search runs.
    bool bPageOut = true;
    auto endSilently = [&] {
        if (IsRefreshed(request) && bPageOut && search.args.bPaged && !IsShuttingDown())
            DrainRefreshedPage(worker);
        else if (IsRefreshed(request))
            AbandonRequest(worker.nMsgId);
        EndRequest(worker);
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
            // Nothing shown: the level looks as before and is read when opened again.
            if (nCount > 0)
                incomplete = StoppedText(nCount);
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
            // A lost connection has its own notice; the marker is for what came.
            if (nCount > 0)
                incomplete = FailedText(nCount, LdapResultDescription(kServerDown));
            nDone = SEARCH_FAILED;
            break;
        }
        if (nType == LDAP_RESULT_SEARCH_ENTRY) {
            if (IsShuttingDown())
                return endSilently();
            removePlaceholder();
            search.bEntriesSeen = true;
            ++search.nPageEntries;
            if (IsWindow(request.hPane))
                AddSearchEntries(message.Get(), request, parentKey, nDropped);
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
            // A limit means there is more; "no such object" with nothing
            // found is a level that is not there (the empty DN's on most
            // servers, an entry deleted meanwhile): no children. Any other
            // error ends the level with the server's word for it.
            int nResult = 0;
            EPageStep eStep = ContinuePaged(worker, search, message.Get(), nResult);
            if (eStep == kNextPageSent)
                continue;
            CString diagnostic;
            if (eStep == kSearchDone && nResult != 0)
                LdapResultCode(m_ld.Get(), message.Get(), &diagnostic);
            if (LimitOfResult(nResult))
                nLimitCode = nResult;
            if (!SendEntries(request, nCount) || IsShuttingDown())
                return endSilently();
            removePlaceholder();
            if (eStep == kPageSendFailed) {
                // What came stays; the rest of the level could not be asked for.
                ShowError(nResult);
                incomplete = FailedText(nCount, LdapResultDescription(nResult));
                nDone = SEARCH_FAILED;
            } else if (eStep == kPagingRunaway) {
                incomplete = RunawayText(nCount);
                nDone = SEARCH_FAILED;
            } else if (nResult != 0 && !LimitOfResult(nResult) &&
                       !(nResult == kNoSuchObject && nCount == 0)) {
                incomplete = FailedText(nCount, LdapResultDescription(nResult, diagnostic));
                nDone = SEARCH_FAILED;
            } else {
                nDone = nCount;
            }
            break;
        }
        if (eOutcome == kGotMessage && nType == LDAP_RESULT_SEARCH_REFERENCE) {
            // Shown for what they are; never followed.
            const std::vector<CString> urls = LdapReferenceUrls(m_ld.Get(), message.Get());
            message.Reset();
            if (!SendEntries(request, nCount))
                return endSilently();
            removePlaceholder();
            CStringArray list;
            for (const CString& url : urls)
                list.Add(url);
            if (!list.IsEmpty() && IsWindow(request.hPane))
                Notify(request.hNotify, &ISourceEvents::ReferencesFound, hItem, list);
            continue;
        }
        // Other messages carry no entries.
    }
    bPageOut = false; // ended, stopped or failed: nothing more will come

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
    if (nDropped != 0 && IsWindow(request.hPane))
        Notify(request.hNotify, &ISourceEvents::EntriesDropped, hItem, nDropped);
    if (!incomplete.IsEmpty() && IsWindow(request.hPane))
        Notify(request.hNotify, &ISourceEvents::LevelIncomplete, hItem, incomplete);
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

const char* const CLdapSource::kWaitingForPagingText = "Waiting for the level or search being read to end: ";

const char* const CLdapSource::kReadStoppedText =
    "Stopped before the attributes were read. Refresh (F5) to read them again.";

CString CLdapSource::StoppedText(int nShown) {
    CString text;
    text.Format("Stopped: %d entries shown. Refresh (F5) to read the level again.", nShown);
    return text;
}

CString CLdapSource::FailedText(int nShown, const CString& why) {
    CString text;
    text.Format("; %d entries shown. Refresh (F5) to read the level again.", nShown);
    return "Failed: " + why + text;
}

bool CLdapSource::IsDirectChild(const CString& dn, const std::string& parentKey) {
    // Compared as the server would, through the DN helper: a DN outside
    // the level, the parent itself or an empty one is not a child.
    std::vector<std::string> rdns;
    if (dn.IsEmpty() || !DnSplit(dn.View(), rdns) || rdns.empty())
        return false;
    // Below the empty DN are the naming contexts, of any depth.
    if (parentKey.empty())
        return true;
    return DnCompareKey(DnParent(dn).View()) == parentKey;
}

void CLdapSource::AddSearchEntries(ldapmsg* pMessage, CExpandRequest& request, const std::string& parentKey,
                                   int& nDropped) {
    if (IsShuttingDown())
        return;
    std::vector<CString> dns;
    std::vector<bool> leaves;
    std::vector<bool> referrals;
    LdapEntryDNs(m_ld.Get(), pMessage, dns, &leaves, &referrals);
    // Under the record's lock: a refresh either sees these nodes among the
    // entry's children (and retires them) or none of them is made.
    CCriticalSectionLock lock(request.lock);
    if (request.bRefreshed)
        return;
    CEntryNode* pParent = request.pEntry;
    for (size_t i = 0; i < dns.size(); ++i) {
        if (!IsDirectChild(dns[i], parentKey)) {
            ++nDropped;
            continue;
        }
        // The DN exactly as the server sent it; linked at the head, so the
        // children list holds the reverse of the arrival order.
        auto* pNode = new CEntryNode;
        pNode->SetDN(dns[i]);
        if (leaves[i])
            pNode->MarkLeaf();
        if (referrals[i])
            pNode->MarkReferral();
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

void CLdapSource::DrainRefreshedPage(CWorker& worker) {
    // The refresh's flag no longer ends the wait; no further page is asked
    // for and no cookie handed back (it could be the new search's too).
    worker.pCancelled = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainWaitMs);
    for (;;) {
        CLdapMessage message;
        int nType = 0;
        const EWaitOutcome eWait = NextResult(worker, message, nType, TRUE);
        if (eWait == kGotMessage && nType == LDAP_RESULT_SEARCH_RESULT)
            return;
        if (eWait == kGotMessage)
            continue; // entries of the old reading, dropped
        if (eWait != kNothingYet || std::chrono::steady_clock::now() >= deadline)
            break;
        WaitSlice();
    }
    AbandonRequest(worker.nMsgId);
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

    CLdapSearchArgs args;
    args.strBase = pEntry->GetDN();
    args.nScope = LDAP_SCOPE_BASE_LEVEL;
    args.strFilter = "(objectclass=*)";
    // The root DSE says what it is in its operational attributes only.
    if (args.strBase.IsEmpty())
        args.attributes = RootDseAttributes();
    // A referral object is read as the entry it is, "ref" and all.
    args.bManageDsaIT = true;
    int nMsgId = -1;
    // "+": the operational attributes besides the user ones (RFC 3673),
    // when the user asked to see them.
    if (!args.strBase.IsEmpty() && m_bShowOperational) {
        args.attributes.Add("*");
        args.attributes.Add("+");
    }
    int nCode = SendRequest([&](int& nId) { return LdapSearchPage(m_ld.Get(), args, nId); }, nMsgId);
    if (nCode != 0) {
        if (IsShuttingDown())
            return 0;
        ShowError(nCode);
        pEntry->EndOperation(OP_READ_ATTRIBUTES);
        return 0;
    }
    BeginRequest(worker, nMsgId, OP_READ_ATTRIBUTES, pEntry);

    BOOL bFailed = FALSE;
    BOOL bStopped = FALSE;
    // The server's reason when it would not give the entry.
    CString refused;
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
        if (eOutcome == kAbandoned)
            bStopped = TRUE;
        if (eOutcome == kGotMessage && nType == LDAP_RESULT_SEARCH_RESULT) {
            CString diagnostic;
            if (int nResult = LdapResultCode(m_ld.Get(), message.Get(), &diagnostic); nResult != 0)
                refused = LdapReadFailureText(nResult, diagnostic);
        }
        if (eOutcome != kGotMessage || nType == LDAP_RESULT_SEARCH_RESULT)
            break; // stopped, failed, or the final result
        if (nType == LDAP_RESULT_SEARCH_ENTRY && IsWindow(request.hPane) &&
            !ReadEntryAttributes(message.Get(), request, worker)) {
            bStopped = TRUE; // between two attributes
            break;
        }
    }
    EndRequest(worker);
    if (IsShuttingDown())
        return 0;
    if (bFailed) {
        if (m_bConnectionLost)
            ShowError(kServerDown);
        else
            ReportFailure(LdapFailure(kServerDown));
    }
    // The pane says how the read ended: no "Finding Attributes" outlives it.
    CString unavailable = refused;
    if (unavailable.IsEmpty() && request.pTarget->IsEmpty()) {
        if (bFailed)
            unavailable = LdapReadFailureText(kServerDown);
        else if (bStopped)
            unavailable = kReadStoppedText;
    }
    if (IsWindow(request.hPane)) {
        if (!unavailable.IsEmpty()) {
            Notify(request.hNotify, &ISourceEvents::AttributesUnavailable, pEntry, unavailable);
        } else if (request.pTarget->IsEmpty()) {
            const CAttributeArray none;
            Notify(request.hNotify, &ISourceEvents::ShowAttributes, none, pEntry);
        }
    }
    pEntry->EndOperation(OP_READ_ATTRIBUTES);
    return 0;
}

BOOL CLdapSource::ReadEntryAttributes(ldapmsg* pMessage, CReadAttributesRequest& request, CWorker& worker) {
    if (IsShuttingDown())
        return FALSE;
    BOOL bGoOn = TRUE;
    // The pane's copies go in batches, one at most every slice: an entry of
    // a million attributes must not cross threads a million times, nor
    // rewrite the status line for each.
    std::vector<std::unique_ptr<CAttribute>> owned;
    CAttributeArray shown;
    auto sent = std::chrono::steady_clock::now();
    auto send = [&] {
        if (!shown.IsEmpty() && IsWindow(request.hPane))
            Notify(request.hNotify, &ISourceEvents::ShowAttributes, shown, request.pEntry);
        shown.RemoveAll();
        owned.clear();
        sent = std::chrono::steady_clock::now();
    };
    LdapForEachAttribute(m_ld.Get(), pMessage, [&](const CAttribute& attribute) {
        {
            // Stop is seen between two attributes, not only at the end.
            CCriticalSectionLock lock(*worker.pLock);
            bGoOn = !*worker.pAbandoned && !IsShuttingDown();
        }
        if (!bGoOn)
            return false;
        owned.push_back(std::make_unique<CAttribute>(attribute));
        shown.Add(owned.back().get());
        request.pTarget->Add(new CAttribute(attribute));
        if (std::chrono::steady_clock::now() - sent >= kAttributeBatchAge)
            send();
        return true;
    });
    // What was read is shown, also when Stop came between two attributes.
    if (!IsShuttingDown())
        send();
    return bGoOn;
}
