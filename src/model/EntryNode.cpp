#include "model/EntryNode.h"

#include "model/DnHelper.h"

#include <atomic>

namespace {

// Written under the tree lock by RequestStop; node construction clears it
// without the lock, so it is atomic to keep that clear race-free.
std::atomic<BOOL> g_bStopRequested{FALSE};

} // namespace

CCriticalSection& CEntryNode::TreeLock() {
    // Lives for the whole process: workers may still touch flags while the
    // program winds down.
    static CCriticalSection* pLock = new CCriticalSection;
    return *pLock;
}

CCriticalSection& CEntryNode::ChildrenLock() {
    static CCriticalSection* pLock = new CCriticalSection;
    return *pLock;
}

void CEntryNode::RequestStop() {
    CCriticalSectionLock lock(TreeLock());
    g_bStopRequested.store(TRUE);
}

BOOL CEntryNode::IsStopRequested() {
    CCriticalSectionLock lock(TreeLock());
    return g_bStopRequested.load();
}

CEntryNode::CEntryNode()
    : m_bRoot(FALSE), m_bUnexpanded(FALSE), m_bLeaf(FALSE), m_bCanRefresh(TRUE), m_bCanAddEntry(TRUE),
      m_bCanDeleteEntry(TRUE), m_bCanAddAttribute(TRUE), m_bCanDeleteAttribute(TRUE), m_bCanModifyAttribute(TRUE),
      m_bCanRefreshAttributes(TRUE), m_bCanModifyEntry(TRUE), m_bCanSaveToLdif(TRUE), m_nIndex(0), m_pParent(nullptr) {
    g_bStopRequested.store(FALSE);
}

CEntryNode::~CEntryNode() {
    DeleteAttributes(m_attributes);
    RemoveAllChildren();
}

CString CEntryNode::GetRDN() const { return DnFirstRdn(m_strDN); }

void CEntryNode::AddChildHead(CEntryNode* pChild) {
    CCriticalSectionLock lock(ChildrenLock());
    m_children.AddHead(pChild);
}

void CEntryNode::AddChildTail(CEntryNode* pChild) {
    CCriticalSectionLock lock(ChildrenLock());
    m_children.AddTail(pChild);
}

BOOL CEntryNode::RemoveChild(CEntryNode* pChild) {
    CCriticalSectionLock lock(ChildrenLock());
    POSITION pos = m_children.Find(pChild);
    if (!pos)
        return FALSE;
    m_children.RemoveAt(pos);
    return TRUE;
}

void CEntryNode::RemoveAllChildren() {
    CCriticalSectionLock lock(ChildrenLock());
    m_children.RemoveAll();
}

int CEntryNode::GetChildCount() const {
    CCriticalSectionLock lock(ChildrenLock());
    return m_children.GetCount();
}

std::vector<CEntryNode*> CEntryNode::GetChildren() const {
    CCriticalSectionLock lock(ChildrenLock());
    std::vector<CEntryNode*> children;
    children.reserve(static_cast<size_t>(m_children.GetCount()));
    for (POSITION pos = m_children.GetHeadPosition(); pos;)
        children.push_back(static_cast<CEntryNode*>(m_children.GetNext(pos)));
    return children;
}

CAttribute* CEntryNode::FindAttribute(const CString& name) const {
    for (CAttribute* pAttribute : m_attributes)
        if (pAttribute->m_strName == name)
            return pAttribute;
    return nullptr;
}

BOOL CEntryNode::AddValue(const CString& name, const CString& value) {
    if (CAttribute* pAttribute = FindAttribute(name)) {
        pAttribute->Add(value);
        return TRUE;
    }
    auto* pAttribute = new CAttribute;
    pAttribute->m_strName = name;
    pAttribute->Add(value);
    m_attributes.Add(pAttribute);
    return TRUE;
}

BOOL CEntryNode::RemoveValue(const CString& name, const CString& value) {
    for (CAttribute* pAttribute : m_attributes) {
        if (pAttribute->m_strName != name)
            continue;
        for (int i = 0; i < pAttribute->GetSize(); ++i) {
            if (pAttribute->GetAt(i) == value) {
                pAttribute->RemoveAt(i);
                return TRUE;
            }
        }
    }
    return FALSE;
}

BOOL CEntryNode::HasNonEmptyValue(const CString& name) const {
    for (CAttribute* pAttribute : m_attributes) {
        if (pAttribute->m_strName != name)
            continue;
        for (const CString& value : *pAttribute)
            if (!value.IsEmpty())
                return TRUE;
    }
    return FALSE;
}

int CEntryNode::CountRemainingValues(const CStringArray& values, const CString& name) const {
    CAttribute* pAttribute = FindAttribute(name);
    return pAttribute ? pAttribute->GetSize() - values.GetSize() : 0;
}

#define TARVO_FLAG_GETTER(Name, member)                                                                                \
    BOOL CEntryNode::Name() const {                                                                                    \
        CCriticalSectionLock lock(TreeLock());                                                                         \
        return member;                                                                                                 \
    }
TARVO_FLAG_GETTER(CanRefresh, m_bCanRefresh)
TARVO_FLAG_GETTER(CanAddEntry, m_bCanAddEntry)
TARVO_FLAG_GETTER(CanDeleteEntry, m_bCanDeleteEntry)
TARVO_FLAG_GETTER(CanAddAttribute, m_bCanAddAttribute)
TARVO_FLAG_GETTER(CanDeleteAttribute, m_bCanDeleteAttribute)
TARVO_FLAG_GETTER(CanModifyAttribute, m_bCanModifyAttribute)
TARVO_FLAG_GETTER(CanRefreshAttributes, m_bCanRefreshAttributes)
TARVO_FLAG_GETTER(CanModifyEntry, m_bCanModifyEntry)
TARVO_FLAG_GETTER(CanSaveToLdif, m_bCanSaveToLdif)
#undef TARVO_FLAG_GETTER

void CEntryNode::UpdateFlags(int nCode, BOOL bValue) {
    CCriticalSectionLock lock(TreeLock());
    for (CEntryNode* pAncestor = m_pParent; pAncestor; pAncestor = pAncestor->m_pParent)
        pAncestor->SetAncestorFlags(bValue);
    ApplyOperationFlags(nCode, bValue);
}

BOOL CEntryNode::BeginOperation(int nCode) {
    UpdateFlags(nCode, FALSE);
    return TRUE;
}

BOOL CEntryNode::EndOperation(int nCode) {
    UpdateFlags(nCode, TRUE);
    return TRUE;
}

void CEntryNode::SetAncestorFlags(BOOL bValue) {
    CCriticalSectionLock lock(TreeLock());
    m_bCanRefresh = bValue;
    m_bCanModifyEntry = bValue;
    m_bCanDeleteEntry = bValue;
    m_bCanSaveToLdif = bValue;
}

void CEntryNode::ApplyOperationFlags(int nCode, BOOL bValue) {
    CCriticalSectionLock lock(TreeLock());
    switch (nCode) {
    case OP_EXPAND:
    case OP_ADD_ENTRY:
    case OP_REFRESH:
        m_bCanRefresh = m_bCanAddEntry = m_bCanDeleteEntry = m_bCanModifyEntry = m_bCanSaveToLdif = bValue;
        break;
    case OP_DELETE_ENTRY:
    case OP_MODIFY_ENTRY:
        m_bCanRefresh = m_bCanAddEntry = m_bCanAddAttribute = m_bCanDeleteAttribute = m_bCanModifyAttribute =
            m_bCanRefreshAttributes = m_bCanModifyEntry = m_bCanSaveToLdif = bValue;
        break;
    case OP_READ_ATTRIBUTES:
    case OP_MODIFY_ATTRIBUTE:
    case OP_DELETE_ATTRIBUTE:
    case OP_ADD_ATTRIBUTE:
        m_bCanRefresh = m_bCanAddAttribute = m_bCanDeleteAttribute = m_bCanModifyAttribute = m_bCanRefreshAttributes =
            m_bCanModifyEntry = m_bCanSaveToLdif = bValue;
        break;
    default:
        break;
    }
}
