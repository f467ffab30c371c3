#pragma once
// "Settings": the Save to LDIF options, how the tree titles entries and
// how many entries a server sends per page.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "platform/String.h"
#include "platform/Types.h"
#endif

#include <QDialog>

class CExportSettings;
class QButtonGroup;
class QLineEdit;
class QRadioButton;
class QSpinBox;

class CSettingsDlg : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSettingsDlg)

public:
    explicit CSettingsDlg(CExportSettings* pSettings, QWidget* pParent = nullptr);

    int DoModal();

    // The save option radios (0 to 2) and the title radios (0 DN, 1 RDN).
    QRadioButton* SaveOptionRadio(int nOption) const;
    QRadioButton* TitleRadio(int nChoice) const;
    QLineEdit* FilenameEdit() const { return m_pFilename; }
    QSpinBox* EntriesPerPageSpin() const { return m_pEntriesPerPage; }

    // "...": asks for the file and puts its path into the edit.
    void OnBrowse();
    // OK: stores the controls' values into the settings and closes.
    void OnOK();

private:
    CExportSettings* m_pSettings; // not owned
    int m_nTitleChoice = 1;
    int m_nSaveOption = 0;
    CString m_strFilename;
    QButtonGroup* m_pSaveGroup;
    QButtonGroup* m_pTitleGroup;
    QLineEdit* m_pFilename;
    QSpinBox* m_pEntriesPerPage;
};

// The save dialog of "..." (also used by Save to LDIF when no file is set),
// which asks before an existing file is replaced: TRUE with the chosen
// path, ".ldif" added to a name typed without an extension.
BOOL ChooseLdifFile(CString& path, const CString& proposedName = "export.ldif");
// A file name for an entry's export: its RDN's value and ".ldif".
CString ProposedLdifName(const CString& dn);

// The file dialogs' filter list: LDIF files first, then text and all files.
extern const char* const kLdifFileFilter;
extern const char* const kSchemaFileFilter;
