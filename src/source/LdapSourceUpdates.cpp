// Entry updates (add, delete, rename) and attribute updates (add, delete,
// modify), each one request whose single result decides the outcome.

#include "model/EntryNode.h"
#include "platform/Services.h"
#include "platform/Thread.h"
#include "source/LdapError.h"
#include "source/LdapSource.h"

#include <chrono>

namespace {
constexpr int kNoSuchObject = 32;
} // namespace

const char* const CLdapSource::kStoppedReadAgainText =
    "Stopped: the directory was read again to show what it holds";

bool CLdapSource::IsUpdateOperation(int nOp) {
    return nOp == OP_ADD_ENTRY || nOp == OP_DELETE_ENTRY || nOp == OP_MODIFY_ENTRY ||
           nOp == OP_ADD_ATTRIBUTE || nOp == OP_DELETE_ATTRIBUTE || nOp == OP_MODIFY_ATTRIBUTE;
}

CLdapSource::EUpdateOutcome CLdapSource::SendUpdate(CWorker& worker, int nOp, CEntryNode* pEntry,
                                                    const std::function<int(int&)>& fnSend) {
    if (IsShuttingDown())
        return kUpdateShutdown;
    int nMsgId = -1;
    int nCode = SendRequest(fnSend, nMsgId);
    if (nCode != 0) {
        if (IsShuttingDown())
            return kUpdateShutdown;
        ShowError(nCode);
        return kUpdateRefused;
    }
    BeginRequest(worker, nMsgId, nOp, pEntry);
    CLdapMessage message;
    int nType = 0;
    EWaitOutcome eWait;
    do {
        eWait = NextResult(worker, message, nType, FALSE);
    } while (eWait == kNothingYet);
    if (eWait == kAbandoned) {
        eWait = AwaitStoppedUpdate(worker, message, nType, m_nStoppedUpdateWaitMs);
        // No answer even after the wait: the caller reads the entries again
        // while the request stays open, then settles it.
        if (eWait == kAbandoned && !IsShuttingDown())
            return kUpdateStopped;
    }
    EndRequest(worker);
    if (eWait == kShutdown || IsShuttingDown())
        return kUpdateShutdown;
    return OutcomeOf(eWait, message);
}

CLdapSource::EUpdateOutcome CLdapSource::OutcomeOf(EWaitOutcome eWait, CLdapMessage& message) {
    CString diagnostic, matchedDN;
    int nCode =
        eWait == kGotMessage ? LdapResultCode(m_ld.Get(), message.Get(), &diagnostic, &matchedDN) : -1;
    if (nCode != 0) {
        ShowError(nCode, diagnostic, matchedDN);
        return kUpdateFailed;
    }
    return kUpdateDone;
}

CLdapSource::EUpdateOutcome CLdapSource::SettleStoppedUpdate(CWorker& worker, int nPane) {
    // The server has just answered the read: its answer to the update,
    // sent first, is the truth when it follows in a moment.
    CLdapMessage message;
    int nType = 0;
    EWaitOutcome eWait = AwaitStoppedUpdate(worker, message, nType, kSettleWaitMs);
    EndRequest(worker);
    if (IsShuttingDown())
        return kUpdateShutdown;
    if (eWait == kGotMessage)
        return OutcomeOf(eWait, message);
    SetStatusText(kStoppedReadAgainText, nPane);
    return kUpdateStopped;
}

CLdapSource::EUpdateOutcome CLdapSource::ResolveStoppedUpdate(CWorker& worker, const CString& dn,
                                                              EReadBack& eRead) {
    eRead = ReadBack(dn, nullptr);
    return SettleStoppedUpdate(worker, 1);
}

CLdapSource::EWaitOutcome CLdapSource::AwaitStoppedUpdate(CWorker& worker, CLdapMessage& message, int& nType,
                                                          int nWaitMs) {
    // Stop cleared the registration, so nothing sets the flag again.
    {
        CCriticalSectionLock lock(*worker.pLock);
        *worker.pAbandoned = FALSE;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nWaitMs);
    for (;;) {
        EWaitOutcome eWait = NextResult(worker, message, nType, TRUE);
        if (eWait != kNothingYet)
            return eWait;
        if (std::chrono::steady_clock::now() >= deadline)
            return kAbandoned;
        Sleep(kWaitSliceMs);
    }
}

CLdapSource::EReadBack CLdapSource::ReadBack(const CString& dn, CAttributeArray* pAttributes) {
    CWorker worker;
    BOOL bAbandoned = FALSE;
    BOOL bWaiting = FALSE;
    worker.pAbandoned = &bAbandoned;
    worker.pWaiting = &bWaiting;
    int nCode = SendRequest(
        [&](int& nId) {
            return LdapSearch(m_ld.Get(), dn, LDAP_SCOPE_BASE_LEVEL, "(objectclass=*)",
                              pAttributes == nullptr, nId);
        },
        worker.nMsgId);
    if (nCode != 0)
        return kReadFailed;
    EReadBack eResult = kReadFailed;
    BOOL bFound = FALSE;
    for (;;) {
        CLdapMessage message;
        int nType = 0;
        if (NextResult(worker, message, nType, FALSE) != kGotMessage)
            break;
        if (nType == LDAP_RESULT_SEARCH_ENTRY) {
            bFound = TRUE;
            if (pAttributes)
                LdapForEachAttribute(m_ld.Get(), message.Get(), [&](const CAttribute& attribute) {
                    pAttributes->Add(new CAttribute(attribute));
                    return true;
                });
        } else if (nType == LDAP_RESULT_SEARCH_RESULT) {
            nCode = LdapResultCode(m_ld.Get(), message.Get());
            if (bFound)
                eResult = kReadFound;
            else if (nCode == 0 || nCode == kNoSuchObject)
                eResult = kReadMissing;
            break;
        }
    }
    CCriticalSectionLock lock(m_routingLock);
    m_activeMsgIds.erase(worker.nMsgId);
    m_pendingResults.Drop(worker.nMsgId);
    return eResult;
}

CLdapSource::EUpdateOutcome CLdapSource::ResolveStoppedAttributeUpdate(CWorker& worker, CEntryNode* pEntry,
                                                                       HWND hNotify) {
    CAttributeArray fresh;
    EReadBack eRead = ReadBack(pEntry->GetDN(), &fresh);
    EUpdateOutcome eOutcome = SettleStoppedUpdate(worker, 2);
    if (eOutcome == kUpdateStopped && eRead == kReadFound) {
        // Under the read lock, like a read: no other worker uses the cache.
        CCriticalSectionLock cache(m_readLock);
        ::DeleteAttributes(pEntry->m_attributes);
        for (CAttribute* pAttribute : fresh)
            pEntry->m_attributes.Add(pAttribute);
        fresh.RemoveAll();
        Notify(hNotify, &ISourceEvents::ClearAttributes, pEntry);
        Notify(hNotify, &ISourceEvents::ShowAttributes, pEntry->m_attributes, pEntry);
    }
    ::DeleteAttributes(fresh);
    return eOutcome;
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
        Notify(request.hNotify, &ISourceEvents::EntryAdded, nullptr, request.hParentItem);
        delete pNewEntry;
        pParent->EndOperation(OP_ADD_ENTRY);
        return 0;
    case kUpdateStopped: {
        // Shown only when the server has it and the tree does not already
        // (an add of an existing DN must not show it twice).
        EReadBack eRead = kReadFailed;
        eOutcome = ResolveStoppedUpdate(worker, dn, eRead);
        BOOL bShown = FALSE;
        for (CEntryNode* pChild : pParent->GetChildren())
            bShown = bShown || pChild->GetDN().CompareNoCase(dn) == 0;
        if (eOutcome == kUpdateShutdown) {
            delete pNewEntry;
            return 0;
        }
        if (eOutcome == kUpdateFailed || bShown || (eOutcome == kUpdateStopped && eRead != kReadFound)) {
            Notify(request.hNotify, &ISourceEvents::EntryAdded, nullptr, request.hParentItem);
            delete pNewEntry;
            pParent->EndOperation(OP_ADD_ENTRY);
            return 0;
        }
        break;
    }
    case kUpdateDone:
        break;
    }
    pParent->AddChildHead(pNewEntry);
    Notify(request.hNotify, &ISourceEvents::EntryAdded, pNewEntry, request.hParentItem);
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
    if (eOutcome == kUpdateStopped) {
        // Gone only when the server no longer has it.
        EReadBack eRead = kReadFailed;
        eOutcome = ResolveStoppedUpdate(worker, dn, eRead);
        if (eOutcome == kUpdateStopped)
            eOutcome = eRead == kReadMissing ? kUpdateDone : kUpdateFailed;
    }
    if (eOutcome == kUpdateShutdown)
        return 0;
    pEntry->EndOperation(OP_DELETE_ENTRY);
    if (eOutcome == kUpdateRefused || eOutcome == kUpdateFailed)
        return 0; // the entry stays
    if (CEntryNode* pParent = pEntry->GetParent())
        pParent->RemoveChild(pEntry);
    request.bSucceeded = TRUE;
    Notify(request.hNotify, &ISourceEvents::EntryDeleted, request);
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
    if (eOutcome == kUpdateStopped) {
        // Renamed only when the server has the new name and not the old one
        // (the new name may have been another entry's all along).
        EReadBack eOld = ReadBack(dn, nullptr);
        EReadBack eNew = kReadFailed;
        eOutcome = ResolveStoppedUpdate(worker, request.strNewDN, eNew);
        if (eOutcome == kUpdateStopped)
            eOutcome = eOld == kReadMissing && eNew == kReadFound ? kUpdateDone : kUpdateFailed;
    }
    if (eOutcome == kUpdateShutdown)
        return 0;
    request.bSucceeded = eOutcome == kUpdateDone ? TRUE : FALSE;
    if (eOutcome == kUpdateRefused)
        pEntry->EndOperation(OP_MODIFY_ENTRY);
    Notify(request.hNotify, &ISourceEvents::EntryModified, request);
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
    if (eOutcome == kUpdateStopped)
        eOutcome = ResolveStoppedAttributeUpdate(worker, pEntry, request.hNotify);
    if (eOutcome == kUpdateShutdown)
        return 0;
    BOOL bSent = FALSE;
    if (eOutcome == kUpdateDone) {
        {
            CCriticalSectionLock cache(m_readLock);
            MergeAddedAttributes(pEntry, request.attributes);
        }
        request.bSucceeded = TRUE;
        Notify(request.hNotify, &ISourceEvents::AttributeAdded, request);
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
    if (eOutcome == kUpdateStopped)
        eOutcome = ResolveStoppedAttributeUpdate(worker, pEntry, request.hNotify);
    if (eOutcome == kUpdateShutdown)
        return 0;
    BOOL bSent = FALSE;
    if (eOutcome == kUpdateDone) {
        request.bSucceeded = TRUE;
        {
            CCriticalSectionLock cache(m_readLock);
            RemoveDeletedValues(pEntry, request.attributes);
        }
        Notify(request.hNotify, &ISourceEvents::AttributeDeleted, request);
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
    if (eOutcome == kUpdateStopped)
        eOutcome = ResolveStoppedAttributeUpdate(worker, pEntry, request.hNotify);
    if (eOutcome == kUpdateShutdown)
        return 0;
    BOOL bDone = FALSE;
    if (eOutcome == kUpdateDone) {
        request.bSucceeded = TRUE;
        {
            // The new value goes to the end of the cached values.
            CCriticalSectionLock cache(m_readLock);
            if (bHasOld)
                pEntry->RemoveValue(name, oldValue);
            pEntry->AddValue(name, newValue);
        }
        Notify(request.hNotify, &ISourceEvents::AttributeModified, request);
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
