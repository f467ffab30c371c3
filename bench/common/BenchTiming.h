#pragma once
// What the GUI benchmarks share: the offscreen application, and the
// longest time the UI thread went without delivering an event.

#include "BenchStats.h"
#include "platform/Dispatcher.h"
#include "platform/Recorders.h"
#include "platform/Services.h"
#include "platform/qt/QtServices.h"

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>

// Installed on the application: every event delivered marks a turn of the
// UI thread's loop.
class CEventGapFilter : public QObject {
public:
    explicit CEventGapFilter(std::function<void()> fnSeen) : m_fnSeen(std::move(fnSeen)) {}
    bool eventFilter(QObject*, QEvent*) override {
        m_fnSeen();
        return false;
    }

private:
    std::function<void()> m_fnSeen;
};

// The offscreen application a GUI benchmark runs in, set up as the program
// sets up its own: workers' calls reach the UI thread, and the profile is
// an in-memory one.
class CBenchGuiApp {
public:
    CBenchGuiApp(int& argc, char** argv) : m_bPrepared(Prepare(m_runtime)), m_app(argc, argv) {
        CServices::SetProfile(&m_profile);
    }
    ~CBenchGuiApp() { CServices::SetProfile(nullptr); }
    CBenchGuiApp(const CBenchGuiApp&) = delete;
    CBenchGuiApp& operator=(const CBenchGuiApp&) = delete;

private:
    // Before the application exists: its platform and runtime folder.
    static bool Prepare(const QTemporaryDir& runtime) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 0);
        CMessageDispatcher::Instance().SetUIThread();
        return true;
    }

    QTemporaryDir m_runtime;
    bool m_bPrepared;
    QApplication m_app;
    CQtDispatcherWakeup m_wakeup;
    CMemoryProfile m_profile;
};
