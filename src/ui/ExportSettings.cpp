#include "ui/ExportSettings.h"

#include "platform/Services.h"

CExportSettings::CExportSettings() {
    IProfileService& profile = CServices::Profile();
    m_strFilename = profile.GetProfileString("SaveToLDIF", "Filename", "");
    // A new profile saves what the user asked for: the whole subtree.
    m_nSaveOption = profile.GetProfileInt("SaveToLDIF", "SaveOptionNumber", SAVE_WHOLE_SUBTREE);
    m_nEntryAsRDN = profile.GetProfileInt("UI", "EntryAsRDN", 1);
    m_nEntriesPerPage = profile.GetProfileInt("UI", "EntriesPerPage", kDefaultEntriesPerPage);
    m_bShowOperational = profile.GetProfileInt("UI", "OperationalAttributes", 0) != 0;
    m_bDeleteOldRdn = profile.GetProfileInt("UI", "DeleteOldRDN", 1) != 0;
    // A hand-edited negative value means no paging, as 0 does.
    if (m_nEntriesPerPage < 0)
        m_nEntriesPerPage = 0;
}

void CExportSettings::SetEntriesPerPage(int nValue) {
    m_nEntriesPerPage = nValue < 0 ? 0 : nValue;
    Save();
}

void CExportSettings::SetShowOperational(bool bShow) {
    m_bShowOperational = bShow;
    Save();
}

void CExportSettings::SetDeleteOldRdn(bool bValue) {
    m_bDeleteOldRdn = bValue;
    Save();
}

void CExportSettings::SetSaveOption(int nOption) {
    m_nSaveOption = nOption;
    Save();
}

void CExportSettings::SetEntryAsRDN(int nValue) {
    m_nEntryAsRDN = nValue;
    Save();
}

void CExportSettings::Save() {
    IProfileService& profile = CServices::Profile();
    profile.WriteProfileString("SaveToLDIF", "Filename", m_strFilename);
    profile.WriteProfileInt("SaveToLDIF", "SaveOptionNumber", m_nSaveOption);
    profile.WriteProfileInt("UI", "EntryAsRDN", m_nEntryAsRDN);
    profile.WriteProfileInt("UI", "EntriesPerPage", m_nEntriesPerPage);
    profile.WriteProfileInt("UI", "OperationalAttributes", m_bShowOperational ? 1 : 0);
    profile.WriteProfileInt("UI", "DeleteOldRDN", m_bDeleteOldRdn ? 1 : 0);
}
