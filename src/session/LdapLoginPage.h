#pragma once
// The "LDAP Connection" page: server, port, bind DN, password and search
// base, each remembered in the profile.

// moc need not parse the C++20 library headers behind these.
#ifndef Q_MOC_RUN
#include "session/HistoryList.h"
#include "session/LoginPrompts.h"
#include "source/ConnectionParams.h"
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
    // Items in ESecurity order: "None", "StartTLS", "LDAPS", "StartTLS if offered".
    QComboBox* GetSecurityCombo() const { return m_pSecurityCombo; }
    // "Simple", "SASL EXTERNAL", then the SASL mechanisms by name.
    QComboBox* GetAuthCombo() const { return m_pAuthCombo; }
    QLineEdit* GetClientCertEdit() const { return m_pClientCertEdit; }
    QLineEdit* GetClientKeyEdit() const { return m_pClientKeyEdit; }
    // "Fetch": asks the server for its naming contexts, offered then in the
    // search base's drop-down.
    QPushButton* GetFetchButton() const { return m_pFetch; }
    void OnFetch();

    ESecurity GetSecurity() const;
    void SetSecurity(ESecurity eSecurity);
    // The choice remembered for a server text ("History", "Security");
    // false for a server never used (new profiles start at StartTLS if offered).
    static bool FindStoredSecurity(const CString& server, ESecurity& eSecurity);
    static void StoreSecurity(const CString& server, ESecurity eSecurity);

    // The port a text names: one to five digits, 1 to 65535, nothing else;
    // 0 for any other text.
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
    // The edit field with a "..." button beside it that chooses an existing file.
    QWidget* WithBrowseButton(QLineEdit* pEdit, const char* pszTitle);
    void OnSecurityChanged();
    void OnServerTextChanged(const QString& text);

private:
    QComboBox* m_pServerCombo;
    QComboBox* m_pSearchBaseCombo;
    QComboBox* m_pPortCombo;
    QComboBox* m_pBindDNCombo;
    QLineEdit* m_pPasswordEdit;
    QComboBox* m_pSecurityCombo;
    QComboBox* m_pAuthCombo;
    QLineEdit* m_pClientCertEdit;
    QLineEdit* m_pClientKeyEdit;
    QPushButton* m_pFetch;
    ESecurity m_eShownSecurity = ESecurity::StartTLSIfOffered;
    CLoginPrompts m_prompts{this};
};
