#include "session/LoginSheet.h"

#include "session/CommandLine.h"
#include "session/Icons.h"
#include "session/LdapLoginPage.h"
#include "session/LdifLoginPage.h"
#include "source/DataSource.h"

#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

CLoginSheet::CLoginSheet(const QString& caption, QWidget* pParent, int nSelectPage) : QDialog(pParent) {
    setWindowTitle(caption);
    setWindowIcon(MakeProgramIcon());
    setObjectName(QStringLiteral("LoginSheet"));
    auto* pLayout = new QVBoxLayout(this);
    m_pTabs = new QTabWidget(this);
    pLayout->addWidget(m_pTabs);
    // The LDIF page is built first, the LDAP page added first.
    m_pLdifPage = new CLdifLoginPage(this);
    m_pLdapPage = new CLdapLoginPage(this);
    m_pTabs->addTab(m_pLdapPage, m_pLdapPage->GetCaption());
    m_pTabs->addTab(m_pLdifPage, m_pLdifPage->GetCaption());
    SetPage(nSelectPage);
    // The pages carry their own buttons; the dialog has none of its own.
    setSizeGripEnabled(false);
}

CLoginSheet::~CLoginSheet() {
    m_params.m_strPassword.Str().assign(m_params.m_strPassword.Str().size(), '\0');
}

void CLoginSheet::SetPage(int nIndex) {
    if (nIndex == 0 || nIndex == 1)
        m_pTabs->setCurrentIndex(nIndex);
}

int CLoginSheet::GetActivePageIndex() {
    m_nActivePage = m_pTabs->currentIndex();
    return m_nActivePage;
}

int CLoginSheet::GetPageIndex(const CLoginPage* pPage) const {
    return m_pTabs->indexOf(const_cast<CLoginPage*>(pPage));
}

void CLoginSheet::FillIn(const CStartSource& source) {
    CLoginPage* pPage = nullptr;
    if (source.eKind == CStartSource::kLdap) {
        SetPage(0);
        // The page's history fills the fields first; the command line wins.
        m_pLdapPage->EnsureInitialized();
        m_pLdapPage->GetServerCombo()->setEditText(source.strServer);
        m_pLdapPage->GetPortCombo()->setEditText(source.strPort);
        m_pLdapPage->GetSearchBaseCombo()->setEditText(source.strSearchBase);
        pPage = m_pLdapPage;
    } else if (source.eKind == CStartSource::kLdif) {
        SetPage(1);
        m_pLdifPage->EnsureInitialized();
        m_pLdifPage->GetFileCombo()->setEditText(source.strLdifFile);
        pPage = m_pLdifPage;
    }
    if (pPage)
        m_pFocusOnShow = pPage->GetOKButton();
}

void CLoginSheet::showEvent(QShowEvent* pEvent) {
    QDialog::showEvent(pEvent);
    if (m_pFocusOnShow) {
        m_pFocusOnShow->setFocus(Qt::OtherFocusReason);
        m_pFocusOnShow = nullptr;
    }
    raise();
    activateWindow();
}

int CLoginSheet::DoModal() {
    return exec() == 1 ? 1 : 0;
}

void CLoginSheet::EndSheet(int nResult) {
    done(nResult);
}

void CLoginSheet::done(int nResult) {
    m_nActivePage = m_pTabs->currentIndex();
    QDialog::done(nResult);
}

CDataSource* CLoginSheet::CreateSource(ESourceKind eKind) {
    return m_fnCreateSource ? m_fnCreateSource(eKind) : CreateDefaultSource(eKind);
}

void CLoginSheet::OpenSource(CDataSource* pSource) {
    if (!pSource)
        return;
    if (pSource->Open(m_params)) {
        SetOpenedSource(pSource);
        EndSheet(1);
    } else {
        delete pSource;
    }
}
