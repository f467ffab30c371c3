#pragma once
// The data source for an LDIF file: the whole file is read at Open, browsed
// and edited in memory through the twelve operations, and written back at
// Close. Every operation does its work inside the call on the UI thread and
// sends its notification before it returns.

#include "ldif/EntryStore.h"
#include "model/EntryNode.h"
#include "source/DataSource.h"
#include "source/Requests.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CDnIndex;
class CFileSink;

// What AddEntry keeps for its WM_ENTRY_ADDED: lParam points at
// hParentItem, so the record must outlive the send.
struct CLdifAddEntryRecord {
    CDataSource* pSource = nullptr;
    CEntryNode* pEntry = nullptr;
    CEntryNode* pParent = nullptr;
    HWND hNotify;
    HTREEITEM hParentItem;
};

class CLdifSource : public CDataSource {
public:
    CLdifSource();
    // Runs Close first when it has not run, so the file is written.
    ~CLdifSource() override;

    BOOL Open(CConnectionParams& params) override;
    BOOL Expand(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) override;
    BOOL AddEntry(CEntryNode* pParent, CEntryNode* pNewEntry, HTREEITEM hParentItem, CWnd* pNotify) override;
    BOOL DeleteEntry(CEntryNode* pEntry, CWnd* pNotify) override;
    BOOL ModifyEntry(CEntryNode* pEntry, CString strNewRDN, CString strOldRDN, CString strNewDN,
                     CString strOldItemText, CWnd* pNotify) override;
    BOOL AddAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pNotify) override;
    BOOL DeleteAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CDWordArray* pRowIndices,
                          CWnd* pNotify) override;
    BOOL ModifyAttribute(CEntryNode* pEntry, CAttribute* pAttribute, int nRowIndex, CWnd* pNotify) override;
    std::uintptr_t ReadAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pPane,
                                  BOOL bNotify) override;
    BOOL Stop() override;
    BOOL Close() override;
    BOOL Refresh(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) override;

    // The split of one line: the name is everything before the first colon
    // as written; the value everything after it, trimmed of white space. A
    // line without a colon has an empty name and the whole line, trimmed,
    // as its value.
    static void SplitLine(const CString& line, CString& name, CString& value);
    static void SplitLine(std::string_view line, std::string_view& name, std::string_view& value);
    // The text after the first comma, trimmed; empty without a comma.
    static CString ParentDN(const CString& dn);

    // What the file would be written as now, line breaks included.
    std::string FormatContents() const;

    // The model as read and edited (read-only views for tools and checks).
    const CArray<CEntryNode*>& GetEntries() const { return m_entries; }
    const CArray<CEntryNode*>& GetOtherEntries() const { return m_otherEntries; }
    const CStringArray& GetOtherLines() const { return m_otherLines; }
    CEntryNode* GetTopEntry() const { return m_pTopEntry; }

protected:
    BOOL ReadFile();
    BOOL IsRelevant(CEntryNode* pEntry);
    BOOL HasRequiredAttribute(const CEntryNode* pEntry) const;
    CEntryNode* BuildTree();
    CEntryNode* CreateRootEntry();
    void LinkEntries();
    CEntryNode* FindParent(const CEntryNode* pEntry);
    void RenumberEntries();
    void FreeRequestRecords();
    BOOL WriteFile();
    CString FormatEntry(const CEntryNode* pEntry) const;

    CString m_strFileName;
    CString m_strSearchBase;
    CString m_strRequiredAttribute;
    // Owned when it is the synthetic "Root"; otherwise also in one array.
    CEntryNode* m_pTopEntry = nullptr;
    // Owned: shown entries, index = position.
    CArray<CEntryNode*> m_entries;
    // Owned: entries read but not shown, in the order set aside.
    CArray<CEntryNode*> m_otherEntries;
    CStringArray m_otherLines;
    BOOL m_bClosed = FALSE;

private:
    void WriteContents(CFileSink& sink) const;
    void DiscardRead();
    BOOL IsTopEntry(const CEntryNode* pEntry) const;

    // How many of m_otherLines stood before the first DN line; they are
    // written before the first record again.
    int m_nLeadingLines = 0;
    // The file was opened and read to its end: only then may Close write it.
    BOOL m_bFileRead = FALSE;
    // Set only while LinkEntries runs.
    CDnIndex* m_pDnIndex = nullptr;
    // Every entry's attributes; a node's cache is filled once a pane can
    // reach it, and given back from here whatever a pane does to it.
    CEntryStore m_store;

    std::vector<std::unique_ptr<CLdifAddEntryRecord>> m_addEntryRequests;
    std::vector<std::unique_ptr<CDeleteEntryRequest>> m_deleteEntryRequests;
    std::vector<std::unique_ptr<CModifyEntryRequest>> m_modifyEntryRequests;
    std::vector<std::unique_ptr<CAddAttributesRequest>> m_addAttributesRequests;
    std::vector<std::unique_ptr<CDeleteAttributesRequest>> m_deleteAttributesRequests;
    std::vector<std::unique_ptr<CModifyAttributeRequest>> m_modifyAttributeRequests;
};
