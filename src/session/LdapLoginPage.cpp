#include "session/LdapLoginPage.h"

#include "platform/Services.h"
#include "platform/qt/QtServices.h"
#include "session/LoginSheet.h"
#include "source/DataSource.h"

#include <QComboBox>
#include <QLineEdit>

#include <cctype>
#include <cstdint>

CLdapLoginPage::CLdapLoginPage(CLoginSheet* pSheet)
    : CLoginPage(pSheet, QStringLiteral("LDAP Connection"), 1061, 1060), m_strFilter("objectclass=*"),
      m_serverHistory(kHistoryLength), m_portHistory(kHistoryLength), m_bindDNHistory(kHistoryLength),
      m_searchBaseHistory(kHistoryLength) {
    m_pServerCombo = NewCombo(this);
    m_pPortCombo = NewCombo(this);
    m_pBindDNCombo = NewCombo(this);
    m_pPasswordEdit = new QLineEdit(this);
    m_pPasswordEdit->setEchoMode(QLineEdit::Password);
    m_pSearchBaseCombo = NewCombo(this);
    AddField(QStringLiteral("&LDAP Server:"), m_pServerCombo);
    AddField(QStringLiteral("Port &Number:"), m_pPortCombo);
    AddField(QStringLiteral("&Bind DN:"), m_pBindDNCombo);
    AddField(QStringLiteral("&Password :"), m_pPasswordEdit);
    AddField(QStringLiteral("&Search Base :"), m_pSearchBaseCombo);

    m_serverHistory.Load("Servers", kDefaultServers);
    m_portHistory.Load("PortNumbers", "389");
    m_bindDNHistory.Load("BindDNs", "");
    m_searchBaseHistory.Load("SearchBases", "");
}

CLdapLoginPage::~CLdapLoginPage() {
    // The password lives no longer than the page.
    m_strPassword.Str().assign(m_strPassword.Str().size(), '\0');
}

void CLdapLoginPage::OnInitDialog() {
    FillCombo(m_pServerCombo, m_serverHistory, false);
    m_strFilter = "(objectclass=*)";
    FillCombo(m_pPortCombo, m_portHistory, false);
    FillCombo(m_pBindDNCombo, m_bindDNHistory, true);
    FillCombo(m_pSearchBaseCombo, m_searchBaseHistory, true);
    m_pPasswordEdit->setText(ToQString(m_strPassword));
}

long long CLdapLoginPage::ParsePort(const CString& text) {
    const std::string& s = text.Str();
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    bool bNegative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        bNegative = s[i] == '-';
        ++i;
    }
    long long nValue = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        // Past any real port the exact value no longer matters.
        if (nValue < 100000000000LL)
            nValue = nValue * 10 + (s[i] - '0');
    }
    return bNegative ? -nValue : nValue;
}

BOOL CLdapLoginPage::ValidateInput() {
    if (!IsActivePage())
        return FALSE;
    EnsureInitialized();
    const CString server = ComboText(m_pServerCombo);
    const CString port = ComboText(m_pPortCombo);
    const CString bindDN = ComboText(m_pBindDNCombo);
    const CString searchBase = ComboText(m_pSearchBaseCombo);

    const long long nPort = ParsePort(port);
    // Taken as an unsigned number, a negative port is out of range too.
    const bool bPortValid = nPort >= 1 && nPort <= 65535;
    m_nPort = nPort >= INT32_MIN && nPort <= INT32_MAX ? static_cast<int>(nPort) : 0;

    if (server.IsEmpty()) {
        AfxMessageBox("Error - Invalid LDAP server.", MB_OK | MB_ICONSTOP);
        m_pServerCombo->setFocus(Qt::OtherFocusReason);
        return FALSE;
    }
    if (!bPortValid) {
        AfxMessageBox("Error - Invalid Port Number.", MB_OK | MB_ICONSTOP);
        m_pPortCombo->setFocus(Qt::OtherFocusReason);
        return FALSE;
    }

    m_strPassword = FromQString(m_pPasswordEdit->text());
    AddComboString(m_pServerCombo, ToQString(server), false);
    AddComboString(m_pPortCombo, ToQString(port), false);
    AddComboString(m_pBindDNCombo, ToQString(bindDN), true);
    AddComboString(m_pSearchBaseCombo, ToQString(searchBase), true);

    CConnectionParams& params = GetSheet()->m_params;
    params.m_strServer = server;
    params.m_nPort = m_nPort;
    params.m_strPassword = m_strPassword;
    params.m_strSearchBase = searchBase;
    params.m_strFilter = m_strFilter;
    params.m_strBindDN = bindDN;
    return TRUE;
}

void CLdapLoginPage::OnOK() {
    if (!ValidateInput())
        return;
    CWaitCursor wait;
    CDataSource* pSource = GetSheet()->CreateSource(CLoginSheet::kLdapSource);

    // Remembered before the attempt, so values that fail are offered again.
    m_serverHistory.Add(ComboText(m_pServerCombo));
    m_serverHistory.Store("Servers");
    m_portHistory.Add(ComboText(m_pPortCombo));
    m_portHistory.Store("PortNumbers");
    m_bindDNHistory.Add(ComboText(m_pBindDNCombo));
    m_bindDNHistory.Store("BindDNs");
    m_searchBaseHistory.Add(ComboText(m_pSearchBaseCombo));
    m_searchBaseHistory.Store("SearchBases");

    GetSheet()->OpenSource(pSource);
}
