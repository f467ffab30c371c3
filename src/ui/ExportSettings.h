#pragma once
// The save-to-LDIF options, the entry-title setting and the page size of
// the server's answers, kept in the profile.

#include "platform/String.h"

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
    void Save();

private:
    CString m_strFilename;
    int m_nSaveOption = 0;
    int m_nEntryAsRDN = 1;
    int m_nEntriesPerPage = kDefaultEntriesPerPage;
    bool m_bShowOperational = false;
};
