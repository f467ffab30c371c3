// Moving a subtree on the private server: one ModDN with a new superior,
// and the copy-and-delete a server's refusal leads to.

#include "LdapTestPane.h"
#include "model/EntryNode.h"
#include "source/Requests.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

const std::string kDept = "ou=Dept,dc=example,dc=com";
const std::string kOther = "dc=other,dc=org";

// The pane keeps what each move said.
class CMovePane : public CTestPane {
public:
    using CTestPane::CTestPane;
    void EntryMoved(CMoveEntryRequest& request) override { m_moves.push_back(request); }
    std::vector<CMoveEntryRequest> m_moves;
};

// Three levels below ou=Dept, and a second database (dc=other,dc=org) in
// the same server, which slapd will not move a subtree into.
class LdapMove : public CLdapTest {
protected:
    LdapMove()
        : CLdapTest(CSlapdServer::DefaultSeed() +
                    "\n"
                    "dn: " +
                    kDept +
                    "\nobjectClass: organizationalUnit\nou: Dept\n\n"
                    "dn: ou=Team," +
                    kDept +
                    "\nobjectClass: organizationalUnit\nou: Team\n\n"
                    "dn: cn=Carol,ou=Team," +
                    kDept + "\nobjectClass: inetOrgPerson\ncn: Carol\nsn: Brown\n") {}

    void SetUp() override {
        std::filesystem::create_directories(m_server.Folder() / "db2");
        m_server.SetExtraConfig("database mdb\nsuffix \"" + kOther + "\"\nrootdn \"" + m_server.AdminDN() +
                                "\"\ndirectory " + (m_server.Folder() / "db2").string() + "\n");
        ASSERT_NE(Open(kBase), nullptr) << m_server.LastError();
        ASSERT_TRUE(m_server.Modify("dn: " + kOther +
                                    "\nchangetype: add\nobjectClass: dcObject\n"
                                    "objectClass: organization\ndc: other\no: Other\n"));
        m_pDept = Child(kDept);
        m_pEmpty = Child(kEmpty);
        ASSERT_TRUE(m_pDept && m_pEmpty);
        m_otherNode.SetDN(kOther);
        // Not opened, so that a node moved below it is given back to the source.
        m_otherNode.MarkUnexpanded();
    }
    void Move(CEntryNode* pEntry, CEntryNode* pTarget, BOOL bCopyDelete = FALSE) {
        pEntry->BeginOperation(OP_MODIFY_ENTRY);
        pTarget->BeginOperation(OP_ADD_ENTRY);
        m_pSource->MoveEntry(pEntry, pTarget, &m_movePane, bCopyDelete);
        ASSERT_TRUE(WaitForWorkers(*m_pSource));
    }
    std::vector<std::string> Subtree(const std::string& base) { return m_server.SearchDNs(base, "sub"); }

    CMovePane m_movePane{nullptr};
    CEntryNode* m_pDept = nullptr;
    CEntryNode* m_pEmpty = nullptr;
    // Stands for the other database's suffix (never shown in this tree).
    CEntryNode m_otherNode;
};

} // namespace

TEST_F(LdapMove, ASubtreeMovesWithOneModDnAndTheNodeFollowsToALoadedParent) {
    ExpandAndWait(*m_pSource, m_pane, m_pDept);
    ASSERT_EQ(m_pDept->GetChildCount(), 1);
    ExpandAndWait(*m_pSource, m_pane, m_pEmpty); // loaded, with no children
    const auto uuid = m_server.Values("cn=Carol,ou=Team," + kDept, "entryUUID");

    Move(m_pDept, m_pEmpty);
    ASSERT_EQ(m_movePane.m_moves.size(), 1u);
    const CMoveEntryRequest& moved = m_movePane.m_moves[0];
    EXPECT_TRUE(moved.bSucceeded);
    EXPECT_TRUE(moved.bLinked);
    EXPECT_EQ(Str(moved.strNewDN), "ou=Dept," + kEmpty);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Subtree("ou=Dept," + kEmpty),
              (std::vector<std::string>{"ou=Dept," + kEmpty, "ou=Team,ou=Dept," + kEmpty,
                                        "cn=Carol,ou=Team,ou=Dept," + kEmpty}));
    EXPECT_FALSE(m_server.Exists(kDept));
    // The same entries, renamed: not copies.
    EXPECT_EQ(m_server.Values("cn=Carol,ou=Team,ou=Dept," + kEmpty, "entryUUID"), uuid);
    // The node hangs below its new parent; what was loaded below it is read
    // again at the new place when opened.
    EXPECT_EQ(Str(m_pDept->GetDN()), "ou=Dept," + kEmpty);
    EXPECT_EQ(m_pDept->GetParent(), m_pEmpty);
    EXPECT_EQ(ChildDNs(m_pEmpty), std::vector<std::string>{"ou=Dept," + kEmpty});
    EXPECT_EQ(FindChild(m_pRoot, kDept), nullptr);
    EXPECT_EQ(m_pDept->GetChildCount(), 0);
    EXPECT_TRUE(m_pDept->IsUnexpanded());
    EXPECT_TRUE(m_pDept->CanModifyEntry());
    EXPECT_TRUE(m_pEmpty->CanAddEntry());

    // Back below a parent never expanded: the node goes, the expansion brings it.
    CEntryNode* pPeople = Child(kPeople);
    pPeople->MarkUnexpanded(); // as the tree shows an item not yet opened
    Move(m_pDept, pPeople);
    EXPECT_TRUE(m_movePane.m_moves.back().bSucceeded);
    EXPECT_FALSE(m_movePane.m_moves.back().bLinked);
    EXPECT_TRUE(m_server.Exists("cn=Carol,ou=Team,ou=Dept," + kPeople));
    EXPECT_TRUE(ChildDNs(m_pEmpty).empty());
}

TEST_F(LdapMove, ARefusedSubtreeMoveIsOfferedAndDoneEntryByEntry) {
    Move(m_pDept, &m_otherNode);
    ASSERT_EQ(m_movePane.m_moves.size(), 1u);
    EXPECT_FALSE(m_movePane.m_moves[0].bSucceeded);
    // What slapd answers for a move into another database.
    EXPECT_EQ(m_movePane.m_moves[0].nSubtreeRefusal, 71);
    EXPECT_TRUE(Boxes().empty()) << "the pane offers the copy instead of a box";
    EXPECT_TRUE(m_server.Exists(kDept));

    Move(m_pDept, &m_otherNode, TRUE);
    const CMoveEntryRequest& copied = m_movePane.m_moves.back();
    EXPECT_TRUE(copied.bSucceeded);
    EXPECT_EQ(copied.nEntries, 3);
    EXPECT_EQ(copied.nAdded, 3);
    EXPECT_EQ(copied.nDeleted, 3);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Subtree("ou=Dept," + kOther),
              (std::vector<std::string>{"ou=Dept," + kOther, "ou=Team,ou=Dept," + kOther,
                                        "cn=Carol,ou=Team,ou=Dept," + kOther}));
    EXPECT_EQ(m_server.Values("cn=Carol,ou=Team,ou=Dept," + kOther, "sn"), std::vector<std::string>{"Brown"});
    EXPECT_FALSE(m_server.Exists(kDept));
    EXPECT_FALSE(m_server.Exists("cn=Carol,ou=Team," + kDept));
}

TEST_F(LdapMove, ACopyThatStopsSaysWhatWasDoneAndDeletesNothing) {
    // The top of the subtree is there already at the new place.
    ASSERT_TRUE(m_server.Modify("dn: ou=Dept," + kOther +
                                "\nchangetype: add\nobjectClass: organizationalUnit\nou: Dept\n"));
    Move(m_pDept, &m_otherNode, TRUE);
    const CMoveEntryRequest& stopped = m_movePane.m_moves.back();
    EXPECT_FALSE(stopped.bSucceeded);
    EXPECT_FALSE(stopped.bPartial);
    EXPECT_EQ(stopped.nAdded, 0);
    EXPECT_EQ(stopped.nDeleted, 0);
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{"Moving " + kDept + " to " + kOther +
                                       " entry by entry stopped.\n0 of 3 entries were copied below " +
                                       kOther + "; no entry was deleted at the old place.\n" + kDept +
                                       ": The specified entry already exists"});
    EXPECT_EQ(Subtree(kDept).size(), 3u);
}
