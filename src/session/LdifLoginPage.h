#pragma once
// The "LDIF File" page: the file to open and the search base, each
// remembered in the profile.

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

    QComboBox* GetSearchBaseCombo() const { return m_pSearchBaseCombo; }
    QComboBox* GetFileCombo() const { return m_pFileCombo; }
    QPushButton* GetBrowseButton() const { return m_pBrowse; }

    CHistoryList m_fileHistory;
    CHistoryList m_searchBaseHistory;
    CString m_strFilter;

protected:
    void OnInitDialog() override;

private:
    QComboBox* m_pSearchBaseCombo;
    QPushButton* m_pBrowse;
    QComboBox* m_pFileCombo;
};

// The filter of the file dialogs that choose LDIF and text files.
