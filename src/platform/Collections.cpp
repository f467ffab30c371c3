#include "platform/Collections.h"

CPtrList::~CPtrList() {
    RemoveAll();
}

void* CPtrList::GetHead() const {
    assert(m_pHead);
    return m_pHead->data;
}

void* CPtrList::GetTail() const {
    assert(m_pTail);
    return m_pTail->data;
}

POSITION CPtrList::AddHead(void* p) {
    CNode* node = new CNode{m_pHead, nullptr, p};
    if (m_pHead)
        m_pHead->pPrev = node;
    else
        m_pTail = node;
    m_pHead = node;
    ++m_nCount;
    return ToPos(node);
}

POSITION CPtrList::AddTail(void* p) {
    CNode* node = new CNode{nullptr, m_pTail, p};
    if (m_pTail)
        m_pTail->pNext = node;
    else
        m_pHead = node;
    m_pTail = node;
    ++m_nCount;
    return ToPos(node);
}

void* CPtrList::RemoveHead() {
    assert(m_pHead);
    void* data = m_pHead->data;
    RemoveAt(ToPos(m_pHead));
    return data;
}

void* CPtrList::RemoveTail() {
    assert(m_pTail);
    void* data = m_pTail->data;
    RemoveAt(ToPos(m_pTail));
    return data;
}

void CPtrList::RemoveAll() {
    CNode* node = m_pHead;
    while (node) {
        CNode* next = node->pNext;
        delete node;
        node = next;
    }
    m_pHead = m_pTail = nullptr;
    m_nCount = 0;
}

POSITION CPtrList::GetHeadPosition() const {
    return ToPos(m_pHead);
}

POSITION CPtrList::GetTailPosition() const {
    return ToPos(m_pTail);
}

void* CPtrList::GetNext(POSITION& pos) const {
    CNode* node = ToNode(pos);
    assert(node);
    pos = ToPos(node->pNext);
    return node->data;
}

void* CPtrList::GetPrev(POSITION& pos) const {
    CNode* node = ToNode(pos);
    assert(node);
    pos = ToPos(node->pPrev);
    return node->data;
}

void* CPtrList::GetAt(POSITION pos) const {
    assert(pos);
    return ToNode(pos)->data;
}

void CPtrList::SetAt(POSITION pos, void* p) {
    assert(pos);
    ToNode(pos)->data = p;
}

void CPtrList::RemoveAt(POSITION pos) {
    CNode* node = ToNode(pos);
    assert(node);
    if (node->pPrev)
        node->pPrev->pNext = node->pNext;
    else
        m_pHead = node->pNext;
    if (node->pNext)
        node->pNext->pPrev = node->pPrev;
    else
        m_pTail = node->pPrev;
    delete node;
    --m_nCount;
}

POSITION CPtrList::InsertBefore(POSITION pos, void* p) {
    CNode* at = ToNode(pos);
    if (!at || at == m_pHead)
        return AddHead(p);
    CNode* node = new CNode{at, at->pPrev, p};
    at->pPrev->pNext = node;
    at->pPrev = node;
    ++m_nCount;
    return ToPos(node);
}

POSITION CPtrList::InsertAfter(POSITION pos, void* p) {
    CNode* at = ToNode(pos);
    if (!at || at == m_pTail)
        return AddTail(p);
    CNode* node = new CNode{at->pNext, at, p};
    at->pNext->pPrev = node;
    at->pNext = node;
    ++m_nCount;
    return ToPos(node);
}

POSITION CPtrList::Find(void* p, POSITION startAfter) const {
    CNode* node = startAfter ? ToNode(startAfter)->pNext : m_pHead;
    for (; node; node = node->pNext)
        if (node->data == p)
            return ToPos(node);
    return nullptr;
}
