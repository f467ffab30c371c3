// Entry updates (add, delete, rename) and attribute updates (add, delete,
// modify), each one request whose single result decides the outcome.

#include "model/EntryNode.h"
#include "source/LdapError.h"
#include "source/LdapSource.h"
#include "source/Messages.h"

CLdapSource::EUpdateOutcome CLdapSource::SendUpdate(CWorker& worker, int nOp, CEntryNode* pEntry,
                                                    const std::function<int(int&)>& fnSend) {
    if (IsShuttingDown())
        return kUpdateShutdown;
    int nMsgId = -1;
    int nCode = SendRequest(fnSend, nMsgId);
    if (nCode != 0) {
        if (IsShuttingDown())
            return kUpdateShutdown;
        ShowLdapError(nCode);
        return kUpdateRefused;
    }
    BeginRequest(worker, nMsgId, nOp, pEntry);
    CLdapMessage message;
    int nType = 0;
    EWaitOutcome eWait;
    do {
        eWait = NextResult(worker, message, nType, FALSE);
    } while (eWait == kNothingYet);
    EndRequest(worker);
    if (eWait == kShutdown || IsShuttingDown())
        return kUpdateShutdown;
    // A result that came before the Stop took effect decides: a change the
    // server refused is never reported as made.
    if (eWait == kAbandoned)
        return kUpdateStopped;
    nCode = eWait == kGotMessage ? LdapResultCode(m_ld.Get(), message.Get()) : -1;
    if (nCode != 0) {
        ShowLdapError(nCode);
        return kUpdateFailed;
    }
    return kUpdateDone;
}

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

    EUpdateOutcome eOutcome = SendUpdate(worker, OP_ADD_ENTRY, pNewEntry,
                                         [&](int& nId) { return LdapAdd(m_ld.Get(), dn, mods, nId); });
    switch (eOutcome) {
    case kUpdateShutdown:
        delete pNewEntry; // never linked, unknown to every other thread
        return 0;
    case kUpdateRefused:
        delete pNewEntry;
        pParent->EndOperation(OP_ADD_ENTRY);
        return 0;
    case kUpdateFailed:
        ::SendMessage(request.hNotify, WM_ENTRY_ADDED, 0, PtrToLParam(&request.hParentItem));
        delete pNewEntry;
        pParent->EndOperation(OP_ADD_ENTRY);
        return 0;
    case kUpdateStopped:
    case kUpdateDone:
        break;
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

    EUpdateOutcome eOutcome = SendUpdate(worker, OP_DELETE_ENTRY, pEntry,
                                         [&](int& nId) { return LdapDelete(m_ld.Get(), dn, nId); });
    if (eOutcome == kUpdateShutdown)
        return 0;
    pEntry->EndOperation(OP_DELETE_ENTRY);
    if (eOutcome == kUpdateRefused || eOutcome == kUpdateFailed)
        return 0; // the entry stays
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

    EUpdateOutcome eOutcome = SendUpdate(worker, OP_MODIFY_ENTRY, pEntry,
                                         [&](int& nId) { return LdapRename(m_ld.Get(), dn, newRdn, nId); });
    if (eOutcome == kUpdateShutdown)
        return 0;
    request.bSucceeded = eOutcome == kUpdateDone || eOutcome == kUpdateStopped ? TRUE : FALSE;
    if (eOutcome == kUpdateRefused)
        pEntry->EndOperation(OP_MODIFY_ENTRY);
    ::SendMessage(request.hNotify, WM_ENTRY_MODIFIED, PtrToWParam(&request), 0);
    if (eOutcome != kUpdateRefused)
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

    EUpdateOutcome eOutcome = SendUpdate(worker, OP_ADD_ATTRIBUTE, pEntry,
                                         [&](int& nId) { return LdapModify(m_ld.Get(), dn, mods, nId); });
    if (eOutcome == kUpdateShutdown)
        return 0; // the copies go with the source
    // A stopped add is dropped without a message.
    BOOL bSent = FALSE;
    if (eOutcome == kUpdateDone) {
        {
            CCriticalSectionLock cache(m_readLock);
            MergeAddedAttributes(pEntry, request.attributes);
        }
        request.bSucceeded = TRUE;
        ::SendMessage(request.hNotify, WM_ATTRIBUTE_ADDED, PtrToWParam(&request), 0);
        bSent = TRUE;
    }
    pEntry->EndOperation(OP_ADD_ATTRIBUTE);
    // Copies the pane did not take over (or an unhandled message left).
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
    // A read of the same entry may be filling its cache.
    m_readLock.Lock();
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
    m_readLock.Unlock();
    const CString dn = pEntry->GetDN();

    EUpdateOutcome eOutcome = SendUpdate(worker, OP_DELETE_ATTRIBUTE, pEntry,
                                         [&](int& nId) { return LdapModify(m_ld.Get(), dn, mods, nId); });
    if (eOutcome == kUpdateShutdown)
        return 0;
    // A stopped delete is reported as done.
    BOOL bSent = FALSE;
    if (eOutcome == kUpdateDone || eOutcome == kUpdateStopped) {
        request.bSucceeded = TRUE;
        {
            CCriticalSectionLock cache(m_readLock);
            RemoveDeletedValues(pEntry, request.attributes);
        }
        ::SendMessage(request.hNotify, WM_ATTRIBUTE_DELETED, PtrToWParam(&request), 0);
        bSent = TRUE;
    }
    pEntry->EndOperation(OP_DELETE_ATTRIBUTE);
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

    {
        CCriticalSectionLock cache(m_readLock);
        BuildReplacementValues(pEntry, attribute);
    }
    CLdapMods mods;
    mods.Append(CLdapMods::Replace, name, attribute);
    const CString dn = pEntry->GetDN();

    EUpdateOutcome eOutcome = SendUpdate(worker, OP_MODIFY_ATTRIBUTE, pEntry,
                                         [&](int& nId) { return LdapModify(m_ld.Get(), dn, mods, nId); });
    if (eOutcome == kUpdateShutdown)
        return 0;
    BOOL bDone = FALSE;
    if (eOutcome == kUpdateDone || eOutcome == kUpdateStopped) {
        request.bSucceeded = TRUE;
        {
            // The new value goes to the end of the cached values.
            CCriticalSectionLock cache(m_readLock);
            if (bHasOld)
                pEntry->RemoveValue(name, oldValue);
            pEntry->AddValue(name, newValue);
        }
        ::SendMessage(request.hNotify, WM_ATTRIBUTE_MODIFIED, PtrToWParam(&request), 0);
        bDone = TRUE;
    }
    pEntry->EndOperation(OP_MODIFY_ATTRIBUTE);
    return bDone ? 1 : 0;
}

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
