// Journeys through both panes on a real directory server: browse, read,
// add, rename, delete, values, refresh, Stop, Close while streaming, and
// entries removed while another operation still runs on them.

#include "UiTestSupport.h"

#include "SlapdFixture.h"
#include "model/EntryNode.h"
#include "platform/Thread.h"
#include "source/ConnectionParams.h"
#include "source/LdapSource.h"
#include "ui/AddAttributesDlg.h"
#include "ui/AttributeListEditor.h"
#include "ui/BinaryValueDlg.h"
#include "ui/EntryDlg.h"
#include "ui/EntryTreeModel.h"
#include "ui/ModifyAttributeDlg.h"
#include "ui/TreeImages.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <fstream>

namespace {

const std::string kBase = "dc=example,dc=com";
const std::string kPeople = "ou=People,dc=example,dc=com";

class LdapJourney : public ::testing::Test {
protected:
    void StartAndOpen(CSlapdServer& server) {
        ASSERT_TRUE(server.Start()) << server.LastError();
        auto* pSource = new CLdapSource;
        CConnectionParams params;
        params.m_strServer = server.Host();
        params.m_nPort = server.Port();
        params.m_strSearchBase = kBase;
        params.m_strFilter = "(objectclass=*)";
        params.m_strBindDN = server.AdminDN();
        params.m_strPassword = server.Password();
        ASSERT_TRUE(pSource->Open(params));
        m_pPanes->Open(pSource, params.m_pRoot);
    }
    void SetUp() override {
        m_pPanes = std::make_unique<CPanes>();
        StartAndOpen(m_server);
    }
    void TearDown() override { m_pPanes.reset(); }

    bool SearchDone() {
        auto history = m_pPanes->m_services.m_status.History(1);
        return !history.empty() && Str(history.back()).rfind("Search ", 0) == 0;
    }
    // Expands like a click on the button and waits for the end of the search.
    HTREEITEM ExpandAndWait(HTREEITEM hItem) {
        m_pPanes->m_services.m_status.Clear();
        m_pPanes->m_pTree->ExpandItem(hItem);
        EXPECT_TRUE(WaitUntil([this]() { return SearchDone(); }));
        return hItem;
    }
    HTREEITEM People() {
        HTREEITEM hRoot = ExpandAndWait(m_pPanes->Root());
        return ExpandAndWait(m_pPanes->Child(hRoot, "ou=People"));
    }
    CLdapSource* Source() { return static_cast<CLdapSource*>(m_pPanes->m_doc.m_pDataSource); }
    bool Idle() { return Source()->GetRunning() == 0; }

    CSlapdServer m_server;
    std::unique_ptr<CPanes> m_pPanes;
};

} // namespace

TEST_F(LdapJourney, BrowseAndReadThroughThePanes) {
    CLdapTreeView* pTree = m_pPanes->m_pTree;
    HTREEITEM hRoot = m_pPanes->Root();
    EXPECT_EQ(Str(pTree->GetItemText(hRoot)), "dc=example");
    ExpandAndWait(hRoot);
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Search Completed  -  2 entries found");
    EXPECT_EQ(m_pPanes->ChildTexts(hRoot), (std::vector<std::string>{"ou=Empty", "ou=People"}));
    HTREEITEM hPeople = ExpandAndWait(m_pPanes->Child(hRoot, "ou=People"));
    EXPECT_EQ(m_pPanes->ChildTexts(hPeople), (std::vector<std::string>{"cn=Alice", "cn=Bob"}));

    // A childless entry becomes a leaf.
    HTREEITEM hEmpty = m_pPanes->Child(hRoot, "ou=Empty");
    CEntryNode* pEmpty = pTree->GetItemEntry(hEmpty);
    ExpandAndWait(hEmpty);
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Search Completed  -  0 entries found");
    HTREEITEM hLeaf = pTree->FindEntryItem(pEmpty);
    int nImage = -1, nSelected = -1;
    pTree->GetItemImage(hLeaf, nImage, nSelected);
    EXPECT_EQ(nImage, TREE_IMAGE_LEAF);
    EXPECT_FALSE(pTree->ItemHasButton(hLeaf));

    // Selecting reads from the server, one attribute per message, in read order.
    HTREEITEM hAlice = m_pPanes->Child(hPeople, "cn=Alice");
    CEntryNode* pAlice = pTree->GetItemEntry(hAlice);
    ASSERT_TRUE(pTree->ClickItem(hAlice));
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 6; }));
    std::vector<std::string> rows = m_pPanes->Rows();
    EXPECT_NE(std::find(rows.begin(), rows.end(), "mail=alice@example.com"), rows.end());
    EXPECT_EQ(Str(m_pPanes->Status(2)), "6 Attributes Found.");
    EXPECT_TRUE(pAlice->CanModifyEntry()) << "the read's operation ended";

    // The second selection is shown from the cache.
    ASSERT_TRUE(pTree->ClickItem(m_pPanes->Child(hPeople, "cn=Bob")));
    ASSERT_TRUE(WaitUntil([&]() { return Idle(); }));
    int nCached = pAlice->m_attributes.GetSize();
    ASSERT_TRUE(pTree->ClickItem(hAlice));
    EXPECT_EQ(m_pPanes->Rows().size(), 6u) << "shown at once from the cache";
    ASSERT_TRUE(WaitUntil([&]() { return Idle(); }));
    EXPECT_EQ(pAlice->m_attributes.GetSize(), nCached);
    EXPECT_EQ(m_pPanes->Rows().size(), 6u);
}

TEST_F(LdapJourney, EntryUpdatesReachTheServer) {
    CLdapTreeView* pTree = m_pPanes->m_pTree;
    HTREEITEM hPeople = People();
    pTree->SelectItem(hPeople);
    DriveNextModal([](QWidget* pModal) {
        auto* pDlg = qobject_cast<CEntryDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        pDlg->RelativeNameEdit()->setText("cn=Carol");
        const char* rows[][2] = {{"objectClass", "inetOrgPerson"}, {"cn", "Carol"}, {"sn", "Ng"}};
        for (auto& row : rows) {
            pDlg->Editor()->NameEdit()->setText(row[0]);
            pDlg->Editor()->ValueEdit()->setText(row[1]);
            pDlg->Editor()->AddButton()->click();
        }
        pDlg->OnOK();
    });
    pTree->OnAddEntry();
    ASSERT_TRUE(WaitUntil([&]() { return static_cast<bool>(m_pPanes->Child(hPeople, "cn=Carol")); }));
    EXPECT_EQ(Str(m_pPanes->Status(1)), "cn=Carol,ou=People,dc=example,dc=comNode successfully added");
    EXPECT_TRUE(m_server.Exists("cn=Carol,ou=People,dc=example,dc=com"));

    // Rename, shown in both title modes.
    pTree->SelectItem(m_pPanes->Child(hPeople, "cn=Carol"));
    DriveNextModal([](QWidget* pModal) {
        qobject_cast<CModifyAttributeDlg*>(pModal)->EditableEdit()->setText("cn=Caro");
        qobject_cast<CModifyAttributeDlg*>(pModal)->OnOK();
    });
    pTree->OnModifyEntry();
    ASSERT_TRUE(WaitUntil([&]() { return static_cast<bool>(m_pPanes->Child(hPeople, "cn=Caro")); }));
    EXPECT_TRUE(m_server.Exists("cn=Caro,ou=People,dc=example,dc=com"));
    m_pPanes->m_doc.GetExportSettings().SetEntryAsRDN(0);
    pTree->SelectItem(m_pPanes->Child(hPeople, "cn=Caro"));
    DriveNextModal([](QWidget* pModal) {
        qobject_cast<CModifyAttributeDlg*>(pModal)->EditableEdit()->setText("cn=Cara");
        qobject_cast<CModifyAttributeDlg*>(pModal)->OnOK();
    });
    pTree->OnModifyEntry();
    ASSERT_TRUE(WaitUntil([&]() {
        return static_cast<bool>(m_pPanes->Child(hPeople, "cn=Cara,ou=People,dc=example,dc=com"));
    }));
    m_pPanes->m_doc.GetExportSettings().SetEntryAsRDN(1);

    // Delete asks; a parent is refused by the server and stays.
    HTREEITEM hCara = m_pPanes->Child(hPeople, "cn=Cara,ou=People,dc=example,dc=com");
    pTree->SelectItem(hCara);
    m_pPanes->m_services.m_boxes.SetNextAnswer(IDYES);
    pTree->OnDeleteEntry();
    // The entry selected after it is read and shown, as after a click.
    ASSERT_TRUE(WaitUntil([&]() {
        return !pTree->GetItemEntry(hCara) && pTree->GetSelectedEntry() &&
               m_pPanes->m_pList->GetCurrentEntry() == pTree->GetSelectedEntry() &&
               pTree->GetItemEntry(hPeople)->CanDeleteEntry();
    }));
    EXPECT_FALSE(m_server.Exists("cn=Cara,ou=People,dc=example,dc=com"));

    pTree->SelectItem(hPeople);
    m_pPanes->m_services.m_boxes.Clear();
    m_pPanes->m_services.m_boxes.SetNextAnswer(IDYES);
    pTree->OnDeleteEntry();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->m_services.m_boxes.Count() >= 2; }));
    EXPECT_TRUE(m_server.Exists(kPeople));
    EXPECT_TRUE(pTree->GetItemEntry(hPeople));
}

TEST_F(LdapJourney, ValueUpdatesKeepRowsCacheAndServerInStep) {
    CLdapTreeView* pTree = m_pPanes->m_pTree;
    CLdapListView* pList = m_pPanes->m_pList;
    HTREEITEM hPeople = People();
    HTREEITEM hBob = m_pPanes->Child(hPeople, "cn=Bob");
    CEntryNode* pBob = pTree->GetItemEntry(hBob);
    ASSERT_TRUE(pTree->ClickItem(hBob));
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 3; }));

    DriveNextModal([](QWidget* pModal) {
        auto* pDlg = qobject_cast<CAddAttributesDlg*>(pModal);
        for (const char* v : {"111", "222"}) {
            pDlg->Editor()->NameEdit()->setText("telephoneNumber");
            pDlg->Editor()->ValueEdit()->setText(v);
            pDlg->Editor()->AddButton()->click();
        }
        pDlg->OnOK();
    });
    pList->OnAddAttributes();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 5; }));
    EXPECT_EQ(m_server.Values(pBob->GetDN().Str(), "telephoneNumber").size(), 2u);

    // Delete one of the two values.
    std::vector<std::string> rows = m_pPanes->Rows();
    int nRow = static_cast<int>(std::find(rows.begin(), rows.end(), "telephoneNumber=111") - rows.begin());
    pList->SelectRows({nRow});
    m_pPanes->m_services.m_boxes.SetNextAnswer(IDYES);
    pList->OnDeleteAttributes();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 4; }));
    EXPECT_EQ(m_server.Values(pBob->GetDN().Str(), "telephoneNumber"), (std::vector<std::string>{"222"}));

    // Modify the remaining one.
    rows = m_pPanes->Rows();
    nRow = static_cast<int>(std::find(rows.begin(), rows.end(), "telephoneNumber=222") - rows.begin());
    pList->SelectRows({nRow});
    DriveNextModal([](QWidget* pModal) {
        qobject_cast<CModifyAttributeDlg*>(pModal)->EditableEdit()->setText("333");
        qobject_cast<CModifyAttributeDlg*>(pModal)->OnOK();
    });
    pList->OnModifyAttribute();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows()[nRow] == "telephoneNumber=333"; }));
    EXPECT_EQ(m_server.Values(pBob->GetDN().Str(), "telephoneNumber"), (std::vector<std::string>{"333"}));
    EXPECT_EQ(Str(pBob->FindAttribute("telephoneNumber")->GetAt(0)), "333");

    // Refresh of the pane reads everything again.
    ASSERT_TRUE(m_server.Modify("dn: " + pBob->GetDN().Str() +
                                "\nchangetype: modify\nadd: description\ndescription: outside\n"));
    pList->OnRefresh();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 5; }));
    rows = m_pPanes->Rows();
    EXPECT_NE(std::find(rows.begin(), rows.end(), "description=outside"), rows.end());
}

TEST_F(LdapJourney, EscapedNamesAndBinaryValuesReachTheServerExactly) {
    // The server writes its own escapes as hex pairs (\2C).
    ASSERT_TRUE(m_server.Modify("dn: cn=Lee\\2C A," + kPeople + "\nchangetype: add\nobjectClass: person\n" +
                                "cn: Lee, A\nsn: Lee\n"));
    CLdapTreeView* pTree = m_pPanes->m_pTree;
    HTREEITEM hPeople = People();
    ASSERT_TRUE(m_pPanes->Child(hPeople, "cn=Lee\\, A")) << "the hex escape is shown readable";

    // A comma typed into a name is part of the value; renames keep the parent.
    auto rename = [&](const char* pszFrom, const char* pszTyped, const char* pszShown) {
        pTree->SelectItem(m_pPanes->Child(hPeople, pszFrom));
        DriveNextModal([pszTyped](QWidget* pModal) {
            qobject_cast<CModifyAttributeDlg*>(pModal)->EditableEdit()->setText(pszTyped);
            qobject_cast<CModifyAttributeDlg*>(pModal)->OnOK();
        });
        pTree->OnModifyEntry();
        EXPECT_TRUE(WaitUntil([&]() { return static_cast<bool>(m_pPanes->Child(hPeople, pszShown)); }));
    };
    rename("cn=Lee\\, A", "cn=Lee, B", "cn=Lee\\, B");
    EXPECT_TRUE(m_server.Exists("cn=Lee\\, B," + kPeople));
    rename("cn=Lee\\, B", "cn=Lee", "cn=Lee");
    EXPECT_TRUE(m_server.Exists("cn=Lee," + kPeople));
    EXPECT_EQ(m_server.SearchDNs(kPeople).size(), 3u) << "nothing was created or lost on the way";

    // A relative name that is not one is refused with a message; the dialog stays open.
    pTree->SelectItem(m_pPanes->Child(hPeople, "cn=Lee"));
    DriveNextModal([&](QWidget* pModal) {
        auto* pDlg = qobject_cast<CModifyAttributeDlg*>(pModal);
        pDlg->EditableEdit()->setText("Lee");
        pDlg->OnOK();
        EXPECT_TRUE(pDlg->isVisible());
        pDlg->reject();
    });
    pTree->OnModifyEntry();
    EXPECT_EQ(Str(m_pPanes->m_services.m_boxes.Boxes().back().text),
              "New: \"Lee\" is not a relative DN. Type it as attribute=value, for example cn=Smith.");

    // Binary values: shown as a summary, replaced from a file and deleted with their exact bytes.
    const std::string photo("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01", 12);
    const std::string newPhoto("\x89PNG\r\n\x1A\n\x00\x00", 10);
    std::string bobDN = "cn=Bob," + kPeople;
    ASSERT_TRUE(m_server.Modify("dn: " + bobDN +
                                "\nchangetype: modify\nadd: jpegPhoto\njpegPhoto:: /9j/4AAQSkZJRgAB\n"));
    ASSERT_EQ(m_server.Values(bobDN, "jpegPhoto"), std::vector<std::string>{photo});
    ASSERT_TRUE(pTree->ClickItem(m_pPanes->Child(hPeople, "cn=Bob")));
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 4; }));
    CLdapListView* pList = m_pPanes->m_pList;
    int nRow = -1;
    for (int i = 0; i < pList->GetRowCount(); ++i)
        if (pList->GetRowName(i) == "jpegPhoto")
            nRow = i;
    ASSERT_GE(nRow, 0);
    EXPECT_EQ(pList->GetRowValue(nRow).Str(), photo);
    QModelIndex index = pList->GetListControl()->model()->index(nRow, 1);
    EXPECT_EQ(index.data().toString(), QString::fromUtf8("(binary, 12 bytes: FF D8 FF E0 \u2026)"));

    CTempDir dir;
    std::string file = (dir.Path() / "new.png").string();
    std::ofstream(file, std::ios::binary) << newPhoto;
    m_pPanes->m_services.m_dialogs.SetNextPath(file.c_str());
    pList->SelectRows({nRow});
    DriveNextModal([](QWidget* pModal) {
        auto* pDlg = qobject_cast<CBinaryValueDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        pDlg->OnLoad();
        pDlg->OnOK();
    });
    pList->OnModifyAttribute();
    std::vector<std::string> rows;
    ASSERT_TRUE(WaitUntil([&]() {
        rows = m_pPanes->Rows();
        nRow = static_cast<int>(std::find(rows.begin(), rows.end(), "jpegPhoto=" + newPhoto) - rows.begin());
        return nRow < static_cast<int>(rows.size());
    }));
    EXPECT_EQ(m_server.Values(bobDN, "jpegPhoto"), std::vector<std::string>{newPhoto});
    pList->SelectRows({nRow});
    m_pPanes->m_services.m_boxes.SetNextAnswer(IDYES);
    pList->OnDeleteAttributes();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->Rows().size() == 3; }));
    EXPECT_TRUE(m_server.Values(bobDN, "jpegPhoto").empty());
}

TEST_F(LdapJourney, TreeRefreshFetchesChildrenAgain) {
    CLdapTreeView* pTree = m_pPanes->m_pTree;
    HTREEITEM hPeople = People();
    ASSERT_TRUE(m_server.Modify("dn: cn=Dan,ou=People,dc=example,dc=com\nchangetype: add\n"
                                "objectClass: inetOrgPerson\ncn: Dan\nsn: D\n"));
    pTree->SelectItem(hPeople);
    m_pPanes->m_services.m_status.Clear();
    pTree->OnRefresh();
    ASSERT_TRUE(WaitUntil([this]() { return SearchDone(); }));
    EXPECT_EQ(m_pPanes->ChildTexts(hPeople), (std::vector<std::string>{"cn=Alice", "cn=Bob", "cn=Dan"}));
    EXPECT_EQ(m_pPanes->m_pList->GetCurrentEntry(), pTree->GetItemEntry(hPeople));
}

TEST_F(LdapJourney, SaveToLdifReadsMissingAttributes) {
    CLdapTreeView* pTree = m_pPanes->m_pTree;
    HTREEITEM hPeople = People();
    CTempDir dir;
    std::string out = dir.File("people.ldif");
    CExportSettings& settings = m_pPanes->m_doc.GetExportSettings();
    settings.SetFilename(out.c_str());
    settings.SetSaveOption(0);
    pTree->SelectItem(hPeople);
    pTree->OnSaveToLdif();
    EXPECT_TRUE(ReadWholeFile(out).empty()) << "nothing read yet";
    settings.SetSaveOption(1);
    pTree->OnSaveToLdif();
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
    pTree->OnSaveToLdif();
    std::string written = ReadWholeFile(out);
    EXPECT_NE(written.find("mail: alice@example.com\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("sn: Jones\r\n"), std::string::npos) << written;
    EXPECT_TRUE(pTree->GetItemEntry(hPeople)->CanRefresh()) << "every read ended its operation";
}

class LdapLargeJourney : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.AddChildren(kPeople, 3000, "member"));
        ASSERT_TRUE(m_server.Start()) << m_server.LastError();
        m_pPanes = std::make_unique<CPanes>();
        auto* pSource = new CLdapSource;
        CConnectionParams params;
        params.m_strServer = m_server.Host();
        params.m_nPort = m_server.Port();
        params.m_strSearchBase = kBase;
        params.m_strFilter = "(objectclass=*)";
        params.m_strBindDN = m_server.AdminDN();
        params.m_strPassword = m_server.Password();
        ASSERT_TRUE(pSource->Open(params));
        m_pPanes->Open(pSource, params.m_pRoot);
        CLdapTreeView* pTree = m_pPanes->m_pTree;
        m_hRoot = m_pPanes->Root();
        pTree->ExpandItem(m_hRoot);
        EXPECT_TRUE(WaitUntil([&]() { return Idle() && Completed(); }));
        m_hPeople = m_pPanes->Child(m_hRoot, "ou=People");
    }
    void TearDown() override { m_pPanes.reset(); }

    CLdapSource* Source() { return static_cast<CLdapSource*>(m_pPanes->m_doc.m_pDataSource); }
    bool Idle() { return Source()->GetRunning() == 0; }
    bool Completed() { return Str(m_pPanes->Status(1)).rfind("Search Completed", 0) == 0; }

    CSlapdServer m_server;
    std::unique_ptr<CPanes> m_pPanes;
    HTREEITEM m_hRoot;
    HTREEITEM m_hPeople;
};

TEST_F(LdapLargeJourney, AllChildrenArriveSortedAndStopAbandonsALongExpansion) {
    CLdapTreeView* pTree = m_pPanes->m_pTree;
    m_pPanes->m_services.m_status.Clear();
    pTree->ExpandItem(m_hPeople);
    ASSERT_TRUE(WaitUntil([&]() { return Completed(); }));
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Search Completed  -  3002 entries found");
    std::vector<std::string> texts = m_pPanes->ChildTexts(m_hPeople);
    ASSERT_EQ(texts.size(), 3002u);
    EXPECT_TRUE(std::is_sorted(texts.begin(), texts.end(), [](const std::string& a, const std::string& b) {
        return CString(a).CompareNoCase(CString(b)) < 0;
    }));

    // Again, and stopped while the server is held.
    pTree->SelectItem(m_hPeople);
    m_server.Pause();
    m_pPanes->m_services.m_status.Clear();
    pTree->OnRefresh();
    ASSERT_TRUE(WaitUntil([&]() { return Source()->GetRunning() > 0; }));
    CEntryNode::RequestStop();
    Source()->Stop();
    m_server.Resume();
    ASSERT_TRUE(WaitUntil([&]() { return Str(m_pPanes->Status(1)).rfind("Search ", 0) == 0; }));
    EXPECT_EQ(Str(m_pPanes->Status(1)), "Search Abandoned");
    ASSERT_TRUE(WaitUntil([&]() { return Idle(); }));
    for (HTREEITEM hChild : pTree->GetChildItems(m_hPeople))
        EXPECT_NE(Str(pTree->GetItemText(hChild)), "loading entries.........");
}

TEST_F(LdapLargeJourney, CloseWhileAnExpansionStreamsNeitherHangsNorCrashes) {
    CLdapTreeView* pTree = m_pPanes->m_pTree;
    pTree->ExpandItem(m_hPeople);
    ASSERT_TRUE(WaitUntil([&]() { return pTree->GetChildItems(m_hPeople).size() > 1; }));
    m_pPanes->Close();
    PumpEvents();
    EXPECT_TRUE(pTree->GetChildItems(HTREEITEM()).empty());
    EXPECT_FALSE(pTree->GetModel()->HasQueued());
}

// Entries removed while another operation still runs on or below them must
// never be touched afterwards (run under AddressSanitizer).
TEST_F(LdapLargeJourney, RefreshOfAParentWhileAChildStillExpands) {
    CLdapTreeView* pTree = m_pPanes->m_pTree;
    CEntryNode* pRoot = pTree->GetItemEntry(m_hRoot);
    CEntryNode* pPeople = pTree->GetItemEntry(m_hPeople);
    // The read of ou=Empty ends first and re-enables the root's Refresh
    // while the expansion of ou=People still streams.
    m_server.Pause();
    pTree->ExpandItem(m_hPeople);
    pTree->ClickItem(m_pPanes->Child(m_hRoot, "ou=Empty"));
    m_server.Resume();
    ASSERT_TRUE(WaitUntil([&]() { return pRoot->CanRefresh(); }));
    bool bStillStreaming = !pPeople->CanRefresh();
    pTree->SelectItem(m_hRoot);
    pTree->OnRefresh();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && m_pPanes->ChildTexts(m_hRoot).size() == 2; }));
    PumpEvents();
    EXPECT_EQ(pTree->GetItemEntry(m_hPeople), nullptr);
    EXPECT_EQ(m_pPanes->ChildTexts(m_hRoot), (std::vector<std::string>{"ou=Empty", "ou=People"}));
    RecordProperty("interleaved", bStillStreaming ? "yes" : "no");
}

TEST_F(LdapLargeJourney, DeleteOfAnEntryWhileItsAttributesAreRead) {
    CLdapTreeView* pTree = m_pPanes->m_pTree;
    pTree->ExpandItem(m_hPeople);
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && Completed(); }));
    HTREEITEM hMember = m_pPanes->Child(m_hPeople, "cn=member7");
    ASSERT_TRUE(hMember);
    m_server.Pause();
    ASSERT_TRUE(pTree->ClickItem(hMember)); // the read waits on the held server
    m_pPanes->m_services.m_boxes.SetNextAnswer(IDYES);
    pTree->OnDeleteEntry(); // Delete stays enabled during a read
    m_server.Resume();
    ASSERT_TRUE(WaitUntil([&]() { return Idle() && !pTree->GetItemEntry(hMember); }));
    PumpEvents();
    EXPECT_FALSE(m_server.Exists("cn=member7," + kPeople));
}
