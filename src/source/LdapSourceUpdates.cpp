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
constexpr int kNoSuchAttribute = 16;   // also: no such value
constexpr int kTypeOrValueExists = 20; // the value is there already
// The attribute has no equality rule: the server cannot find one value.
constexpr int kInappropriateMatching = 18;

// Index of the first value equal to value (bytes), or -1.
int IndexOf(const CStringArray& values, const CString& value) {
    for (int i = 0; i < values.GetSize(); ++i)
        if (values[i] == value)
            return i;
    return -1;
}
} // namespace

const char* const CLdapSource::kStoppedReadAgainText =
    "Stopped: the directory was read again to show what it holds";
const char* const CLdapSource::kStoppedUnreadText =
    "Stopped: the server did not answer, so what it holds is not known; refresh (F5) later";

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
    return OutcomeOf(worker, eWait, message);
}

CLdapSource::EUpdateOutcome CLdapSource::OutcomeOf(CWorker& worker, EWaitOutcome eWait,
                                                   CLdapMessage& message) {
    CString diagnostic, matchedDN;
    int nCode =
        eWait == kGotMessage ? LdapResultCode(m_ld.Get(), message.Get(), &diagnostic, &matchedDN) : -1;
    if (nCode == 0)
        return kUpdateDone;
    if (worker.fnDefer && worker.fnDefer(nCode)) {
        worker.bDeferred = true;
        worker.deferredFailure = LdapFailure(nCode, diagnostic, matchedDN);
    } else {
        ShowError(nCode, diagnostic, matchedDN);
    }
    return kUpdateFailed;
}

CLdapSource::EUpdateOutcome CLdapSource::SettleStoppedUpdate(CWorker& worker, int nPane, EReadBack eRead) {
    // The server has just answered the read: its answer to the update,
    // sent first, is the truth when it follows in a moment.
    CLdapMessage message;
    int nType = 0;
    EWaitOutcome eWait = AwaitStoppedUpdate(worker, message, nType, kSettleWaitMs);
    EndRequest(worker);
    if (IsShuttingDown())
        return kUpdateShutdown;
    if (eWait == kGotMessage)
        return OutcomeOf(worker, eWait, message);
    ShowStatus(eRead == kReadFailed ? kStoppedUnreadText : kStoppedReadAgainText, nPane);
    return kUpdateStopped;
}

CLdapSource::EUpdateOutcome CLdapSource::ResolveStoppedUpdate(CWorker& worker, const CString& dn,
                                                              EReadBack& eRead) {
    eRead = ReadBack(dn, nullptr);
    return SettleStoppedUpdate(worker, 1, eRead);
}

CLdapSource::EUpdateOutcome CLdapSource::ResolveStoppedRename(CWorker& worker, const CString& oldDn,
                                                              const CString& newDn) {
    // Renamed only when the server has the new name and not the old one
    // (the new name may have been another entry's all along).
    EReadBack eOld = ReadBack(oldDn, nullptr);
    EReadBack eNew = kReadFailed;
    EUpdateOutcome eOutcome = ResolveStoppedUpdate(worker, newDn, eNew);
    if (eOutcome == kUpdateStopped)
        eOutcome = eOld == kReadMissing && eNew == kReadFound ? kUpdateDone : kUpdateFailed;
    return eOutcome;
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
    // Stop does not reach this read, so it has a time-out of its own, the
    // send included: a silent server must not keep the entry busy until Close.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nReadBackWaitMs);
    int nCode = SendRequest(
        [&](int& nId) {
            return LdapSearch(m_ld.Get(), dn, LDAP_SCOPE_BASE_LEVEL, "(objectclass=*)",
                              pAttributes == nullptr, nId);
        },
        worker.nMsgId, m_nReadBackWaitMs);
    if (nCode != 0)
        return kReadFailed;
    EReadBack eResult = kReadFailed;
    BOOL bFound = FALSE;
    for (;;) {
        CLdapMessage message;
        int nType = 0;
        const EWaitOutcome eWait = NextResult(worker, message, nType, TRUE);
        if (eWait == kNothingYet && std::chrono::steady_clock::now() < deadline) {
            WaitSlice();
            continue;
        }
        if (eWait == kNothingYet)
            AbandonRequest(worker.nMsgId);
        if (eWait != kGotMessage)
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
    EUpdateOutcome eOutcome = SettleStoppedUpdate(worker, 2, eRead);
    if (eOutcome == kUpdateStopped && eRead == kReadFound)
        ReplaceCachedAttributes(pEntry, fresh, hNotify);
    ::DeleteAttributes(fresh);
    return eOutcome;
}

void CLdapSource::ReplaceCachedAttributes(CEntryNode* pEntry, CAttributeArray& fresh, HWND hNotify) {
    // Under the read lock, like a read: no other worker uses the cache.
    CCriticalSectionLock cache(m_readLock);
    ::DeleteAttributes(pEntry->m_attributes);
    for (CAttribute* pAttribute : fresh)
        pEntry->m_attributes.Add(pAttribute);
    fresh.RemoveAll();
    Notify(hNotify, &ISourceEvents::ClearAttributes, pEntry);
    Notify(hNotify, &ISourceEvents::ShowAttributes, pEntry->m_attributes, pEntry);
}

void CLdapSource::ReportEntryChanged(const COperationFailure& refusal, CEntryNode* pEntry, HWND hNotify) {
    // Read first, so that the rows under the message show what the server holds.
    CAttributeArray fresh;
    if (ReadBack(pEntry->GetDN(), &fresh) == kReadFound && !IsShuttingDown())
        ReplaceCachedAttributes(pEntry, fresh, hNotify);
    ::DeleteAttributes(fresh);
    if (!IsShuttingDown())
        ReportFailure(EntryChangedFailure(refusal.nCode, refusal.strServerText));
}

bool CLdapSource::TakeMatchingRefusal(CWorker& worker) {
    if (!worker.bDeferred || worker.deferredFailure.nCode != kInappropriateMatching)
        return false;
    worker.bDeferred = false;
    return true;
}

void CLdapSource::SettleDeferredRefusal(CWorker& worker, CEntryNode* pEntry, HWND hNotify) {
    const COperationFailure& refusal = worker.deferredFailure;
    worker.bDeferred = false;
    if (refusal.nCode == kInappropriateMatching)
        ShowError(refusal.nCode, refusal.strServerText, refusal.strMatchedDN);
    else
        ReportEntryChanged(refusal, pEntry, hNotify);
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
    // The server may have added values (the RDN's, operational ones): the
    // entry is read from it when shown, not from what the dialog sent.
    ForgetCachedAttributes(pNewEntry);
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

void CLdapSource::ForgetCachedAttributes(CEntryNode* pEntry) {
    // Under the read lock, like a read: no other worker uses the cache.
    CCriticalSectionLock cache(m_readLock);
    ::DeleteAttributes(pEntry->m_attributes);
}

UINT CLdapSource::RunModifyEntry(CModifyEntryRequest& request) {
    CWorker worker;
    BOOL bWaiting = FALSE;
    worker.pAbandoned = &request.bAbandoned;
    worker.pWaiting = &bWaiting;
    CEntryNode* pEntry = request.pEntry;
    const CString dn = pEntry->GetDN();
    const CString newRdn = request.strNewRDN;
    const bool bDeleteOldRdn = request.bDeleteOldRdn != FALSE;

    EUpdateOutcome eOutcome = SendUpdate(worker, OP_MODIFY_ENTRY, pEntry, [&](int& nId) {
        return LdapRename(m_ld.Get(), dn, newRdn, bDeleteOldRdn, nId);
    });
    if (eOutcome == kUpdateStopped)
        eOutcome = ResolveStoppedRename(worker, dn, request.strNewDN);
    if (eOutcome == kUpdateShutdown)
        return 0;
    request.bSucceeded = eOutcome == kUpdateDone ? TRUE : FALSE;
    if (request.bSucceeded)
        ForgetCachedAttributes(pEntry);
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

    // Exactly the chosen values go: values added by others since the read
    // stay, and so does the attribute that holds them. Only an attribute
    // named without values (or by the row of one shown without any) goes
    // as a whole.
    CLdapMods mods;
    // For a server that cannot match single values of an attribute (no
    // equality rule): attributes whose every read value was chosen go whole.
    CLdapMods wholeMods;
    bool bWholeDiffers = false;
    bool bAllKnown = true;
    {
        // A read of the same entry may be filling its cache.
        CCriticalSectionLock cache(m_readLock);
        for (CAttribute* pAttribute : request.attributes) {
            const CString name = pAttribute->GetName();
            CStringArray values;
            bool bWhole = pAttribute->GetSize() == 0;
            for (const CString& value : *pAttribute) {
                if (IsValuelessRow(pEntry, name, value))
                    bWhole = true;
                else
                    values.Add(value);
            }
            const CAttribute* pCached = pEntry->FindAttribute(name);
            bool bAllChosen = pCached != nullptr;
            bAllKnown = bAllKnown && pCached != nullptr;
            for (const CString& value : values)
                bAllKnown = bAllKnown && pCached && IndexOf(*pCached, value) >= 0;
            if (pCached)
                for (const CString& value : *pCached)
                    bAllChosen = bAllChosen && IndexOf(values, value) >= 0;
            mods.Append(CLdapMods::Delete, name, bWhole ? CStringArray() : values);
            wholeMods.Append(CLdapMods::Delete, name, bWhole || bAllChosen ? CStringArray() : values);
            bWholeDiffers = bWholeDiffers || (!bWhole && bAllChosen);
        }
    }
    // "No such value" for values that were read: another client removed them.
    auto fnChanged = [bAllKnown](int nCode) { return nCode == kNoSuchAttribute && bAllKnown; };
    worker.fnDefer = [fnChanged, bWholeDiffers](int nCode) {
        return fnChanged(nCode) || (nCode == kInappropriateMatching && bWholeDiffers);
    };
    const CString dn = pEntry->GetDN();

    EUpdateOutcome eOutcome = SendUpdate(worker, OP_DELETE_ATTRIBUTE, pEntry,
                                         [&](int& nId) { return LdapModify(m_ld.Get(), dn, mods, nId); });
    if (eOutcome == kUpdateFailed && TakeMatchingRefusal(worker)) {
        worker.fnDefer = fnChanged;
        eOutcome = SendUpdate(worker, OP_DELETE_ATTRIBUTE, pEntry,
                              [&](int& nId) { return LdapModify(m_ld.Get(), dn, wholeMods, nId); });
    }
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
    } else if (worker.bDeferred) {
        SettleDeferredRefusal(worker, pEntry, request.hNotify);
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
    const CAttribute& attribute = request.attribute;
    const CString name = attribute.GetName();
    const CString newValue = attribute.GetSize() > 0 ? attribute[0] : CString();
    const CString oldValue = attribute.GetSize() > 1 ? attribute[1] : CString();

    // One request, two changes: the old value out, the new one in. The
    // server checks that the old value is still there, and nothing else of
    // the attribute is touched.
    CLdapMods mods;
    bool bOldKnown = false;
    bool bNewKnown = false;
    bool bHasOld = false;
    bool bOnlyValue = false;
    {
        CCriticalSectionLock cache(m_readLock);
        bHasOld = attribute.GetSize() > 1 && !IsValuelessRow(pEntry, name, oldValue);
        const CAttribute* pCached = pEntry->FindAttribute(name);
        bOldKnown = bHasOld && pCached && IndexOf(*pCached, oldValue) >= 0;
        bNewKnown = pCached && IndexOf(*pCached, newValue) >= 0;
        bOnlyValue = bOldKnown && pCached->GetSize() == 1;
    }
    if (bHasOld) {
        CStringArray oldValues;
        oldValues.Add(oldValue);
        mods.Append(CLdapMods::Delete, name, oldValues);
    }
    CStringArray newValues;
    newValues.Add(newValue);
    mods.Append(CLdapMods::Add, name, newValues);
    // The old value gone, or the new one there although it was not read:
    // another client changed the entry. A new value that was read already
    // is the user's own duplicate, an ordinary refusal.
    auto fnChanged = [bOldKnown, bNewKnown](int nCode) {
        return (nCode == kNoSuchAttribute && bOldKnown) || (nCode == kTypeOrValueExists && !bNewKnown);
    };
    worker.fnDefer = [fnChanged, bOnlyValue](int nCode) {
        return fnChanged(nCode) || (nCode == kInappropriateMatching && bOnlyValue);
    };
    const CString dn = pEntry->GetDN();

    EUpdateOutcome eOutcome = SendUpdate(worker, OP_MODIFY_ATTRIBUTE, pEntry,
                                         [&](int& nId) { return LdapModify(m_ld.Get(), dn, mods, nId); });
    if (eOutcome == kUpdateFailed && TakeMatchingRefusal(worker)) {
        // The server cannot find the old value (the attribute has no
        // equality rule); it was the attribute's only value when read, so
        // the new value takes the attribute's place.
        CLdapMods replace;
        replace.Append(CLdapMods::Replace, name, newValues);
        worker.fnDefer = fnChanged;
        eOutcome = SendUpdate(worker, OP_MODIFY_ATTRIBUTE, pEntry,
                              [&](int& nId) { return LdapModify(m_ld.Get(), dn, replace, nId); });
    }
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
    } else if (worker.bDeferred) {
        SettleDeferredRefusal(worker, pEntry, request.hNotify);
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
    CAttributeArray& cache = pEntry->m_attributes;
    for (CAttribute* pDeleted : deleted) {
        CAttribute* pCached = pEntry->FindAttribute(pDeleted->GetName());
        if (!pCached)
            continue;
        // The same test as for the request: the attribute went as a whole.
        bool bWhole = pDeleted->GetSize() == 0;
        for (const CString& value : *pDeleted) {
            if (IsValuelessRow(pEntry, pDeleted->GetName(), value))
                bWhole = true;
            else if (int i = IndexOf(*pCached, value); i >= 0)
                pCached->RemoveAt(i);
        }
        // Without values it is gone from the server too, as far as we know.
        if (bWhole || pCached->GetSize() == 0) {
            for (int i = 0; i < cache.GetSize(); ++i) {
                if (cache[i] == pCached) {
                    cache.RemoveAt(i);
                    break;
                }
            }
            delete pCached;
        }
    }
}

bool CLdapSource::IsValuelessRow(CEntryNode* pEntry, const CString& name, const CString& value) {
    if (!value.IsEmpty())
        return false;
    const CAttribute* pCached = pEntry->FindAttribute(name);
    return !pCached || IndexOf(*pCached, value) < 0;
}
