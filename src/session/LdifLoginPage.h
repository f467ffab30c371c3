#pragma once
// The "LDIF File" page: the file to open, the search base and where the
// file's schema comes from, each remembered in the profile.

// moc need not parse the C++20 library headers behind these.
#ifndef Q_MOC_RUN
#include "session/HistoryList.h"
#endif
#include "session/LoginPage.h"

class QComboBox;
class QPushButton;

class CLdifLoginPage : public CLoginPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLdifLoginPage)

public:
    explicit CLdifLoginPage(CLoginSheet* pSheet);
    ~CLdifLoginPage() override;

    BOOL ValidateInput() override;
    void OnOK() override;
    // The "..." button: choose an existing file.
    void OnBrowse();
    // The schema row's "..." button: choose a schema file.
    void OnBrowseSchema();

    QComboBox* GetSearchBaseCombo() const { return m_pSearchBaseCombo; }
    QComboBox* GetFileCombo() const { return m_pFileCombo; }
    QPushButton* GetBrowseButton() const { return m_pBrowse; }
    QComboBox* GetSchemaCombo() const { return m_pSchemaCombo; }

    CHistoryList m_fileHistory;
    CHistoryList m_searchBaseHistory;
    CHistoryList m_schemaHistory;
    CString m_strFilter;

protected:
    void OnInitDialog() override;

private:
    QComboBox* m_pSearchBaseCombo;
    QPushButton* m_pBrowse;
    QComboBox* m_pFileCombo;
    QComboBox* m_pSchemaCombo;
};

// The filter of the file dialogs that choose LDIF and text files.
