// Moving entries in the tree pane: drag and drop with Shift, Cut and Paste,
// the confirmation and refusals, and the tree and attribute pane following.

#include "UiTestSupport.h"

#include "SlapdFixture.h"

#include "model/EntryNode.h"
#include "ui/EntryTreeModel.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTreeView>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const char* const kFile = "dn: o=Acme\nobjectclass: organization\no: Acme\n\n"
                          "dn: ou=People,o=Acme\nobjectclass: organizationalUnit\nou: People\n\n"
                          "dn: cn=Alice,ou=People,o=Acme\nobjectclass: person\ncn: Alice\n\n"
                          "dn: cn=Bob,ou=People,o=Acme\nobjectclass: person\ncn: Bob\n\n"
                          "dn: ou=Archive,o=Acme\nobjectclass: organizationalUnit\nou: Archive\n\n";

class MoveUi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_panes.OpenLdif(m_path, kFile, "o=Acme"));
        m_pTree->ExpandItem(m_panes.Root());
        m_hPeople = m_panes.Child(m_panes.Root(), "ou=People");
        m_hArchive = m_panes.Child(m_panes.Root(), "ou=Archive");
        m_pTree->ExpandItem(m_hPeople);
        ASSERT_TRUE(m_hPeople && m_hArchive);
    }
    // Drops hDragged on hTarget as the mouse does, Shift held or not.
    void Drop(HTREEITEM hDragged, HTREEITEM hTarget, Qt::KeyboardModifiers modifiers) {
        CEntryTreeModel* pModel = m_pTree->GetModel();
        std::unique_ptr<QMimeData> pData(pModel->mimeData({pModel->IndexOf(pModel->Find(hDragged))}));
        ASSERT_NE(pData, nullptr);
        QTreeView* pView = m_pTree->GetTreeControl();
        const QPoint at = pView->visualRect(pModel->IndexOf(pModel->Find(hTarget))).center();
        // The drag enters first: the application sends the rest to the widget that took it.
        QDragEnterEvent enter(at, Qt::MoveAction, pData.get(), Qt::LeftButton, modifiers);
        QApplication::sendEvent(pView->viewport(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDragMoveEvent move(at, Qt::MoveAction, pData.get(), Qt::LeftButton, modifiers);
        QApplication::sendEvent(pView->viewport(), &move);
        EXPECT_TRUE(move.isAccepted());
        QDropEvent drop(at, Qt::MoveAction, pData.get(), Qt::LeftButton, modifiers);
        QApplication::sendEvent(pView->viewport(), &drop);
        PumpEvents();
    }
    std::string Shown() {
        CEntryNode* pEntry = m_panes.m_pList->GetCurrentEntry();
        return pEntry ? Str(pEntry->GetDN()) : std::string();
    }

    CTempDir m_dir;
    const std::string m_path = m_dir.File("acme.ldif");
    CPanes m_panes;
    CLdapTreeView* const m_pTree = m_panes.m_pTree;
    CRecordingMessageBoxes& m_boxes = m_panes.m_services.m_boxes;
    HTREEITEM m_hPeople;
    HTREEITEM m_hArchive;
};

} // namespace

TEST_F(MoveUi, AShiftDropAsksNamingBothPlacesAndTheTreeAndPanesFollow) {
    ASSERT_TRUE(m_pTree->ClickItem(m_panes.Child(m_hPeople, "cn=Alice")));
    ASSERT_TRUE(WaitUntil([&] { return Shown() == "cn=Alice,ou=People,o=Acme"; }));

    m_boxes.SetNextAnswer(IDYES);
    Drop(m_panes.Child(m_hPeople, "cn=Alice"), m_hArchive, Qt::ShiftModifier);
    ASSERT_TRUE(WaitUntil([&] { return m_boxes.Count() == 1; }));
    EXPECT_EQ(m_boxes.LastText(),
              "Move the entry cn=Alice,ou=People,o=Acme\nwith no entries loaded below it\n"
              "from ou=People,o=Acme\nto ou=Archive,o=Acme?");
    EXPECT_EQ(m_panes.ChildTexts(m_hPeople), std::vector<std::string>{"cn=Bob"});
    m_pTree->ExpandItem(m_hArchive);
    EXPECT_EQ(m_panes.ChildTexts(m_hArchive), std::vector<std::string>{"cn=Alice"});
    EXPECT_TRUE(m_panes.StatusShown(1, "Entry moved: cn=Alice,ou=Archive,o=Acme"));
    // The attribute pane shows the entry at its new place.
    EXPECT_TRUE(WaitUntil([&] { return Shown() == "cn=Alice,ou=Archive,o=Acme"; }));

    // A parent with its loaded children: the count is in the question; No
    // leaves everything as it was.
    m_boxes.SetNextAnswer(IDNO);
    Drop(m_hPeople, m_hArchive, Qt::ShiftModifier);
    ASSERT_TRUE(WaitUntil([&] { return m_boxes.Count() == 2; }));
    EXPECT_EQ(m_boxes.LastText(), "Move the entry ou=People,o=Acme\nwith the 1 entry loaded below it\n"
                                  "from o=Acme\nto ou=Archive,o=Acme?");
    EXPECT_EQ(m_panes.ChildTexts(m_panes.Root()), (std::vector<std::string>{"ou=Archive", "ou=People"}));

    m_panes.Close();
    const std::string written = ReadWholeFile(m_path);
    EXPECT_THAT(written, HasSubstr("dn: cn=Alice,ou=Archive,o=Acme\nobjectclass: person\ncn: Alice\n"));
    EXPECT_THAT(written, Not(HasSubstr("cn=Alice,ou=People")));
}

TEST_F(MoveUi, CutAndPasteMovesASubtreeAndRefusesAPlaceBelowItself) {
    ASSERT_TRUE(m_pTree->ClickItem(m_hPeople));
    ASSERT_TRUE(m_pTree->CanCutEntry());
    m_pTree->OnCutEntry();
    EXPECT_TRUE(m_panes.StatusShown(
        1, "Cut: ou=People,o=Acme. Select the new parent and choose Paste to move it there."));
    EXPECT_TRUE(m_pTree->IsCutPending());

    m_pTree->PasteCutEntry(m_panes.Child(m_hPeople, "cn=Bob"));
    EXPECT_EQ(m_boxes.LastText(), "An entry can't be moved below itself.");
    EXPECT_TRUE(m_pTree->IsCutPending()) << "still cut after a refusal";

    m_boxes.SetNextAnswer(IDYES);
    m_pTree->PasteCutEntry(m_hArchive);
    EXPECT_FALSE(m_pTree->IsCutPending());
    EXPECT_EQ(m_panes.ChildTexts(m_panes.Root()), std::vector<std::string>{"ou=Archive"});
    m_pTree->ExpandItem(m_hArchive);
    const HTREEITEM hMoved = m_panes.Child(m_hArchive, "ou=People");
    ASSERT_TRUE(hMoved);
    m_pTree->ExpandItem(hMoved);
    EXPECT_EQ(m_panes.ChildTexts(hMoved), (std::vector<std::string>{"cn=Alice", "cn=Bob"}));
    EXPECT_EQ(Str(m_pTree->GetItemEntry(m_panes.Child(hMoved, "cn=Bob"))->GetDN()),
              "cn=Bob,ou=People,ou=Archive,o=Acme");
}

namespace {

const std::string kSuffix = "dc=example,dc=com";
const std::string kSub = "ou=Sub,dc=example,dc=com";

// ou=Sub is a database of its own glued below the suffix: slapd will not
// move a subtree into it with one request.
class MoveUiServer : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_server.Folder() / "sub");
        m_server.SetGlobalConfig("database mdb\nsuffix \"" + kSub + "\"\nsubordinate\nrootdn \"" +
                                 m_server.AdminDN() + "\"\ndirectory " +
                                 (m_server.Folder() / "sub").string() + "\n");
        ASSERT_TRUE(m_server.Start()) << m_server.LastError();
        ASSERT_TRUE(
            m_server.Modify("dn: " + kSub + "\nchangetype: add\nobjectClass: organizationalUnit\nou: Sub\n"));
        ASSERT_TRUE(m_panes.OpenServer(m_server, kSuffix));
    }
    bool Settled() { return WorkersSettled(*m_panes.m_doc.GetDataSource()); }

    CSlapdServer m_server;
    CPanes m_panes;
    CLdapTreeView* const m_pTree = m_panes.m_pTree;
    CRecordingMessageBoxes& m_boxes = m_panes.m_services.m_boxes;
};

} // namespace

TEST_F(MoveUiServer, ARefusedSubtreeMoveIsOfferedAsCopyAndDeleteAndTheTreeFollows) {
    m_pTree->ExpandItem(m_panes.Root());
    ASSERT_TRUE(WaitUntil([&] { return m_panes.Child(m_panes.Root(), "ou=Sub") && Settled(); }));
    const HTREEITEM hPeople = m_panes.Child(m_panes.Root(), "ou=People");
    const HTREEITEM hSub = m_panes.Child(m_panes.Root(), "ou=Sub");
    m_pTree->ExpandItem(hSub);
    ASSERT_TRUE(WaitUntil([&] { return Settled(); }));

    m_boxes.SetNextAnswer(IDYES); // the move
    ASSERT_TRUE(m_pTree->MoveEntryBelow(hPeople, hSub));
    ASSERT_TRUE(WaitUntil([&] { return m_boxes.Count() == 2 && Settled(); }));
    EXPECT_EQ(Str(m_boxes.LastText()),
              "The server would not move ou=People,dc=example,dc=com with everything below it "
              "in one step:\nOperation affects multiple DSAs\ncannot rename between DSAs\n\n"
              "Copy each entry below ou=Sub,dc=example,dc=com and then delete the old ones, "
              "one by one?");
    // Yes to the offer: each entry copied, the old ones deleted, and the
    // tree shows the entry at its new place.
    ASSERT_TRUE(WaitUntil([&] { return !m_server.Exists("ou=People," + kSuffix) && Settled(); }));
    EXPECT_EQ(m_boxes.Count(), 2) << m_boxes.LastText().Str();
    EXPECT_TRUE(m_server.Exists("cn=Alice,ou=People," + kSub));
    EXPECT_TRUE(m_server.Exists("cn=Bob,ou=People," + kSub));
    EXPECT_EQ(m_panes.Child(m_panes.Root(), "ou=People"), HTREEITEM());
    EXPECT_EQ(m_panes.ChildTexts(hSub), std::vector<std::string>{"ou=People"});
}
