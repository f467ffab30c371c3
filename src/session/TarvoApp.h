#pragma once
// The application: start-up (services, document, main frame, first
// login), the application-level commands, and shut-down.

#include "platform/Types.h"

#include <QStringList>

#include <memory>

class CMainFrame;
class CQtServices;
class CTarvoDoc;
class QWidget;

class CTarvoApp {
public:
    // bInstallServices: install the Qt services (the program) or keep
    // whatever is installed (tests install recorders).
    explicit CTarvoApp(bool bInstallServices = true);
    ~CTarvoApp();
    CTarvoApp(const CTarvoApp&) = delete;
    CTarvoApp& operator=(const CTarvoApp&) = delete;

    // Builds the document and the frame and carries out the command line
    // (its arguments after the options, ParseCommandLine's sources). FALSE: the program ends (the
    // first login was cancelled or failed).
    BOOL InitInstance(const QStringList& arguments);
    // Destroys the frame and the document (and with it the source).
    int ExitInstance();

    CMainFrame* GetMainFrame() const { return m_pMainFrame; }
    CTarvoDoc* GetDocument() const { return m_pDocument; }
    CQtServices* GetServices() const { return m_pServices.get(); }

    // About and Exit; TRUE when nID is one of them.
    static BOOL OnAppCommand(QWidget* pMainWnd, UINT nID);
    static void OnAppAbout(QWidget* pMainWnd);

private:
    void DestroyFrameAndDocument();

    std::unique_ptr<CQtServices> m_pServices;
    CTarvoDoc* m_pDocument = nullptr;
    CMainFrame* m_pMainFrame = nullptr;
};
