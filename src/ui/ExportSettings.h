#pragma once
// The save-to-LDIF options and the entry-title setting, kept in the profile.

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
    void Save();

private:
    CString m_strFilename;
    int m_nSaveOption = 0;
    int m_nEntryAsRDN = 1;
};
