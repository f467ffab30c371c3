// The document with the real main frame and panes: the flag sets, command
// routing and enablement, Stop, Close and the shutdown handshake.

#include "QtTestEnvironment.h"
#include "RecordingListener.h"
#include "TestSource.h"

#include "platform/Thread.h"

#include <QAction>

#include <array>

namespace {

// Open, Stop, Close, Refresh, Save to LDIF, entry commands, attribute commands.
using CFlags = std::array<bool, 7>;

CFlags FlagsOf(const CTarvoDoc& doc) {
    return {doc.m_bOpenEnabled,
            doc.m_bStopEnabled,
            doc.m_bCloseEnabled,
            doc.m_bRefreshEnabled,
            doc.m_bSaveLdifEnabled,
            doc.m_bEntryCommandsEnabled,
            doc.m_bAttributeCommandsEnabled};
}

const CFlags kNoSession{true, false, false, false, false, false, false};
const CFlags kSession{false, true, true, true, true, true, true};

class DocumentTest : public CFrameTest {
protected:
    void TearDown() override {
        m_pDoc->DeleteContents();
        CFrameTest::TearDown();
        // A fresh node clears the stop request for the next test.
        delete new CEntryNode;
    }

    // Runs the document's login; the sheet is driven from inside its own
    // modal loop and OK pressed on the LDAP page.
    BOOL Login(bool bOpenSucceeds, bool bCancel = false) {
        PrepareLogin(bOpenSucceeds, bCancel);
        return m_pDoc->ShowLogin();
    }

    // The root entry selected in the tree and shown in the attribute pane,
    // as after a click on it, but with no pane activated.
    void ShowRoot() {
        CLdapTreeView* pTree = m_pFrame->GetTreeView();
        HTREEITEM hRoot = pTree->GetRootItem();
        pTree->SelectItem(hRoot);
        m_pDoc->UpdateAllViews(nullptr, HINT_SHOW_ENTRY, pTree->GetItemEntry(hRoot));
        m_pFrame->UpdateCommandUI();
    }

    void PrepareLogin(bool bOpenSucceeds, bool bCancel) {
        m_pDoc->m_fnBeforeLogin = [this, bOpenSucceeds, bCancel](CLoginSheet& sheet) {
            sheet.m_fnCreateSource = [this, bOpenSucceeds](CLoginSheet::ESourceKind) -> CDataSource* {
                auto* pSource = new CTestSource(&m_log, bOpenSucceeds);
                m_pSource = pSource;
                return pSource;
            };
            CLoginSheet* pSheet = &sheet;
            QTimer::singleShot(0, pSheet, [pSheet, bOpenSucceeds, bCancel] {
                if (!bCancel) {
                    FillLdapPage(pSheet->GetLdapPage(), QStringLiteral("127.0.0.1"), {}, {}, {},
                                 QStringLiteral("dc=example,dc=com"));
                    pSheet->GetLdapPage()->OnOK();
                }
                // A failed Open leaves the sheet open: the user gives up.
                if (bCancel || !bOpenSucceeds)
                    pSheet->GetLdapPage()->OnCancel();
            });
        };
    }

    CTestSourceLog m_log;
    CTestSource* m_pSource = nullptr;
};

TEST_F(DocumentTest, TheFlagSetsFollowTheSessionSerializeOnlyTellsAndACancelledOpenKeepsNone) {
    EXPECT_EQ(FlagsOf(*m_pDoc), kNoSession);
    EXPECT_EQ(m_pDoc->GetView(0), m_pFrame->GetTreeView());
    EXPECT_EQ(m_pDoc->GetView(1), m_pFrame->GetListView());
    EXPECT_EQ(m_pDoc->GetView(2), nullptr);

    // Serialize only tells the user.
    m_pDoc->OnOpenDocument("/tmp/whatever.txt");
    ASSERT_EQ(m_services.m_boxes.Count(), 1);
    EXPECT_EQ(m_services.m_boxes.LastText(), "Serializing");
    EXPECT_EQ(m_services.m_boxes.Boxes()[0].nType, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(FlagsOf(*m_pDoc), kNoSession);

    // A login from Open, cancelled, keeps the program without a session.
    PrepareLogin(true, true);
    EXPECT_TRUE(m_pFrame->OnCommand(ID_FILE_OPEN_SOURCE));
    PumpEvents();
    // The command ran the sheet (cancelled below) and the frame stays.
    EXPECT_TRUE(m_pFrame->isVisible());
    EXPECT_EQ(FlagsOf(*m_pDoc), kNoSession);

    EXPECT_FALSE(Login(false));
    EXPECT_EQ(FlagsOf(*m_pDoc), kNoSession);
    EXPECT_EQ(m_pDoc->GetDataSource(), nullptr);
    EXPECT_EQ(m_log.nDestroyed, 1);

    EXPECT_FALSE(Login(true, true));
    EXPECT_EQ(FlagsOf(*m_pDoc), kNoSession);

    ASSERT_TRUE(Login(true));
    EXPECT_EQ(FlagsOf(*m_pDoc), kSession);
    EXPECT_EQ(m_pDoc->GetDataSource(), m_pSource);
    // The root entry went to the tree pane.
    EXPECT_EQ(TopLevelRows(m_pFrame->GetTreeView()), 1);

    // Menu items and buttons follow the flags.
    m_pFrame->UpdateCommandUI();
    EXPECT_FALSE(m_pFrame->GetCommandAction(ID_FILE_OPEN_SOURCE)->isEnabled());
    for (UINT nID : {ID_FILE_CLOSE_SESSION, ID_TB_CLOSE, ID_FILE_STOP, ID_FILE_REFRESH, ID_TB_REFRESH})
        EXPECT_TRUE(m_pFrame->GetCommandAction(nID)->isEnabled()) << nID;
    // The top entry is selected and shown at once: the commands that act
    // on an entry need no click first.
    const UINT entryCommands[] = {ID_FILE_SAVE_LDIF,  ID_TB_SAVE_LDIF,      ID_TOOLS_ENTRY_ADD,
                                  ID_TB_DELETE_ENTRY, ID_TOOLS_ATTR_MODIFY, ID_TB_ADD_ATTRIBUTES};
    PumpEvents();
    m_pFrame->UpdateCommandUI();
    EXPECT_NE(m_pFrame->GetTreeView()->GetSelectedEntry(), nullptr);
    EXPECT_EQ(m_pFrame->GetListView()->GetCurrentEntry(), m_pFrame->GetTreeView()->GetSelectedEntry());
    for (UINT nID : entryCommands)
        EXPECT_TRUE(m_pFrame->GetCommandAction(nID)->isEnabled()) << nID;
    // Open is offered only without a session.
    EXPECT_FALSE(m_pFrame->OnCommand(ID_FILE_OPEN_SOURCE));

    m_pFrame->OnCommand(ID_FILE_CLOSE_SESSION);
    EXPECT_EQ(FlagsOf(*m_pDoc), kNoSession);
    m_pFrame->UpdateCommandUI();
    EXPECT_TRUE(m_pFrame->GetCommandAction(ID_FILE_OPEN_SOURCE)->isEnabled());
    EXPECT_FALSE(m_pFrame->GetCommandAction(ID_TB_CLOSE)->isEnabled());
    EXPECT_FALSE(m_pFrame->GetCommandAction(ID_TB_MODIFY_ATTRIBUTE)->isEnabled());
    // Always available.
    for (UINT nID : {ID_TOOLS_SETTINGS, ID_HELP_CONTENTS, ID_APP_ABOUT, ID_APP_EXIT})
        EXPECT_TRUE(m_pFrame->GetCommandAction(nID)->isEnabled()) << nID;
}

TEST_F(DocumentTest, SaveAcceleratorDoesNothingAndActivatingAPaneSwitchesTheEditCommands) {
    ASSERT_TRUE(Login(true));
    const CFlags before = FlagsOf(*m_pDoc);
    m_pFrame->SetPaneText(0, QStringLiteral("before"));
    EXPECT_TRUE(m_pFrame->OnCommand(ID_FILE_SAVE));
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
    EXPECT_EQ(m_pFrame->GetPaneText(0), QStringLiteral("before"));
    EXPECT_EQ(FlagsOf(*m_pDoc), before);
    EXPECT_EQ(m_log.nClose + m_log.nStop, 0);
    EXPECT_EQ(m_pFrame->GetCommandAction(ID_FILE_SAVE)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));

    ShowRoot();
    m_pFrame->SetActivePane(0);
    EXPECT_TRUE(m_pDoc->m_bEntryCommandsEnabled);
    EXPECT_FALSE(m_pDoc->m_bAttributeCommandsEnabled);
    int nRow = -1, nCol = -1;
    EXPECT_EQ(m_pFrame->GetActivePane(&nRow, &nCol), m_pFrame->GetTreeView());
    EXPECT_EQ(nRow, 0);
    EXPECT_EQ(nCol, 0);

    // F6 and Shift+F6 go to the other pane.
    m_pFrame->OnCommand(ID_NEXT_PANE);
    EXPECT_EQ(m_pFrame->GetActivePane(nullptr, &nCol), m_pFrame->GetListView());
    EXPECT_FALSE(m_pDoc->m_bEntryCommandsEnabled);
    EXPECT_TRUE(m_pDoc->m_bAttributeCommandsEnabled);
    m_pFrame->UpdateCommandUI();
    EXPECT_FALSE(m_pFrame->GetCommandAction(ID_TB_ADD_ENTRY)->isEnabled());
    EXPECT_TRUE(m_pFrame->GetCommandAction(ID_TB_ADD_ATTRIBUTES)->isEnabled());
    m_pFrame->OnCommand(ID_PREV_PANE);
    EXPECT_EQ(m_pFrame->GetActivePane(), m_pFrame->GetTreeView());
    EXPECT_TRUE(m_pDoc->m_bEntryCommandsEnabled);

    // The document's own request (the tree pane's Tab) does the same.
    m_pDoc->ActivatePane(1);
    EXPECT_EQ(m_pFrame->GetActivePane(), m_pFrame->GetListView());
    EXPECT_TRUE(m_pDoc->m_bAttributeCommandsEnabled);

    // Without a session activation enables nothing.
    m_pFrame->OnCommand(ID_FILE_CLOSE_SESSION);
    m_pFrame->SetActivePane(0);
    EXPECT_FALSE(m_pDoc->m_bEntryCommandsEnabled);
    EXPECT_FALSE(m_pDoc->m_bAttributeCommandsEnabled);
}

TEST_F(DocumentTest, ACommandForTheOtherPaneIsRefusedWithANoticeAndStopTwiceStopsOnce) {
    // Without a source Stop only raises the flag.
    m_pDoc->OnStop();
    EXPECT_TRUE(CEntryNode::IsStopRequested());
    EXPECT_EQ(m_log.nStop, 0);
    delete new CEntryNode;

    // Attribute pane active, then a login: both edit flags are on until
    // the next activation.
    m_pFrame->SetActivePane(1);
    ASSERT_TRUE(Login(true));
    ShowRoot();
    ASSERT_TRUE(m_pDoc->m_bEntryCommandsEnabled);
    for (UINT nID : {ID_TOOLS_ENTRY_ADD, ID_TB_DELETE_ENTRY, ID_TOOLS_ENTRY_MODIFY, ID_FILE_SAVE_LDIF}) {
        m_services.m_boxes.Clear();
        EXPECT_TRUE(m_pFrame->OnCommand(nID));
        ASSERT_EQ(m_services.m_boxes.Count(), 1) << nID;
        const auto box = m_services.m_boxes.Boxes()[0];
        EXPECT_EQ(box.text, "The required operation cannot be performed in the current Window");
        EXPECT_EQ(box.caption, "Tarvo");
        EXPECT_EQ(box.nType, MB_OK | MB_ICONEXCLAMATION);
    }
    // The other way round.
    m_pFrame->SetActivePane(0);
    m_pDoc->m_bAttributeCommandsEnabled = true;
    m_services.m_boxes.Clear();
    m_pDoc->OnCmdMsg(ID_TB_MODIFY_ATTRIBUTE);
    EXPECT_EQ(m_services.m_boxes.LastText(),
              "The required operation cannot be performed in the current Window");
    EXPECT_EQ(FlagsOf(*m_pDoc)[0], false);

    m_pFrame->OnCommand(ID_FILE_STOP);
    m_pFrame->OnCommand(ID_FILE_STOP);
    EXPECT_EQ(m_log.nStop, 1);
    EXPECT_TRUE(CEntryNode::IsStopRequested());
    // A new entry (the next operation's results) allows Stop again.
    delete new CEntryNode;
    m_pDoc->OnStop();
    EXPECT_EQ(m_log.nStop, 2);
    // Another window's Stop does not make this one's do nothing.
    delete new CEntryNode;
    CTarvoDoc other;
    other.OnStop();
    m_pDoc->OnStop();
    EXPECT_EQ(m_log.nStop, 3);
    m_pDoc->OnStop();
    EXPECT_EQ(m_log.nStop, 3);
    // Unless something still runs after it (a level on a server that stopped
    // answering, behind the read just stopped): then Stop goes on to it.
    m_pSource->m_nRunning = 1;
    m_pDoc->OnStop();
    EXPECT_EQ(m_log.nStop, 4);
}

TEST_F(DocumentTest, CloseEndsTheSessionClearsBothPanesAndWritesReadyAndNeverHangsOnAWorker) {
    ASSERT_TRUE(Login(true));
    ASSERT_EQ(TopLevelRows(m_pFrame->GetTreeView()), 1);
    for (int nPane = 0; nPane < 3; ++nPane)
        m_pFrame->SetPaneText(nPane, QStringLiteral("before"));
    m_pFrame->OnCommand(ID_TB_CLOSE);
    EXPECT_EQ(m_log.nClose, 1);
    EXPECT_EQ(m_log.nDestroyed, 1);
    EXPECT_EQ(m_pDoc->GetDataSource(), nullptr);
    EXPECT_EQ(TopLevelRows(m_pFrame->GetTreeView()), 0);
    EXPECT_EQ(TopLevelRows(m_pFrame->GetListView()), 0);
    EXPECT_EQ(FlagsOf(*m_pDoc), kNoSession);
    // In the document's own window, which the test services never see.
    EXPECT_EQ(m_pFrame->GetPaneText(0), QStringLiteral("Ready"));
    EXPECT_EQ(m_pFrame->GetPaneText(1), QString());
    EXPECT_EQ(m_pFrame->GetPaneText(2), QString());
    EXPECT_EQ(m_services.m_status.History(0), std::vector<CString>{});

    // Without a source Close still resets the panes and the status bar.
    m_pFrame->SetPaneText(0, QStringLiteral("before"));
    m_pDoc->OnCloseSession();
    EXPECT_EQ(m_pFrame->GetPaneText(0), QStringLiteral("Ready"));
    EXPECT_EQ(m_log.nClose, 1);

    // Close and Exit do not hang on a worker blocked in a send (the
    // program's wakeup runs a worker's send from the event loop).
    CQtDispatcherWakeup wakeup;
    CRecordingListener target;
    ASSERT_TRUE(Login(true));
    m_pSource->StartSendingWorker(&target);
    // The worker is busy sending to the UI thread when Close begins.
    while (m_log.nSends < 3)
        PumpEvents();
    m_pDoc->OnCloseSession();
    EXPECT_EQ(m_log.nClose, 2);
    EXPECT_GE(target.Count(EEvent::ClearAttributes), 3);

    ASSERT_TRUE(Login(true));
    m_pSource->StartSendingWorker(&target);
    while (m_log.nSends < 6)
        PumpEvents();
    // Exit: the workers end, the source stays for the destructor.
    m_pDoc->DeleteContents();
    EXPECT_TRUE(m_pDoc->GetDataSource()->m_workerThreads.IsEmpty());
    EXPECT_EQ(m_log.nClose, 2);
    EXPECT_EQ(m_log.nDestroyed, 2);
}

} // namespace
