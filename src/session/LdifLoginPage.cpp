#include "session/LdifLoginPage.h"

#include "model/DnHelper.h"
#include "platform/Services.h"
#include "platform/qt/QtServices.h"
#include "session/LoginSheet.h"
#include "source/DataSource.h"
#include "ui/SettingsDlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

CLdifLoginPage::CLdifLoginPage(CLoginSheet* pSheet)
    : CLoginPage(pSheet, QStringLiteral("LDIF File"), 1062, 1058), m_fileHistory(kHistoryLength),
      m_searchBaseHistory(kHistoryLength), m_schemaHistory(kHistoryLength), m_strFilter("objectclass=*") {
    m_pFileCombo = NewCombo(this);
    m_pBrowse = new QPushButton(QStringLiteral("..."), this);
    auto* pFileRow = new QWidget(this);
    auto* pFileLayout = new QHBoxLayout(pFileRow);
    pFileLayout->setContentsMargins(0, 0, 0, 0);
    m_pFileCombo->setParent(pFileRow);
    m_pBrowse->setParent(pFileRow);
    pFileLayout->addWidget(m_pFileCombo, 1);
    pFileLayout->addWidget(m_pBrowse);
    m_pSearchBaseCombo = NewCombo(this);
    // Empty: the standard schema. A file or folder of schema definitions,
    // or a server's URL to borrow its schema.
    auto* pSchemaRow = new QWidget(this);
    auto* pSchemaLayout = new QHBoxLayout(pSchemaRow);
    pSchemaLayout->setContentsMargins(0, 0, 0, 0);
    m_pSchemaCombo = NewCombo(this);
    m_pSchemaCombo->lineEdit()->setPlaceholderText(QStringLiteral("Standard schema"));
    m_pSchemaCombo->setProperty(kOptionalField, true);
    m_pSchemaCombo->setToolTip(
        QStringLiteral("A schema file (.schema or .ldif), a folder of them, or a server to borrow the "
                       "schema from (ldap://host:port); empty for the standard schema"));
    auto* pBrowseSchema = new QPushButton(QStringLiteral("..."), pSchemaRow);
    pBrowseSchema->setAutoDefault(false);
    pSchemaLayout->addWidget(m_pSchemaCombo, 1);
    pSchemaLayout->addWidget(pBrowseSchema);
    // The label's key must reach the combo: the row around it takes no focus.
    AddField(QStringLiteral("&LDIF Filename:"), pFileRow, m_pFileCombo);
    AddField(QStringLiteral("Search &Base:"), m_pSearchBaseCombo);
    AddField(QStringLiteral("Sche&ma:"), pSchemaRow, m_pSchemaCombo);
    pFileRow->setFocusProxy(m_pFileCombo);

    connect(m_pBrowse, &QPushButton::clicked, this, &CLdifLoginPage::OnBrowse);
    connect(pBrowseSchema, &QPushButton::clicked, this, &CLdifLoginPage::OnBrowseSchema);

    m_fileHistory.Load("LDIFs", "");
    m_searchBaseHistory.Load("SearchBases", "");
    m_schemaHistory.Load("LdifSchemas", "");
}

CLdifLoginPage::~CLdifLoginPage() = default;

void CLdifLoginPage::OnInitDialog() {
    FillCombo(m_pFileCombo, m_fileHistory, false);
    FillCombo(m_pSearchBaseCombo, m_searchBaseHistory, true);
    FillCombo(m_pSchemaCombo, m_schemaHistory, false);
    // The standard schema unless the user picks one again.
    m_pSchemaCombo->setEditText(QString());
}

BOOL CLdifLoginPage::ValidateInput() {
    if (!IsActivePage())
        return FALSE;
    EnsureInitialized();
    const CString searchBase = ComboText(m_pSearchBaseCombo);
    const CString file = ComboText(m_pFileCombo);
    if (file.IsEmpty()) {
        AfxMessageBox("Error - Please specify the filename.", MB_OK | MB_ICONSTOP);
        m_pFileCombo->setFocus(Qt::OtherFocusReason);
        return FALSE;
    }
    // Checked before it is remembered, as on the LDAP page.
    if (!DnIsValid(searchBase.View())) {
        AfxMessageBox("Error - Invalid Search Base.", MB_OK | MB_ICONSTOP);
        m_pSearchBaseCombo->setFocus(Qt::OtherFocusReason);
        return FALSE;
    }
    AddComboString(m_pFileCombo, ToQString(file), false);
    AddComboString(m_pSearchBaseCombo, ToQString(searchBase), true);

    CConnectionParams& params = GetSheet()->m_params;
    params.m_strLdifFile = file;
    params.m_strSchemaSource = ComboText(m_pSchemaCombo);
    params.m_strSearchBase = searchBase;
    params.m_strFilter = m_strFilter;
    return TRUE;
}

void CLdifLoginPage::OnOK() {
    if (!ValidateInput())
        return;
    CWaitCursor wait;
    CDataSource* pSource = GetSheet()->CreateSource(CLoginSheet::kLdifSource);

    m_fileHistory.Add(ComboText(m_pFileCombo));
    m_fileHistory.Store("LDIFs");
    m_searchBaseHistory.Add(ComboText(m_pSearchBaseCombo));
    m_searchBaseHistory.Store("SearchBases");
    const CString schema = ComboText(m_pSchemaCombo);
    if (!schema.IsEmpty()) {
        m_schemaHistory.Add(schema);
        m_schemaHistory.Store("LdifSchemas");
    }

    GetSheet()->OpenSource(pSource);
}

void CLdifLoginPage::OnBrowse() {
    CString path;
    if (!CServices::FileDialogs().ChooseFile(TRUE, "Open LdifFile", "", kLdifFileFilter, TRUE, path))
        return;
    const int nIndex = AddComboString(m_pFileCombo, ToQString(path), false);
    m_pFileCombo->setCurrentIndex(nIndex);
}

void CLdifLoginPage::OnBrowseSchema() {
    CString path;
    if (!CServices::FileDialogs().ChooseFile(TRUE, "Open Schema File", "", kSchemaFileFilter, TRUE, path))
        return;
    m_pSchemaCombo->setEditText(ToQString(path));
}
