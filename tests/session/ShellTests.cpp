// The application shell on real widgets: start-up and its cancel, the main
// frame's menus, toolbar, status bar and splitter, About and Help; the Qt
// services: message boxes (caption, icon, answer), a worker's box shown on
// the UI thread, the wait cursor around Open, the file dialogs.

#include "QtTestEnvironment.h"
#include "TestSource.h"

#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Thread.h"
#include "platform/qt/PlainText.h"
#include "session/CommandLine.h"
#include "session/HelpWindow.h"
#include "ui/ExportSettings.h"
#include "ui/ScreenFit.h"
#include "ui/SearchPanel.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QThread>
#include <QToolBar>

#include <atomic>

namespace {

// Cancelling the first login ends the program. A source named on the
// command line fills in that login, focused on its first empty field; what names nothing Tarvo
// can open is refused with a message.
TEST(TarvoApp, ASourceOnTheCommandLineFillsInTheFirstLoginWhoseCancelEndsTheProgram) {
    const struct {
        QStringList arguments;
        int nPage;
        QStringList fields; // LDAP: server, port, base; LDIF: file
    } cases[] = {
        {{}, 0, {QString::fromLatin1(kDefaultServers).section(';', 0, 0), "389", ""}},
        {{"/tmp/notes.ldif"}, 1, {"/tmp/notes.ldif"}},
        {{"here.ldif"}, 1, {QDir::current().absoluteFilePath("here.ldif")}},
        {{"-dash.ldif"}, 1, {QDir::current().absoluteFilePath("-dash.ldif")}},
        {{"ldap://ldap.example.org:1389/dc=example,dc=com"},
         0,
         {"ldap.example.org", "1389", "dc=example,dc=com"}},
        {{"ldap://127.0.0.1/ou=A%20B,dc=x??one"}, 0, {"127.0.0.1", "389", "ou=A B,dc=x"}},
        {{"ldaps://ldap.example.org/dc=x"}, 0, {"ldap.example.org", "636", "dc=x"}},
        {{"ldapi://%2Frun%2Fslapd%2Fldapi/dc=x"}, 0, {"ldapi://%2Frun%2Fslapd%2Fldapi", "389", "dc=x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        CTestServices services;
        CTarvoApp app(false);
        QStringList shown;
        int nPage = -1;
        bool bFirstEmptyFocused = false;
        DriveNextLoginSheet([&](CLoginSheet* pSheet) {
            ASSERT_NE(pSheet, nullptr);
            EXPECT_EQ(pSheet->windowTitle(), QStringLiteral("Login"));
            // Over its own window.
            EXPECT_EQ(pSheet->parentWidget(), app.GetMainFrame());
            nPage = pSheet->GetActivePageIndex();
            CLoginPage* pPage = nPage == 0 ? static_cast<CLoginPage*>(pSheet->GetLdapPage())
                                           : static_cast<CLoginPage*>(pSheet->GetLdifPage());
            // Typing starts in the first field left empty.
            bFirstEmptyFocused = pSheet->focusWidget() == pPage->GetFirstEmptyField();
            if (nPage == 0)
                shown << pSheet->GetLdapPage()->GetServerCombo()->currentText()
                      << pSheet->GetLdapPage()->GetPortCombo()->currentText()
                      << pSheet->GetLdapPage()->GetSearchBaseCombo()->currentText();
            else
                shown << pSheet->GetLdifPage()->GetFileCombo()->currentText();
            pPage->GetCancelButton()->click();
        });
        EXPECT_FALSE(app.InitInstance(c.arguments));
        EXPECT_EQ(nPage, c.nPage);
        EXPECT_EQ(shown, c.fields);
        EXPECT_TRUE(bFirstEmptyFocused);
        EXPECT_EQ(services.m_boxes.Count(), 0);
        EXPECT_EQ(app.GetMainFrame(), nullptr);
        EXPECT_EQ(app.GetDocument(), nullptr);
        EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
    }
    CStartSource source;
    QString error;
    EXPECT_FALSE(ParseStartSource(QStringLiteral("http://ldap.example.org"), source, error));
    EXPECT_EQ(error, QStringLiteral(
                         "Only ldap://, ldaps:// and ldapi:// URLs can be opened: http://ldap.example.org"));
    EXPECT_FALSE(ParseStartSource(QStringLiteral("ldap:///dc=x"), source, error));
    EXPECT_EQ(error, QStringLiteral("Not a usable LDAP URL: ldap:///dc=x"));
}

// What the command line asks for, read before any window exists.
TEST(CommandLine, OptionsSourcesAndMistakes) {
    const struct {
        QStringList arguments; // after the program's path
        CCommandLine::EAction eAction;
        QStringList sources;
        QString text; // a part of the help, version or error text
        bool bPlatform;
    } cases[] = {
        {{}, CCommandLine::kRun, {}, {}, false},
        {{"--help"},
         CCommandLine::kHelp,
         {},
         "Usage: tarvo [options] [FILE.ldif | ldap://host:port/base]",
         false},
        {{"-h"}, CCommandLine::kHelp, {}, "Usage: tarvo [options]", false},
        {{"--version"}, CCommandLine::kVersion, {}, "Tarvo 1.03A\n", false},
        {{"--bogus"}, CCommandLine::kError, {}, "Unknown option 'bogus'.", false},
        {{"--bogus", "a.ldif"}, CCommandLine::kError, {}, "Unknown option 'bogus'.", false},
        {{"a.ldif", "b.ldif"},
         CCommandLine::kError,
         {},
         "Only one LDIF file or LDAP URL can be opened.",
         false},
        {{"http://x"},
         CCommandLine::kError,
         {},
         "Only ldap://, ldaps:// and ldapi:// URLs can be opened",
         false},
        // "--" ends the options: what follows is a file even when it looks like one.
        {{"--", "-dash.ldif"}, CCommandLine::kRun, {"-dash.ldif"}, {}, false},
        {{"--", "--help"}, CCommandLine::kRun, {"--help"}, {}, false},
        // Qt's own options are QApplication's, not mistakes.
        {{"-platform", "offscreen", "a.ldif"}, CCommandLine::kRun, {"a.ldif"}, {}, true},
        {{"-style=fusion", "-reverse", "a.ldif"}, CCommandLine::kRun, {"a.ldif"}, {}, false},
        {{"--", "-platform"}, CCommandLine::kRun, {"-platform"}, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CCommandLine line = ParseCommandLine(QStringList{"/usr/local/bin/tarvo"} + c.arguments);
        EXPECT_EQ(line.eAction, c.eAction);
        EXPECT_EQ(line.sources, c.sources);
        EXPECT_TRUE(line.strText.contains(c.text)) << line.strText.toStdString();
        EXPECT_EQ(line.bPlatformGiven, c.bPlatform);
    }
}

// The real program: help and mistakes without a display, and a start with
// no display at all ends with a message instead of an abort.
TEST(CommandLine, TheProgramAnswersWithoutADisplay) {
    const struct {
        QStringList arguments;
        int nExitCode;
        QString out;
        QString err;
    } cases[] = {
        {{"--help"}, 0, "Usage: tarvo [options]", ""},
        {{"--version"}, 0, "Tarvo 1.03A", ""},
        {{"--bogus"}, 1, "", "tarvo: Unknown option 'bogus'."},
        {{}, 1, "", "tarvo: " + NoWindowSystemMessage()},
        {{"--", "-dash.ldif"}, 1, "", "tarvo: " + NoWindowSystemMessage()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* pszName : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(pszName));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TARVO_EXECUTABLE), c.arguments);
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), c.nExitCode);
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        EXPECT_TRUE(out.contains(c.out)) << out.toStdString();
        EXPECT_TRUE(err.contains(c.err)) << err.toStdString();
        if (c.err.isEmpty()) {
            EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        }
    }
}

class MainFrameTest : public CFrameTest {
protected:
    static QStringList MenuTexts(QWidget* pMenu) {
        QStringList texts;
        for (QAction* pAction : pMenu->actions())
            texts << (pAction->isSeparator() ? QStringLiteral("|") : pAction->text());
        return texts;
    }
};

TEST_F(MainFrameTest, MenusAndToolbarReadExactly) {
    QList<QAction*> top = m_pFrame->menuBar()->actions();
    ASSERT_EQ(MenuTexts(m_pFrame->menuBar()), (QStringList{"&File", "&Edit", "&View", "&Tools", "&Help"}));
    EXPECT_EQ(MenuTexts(top[0]->menu()),
              (QStringList{"New &Window", "&Open ", "&Close", "|", "&Refresh", "S&top", "|", "&Save to LDIF",
                           "&Export Subtree...", "&Import LDIF...", "|", "E&xit"}));
    EXPECT_EQ(MenuTexts(top[1]->menu()),
              (QStringList{"Cu&t", "&Copy", "Copy as &LDIF", "Copy &Entry", "Copy &Subtree", "&Paste"}));
    EXPECT_EQ(MenuTexts(top[2]->menu()), (QStringList{"&Operational Attributes"}));
    QMenu* pTools = top[3]->menu();
    EXPECT_EQ(MenuTexts(pTools), (QStringList{"&Entry", "&Attributes", "|", "Searc&h...", "Sche&ma",
                                              "Set &Password...", "|", "&Settings"}));
    EXPECT_EQ(MenuTexts(pTools->actions()[0]->menu()), (QStringList{"&Add", "&Delete", "&Modify"}));
    EXPECT_EQ(MenuTexts(pTools->actions()[1]->menu()), (QStringList{"&Add", "&Delete", "&Modify"}));
    EXPECT_EQ(MenuTexts(top[4]->menu()), (QStringList{"&Contents", "|", "&About Tarvo..."}));
    // View > Operational Attributes is a switch kept in the profile.
    QAction* pOperational = m_pFrame->GetCommandAction(ID_VIEW_OPERATIONAL);
    EXPECT_TRUE(pOperational->isCheckable());
    EXPECT_FALSE(pOperational->isChecked());
    EXPECT_TRUE(m_pFrame->OnCommand(ID_VIEW_OPERATIONAL));
    EXPECT_TRUE(pOperational->isChecked());
    EXPECT_TRUE(CExportSettings().GetShowOperational());
    EXPECT_TRUE(m_pFrame->OnCommand(ID_VIEW_OPERATIONAL));
    EXPECT_FALSE(CExportSettings().GetShowOperational());
    // The keys show beside their items.
    const struct {
        UINT nID;
        QKeySequence key;
    } keys[] = {{ID_FILE_REFRESH, QKeySequence(Qt::Key_F5)},
                {ID_EDIT_COPY, QKeySequence(Qt::CTRL | Qt::Key_C)},
                {ID_EDIT_COPY_LDIF, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)},
                {ID_TOOLS_ENTRY_DELETE, QKeySequence(Qt::Key_Delete)},
                {ID_TOOLS_ATTR_DELETE, QKeySequence(Qt::Key_Delete)},
                {ID_TOOLS_SEARCH, QKeySequence(Qt::CTRL | Qt::Key_F)},
                {ID_FILE_NEW_WINDOW, QKeySequence(Qt::CTRL | Qt::Key_N)},
                {ID_EDIT_CUT, QKeySequence(Qt::CTRL | Qt::Key_X)},
                {ID_EDIT_PASTE, QKeySequence(Qt::CTRL | Qt::Key_V)}};
    for (const auto& k : keys)
        EXPECT_EQ(m_pFrame->GetCommandAction(k.nID)->shortcut(), k.key) << k.nID;
    // The menu items carry their commands.
    EXPECT_EQ(top[0]->menu()->actions()[2]->data().toUInt(), ID_FILE_CLOSE_SESSION);
    EXPECT_EQ(pTools->actions()[0]->menu()->actions()[0]->data().toUInt(), ID_TOOLS_ENTRY_ADD);
    EXPECT_EQ(pTools->actions()[1]->menu()->actions()[2]->data().toUInt(), ID_TOOLS_ATTR_MODIFY);

    // The toolbar: order, tooltips and prompts.
    QStringList layout;
    for (QAction* pAction : m_pFrame->GetToolBar()->actions())
        layout << (pAction->isSeparator() ? QStringLiteral("|") : QString::number(pAction->data().toUInt()));
    EXPECT_EQ(layout, (QStringList{"32805", "32795", "|", "32794", "32807", "32830", "|", "32827", "32828",
                                   "32829", "|", "32824", "32825", "32826", "|", "32834"}));
    EXPECT_EQ(m_pFrame->GetToolBar()->iconSize(), QSize(16, 16));
    for (QAction* pAction : m_pFrame->GetToolBar()->actions()) {
        if (pAction->isSeparator())
            continue;
        EXPECT_FALSE(pAction->icon().isNull()) << pAction->data().toUInt();
        QWidget* pButton = m_pFrame->GetToolBar()->widgetForAction(pAction);
        ASSERT_NE(pButton, nullptr);
        EXPECT_EQ(pButton->size(), QSize(24, 24));
    }
    QAction* pStop = m_pFrame->GetCommandAction(ID_FILE_STOP);
    // Escape is Stop, and its button says so.
    EXPECT_EQ(pStop->toolTip(), QStringLiteral("Stop (Esc)"));
    EXPECT_EQ(pStop->shortcut(), QKeySequence(Qt::Key_Escape));
    EXPECT_EQ(pStop->statusTip(), QStringLiteral("Stops the current operation "));
    EXPECT_EQ(m_pFrame->GetCommandAction(ID_FILE_OPEN_SOURCE)->statusTip(),
              QStringLiteral("Opens the specified Data Source."));
    EXPECT_EQ(m_pFrame->GetCommandAction(ID_FILE_OPEN_SOURCE)->toolTip(), QStringLiteral("Open"));
    EXPECT_EQ(m_pFrame->GetCommandAction(ID_TB_ADD_ATTRIBUTES)->toolTip(), QStringLiteral("Add Attributes"));
    EXPECT_EQ(m_pFrame->GetCommandAction(ID_TB_DELETE_ENTRY)->toolTip(), QStringLiteral("Delete Entry"));
    EXPECT_EQ(m_pFrame->GetCommandAction(ID_TB_ADD_ENTRY)->statusTip(),
              QStringLiteral("Adds an entry below the selected node "));
    EXPECT_EQ(QString::fromStdString(GetCommandPrompt(ID_ATTRIBUTE_ADD).Str()),
              QStringLiteral("Adds an attribute and its value to the existing list"));
    EXPECT_EQ(m_pFrame->GetCommandAction(ID_FILE_SAVE_LDIF)->statusTip(),
              QStringLiteral("Dumps the directory structure from the selected entries into a LDIF file"));
    EXPECT_TRUE(m_pFrame->GetCommandAction(ID_TOOLS_ENTRY_ADD)->statusTip().isEmpty());
    EXPECT_EQ(
        m_pFrame->GetCommandAction(ID_FILE_IMPORT_LDIF)->statusTip(),
        QStringLiteral(
            "Applies the entries and changes of an LDIF file to the open server (not to an LDIF file)"));
    EXPECT_FALSE(m_pFrame->IsCommandEnabled(ID_FILE_IMPORT_LDIF)); // no session yet

    // Hovering shows the prompt in pane 0; leaving brings "Ready" back.
    EXPECT_EQ(m_pFrame->GetPaneText(0), QStringLiteral("Ready"));
    pStop->showStatusText(m_pFrame.get());
    EXPECT_EQ(m_pFrame->GetPaneText(0), QStringLiteral("Stops the current operation "));
    m_pFrame->statusBar()->clearMessage();
    EXPECT_EQ(m_pFrame->GetPaneText(0), QStringLiteral("Ready"));
}

TEST_F(MainFrameTest, StatusPanesAndSplitterAtStart) {
    EXPECT_EQ(m_pFrame->GetPaneLabel(1)->width(), 250);
    EXPECT_EQ(m_pFrame->GetPaneLabel(2)->width(), 250);
    EXPECT_EQ(m_pFrame->GetPaneLabel(1)->frameShadow(), QFrame::Raised);
    EXPECT_EQ(m_pFrame->GetPaneLabel(2)->frameShadow(), QFrame::Raised);
    EXPECT_GT(m_pFrame->GetPaneLabel(0)->width(), 250); // pane 0 takes the rest
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("Tarvo"));
    QSplitter* pSplitter = m_pFrame->GetSplitter();
    ASSERT_EQ(pSplitter->count(), 2);
    EXPECT_EQ(pSplitter->widget(0), m_pFrame->GetTreeView());
    EXPECT_EQ(pSplitter->widget(1), m_pFrame->GetListView());
    ASSERT_EQ(pSplitter->sizes().size(), 2);
    EXPECT_EQ(pSplitter->sizes()[0], 300);
    EXPECT_GT(pSplitter->sizes()[1], 300);

    // Texts written through the status service land in the frame's panes.
    CQtStatusBar status;
    CMainFrame* pFrame = m_pFrame.get();
    status.SetTarget(pFrame, [pFrame](int nPane, const QString& text) { pFrame->SetPaneText(nPane, text); });
    CServices::SetStatusBar(&status);
    m_pDoc->SetStatusText("Searching  dc=example,dc=com", 1);
    m_pDoc->SetStatusText("3 Attributes Found", 2);
    EXPECT_EQ(m_pFrame->GetPaneText(1), QStringLiteral("Searching  dc=example,dc=com"));
    EXPECT_EQ(m_pFrame->GetPaneText(2), QStringLiteral("3 Attributes Found"));
    // A pane grows with its text up to a share of the window; beyond that
    // the text is cut in the middle and whole in the tooltip.
    QLabel* pPane = m_pFrame->GetPaneLabel(1);
    const QString completed = QStringLiteral("Search Completed  -  500 entries found (size limit reached)");
    m_pFrame->resize(QSize(1400, 600).boundedTo(m_pFrame->screen()->availableGeometry().size()));
    PumpEvents();
    m_pDoc->SetStatusText(FromQString(completed), 1);
    if (pPane->fontMetrics().horizontalAdvance(completed) < m_pFrame->width() * 0.35) {
        EXPECT_EQ(pPane->text(), completed);
        EXPECT_TRUE(pPane->toolTip().isEmpty());
        EXPECT_GT(pPane->width(), 250);
    }
    EXPECT_LE(pPane->sizeHint().width(), pPane->width());
    const QString added = QStringLiteral("Node successfully added: cn=Someone With A Rather Long Name,"
                                         "ou=A Department With A Long Name Too,ou=People,dc=example,dc=com");
    m_pFrame->resize(700, 500);
    PumpEvents();
    m_pDoc->SetStatusText(FromQString(added), 1);
    EXPECT_EQ(m_pFrame->GetPaneText(1), added);
    EXPECT_EQ(ToolTipPlainText(pPane->toolTip()), added);
    EXPECT_TRUE(pPane->text().endsWith(QStringLiteral("dc=com"))) << pPane->text().toStdString();
    EXPECT_LE(pPane->sizeHint().width(), pPane->width());
    EXPECT_LE(pPane->width(), m_pFrame->width() * 0.4 + 1);
    // Short again: back to its usual width.
    m_pDoc->SetStatusText("Ready", 1);
    EXPECT_LE(pPane->width(), 250);
    // With the frame gone nothing happens.
    m_pFrame.reset();
    m_pDoc->SetStatusText("late", 0);
    CServices::SetStatusBar(&m_services.m_status);
}

// Escape is the Stop command wherever the focus is in the window.
TEST_F(MainFrameTest, EscapeStopsTheRunningOperation) {
    m_pDoc->SetSessionFlags();
    m_pFrame->UpdateCommandUI();
    QApplication::setActiveWindow(m_pFrame.get());
    { CEntryNode fresh; } // a new node clears an earlier request
    ASSERT_FALSE(CEntryNode::IsStopRequested());
    for (QWidget* pPane :
         {static_cast<QWidget*>(m_pFrame->GetTreeView()), static_cast<QWidget*>(m_pFrame->GetListView())}) {
        { CEntryNode fresh; }
        pPane->setFocus(Qt::OtherFocusReason);
        PumpEvents();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : pPane, Qt::Key_Escape);
        EXPECT_TRUE(CEntryNode::IsStopRequested());
    }
    { CEntryNode fresh; }
}

TEST_F(MainFrameTest, FocusInAPaneMakesItTheActivePane) {
    m_pDoc->SetSessionFlags();
    QApplication::setActiveWindow(m_pFrame.get());
    PumpEvents();
    auto firstFocusable = [](QWidget* pPane) -> QWidget* {
        for (QWidget* pChild : pPane->findChildren<QWidget*>())
            if (pChild->focusPolicy() & Qt::ClickFocus)
                return pChild;
        return nullptr;
    };
    QWidget* pTreeControl = firstFocusable(m_pFrame->GetTreeView());
    QWidget* pListControl = firstFocusable(m_pFrame->GetListView());
    if (!pTreeControl || !pListControl)
        GTEST_SKIP() << "the panes have no controls";
    pListControl->setFocus(Qt::MouseFocusReason);
    PumpEvents();
    EXPECT_EQ(m_pFrame->GetActivePane(), m_pFrame->GetListView());
    EXPECT_FALSE(m_pDoc->m_bEntryCommandsEnabled);
    EXPECT_TRUE(m_pDoc->m_bAttributeCommandsEnabled);
    pTreeControl->setFocus(Qt::MouseFocusReason);
    PumpEvents();
    EXPECT_EQ(m_pFrame->GetActivePane(), m_pFrame->GetTreeView());
    EXPECT_TRUE(m_pDoc->m_bEntryCommandsEnabled);
    EXPECT_FALSE(m_pDoc->m_bAttributeCommandsEnabled);
    // The F6 key moves the focus as well as the activation; Shift+F6 back.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    PumpEvents();
    EXPECT_EQ(m_pFrame->GetActivePane(), m_pFrame->GetListView());
    EXPECT_TRUE(m_pFrame->GetListView()->isAncestorOf(QApplication::focusWidget()));
    EXPECT_TRUE(m_pDoc->m_bAttributeCommandsEnabled);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
    PumpEvents();
    EXPECT_EQ(m_pFrame->GetActivePane(), m_pFrame->GetTreeView());
    EXPECT_TRUE(m_pFrame->GetTreeView()->isAncestorOf(QApplication::focusWidget()));
    EXPECT_TRUE(m_pDoc->m_bEntryCommandsEnabled);
}

TEST_F(MainFrameTest, AboutHelpAndExit) {
    QStringList texts;
    QString title;
    DriveNextModal([&](QWidget* pModal) {
        title = pModal->windowTitle();
        for (QLabel* pLabel : pModal->findChildren<QLabel*>())
            texts << pLabel->text();
        auto* pOK = pModal->findChild<QPushButton*>();
        ASSERT_NE(pOK, nullptr);
        EXPECT_EQ(pOK->text(), QStringLiteral("&OK"));
        pOK->click();
    });
    EXPECT_TRUE(m_pFrame->OnCommand(ID_APP_ABOUT));
    EXPECT_EQ(title, QStringLiteral("About Tarvo"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Tarvo")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Version 1.03A")));

    // Help Contents shows the program's own page; asked again, the same window.
    EXPECT_TRUE(m_pFrame->OnCommand(ID_HELP_CONTENTS));
    auto* pHelp = m_pFrame->findChild<CHelpWindow*>();
    ASSERT_NE(pHelp, nullptr);
    EXPECT_TRUE(pHelp->isVisible());
    const QString text = pHelp->GetBrowser()->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("tree pane")));
    EXPECT_TRUE(text.contains(QStringLiteral("Save to LDIF")));
    m_pFrame->OnHelpContents();
    EXPECT_EQ(m_pFrame->findChildren<CHelpWindow*>().size(), 1);

    // Exit closes the window after the document let go.
    bool bClosed = false;
    QObject::connect(m_pFrame.get(), &CMainFrame::Closed, m_pFrame.get(), [&bClosed] { bClosed = true; });
    EXPECT_TRUE(m_pFrame->OnCommand(ID_APP_EXIT));
    EXPECT_TRUE(bClosed);
    EXPECT_FALSE(m_pFrame->isVisible());
}

TEST(LoginSheetHelp, HelpFromTheModalSheetOpensAWindowThatBelongsToIt) {
    CTestServices services;
    auto pSheet = ShowLoginSheet();
    pSheet->GetLdapPage()->GetHelpButton()->click();
    auto* pHelp = pSheet->findChild<CHelpWindow*>();
    ASSERT_NE(pHelp, nullptr);
    EXPECT_TRUE(pHelp->isVisible());
    EXPECT_FALSE(pHelp->isModal());
    EXPECT_TRUE(pHelp->GetBrowser()->toPlainText().contains(QStringLiteral("LDIF File")));
}

struct CBoxSeen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool bOnUIThread = false;
};

// Answers the next message box with the given button and records it.
void AnswerNextBox(CBoxSeen* pSeen, QMessageBox::StandardButton button) {
    DriveNextModal([pSeen, button](QWidget* pModal) {
        auto* pBox = qobject_cast<QMessageBox*>(pModal);
        ASSERT_NE(pBox, nullptr);
        pSeen->title = pBox->windowTitle();
        pSeen->text = pBox->text();
        pSeen->icon = pBox->icon();
        pSeen->defaultButton =
            pBox->defaultButton() ? pBox->standardButton(pBox->defaultButton()) : QMessageBox::NoButton;
        pSeen->bOnUIThread = QThread::currentThread() == qApp->thread();
        pBox->button(button)->click();
    });
}

// A worker's box is shown on the UI thread while the worker waits.
TEST(CQtMessageBoxes, CaptionIconAndAnswerAlsoForAWorkersBox) {
    CQtMessageBoxes boxes;
    CServices::SetMessageBoxes(&boxes);
    struct {
        UINT nType;
        QMessageBox::Icon icon;
        QMessageBox::StandardButton button;
        int nAnswer;
        QMessageBox::StandardButton defaultButton; // what Enter presses (a lone OK needs none set)
    } cases[] = {
        {MB_OK | MB_ICONSTOP, QMessageBox::Critical, QMessageBox::Ok, IDOK, QMessageBox::NoButton},
        {MB_OK | MB_ICONEXCLAMATION, QMessageBox::Warning, QMessageBox::Ok, IDOK, QMessageBox::NoButton},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, QMessageBox::No, IDNO, QMessageBox::Yes},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, QMessageBox::Yes, IDYES, QMessageBox::Yes},
        // A question whose Yes deletes: No is what Enter answers.
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, QMessageBox::Question, QMessageBox::Yes, IDYES,
         QMessageBox::No},
        {MB_OKCANCEL | MB_ICONINFORMATION, QMessageBox::Information, QMessageBox::Cancel, IDCANCEL,
         QMessageBox::Ok},
    };
    for (const auto& c : cases) {
        CBoxSeen seen;
        AnswerNextBox(&seen, c.button);
        EXPECT_EQ(AfxMessageBox("Error - Invalid LDAP server.", c.nType), c.nAnswer);
        EXPECT_EQ(seen.title, QStringLiteral("Tarvo"));
        EXPECT_EQ(seen.text, QStringLiteral("Error - Invalid LDAP server."));
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.defaultButton, c.defaultButton);
    }

    CQtDispatcherWakeup wakeup; // the program's way of waking the UI thread
    CBoxSeen seen;
    AnswerNextBox(&seen, QMessageBox::Ok);
    static std::atomic<int> s_nAnswer{0};
    s_nAnswer = 0;
    HANDLE hThread = AfxBeginThread(
        [](void*) -> UINT {
            s_nAnswer = AfxMessageBox("Searching failed", MB_OK | MB_ICONSTOP);
            return 0;
        },
        nullptr);
    // The UI thread only runs its event loop; the wakeup brings the box in.
    QElapsedTimer timer;
    timer.start();
    while (IsThreadRunning(hThread) && timer.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(WaitForSingleObject(hThread, 0), WAIT_OBJECT_0);
    CloseHandle(hThread);
    EXPECT_EQ(s_nAnswer, IDOK);
    EXPECT_TRUE(seen.bOnUIThread);
    EXPECT_EQ(seen.text, QStringLiteral("Searching failed"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    CServices::SetMessageBoxes(nullptr);
}

TEST(CQtWaitCursor, ShownWhileTheSourceOpensAndGoneAfterwards) {
    CTestServices services;
    CQtWaitCursor cursor;
    CServices::SetWaitCursor(&cursor);
    CTestSourceLog log;
    Qt::CursorShape shapeDuringOpen = Qt::ArrowCursor;
    log.fnOnOpen = [&shapeDuringOpen] {
        if (QApplication::overrideCursor())
            shapeDuringOpen = QApplication::overrideCursor()->shape();
    };
    for (bool bSucceeds : {false, true}) {
        auto pSheet = ShowLoginSheet();
        pSheet->m_fnCreateSource = [&log, bSucceeds](CLoginSheet::ESourceKind) -> CDataSource* {
            return new CTestSource(&log, bSucceeds);
        };
        FillLdapPage(pSheet->GetLdapPage(), QStringLiteral("127.0.0.1"));
        shapeDuringOpen = Qt::ArrowCursor;
        pSheet->GetLdapPage()->OnOK();
        EXPECT_EQ(shapeDuringOpen, Qt::WaitCursor);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        delete pSheet->GetOpenedSource();
    }
    CServices::SetWaitCursor(nullptr);
}

TEST(CQtFileDialogs, TheOpenDialogTakesOnlyAnExistingFileAndGivesItsFullPath) {
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("people.ldif"));
    WriteWholeFile(existing.toStdString(), "dn: dc=example,dc=com\n");
    CQtFileDialogs dialogs;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QString title;
    QStringList filters;
    DriveNextModal([&](QWidget* pModal) {
        auto* pDialog = qobject_cast<QFileDialog*>(pModal);
        ASSERT_NE(pDialog, nullptr);
        mode = pDialog->fileMode();
        title = pDialog->windowTitle();
        filters = pDialog->nameFilters();
        pDialog->selectFile(existing);
        static_cast<QDialog*>(pDialog)->accept();
    });
    CString chosen;
    EXPECT_TRUE(dialogs.ChooseFile(TRUE, "Open LdifFile", "",
                                   "Text File (*.txt) | *.txt|All Files (*.*) | *.*||", TRUE, chosen));
    EXPECT_EQ(chosen, FromQString(existing));
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    EXPECT_EQ(title, QStringLiteral("Open LdifFile"));
    EXPECT_EQ(filters, (QStringList{QStringLiteral("Text File (*.txt)"), QStringLiteral("All Files (*.*)")}));

    // A dialog that may name a new file, cancelled: nothing chosen.
    DriveNextModal([&](QWidget* pModal) {
        auto* pDialog = qobject_cast<QFileDialog*>(pModal);
        ASSERT_NE(pDialog, nullptr);
        mode = pDialog->fileMode();
        pDialog->reject();
    });
    chosen = "unchanged";
    EXPECT_FALSE(dialogs.ChooseFile(TRUE, "Save As", "SaveAsLdif.txt", "", FALSE, chosen));
    EXPECT_EQ(mode, QFileDialog::AnyFile);
    EXPECT_EQ(chosen, "unchanged");
}

} // namespace

namespace {

// Every visible control of the window lies inside it, at least as tall as
// it asks to be.
void ExpectControlsInside(QWidget* pWindow, const std::string& where) {
    for (QWidget* pChild : pWindow->findChildren<QWidget*>()) {
        if (!pChild->isVisibleTo(pWindow) || pChild->isWindow() ||
            QByteArray(pChild->metaObject()->className()).startsWith("QDockWidget") ||
            !(qobject_cast<QAbstractButton*>(pChild) || qobject_cast<QComboBox*>(pChild) ||
              qobject_cast<QLineEdit*>(pChild) || qobject_cast<QLabel*>(pChild)))
            continue;
        // What scrolls is reached by scrolling: its scroll area must show.
        QWidget* pShown = pChild;
        for (QWidget* p = pChild->parentWidget(); p && p != pWindow; p = p->parentWidget())
            if (qobject_cast<QScrollArea*>(p))
                pShown = p;
        const QRect inWindow(pShown->mapTo(pWindow, QPoint(0, 0)), pShown->size());
        EXPECT_TRUE(pWindow->rect().contains(inWindow))
            << where << ": " << pChild->metaObject()->className() << " " << pChild->objectName().toStdString()
            << " lies outside the window";
        // A pixel or two less than asked for still shows the control; a
        // control squeezed to a sliver does not.
        EXPECT_GE(pChild->height(), pChild->minimumSizeHint().height() * 3 / 4)
            << where << ": " << pChild->metaObject()->className() << " is squeezed";
    }
}

} // namespace

// The main window with its search panel, the login window and Help fit the
// screen whole at the default font and one half larger (and, run again by
// CTest, at twice the scale on a 1600 by 1000 screen).
TEST(ScreenFit, TheMainWindowItsSearchPanelTheLoginAndHelpFitTheScreen) {
    const QFont defaultFont = QApplication::font();
    for (double dScale : {1.0, 1.5}) {
        const std::string where = std::to_string(dScale) + "x font";
        QFont font = defaultFont;
        font.setPointSizeF(defaultFont.pointSizeF() * dScale);
        QApplication::setFont(font);
        CTestServices services;
        CTarvoDoc doc;
        CMainFrame frame(&doc);
        frame.show();
        frame.GetSearchPanel()->show();
        PumpEvents();
        const QRect screen = frame.screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(frame.frameGeometry()))
            << where << ": " << frame.width() << "x" << frame.height() << " on " << screen.width() << "x"
            << screen.height();
        ExpectControlsInside(&frame, where);

        CLoginSheet sheet(QStringLiteral("Login"), &frame, 0);
        sheet.show();
        PumpEvents();
        EXPECT_TRUE(screen.contains(sheet.frameGeometry())) << where << ": login";
        // Centred on its own window where the screen lets it be.
        if (sheet.height() < screen.height() - 40 && sheet.width() < screen.width() - 40) {
            EXPECT_LE((sheet.geometry().center() - frame.geometry().center()).manhattanLength(), 4) << where;
        }

        // Help is long: it scrolls rather than growing past the screen.
        QWidget* pHelp = ShowHelpContents(&frame);
        PumpEvents();
        ASSERT_NE(pHelp, nullptr);
        EXPECT_TRUE(screen.contains(pHelp->frameGeometry()))
            << where << ": help " << pHelp->width() << "x" << pHelp->height();
        delete pHelp;
    }
    QApplication::setFont(defaultFont);
}

// A dialog that already fits is centred on its window too, not left at the
// screen's corner where it was made.
TEST(ScreenFit, ADialogThatFitsIsCentredOnItsOwnWindow) {
    CScreenFit::Install();
    QWidget owner;
    owner.resize(400, 300);
    owner.move(150, 120);
    owner.show();
    PumpEvents();
    QDialog dialog(&owner);
    dialog.resize(200, 100);
    dialog.show();
    PumpEvents();
    EXPECT_LE((dialog.geometry().center() - owner.geometry().center()).manhattanLength(), 4)
        << dialog.x() << "," << dialog.y();
}
