#include "QtTestEnvironment.h"

#include "platform/Dispatcher.h"
#include "ui/ScreenFit.h"

#include <QAbstractItemView>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

std::unique_ptr<QTemporaryDir> g_pRuntimeDir;
std::unique_ptr<QTemporaryDir> g_pProfileDir;
std::unique_ptr<QApplication> g_pApp;
int g_argc = 1;
char g_arg0[] = "tarvo_session_tests";
char* g_argv[] = {g_arg0, nullptr};

class CQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // Headless, and nothing of Qt's lands in /tmp/runtime-root.
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        g_pRuntimeDir = std::make_unique<QTemporaryDir>();
        g_pProfileDir = std::make_unique<QTemporaryDir>();
        setenv("XDG_RUNTIME_DIR", g_pRuntimeDir->path().toLocal8Bit().constData(), 1);
        setenv("XDG_CONFIG_HOME", g_pProfileDir->path().toLocal8Bit().constData(), 1);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, g_pProfileDir->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, g_pProfileDir->path());
        CMessageDispatcher::Instance().SetUIThread();
        g_pApp = std::make_unique<QApplication>(g_argc, g_argv);
        CScreenFit::Install();
    }
    void TearDown() override {
        g_pApp.reset();
        g_pProfileDir.reset();
        g_pRuntimeDir.reset();
    }
};

[[maybe_unused]] ::testing::Environment* const g_pEnvironment =
    ::testing::AddGlobalTestEnvironment(new CQtEnvironment);

} // namespace

QString TestProfileFolder() {
    return g_pProfileDir ? g_pProfileDir->path() : QString();
}

void PumpEvents() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents(QEventLoop::AllEvents);
}

void DriveNextModal(std::function<void(QWidget*)> fn) {
    auto* pTimer = new QTimer;
    pTimer->setInterval(5);
    QObject::connect(pTimer, &QTimer::timeout, pTimer, [pTimer, fn] {
        QWidget* pModal = QApplication::activeModalWidget();
        if (!pModal)
            return;
        pTimer->stop();
        pTimer->deleteLater();
        fn(pModal);
    });
    pTimer->start();
}

void DriveNextLoginSheet(std::function<void(CLoginSheet*)> fn) {
    DriveNextModal([fn](QWidget* pModal) { fn(qobject_cast<CLoginSheet*>(pModal)); });
}

std::unique_ptr<CLoginSheet> ShowLoginSheet(int nPage) {
    auto pSheet = std::make_unique<CLoginSheet>(QStringLiteral("Login"), nullptr, 0);
    pSheet->show();
    PumpEvents();
    if (nPage != 0) {
        pSheet->SetPage(nPage);
        PumpEvents();
    }
    return pSheet;
}

void FillLdapPage(CLdapLoginPage* pPage, const QString& server, const QString& port, const QString& bindDN,
                  const QString& password, const QString& base) {
    const std::pair<QComboBox*, const QString*> fields[] = {{pPage->GetServerCombo(), &server},
                                                            {pPage->GetPortCombo(), &port},
                                                            {pPage->GetBindDNCombo(), &bindDN},
                                                            {pPage->GetSearchBaseCombo(), &base}};
    for (const auto& [pCombo, pText] : fields) {
        if (!pText->isNull())
            pCombo->setEditText(*pText);
    }
    if (!password.isNull())
        pPage->GetPasswordEdit()->setText(password);
}

int TopLevelRows(QWidget* pPane) {
    auto* pView = pPane->findChild<QAbstractItemView*>();
    return pView && pView->model() ? pView->model()->rowCount() : 0;
}

void CFrameTest::SetUp() {
    m_pDoc = std::make_unique<CTarvoDoc>();
    m_pFrame = std::make_unique<CMainFrame>(m_pDoc.get());
    m_pFrame->show();
    PumpEvents();
}

void CFrameTest::TearDown() {
    m_pFrame.reset();
    m_pDoc.reset();
}
