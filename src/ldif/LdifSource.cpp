#include "ldif/LdifSource.h"

#include "ldif/DnIndex.h"
#include "ldif/LdifLineReader.h"
#include "ldif/LdifSyntax.h"
#include "ldif/LdifWriter.h"
#include "model/AsciiCase.h"
#include "model/DnHelper.h"
#include "platform/Memory.h"
#include "platform/Services.h"
#include "source/ConnectionParams.h"
#include "source/EntryItemInserter.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

namespace {

const char* const kAlreadyExists = "Already exists";

// The file text is kept in blocks of about this size, compressed from
// this file size on.
constexpr size_t kBlockSize = size_t{128} * 1024;
constexpr size_t kCompressFrom = size_t{1} << 20;

// Why a file could not be read, told apart so that the user knows what to
// change: the name, the choice of a folder, or the permissions.
CString ReadFailureText(const CString& path, bool bOpened) {
    if (path.IsEmpty())
        return "Error - No LDIF file was named.";
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path.GetString(), error);
    if (status.type() == std::filesystem::file_type::not_found)
        return "Error - File not Found: " + path;
    if (status.type() == std::filesystem::file_type::directory)
        return "Error - " + path + " is a folder, not an LDIF file.";
    if (status.type() != std::filesystem::file_type::regular && !error)
        return "Error - " + path + " is not a file (a pipe or a device).";
    if (bOpened)
        return "Error - The file could not be read to its end: " + path;
    return "Error - Access Denied: " + path;
}

} // namespace

CLdifSource::CLdifSource() = default;

CLdifSource::~CLdifSource() {
    if (!m_bClosed)
        Close();
}

// ---------------------------------------------------------------- reading

void CLdifSource::SplitLine(std::string_view line, std::string_view& name, std::string_view& value) {
    SplitLdifLine(line, name, value);
}

void CLdifSource::SplitLine(const CString& line, CString& name, CString& value) {
    std::string_view nameView, valueView;
    SplitLine(line.View(), nameView, valueView);
    name = CString(nameView);
    value = CString(valueView);
}

BOOL CLdifSource::ReadFile() {
    CLdifLineReader reader;
    if (m_strFileName.IsEmpty() || m_strFileName.Find('\0') >= 0 || !reader.Open(m_strFileName.GetString())) {
        ReportFailure(ReadFailureText(m_strFileName.Find('\0') >= 0 ? CString() : m_strFileName, false));
        return FALSE;
    }
    // Refused before anything is read when it cannot fit: running out half
    // way would take the whole program down, or the machine into swap.
    const long long nAvailable = AvailableMemoryBytes();
    if (nAvailable >= 0 && reader.FileSize() / 2 * 3 > nAvailable) {
        ShowNotEnoughMemory(reader.FileSize());
        return FALSE;
    }

    // A record takes a few hundred bytes in a typical file.
    const auto nFileSize = static_cast<size_t>(reader.FileSize());
    m_store.Reserve(nFileSize / 256);
    m_records.reserve(nFileSize / 256);
    m_entries.Reserve(static_cast<int>(nFileSize / 256));

    CEntryNode* pCurrent = nullptr;
    size_t nRecordStart = 0, nRecordEnd = 0;
    bool bHasRequired = false;
    // Whether only control lines followed the dn line so far, and whether
    // a change record is being read: it belongs to no entry, and its bytes
    // stay as they are whatever happens to the entries.
    bool bBeforeChangeType = false, bInChangeRecord = false;
    auto finishCurrent = [&] {
        if (!pCurrent)
            return;
        m_store.KeepRecord(pCurrent, nRecordStart, nRecordEnd - nRecordStart, bHasRequired);
        m_records.push_back({pCurrent, nRecordStart, nRecordEnd - nRecordStart});
        m_entries.Add(pCurrent);
        m_nAppendAt = nRecordEnd;
        pCurrent = nullptr;
    };
    // A record runs from its dn line to its last value line; blank lines,
    // comments and stray lines after that belong to no record and stay
    // where they are. A change record runs up to the next empty line.
    std::string value;
    size_t nBase = 0; // where the block being read starts in the file
    auto onLine = [&](std::string_view logical, size_t nStart, size_t nEnd) {
        nStart += nBase;
        nEnd += nBase;
        const ELdifLineKind eKind = ClassifyLdifLine(logical);
        if (bInChangeRecord && eKind != ELdifLineKind::Blank && eKind != ELdifLineKind::Dn) {
            m_nAppendAt = nEnd;
            return;
        }
        bInChangeRecord = false;
        switch (eKind) {
        case ELdifLineKind::Dn: {
            finishCurrent();
            std::string_view name;
            DecodeLdifValue(logical, name, value);
            if (!value.empty()) {
                pCurrent = new CEntryNode;
                pCurrent->m_strDN = CString(value);
                pCurrent->SetIndex(-1);
                nRecordStart = nStart;
                nRecordEnd = nEnd;
                bHasRequired = false;
                bBeforeChangeType = true;
            }
            break;
        }
        case ELdifLineKind::Attribute:
            if (pCurrent) {
                const std::string_view name = logical.substr(0, logical.find(':'));
                if (bBeforeChangeType && EqualsUpperAscii(name, "CHANGETYPE")) {
                    delete pCurrent;
                    pCurrent = nullptr;
                    bInChangeRecord = true;
                    m_nAppendAt = nEnd;
                    break;
                }
                bBeforeChangeType = bBeforeChangeType && EqualsUpperAscii(name, "CONTROL");
                nRecordEnd = nEnd;
                if (!bHasRequired)
                    bHasRequired = EqualsUpperAscii(name, m_strRequiredAttribute.View());
            }
            break;
        default:
            break;
        }
    };
    // Every byte is kept, in blocks that end after an empty line (where no
    // line continues the one before): each block is read, then kept
    // compressed when the file is large.
    const bool bCompress = nFileSize >= kCompressFrom;
    bool bEolKnown = false;
    std::string block;
    block.reserve(std::min(nFileSize + 1, kBlockSize + kBlockSize / 4));
    auto takeBlock = [&] {
        if (!bEolKnown && block.find('\n') != std::string::npos) {
            m_strEol = FirstLineBreak(block);
            bEolKnown = true;
        }
        ForEachLdifLine(block, onLine);
        m_store.Text().Append(block, bCompress);
        nBase += block.size();
        block.clear();
    };
    std::string_view line;
    while (reader.NextLine(line)) {
        block.append(line);
        block.append(reader.LastBreak());
        if (line.empty() && !reader.LastBreak().empty() && block.size() >= kBlockSize)
            takeBlock();
    }
    takeBlock();
    if (!bEolKnown)
        m_strEol = "\r\n";
    finishCurrent();
    const bool bFailed = reader.Failed();
    reader.Close();

    if (bFailed) {
        // Half a file is never shown, and never written back over the whole.
        DiscardRead();
        ReportFailure(ReadFailureText(m_strFileName, true));
        return FALSE;
    }

    // Selection, moving each entry once.
    std::vector<CEntryNode*> kept;
    kept.reserve(m_entries.Data().size());
    for (CEntryNode* pEntry : m_entries) {
        if (IsRelevant(pEntry))
            kept.push_back(pEntry);
        else
            m_otherEntries.Add(pEntry);
    }
    m_entries.Data().swap(kept);

    if (m_entries.IsEmpty()) {
        ReportFailure("Error - No relevant entries found in this file.");
        return FALSE;
    }
    return TRUE;
}

void CLdifSource::DiscardRead() {
    for (CEntryNode* pEntry : m_entries)
        delete pEntry;
    for (CEntryNode* pEntry : m_otherEntries)
        delete pEntry;
    m_entries.RemoveAll();
    m_otherEntries.RemoveAll();
    m_otherLines.RemoveAll();
    m_records.clear();
    m_nAppendAt = 0;
    m_store.Clear();
}

void CLdifSource::DiscardAfterFailure() {
    // An entry may stand in both arrays while the tree is being built; each
    // is freed once, without allocating (memory has just run out).
    std::vector<CEntryNode*>& entries = m_entries.Data();
    std::vector<CEntryNode*>& others = m_otherEntries.Data();
    std::sort(entries.begin(), entries.end());
    for (CEntryNode* pEntry : others) {
        if (!std::binary_search(entries.begin(), entries.end(), pEntry))
            delete pEntry;
    }
    const bool bTopListed =
        m_pTopEntry && (std::binary_search(entries.begin(), entries.end(), m_pTopEntry) ||
                        std::find(others.begin(), others.end(), m_pTopEntry) != others.end());
    if (m_pTopEntry && !bTopListed)
        delete m_pTopEntry;
    m_pTopEntry = nullptr;
    others.clear();
    DiscardRead();
}

void CLdifSource::ShowNotEnoughMemory(long long nFileSize) {
    // The size in MB with thousands separators: "2,048 MB".
    std::string digits = std::to_string((nFileSize + (1 << 20) - 1) >> 20);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<size_t>(i), ",");
    ReportFailure("Not enough memory to open " + m_strFileName + " (" + CString(digits) + " MB)");
}

BOOL CLdifSource::IsRelevant(CEntryNode* pEntry) {
    if (!m_pTopEntry && pEntry->m_strDN == m_strSearchBase)
        m_pTopEntry = pEntry;
    if (!m_strSearchBase.IsEmpty() &&
        pEntry->m_strDN.View().find(m_strSearchBase.View()) == std::string_view::npos)
        return FALSE;
    return HasRequiredAttribute(pEntry);
}

BOOL CLdifSource::HasRequiredAttribute(const CEntryNode* pEntry) const {
    return m_store.HasRequiredName(pEntry, m_strRequiredAttribute.View()) ? TRUE : FALSE;
}

// ---------------------------------------------------------------- the tree

CEntryNode* CLdifSource::CreateRootEntry() {
    auto* pRoot = new CEntryNode;
    pRoot->m_strDN = "Root";
    pRoot->SetParent(nullptr);
    pRoot->SetIndex(0);
    pRoot->MarkRoot();
    return pRoot;
}

CEntryNode* CLdifSource::BuildTree() {
    if (!m_pTopEntry)
        m_pTopEntry = CreateRootEntry();
    LinkEntries();
    return m_pTopEntry;
}

CString CLdifSource::ParentDN(const CString& dn) {
    return DnParent(dn);
}

CEntryNode* CLdifSource::FindParent(const CEntryNode* pEntry) {
    const CString parentDN = ParentDN(pEntry->m_strDN);
    if (parentDN.IsEmpty())
        return nullptr;
    const std::string key = CDnIndex::Key(parentDN.View());
    CEntryNode* pParent = nullptr;
    if (m_pDnIndex) {
        const int n = m_pDnIndex->Find(key);
        if (n >= 0)
            pParent = m_entries[n];
    } else {
        for (CEntryNode* pCandidate : m_entries) {
            if (CDnIndex::Key(pCandidate->m_strDN.View()) == key) {
                pParent = pCandidate;
                break;
            }
        }
    }
    // A top entry from the file that was set aside (it lacks an objectclass)
    // still heads the tree; its children belong below it, not out of sight.
    if (!pParent && m_pTopEntry && !m_pTopEntry->IsRoot() && pEntry != m_pTopEntry &&
        CDnIndex::Key(m_pTopEntry->m_strDN.View()) == key)
        pParent = m_pTopEntry;
    return pParent;
}

void CLdifSource::LinkEntries() {
    // Entries that find no parent are taken out as the walk goes on; the
    // array is rebuilt once at the end instead of closing each gap.
    std::vector<CEntryNode*>& entries = m_entries.Data();
    CDnIndex index(entries);
    m_pDnIndex = &index;
    std::vector<CEntryNode*> kept;
    kept.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        CEntryNode* pEntry = entries[i];
        if (pEntry == m_pTopEntry) {
            pEntry->SetIndex(static_cast<int>(kept.size()));
            kept.push_back(pEntry);
            continue;
        }
        CEntryNode* pParent = FindParent(pEntry);
        if (!pParent && m_pTopEntry->IsRoot())
            pParent = m_pTopEntry;
        if (pParent) {
            pParent->AddChildTail(pEntry);
            pEntry->SetParent(pParent);
            pEntry->SetIndex(static_cast<int>(kept.size()));
            kept.push_back(pEntry);
        } else {
            index.MarkRemoved(static_cast<int>(i));
            m_otherEntries.Add(pEntry);
        }
    }
    m_pDnIndex = nullptr;
    entries.swap(kept);
}

void CLdifSource::RenumberEntries() {
    for (int i = 0; i < m_entries.GetSize(); ++i)
        m_entries[i]->SetIndex(i);
}

BOOL CLdifSource::IsTopEntry(const CEntryNode* pEntry) const {
    return pEntry == m_pTopEntry || pEntry->GetParent() == nullptr;
}

// ---------------------------------------------------------------- operations

BOOL CLdifSource::Open(CConnectionParams& params) {
    CWaitCursor wait; // a large file takes a moment
    m_bClosed = FALSE;
    m_strFileName = params.m_strLdifFile;
    m_strSearchBase = params.m_strSearchBase;
    m_strSchemaSource = params.m_strSchemaSource;
    m_strRequiredAttribute = "objectclass";
    m_strRequiredAttribute.Trim();
    m_strRequiredAttribute.MakeUpper();
    RegisterAttributeStore(&m_store);

    CEntryNode* pTop = nullptr;
    try {
        if (!ReadFile())
            return FALSE;
        pTop = BuildTree();
    } catch (const std::bad_alloc&) {
        // More memory per byte than foreseen (a file of tiny records): what
        // was read goes, and the file is left as it is.
        long long nSize = 0;
        {
            CLdifLineReader reader;
            if (reader.Open(m_strFileName.GetString()))
                nSize = reader.FileSize();
        }
        DiscardAfterFailure();
        ShowNotEnoughMemory(nSize);
        return FALSE;
    }
    if (!pTop) {
        ReportFailure("Error - Tree could not be built.");
        return FALSE;
    }
    m_pTopEntry = pTop;
    m_store.Fill(pTop);
    params.m_pRoot = pTop;
    m_bOpened = TRUE;
    return TRUE;
}

BOOL CLdifSource::Expand(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) {
    if (!pEntry)
        return FALSE;
    IEntryItemInserter* pInserter = dynamic_cast<IEntryItemInserter*>(pPane);
    int nCount = 0;
    for (CEntryNode* pChild : pEntry->GetChildren()) {
        // From now on a pane can reach this entry's cache.
        m_store.Fill(pChild);
        if (pInserter)
            pInserter->InsertEntryItem(pChild, hItem);
        ++nCount;
    }
    pEntry->EndOperation(OP_EXPAND);
    Notify(SafeHwnd(pPane), &ISourceEvents::SearchDone, hItem, nCount);
    return nCount;
}

BOOL CLdifSource::Refresh(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) {
    if (!pEntry)
        return FALSE;
    pEntry->BeginOperation(OP_REFRESH);
    pEntry->ClearLeaf();
    Notify(SafeHwnd(pPane), &ISourceEvents::EntryRefreshed, pEntry);
    return Expand(pEntry, pPane, hItem) > 0 ? TRUE : FALSE;
}

BOOL CLdifSource::AddEntry(CEntryNode* pParent, CEntryNode* pNewEntry, HTREEITEM hParentItem, CWnd* pNotify) {
    if (!pParent || !pNewEntry)
        return FALSE;
    // "Root" is no entry of the file: a DN built on it names the new entry
    // by its RDN alone.
    const CString rootSuffix = "," + pParent->m_strDN;
    if (pParent->IsRoot() && pNewEntry->m_strDN.GetLength() > rootSuffix.GetLength() &&
        pNewEntry->m_strDN.Right(rootSuffix.GetLength()) == rootSuffix)
        pNewEntry->m_strDN = pNewEntry->m_strDN.Left(pNewEntry->m_strDN.GetLength() - rootSuffix.GetLength());
    if (FindEntry(pNewEntry->m_strDN)) {
        // As a server refuses it: the file never holds two records of one DN.
        ReportFailure(kAlreadyExists);
        Notify(SafeHwnd(pNotify), &ISourceEvents::EntryAdded, nullptr, hParentItem);
        delete pNewEntry;
        pParent->EndOperation(OP_ADD_ENTRY);
        return FALSE;
    }
    pParent->AddChildTail(pNewEntry);
    pNewEntry->SetParent(pParent);
    pNewEntry->SetIndex(m_entries.Add(pNewEntry));
    m_addedEntries.push_back(pNewEntry);
    m_store.Save(pNewEntry);
    m_bModified = TRUE;

    auto pRequest = std::make_unique<CLdifAddEntryRecord>();
    pRequest->pSource = this;
    pRequest->pEntry = pNewEntry;
    pRequest->pParent = pParent;
    pRequest->hNotify = SafeHwnd(pNotify);
    pRequest->hParentItem = hParentItem;
    CLdifAddEntryRecord* pRecord = pRequest.get();
    m_addEntryRequests.push_back(std::move(pRequest));

    pParent->EndOperation(OP_ADD_ENTRY);
    Notify(pRecord->hNotify, &ISourceEvents::EntryAdded, pNewEntry, pRecord->hParentItem);
    return TRUE;
}

BOOL CLdifSource::DeleteEntry(CEntryNode* pEntry, CWnd* pNotify) {
    if (!pEntry)
        return FALSE;
    if (IsTopEntry(pEntry)) {
        ReportFailure("Error - The top entry can't be deleted.");
        pEntry->EndOperation(OP_DELETE_ENTRY);
        return FALSE;
    }
    if (pEntry->GetChildCount() > 0) {
        ReportFailure("Error - This entry is a parent entry and can't be deleted.");
        pEntry->EndOperation(OP_DELETE_ENTRY);
        return FALSE;
    }
    pEntry->GetParent()->RemoveChild(pEntry);
    int nIndex = pEntry->GetIndex();
    if (nIndex < 0 || nIndex >= m_entries.GetSize() || m_entries[nIndex] != pEntry) {
        // The index is kept right by every change; a stale one must still
        // never remove a different entry.
        nIndex = -1;
        for (int i = 0; i < m_entries.GetSize(); ++i) {
            if (m_entries[i] == pEntry) {
                nIndex = i;
                break;
            }
        }
    }
    if (nIndex >= 0) {
        m_entries.RemoveAt(nIndex);
        RenumberEntries();
    }
    // Its record vanishes from the file; everything around it stays.
    for (CRecordSpan& span : m_records) {
        if (span.pEntry == pEntry)
            span.pEntry = nullptr;
    }
    std::erase(m_addedEntries, pEntry);
    // The node now belongs to the tree pane, and its address may be reused.
    m_store.Forget(pEntry);
    m_bModified = TRUE;

    auto pRequest = std::make_unique<CDeleteEntryRequest>();
    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->hNotify = SafeHwnd(pNotify);
    pRequest->bSucceeded = TRUE;
    pRequest->bAbandoned = FALSE;
    CDeleteEntryRequest* pRecord = pRequest.get();
    m_deleteEntryRequests.push_back(std::move(pRequest));

    pEntry->EndOperation(OP_DELETE_ENTRY);
    Notify(pRecord->hNotify, &ISourceEvents::EntryDeleted, *pRecord);
    return TRUE;
}

BOOL CLdifSource::ModifyEntry(CEntryNode* pEntry, CString strNewRDN, CString strOldRDN, CString strNewDN,
                              CString strOldItemText, CWnd* pNotify, BOOL bDeleteOldRdn) {
    if (!pEntry)
        return FALSE;
    BOOL bRefused = TRUE;
    std::vector<CEntryNode*> descendants;
    if (IsTopEntry(pEntry)) {
        ReportFailure("Error - The top entry can't be renamed.");
    } else if (const CEntryNode* pOther = FindEntry(NewDnFor(pEntry, strNewRDN));
               pOther && pOther != pEntry) {
        ReportFailure(kAlreadyExists);
    } else {
        bRefused = FALSE;
        strNewDN = RenameEntry(pEntry, strNewRDN, descendants, bDeleteOldRdn);
        m_bModified = TRUE;
    }

    auto pRequest = std::make_unique<CModifyEntryRequest>();
    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->hNotify = SafeHwnd(pNotify);
    pRequest->strNewRDN = strNewRDN;
    pRequest->strOldRDN = strOldRDN;
    pRequest->bSucceeded = bRefused ? FALSE : TRUE;
    pRequest->strNewDN = strNewDN;
    pRequest->strOldItemText = strOldItemText;
    pRequest->bAbandoned = FALSE;
    CModifyEntryRequest* pRecord = pRequest.get();
    m_modifyEntryRequests.push_back(std::move(pRequest));

    pEntry->EndOperation(OP_MODIFY_ENTRY);
    Notify(pRecord->hNotify, &ISourceEvents::EntryModified, *pRecord);
    // The tree pane takes each entry's DN from the notification; entries
    // below that it shows get one of their own.
    for (CEntryNode* pMoved : descendants) {
        if (!pMoved->GetTreeItem())
            continue;
        auto pMovedRequest = std::make_unique<CModifyEntryRequest>();
        pMovedRequest->pSource = this;
        pMovedRequest->pEntry = pMoved;
        pMovedRequest->hNotify = pRecord->hNotify;
        pMovedRequest->strNewRDN = pMovedRequest->strOldRDN = DnFirstRdn(pMoved->m_strDN);
        pMovedRequest->strNewDN = pMoved->m_strDN;
        pMovedRequest->bSucceeded = TRUE;
        pMovedRequest->bAbandoned = FALSE;
        CModifyEntryRequest* pMovedRecord = pMovedRequest.get();
        m_modifyEntryRequests.push_back(std::move(pMovedRequest));
        Notify(pMovedRecord->hNotify, &ISourceEvents::EntryModified, *pMovedRecord);
    }
    return bRefused ? FALSE : TRUE;
}

BOOL CLdifSource::AddAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pNotify) {
    if (!pEntry)
        return FALSE;
    m_store.Restore(pEntry);
    auto pRequest = std::make_unique<CAddAttributesRequest>();
    if (pAttributes) {
        // Copied first: the caller's array may be the entry's own cache.
        CopyAttributes(pRequest->attributes, *pAttributes);
        for (const CAttribute* pAttribute : pRequest->attributes) {
            for (const CString& value : *pAttribute)
                pEntry->AddValue(pAttribute->m_strName, value);
        }
    }
    m_store.Save(pEntry);
    m_bModified = TRUE;

    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->hNotify = SafeHwnd(pNotify);
    pRequest->bSucceeded = TRUE;
    CAddAttributesRequest* pRecord = pRequest.get();
    m_addAttributesRequests.push_back(std::move(pRequest));

    pEntry->EndOperation(OP_ADD_ATTRIBUTE);
    Notify(pRecord->hNotify, &ISourceEvents::AttributeAdded, *pRecord);
    return TRUE;
}

BOOL CLdifSource::DeleteAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CDWordArray* pRowIndices,
                                   CWnd* pNotify) {
    if (!pEntry)
        return FALSE;
    m_store.Restore(pEntry);
    auto pRequest = std::make_unique<CDeleteAttributesRequest>();
    if (pAttributes) {
        CopyAttributes(pRequest->attributes, *pAttributes);
        for (const CAttribute* pAttribute : pRequest->attributes) {
            for (const CString& value : *pAttribute)
                pEntry->RemoveValue(pAttribute->m_strName, value);
        }
    }
    m_store.Save(pEntry);
    m_bModified = TRUE;

    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->hNotify = SafeHwnd(pNotify);
    pRequest->bSucceeded = TRUE;
    if (pRowIndices)
        pRequest->rowIndices.Copy(*pRowIndices);
    pRequest->bAbandoned = FALSE;
    CDeleteAttributesRequest* pRecord = pRequest.get();
    m_deleteAttributesRequests.push_back(std::move(pRequest));

    pEntry->EndOperation(OP_DELETE_ATTRIBUTE);
    Notify(pRecord->hNotify, &ISourceEvents::AttributeDeleted, *pRecord);
    return TRUE;
}

BOOL CLdifSource::ModifyAttribute(CEntryNode* pEntry, CAttribute* pAttribute, int nRowIndex, CWnd* pNotify) {
    if (!pEntry)
        return FALSE;
    m_store.Restore(pEntry);
    auto pRequest = std::make_unique<CModifyAttributeRequest>();
    if (pAttribute) {
        pRequest->attribute = *pAttribute;
        const CAttribute& change = pRequest->attribute;
        if (change.GetSize() >= 2)
            pEntry->RemoveValue(change.m_strName, change[1]);
        if (change.GetSize() >= 1)
            pEntry->AddValue(change.m_strName, change[0]);
    }
    m_store.Save(pEntry);
    m_bModified = TRUE;

    pRequest->pSource = this;
    pRequest->pEntry = pEntry;
    pRequest->hNotify = SafeHwnd(pNotify);
    pRequest->bSucceeded = TRUE;
    pRequest->nRowIndex = nRowIndex;
    pRequest->bAbandoned = FALSE;
    CModifyAttributeRequest* pRecord = pRequest.get();
    m_modifyAttributeRequests.push_back(std::move(pRequest));

    pEntry->EndOperation(OP_MODIFY_ATTRIBUTE);
    Notify(pRecord->hNotify, &ISourceEvents::AttributeModified, *pRecord);
    return TRUE;
}

std::uintptr_t CLdifSource::ReadAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pPane,
                                           BOOL bNotify) {
    if (!pEntry)
        return 0;
    // Whatever a pane did to the cache, the entry gets back what it had;
    // an entry no pane has shown yet gets its attributes now.
    m_store.Restore(pEntry);
    const int nAttributes = pEntry->m_attributes.GetSize();
    if (nAttributes == 0 && pAttributes)
        pAttributes->RemoveAll();
    pEntry->EndOperation(OP_READ_ATTRIBUTES);
    // Without notify only the cache is filled (the export reads entries it
    // saves this way); the attribute pane must keep showing its own entry.
    if (!bNotify)
        return static_cast<std::uintptr_t>(nAttributes);

    CString status;
    status.Format("%d Attributes Found", nAttributes);
    ShowStatus(status, 2);
    const HWND hPane = SafeHwnd(pPane);
    // The pane appends rows on each show; clearing first keeps a Refresh
    // from listing every value twice.
    Notify(hPane, &ISourceEvents::ClearAttributes, nullptr);
    Notify(hPane, &ISourceEvents::ShowAttributes, pEntry->m_attributes, nullptr);
    return static_cast<std::uintptr_t>(nAttributes);
}

BOOL CLdifSource::Stop() {
    return TRUE;
}

BOOL CLdifSource::Close() {
    if (m_bClosed)
        return TRUE;
    CWaitCursor wait;
    // A file that did not open is never written, and one nobody changed
    // need not be.
    if (m_bOpened && m_bModified && !WriteFile()) {
        const CString recovery = MakeRecoveryFilePath(m_strFileName);
        // A copy of the user's records where others may look: private.
        const auto writeContents = [this](CFileSink& sink) { WriteContents(sink); };
        const bool bSaved =
            !recovery.IsEmpty() && WriteFileReplacing(recovery, writeContents, true).Succeeded();
        if (bSaved)
            ReportFailure("The changes were not lost: they were saved to the file " + recovery);
        else
            ReportFailure("The changes could not be saved anywhere else either.");
    }

    CEntryNode* pTop = m_pTopEntry;
    bool bTopInArray = false;
    for (CEntryNode* pEntry : m_entries) {
        bTopInArray = bTopInArray || pEntry == pTop;
        delete pEntry;
    }
    for (CEntryNode* pEntry : m_otherEntries) {
        bTopInArray = bTopInArray || pEntry == pTop;
        delete pEntry;
    }
    if (pTop && !bTopInArray)
        delete pTop;
    m_entries.RemoveAll();
    m_otherEntries.RemoveAll();
    m_otherLines.RemoveAll();
    m_records.clear();
    m_nAppendAt = 0;
    m_addedEntries.clear();
    m_pTopEntry = nullptr;
    m_store.Clear();
    UnregisterAttributeStore(&m_store);

    FreeRequestRecords();
    m_bOpened = FALSE;
    m_bModified = FALSE;
    m_bClosed = TRUE;
    return TRUE;
}

void CLdifSource::FreeRequestRecords() {
    // A deleted entry that no pane took (its record still points at it, for
    // example when the window was gone) is freed here, once.
    for (auto& pRequest : m_deleteEntryRequests) {
        delete pRequest->pEntry;
        pRequest->pEntry = nullptr;
    }
    // Copies the attribute pane already destroyed were removed from these
    // arrays by the pane; only what is left is ours to delete.
    for (auto& pRequest : m_addAttributesRequests)
        ::DeleteAttributes(pRequest->attributes);
    for (auto& pRequest : m_deleteAttributesRequests)
        ::DeleteAttributes(pRequest->attributes);
    m_addEntryRequests.clear();
    m_deleteEntryRequests.clear();
    m_modifyEntryRequests.clear();
    m_addAttributesRequests.clear();
    m_deleteAttributesRequests.clear();
    m_modifyAttributeRequests.clear();
}

// ---------------------------------------------------------------- writing

CString CLdifSource::FormatEntry(const CEntryNode* pEntry) const {
    return ::FormatEntry(pEntry);
}

void CLdifSource::WriteContents(CFileSink& sink) const {
    const CBlockText& text = m_store.Text();
    char cLast = 0;
    auto write = [&](std::string_view bytes) {
        if (!bytes.empty()) {
            sink.Write(bytes);
            cLast = bytes.back();
        }
    };
    std::string record;
    auto writeAdded = [&] {
        for (const CEntryNode* pEntry : m_addedEntries) {
            if (cLast != 0 && cLast != '\n')
                write(m_strEol);
            if (cLast != 0)
                write(m_strEol); // the empty line between records
            record.clear();
            m_store.AppendRecord(pEntry, record, m_strEol);
            write(record);
        }
    };
    // Added entries go right after the last record read, of whatever kind.
    size_t nDone = 0;
    bool bAddedWritten = false;
    auto writeUpTo = [&](size_t nEnd) {
        if (!bAddedWritten && m_nAppendAt >= nDone && m_nAppendAt <= nEnd) {
            text.ForEachPiece(nDone, m_nAppendAt, write);
            writeAdded();
            bAddedWritten = true;
            nDone = m_nAppendAt;
        }
        text.ForEachPiece(nDone, nEnd, write);
        nDone = nEnd;
    };
    for (const CRecordSpan& span : m_records) {
        writeUpTo(span.nOffset);
        nDone = span.nOffset + span.nLength;
        if (span.pEntry) {
            record.clear();
            m_store.AppendRecord(span.pEntry, record, m_strEol);
            write(record);
        }
    }
    writeUpTo(text.Size());
}

const CStringArray& CLdifSource::GetOtherLines() const {
    m_otherLines.RemoveAll();
    std::string all;
    m_store.Text().ForEachPiece(0, m_store.Text().Size(),
                                [&all](std::string_view piece) { all.append(piece); });
    const std::string_view text = all;
    auto addLines = [this](std::string_view gap) {
        while (!gap.empty()) {
            const size_t nLf = gap.find('\n');
            std::string_view line = gap.substr(0, nLf);
            gap.remove_prefix(nLf == std::string_view::npos ? gap.size() : nLf + 1);
            if (nLf != std::string_view::npos && !line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            m_otherLines.Add(CString(line));
        }
    };
    size_t nDone = 0;
    for (const CRecordSpan& span : m_records) {
        addLines(text.substr(nDone, span.nOffset - nDone));
        nDone = span.nOffset + span.nLength;
    }
    addLines(text.substr(nDone));
    return m_otherLines;
}

CString CLdifSource::NewDnFor(const CEntryNode* pEntry, const CString& strNewRDN) const {
    const CEntryNode* pParent = pEntry->GetParent();
    // Below the synthetic "Root" the entry keeps the parent its DN names.
    const CString parentDN = !pParent || pParent->IsRoot() ? ParentDN(pEntry->m_strDN) : pParent->m_strDN;
    return parentDN.IsEmpty() ? strNewRDN : strNewRDN + "," + parentDN;
}

CEntryNode* CLdifSource::FindEntry(const CString& dn) const {
    const std::string key = DnCompareKey(dn.View());
    for (const CArray<CEntryNode*>* pArray : {&m_entries, &m_otherEntries}) {
        for (CEntryNode* pEntry : *pArray) {
            if (DnCompareKey(pEntry->m_strDN.View()) == key)
                return pEntry;
        }
    }
    return nullptr;
}

CString CLdifSource::RenameEntry(CEntryNode* pEntry, const CString& strNewRDN,
                                 std::vector<CEntryNode*>& descendants, BOOL bDeleteOldRdn) {
    const CString oldDN = pEntry->m_strDN;
    const CString newDN = NewDnFor(pEntry, strNewRDN);
    // The naming attribute changes as a server changes it.
    m_store.Restore(pEntry);
    DnApplyRename(pEntry->m_attributes, DnFirstRdn(oldDN).View(), strNewRDN.View(), bDeleteOldRdn != FALSE);
    pEntry->m_strDN = newDN;
    m_store.Save(pEntry);
    m_store.MarkRenamed(pEntry);

    // Every entry below the old DN, shown or not, moves along with it, so
    // that none is left pointing at a name the file no longer has.
    RebaseBelow(pEntry, oldDN, newDN, descendants);
    return newDN;
}

void CLdifSource::RebaseBelow(const CEntryNode* pEntry, const CString& oldDN, const CString& newDN,
                              std::vector<CEntryNode*>& descendants) {
    std::vector<std::string> oldRdns, rdns;
    if (!DnSplit(oldDN.View(), oldRdns))
        return;
    const std::string oldKey = CDnIndex::Key(oldDN.View());
    for (const CArray<CEntryNode*>* pArray : {&m_entries, &m_otherEntries}) {
        for (CEntryNode* pOther : *pArray) {
            if (pOther == pEntry || !DnSplit(pOther->m_strDN.View(), rdns) || rdns.size() <= oldRdns.size())
                continue;
            const size_t nOwn = rdns.size() - oldRdns.size();
            std::string suffix;
            for (size_t i = nOwn; i < rdns.size(); ++i)
                suffix += (i > nOwn ? "," : "") + rdns[i];
            if (CDnIndex::Key(suffix) != oldKey)
                continue;
            std::string moved;
            for (size_t i = 0; i < nOwn; ++i)
                moved += rdns[i] + ",";
            pOther->m_strDN = CString(moved) + newDN;
            m_store.MarkRenamed(pOther);
            descendants.push_back(pOther);
        }
    }
}

std::pair<size_t, size_t> CLdifSource::WritePosition(const CEntryNode* pEntry) const {
    for (const CRecordSpan& span : m_records)
        if (span.pEntry == pEntry)
            return {span.nOffset, 0};
    const auto it = std::find(m_addedEntries.begin(), m_addedEntries.end(), pEntry);
    return {m_nAppendAt, static_cast<size_t>(it - m_addedEntries.begin()) + 1};
}

void CLdifSource::WriteAtEnd(std::vector<CEntryNode*> moved) {
    std::stable_sort(moved.begin(), moved.end(), [](const CEntryNode* a, const CEntryNode* b) {
        std::vector<std::string> ra, rb;
        DnSplit(a->m_strDN.View(), ra);
        DnSplit(b->m_strDN.View(), rb);
        return ra.size() < rb.size();
    });
    for (const CEntryNode* pMoved : moved) {
        for (CRecordSpan& span : m_records)
            if (span.pEntry == pMoved)
                span.pEntry = nullptr;
        std::erase(m_addedEntries, pMoved);
    }
    m_addedEntries.insert(m_addedEntries.end(), moved.begin(), moved.end());
}

BOOL CLdifSource::MoveEntry(CEntryNode* pEntry, CEntryNode* pNewParent, CWnd* pNotify, BOOL) {
    if (!pEntry || !pNewParent)
        return FALSE;
    auto pRequest = std::make_unique<CMoveEntryRequest>();
    CMoveEntryRequest* pRecord = pRequest.get();
    m_moveEntryRequests.push_back(std::move(pRequest));
    pRecord->pSource = this;
    pRecord->pEntry = pEntry;
    pRecord->pNewParent = pNewParent;
    pRecord->hNotify = SafeHwnd(pNotify);
    pRecord->strOldDN = pEntry->m_strDN;
    pRecord->strNewDN = DnFirstRdn(pEntry->m_strDN) + "," + pNewParent->m_strDN;

    CString refusal = MoveRefusal(pEntry, pNewParent);
    // The synthetic "Root" is no entry of the file: nothing can go below it.
    const bool bSyntheticTarget =
        pNewParent == m_pTopEntry && pNewParent->IsRoot() &&
        !(pNewParent->GetIndex() >= 0 && pNewParent->GetIndex() < m_entries.GetSize() &&
          m_entries[pNewParent->GetIndex()] == pNewParent);
    if (refusal.IsEmpty() && (IsTopEntry(pEntry) || bSyntheticTarget))
        refusal = "The top entry can't be moved, and nothing can be moved above it.";
    if (refusal.IsEmpty() && FindEntry(pRecord->strNewDN))
        refusal = kAlreadyExists;
    if (!refusal.IsEmpty()) {
        ReportFailure(refusal);
    } else {
        // The new parent's record must come first for a tool that adds the
        // file's entries in order.
        const bool bParentLater = WritePosition(pNewParent) > WritePosition(pEntry);
        pEntry->m_strDN = pRecord->strNewDN;
        m_store.MarkRenamed(pEntry);
        std::vector<CEntryNode*> moved{pEntry};
        RebaseBelow(pEntry, pRecord->strOldDN, pRecord->strNewDN, moved);
        if (bParentLater)
            WriteAtEnd(moved);
        pEntry->GetParent()->RemoveChild(pEntry);
        pEntry->SetParent(pNewParent);
        pNewParent->AddChildHead(pEntry);
        m_bModified = TRUE;
        pRecord->bSucceeded = TRUE;
        pRecord->bLinked = TRUE;
    }
    pEntry->EndOperation(OP_MODIFY_ENTRY);
    pNewParent->EndOperation(OP_ADD_ENTRY);
    Notify(pRecord->hNotify, &ISourceEvents::EntryMoved, *pRecord);
    return pRecord->bSucceeded;
}

std::string CLdifSource::FormatContents() const {
    std::string contents;
    CFileSink sink(&contents);
    WriteContents(sink);
    return contents;
}

BOOL CLdifSource::WriteFile() {
    const CResult written =
        WriteFileReplacing(m_strFileName, [this](CFileSink& sink) { WriteContents(sink); });
    if (written)
        return TRUE;
    ReportFailure("Write Access Denied to LDIF file " + m_strFileName + "\n" + written.Reason());
    return FALSE;
}
