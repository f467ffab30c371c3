#include "session/LdapLoginPage.h"

#include "model/DnHelper.h"
#include "platform/Services.h"
#include "platform/qt/QtServices.h"
#include "session/LoginSheet.h"
#include "source/DataSource.h"
#include "source/LdapWrap.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <utility>
#include <vector>

namespace {

const char* const kSecurityNames[] = {"None", "StartTLS", "LDAPS", "StartTLSIfOffered"};
constexpr int kSecurityCount = 4;
const char* const kPlainPort = "389";
const char* const kLdapsPort = "636";

// "History", "Security": "server=mode;..." most recent first, as many as the
// server history holds.
std::vector<std::pair<CString, CString>> LoadSecurityMap() {
    CHistoryList list(kHistoryLength);
    list.Load("Security", "");
    std::vector<std::pair<CString, CString>> map;
    for (const CString& item : list.GetEntries()) {
        const int nEqual = item.ReverseFind('=');
        if (nEqual > 0)
            map.emplace_back(item.Left(nEqual), item.Mid(nEqual + 1));
    }
    return map;
}

} // namespace

bool CLdapLoginPage::FindStoredSecurity(const CString& server, ESecurity& eSecurity) {
    for (const auto& [name, mode] : LoadSecurityMap()) {
        if (name != server)
            continue;
        for (int i = 0; i < kSecurityCount; ++i) {
            if (mode == kSecurityNames[i]) {
                eSecurity = static_cast<ESecurity>(i);
                return true;
            }
        }
    }
    return false;
}

void CLdapLoginPage::StoreSecurity(const CString& server, ESecurity eSecurity) {
    auto map = LoadSecurityMap();
    CHistoryList list(kHistoryLength);
    for (auto it = map.rbegin(); it != map.rend(); ++it) {
        if (it->first != server)
            list.Add(it->first + "=" + it->second);
    }
    list.Add(server + "=" + kSecurityNames[static_cast<int>(eSecurity)]);
    list.Store("Security");
}

CLdapLoginPage::CLdapLoginPage(CLoginSheet* pSheet)
    : CLoginPage(pSheet, QStringLiteral("LDAP Connection"), 1061, 1060), m_strFilter("objectclass=*"),
      m_serverHistory(kHistoryLength), m_portHistory(kHistoryLength), m_bindDNHistory(kHistoryLength),
      m_searchBaseHistory(kHistoryLength) {
    m_pServerCombo = NewCombo(this);
    m_pServerCombo->lineEdit()->setPlaceholderText(QStringLiteral("ldap.example.com"));
    m_pPortCombo = NewCombo(this);
    m_pPortCombo->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), m_pPortCombo));
    m_pBindDNCombo = NewCombo(this);
    m_pPasswordEdit = new QLineEdit(this);
    m_pPasswordEdit->setEchoMode(QLineEdit::Password);
    m_pSearchBaseCombo = NewCombo(this);
    AddField(QStringLiteral("&LDAP Server:"), m_pServerCombo);
    AddField(QStringLiteral("Port &Number:"), m_pPortCombo);
    AddField(QStringLiteral("&Bind DN:"), m_pBindDNCombo);
    AddField(QStringLiteral("&Password :"), m_pPasswordEdit);
    auto* pBaseRow = new QWidget(this);
    auto* pBaseLayout = new QHBoxLayout(pBaseRow);
    pBaseLayout->setContentsMargins(0, 0, 0, 0);
    pBaseLayout->addWidget(m_pSearchBaseCombo, 1);
    m_pFetch = new QPushButton(QStringLiteral("&Fetch"), pBaseRow);
    m_pFetch->setAutoDefault(false);
    m_pFetch->setToolTip(QStringLiteral("Ask the server for its naming contexts"));
    pBaseLayout->addWidget(m_pFetch);
    connect(m_pFetch, &QPushButton::clicked, this, &CLdapLoginPage::OnFetch);
    AddField(QStringLiteral("&Search Base :"), pBaseRow, m_pSearchBaseCombo);

    m_pSecurityCombo = new QComboBox(this);
    m_pSecurityCombo->addItems({QStringLiteral("None"), QStringLiteral("StartTLS"), QStringLiteral("LDAPS"),
                                QStringLiteral("StartTLS if offered")});
    m_pAuthCombo = new QComboBox(this);
    m_pAuthCombo->addItems({QStringLiteral("Simple"), QStringLiteral("SASL EXTERNAL")});
    // Other mechanisms as far as the installed SASL plugins speak them.
    for (const CString& mechanism : InstalledSaslMechanisms())
        m_pAuthCombo->addItem(ToQString(mechanism));
    m_pClientCertEdit = new QLineEdit(this);
    m_pClientKeyEdit = new QLineEdit(this);
    AddField(QStringLiteral("Secu&rity:"), m_pSecurityCombo);
    AddField(QStringLiteral("&Authentication:"), m_pAuthCombo);
    AddField(QStringLiteral("Client cer&tificate:"),
             WithBrowseButton(m_pClientCertEdit, "Client Certificate"), m_pClientCertEdit);
    AddField(QStringLiteral("Client ke&y:"), WithBrowseButton(m_pClientKeyEdit, "Client Key"),
             m_pClientKeyEdit);
    SetSecurity(ESecurity::StartTLSIfOffered);
    connect(m_pSecurityCombo, &QComboBox::currentIndexChanged, this, &CLdapLoginPage::OnSecurityChanged);
    connect(m_pServerCombo, &QComboBox::editTextChanged, this, &CLdapLoginPage::OnServerTextChanged);

    m_serverHistory.Load("Servers", kDefaultServers);
    m_portHistory.Load("PortNumbers", "389");
    // Older versions kept whatever was typed into the port field.
    m_portHistory.RemoveIf([](const CString& port) { return ParsePort(port) == 0; });
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
    m_pClientCertEdit->setText(
        ToQString(CServices::Profile().GetProfileString("History", "ClientCertificate", "")));
    m_pClientKeyEdit->setText(ToQString(CServices::Profile().GetProfileString("History", "ClientKey", "")));
    OnServerTextChanged(m_pServerCombo->currentText());
}

QWidget* CLdapLoginPage::WithBrowseButton(QLineEdit* pEdit, const char* pszTitle) {
    auto* pRow = new QWidget(this);
    auto* pLayout = new QHBoxLayout(pRow);
    pLayout->setContentsMargins(0, 0, 0, 0);
    auto* pBrowse = new QPushButton(QStringLiteral("..."), pRow);
    pBrowse->setAutoDefault(false);
    pBrowse->setObjectName(QString::fromLatin1(pszTitle));
    pLayout->addWidget(pEdit, 1);
    pLayout->addWidget(pBrowse);
    connect(pBrowse, &QPushButton::clicked, this, [pEdit, pszTitle] {
        CString path;
        if (CServices::FileDialogs().ChooseFile(TRUE, pszTitle, FromQString(pEdit->text()),
                                                "PEM Files (*.pem) | *.pem|All Files (*.*) | *.*||", TRUE,
                                                path))
            pEdit->setText(ToQString(path));
    });
    return pRow;
}

ESecurity CLdapLoginPage::GetSecurity() const {
    return static_cast<ESecurity>(m_pSecurityCombo->currentIndex());
}

void CLdapLoginPage::SetSecurity(ESecurity eSecurity) {
    m_pSecurityCombo->setCurrentIndex(static_cast<int>(eSecurity));
}

void CLdapLoginPage::OnSecurityChanged() {
    // The well-known port follows the choice, a port the user typed stays.
    const ESecurity eSecurity = GetSecurity();
    const QString port = m_pPortCombo->currentText().trimmed();
    if (eSecurity == ESecurity::LDAPS && port == kPlainPort)
        m_pPortCombo->setEditText(kLdapsPort);
    else if (eSecurity != ESecurity::LDAPS && m_eShownSecurity == ESecurity::LDAPS && port == kLdapsPort)
        m_pPortCombo->setEditText(kPlainPort);
    m_eShownSecurity = eSecurity;
}

void CLdapLoginPage::OnServerTextChanged(const QString& text) {
    const CString server = FromQString(text);
    const CString lower = FromQString(text.trimmed().toLower());
    if (lower.Find("ldaps://") == 0 || lower.Find("ldap://") == 0 || lower.Find("ldapi://") == 0)
        SetSecurity(SecurityOfServer(server, GetSecurity()));
    else if (ESecurity eStored = ESecurity::None; FindStoredSecurity(server, eStored))
        SetSecurity(eStored);
}

long long CLdapLoginPage::ParsePort(const CString& text) {
    const std::string& s = text.Str();
    // Digits only: anything else, a password typed into the wrong field
    // among them, is refused rather than cut off and remembered.
    if (s.empty() || s.size() > 5)
        return 0;
    long long nValue = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return 0;
        nValue = nValue * 10 + (c - '0');
    }
    return nValue <= 65535 ? nValue : 0;
}

BOOL CLdapLoginPage::ValidateInput() {
    if (!IsActivePage())
        return FALSE;
    EnsureInitialized();
    const CString server = ComboText(m_pServerCombo);
    const CString port = ComboText(m_pPortCombo);
    const CString bindDN = ComboText(m_pBindDNCombo);
    const CString searchBase = ComboText(m_pSearchBaseCombo);

    m_nPort = static_cast<int>(ParsePort(port));

    // Every text checked before any of them is remembered in the profile.
    if (!IsValidServerText(server)) {
        AfxMessageBox("Error - Invalid LDAP server.", MB_OK | MB_ICONSTOP);
        m_pServerCombo->setFocus(Qt::OtherFocusReason);
        return FALSE;
    }
    if (m_nPort == 0) {
        AfxMessageBox("Error - Invalid Port Number.", MB_OK | MB_ICONSTOP);
        m_pPortCombo->setFocus(Qt::OtherFocusReason);
        return FALSE;
    }
    if (!DnIsValid(searchBase.View())) {
        AfxMessageBox("Error - Invalid Search Base.", MB_OK | MB_ICONSTOP);
        m_pSearchBaseCombo->setFocus(Qt::OtherFocusReason);
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
    params.m_eSecurity = GetSecurity();
    const int nAuth = m_pAuthCombo->currentIndex();
    params.m_eAuth = nAuth == 0 ? EAuth::Simple : nAuth == 1 ? EAuth::SaslExternal : EAuth::Sasl;
    params.m_strSaslMechanism = nAuth > 1 ? FromQString(m_pAuthCombo->currentText()) : CString();
    params.m_strClientCertFile = FromQString(m_pClientCertEdit->text());
    params.m_strClientKeyFile = FromQString(m_pClientKeyEdit->text());
    // A key the user chose to always trust decides for this server.
    params.m_strKeyPin = CLoginPrompts::StoredKeyPin(HostOfServer(server), PortOfServer(server, m_nPort));
    params.m_eTrust = params.m_strKeyPin.IsEmpty() ? ETrust::Verify : ETrust::Pinned;
    params.m_pPrompts = &m_prompts;
    return TRUE;
}

void CLdapLoginPage::OnFetch() {
    if (!ValidateInput())
        return;
    std::vector<CString> contexts;
    if (!GetSheet()->FetchNamingContexts(contexts))
        return;
    if (contexts.empty()) {
        AfxMessageBox("The server names no naming contexts.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    // The server's bases lead the list; what is typed stays, or the first
    // base is taken when nothing is.
    const QString typed = m_pSearchBaseCombo->currentText();
    const QSignalBlocker blocker(m_pSearchBaseCombo);
    for (auto it = contexts.rbegin(); it != contexts.rend(); ++it) {
        const QString context = ToQString(*it);
        const int nFound =
            m_pSearchBaseCombo->findText(context, Qt::MatchFixedString | Qt::MatchCaseSensitive);
        if (nFound >= 0)
            m_pSearchBaseCombo->removeItem(nFound);
        m_pSearchBaseCombo->insertItem(0, context);
    }
    m_pSearchBaseCombo->setEditText(typed.isEmpty() ? ToQString(contexts.front()) : typed);
    m_pSearchBaseCombo->setFocus(Qt::OtherFocusReason);
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
    StoreSecurity(ComboText(m_pServerCombo), GetSecurity());
    // Paths only: the files themselves stay where the user keeps them.
    CServices::Profile().WriteProfileString("History", "ClientCertificate",
                                            FromQString(m_pClientCertEdit->text()));
    CServices::Profile().WriteProfileString("History", "ClientKey", FromQString(m_pClientKeyEdit->text()));

    GetSheet()->OpenSource(pSource);
}
