// Journeys through both panes on a real directory server: browse, read,
// add, rename, delete, values, refresh, Stop, Close while streaming,
// entries removed while another operation still runs on them, and the
// search panel.

#include "UiTestSupport.h"

#include "SlapdFixture.h"
#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/Thread.h"
#include "platform/qt/PlainText.h"
#include "source/LdapSource.h"
#include "ui/AttributeRowModel.h"
#include "ui/BinaryValueDlg.h"
#include "ui/EntryTreeModel.h"
#include "ui/ExportSettings.h"
#include "ui/LdapListView.h"
#include "ui/ModifyAttributeDlg.h"
#include "ui/SearchPanel.h"
#include "ui/SearchResultModel.h"
#include "ui/TreeImages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>

namespace {

const std::string kBase = "dc=example,dc=com";
const std::string kPeople = "ou=People,dc=example,dc=com";

class LdapJourney : public ::testing::Test {
protected:
    explicit LdapJourney(std::string seed = CSlapdServer::DefaultSeed()) : m_server(std::move(seed)) {}
    void StartAndOpen(CSlapdServer& server, bool bAdmin = true) {
        m_pPanes = std::make_unique<CPanes>();
        m_pTree = m_pPanes->m_pTree;
        ASSERT_TRUE(server.Start()) << server.LastError();
        ASSERT_TRUE(m_pPanes->OpenServer(server, kBase, bAdmin));
    }
    void SetUp() override { StartAndOpen(m_server); }
    void TearDown() override { m_pPanes.reset(); }

    bool SearchDone() {
        auto history = m_pPanes->m_services.m_status.History(1);
        return !history.empty() && Str(history.back()).rfind("Search ", 0) == 0;
    }
    // Expands like a click on the button and waits for the end of the search.
    HTREEITEM ExpandAndWait(HTREEITEM hItem) {
        m_pPanes->m_services.m_status.Clear();
        m_pTree->ExpandItem(hItem);
        EXPECT_TRUE(WaitUntil([this]() { return SearchDone(); }));
        return hItem;
    }
    HTREEITEM People() {
        HTREEITEM hRoot = ExpandAndWait(m_pPanes->Root());
        return ExpandAndWait(m_pPanes->Child(hRoot, "ou=People"));
    }
    CLdapSource* Source() { return static_cast<CLdapSource*>(m_pPanes->m_doc.m_pDataSource); }
    bool Idle() { return Source()->GetRunning() == 0; }
    // Every worker started so far has ended (a read waiting for another
    // one's turn is not yet counted as running).
    bool Settled() { return WorkersSettled(*Source()); }

    CSlapdServer m_server;
    std::unique_ptr<CPanes> m_pPanes;
    CLdapTreeView* m_pTree = nullptr;
};

} // namespace

TEST_F(LdapJourney, ALevelTheServerCutShortEndsWithAMarkerUntilRefreshed) {
    CSlapdServer capped;
    capped.SetSizeLimit(500);
    ASSERT_TRUE(capped.AddChildren("ou=Empty," + kBase, 600));
    m_pPanes.reset();
    StartAndOpen(capped, false); // anonymous: the administrator has no limit
    CEntryTreeModel* pModel = m_pTree->GetModel();
    HTREEITEM hLevel = m_pPanes->Child(ExpandAndWait(m_pPanes->Root()), "ou=Empty");
    ASSERT_TRUE(hLevel);
    ExpandAndWait(hLevel);
    for (int nRound = 0; nRound < 2; ++nRound) {
        SCOPED_TRACE(nRound ? "after Refresh" : "first expansion");
        EXPECT_EQ(Str(m_pPanes->Status(1)), "Search Completed  -  500 entries found (size limit reached)");
        std::vector<HTREEITEM> children = m_pTree->GetChildItems(hLevel);
        ASSERT_EQ(children.size(), 501u);
        HTREEITEM hMarker = children.back();
        EXPECT_EQ(Str(m_pTree->GetItemText(hMarker)), "500 shown (size limit)");
        EXPECT_EQ(m_pTree->GetItemEntry(hMarker), nullptr);
        QModelIndex marker = pModel->IndexOf(pModel->Find(hMarker));
        EXPECT_TRUE(pModel->data(marker, Qt::FontRole).value<QFont>().italic());
        // Not a stop for the keyboard either (End goes to the last entry);
        // its whole text in the tooltip for a narrow pane.
        EXPECT_EQ(pModel->flags(marker), Qt::NoItemFlags);
        EXPECT_EQ(ToolTipPlainText(pModel->data(marker, Qt::ToolTipRole).toString()).toStdString(),
                  "Only 500 entries shown: the server's size limit was reached.");
        EXPECT_FALSE(m_pTree->ItemHasButton(hMarker));
        EXPECT_EQ(m_pTree->GetItemEntry(hLevel)->GetChildCount(), 500);
        // Refresh throws the level away, marker included, and asks again.
        m_pTree->SelectItem(hLevel);
        m_pPanes->m_services.m_status.Clear();
        m_pTree->OnRefresh();
        ASSERT_TRUE(WaitUntil([this]() { return SearchDone(); }));
    }
    m_pPanes.reset();
}

TEST_F(LdapJourney, BrowseAndReadThroughThePanes) {
    HTREEITEM hRoot = m_pPanes->Root();
    EXPECT_EQ(Str(m_pTree->GetItemText(hRoot)), "dc=example");
    ExpandAndWait(hRoot);
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Search Completed  -  2 entries found");
    EXPECT_EQ(m_pPanes->ChildTexts(hRoot), (std::vector<std::string>{"ou=Empty", "ou=People"}));
    HTREEITEM hPeople = ExpandAndWait(m_pPanes->Child(hRoot, "ou=People"));
    CEntryNode* pPeople = m_pTree->GetItemEntry(hPeople);
    EXPECT_EQ(m_pPanes->ChildTexts(hPeople), (std::vector<std::string>{"cn=Alice", "cn=Bob"}));

    // A childless entry is a leaf at once: the server said so in the browse.
    HTREEITEM hEmpty = m_pPanes->Child(hRoot, "ou=Empty");
    CEntryNode* pEmpty = m_pTree->GetItemEntry(hEmpty);
    EXPECT_TRUE(pEmpty->IsLeaf());
    EXPECT_FALSE(pPeople->IsLeaf());
    HTREEITEM hLeaf = m_pTree->FindEntryItem(pEmpty);
    int nImage = -1, nSelected = -1;
    m_pTree->GetItemImage(hLeaf, nImage, nSelected);
    EXPECT_EQ(nImage, TREE_IMAGE_LEAF);
    EXPECT_FALSE(m_pTree->ItemHasButton(hLeaf));

    // Selecting reads from the server, one attribute per message, in read order.
    HTREEITEM hAlice = m_pPanes->Child(hPeople, "cn=Alice");
    CEntryNode* pAlice = m_pTree->GetItemEntry(hAlice);
    ASSERT_TRUE(m_pTree->ClickItem(hAlice));
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 6; }));
    std::vector<std::string> rows = m_pPanes->Rows();
    EXPECT_NE(std::find(rows.begin(), rows.end(), "mail=alice@example.com"), rows.end());
    EXPECT_EQ(Str(m_pPanes->Status(2)), "6 Attributes Found.");
    EXPECT_TRUE(pAlice->CanModifyEntry()) << "the read's operation ended";

    // The second selection is shown from the cache.
    ASSERT_TRUE(m_pTree->ClickItem(m_pPanes->Child(hPeople, "cn=Bob")));
    ASSERT_TRUE(WaitUntil([&]() { return Idle(); }));
    int nCached = pAlice->m_attributes.GetSize();
    ASSERT_TRUE(m_pTree->ClickItem(hAlice));
    EXPECT_EQ(m_pPanes->Rows().size(), 6u) << "shown at once from the cache";
    ASSERT_TRUE(WaitUntil([&]() { return Idle(); }));
    EXPECT_EQ(pAlice->m_attributes.GetSize(), nCached);
    EXPECT_EQ(m_pPanes->Rows().size(), 6u);

    // A refresh of the tree fetches the children again.
    ASSERT_TRUE(m_server.Modify("dn: cn=Dan," + kPeople +
                                "\nchangetype: add\nobjectClass: inetOrgPerson\ncn: Dan\nsn: D\n"));
    ASSERT_TRUE(m_pTree->ClickItem(hPeople)); // its read ends before Refresh is offered
    ASSERT_TRUE(WaitUntil([&]() { return pPeople->CanRefresh(); }));
    m_pPanes->m_services.m_status.Clear();
    m_pTree->OnRefresh();
    ASSERT_TRUE(WaitUntil([this]() { return SearchDone(); }));
    EXPECT_EQ(m_pPanes->ChildTexts(hPeople), (std::vector<std::string>{"cn=Alice", "cn=Bob", "cn=Dan"}));
    EXPECT_EQ(m_pPanes->m_pList->GetCurrentEntry(), pPeople);
}

TEST_F(LdapJourney, EntryUpdatesReachTheServer) {
    HTREEITEM hPeople = People();
    m_pPanes->AddEntry(hPeople, "cn=Carol",
                       {{"objectClass", "inetOrgPerson"}, {"cn", "Carol"}, {"sn", "Ng"}});
    ASSERT_TRUE(WaitUntil([&]() { return static_cast<bool>(m_pPanes->Child(hPeople, "cn=Carol")); }));
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Node successfully added: cn=Carol,ou=People,dc=example,dc=com");
    EXPECT_TRUE(m_server.Exists("cn=Carol,ou=People,dc=example,dc=com"));

    // Rename, shown in both title modes.
    m_pPanes->RenameEntry(m_pPanes->Child(hPeople, "cn=Carol"), "cn=Caro");
    ASSERT_TRUE(WaitUntil([&]() { return static_cast<bool>(m_pPanes->Child(hPeople, "cn=Caro")); }));
    EXPECT_TRUE(m_server.Exists("cn=Caro,ou=People,dc=example,dc=com"));
    m_pPanes->m_doc.GetExportSettings().SetEntryAsRDN(0);
    m_pPanes->RenameEntry(m_pPanes->Child(hPeople, "cn=Caro"), "cn=Cara");
    ASSERT_TRUE(WaitUntil([&]() {
        return static_cast<bool>(m_pPanes->Child(hPeople, "cn=Cara,ou=People,dc=example,dc=com"));
    }));
    m_pPanes->m_doc.GetExportSettings().SetEntryAsRDN(1);

    // Delete asks; a parent is refused by the server and stays.
    HTREEITEM hCara = m_pPanes->Child(hPeople, "cn=Cara,ou=People,dc=example,dc=com");
    m_pPanes->DeleteEntry(hCara);
    // The entry selected after it is read and shown, as after a click.
    ASSERT_TRUE(WaitUntil([&]() {
        return !m_pTree->GetItemEntry(hCara) && m_pTree->GetSelectedEntry() &&
               m_pPanes->m_pList->GetCurrentEntry() == m_pTree->GetSelectedEntry() &&
               m_pTree->GetItemEntry(hPeople)->CanDeleteEntry();
    }));
    EXPECT_FALSE(m_server.Exists("cn=Cara,ou=People,dc=example,dc=com"));

    m_pPanes->m_services.m_boxes.Clear();
    m_pPanes->DeleteEntry(hPeople);
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->m_services.m_boxes.Count() >= 2; }));
    EXPECT_TRUE(m_server.Exists(kPeople));
    EXPECT_TRUE(m_pTree->GetItemEntry(hPeople));
}

TEST_F(LdapJourney, ValueUpdatesKeepRowsCacheAndServerInStep) {
    CLdapListView* pList = m_pPanes->m_pList;
    HTREEITEM hPeople = People();
    HTREEITEM hBob = m_pPanes->Child(hPeople, "cn=Bob");
    CEntryNode* pBob = m_pTree->GetItemEntry(hBob);
    ASSERT_TRUE(m_pTree->ClickItem(hBob));
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 3; }));

    TypeIntoNextEditor({{"telephoneNumber", "111"}, {"telephoneNumber", "222"}});
    pList->OnAddAttributes();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 5; }));
    EXPECT_EQ(m_server.Values(pBob->GetDN().Str(), "telephoneNumber").size(), 2u);

    // Delete one of the two values.
    m_pPanes->DeleteRows({m_pPanes->RowOf("telephoneNumber=111")});
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 4; }));
    EXPECT_EQ(m_server.Values(pBob->GetDN().Str(), "telephoneNumber"), (std::vector<std::string>{"222"}));

    // Modify the remaining one.
    const int nRow = m_pPanes->RowOf("telephoneNumber=222");
    m_pPanes->ModifyRow(nRow, "333");
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows()[nRow] == "telephoneNumber=333"; }));
    EXPECT_EQ(m_server.Values(pBob->GetDN().Str(), "telephoneNumber"), (std::vector<std::string>{"333"}));
    EXPECT_EQ(Str(pBob->FindAttribute("telephoneNumber")->GetAt(0)), "333");

    // Refresh of the pane reads everything again.
    ASSERT_TRUE(m_server.Modify("dn: " + pBob->GetDN().Str() +
                                "\nchangetype: modify\nadd: description\ndescription: outside\n"));
    pList->OnRefresh();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 5; }));
    EXPECT_GE(m_pPanes->RowOf("description=outside"), 0);
}

TEST_F(LdapJourney, AnotherClientsChangesSurviveAndAStaleChangeIsToldWithTheServersRows) {
    HTREEITEM hPeople = People();
    HTREEITEM hAlice = m_pPanes->Child(hPeople, "cn=Alice");
    const std::string alice = m_pTree->GetItemEntry(hAlice)->GetDN().Str();
    ASSERT_TRUE(m_pTree->ClickItem(hAlice));
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->RowOf("telephoneNumber=111") >= 0; }));
    // Another client, after the pane read Alice.
    ASSERT_TRUE(m_server.Modify("dn: " + alice +
                                "\nchangetype: modify\nadd: telephoneNumber\ntelephoneNumber: 222\n-\n"
                                "delete: mail\nmail: alice@example.com\n"));

    // The only number the pane knows goes; the other client's stays.
    const size_t nRows = m_pPanes->Rows().size();
    m_pPanes->DeleteRows({m_pPanes->RowOf("telephoneNumber=111")});
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == nRows - 1; }));
    EXPECT_EQ(m_server.Values(alice, "telephoneNumber"), std::vector<std::string>{"222"});

    // A value the other client removed: told so, and the rows become the server's.
    m_pPanes->m_services.m_boxes.Clear();
    m_pPanes->ModifyRow(m_pPanes->RowOf("mail=alice@example.com"), "new@example.com");
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->m_services.m_boxes.Count() == 1; }));
    EXPECT_EQ(m_pPanes->m_services.m_boxes.Boxes()[0].text.Str(),
              "The entry was changed on the server since it was read: modify/delete: mail: no such value");
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->RowOf("telephoneNumber=222") >= 0; }));
    EXPECT_LT(m_pPanes->RowOf("mail=alice@example.com"), 0);
    EXPECT_LT(m_pPanes->RowOf("mail=new@example.com"), 0);
    EXPECT_GE(m_pPanes->RowOf("mail=alice.smith@example.com"), 0);
    EXPECT_EQ(m_server.Values(alice, "mail"), std::vector<std::string>{"alice.smith@example.com"});
}

TEST_F(LdapJourney, EscapedNamesAndBinaryValuesReachTheServerExactly) {
    // The server writes its own escapes as hex pairs (\2C).
    ASSERT_TRUE(m_server.Modify("dn: cn=Lee\\2C A," + kPeople + "\nchangetype: add\nobjectClass: person\n" +
                                "cn: Lee, A\nsn: Lee\n"));
    HTREEITEM hPeople = People();
    ASSERT_TRUE(m_pPanes->Child(hPeople, "cn=Lee\\, A")) << "the hex escape is shown readable";

    // A comma typed into a name is part of the value; renames keep the parent.
    auto rename = [&](const char* pszFrom, const char* pszTyped, const char* pszShown) {
        m_pPanes->RenameEntry(m_pPanes->Child(hPeople, pszFrom), pszTyped);
        // Shown by its new name and done with: the next command on it is
        // not turned away as busy (its dialog would then never come).
        EXPECT_TRUE(WaitUntil([&]() {
            HTREEITEM hShown = m_pPanes->Child(hPeople, pszShown);
            return hShown && Idle() && m_pTree->GetItemEntry(hShown)->CanModifyEntry();
        }));
    };
    rename("cn=Lee\\, A", "cn=Lee, B", "cn=Lee\\, B");
    EXPECT_TRUE(m_server.Exists("cn=Lee\\, B," + kPeople));
    rename("cn=Lee\\, B", "cn=Lee", "cn=Lee");
    EXPECT_TRUE(m_server.Exists("cn=Lee," + kPeople));
    EXPECT_EQ(m_server.SearchDNs(kPeople).size(), 3u) << "nothing was created or lost on the way";
    // The old name's value went; renaming the entry the pane shows makes it
    // show what the server holds now.
    EXPECT_EQ(m_server.Values("cn=Lee," + kPeople, "cn"), std::vector<std::string>{"Lee"});
    ASSERT_TRUE(m_pTree->ClickItem(hPeople));
    ASSERT_TRUE(m_pTree->ClickItem(m_pPanes->Child(hPeople, "cn=Lee")));
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->RowOf("cn=Lee") >= 0; }));
    rename("cn=Lee", ("cn=Lea," + kPeople).c_str(), "cn=Lea");
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->RowOf("cn=Lea") >= 0; }))
        << ::testing::PrintToString(m_pPanes->Rows());
    EXPECT_LT(m_pPanes->RowOf("cn=Lee"), 0) << "a whole DN under the same parent is a rename";
    EXPECT_EQ(m_server.SearchDNs(kPeople).size(), 3u);

    // A whole DN naming another parent is refused: no move, no name made of a DN.
    m_pTree->SelectItem(m_pPanes->Child(hPeople, "cn=Lea"));
    DriveNextModal([&](QWidget* pModal) {
        auto* pDlg = qobject_cast<CModifyAttributeDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        EXPECT_TRUE(pDlg->DeleteOldRdnBox()->isChecked());
        pDlg->EditableEdit()->setText(QString::fromStdString("cn=Smith\\, K,ou=Empty," + kBase));
        pDlg->OnOK();
        EXPECT_TRUE(pDlg->isVisible());
        pDlg->reject();
    });
    m_pTree->OnModifyEntry();
    EXPECT_EQ(Str(m_pPanes->m_services.m_boxes.Boxes().back().text),
              "New: the DN typed names another parent (ou=Empty,dc=example,dc=com). An entry cannot be moved "
              "here: type its new name alone, to keep it under ou=People,dc=example,dc=com.");
    EXPECT_EQ(m_server.SearchDNs(kPeople).size(), 3u);
    rename("cn=Lea", "cn=Lee", "cn=Lee");

    // A relative name that is not one is refused with a message; the dialog stays open.
    m_pTree->SelectItem(m_pPanes->Child(hPeople, "cn=Lee"));
    DriveNextModal([&](QWidget* pModal) {
        auto* pDlg = qobject_cast<CModifyAttributeDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        pDlg->EditableEdit()->setText("Lee");
        pDlg->OnOK();
        EXPECT_TRUE(pDlg->isVisible());
        pDlg->reject();
    });
    m_pTree->OnModifyEntry();
    EXPECT_EQ(Str(m_pPanes->m_services.m_boxes.Boxes().back().text),
              "New: \"Lee\" is not a relative DN. Type it as attribute=value, for example cn=Smith.");

    // Binary values: shown as a summary, replaced from a file and deleted with their exact bytes.
    const std::string photo("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01", 12);
    const std::string newPhoto("\x89PNG\r\n\x1A\n\x00\x00", 10);
    std::string bobDN = "cn=Bob," + kPeople;
    ASSERT_TRUE(m_server.Modify("dn: " + bobDN +
                                "\nchangetype: modify\nadd: jpegPhoto\njpegPhoto:: /9j/4AAQSkZJRgAB\n"));
    ASSERT_EQ(m_server.Values(bobDN, "jpegPhoto"), std::vector<std::string>{photo});
    ASSERT_TRUE(m_pTree->ClickItem(m_pPanes->Child(hPeople, "cn=Bob")));
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 4; }));
    CLdapListView* pList = m_pPanes->m_pList;
    int nRow = m_pPanes->RowOf("jpegPhoto=" + photo);
    ASSERT_GE(nRow, 0) << "the bytes held are the server's";
    QModelIndex index = pList->GetListControl()->model()->index(nRow, 1);
    EXPECT_EQ(index.data().toString(), QString::fromUtf8("(binary, 12 bytes: FF D8 FF E0 \u2026)"));

    CTempDir dir;
    std::string file = (dir.Path() / "new.png").string();
    WriteWholeFile(file, newPhoto);
    m_pPanes->m_services.m_dialogs.SetNextPath(file.c_str());
    pList->SelectRows({nRow});
    DriveNextModal([](QWidget* pModal) {
        auto* pDlg = qobject_cast<CBinaryValueDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        pDlg->OnLoad();
        pDlg->OnOK();
    });
    pList->OnModifyAttribute();
    ASSERT_TRUE(WaitUntil([&]() { return (nRow = m_pPanes->RowOf("jpegPhoto=" + newPhoto)) >= 0; }));
    EXPECT_EQ(m_server.Values(bobDN, "jpegPhoto"), std::vector<std::string>{newPhoto});
    m_pPanes->DeleteRows({nRow});
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 3; }));
    EXPECT_TRUE(m_server.Values(bobDN, "jpegPhoto").empty());
}

// Answers that arrive after the user has moved on, on a held server.
TEST_F(LdapJourney, AnswersArrivingAfterTheUserMovedOn) {
    CLdapListView* pList = m_pPanes->m_pList;
    HTREEITEM hPeople = People();
    HTREEITEM hAlice = m_pPanes->Child(hPeople, "cn=Alice");
    HTREEITEM hBob = m_pPanes->Child(hPeople, "cn=Bob");
    CEntryNode* pAlice = m_pTree->GetItemEntry(hAlice);
    // The attribute pane shows the entry selected last.
    m_server.Pause();
    ASSERT_TRUE(m_pTree->ClickItem(hAlice));
    ASSERT_TRUE(m_pTree->ClickItem(hBob));
    ASSERT_TRUE(m_pTree->ClickItem(hAlice));
    EXPECT_EQ(pList->GetCurrentEntry(), pAlice);
    m_server.Resume();
    ASSERT_TRUE(WaitUntil([&]() { return Settled(); }));
    EXPECT_EQ(m_pPanes->Rows().size(), 6u);
    EXPECT_GE(m_pPanes->RowOf("cn=Alice"), 0);
    EXPECT_EQ(m_pPanes->RowOf("cn=Bob"), -1);
    EXPECT_EQ(pList->GetCurrentEntry(), pAlice);

    // Rows changed after a header sort are found by what they show.
    auto shown = [&]() {
        std::vector<std::string> rows = m_pPanes->Rows();
        return std::multiset<std::string>(rows.begin(), rows.end());
    };
    std::multiset<std::string> expected = shown();
    m_server.Pause();
    m_pPanes->ModifyRow(m_pPanes->RowOf("sn=Smith"), "Smyth");
    pList->OnColumnClick(1);
    m_server.Resume();
    expected.erase(expected.find("sn=Smith"));
    expected.insert("sn=Smyth");
    ASSERT_TRUE(WaitUntil([&]() { return Settled(); }));
    EXPECT_EQ(shown(), expected);

    m_server.Pause();
    m_pPanes->DeleteRows({m_pPanes->RowOf("mail=alice@example.com"), m_pPanes->RowOf("telephoneNumber=111")});
    pList->OnColumnClick(0);
    m_server.Resume();
    expected.erase(expected.find("mail=alice@example.com"));
    expected.erase(expected.find("telephoneNumber=111"));
    ASSERT_TRUE(WaitUntil([&]() { return Settled(); }));
    EXPECT_EQ(shown(), expected);
    EXPECT_EQ(m_server.Values("cn=Alice," + kPeople, "sn"), std::vector<std::string>{"Smyth"});

    // A delete answered after a refresh took its item is no failure.
    ASSERT_TRUE(m_pTree->ClickItem(hBob));
    ASSERT_TRUE(m_pTree->ClickItem(hAlice));
    ASSERT_TRUE(WaitUntil([&]() { return Settled(); }));
    m_server.Pause();
    m_pPanes->DeleteEntry(hAlice);
    ASSERT_TRUE(WaitUntil([&]() { return Source()->GetRunning() == 1; }));
    // Bob's read is answered from his cache and gives Refresh back to People.
    ASSERT_TRUE(m_pTree->ClickItem(hBob));
    ASSERT_TRUE(WaitUntil([&]() { return m_pTree->GetItemEntry(hPeople)->CanRefresh(); }));
    m_pTree->SelectItem(hPeople);
    m_pPanes->m_services.m_status.Clear();
    m_pTree->OnRefresh();
    int nBoxes = m_pPanes->m_services.m_boxes.Count();
    m_server.Resume();
    ASSERT_TRUE(WaitUntil([&]() { return Settled(); }));
    EXPECT_EQ(m_pPanes->m_services.m_boxes.Count(), nBoxes);
    EXPECT_FALSE(m_server.Exists("cn=Alice," + kPeople));
}

TEST_F(LdapJourney, StoppedOrFailedExpansionLeavesTheEntryExpandable) {
    // A child, so that ou=Empty is not shown as a leaf at once.
    ASSERT_TRUE(m_server.Modify("dn: ou=Sub,ou=Empty," + kBase +
                                "\nchangetype: add\nobjectClass: organizationalUnit\nou: Sub\n"));
    HTREEITEM hRoot = ExpandAndWait(m_pPanes->Root());
    auto expandHeld = [&](HTREEITEM hItem) {
        // Nothing else (the first reads, the schema) may be held with it.
        ASSERT_TRUE(WaitUntil([&]() { return Settled(); }));
        m_server.Pause();
        m_pPanes->m_services.m_status.Clear();
        m_pTree->ExpandItem(hItem);
        ASSERT_TRUE(WaitUntil([&]() { return Source()->GetRunning() == 1; }));
    };
    auto expectExpandable = [&](HTREEITEM hItem) {
        ASSERT_TRUE(WaitUntil([&]() { return Settled(); }));
        EXPECT_TRUE(m_pTree->ItemHasButton(hItem));
        EXPECT_TRUE(m_pTree->GetItemEntry(hItem)->IsUnexpanded());
        for (HTREEITEM hChild : m_pTree->GetChildItems(hItem))
            EXPECT_NE(Str(m_pTree->GetItemText(hChild)), "loading entries.........");
    };

    HTREEITEM hPeople = m_pPanes->Child(hRoot, "ou=People");
    expandHeld(hPeople);
    CEntryNode::RequestStop();
    Source()->Stop();
    expectExpandable(hPeople);
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Search Abandoned");
    m_server.Resume();
    ExpandAndWait(hPeople);
    EXPECT_EQ(m_pPanes->ChildTexts(hPeople), (std::vector<std::string>{"cn=Alice", "cn=Bob"}));

    HTREEITEM hEmpty = m_pPanes->Child(hRoot, "ou=Empty");
    expandHeld(hEmpty);
    m_server.Kill();
    expectExpandable(hEmpty);
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Error in search operation");
}

TEST_F(LdapJourney, SaveToLdifReadsMissingAttributes) {
    HTREEITEM hPeople = People();
    CTempDir dir;
    std::string out = dir.File("people.ldif");
    CExportSettings& settings = m_pPanes->m_doc.GetExportSettings();
    settings.SetFilename(out.c_str());
    settings.SetSaveOption(0);
    m_pTree->SelectItem(hPeople);
    m_pTree->OnSaveToLdif();
    EXPECT_TRUE(ReadWholeFile(out).empty()) << "nothing read yet";
    settings.SetSaveOption(1);
    m_pTree->OnSaveToLdif();
    // Every entry, in the order of the children lists, with what it holds.
    std::string names = ReadWholeFile(out);
    EXPECT_EQ(names.rfind("dn: ou=People,dc=example,dc=com\r\n\r\n", 0), 0u) << names;
    EXPECT_NE(names.find("dn: cn=Bob,ou=People,dc=example,dc=com\r\n\r\n"), std::string::npos);
    EXPECT_NE(names.find("dn: cn=Alice,ou=People,dc=example,dc=com\r\n\r\n"), std::string::npos);
    EXPECT_EQ(names.size(), std::string("dn: ou=People,dc=example,dc=com\r\n\r\n"
                                        "dn: cn=Bob,ou=People,dc=example,dc=com\r\n\r\n"
                                        "dn: cn=Alice,ou=People,dc=example,dc=com\r\n\r\n")
                                .size());
    settings.SetSaveOption(2);
    m_pTree->OnSaveToLdif();
    std::string written = ReadWholeFile(out);
    EXPECT_NE(written.find("mail: alice@example.com\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("sn: Jones\r\n"), std::string::npos) << written;
    EXPECT_TRUE(m_pTree->GetItemEntry(hPeople)->CanRefresh()) << "every read ended its operation";
}

TEST_F(LdapJourney, SaveToLdifOnAHeldServerShowsProgressAndCancelLeavesTheFile) {
    HTREEITEM hPeople = People();
    CTempDir dir;
    std::string out = dir.File("kept.ldif");
    WriteWholeFile(out, "dn: o=before\r\n\r\n");
    CExportSettings& settings = m_pPanes->m_doc.GetExportSettings();
    settings.SetFilename(out.c_str());
    settings.SetSaveOption(2);
    m_pTree->SelectItem(hPeople);
    m_server.Pause();
    // The save waits for a read the held server does not answer; its
    // progress window comes up and its Cancel ends the save at once.
    QString label;
    QElapsedTimer guard;
    guard.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, m_pTree, [&] {
        auto* pProgress = m_pTree->findChild<QProgressDialog*>();
        if (pProgress && pProgress->isVisible()) {
            label = pProgress->labelText();
            pProgress->cancel();
        } else if (guard.elapsed() > 20000) {
            m_server.Resume(); // never a hang, only a failure
        }
    });
    poll.start(50);
    m_pTree->OnSaveToLdif();
    poll.stop();
    EXPECT_EQ(label, QStringLiteral("Saving entries to LDIF: 0 of 3 written"));
    EXPECT_EQ(ReadWholeFile(out), "dn: o=before\r\n\r\n");
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Save to LDIF stopped; this file was left as it was: " + out);
    m_server.Resume();
    ASSERT_TRUE(WaitUntil([&]() { return Settled(); }));
    EXPECT_TRUE(m_pTree->GetItemEntry(hPeople)->CanRefresh());
}

// 600 entries below ou=People, none of them loaded in the tree.
class LdapSaveJourney : public LdapJourney {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.AddChildren(kPeople, 600, "member"));
        LdapJourney::SetUp();
    }
    // What Save to LDIF says and writes for the top entry's People item,
    // unexpanded, with the option given.
    std::string Save(int nOption, const std::string& path) {
        CExportSettings& settings = m_pPanes->m_doc.GetExportSettings();
        settings.SetFilename(path.c_str());
        settings.SetSaveOption(nOption);
        m_pTree->SelectItem(m_pPanes->Child(m_pPanes->Root(), "ou=People"));
        m_pTree->OnSaveToLdif();
        return Str(m_pPanes->Status(1));
    }
};

TEST_F(LdapSaveJourney, TheDefaultSavesTheWholeSubtreeParentsFirstTheOthersSayWhatTheyLeftOut) {
    m_pTree->ExpandItem(m_pPanes->Root());
    ASSERT_TRUE(WaitUntil([this]() { return SearchDone(); }));
    CTempDir dir;
    const std::string out = dir.File("people.ldif");
    // A new profile saves the whole subtree, read from the server.
    EXPECT_EQ(CExportSettings().GetSaveOption(), SAVE_WHOLE_SUBTREE);
    // An escaped comma in a DN and a binary value travel exactly.
    const std::string photo("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01", 12);
    ASSERT_TRUE(m_server.Modify("dn: cn=Lee\\2C A," + kPeople +
                                "\nchangetype: add\nobjectClass: inetOrgPerson\n" +
                                "cn: Lee, A\nsn: Lee\njpegPhoto:: /9j/4AAQSkZJRgAB\n"));
    EXPECT_EQ(Save(SAVE_WHOLE_SUBTREE, out), "604 entries saved to " + out);
    const std::string written = ReadWholeFile(out);
    EXPECT_EQ(written.rfind("version: 1\r\n\r\ndn: ou=People,dc=example,dc=com\r\n", 0), 0u);
    EXPECT_NE(written.find("mail: alice.smith@example.com\r\n"), std::string::npos);
    // Another server takes the file as it is: every parent comes first.
    CSlapdServer other("dn: dc=example,dc=com\nobjectClass: dcObject\nobjectClass: organization\n"
                       "dc: example\no: Example\n\n");
    ASSERT_TRUE(other.Start()) << other.LastError();
    int nExit = -1;
    const std::string output = other.RunTool("ldapadd -x -H " + other.Url() + " -D " + other.AdminDN() +
                                                 " -w " + other.Password() + " -f " + out + " 2>&1",
                                             &nExit);
    EXPECT_EQ(nExit, 0) << output;
    EXPECT_EQ(other.SearchDNs(kPeople).size(), 603u);
    EXPECT_EQ(other.Values("cn=Lee\\, A," + kPeople, "jpegPhoto"), std::vector<std::string>{photo});
    EXPECT_EQ(other.Values("cn=Lee\\, A," + kPeople, "cn"), std::vector<std::string>{"Lee, A"});

    // The options that write what the tree holds say that they did.
    EXPECT_EQ(Save(SAVE_ALL, out),
              "1 entries saved to " + out + " (only entries loaded in the tree were included)");
    EXPECT_EQ(ReadWholeFile(out), "dn: ou=People,dc=example,dc=com\r\n\r\n");
}

TEST_F(LdapSaveJourney, AStoppedOrCutSubtreeLeavesTheFileAsItWas) {
    m_pTree->ExpandItem(m_pPanes->Root());
    ASSERT_TRUE(WaitUntil([this]() { return SearchDone(); }));
    CTempDir dir;
    const std::string out = dir.File("kept.ldif");
    WriteWholeFile(out, "dn: o=before\r\n\r\n");
    // Held by the server: the progress window comes up, and its Cancel ends
    // the save with the file untouched.
    m_server.Pause();
    QString label;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, m_pTree, [&] {
        if (auto* pProgress = m_pTree->findChild<QProgressDialog*>(); pProgress && pProgress->isVisible()) {
            label = pProgress->labelText();
            pProgress->cancel();
        }
    });
    poll.start(50);
    EXPECT_EQ(Save(SAVE_WHOLE_SUBTREE, out), "Save to LDIF stopped; this file was left as it was: " + out);
    poll.stop();
    m_server.Resume();
    EXPECT_EQ(label, QStringLiteral("Saving entries to LDIF: 0 written"));
    EXPECT_EQ(ReadWholeFile(out), "dn: o=before\r\n\r\n");
    ASSERT_TRUE(WaitUntil([&]() { return Settled(); }));
}

TEST_F(LdapSaveJourney, ASubtreeCutByTheServersLimitIsNoBackup) {
    // Anonymous users get at most 100 entries from this server.
    m_pPanes.reset();
    m_server.Stop();
    m_server.SetSizeLimits("size=100 size.prtotal=100");
    StartAndOpen(m_server, false);
    CTempDir dir;
    const std::string out = dir.File("kept.ldif");
    WriteWholeFile(out, "dn: o=before\r\n\r\n");
    m_pTree->ExpandItem(m_pPanes->Root());
    ASSERT_TRUE(WaitUntil([this]() { return SearchDone(); }));
    Save(SAVE_WHOLE_SUBTREE, out);
    EXPECT_EQ(ReadWholeFile(out), "dn: o=before\r\n\r\n");
    EXPECT_THAT(Str(m_pPanes->m_services.m_boxes.LastText()),
                ::testing::HasSubstr("The subtree was not saved; this file was left as it was: " + out));
}

class LdapLargeJourney : public LdapJourney {
protected:
    static constexpr int kBigChildren = 20000;
    // Entries shown under hItem that are not among its entry's children now
    // (a retired or freed node behind an item).
    int StrayItems(HTREEITEM hItem) {
        std::vector<CEntryNode*> now = m_pTree->GetItemEntry(hItem)->GetChildren();
        std::set<CEntryNode*> children(now.begin(), now.end());
        int nStray = 0;
        for (HTREEITEM hChild : m_pTree->GetChildItems(hItem))
            if (CEntryNode* pEntry = m_pTree->GetItemEntry(hChild))
                nStray += children.count(pEntry) ? 0 : 1;
        return nStray;
    }

    void SetUp() override {
        ASSERT_TRUE(m_server.AddChildren(kPeople, 3000, "member"));
        ASSERT_TRUE(m_server.AddChildren("ou=Empty," + kBase, kBigChildren, "child"));
        LdapJourney::SetUp();
        m_hRoot = m_pPanes->Root();
        m_pTree->ExpandItem(m_hRoot);
        EXPECT_TRUE(WaitUntil([&]() { return Idle() && Completed(); }));
        m_hPeople = m_pPanes->Child(m_hRoot, "ou=People");
    }

    bool Completed() { return Str(m_pPanes->Status(1)).rfind("Search Completed", 0) == 0; }

    HTREEITEM m_hRoot;
    HTREEITEM m_hPeople;
};

TEST_F(LdapLargeJourney, AllChildrenArriveSortedADeleteDuringAReadEndsCleanAndStopAbandons) {
    m_pPanes->m_services.m_status.Clear();
    m_pTree->ExpandItem(m_hPeople);
    ASSERT_TRUE(WaitUntil([&]() { return Completed(); }));
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Search Completed  -  3002 entries found");
    std::vector<std::string> texts = m_pPanes->ChildTexts(m_hPeople);
    ASSERT_EQ(texts.size(), 3002u);
    EXPECT_TRUE(std::is_sorted(texts.begin(), texts.end(), [](const std::string& a, const std::string& b) {
        return CString(a).CompareNoCase(CString(b)) < 0;
    }));

    // An entry deleted while its attributes are read is never touched
    // afterwards (run under AddressSanitizer).
    ASSERT_TRUE(WaitUntil([&]() { return Idle(); }));
    HTREEITEM hMember = m_pPanes->Child(m_hPeople, "cn=member7");
    ASSERT_TRUE(hMember);
    m_server.Pause();
    ASSERT_TRUE(m_pTree->ClickItem(hMember)); // the read waits on the held server
    m_pPanes->DeleteEntry(hMember);           // Delete stays enabled during a read
    m_server.Resume();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && !m_pTree->GetItemEntry(hMember); }));
    PumpEvents();
    EXPECT_FALSE(m_server.Exists("cn=member7," + kPeople));

    // Again, and stopped while the server is held.
    CEntryNode* pPeople = m_pTree->GetItemEntry(m_hPeople);
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && pPeople->CanRefresh(); }));
    m_pTree->SelectItem(m_hPeople);
    m_server.Pause();
    m_pPanes->m_services.m_status.Clear();
    m_pTree->OnRefresh();
    ASSERT_TRUE(WaitUntil([&]() { return Source()->GetRunning() > 0; }));
    CEntryNode::RequestStop();
    Source()->Stop();
    m_server.Resume();
    ASSERT_TRUE(WaitUntil([&]() { return Str(m_pPanes->Status(1)).rfind("Search ", 0) == 0; }));
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Search Abandoned");
    ASSERT_TRUE(WaitUntil([&]() { return Idle(); }));
    for (HTREEITEM hChild : m_pTree->GetChildItems(m_hPeople))
        EXPECT_NE(Str(m_pTree->GetItemText(hChild)), "loading entries.........");
}

TEST_F(LdapLargeJourney, RefreshWhileTheEntryStreamsShowsEachChildOnceAndCloseWhileStreaming) {
    HTREEITEM hBig = m_pPanes->Child(m_hRoot, "ou=Empty");
    CEntryNode* pBig = m_pTree->GetItemEntry(hBig);
    m_pTree->ExpandItem(hBig);
    for (int r = 0; r < 3; ++r) {
        ASSERT_TRUE(WaitUntil([&]() { return m_pTree->GetChildItems(hBig).size() > 1; })) << "round " << r;
        // Selecting the entry reads it; the read's end makes Refresh available
        // while the expansion still streams.
        m_pTree->ClickItem(m_hRoot);
        m_pTree->ClickItem(hBig);
        ASSERT_TRUE(WaitUntil([&]() { return pBig->CanRefresh(); }));
        m_pTree->OnRefresh();
        EXPECT_EQ(StrayItems(hBig), 0) << "round " << r;
    }
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && Completed(); }));
    PumpEvents();
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Search Completed  -  20000 entries found");
    EXPECT_EQ(StrayItems(hBig), 0);
    std::vector<std::string> shown = m_pPanes->ChildTexts(hBig);
    std::set<std::string> onServer;
    for (const std::string& dn : m_server.SearchDNs("ou=Empty," + kBase))
        onServer.insert(dn.substr(0, dn.find(',')));
    EXPECT_EQ(shown.size(), onServer.size());
    EXPECT_EQ(std::set<std::string>(shown.begin(), shown.end()), onServer);
    EXPECT_EQ(pBig->GetChildCount(), kBigChildren);

    // Close while an expansion streams neither hangs nor crashes.
    m_pTree->ExpandItem(m_hPeople);
    ASSERT_TRUE(WaitUntil([&]() { return m_pTree->GetChildItems(m_hPeople).size() > 1; }));
    m_pPanes->Close();
    PumpEvents();
    EXPECT_TRUE(m_pTree->GetChildItems(HTREEITEM()).empty());
    EXPECT_FALSE(m_pTree->GetModel()->HasQueued());
}

// Entries removed while another operation still runs on or below them must
// never be touched afterwards (run under AddressSanitizer).
TEST_F(LdapLargeJourney, RefreshOfAParentWhileAChildStillExpands) {
    CEntryNode* pRoot = m_pTree->GetItemEntry(m_hRoot);
    CEntryNode* pPeople = m_pTree->GetItemEntry(m_hPeople);
    // The read of ou=Empty ends first and re-enables the root's Refresh
    // while the expansion of ou=People still streams.
    m_server.Pause();
    m_pTree->ExpandItem(m_hPeople);
    m_pTree->ClickItem(m_pPanes->Child(m_hRoot, "ou=Empty"));
    m_server.Resume();
    ASSERT_TRUE(WaitUntil([&]() { return pRoot->CanRefresh(); }));
    bool bStillStreaming = !pPeople->CanRefresh();
    m_pTree->SelectItem(m_hRoot);
    m_pTree->OnRefresh();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->ChildTexts(m_hRoot).size() == 2; }));
    PumpEvents();
    EXPECT_EQ(m_pTree->GetItemEntry(m_hPeople), nullptr);
    EXPECT_EQ(m_pPanes->ChildTexts(m_hRoot), (std::vector<std::string>{"ou=Empty", "ou=People"}));
    RecordProperty("interleaved", bStillStreaming ? "yes" : "no");
}

namespace {

const std::string kDeep = "cn=Deep\\2C One,ou=L4,ou=L3,ou=L2,ou=L1,dc=example,dc=com";

std::string DeepSeed() {
    std::string ldif = CSlapdServer::DefaultSeed();
    std::string parent = kBase;
    for (int nLevel = 1; nLevel <= 4; ++nLevel) {
        std::string dn = "ou=L" + std::to_string(nLevel) + "," + parent;
        ldif += "\ndn: " + dn + "\nobjectClass: organizationalUnit\nou: L" + std::to_string(nLevel) + "\n";
        parent = dn;
    }
    ldif +=
        "\ndn: " + kDeep + "\nobjectClass: person\ncn: Deep, One\nsn: One\ndescription: two\n lines folded\n";
    return ldif;
}

// The search panel: a typed filter checked, results streamed into the
// table, a row gone to five levels deep, the results saved as CSV and as
// LDIF that the tools read back.
class SearchPanelTest : public LdapJourney {
protected:
    SearchPanelTest() : LdapJourney(DeepSeed()) {}
    void SetUp() override {
        LdapJourney::SetUp();
        m_pPanel = std::make_unique<CSearchPanel>(&m_pPanes->m_doc, m_pTree);
        CPanes::CheckModel(m_pPanel->Results(), m_pPanel.get());
        m_pPanel->show();
    }
    void TearDown() override {
        m_pPanel.reset();
        LdapJourney::TearDown();
    }
    bool Search(const QString& filter) {
        m_pPanel->FilterCombo()->setEditText(filter);
        QTest::keyClick(m_pPanel->FilterCombo()->lineEdit(), Qt::Key_Return);
        return WaitUntil([this]() { return !m_pPanel->IsSearching(); });
    }

    std::unique_ptr<CSearchPanel> m_pPanel;
};

} // namespace

// A search cut short says whose limit it was: the user's own, or the
// server's (which anonymous users meet first).
TEST_F(LdapJourney, ASearchCutShortSaysWhoseLimitItWas) {
    CSlapdServer capped;
    capped.SetSizeLimit(500);
    ASSERT_TRUE(capped.AddChildren("ou=Empty," + kBase, 1200));
    StartAndOpen(capped, false);
    CSearchPanel panel(&m_pPanes->m_doc, m_pTree);
    panel.show();
    const struct {
        int nLimit;
        const char* pszStatus;
    } cases[] = {
        {1000, "500 entries (the server's size limit of 500 reached)"},
        {20, "20 entries (your limit of 20 reached)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nLimit);
        panel.ShowForEntry(kBase.c_str());
        panel.SizeLimitSpin()->setValue(c.nLimit);
        panel.FilterCombo()->setEditText("(objectClass=*)");
        QTest::keyClick(panel.FilterCombo()->lineEdit(), Qt::Key_Return);
        ASSERT_TRUE(WaitUntil([&]() { return !panel.IsSearching(); }));
        EXPECT_EQ(Str(panel.GetStatusText()), c.pszStatus);
    }
}

TEST_F(SearchPanelTest, FindsGoesToAndSavesTheEntries) {
    m_pPanel->ShowForEntry(kBase.c_str());
    EXPECT_EQ(m_pPanel->BaseCombo()->currentText().toStdString(), kBase);

    // A fault is shown under the field and nothing is sent.
    m_pPanel->FilterCombo()->setEditText("(&(cn=x)");
    EXPECT_EQ(m_pPanel->FilterErrorLabel()->text(), "Unbalanced parenthesis: ')' missing at position 9.");
    m_pPanel->OnSearch();
    EXPECT_FALSE(m_pPanel->IsSearching());
    EXPECT_EQ(m_pPanel->Results()->GetResultCount(), 0);
    // So is a base that is no DN; neither is remembered.
    m_pPanel->FilterCombo()->setEditText("(cn=x)");
    m_pPanel->BaseCombo()->setEditText("not a DN");
    m_pPanel->OnSearch();
    EXPECT_FALSE(m_pPanel->IsSearching());
    EXPECT_EQ(Str(m_pPanes->m_services.m_boxes.LastText()), "Error - Invalid Search Base.");
    EXPECT_EQ(m_pPanel->BaseCombo()->findText("not a DN"), -1);
    m_pPanes->m_services.m_boxes.Clear();
    m_pPanel->BaseCombo()->setEditText(QString::fromStdString(kBase));

    // Enter searches; the table fills, sorts by any column and narrows by text.
    ASSERT_TRUE(Search("(|(objectClass=person)(ou=L*))"));
    EXPECT_TRUE(m_pPanel->GetFilterError().IsEmpty());
    ASSERT_EQ(m_pPanel->Results()->GetResultCount(), 7);
    EXPECT_EQ(Str(m_pPanel->GetStatusText()), "7 entries");
    QTableView* pTable = m_pPanel->ResultTable();
    EXPECT_EQ(pTable->model()->headerData(0, Qt::Horizontal).toString(), "DN");
    pTable->sortByColumn(0, Qt::DescendingOrder);
    EXPECT_TRUE(pTable->model()->index(0, 0).data().toString().startsWith("ou=L4"));
    m_pPanel->NarrowEdit()->setText("deep");
    ASSERT_EQ(m_pPanel->ShownResults()->rowCount(), 1);
    EXPECT_EQ(pTable->model()->index(0, 0).data().toString().toStdString(),
              "cn=Deep\\, One,ou=L4,ou=L3,ou=L2,ou=L1,dc=example,dc=com");
    EXPECT_EQ(Str(m_pPanel->GetStatusText()), "7 entries, 1 shown");

    // Enter on the row: the tree opens level by level down to the entry,
    // selects it and shows its attributes.
    pTable->setCurrentIndex(pTable->model()->index(0, 0));
    QTest::keyClick(pTable, Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&]() {
        CEntryNode* pEntry = m_pTree->GetItemEntry(m_pTree->GetSelectedItem());
        return pEntry && pEntry->GetDN() == kDeep.c_str() && m_pPanes->Rows().size() == 4;
    })) << Str(m_pPanes->Status(1))
        << " rows " << m_pPanes->Rows().size();
    EXPECT_FALSE(m_pTree->IsGoingToEntry()) << Str(m_pPanes->Status(1));

    // Saved as shown: CSV with RFC 4180 quoting, LDIF that ldapadd reads.
    CTempDir dir;
    std::string csv = dir.File("r.csv"), ldif = dir.File("r.ldif");
    ASSERT_TRUE(m_pPanel->WriteCsv(csv.c_str()));
    std::string text = ReadWholeFile(csv);
    EXPECT_EQ(text.substr(0, 3), "DN,");
    EXPECT_NE(text.find("\r\n\"cn=Deep\\"), std::string::npos) << "a DN with commas is quoted";
    EXPECT_NE(text.find("\"Deep, One\""), std::string::npos);
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    ASSERT_TRUE(m_pPanel->WriteLdif(ldif.c_str()));
    EXPECT_NE(ReadWholeFile(ldif).find("description: twolines folded"), std::string::npos);
    int nExit = -1;
    std::string out = m_server.RunTool("ldapadd -n -x -f '" + ldif + "' 2>&1", &nExit);
    EXPECT_EQ(nExit, 0) << out;
    EXPECT_NE(out.find("adding new entry \"cn=Deep"), std::string::npos) << out;

    // A table of some attributes still saves whole entries as LDIF.
    m_pPanel->AttributesEdit()->setText("cn");
    ASSERT_TRUE(Search("(sn=One)"));
    // The rows of a new search come in the server's order: the old arrow goes.
    EXPECT_EQ(pTable->horizontalHeader()->sortIndicatorSection(), -1);
    ASSERT_EQ(m_pPanel->Results()->GetColumnCount(), 2) << "DN and cn";
    ASSERT_TRUE(m_pPanel->WriteLdif(ldif.c_str()));
    text = ReadWholeFile(ldif);
    EXPECT_NE(text.find("objectClass: person\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("sn: One\r\n"), std::string::npos) << text;
}

namespace {

// A group whose member is five levels down and whose seeAlso names an
// entry that is not there.
std::string GroupSeed() {
    return DeepSeed() +
           "\ndn: cn=Staff,dc=example,dc=com\nobjectClass: groupOfNames\ncn: Staff\nmember: " + kDeep +
           "\nseeAlso: cn=Nobody,dc=example,dc=com\n";
}

class DnValueTest : public LdapJourney {
protected:
    DnValueTest() : LdapJourney(GroupSeed()) {}
    // Shows the group's attributes and makes the row of name the current one.
    int ShowGroupRow(const char* pszName) {
        HTREEITEM hRoot = m_pPanes->Root();
        if (m_pTree->GetItemEntry(hRoot)->IsUnexpanded())
            ExpandAndWait(hRoot);
        HTREEITEM hStaff = m_pPanes->Child(hRoot, "cn=Staff");
        EXPECT_TRUE(hStaff);
        m_pTree->ClickItem(hStaff);
        CLdapListView* pList = m_pPanes->m_pList;
        // The server's answer, not the cache shown first, fills the rows.
        EXPECT_TRUE(WaitUntil([&] {
            CEntryNode* pEntry = pList->GetCurrentEntry();
            return pEntry && pEntry->CanRefreshAttributes() && pList->GetRowCount() >= 4;
        }));
        PumpEvents();
        for (int nRow = 0; nRow < pList->GetRowCount(); ++nRow) {
            if (pList->GetRowName(nRow) == pszName) {
                pList->SelectRows({nRow});
                pList->GetListControl()->selectionModel()->setCurrentIndex(pList->GetModel()->index(nRow, 1),
                                                                           QItemSelectionModel::NoUpdate);
                return nRow;
            }
        }
        ADD_FAILURE() << "no row " << pszName;
        return -1;
    }
    QAction* GoToAction() {
        for (QAction* pAction : m_pPanes->m_pList->GetContextMenu()->actions())
            if (pAction->text() == "&Go to Entry")
                return pAction;
        return nullptr;
    }
};

} // namespace

// A DN in the attribute pane is followed by its context menu or a
// double-click: the tree opens level by level to the entry, which shows;
// a DN of no entry says so; other values are not offered.
TEST_F(DnValueTest, ADnValueIsFollowedToItsEntry) {
    CLdapListView* pList = m_pPanes->m_pList;
    const int nMember = ShowGroupRow("member");
    ASSERT_GE(nMember, 0);
    // Read as the tree shows DNs; the bytes are the server's.
    EXPECT_EQ(pList->GetModel()->index(nMember, 1).data().toString().toStdString(),
              "cn=Deep\\, One,ou=L4,ou=L3,ou=L2,ou=L1,dc=example,dc=com");
    ASSERT_NE(GoToAction(), nullptr);
    pList->OnRightButtonDown(
        pList->GetListControl()->visualRect(pList->GetModel()->index(nMember, 1)).center());
    EXPECT_TRUE(GoToAction()->isEnabled());
    pList->GetContextMenu()->close();
    GoToAction()->trigger();
    ASSERT_TRUE(WaitUntil([&] {
        CEntryNode* pEntry = m_pTree->GetSelectedEntry();
        return pEntry && DnCompareKey(pEntry->GetDN().View()) == DnCompareKey(kDeep) &&
               pList->GetCurrentEntry() == pEntry && pList->GetRowCount() >= 4;
    })) << Str(m_pPanes->Status(1));

    // A value that is no DN: nothing to follow, and a double-click does not go.
    const int nCn = ShowGroupRow("cn");
    ASSERT_GE(nCn, 0);
    pList->OnRightButtonDown(pList->GetListControl()->visualRect(pList->GetModel()->index(nCn, 1)).center());
    EXPECT_FALSE(GoToAction()->isEnabled());
    pList->GetContextMenu()->close();

    // A double-click on a DN of no entry: the tree says it is not there.
    const int nSeeAlso = ShowGroupRow("seeAlso");
    ASSERT_GE(nSeeAlso, 0);
    QTreeView* pControl = pList->GetListControl();
    pList->window()->resize(800, 600);
    pList->window()->show();
    PumpEvents();
    const QPoint at = pControl->visualRect(pList->GetModel()->index(nSeeAlso, 1)).center();
    ASSERT_EQ(pControl->indexAt(at).row(), nSeeAlso);
    // As a window system delivers a double-click: press, release, the
    // double-click, release.
    QWidget* pViewport = pControl->viewport();
    QTest::mousePress(pViewport, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(pViewport, Qt::LeftButton, Qt::NoModifier, at);
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, at, pViewport->mapToGlobal(at), Qt::LeftButton,
                            Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pViewport, &doubleClick);
    QTest::mouseRelease(pViewport, Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(WaitUntil([&] { return !m_pTree->IsGoingToEntry(); }));
    EXPECT_EQ(Str(m_pPanes->Status(1)), "The entry cn=Nobody,dc=example,dc=com does not exist.") << [&] {
        std::string all;
        for (const CString& text : m_pPanes->m_services.m_status.History(1))
            all += Str(text) + " | ";
        return all;
    }();
    EXPECT_EQ(Str(m_pTree->GetSelectedEntry()->GetDN()), "cn=Staff,dc=example,dc=com");
}
