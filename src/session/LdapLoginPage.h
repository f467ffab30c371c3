#pragma once
// The "LDAP Connection" page: server, port, bind DN, password and search
// base, each remembered in the profile.

// moc need not parse the C++20 library headers behind these.
#ifndef Q_MOC_RUN
#include "session/HistoryList.h"
#endif
#include "session/LoginPage.h"

class QComboBox;
class QLineEdit;

class CLdapLoginPage : public CLoginPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLdapLoginPage)

public:
    explicit CLdapLoginPage(CLoginSheet* pSheet);
    ~CLdapLoginPage() override;

    BOOL ValidateInput() override;
    void OnOK() override;

    QComboBox* GetServerCombo() const { return m_pServerCombo; }
    QComboBox* GetPortCombo() const { return m_pPortCombo; }
    QComboBox* GetBindDNCombo() const { return m_pBindDNCombo; }
    QComboBox* GetSearchBaseCombo() const { return m_pSearchBaseCombo; }
    QLineEdit* GetPasswordEdit() const { return m_pPasswordEdit; }

    // Decimal port as typed: leading blanks, one optional sign, then digits
    // up to the first other character; no digits gives 0.
    static long long ParsePort(const CString& text);

    CString m_strFilter;
    CString m_strPassword;
    CHistoryList m_serverHistory;
    CHistoryList m_portHistory;
    CHistoryList m_bindDNHistory;
    CHistoryList m_searchBaseHistory;
    int m_nPort = 0;

protected:
    void OnInitDialog() override;

private:
    QComboBox* m_pServerCombo;
    QComboBox* m_pSearchBaseCombo;
    QComboBox* m_pPortCombo;
    QComboBox* m_pBindDNCombo;
    QLineEdit* m_pPasswordEdit;
};
