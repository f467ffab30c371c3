#pragma once
// The data source for an LDIF file: the whole file is read at Open, browsed
// and edited in memory through the twelve operations, and written back at
// Close. Every operation does its work inside the call on the UI thread and
// sends its notification before it returns.

#include "ldif/EntryStore.h"
#include "model/EntryNode.h"
#include "source/DataSource.h"
#include "source/Requests.h"
#include "source/Search.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CDnIndex;
class CFileSink;

// What AddEntry keeps of its request, as the LDAP source keeps its records.
struct CLdifAddEntryRecord {
    CDataSource* pSource = nullptr;
    CEntryNode* pEntry = nullptr;
    CEntryNode* pParent = nullptr;
    HWND hNotify;
    HTREEITEM hParentItem;
};

class CLdifSource : public CDataSource {
public:
    // Changes made since the file was read or last written.
    BOOL IsModified() const { return m_bModified; }
    CLdifSource();
    // Runs Close first when it has not run, so the file is written.
    ~CLdifSource() override;

    BOOL Open(CConnectionParams& params) override;
    BOOL Expand(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) override;
    BOOL AddEntry(CEntryNode* pParent, CEntryNode* pNewEntry, HTREEITEM hParentItem, CWnd* pNotify) override;
    BOOL DeleteEntry(CEntryNode* pEntry, CWnd* pNotify) override;
    // The rename: the entry and everything below it get the new DN, and the
    // naming attribute gets the new RDN's value; bDeleteOldRdn: the old
    // RDN's value goes (as a server's deleteoldrdn). Refused with "Already
    // exists" when another entry has the new DN.
    BOOL ModifyEntry(CEntryNode* pEntry, CString strNewRDN, CString strOldRDN, CString strNewDN,
                     CString strOldItemText, CWnd* pNotify, BOOL bDeleteOldRdn = TRUE) override;
    // The entry and everything below it get DNs below the new parent; their
    // records are written anew (after the new parent's when it came later
    // in the file). Refused with "Already exists" when the new DN is taken.
    BOOL MoveEntry(CEntryNode* pEntry, CEntryNode* pNewParent, CWnd* pNotify,
                   BOOL bCopyDelete = FALSE) override;
    BOOL AddAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pNotify) override;
    BOOL DeleteAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CDWordArray* pRowIndices,
                          CWnd* pNotify) override;
    BOOL ModifyAttribute(CEntryNode* pEntry, CAttribute* pAttribute, int nRowIndex, CWnd* pNotify) override;
    std::uintptr_t ReadAttributes(CEntryNode* pEntry, CAttributeArray* pAttributes, CWnd* pPane,
                                  BOOL bNotify) override;
    BOOL Stop() override;
    BOOL Close() override;
    BOOL Refresh(CEntryNode* pEntry, CWnd* pPane, HTREEITEM hItem) override;
    // Evaluates the filter over the shown entries in memory, inside the
    // call, and reports like the LDAP source does.
    BOOL Search(const CSearchQuery& query, CWnd* pNotify) override;
    // Adds and replaces entries in memory, inside the call.
    BOOL RunEntryWriter(std::function<void(IEntryWriter&)> job, std::function<void()> fnDone) override;
    // The schema named at login (a file, a folder or a server's URL); when
    // none was named or it cannot be read, the local slapd's schema files,
    // else the built-in standard schemas.
    void LoadSchema(CWnd* pNotify) override;
    static const char* const kSchemaFallbackText;
    // Ends a schema read from a server that does not answer.
    void BreakConnection() override;
    // A salted hash (or clear text) made here replaces the userPassword values.
    std::shared_ptr<CPasswordChange> SetPassword(CEntryNode* pEntry, const CString& password,
                                                 EPasswordScheme eScheme) override;

    // The split of one line: the name is everything before the first colon
    // as written; the value everything after it without the white space in
    // front (blanks at its end are part of the value). A line without a
    // colon has an empty name and the whole line, trimmed, as its value.
    static void SplitLine(const CString& line, CString& name, CString& value);
    static void SplitLine(std::string_view line, std::string_view& name, std::string_view& value);
    // What follows the first RDN, trimmed; empty when there is one RDN.
    static CString ParentDN(const CString& dn);

    // What the file would be written as now, line breaks included.
    std::string FormatContents() const;

    // The model as read and edited (read-only views for tools and checks).
    const CArray<CEntryNode*>& GetEntries() const { return m_entries; }
    const CArray<CEntryNode*>& GetOtherEntries() const { return m_otherEntries; }
    // The lines of the file that belong to no record, in file order.
    const CStringArray& GetOtherLines() const;
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
    // Made from the file text when asked for.
    mutable CStringArray m_otherLines;
    BOOL m_bClosed = FALSE;

private:
    static UINT SchemaWorker(void* pParam);
    void SettleSchema(std::shared_ptr<const CSchema> pSchema);

    CString m_strSchemaSource;
    HWND m_hSchemaNotify = HWND();
    std::atomic<int> m_nSchemaSocket{-1};

    void WriteContents(CFileSink& sink) const;
    void DiscardRead();
    // Frees what an Open that ran out of memory had built.
    void DiscardAfterFailure();
    // "Not enough memory to open FILE (2,048 MB)".
    void ShowNotEnoughMemory(long long nFileSize);
    BOOL IsTopEntry(const CEntryNode* pEntry) const;

    // The DN the entry gets for the new RDN, given to it and to every entry
    // below it (listed in descendants).
    CString RenameEntry(CEntryNode* pEntry, const CString& strNewRDN, std::vector<CEntryNode*>& descendants,
                        BOOL bDeleteOldRdn);
    // Every entry below oldDN (shown or not, pEntry aside) gets the same
    // RDNs below newDN; they are listed in descendants.
    void RebaseBelow(const CEntryNode* pEntry, const CString& oldDN, const CString& newDN,
                     std::vector<CEntryNode*>& descendants);
    // Where the entry's record is written: its place in the file text, and
    // for an added entry 1 + its place among the added ones.
    std::pair<size_t, size_t> WritePosition(const CEntryNode* pEntry) const;
    // The records of the moved entries go after every other, parents first.
    void WriteAtEnd(std::vector<CEntryNode*> moved);
    // The DN the entry would get for this RDN.
    CString NewDnFor(const CEntryNode* pEntry, const CString& strNewRDN) const;
    // The entry read or added with this DN (as a server compares DNs), or null.
    CEntryNode* FindEntry(const CString& dn) const;
    class CEntryWriter;

    // Where each record read stands in the file text; pEntry is null once
    // the entry was deleted (the lines around it stay).
    struct CRecordSpan {
        const CEntryNode* pEntry;
        size_t nOffset;
        size_t nLength;
    };
    std::vector<CRecordSpan> m_records;
    // Entries added since Open, written after the last record read (an
    // entry record or a change record), at this offset of the file text.
    std::vector<CEntryNode*> m_addedEntries;
    size_t m_nAppendAt = 0;
    // The file's own line break, for the records written anew.
    std::string m_strEol = "\r\n";
    // Open succeeded: only then may Close write the file.
    BOOL m_bOpened = FALSE;
    // Something was changed since Open.
    BOOL m_bModified = FALSE;
    // Set only while LinkEntries runs.
    CDnIndex* m_pDnIndex = nullptr;
    // Every entry's attributes; a node's cache is filled once a pane can
    // reach it, and given back from here whatever a pane does to it.
    CEntryStore m_store;

    std::vector<std::unique_ptr<CLdifAddEntryRecord>> m_addEntryRequests;
    std::vector<std::unique_ptr<CDeleteEntryRequest>> m_deleteEntryRequests;
    std::vector<std::unique_ptr<CModifyEntryRequest>> m_modifyEntryRequests;
    std::vector<std::unique_ptr<CMoveEntryRequest>> m_moveEntryRequests;
    std::vector<std::unique_ptr<CAddAttributesRequest>> m_addAttributesRequests;
    std::vector<std::unique_ptr<CDeleteAttributesRequest>> m_deleteAttributesRequests;
    std::vector<std::unique_ptr<CModifyAttributeRequest>> m_modifyAttributeRequests;
};
