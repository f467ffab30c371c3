#pragma once
// Growable arrays and a pointer list with the framework's operations. A
// container of pointers never deletes what it points to.

#include "platform/Object.h"
#include "platform/String.h"
#include "platform/Types.h"

#include <cassert>
#include <vector>

template <class TYPE>
class CArray : public CObject {
public:
    using value_type = TYPE;
    using iterator = typename std::vector<TYPE>::iterator;
    using const_iterator = typename std::vector<TYPE>::const_iterator;

    int GetSize() const { return static_cast<int>(m_data.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_data.empty(); }

    const TYPE& GetAt(int i) const { return m_data.at(static_cast<size_t>(i)); }
    TYPE& ElementAt(int i) { return m_data.at(static_cast<size_t>(i)); }
    void SetAt(int i, const TYPE& v) { m_data.at(static_cast<size_t>(i)) = v; }
    TYPE& operator[](int i) { return ElementAt(i); }
    const TYPE& operator[](int i) const { return GetAt(i); }

    int Add(const TYPE& v) {
        m_data.push_back(v);
        return GetSize() - 1;
    }
    int Add(TYPE&& v) {
        m_data.push_back(std::move(v));
        return GetSize() - 1;
    }
    void InsertAt(int i, const TYPE& v) { m_data.insert(m_data.begin() + i, v); }
    void RemoveAt(int i, int nCount = 1) {
        assert(i >= 0 && nCount >= 0 && i + nCount <= GetSize());
        m_data.erase(m_data.begin() + i, m_data.begin() + i + nCount);
    }
    void RemoveAll() { m_data.clear(); }
    void SetSize(int n) { m_data.resize(static_cast<size_t>(n)); }
    void Reserve(int n) { m_data.reserve(static_cast<size_t>(n)); }
    void Append(const CArray& other) { m_data.insert(m_data.end(), other.m_data.begin(), other.m_data.end()); }
    void Copy(const CArray& other) { m_data = other.m_data; }

    iterator begin() { return m_data.begin(); }
    iterator end() { return m_data.end(); }
    const_iterator begin() const { return m_data.begin(); }
    const_iterator end() const { return m_data.end(); }
    std::vector<TYPE>& Data() { return m_data; }
    const std::vector<TYPE>& Data() const { return m_data; }

private:
    std::vector<TYPE> m_data;
};

class CStringArray : public CArray<CString> {};

class CDWordArray : public CArray<DWORD> {};

// Opaque position in a CPtrList; NULL past the end.
struct __POSITION;
using POSITION = __POSITION*;

// Doubly linked list of untyped pointers with framework positions.
class CPtrList : public CObject {
public:
    CPtrList() = default;
    CPtrList(const CPtrList&) = delete;
    CPtrList& operator=(const CPtrList&) = delete;
    ~CPtrList() override;

    int GetCount() const { return m_nCount; }
    int GetSize() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }

    void* GetHead() const;
    void* GetTail() const;
    POSITION AddHead(void* p);
    POSITION AddTail(void* p);
    void* RemoveHead();
    void* RemoveTail();
    void RemoveAll();

    POSITION GetHeadPosition() const;
    POSITION GetTailPosition() const;
    void* GetNext(POSITION& pos) const;
    void* GetPrev(POSITION& pos) const;
    void* GetAt(POSITION pos) const;
    void SetAt(POSITION pos, void* p);
    void RemoveAt(POSITION pos);
    POSITION InsertBefore(POSITION pos, void* p);
    POSITION InsertAfter(POSITION pos, void* p);
    POSITION Find(void* p, POSITION startAfter = nullptr) const;

private:
    struct CNode {
        CNode* pNext;
        CNode* pPrev;
        void* data;
    };
    static CNode* ToNode(POSITION pos) { return reinterpret_cast<CNode*>(pos); }
    static POSITION ToPos(CNode* p) { return reinterpret_cast<POSITION>(p); }

    CNode* m_pHead = nullptr;
    CNode* m_pTail = nullptr;
    int m_nCount = 0;
};
