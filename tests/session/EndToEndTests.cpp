// The whole program from its start-up: a login on the LDIF page opens the
// real LDIF source, Close writes the file back; a login on the LDAP page
// opens the real server source against a private slapd, exit ends it.

#include "QtTestEnvironment.h"
#include "SlapdFixture.h"

#include "ldif/LdifSource.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "source/LdapSource.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QWindow>

#include <algorithm>
#include <functional>

namespace {

// The test server's seed as a file, without ou=Empty: the suffix entry and
// ou=People with cn=Alice and cn=Bob.
const std::string kSmallLdif =
    CSlapdServer::DefaultSeed().substr(0, CSlapdServer::DefaultSeed().find("dn: ou=Empty"));

// The next login sheet opens the file on its LDIF page.
void LoginToLdifFile(const std::string& path, const std::string& schema) {
    DriveNextLoginSheet([path, schema](CLoginSheet* pSheet) {
        ASSERT_NE(pSheet, nullptr);
        pSheet->GetTabs()->setCurrentIndex(1);
        CLdifLoginPage* pPage = pSheet->GetLdifPage();
        pPage->GetFileCombo()->setEditText(QString::fromStdString(path));
        pPage->GetSearchBaseCombo()->setEditText(QStringLiteral("dc=example,dc=com"));
        pPage->GetSchemaCombo()->setEditText(QString::fromStdString(schema));
        pPage->GetOKButton()->click();
    });
}

// The main window's keys act on the pane with the focus; the panes and the
// status bar stay in step with what the commands did; Close writes the file.
TEST(EndToEnd, TheDocumentTakesAnLdifSourceFromTheLdifPageAndKeysActOnThePaneWithTheFocus) {
    CTestServices services;
    CTempDir dir;
    const std::string path = dir.File("directory.ldif");
    WriteWholeFile(path, kSmallLdif);
    const std::string schema = dir.File("extra.schema");
    WriteWholeFile(schema, "attributetype ( 1.3.6.1.4.1.99999.1.1 NAME 'shoeSize' SYNTAX "
                           "1.3.6.1.4.1.1466.115.121.1.27 )\n");

    CTarvoApp app(false);
    LoginToLdifFile(path, schema);
    ASSERT_TRUE(app.InitInstance({}));
    CTarvoDoc* pDoc = app.GetDocument();
    auto* pSource = dynamic_cast<CLdifSource*>(pDoc->GetDataSource());
    ASSERT_NE(pSource, nullptr);
    EXPECT_EQ(services.m_boxes.Count(), 0) << services.m_boxes.LastText().Str();
    EXPECT_FALSE(pDoc->m_bOpenEnabled);
    EXPECT_TRUE(pDoc->m_bCloseEnabled);
    EXPECT_TRUE(app.GetMainFrame()->isVisible());
    // The root entry is the tree pane's top item.
    EXPECT_EQ(TopLevelRows(app.GetMainFrame()->GetTreeView()), 1);
    // Remembered for the next login.
    EXPECT_EQ(services.m_profile.GetProfileString("History", "LDIFs", ""), CString(path));
    EXPECT_EQ(services.m_profile.GetProfileString("History", "SearchBases", ""), "dc=example,dc=com");
    EXPECT_EQ(services.m_profile.GetProfileString("History", "LdifSchemas", ""), CString(schema));
    // The file's entries follow the schema named on the page.
    std::shared_ptr<const CSchema> pSchema = pSource->WaitForSchema(5000);
    ASSERT_NE(pSchema, nullptr);
    EXPECT_NE(pSchema->FindAttributeType("shoeSize"), nullptr);
    EXPECT_NE(pSchema->FindObjectClass("inetOrgPerson"), nullptr);

    CMainFrame* pFrame = app.GetMainFrame();
    CLdapTreeView* pTree = pFrame->GetTreeView();
    CLdapListView* pList = pFrame->GetListView();
    // The top entry is the selection and its attributes show at once; the
    // commands on it are offered without a click.
    PumpEvents();
    ASSERT_NE(pTree->GetSelectedEntry(), nullptr);
    EXPECT_EQ(pTree->GetSelectedEntry()->GetDN().Str(), "dc=example,dc=com");
    EXPECT_EQ(pList->GetCurrentEntry(), pTree->GetSelectedEntry());
    EXPECT_GT(pList->GetRowCount(), 0);
    for (UINT nID : {ID_FILE_SAVE_LDIF, ID_TB_SAVE_LDIF, ID_TOOLS_ENTRY_DELETE, ID_TOOLS_ATTR_ADD})
        EXPECT_TRUE(pFrame->IsCommandEnabled(nID)) << nID;
    // An LDIF file takes changes entry by entry: the import is for servers.
    EXPECT_FALSE(pFrame->IsCommandEnabled(ID_FILE_IMPORT_LDIF));
    // The window names its file, and marks it once it has unsaved changes.
    pFrame->UpdateCommandUI();
    EXPECT_EQ(pFrame->windowHandle()->title(), QString::fromUtf8("directory.ldif \u2014 Tarvo"));
    EXPECT_FALSE(pFrame->isWindowModified());

    QApplication::setActiveWindow(pFrame);
    auto press = [pFrame](QWidget* pPane, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        pPane->setFocus(Qt::MouseFocusReason);
        PumpEvents();
        pFrame->UpdateCommandUI(); // as the idle update does
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        PumpEvents();
    };
    auto clipboard = [] { return QApplication::clipboard()->text().toStdString(); };
    auto found = [pList] { return std::to_string(pList->GetRowCount()) + " Attributes Found."; };

    HTREEITEM hRoot = pTree->GetRootItem();
    pTree->ClickItem(hRoot);
    press(pTree, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard(), "dc=example,dc=com");
    press(pTree, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(clipboard().rfind("dn: dc=example,dc=com\n", 0), 0u) << clipboard();
    EXPECT_NE(clipboard().find("\no: Example\n"), std::string::npos) << clipboard();

    // F5 refreshes the pane with the focus, and only that one.
    app.GetDocument()->SetStatusText("before", 1);
    press(pList, Qt::Key_F5);
    EXPECT_EQ(pFrame->GetPaneText(1).toStdString(), "before");
    EXPECT_EQ(pFrame->GetPaneText(2).toStdString(), found());
    press(pTree, Qt::Key_F5);
    EXPECT_EQ(pFrame->GetPaneText(1).toStdString(), "Search Completed  -  1 entries found");

    pTree->ExpandItem(hRoot);
    HTREEITEM hPeople = pTree->GetChildItem(hRoot);
    pTree->ExpandItem(hPeople);
    HTREEITEM hAlice = pTree->GetChildItem(hPeople);
    ASSERT_EQ((pTree->GetItemText(hAlice)).Str(), "cn=Alice");
    pTree->ClickItem(hAlice);
    services.m_boxes.SetNextAnswer(IDYES);
    press(pTree, Qt::Key_Delete);
    EXPECT_EQ((services.m_boxes.LastText()).Str(),
              "Delete the entry cn=Alice,ou=People,dc=example,dc=com from the directory?");
    EXPECT_TRUE(services.m_boxes.Boxes().back().nType & MB_DEFBUTTON2);
    EXPECT_EQ(pFrame->GetPaneText(1).toStdString(),
              "Node successfully deleted: cn=Alice,ou=People,dc=example,dc=com");
    // The entry selected now shows its own attributes.
    CEntryNode* pNow = pTree->GetSelectedEntry();
    ASSERT_NE(pNow, nullptr);
    EXPECT_EQ(pList->GetCurrentEntry(), pNow);
    ASSERT_GT(pList->GetRowCount(), 1);

    // In the attribute pane: Ctrl+C copies the selected values, Delete
    // deletes them and the count follows.
    const int nRows = pList->GetRowCount();
    pList->SelectRows({0, 1});
    const std::string values = (pList->GetRowValue(0)).Str() + "\n" + (pList->GetRowValue(1)).Str() + "\n";
    press(pList, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard(), values);
    // The question names what goes, and from where; No is its default.
    const std::string names = pList->GetRowName(0) == pList->GetRowName(1)
                                  ? pList->GetRowName(0).Str()
                                  : pList->GetRowName(0).Str() + " and " + pList->GetRowName(1).Str();
    press(pList, Qt::Key_Delete);
    EXPECT_EQ((services.m_boxes.LastText()).Str(),
              "Delete 2 values of " + names + " from " + pNow->GetDN().Str() + "?");
    EXPECT_TRUE(services.m_boxes.Boxes().back().nType & MB_DEFBUTTON2);
    EXPECT_EQ(pList->GetRowCount(), nRows - 2);
    EXPECT_EQ(pFrame->GetPaneText(2).toStdString(), found());

    pFrame->UpdateCommandUI();
    EXPECT_TRUE(pFrame->isWindowModified());
    EXPECT_EQ(pFrame->windowHandle()->title(), QString::fromUtf8("directory.ldif* \u2014 Tarvo"));

    // Close writes the file back, without the deleted entry, and ends the session.
    EXPECT_TRUE(pFrame->OnCommand(ID_FILE_CLOSE_SESSION));
    EXPECT_EQ(pDoc->GetDataSource(), nullptr);
    EXPECT_EQ(pFrame->windowHandle()->title(), QStringLiteral("Tarvo"));
    EXPECT_EQ(TopLevelRows(pTree), 0);
    const std::string written = ReadWholeFile(path);
    EXPECT_EQ(written.find("cn=Alice"), std::string::npos) << written;
    EXPECT_NE(written.find("dn: cn=Bob,ou=People,dc=example,dc=com"), std::string::npos) << written;
    EXPECT_TRUE(pDoc->m_bOpenEnabled);
    app.ExitInstance();
}

TEST(DemoData, TheDemoDirectoryIsAFewHundredEntriesInSeveralLevels) {
    CTestServices services;
    // A copy: closing writes the file back.
    CTempDir dir;
    const std::string path = dir.File("example.ldif");
    WriteWholeFile(path, ReadWholeFile(TARVO_DEMO_LDIF));
    CLdifSource source;
    CConnectionParams params;
    params.m_strLdifFile = path;
    params.m_strSearchBase = "dc=example,dc=com";
    params.m_strFilter = "objectclass=*";
    ASSERT_TRUE(source.Open(params)) << services.m_boxes.LastText().Str();
    ASSERT_NE(params.m_pRoot, nullptr);
    const CArray<CEntryNode*>& entries = source.GetEntries();
    EXPECT_GE(entries.GetSize(), 300);
    int nDeepest = 0;
    for (CEntryNode* pEntry : entries) {
        int nLevels = 0;
        const CString dn = pEntry->GetDN();
        for (char ch : dn.Str())
            nLevels += ch == ',';
        nDeepest = std::max(nDeepest, nLevels);
    }
    EXPECT_GE(nDeepest, 5); // uid=...,ou=Team,ou=Department,ou=People,dc=example,dc=com
    EXPECT_EQ(services.m_boxes.Count(), 0);
    source.Close();
}

TEST(EndToEnd, TheLdapPageOpensARealServerAndAFrozenOrFailedOpenKeepsTheSheet) {
    CSlapdServer server;
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    CTarvoApp app(false);
    int nAttempts = 0;
    QString label;
    DriveNextLoginSheet([&](CLoginSheet* pSheet) {
        ASSERT_NE(pSheet, nullptr);
        CLdapLoginPage* pPage = pSheet->GetLdapPage();
        FillLdapPage(pPage, QStringLiteral("127.0.0.1"), QString::number(server.Port()),
                     QString::fromStdString(server.AdminDN()), QStringLiteral("wrong password"),
                     QString::fromStdString(server.Base()));
        // A wrong password: the source says why, the sheet stays.
        pPage->GetOKButton()->click();
        ++nAttempts;
        EXPECT_TRUE(pSheet->isVisible());
        EXPECT_EQ(services.m_boxes.Count(), 1);
        // The bind waits on the frozen server; the window goes on serving
        // events (this timer) and Cancel ends the wait at once.
        server.Pause();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, pSheet, [&] {
            if (auto* pProgress = pSheet->findChild<QProgressDialog*>()) {
                label = pProgress->findChild<QLabel*>()->text();
                pProgress->cancel();
            }
        });
        poll.start(50);
        pPage->GetOKButton()->click();
        ++nAttempts;
        poll.stop();
        EXPECT_TRUE(pSheet->isVisible());
        EXPECT_EQ(pPage->GetServerCombo()->currentText(), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(pPage->GetPortCombo()->currentText(), QString::number(server.Port()));
        EXPECT_EQ(services.m_boxes.Count(), 1);
        // The attempt given up on ends quietly once the server answers it:
        // the next wrong password is said once.
        server.Resume();
        pPage->GetOKButton()->click();
        ++nAttempts;
        EXPECT_EQ(services.m_boxes.Count(), 2);
        pPage->GetPasswordEdit()->setText(QString::fromStdString(server.Password()));
        pPage->GetOKButton()->click();
        ++nAttempts;
    });
    ASSERT_TRUE(app.InitInstance({}));
    EXPECT_EQ(nAttempts, 4);
    EXPECT_EQ(services.m_boxes.Count(), 2);
    EXPECT_EQ(label, QStringLiteral("Connecting to 127.0.0.1") + QChar(0x2026));
    CTarvoDoc* pDoc = app.GetDocument();
    ASSERT_NE(dynamic_cast<CLdapSource*>(pDoc->GetDataSource()), nullptr);
    EXPECT_EQ(TopLevelRows(app.GetMainFrame()->GetTreeView()), 1);
    EXPECT_TRUE(app.GetMainFrame()->IsCommandEnabled(ID_FILE_IMPORT_LDIF));
    // The window says who is logged in where.
    app.GetMainFrame()->UpdateCommandUI();
    EXPECT_EQ(app.GetMainFrame()->windowHandle()->title(),
              QString::fromStdString(server.AdminDN() + " @ 127.0.0.1:" + std::to_string(server.Port())) +
                  QString::fromUtf8(" \u2014 Tarvo"));
    // Neither the profile nor any box holds the password.
    EXPECT_NE(services.m_profile.GetProfileString("History", "BindDNs", "").Find("cn=admin"), -1);
    for (const auto& box : services.m_boxes.Boxes())
        EXPECT_EQ(box.text.Find(CString(server.Password())), -1);
    // Exit with the session open: workers stop, the source goes with the document.
    app.ExitInstance();
    EXPECT_EQ(app.GetDocument(), nullptr);
}

// Until the condition holds, serving events; false after nMs.
bool WaitFor(const std::function<bool()>& fnDone, int nMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!fnDone()) {
        if (timer.elapsed() > nMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        CMessageDispatcher::Instance().DrainPendingSends();
    }
    return true;
}

// With no base the tree starts at the server's naming contexts, beside the
// root DSE, whose attributes say what the server is; the login page's Fetch
// offers the same contexts as bases. Anonymous users see it so named.
TEST(EndToEnd, AnEmptyBaseStartsAtTheNamingContextsBesideTheRootDse) {
    CSlapdServer server;
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    CTarvoApp app(false);
    QStringList offered;
    QString shownAfterFetch;
    DriveNextLoginSheet([&](CLoginSheet* pSheet) {
        ASSERT_NE(pSheet, nullptr);
        CLdapLoginPage* pPage = pSheet->GetLdapPage();
        FillLdapPage(pPage, QStringLiteral("127.0.0.1"), QString::number(server.Port()), QString(), QString(),
                     QString());
        pPage->GetFetchButton()->click();
        for (int i = 0; i < pPage->GetSearchBaseCombo()->count(); ++i)
            offered << pPage->GetSearchBaseCombo()->itemText(i);
        shownAfterFetch = pPage->GetSearchBaseCombo()->currentText();
        // Browsing from the top of the server.
        pPage->GetSearchBaseCombo()->setEditText(QString());
        pPage->GetOKButton()->click();
    });
    ASSERT_TRUE(app.InitInstance({}));
    EXPECT_EQ(services.m_boxes.Count(), 0) << services.m_boxes.LastText().Str();
    ASSERT_FALSE(offered.isEmpty());
    EXPECT_EQ(offered.first().toStdString(), server.Base());
    EXPECT_EQ(shownAfterFetch.toStdString(), server.Base());

    CMainFrame* pFrame = app.GetMainFrame();
    CLdapTreeView* pTree = pFrame->GetTreeView();
    CLdapListView* pList = pFrame->GetListView();
    ASSERT_EQ(TopLevelRows(pTree), 2);
    std::vector<std::string> tops;
    HTREEITEM hRootDse;
    for (HTREEITEM h = pTree->GetRootItem(); h; h = pTree->GetNextSiblingItem(h)) {
        tops.push_back(pTree->GetItemEntry(h)->GetDN().Str());
        if (tops.back().empty()) {
            hRootDse = h;
            EXPECT_EQ(pTree->GetItemText(h).Str(), "Root DSE");
        }
    }
    std::sort(tops.begin(), tops.end());
    EXPECT_EQ(tops, (std::vector<std::string>{"", server.Base()}));
    // Browsing starts at the naming context: selected, its attributes shown.
    ASSERT_TRUE(WaitFor([&] {
        CEntryNode* pEntry = pTree->GetSelectedEntry();
        return pEntry && pEntry->GetDN() == server.Base().c_str() && pList->GetCurrentEntry() == pEntry &&
               pList->GetRowCount() > 0;
    }));
    // The root DSE reads as an entry, with what the server says of itself.
    ASSERT_TRUE(hRootDse);
    pTree->ClickItem(hRootDse);
    std::vector<std::string> rows;
    ASSERT_TRUE(WaitFor([&] {
        rows.clear();
        for (int i = 0; i < pList->GetRowCount(); ++i)
            rows.push_back(pList->GetRowName(i).Str() + "=" + pList->GetRowValue(i).Str());
        return std::find(rows.begin(), rows.end(), "namingContexts=" + server.Base()) != rows.end();
    })) << rows.size();
    pFrame->UpdateCommandUI();
    EXPECT_EQ(pFrame->windowHandle()->title(),
              QString::fromStdString("anonymous @ 127.0.0.1:" + std::to_string(server.Port())) +
                  QString::fromUtf8(" \u2014 Tarvo"));
    app.ExitInstance();
}

} // namespace
