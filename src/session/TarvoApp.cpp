#include "session/TarvoApp.h"

#include "model/EntryNode.h"
#include "platform/Services.h"
#include "platform/qt/QtServices.h"
#include "session/AboutDlg.h"
#include "session/Commands.h"
#include "session/MainFrame.h"
#include "session/TarvoDoc.h"
#include "ui/ScreenFit.h"

#include <QApplication>

CTarvoApp::CTarvoApp(bool bInstallServices) {
    if (bInstallServices)
        m_pServices = std::make_unique<CQtServices>();
}

CTarvoApp::~CTarvoApp() {
    DestroyFrameAndDocument();
}

BOOL CTarvoApp::InitInstance(const QStringList& arguments) {
    // The tree lock exists before any worker can.
    CEntryNode::TreeLock();
    // No window larger than the screen, whatever the scale and font.
    CScreenFit::Install();

    // Workers may still be running when the last window closes; the
    // program ends when the frame has closed the document, not before.
    QApplication::setQuitOnLastWindowClosed(false);

    // The arguments after the options name a source to open: the login
    // window shows the first filled in (a file may start with a dash).
    CStartSource startSource;
    if (!arguments.isEmpty()) {
        QString error;
        if (!ParseStartSource(arguments.first(), startSource, error))
            AfxMessageBox(FromQString(error), MB_OK | MB_ICONSTOP);
    }

    m_pDocument = new CTarvoDoc;
    m_pMainFrame = new CMainFrame(m_pDocument);
    QObject::connect(m_pMainFrame, &CMainFrame::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    if (m_pServices) {
        m_pServices->m_boxes.SetOwner(m_pMainFrame);
        m_pServices->m_dialogs.SetOwner(m_pMainFrame);
        CMainFrame* pFrame = m_pMainFrame;
        m_pServices->m_status.SetTarget(
            pFrame, [pFrame](int nPane, const QString& text) { pFrame->SetPaneText(nPane, text); });
    }
    // The login sheet comes up over the visible frame.
    m_pMainFrame->show();

    m_pDocument->m_startSource = startSource;
    if (!m_pDocument->OnNewDocument()) {
        DestroyFrameAndDocument();
        return FALSE;
    }
    m_pMainFrame->showNormal();
    m_pMainFrame->update();
    return TRUE;
}

int CTarvoApp::ExitInstance() {
    DestroyFrameAndDocument();
    return 0;
}

void CTarvoApp::DestroyFrameAndDocument() {
    if (m_pMainFrame) {
        CMainFrame* pFrame = m_pMainFrame;
        m_pMainFrame = nullptr;
        QObject::disconnect(pFrame, &CMainFrame::Closed, qApp, nullptr);
        // The document stops its workers before the panes go away.
        if (pFrame->isVisible())
            pFrame->close();
        else if (m_pDocument)
            m_pDocument->DeleteContents();
        delete pFrame;
    }
    delete m_pDocument;
    m_pDocument = nullptr;
}

BOOL CTarvoApp::OnAppCommand(QWidget* pMainWnd, UINT nID) {
    switch (nID) {
    case ID_APP_ABOUT:
        OnAppAbout(pMainWnd);
        return TRUE;
    case ID_APP_EXIT:
        if (pMainWnd)
            pMainWnd->close();
        return TRUE;
    default:
        return FALSE;
    }
}

void CTarvoApp::OnAppAbout(QWidget* pMainWnd) {
    CAboutDlg dialog(pMainWnd);
    dialog.DoModal();
}
