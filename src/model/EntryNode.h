#pragma once
// One directory entry in memory: DN, place in the tree, cached attributes,
// display marks and the command-enable flags.

#include "model/Attribute.h"
#include "model/Operations.h"
#include "platform/Collections.h"
#include "platform/Sync.h"

#include <vector>

class CEntryNode : public CObject {
public:
    CEntryNode();
    ~CEntryNode() override;
    CEntryNode(const CEntryNode&) = delete;
    CEntryNode& operator=(const CEntryNode&) = delete;

    // Name
    CString GetDN() const { return m_strDN; }
    void SetDN(const CString& dn) { m_strDN = dn; }
    // The leading RDN as the server wrote it; an escaped comma is no separator.
    CString GetRDN() const;

    // Links and marks (no tree lock)
    CEntryNode* GetParent() const { return m_pParent; }
    void SetParent(CEntryNode* pParent) { m_pParent = pParent; }
    void MarkRoot() { m_bRoot = TRUE; }
    BOOL IsRoot() const { return m_bRoot; }
    void MarkUnexpanded() { m_bUnexpanded = TRUE; }
    void ToggleUnexpanded() { m_bUnexpanded = !m_bUnexpanded; }
    BOOL IsUnexpanded() const { return m_bUnexpanded; }
    void MarkLeaf() { m_bLeaf = TRUE; }
    void ClearLeaf() { m_bLeaf = FALSE; }
    BOOL IsLeaf() const { return m_bLeaf; }
    void SetTreeItem(HTREEITEM hItem) { m_hTreeItem = hItem; }
    HTREEITEM GetTreeItem() const { return m_hTreeItem; }
    void SetIndex(int nIndex) { m_nIndex = nIndex; }
    int GetIndex() const { return m_nIndex; }

    // Children list. Workers of one source may change one list at the same
    // time (an expansion and an add below the same entry), so every change
    // and every walk goes through the children lock.
    static CCriticalSection& ChildrenLock();
    void AddChildHead(CEntryNode* pChild);
    void AddChildTail(CEntryNode* pChild);
    BOOL RemoveChild(CEntryNode* pChild);
    void RemoveAllChildren();
    int GetChildCount() const;
    std::vector<CEntryNode*> GetChildren() const; // a snapshot, list order

    // Attribute cache (no lock; byte-for-byte names and values)
    BOOL AddValue(const CString& name, const CString& value);
    BOOL RemoveValue(const CString& name, const CString& value);
    BOOL HasNonEmptyValue(const CString& name) const;
    int CountRemainingValues(const CStringArray& values, const CString& name) const;
    // The first attribute named exactly name, or NULL.
    CAttribute* FindAttribute(const CString& name) const;

    // Enable flags (each access under the tree lock)
    BOOL CanRefresh() const;
    BOOL CanAddEntry() const;
    BOOL CanDeleteEntry() const;
    BOOL CanAddAttribute() const;
    BOOL CanDeleteAttribute() const;
    BOOL CanModifyAttribute() const;
    BOOL CanRefreshAttributes() const;
    BOOL CanModifyEntry() const;
    BOOL CanSaveToLdif() const;

    BOOL BeginOperation(int nCode);
    BOOL EndOperation(int nCode);
    void SetAncestorFlags(BOOL bValue);
    void ApplyOperationFlags(int nCode, BOOL bValue);

    // Process-wide state beside the class.
    static CCriticalSection& TreeLock();
    static void RequestStop();
    static BOOL IsStopRequested();

    BOOL m_bRoot;
    BOOL m_bUnexpanded;
    BOOL m_bLeaf;
    BOOL m_bCanRefresh;
    BOOL m_bCanAddEntry;
    BOOL m_bCanDeleteEntry;
    BOOL m_bCanAddAttribute;
    BOOL m_bCanDeleteAttribute;
    BOOL m_bCanModifyAttribute;
    BOOL m_bCanRefreshAttributes;
    BOOL m_bCanModifyEntry;
    BOOL m_bCanSaveToLdif;
    HTREEITEM m_hTreeItem;
    int m_nIndex;
    CString m_strDN;
    CEntryNode* m_pParent;
    // Owned: deleted with the node.
    CAttributeArray m_attributes;
    // Not owned: the source that created the children deletes them.
    CPtrList m_children;

private:
    void UpdateFlags(int nCode, BOOL bValue);
};
