#pragma once
// One directory entry in memory: DN, place in the tree, cached attributes,
// display marks and the command-enable flags.

#include "model/Attribute.h"
#include "model/Operations.h"
#include "platform/Collections.h"
#include "platform/Sync.h"

#include <memory>
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
    // A referral object (it points elsewhere with its "ref" URLs).
    void MarkReferral() { m_bReferral = true; }
    bool IsReferral() const { return m_bReferral; }
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
    // Changes whenever a node's construction clears a raised stop flag: a
    // Stop is still pending while the flag is up in the same generation.
    static unsigned StopGeneration();

    // bool, not BOOL: a level can hold a million of these.
    bool m_bRoot;
    bool m_bUnexpanded;
    bool m_bLeaf;
    bool m_bReferral = false;
    bool m_bCanRefresh;
    bool m_bCanAddEntry;
    bool m_bCanDeleteEntry;
    bool m_bCanAddAttribute;
    bool m_bCanDeleteAttribute;
    bool m_bCanModifyAttribute;
    bool m_bCanRefreshAttributes;
    bool m_bCanModifyEntry;
    bool m_bCanSaveToLdif;
    int m_nIndex;
    HTREEITEM m_hTreeItem;
    CString m_strDN;
    CEntryNode* m_pParent;
    // Owned: deleted with the node.
    CAttributeArray m_attributes;

private:
    void UpdateFlags(int nCode, BOOL bValue);

    // Not owned: the source that created the children deletes them. Kept
    // last-first, so that linking at the head (what a browse does for every
    // child) is an append; made only for a node that gets children, as most
    // nodes of a large level never do.
    std::unique_ptr<std::vector<CEntryNode*>> m_pChildren;
};
