#pragma once
// The application: start-up (services, document, main frame, first
// login), the application-level commands, and shut-down.

#include "platform/Types.h"

#include <QStringList>

#include <memory>
#include <vector>

class CMainFrame;
class CQtServices;
class CTarvoDoc;
class QObject;
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

    // File > New Window: another main window with a document and a login of
    // its own; NULL when its login was cancelled (the window is gone then).
    CMainFrame* OpenNewWindow();
    // Main windows open now (the program ends when the last has closed).
    int GetOpenWindowCount() const { return m_nOpenWindows; }
    // The windows opened with New Window that are still there.
    std::vector<CMainFrame*> GetOtherFrames() const;

    // About and Exit; TRUE when nID is one of them.
    static BOOL OnAppCommand(QWidget* pMainWnd, UINT nID);
    static void OnAppAbout(QWidget* pMainWnd);

private:
    void DestroyFrameAndDocument();
    // Makes the frame and document of a window and starts hearing of it.
    CMainFrame* CreateWindowFor(CTarvoDoc* pDocument);
    void OnFrameClosed(CMainFrame* pFrame);
    // Boxes, file dialogs and the status bar belong to the window in use.
    static void PlaceFrame(CMainFrame* pFrame, QWidget* pBeside);
    void ServeFrame(CMainFrame* pFrame);

    struct CWindow {
        CTarvoDoc* pDocument;
        CMainFrame* pFrame;
    };
    // Owned: the windows opened with New Window.
    std::vector<CWindow> m_otherWindows;
    // Receives the windows' signals: calls still queued for a closed window
    // go with it when the application object does.
    std::unique_ptr<QObject> m_pContext;
    int m_nOpenWindows = 0;

    std::unique_ptr<CQtServices> m_pServices;
    CTarvoDoc* m_pDocument = nullptr;
    CMainFrame* m_pMainFrame = nullptr;
};
