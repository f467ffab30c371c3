#include "model/EntryNode.h"

#include "model/DnHelper.h"

#include <algorithm>
#include <atomic>
#include <iterator>

namespace {

// Written under the tree lock by RequestStop; node construction clears it
// without the lock, so it is atomic to keep that clear race-free.
std::atomic<BOOL> g_bStopRequested{FALSE};
// How many times a node's construction has cleared a raised flag.
std::atomic<unsigned> g_nStopGeneration{0};

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

unsigned CEntryNode::StopGeneration() {
    return g_nStopGeneration.load();
}

CEntryNode::CEntryNode()
    : m_bRoot(false), m_bUnexpanded(false), m_bLeaf(false), m_bCanRefresh(true), m_bCanAddEntry(true),
      m_bCanDeleteEntry(true), m_bCanAddAttribute(true), m_bCanDeleteAttribute(true),
      m_bCanModifyAttribute(true), m_bCanRefreshAttributes(true), m_bCanModifyEntry(true),
      m_bCanSaveToLdif(true), m_nIndex(0), m_pParent(nullptr) {
    if (g_bStopRequested.load(std::memory_order_relaxed)) {
        g_bStopRequested.store(FALSE);
        ++g_nStopGeneration;
    }
}

CEntryNode::~CEntryNode() {
    DeleteAttributes(m_attributes);
    RemoveAllChildren();
}

CString CEntryNode::GetRDN() const {
    return DnFirstRdn(m_strDN);
}

void CEntryNode::AddChildHead(CEntryNode* pChild) {
    CCriticalSectionLock lock(ChildrenLock());
    if (!m_pChildren)
        m_pChildren = std::make_unique<std::vector<CEntryNode*>>();
    m_pChildren->push_back(pChild);
}

void CEntryNode::AddChildTail(CEntryNode* pChild) {
    CCriticalSectionLock lock(ChildrenLock());
    if (!m_pChildren)
        m_pChildren = std::make_unique<std::vector<CEntryNode*>>();
    m_pChildren->insert(m_pChildren->begin(), pChild);
}

BOOL CEntryNode::RemoveChild(CEntryNode* pChild) {
    CCriticalSectionLock lock(ChildrenLock());
    if (!m_pChildren)
        return FALSE;
    // The first from the head, as the list order has it.
    auto it = std::find(m_pChildren->rbegin(), m_pChildren->rend(), pChild);
    if (it == m_pChildren->rend())
        return FALSE;
    m_pChildren->erase(std::next(it).base());
    return TRUE;
}

void CEntryNode::RemoveAllChildren() {
    CCriticalSectionLock lock(ChildrenLock());
    m_pChildren.reset();
}

int CEntryNode::GetChildCount() const {
    CCriticalSectionLock lock(ChildrenLock());
    return m_pChildren ? static_cast<int>(m_pChildren->size()) : 0;
}

std::vector<CEntryNode*> CEntryNode::GetChildren() const {
    CCriticalSectionLock lock(ChildrenLock());
    if (!m_pChildren)
        return {};
    return std::vector<CEntryNode*>(m_pChildren->rbegin(), m_pChildren->rend());
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

#define TARVO_FLAG_GETTER(Name, member)                                                                      \
    BOOL CEntryNode::Name() const {                                                                          \
        CCriticalSectionLock lock(TreeLock());                                                               \
        return member;                                                                                       \
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
        m_bCanRefresh = m_bCanAddAttribute = m_bCanDeleteAttribute = m_bCanModifyAttribute =
            m_bCanRefreshAttributes = m_bCanModifyEntry = m_bCanSaveToLdif = bValue;
        break;
    default:
        break;
    }
}
