#include "session/LdifLoginPage.h"

#include "model/DnHelper.h"
#include "platform/Services.h"
#include "platform/qt/QtServices.h"
#include "session/LoginSheet.h"
#include "source/DataSource.h"
#include "ui/SettingsDlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>

CLdifLoginPage::CLdifLoginPage(CLoginSheet* pSheet)
    : CLoginPage(pSheet, QStringLiteral("LDIF File"), 1062, 1058), m_fileHistory(kHistoryLength),
      m_searchBaseHistory(kHistoryLength), m_strFilter("objectclass=*") {
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
    // The label's key must reach the combo: the row around it takes no focus.
    AddField(QStringLiteral("&LDIF Filename:"), pFileRow, m_pFileCombo);
    AddField(QStringLiteral("Search &Base:"), m_pSearchBaseCombo);
    pFileRow->setFocusProxy(m_pFileCombo);

    connect(m_pBrowse, &QPushButton::clicked, this, &CLdifLoginPage::OnBrowse);

    m_fileHistory.Load("LDIFs", "");
    m_searchBaseHistory.Load("SearchBases", "");
}

CLdifLoginPage::~CLdifLoginPage() = default;

void CLdifLoginPage::OnInitDialog() {
    FillCombo(m_pFileCombo, m_fileHistory, false);
    FillCombo(m_pSearchBaseCombo, m_searchBaseHistory, true);
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

    GetSheet()->OpenSource(pSource);
}

void CLdifLoginPage::OnBrowse() {
    CString path;
    if (!CServices::FileDialogs().ChooseFile(TRUE, "Open LdifFile", "", kLdifFileFilter, TRUE, path))
        return;
    const int nIndex = AddComboString(m_pFileCombo, ToQString(path), false);
    m_pFileCombo->setCurrentIndex(nIndex);
}
