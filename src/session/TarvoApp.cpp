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
#include <QGuiApplication>
#include <QScreen>

CTarvoApp::CTarvoApp(bool bInstallServices) : m_pContext(std::make_unique<QObject>()) {
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
    m_pMainFrame = CreateWindowFor(m_pDocument);
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

CMainFrame* CTarvoApp::CreateWindowFor(CTarvoDoc* pDocument) {
    QWidget* pBeside = QApplication::activeWindow();
    auto* pFrame = new CMainFrame(pDocument);
    PlaceFrame(pFrame, pBeside ? pBeside->window() : nullptr);
    ++m_nOpenWindows;
    QObject::connect(
        pFrame, &CMainFrame::Closed, m_pContext.get(), [this, pFrame] { OnFrameClosed(pFrame); },
        Qt::QueuedConnection);
    QObject::connect(pFrame, &CMainFrame::NewWindowRequested, m_pContext.get(), [this] { OpenNewWindow(); });
    QObject::connect(qApp, &QApplication::focusChanged, pFrame, [this, pFrame](QWidget*, QWidget* pNow) {
        if (pNow && pNow->window() == pFrame)
            ServeFrame(pFrame);
    });
    ServeFrame(pFrame);
    return pFrame;
}

void CTarvoApp::PlaceFrame(CMainFrame* pFrame, QWidget* pBeside) {
    // Placed by the program, not left to the window manager: the login
    // sheet comes up before the manager has placed the frame, and would
    // centre itself on the frame's unplaced corner of the screen. A new
    // window goes a little below and right of the one it came from.
    QScreen* pScreen = pBeside ? pBeside->screen() : QGuiApplication::primaryScreen();
    if (!pScreen)
        return;
    const QRect room = pScreen->availableGeometry();
    QRect placed = pFrame->geometry();
    constexpr int kCascade = 32;
    if (pBeside && pBeside->isVisible())
        placed.moveTopLeft(pBeside->geometry().topLeft() + QPoint(kCascade, kCascade));
    else
        placed.moveCenter(room.center());
    if (!room.contains(placed))
        placed.moveCenter(room.center());
    pFrame->move(placed.topLeft());
}

void CTarvoApp::ServeFrame(CMainFrame* pFrame) {
    if (!m_pServices)
        return;
    m_pServices->m_boxes.SetOwner(pFrame);
    m_pServices->m_dialogs.SetOwner(pFrame);
    m_pServices->m_status.SetTarget(
        pFrame, [pFrame](int nPane, const QString& text) { pFrame->SetPaneText(nPane, text); });
}

CMainFrame* CTarvoApp::OpenNewWindow() {
    auto* pDocument = new CTarvoDoc;
    CMainFrame* pFrame = CreateWindowFor(pDocument);
    m_otherWindows.push_back({pDocument, pFrame});
    pFrame->show();
    // A cancelled login closes this window only.
    if (!pDocument->OnNewDocument())
        return nullptr;
    pFrame->showNormal();
    return pFrame;
}

std::vector<CMainFrame*> CTarvoApp::GetOtherFrames() const {
    std::vector<CMainFrame*> frames;
    for (const CWindow& window : m_otherWindows)
        frames.push_back(window.pFrame);
    return frames;
}

void CTarvoApp::OnFrameClosed(CMainFrame* pFrame) {
    --m_nOpenWindows;
    // The first window's frame and document stay until the program ends;
    // another window goes as soon as it has closed.
    for (auto it = m_otherWindows.begin(); it != m_otherWindows.end(); ++it) {
        if (it->pFrame != pFrame)
            continue;
        const CWindow window = *it;
        m_otherWindows.erase(it);
        delete window.pFrame;
        delete window.pDocument;
        break;
    }
    if (m_nOpenWindows <= 0) {
        QCoreApplication::quit();
        return;
    }
    // Whatever window is left serves the boxes and the status bar.
    if (m_pMainFrame && m_pMainFrame != pFrame && m_pMainFrame->isVisible())
        ServeFrame(m_pMainFrame);
    else if (!m_otherWindows.empty())
        ServeFrame(m_otherWindows.back().pFrame);
}

void CTarvoApp::DestroyFrameAndDocument() {
    for (const CWindow& window : m_otherWindows) {
        QObject::disconnect(window.pFrame, &CMainFrame::Closed, m_pContext.get(), nullptr);
        if (window.pFrame->isVisible())
            window.pFrame->close();
        else
            window.pDocument->DeleteContents();
        delete window.pFrame;
        delete window.pDocument;
    }
    m_otherWindows.clear();
    if (m_pMainFrame) {
        CMainFrame* pFrame = m_pMainFrame;
        m_pMainFrame = nullptr;
        QObject::disconnect(pFrame, &CMainFrame::Closed, m_pContext.get(), nullptr);
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
