// Entry updates (add, delete, rename) and attribute updates (add, delete,
// modify), each one request whose single result decides the outcome.

#include "model/EntryNode.h"
#include "source/LdapError.h"
#include "source/LdapSource.h"
#include "source/Messages.h"

namespace {

// How an update's wait ended: its result's code, or stopped before any
// result came (the user's Stop), or the shutdown event.
struct COutcome {
    int nCode = 0;
    BOOL bStopped = FALSE;
    BOOL bShutdown = FALSE;
};

} // namespace

// The single result of an update request. When the result arrived before
// the Stop took effect, the result decides: a refused change is never
// reported as made.
#define TARVO_WAIT_UPDATE(worker, outcome)                                                                   \
    do {                                                                                                     \
        CLdapMessage message_;                                                                               \
        int nType_ = 0;                                                                                      \
        EWaitOutcome e_;                                                                                     \
        do {                                                                                                 \
            e_ = NextResult(worker, message_, nType_, FALSE);                                                \
        } while (e_ == kNothingYet);                                                                         \
        EndRequest(worker);                                                                                  \
        if (e_ == kGotMessage)                                                                               \
            (outcome).nCode = LdapResultCode(m_ld.Get(), message_.Get());                                    \
        else if (e_ == kWaitFailed)                                                                          \
            (outcome).nCode = -1;                                                                            \
        (outcome).bStopped = e_ == kAbandoned ? TRUE : FALSE;                                                \
        (outcome).bShutdown = (e_ == kShutdown || IsShuttingDown()) ? TRUE : FALSE;                          \
    } while (0)

UINT CLdapSource::RunAddEntry(CAddEntryRequest& request) {
    CWorker worker;
    BOOL bAbandoned = FALSE;
    BOOL bWaiting = FALSE;
    worker.pAbandoned = &bAbandoned;
    worker.pWaiting = &bWaiting;
    CEntryNode* pNewEntry = request.pNewEntry;
    CEntryNode* pParent = request.pParent;

    CLdapMods mods;
    for (CAttribute* pAttribute : pNewEntry->m_attributes)
        mods.Append(CLdapMods::Add, pAttribute->GetName(), *pAttribute);
    const CString dn = pNewEntry->GetDN();

    if (IsShuttingDown()) {
        delete pNewEntry; // never linked, unknown to every other thread
        return 0;
    }
    int nMsgId = -1;
    int nCode = SendRequest([&](int& nId) { return LdapAdd(m_ld.Get(), dn, mods, nId); }, nMsgId);
    if (nCode != 0) {
        if (!IsShuttingDown()) {
            ShowLdapError(nCode);
            pParent->EndOperation(OP_ADD_ENTRY);
        }
        delete pNewEntry;
        return 0;
    }
    BeginRequest(worker, nMsgId, OP_ADD_ENTRY, pNewEntry);
    COutcome outcome;
    TARVO_WAIT_UPDATE(worker, outcome);
    if (outcome.bShutdown) {
        delete pNewEntry;
        return 0;
    }
    if (!outcome.bStopped && outcome.nCode != 0) {
        ShowLdapError(outcome.nCode);
        ::SendMessage(request.hNotify, WM_ENTRY_ADDED, 0, PtrToLParam(&request.hParentItem));
        delete pNewEntry;
        pParent->EndOperation(OP_ADD_ENTRY);
        return 0;
    }
    pParent->AddChildHead(pNewEntry);
    ::SendMessage(request.hNotify, WM_ENTRY_ADDED, PtrToWParam(pNewEntry), PtrToLParam(&request.hParentItem));
    pParent->EndOperation(OP_ADD_ENTRY);
    return 1;
}

UINT CLdapSource::RunDeleteEntry(CDeleteEntryRequest& request) {
    CWorker worker;
    BOOL bWaiting = FALSE;
    worker.pAbandoned = &request.bAbandoned;
    worker.pWaiting = &bWaiting;
    CEntryNode* pEntry = request.pEntry;
    const CString dn = pEntry->GetDN();

    if (IsShuttingDown())
        return 0;
    int nMsgId = -1;
    int nCode = SendRequest([&](int& nId) { return LdapDelete(m_ld.Get(), dn, nId); }, nMsgId);
    if (nCode != 0) {
        if (!IsShuttingDown()) {
            ShowLdapError(nCode);
            pEntry->EndOperation(OP_DELETE_ENTRY);
        }
        return 0;
    }
    BeginRequest(worker, nMsgId, OP_DELETE_ENTRY, pEntry);
    COutcome outcome;
    TARVO_WAIT_UPDATE(worker, outcome);
    if (outcome.bShutdown)
        return 0;
    if (!outcome.bStopped && outcome.nCode != 0) {
        ShowLdapError(outcome.nCode);
        pEntry->EndOperation(OP_DELETE_ENTRY);
        return 0;
    }
    pEntry->EndOperation(OP_DELETE_ENTRY);
    if (CEntryNode* pParent = pEntry->GetParent())
        pParent->RemoveChild(pEntry);
    request.bSucceeded = TRUE;
    ::SendMessage(request.hNotify, WM_ENTRY_DELETED, PtrToWParam(&request), 0);
    // The tree pane hands the node back and clears the field; when no pane
    // took it (a closed pane), the unlinked node is retired here.
    if (request.pEntry)
        Retire(request.pEntry);
    return 1;
}

UINT CLdapSource::RunModifyEntry(CModifyEntryRequest& request) {
    CWorker worker;
    BOOL bWaiting = FALSE;
    worker.pAbandoned = &request.bAbandoned;
    worker.pWaiting = &bWaiting;
    CEntryNode* pEntry = request.pEntry;
    const CString dn = pEntry->GetDN();
    const CString newRdn = request.strNewRDN;

    if (IsShuttingDown())
        return 0;
    int nMsgId = -1;
    int nCode = SendRequest([&](int& nId) { return LdapRename(m_ld.Get(), dn, newRdn, nId); }, nMsgId);
    if (nCode != 0) {
        if (IsShuttingDown())
            return 0;
        ShowLdapError(nCode);
        request.bSucceeded = FALSE;
        pEntry->EndOperation(OP_MODIFY_ENTRY);
        ::SendMessage(request.hNotify, WM_ENTRY_MODIFIED, PtrToWParam(&request), 0);
        return 0;
    }
    BeginRequest(worker, nMsgId, OP_MODIFY_ENTRY, pEntry);
    COutcome outcome;
    TARVO_WAIT_UPDATE(worker, outcome);
    if (outcome.bShutdown)
        return 0;
    if (!outcome.bStopped && outcome.nCode != 0) {
        ShowLdapError(outcome.nCode);
        request.bSucceeded = FALSE;
    } else {
        request.bSucceeded = TRUE;
    }
    ::SendMessage(request.hNotify, WM_ENTRY_MODIFIED, PtrToWParam(&request), 0);
    pEntry->EndOperation(OP_MODIFY_ENTRY);
    return request.bSucceeded ? 1 : 0;
}

UINT CLdapSource::RunAddAttributes(CAddAttributesRequest& request) {
    CWorker worker;
    BOOL bAbandoned = FALSE;
    BOOL bWaiting = FALSE;
    worker.pAbandoned = &bAbandoned;
    worker.pWaiting = &bWaiting;
    CEntryNode* pEntry = request.pEntry;

    CLdapMods mods;
    for (CAttribute* pAttribute : request.attributes)
        mods.Append(CLdapMods::Add, pAttribute->GetName(), *pAttribute);
    const CString dn = pEntry->GetDN();

    if (IsShuttingDown())
        return 0;
    BOOL bSent = FALSE;
    int nMsgId = -1;
    int nCode = SendRequest([&](int& nId) { return LdapModify(m_ld.Get(), dn, mods, nId); }, nMsgId);
    if (nCode != 0) {
        if (IsShuttingDown())
            return 0;
        ShowLdapError(nCode);
    } else {
        BeginRequest(worker, nMsgId, OP_ADD_ATTRIBUTE, pEntry);
        COutcome outcome;
        TARVO_WAIT_UPDATE(worker, outcome);
        if (outcome.bShutdown)
            return 0;
        if (outcome.bStopped) {
            // Dropped without a message.
        } else if (outcome.nCode != 0) {
            ShowLdapError(outcome.nCode);
        } else {
            MergeAddedAttributes(pEntry, request.attributes);
            request.bSucceeded = TRUE;
            ::SendMessage(request.hNotify, WM_ATTRIBUTE_ADDED, PtrToWParam(&request), 0);
            bSent = TRUE;
        }
    }
    pEntry->EndOperation(OP_ADD_ATTRIBUTE);
    // Copies the pane did not take over (or an unhandled message left).
    if (!bSent || !request.attributes.IsEmpty())
        ::DeleteAttributes(request.attributes);
    return bSent ? 1 : 0;
}

UINT CLdapSource::RunDeleteAttributes(CDeleteAttributesRequest& request) {
    CWorker worker;
    BOOL bWaiting = FALSE;
    worker.pAbandoned = &request.bAbandoned;
    worker.pWaiting = &bWaiting;
    CEntryNode* pEntry = request.pEntry;

    CLdapMods mods;
    for (CAttribute* pAttribute : request.attributes) {
        const CString name = pAttribute->GetName();
        CStringArray values;
        for (const CString& value : *pAttribute)
            if (!value.IsEmpty())
                values.Add(value);
        const CStringArray none;
        if (values.IsEmpty()) {
            // Only empty values chosen: the attribute goes only when it has
            // nothing else.
            if (!pEntry->HasNonEmptyValue(name))
                mods.Append(CLdapMods::Delete, name, none);
        } else if (pEntry->CountRemainingValues(values, name) > 0) {
            mods.Append(CLdapMods::Delete, name, values);
        } else {
            // No value would remain: the attribute as a whole.
            mods.Append(CLdapMods::Delete, name, none);
        }
    }
    const CString dn = pEntry->GetDN();

    if (IsShuttingDown())
        return 0;
    BOOL bSent = FALSE;
    int nMsgId = -1;
    int nCode = SendRequest([&](int& nId) { return LdapModify(m_ld.Get(), dn, mods, nId); }, nMsgId);
    if (nCode != 0) {
        if (IsShuttingDown())
            return 0;
        ShowLdapError(nCode);
    } else {
        BeginRequest(worker, nMsgId, OP_DELETE_ATTRIBUTE, pEntry);
        COutcome outcome;
        TARVO_WAIT_UPDATE(worker, outcome);
        if (outcome.bShutdown)
            return 0;
        if (!outcome.bStopped && outcome.nCode != 0) {
            ShowLdapError(outcome.nCode);
        } else {
            request.bSucceeded = TRUE;
            RemoveDeletedValues(pEntry, request.attributes);
            ::SendMessage(request.hNotify, WM_ATTRIBUTE_DELETED, PtrToWParam(&request), 0);
            bSent = TRUE;
        }
    }
    pEntry->EndOperation(OP_DELETE_ATTRIBUTE);
    if (!bSent || !request.attributes.IsEmpty())
        ::DeleteAttributes(request.attributes);
    return bSent ? 1 : 0;
}

UINT CLdapSource::RunModifyAttribute(CModifyAttributeRequest& request) {
    CWorker worker;
    BOOL bWaiting = FALSE;
    worker.pAbandoned = &request.bAbandoned;
    worker.pWaiting = &bWaiting;
    CEntryNode* pEntry = request.pEntry;
    CAttribute& attribute = request.attribute;
    const CString name = attribute.GetName();
    const CString newValue = attribute.GetSize() > 0 ? attribute[0] : CString();
    const CString oldValue = attribute.GetSize() > 1 ? attribute[1] : CString();
    const BOOL bHasOld = attribute.GetSize() > 1;

    BuildReplacementValues(pEntry, attribute);
    CLdapMods mods;
    mods.Append(CLdapMods::Replace, name, attribute);
    const CString dn = pEntry->GetDN();

    if (IsShuttingDown())
        return 0;
    BOOL bDone = FALSE;
    int nMsgId = -1;
    int nCode = SendRequest([&](int& nId) { return LdapModify(m_ld.Get(), dn, mods, nId); }, nMsgId);
    if (nCode != 0) {
        if (IsShuttingDown())
            return 0;
        ShowLdapError(nCode);
    } else {
        BeginRequest(worker, nMsgId, OP_MODIFY_ATTRIBUTE, pEntry);
        COutcome outcome;
        TARVO_WAIT_UPDATE(worker, outcome);
        if (outcome.bShutdown)
            return 0;
        if (!outcome.bStopped && outcome.nCode != 0) {
            ShowLdapError(outcome.nCode);
        } else {
            request.bSucceeded = TRUE;
            // The new value goes to the end of the cached values.
            if (bHasOld)
                pEntry->RemoveValue(name, oldValue);
            pEntry->AddValue(name, newValue);
            ::SendMessage(request.hNotify, WM_ATTRIBUTE_MODIFIED, PtrToWParam(&request), 0);
            bDone = TRUE;
        }
    }
    pEntry->EndOperation(OP_MODIFY_ATTRIBUTE);
    return bDone ? 1 : 0;
}

#undef TARVO_WAIT_UPDATE

void CLdapSource::MergeAddedAttributes(CEntryNode* pEntry, const CAttributeArray& added) {
    for (CAttribute* pAdded : added) {
        if (CAttribute* pCached = pEntry->FindAttribute(pAdded->GetName()))
            pCached->AppendFrom(*pAdded);
        else
            pEntry->m_attributes.Add(new CAttribute(*pAdded));
    }
}

void CLdapSource::RemoveDeletedValues(CEntryNode* pEntry, const CAttributeArray& deleted) {
    for (CAttribute* pDeleted : deleted) {
        CAttribute* pCached = pEntry->FindAttribute(pDeleted->GetName());
        if (!pCached)
            continue;
        for (const CString& value : *pDeleted) {
            if (pCached->GetSize() < 2) {
                // Its last value goes: so does the attribute, as on the server.
                CAttributeArray& cache = pEntry->m_attributes;
                for (int i = 0; i < cache.GetSize(); ++i) {
                    if (cache[i] == pCached) {
                        cache.RemoveAt(i);
                        break;
                    }
                }
                delete pCached;
                break;
            }
            for (int i = 0; i < pCached->GetSize(); ++i) {
                if ((*pCached)[i] == value) {
                    pCached->RemoveAt(i);
                    break;
                }
            }
        }
    }
}

void CLdapSource::BuildReplacementValues(CEntryNode* pEntry, CAttribute& attribute) {
    // Without an old value nothing is replaced away: every cached value stays.
    const BOOL bHasOld = attribute.GetSize() > 1;
    const CString oldValue = bHasOld ? attribute[1] : CString();
    while (attribute.GetSize() > 1)
        attribute.RemoveAt(attribute.GetSize() - 1);
    for (CAttribute* pCached : pEntry->m_attributes) {
        if (pCached->GetName() != attribute.GetName())
            continue;
        for (const CString& value : *pCached)
            if (!bHasOld || value != oldValue)
                attribute.Add(value);
    }
}
