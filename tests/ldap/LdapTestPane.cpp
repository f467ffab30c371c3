#include "LdapTestPane.h"

#include "model/DnHelper.h"
#include "platform/Dispatcher.h"
#include "platform/Thread.h"
#include "source/Requests.h"

#include <cstring>

void CTestPane::EntriesFound(const CPtrList& entries, HTREEITEM hParent) {
    CRecordingListener::EntriesFound(entries, hParent);
    m_batchSizes.push_back(entries.GetCount());
    for (POSITION pos = entries.GetHeadPosition(); pos;)
        m_foundDNs.push_back(Str(static_cast<CEntryNode*>(entries.GetNext(pos))->GetDN()));
    if (m_batchSizes.size() == 1 && m_onFirstEntries)
        m_onFirstEntries();
}

void CTestPane::SearchDone(HTREEITEM hItem, int nCount) {
    CRecordingListener::SearchDone(hItem, nCount);
    m_searchDone.push_back(nCount);
}

void CTestPane::ShowAttributes(const CAttributeArray& attributes, CEntryNode* pFor) {
    CRecordingListener::ShowAttributes(attributes, pFor);
    m_showSizes.push_back(attributes.GetSize());
    for (CAttribute* pAttribute : attributes) {
        if (pAttribute->GetSize() == 0)
            m_shownAttributes.push_back(Str(pAttribute->GetName()) + "=");
        for (const CString& value : *pAttribute)
            m_shownAttributes.push_back(Str(pAttribute->GetName()) + "=" + Str(value));
    }
}

void CTestPane::EntryAdded(CEntryNode* pNewEntry, HTREEITEM hParentItem) {
    CRecordingListener::EntryAdded(pNewEntry, hParentItem);
    m_addedDNs.push_back(pNewEntry ? Str(pNewEntry->GetDN()) : std::string());
}

void CTestPane::EntryDeleted(CDeleteEntryRequest& request) {
    CRecordingListener::EntryDeleted(request);
    // As the tree pane does: end the operation, hand the node back.
    m_succeeded.push_back(request.bSucceeded != FALSE);
    if (request.bSucceeded && request.pEntry) {
        request.pEntry->EndOperation(OP_DELETE_ENTRY);
        if (m_pSource)
            m_pSource->RetireEntry(request.pEntry);
        else
            delete request.pEntry;
        request.pEntry = nullptr;
        ++m_nDeleted;
    }
}

void CTestPane::EntryModified(CModifyEntryRequest& request) {
    CRecordingListener::EntryModified(request);
    m_succeeded.push_back(request.bSucceeded != FALSE);
    if (request.bSucceeded)
        request.pEntry->SetDN(request.strNewDN);
}

void CTestPane::AttributeAdded(CAddAttributesRequest& request) {
    CRecordingListener::AttributeAdded(request);
    // The attribute pane owns the copies from here on.
    m_succeeded.push_back(request.bSucceeded != FALSE);
    DeleteAttributes(request.attributes);
}

void CTestPane::AttributeDeleted(CDeleteAttributesRequest& request) {
    CRecordingListener::AttributeDeleted(request);
    m_succeeded.push_back(request.bSucceeded != FALSE);
    DeleteAttributes(request.attributes);
    request.rowIndices.RemoveAll();
}

void CTestPane::AttributeModified(CModifyAttributeRequest& request) {
    CRecordingListener::AttributeModified(request);
    m_succeeded.push_back(request.bSucceeded != FALSE);
}

void CTestPane::Reset() {
    Clear();
    m_foundDNs.clear();
    m_batchSizes.clear();
    m_searchDone.clear();
    m_shownAttributes.clear();
    m_showSizes.clear();
    m_addedDNs.clear();
    m_succeeded.clear();
    m_nDeleted = 0;
}

CSearchSink::CSearchSink() {
    m_onSearchResults = [this](std::vector<CSearchResult>& batch) {
        m_batches.push_back(static_cast<int>(batch.size()));
        for (const CSearchResult& result : batch) {
            m_dns.insert(DnCompareKey(result.strDN.View()));
            m_results.push_back(result);
        }
    };
    m_onSearchFinished = [this](const CSearchOutcome& outcome) {
        m_outcome = outcome;
        m_bFinished = true;
    };
}

bool CSearchSink::Run(CDataSource& source, const CSearchQuery& query) {
    m_dns.clear();
    m_results.clear();
    m_batches.clear();
    m_bFinished = false;
    return source.Search(query, this) && Pump([this]() { return m_bFinished; });
}

CSearchQuery Query(const std::string& filter, int nScope, const std::string& base) {
    CSearchQuery query;
    query.strBase = base;
    query.nScope = nScope;
    query.strFilter = filter;
    return query;
}

void CLdapTest::TearDown() {
    if (m_pSource)
        m_pSource->ShutdownWorkers(FALSE);
}

CEntryNode* CLdapTest::Open(const std::string& base, bool bExpand, bool bAdmin) {
    EXPECT_TRUE(m_server.Start()) << m_server.LastError();
    CConnectionParams params = ParamsFor(m_server, base, bAdmin);
    m_pSource = std::make_unique<CLdapSource>();
    m_pane.m_pSource = m_pSource.get();
    if (!m_server.IsRunning() || !m_pSource->Open(params)) {
        ADD_FAILURE() << "the source did not open";
        return nullptr;
    }
    m_pRoot = params.m_pRoot;
    if (bExpand) {
        ExpandAndWait(*m_pSource, m_pane, m_pRoot);
        m_pane.Reset();
    }
    return m_pRoot;
}

CEntryNode* CLdapTest::People() {
    CEntryNode* pPeople = Child(kPeople);
    EXPECT_NE(pPeople, nullptr);
    if (pPeople) {
        EXPECT_EQ(ExpandAndWait(*m_pSource, m_pane, pPeople), 2);
    }
    return pPeople;
}

std::vector<std::string> CLdapTest::Boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : m_services.m_boxes.Boxes())
        texts.push_back(Str(box.text));
    return texts;
}

std::string Str(const CString& s) {
    return s.Str();
}

bool Pump(const std::function<bool()>& pred, unsigned nGuardMs) {
    return CMessageDispatcher::Instance().WaitDispatching(pred, nGuardMs) != FALSE;
}

bool WaitForWorkers(CDataSource& source, unsigned nGuardMs) {
    while (!source.m_workerThreads.IsEmpty()) {
        HANDLE hThread = DWordToHandle(source.m_workerThreads[0]);
        if (WaitForThreadDispatching(hThread, nGuardMs) != WAIT_OBJECT_0)
            return false;
        CloseHandle(hThread);
        source.m_workerThreads.RemoveAt(0);
    }
    return true;
}

CAttribute* MakeAttribute(const char* pszName, const std::vector<const char*>& values) {
    auto* pAttribute = new CAttribute;
    pAttribute->SetName(pszName);
    for (const char* pszValue : values)
        pAttribute->Add(pszValue);
    return pAttribute;
}

CEntryNode* StartAddEntry(CLdapSource& source, CTestPane& pane, CEntryNode* pParent, const char* pszRdn) {
    auto* pNew = new CEntryNode;
    pNew->SetDN(CString(pszRdn) + "," + pParent->GetDN());
    pNew->SetParent(pParent);
    pNew->m_attributes.Add(MakeAttribute("objectClass", {"person"}));
    pNew->m_attributes.Add(MakeAttribute("cn", {std::strchr(pszRdn, '=') + 1}));
    pNew->m_attributes.Add(MakeAttribute("sn", {"S"}));
    pParent->BeginOperation(OP_ADD_ENTRY);
    source.AddEntry(pParent, pNew, HTREEITEM(5), &pane);
    return pNew;
}

void StartValueUpdate(CLdapSource& source, CTestPane& pane, CEntryNode* pEntry, int nOp,
                      const std::vector<CAttribute*>& attributes, int nRow) {
    CAttributeArray array;
    for (CAttribute* pAttribute : attributes)
        array.Add(pAttribute);
    CDWordArray rows;
    rows.Add(static_cast<DWORD>(nRow));
    pEntry->BeginOperation(nOp);
    if (nOp == OP_ADD_ATTRIBUTE)
        source.AddAttributes(pEntry, &array, &pane);
    else if (nOp == OP_DELETE_ATTRIBUTE)
        source.DeleteAttributes(pEntry, &array, &rows, &pane);
    else
        source.ModifyAttribute(pEntry, array[0], nRow, &pane);
    DeleteAttributes(array); // the source made its own copies
}

CEntryNode* FindChild(CEntryNode* pParent, const std::string& dn) {
    if (!pParent)
        return nullptr;
    for (CEntryNode* pChild : pParent->GetChildren())
        if (Str(pChild->GetDN()) == dn)
            return pChild;
    return nullptr;
}

std::vector<std::string> ChildDNs(CEntryNode* pParent) {
    std::vector<std::string> dns;
    for (CEntryNode* pChild : pParent->GetChildren())
        dns.push_back(Str(pChild->GetDN()));
    return dns;
}

std::vector<std::string> CachedValues(CEntryNode* pEntry) {
    std::vector<std::string> values;
    for (CAttribute* pAttribute : pEntry->m_attributes)
        for (const CString& value : *pAttribute)
            values.push_back(Str(pAttribute->GetName()) + "=" + Str(value));
    return values;
}

long long ExpandAndWait(CLdapSource& source, CTestPane& pane, CEntryNode* pEntry) {
    size_t nBefore = pane.m_searchDone.size();
    pEntry->BeginOperation(OP_EXPAND);
    source.Expand(pEntry, &pane, HTREEITEM(77));
    EXPECT_TRUE(Pump([&] { return pane.m_searchDone.size() > nBefore; }));
    EXPECT_TRUE(WaitForWorkers(source));
    return pane.m_searchDone.size() > nBefore ? pane.m_searchDone.back() : -999;
}

void ReadAndWait(CLdapSource& source, CTestPane& pane, CEntryNode* pEntry) {
    pEntry->BeginOperation(OP_READ_ATTRIBUTES);
    EXPECT_NE(source.ReadAttributes(pEntry, &pEntry->m_attributes, &pane, TRUE), 0u);
    EXPECT_TRUE(WaitForWorkers(source));
}
