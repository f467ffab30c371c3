#include "QtTestEnvironment.h"

#include "platform/Dispatcher.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "session/LoginSheet.h"

#include <cstdlib>
#include <memory>

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
