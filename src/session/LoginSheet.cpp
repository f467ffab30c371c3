#include "session/LoginSheet.h"

#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/qt/PlainText.h"
#include "platform/qt/QtServices.h"
#include "session/CommandLine.h"
#include "session/Icons.h"
#include "session/LdapLoginPage.h"
#include "session/LdifLoginPage.h"
#include "source/DataSource.h"
#include "source/LdapSource.h"
#include "ui/ScreenFit.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

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
    // Each page scrolls when the screen is too small for it.
    m_pTabs->addTab(MakeScrollingPage(m_pLdapPage), m_pLdapPage->GetCaption());
    m_pTabs->addTab(MakeScrollingPage(m_pLdifPage), m_pLdifPage->GetCaption());
    SetPage(nSelectPage);
    connect(m_pTabs, &QTabWidget::currentChanged, this, [this] {
        if (isVisible())
            FocusFirstEmptyField();
    });
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
    for (int i = 0; i < m_pTabs->count(); ++i)
        if (m_pTabs->widget(i)->isAncestorOf(pPage))
            return i;
    return -1;
}

void CLoginSheet::FillIn(const CStartSource& source) {
    if (source.eKind == CStartSource::kLdap) {
        SetPage(0);
        // The page's history fills the fields first; the command line wins.
        m_pLdapPage->EnsureInitialized();
        m_pLdapPage->GetServerCombo()->setEditText(source.strServer);
        if (source.bLdaps)
            m_pLdapPage->SetSecurity(ESecurity::LDAPS);
        // After the security choice, which may swap 389 and 636 itself.
        m_pLdapPage->GetPortCombo()->setEditText(source.strPort);
        m_pLdapPage->GetSearchBaseCombo()->setEditText(source.strSearchBase);
    } else if (source.eKind == CStartSource::kLdif) {
        SetPage(1);
        m_pLdifPage->EnsureInitialized();
        m_pLdifPage->GetFileCombo()->setEditText(source.strLdifFile);
    }
}

CLoginPage* CLoginSheet::GetActivePage() const {
    return m_pTabs->currentIndex() == 0 ? static_cast<CLoginPage*>(m_pLdapPage)
                                        : static_cast<CLoginPage*>(m_pLdifPage);
}

void CLoginSheet::FocusFirstEmptyField() {
    CLoginPage* pPage = GetActivePage();
    pPage->EnsureInitialized();
    // After the page's last button the tab bar, then round to its fields.
    setTabOrder(pPage->GetHelpButton(), m_pTabs->tabBar());
    pPage->GetFirstEmptyField()->setFocus(Qt::OtherFocusReason);
}

void CLoginSheet::showEvent(QShowEvent* pEvent) {
    QDialog::showEvent(pEvent);
    // What the user types first goes into the page, not to the tab bar.
    FocusFirstEmptyField();
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

namespace {

// One attempt to open a server off the UI thread. Whoever is last, the
// waiting sheet or the thread, frees it; a cancelled attempt's thread also
// destroys the source.
struct COpenAttempt {
    std::mutex mutex;
    std::condition_variable done;
    CLdapSource* pSource = nullptr;
    CConnectionParams params;
    bool bDone = false;
    bool bCancelled = false;
    BOOL bOpened = FALSE;
};

} // namespace

void CLoginSheet::OpenSource(CDataSource* pSource) {
    if (!pSource)
        return;
    auto* pLdap = dynamic_cast<CLdapSource*>(pSource);
    bool bOpened = pLdap ? OpenInBackground(pLdap) : pSource->Open(m_params) != FALSE;
    if (bOpened) {
        SetOpenedSource(pSource);
        EndSheet(1);
    } else if (!pLdap) {
        delete pSource;
    }
}

bool CLoginSheet::FetchNamingContexts(std::vector<CString>& contexts) {
    contexts.clear();
    CDataSource* pCreated = CreateSource(kLdapSource);
    auto* pSource = dynamic_cast<CLdapSource*>(pCreated);
    if (!pSource) {
        delete pCreated;
        return false;
    }
    // An open without a base reads the naming contexts; the source then
    // goes, and the sheet's parameters are what the user typed again.
    const CConnectionParams typed = m_params;
    m_params.m_strSearchBase.Empty();
    const bool bOpened = OpenInBackground(pSource);
    if (bOpened) {
        for (const CEntryNode* pContext : m_params.m_namingContexts)
            contexts.push_back(pContext->GetDN());
        delete pSource;
    }
    CString& password = m_params.m_strPassword;
    password.Str().assign(password.Str().size(), '\0');
    m_params = typed;
    return bOpened;
}

bool CLoginSheet::OpenInBackground(CLdapSource* pSource) {
    // Connecting, binding and reading the base can each wait for the network
    // time-out: the sheet keeps painting and offers Cancel meanwhile.
    auto pAttempt = std::make_shared<COpenAttempt>();
    pAttempt->pSource = pSource;
    pAttempt->params = m_params;
    std::thread([pAttempt] {
        BOOL bOpened = pAttempt->pSource->Open(pAttempt->params);
        std::unique_lock<std::mutex> lock(pAttempt->mutex);
        CString& password = pAttempt->params.m_strPassword;
        password.Str().assign(password.Str().size(), '\0');
        pAttempt->bOpened = bOpened;
        pAttempt->bDone = true;
        if (pAttempt->bCancelled) {
            lock.unlock();
            delete pAttempt->pSource;
            return;
        }
        pAttempt->done.notify_all();
    }).detach();

    QProgressDialog progress(this);
    progress.setWindowTitle(windowTitle());
    progress.setLabel(NewPlainLabel(
        QStringLiteral("Connecting to ") + ToQString(m_params.m_strServer) + QChar(0x2026), &progress));
    progress.setRange(0, 0);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setWindowModality(Qt::WindowModal);
    progress.show();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(pAttempt->mutex);
            if (pAttempt->done.wait_for(lock, std::chrono::milliseconds(10), [&] { return pAttempt->bDone; }))
                break;
            if (progress.wasCanceled()) {
                // The thread finishes on its own and says nothing more.
                pSource->SetQuiet(true);
                pAttempt->bCancelled = true;
                return false;
            }
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        // A box from the attempt waits for this thread.
        CMessageDispatcher::Instance().DrainPendingSends();
    }
    progress.close();
    if (!pAttempt->bOpened) {
        delete pSource;
        return false;
    }
    // The root, and the server's spelling of the base.
    m_params.m_pRoot = pAttempt->params.m_pRoot;
    m_params.m_namingContexts = pAttempt->params.m_namingContexts;
    m_params.m_strSearchBase = pAttempt->params.m_strSearchBase;
    return true;
}
