#pragma once
// The save-to-LDIF options, the entry-title setting and the page size of
// the server's answers, kept in the profile.

#include "platform/String.h"

// Which entries Save to LDIF writes.
constexpr int SAVE_READ_ONLY = 0;     // loaded entries whose attributes were read
constexpr int SAVE_ALL = 1;           // every loaded entry, with what it holds
constexpr int SAVE_ALL_READING = 2;   // every loaded entry, attributes read as needed
constexpr int SAVE_WHOLE_SUBTREE = 3; // the whole subtree, read from the source

class CExportSettings {
public:
    CExportSettings(); // loads from the profile
    virtual ~CExportSettings() = default;

    CString GetFilename() const { return m_strFilename; }
    void SetFilename(const CString& filename) { m_strFilename = filename; }
    int GetSaveOption() const { return m_nSaveOption; }
    void SetSaveOption(int nOption); // stores all three
    int GetEntryAsRDN() const { return m_nEntryAsRDN; }
    void SetEntryAsRDN(int nValue); // stores all three
    // Entries per page of a paged browse or search; 0: no paging.
    int GetEntriesPerPage() const { return m_nEntriesPerPage; }
    void SetEntriesPerPage(int nValue); // stores all
    static constexpr int kDefaultEntriesPerPage = 500;
    // View > Operational Attributes.
    bool GetShowOperational() const { return m_bShowOperational; }
    void SetShowOperational(bool bShow); // stores all
    // A rename removes the old name's value from the entry (deleteoldrdn).
    bool GetDeleteOldRdn() const { return m_bDeleteOldRdn; }
    void SetDeleteOldRdn(bool bValue); // stores all
    void Save();

private:
    CString m_strFilename;
    int m_nSaveOption = 0;
    int m_nEntryAsRDN = 1;
    int m_nEntriesPerPage = kDefaultEntriesPerPage;
    bool m_bShowOperational = false;
    bool m_bDeleteOldRdn = true;
};
