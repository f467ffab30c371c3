// Moving an entry with everything below it in an LDIF file: the DNs change
// in memory and in the file, and nothing else of the file does.

#include "LdifFixture.h"
#include "model/EntryNode.h"
#include "source/Requests.h"

namespace {

const char* const kFile = "version: 1\n\n"
                          "dn: o=Acme\nobjectclass: organization\no: Acme\n\n"
                          "# the department\n"
                          "dn: ou=Dept,o=Acme\nobjectclass: organizationalUnit\nou: Dept\n\n"
                          "dn: ou=Team,ou=Dept,o=Acme\nobjectclass: organizationalUnit\nou: Team\n\n"
                          "dn: cn=Carol,ou=Team,ou=Dept,o=Acme\nobjectclass: person\ncn: Carol\nsn: Brown\n\n"
                          "dn: ou=Archive,o=Acme\nobjectclass: organizationalUnit\nou: Archive\n";

class LdifMove : public CLdifTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenText(kFile, "o=Acme"));
        m_pDept = Child(m_pRoot, "ou=Dept,o=Acme");
        m_pArchive = Child(m_pRoot, "ou=Archive,o=Acme");
        ASSERT_TRUE(m_pDept && m_pArchive);
        m_pTeam = Child(m_pDept, "ou=Team,ou=Dept,o=Acme");
        ASSERT_NE(m_pTeam, nullptr);
        m_tree.m_onEntryMoved = [this](CMoveEntryRequest& request) { m_moves.push_back(request); };
    }
    BOOL Move(CEntryNode* pEntry, CEntryNode* pTarget) {
        pEntry->BeginOperation(OP_MODIFY_ENTRY);
        pTarget->BeginOperation(OP_ADD_ENTRY);
        const BOOL bMoved = m_pSource->MoveEntry(pEntry, pTarget, &m_tree);
        EXPECT_TRUE(pEntry->CanModifyEntry());
        EXPECT_TRUE(pTarget->CanAddEntry());
        return bMoved;
    }

    CEntryNode* m_pDept = nullptr;
    CEntryNode* m_pTeam = nullptr;
    CEntryNode* m_pArchive = nullptr;
    std::vector<CMoveEntryRequest> m_moves;
};

} // namespace

TEST_F(LdifMove, ASubtreeGetsNewDnsInMemoryAndInTheFileAfterItsNewParent) {
    ASSERT_TRUE(Move(m_pDept, m_pArchive));
    ASSERT_EQ(m_moves.size(), 1u);
    EXPECT_TRUE(m_moves[0].bSucceeded);
    EXPECT_TRUE(m_moves[0].bLinked);
    EXPECT_EQ(m_moves[0].strNewDN, "ou=Dept,ou=Archive,o=Acme");
    EXPECT_EQ(ChildDNs(m_pArchive), std::vector<std::string>{"ou=Dept,ou=Archive,o=Acme"});
    EXPECT_EQ(ChildDNs(m_pRoot), std::vector<std::string>{"ou=Archive,o=Acme"});
    EXPECT_EQ(m_pTeam->m_strDN, "ou=Team,ou=Dept,ou=Archive,o=Acme");
    EXPECT_EQ(ChildDNs(m_pTeam), std::vector<std::string>{"cn=Carol,ou=Team,ou=Dept,ou=Archive,o=Acme"});
    EXPECT_TRUE(m_pSource->IsModified());

    // The new parent came later in the file: the moved records follow it,
    // parents first, so that a tool adding the file in order can.
    EXPECT_EQ(CloseAndRead(),
              "version: 1\n\n"
              "dn: o=Acme\nobjectclass: organization\no: Acme\n\n"
              "# the department\n\n\n\n"
              "dn: ou=Archive,o=Acme\nobjectclass: organizationalUnit\nou: Archive\n\n"
              "dn: ou=Dept,ou=Archive,o=Acme\nobjectclass: organizationalUnit\nou: Dept\n\n"
              "dn: ou=Team,ou=Dept,ou=Archive,o=Acme\nobjectclass: organizationalUnit\nou: Team\n\n"
              "dn: cn=Carol,ou=Team,ou=Dept,ou=Archive,o=Acme\nobjectclass: person\ncn: "
              "Carol\nsn: Brown\n");
}

TEST_F(LdifMove, AMoveToAnEarlierParentRewritesTheRecordsInTheirPlace) {
    ASSERT_TRUE(Move(m_pTeam, m_pRoot));
    EXPECT_EQ(CloseAndRead(), "version: 1\n\n"
                              "dn: o=Acme\nobjectclass: organization\no: Acme\n\n"
                              "# the department\n"
                              "dn: ou=Dept,o=Acme\nobjectclass: organizationalUnit\nou: Dept\n\n"
                              "dn: ou=Team,o=Acme\nobjectclass: organizationalUnit\nou: Team\n\n"
                              "dn: cn=Carol,ou=Team,o=Acme\nobjectclass: person\ncn: Carol\nsn: Brown\n\n"
                              "dn: ou=Archive,o=Acme\nobjectclass: organizationalUnit\nou: Archive\n");
}

TEST_F(LdifMove, MovesOntoItselfBelowItselfOrOntoATakenNameAreRefusedAndChangeNothing) {
    CEntryNode* pCarol = Child(m_pTeam, "cn=Carol,ou=Team,ou=Dept,o=Acme");
    ASSERT_TRUE(pCarol);
    const struct {
        CEntryNode* pEntry;
        CEntryNode* pTarget;
        const char* pszBox;
    } cases[] = {
        {m_pDept, m_pDept, "An entry can't be moved onto itself."},
        {m_pDept, pCarol, "An entry can't be moved below itself."},
        {m_pTeam, m_pDept, "The entry is already below ou=Dept,o=Acme."},
        {m_pRoot, m_pArchive, "The top entry can't be moved, and nothing can be moved above it."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszBox);
        EXPECT_FALSE(Move(c.pEntry, c.pTarget));
        EXPECT_EQ(m_services.m_boxes.LastText(), c.pszBox);
        EXPECT_FALSE(m_moves.back().bSucceeded);
    }
    // Another entry has the name already.
    auto* pTaken = new CEntryNode;
    pTaken->m_strDN = "ou=Team,ou=Archive,o=Acme";
    pTaken->SetParent(m_pArchive);
    pTaken->AddValue("objectclass", "organizationalUnit");
    m_pArchive->BeginOperation(OP_ADD_ENTRY);
    ASSERT_TRUE(m_pSource->AddEntry(m_pArchive, pTaken, HTREEITEM(), &m_tree));
    EXPECT_FALSE(Move(m_pTeam, m_pArchive));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Already exists");
    EXPECT_EQ(m_pTeam->m_strDN, "ou=Team,ou=Dept,o=Acme");
    EXPECT_EQ(m_pTeam->GetParent(), m_pDept);
}
