// Moving an entry with everything below it to another parent: one ModDN
// with a new superior, or, for a server that will not move a subtree in one
// request, a copy below the new parent followed by the delete of the old.

#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/Services.h"
#include "source/LdapError.h"
#include "source/LdapSource.h"
#include "source/Search.h"

#include <algorithm>
#include <functional>

namespace {
constexpr int kUnwillingToPerform = 53;
constexpr int kNotAllowedOnNonLeaf = 66;
constexpr int kAffectsMultipleDsas = 71;

// Codes with which a server says it cannot move this subtree in one request
// (another database, another server, or no subtree renames at all).
bool IsSubtreeRefusal(int nCode) {
    return nCode == kNotAllowedOnNonLeaf || nCode == kAffectsMultipleDsas || nCode == kUnwillingToPerform;
}

struct CCopiedEntry {
    CString strOldDN;
    CString strNewDN;
    size_t nDepth = 0;
    std::vector<CAttribute> attributes;
};

// The DN an entry below oldBase gets below newBase (same count of RDNs cut).
CString Rebased(const CString& dn, size_t nBaseRdns, const CString& newBase, size_t& nDepth) {
    std::vector<std::string> rdns;
    if (!DnSplit(dn.View(), rdns) || rdns.size() < nBaseRdns)
        return CString();
    nDepth = rdns.size() - nBaseRdns;
    std::string moved;
    for (size_t i = 0; i < nDepth; ++i)
        moved += rdns[i] + ",";
    return CString(moved) + newBase;
}

CString Counted(int nCount, const char* pszOne, const char* pszMany) {
    return CString(std::to_string(nCount)) + " " + (nCount == 1 ? pszOne : pszMany);
}
} // namespace

UINT CLdapSource::RunMoveEntry(CMoveEntryRequest& request) {
    CWorker worker;
    BOOL bWaiting = FALSE;
    worker.pAbandoned = &request.bAbandoned;
    worker.pWaiting = &bWaiting;
    CEntryNode* pEntry = request.pEntry;
    const CString dn = request.strOldDN;
    const CString newSuperior = request.pNewParent->GetDN();

    EUpdateOutcome eOutcome;
    if (request.bCopyDelete) {
        eOutcome = CopyThenDelete(worker, request);
    } else {
        // A refusal of the subtree move is the UI's to offer something else for.
        worker.fnDefer = [](int nCode) { return IsSubtreeRefusal(nCode); };
        eOutcome = SendUpdate(worker, OP_MODIFY_ENTRY, pEntry,
                              [&](int& nId) { return LdapMove(m_ld.Get(), dn, newSuperior, nId); });
        if (eOutcome == kUpdateStopped)
            eOutcome = ResolveStoppedRename(worker, dn, request.strNewDN);
        if (eOutcome == kUpdateFailed && worker.bDeferred) {
            request.nSubtreeRefusal = worker.deferredFailure.nCode;
            request.strRefusalText = worker.deferredFailure.strText;
        }
    }
    if (eOutcome == kUpdateShutdown)
        return 0;
    request.bSucceeded = eOutcome == kUpdateDone ? TRUE : FALSE;
    if (request.bSucceeded)
        FinishMove(request);
    pEntry->EndOperation(OP_MODIFY_ENTRY);
    request.pNewParent->EndOperation(OP_ADD_ENTRY);
    Notify(request.hNotify, &ISourceEvents::EntryMoved, request);
    return request.bSucceeded ? 1 : 0;
}

void CLdapSource::FinishMove(CMoveEntryRequest& request) {
    CEntryNode* pEntry = request.pEntry;
    CEntryNode* pNewParent = request.pNewParent;
    // What was below is read again at its new place when opened: the nodes
    // loaded so far name the old DNs.
    std::vector<CEntryNode*> children = pEntry->GetChildren();
    pEntry->RemoveAllChildren();
    for (CEntryNode* pChild : children)
        Retire(pChild);
    if (!pEntry->IsUnexpanded() && !children.empty())
        pEntry->MarkUnexpanded();
    ForgetCachedAttributes(pEntry);
    if (CEntryNode* pOldParent = pEntry->GetParent())
        pOldParent->RemoveChild(pEntry);
    pEntry->SetDN(request.strNewDN);
    // Never fetched below the new parent: its expansion brings the entry.
    if (pNewParent->IsUnexpanded()) {
        Retire(pEntry);
        return;
    }
    pEntry->SetParent(pNewParent);
    pNewParent->AddChildHead(pEntry);
    request.bLinked = TRUE;
}

CLdapSource::EUpdateOutcome CLdapSource::CopyThenDelete(CWorker& worker, CMoveEntryRequest& request) {
    // Everything the subtree holds, user attributes only: operational ones
    // are the server's to set at the new place.
    std::vector<CCopiedEntry> entries;
    std::vector<std::string> baseRdns;
    DnSplit(request.strOldDN.View(), baseRdns);
    const int nReadCode = RequestQuietly(
        [&](int& nId) {
            return LdapSearchAttributes(m_ld.Get(), request.strOldDN, SEARCH_SCOPE_SUBTREE, "(objectClass=*)",
                                        CStringArray(), 0, nId);
        },
        [&](ldapmsg* pMessage) {
            LdapForEachEntry(
                m_ld.Get(), pMessage, [&](const CString& dn, std::vector<CAttribute>&& attributes) {
                    CCopiedEntry entry;
                    entry.strOldDN = dn;
                    entry.strNewDN =
                        Rebased(dn, baseRdns.size() - 1, request.pNewParent->GetDN(), entry.nDepth);
                    entry.attributes = std::move(attributes);
                    entries.push_back(std::move(entry));
                });
        });
    if (IsShuttingDown())
        return kUpdateShutdown;
    if (nReadCode != 0 || entries.empty()) {
        ReportFailure("The entries below " + request.strOldDN +
                      " could not be read, so nothing was moved.\n" + LdapResultDescription(nReadCode));
        return kUpdateFailed;
    }
    // Parents first; entries with a DN that cannot be rebased are not copied.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const CCopiedEntry& a, const CCopiedEntry& b) { return a.nDepth < b.nDepth; });
    request.nEntries = static_cast<int>(entries.size());
    worker.fnDefer = [](int) { return true; }; // one report at the end, not a box per entry

    auto stopped = [&](const CString& done, const CCopiedEntry* pAt, EUpdateOutcome eStep) {
        request.bPartial = request.nAdded > 0 ? TRUE : FALSE;
        CString text = "Moving " + request.strOldDN + " to " + request.pNewParent->GetDN() +
                       " entry by entry stopped.\n" + done;
        if (pAt && eStep == kUpdateFailed && worker.bDeferred)
            text += "\n" + pAt->strOldDN + ": " + worker.deferredFailure.strText;
        else if (pAt && eStep == kUpdateStopped)
            text += "\nStopped at " + pAt->strOldDN + "; whether that last step was made is not known.";
        worker.bDeferred = false;
        ReportFailure(text);
        return kUpdateFailed;
    };

    // A step the user stopped is settled first: its answer may still come.
    auto send = [&](const std::function<int(int&)>& fnSend) {
        EUpdateOutcome eStep = SendUpdate(worker, OP_MODIFY_ENTRY, request.pEntry, fnSend);
        if (eStep == kUpdateStopped)
            eStep = SettleStoppedUpdate(worker, 1, kReadFailed); // nothing was read back
        return eStep;
    };
    for (const CCopiedEntry& entry : entries) {
        CLdapMods mods;
        for (const CAttribute& attribute : entry.attributes)
            mods.Append(CLdapMods::Add, attribute.GetName(), attribute);
        const EUpdateOutcome eStep = entry.strNewDN.IsEmpty() ? kUpdateFailed : send([&](int& nId) {
            return LdapAdd(m_ld.Get(), entry.strNewDN, mods, nId);
        });
        if (eStep == kUpdateShutdown)
            return kUpdateShutdown;
        if (eStep != kUpdateDone)
            return stopped(CString(std::to_string(request.nAdded)) + " of " +
                               Counted(request.nEntries, "entry was", "entries were") + " copied below " +
                               request.pNewParent->GetDN() + "; no entry was deleted at the old place.",
                           &entry, eStep);
        ++request.nAdded;
    }
    // Deepest first, so that every entry is a leaf when it goes.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const CCopiedEntry& entry = *it;
        const EUpdateOutcome eStep =
            send([&](int& nId) { return LdapDelete(m_ld.Get(), entry.strOldDN, nId); });
        if (eStep == kUpdateShutdown)
            return kUpdateShutdown;
        if (eStep != kUpdateDone)
            return stopped(Counted(request.nEntries, "entry was", "entries were") + " copied below " +
                               request.pNewParent->GetDN() + "; " + std::to_string(request.nDeleted) +
                               " of " + std::to_string(request.nEntries) + " were deleted at the old place.",
                           &entry, eStep);
        ++request.nDeleted;
    }
    return kUpdateDone;
}
