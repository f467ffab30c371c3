// Entry and attribute updates on the private server: what the server ends
// up holding, what the pane hears and how the cache follows.

#include "LdapTestPane.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

// The source is opened on ou=People, so Alice and Bob are top-level entries.
class LdapUpdate : public CLdapTest {
protected:
    void SetUp() override {
        m_pPeople = Open(kPeople);
        m_pAlice = FindChild(m_pPeople, kAlice);
        m_pBob = FindChild(m_pPeople, kBob);
        ASSERT_TRUE(m_pAlice && m_pBob);
    }
    std::vector<std::string> Sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }
    void Run() { ASSERT_TRUE(WaitForWorkers(*m_pSource)); }
    // Changes Alice's values and waits.
    void Change(int nOp, const std::vector<CAttribute*>& attributes, int nRow = 0) {
        StartValueUpdate(*m_pSource, m_pane, m_pAlice, nOp, attributes, nRow);
        Run();
    }

    CEntryNode* m_pPeople = nullptr;
    CEntryNode* m_pAlice = nullptr;
    CEntryNode* m_pBob = nullptr;
};

} // namespace

TEST_F(LdapUpdate, AddEntryGoesToTheHeadOrFailsWithAlreadyExists) {
    CEntryNode* pCarol = StartAddEntry(*m_pSource, m_pane, m_pPeople, "cn=Carol");
    Run();
    EXPECT_TRUE(m_server.Exists("cn=Carol," + kPeople));
    EXPECT_EQ(m_pane.m_addedDNs, std::vector<std::string>{"cn=Carol," + kPeople});
    EXPECT_EQ(m_pPeople->GetChildren().front(), pCarol);
    auto calls = m_pane.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].hItem, HTREEITEM(5));
    EXPECT_TRUE(m_pPeople->CanAddEntry());

    // The same DN again: the server refuses, the node is freed (ASan), the
    // pane hears 0, the parent's Add is enabled again.
    StartAddEntry(*m_pSource, m_pane, m_pPeople, "cn=Carol");
    Run();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"The specified entry already exists"});
    EXPECT_EQ(m_pane.m_addedDNs.back(), "");
    EXPECT_EQ(m_pPeople->GetChildCount(), 3);
    EXPECT_TRUE(m_pPeople->CanAddEntry());
}

TEST_F(LdapUpdate, DeleteOfALeafRefusalForANonLeafAndRenameOfAnOuterEntry) {
    m_pBob->BeginOperation(OP_DELETE_ENTRY);
    m_pSource->DeleteEntry(m_pBob, &m_pane);
    Run();
    EXPECT_FALSE(m_server.Exists(kBob));
    EXPECT_EQ(m_pane.m_nDeleted, 1);
    EXPECT_EQ(ChildDNs(m_pPeople), std::vector<std::string>{kAlice});
    // Handed back while its worker still ran: kept until no worker can
    // reach it, then freed when the next operation starts.
    EXPECT_EQ(m_pSource->GetRetiredCount(), 1);
    ReadAndWait(*m_pSource, m_pane, m_pAlice);
    EXPECT_EQ(m_pSource->GetRetiredCount(), 0);

    // On a second source, on the suffix, ou=People is an entry like any
    // other; it has children on the server: the library's text for 66.
    CConnectionParams params = ParamsFor(m_server, kBase);
    CLdapSource source;
    ASSERT_TRUE(source.Open(params));
    CTestPane pane(&source);
    CEntryNode* pSuffix = params.m_pRoot;
    ASSERT_EQ(ExpandAndWait(source, pane, pSuffix), 2);
    pane.Clear();
    CEntryNode* pPeople = FindChild(pSuffix, kPeople);
    ASSERT_NE(pPeople, nullptr);
    pPeople->BeginOperation(OP_DELETE_ENTRY);
    source.DeleteEntry(pPeople, &pane);
    ASSERT_TRUE(WaitForWorkers(source));
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Operation not allowed on non-leaf\nsubordinate objects must be deleted first"});
    EXPECT_TRUE(pane.Events().empty());
    EXPECT_EQ(FindChild(pSuffix, kPeople), pPeople);
    EXPECT_TRUE(m_server.Exists(kPeople));
    EXPECT_TRUE(pSuffix->CanRefresh());

    // A rename there leaves the entry's cache alone.
    CEntryNode* pEmpty = FindChild(pSuffix, kEmpty);
    ASSERT_NE(pEmpty, nullptr);
    pEmpty->BeginOperation(OP_MODIFY_ENTRY);
    source.ModifyEntry(pEmpty, "ou=Vacant", "ou=Empty", "ou=Vacant," + kBase, "ou=Empty", &pane);
    ASSERT_TRUE(WaitForWorkers(source));
    EXPECT_EQ(pane.m_succeeded, std::vector<bool>{true});
    EXPECT_TRUE(m_server.Exists("ou=Vacant," + kBase));
    EXPECT_TRUE(pEmpty->m_attributes.IsEmpty());
}

TEST_F(LdapUpdate, RenameKeepsTheOldValueAndRefusesAnExistingSibling) {
    m_pBob->BeginOperation(OP_MODIFY_ENTRY);
    m_pSource->ModifyEntry(m_pBob, "cn=Robert", "cn=Bob", "cn=Robert," + kPeople, "cn=Bob", &m_pane);
    Run();
    EXPECT_EQ(m_pane.m_succeeded, std::vector<bool>{true});
    EXPECT_EQ(Str(m_pBob->GetDN()), "cn=Robert," + kPeople); // set by the pane's handler
    EXPECT_EQ(Sorted(m_server.Values("cn=Robert," + kPeople, "cn")),
              (std::vector<std::string>{"Bob", "Robert"}));
    EXPECT_TRUE(m_pBob->CanModifyEntry());

    m_pBob->BeginOperation(OP_MODIFY_ENTRY);
    m_pSource->ModifyEntry(m_pBob, "cn=Alice", "cn=Robert", kAlice, "cn=Robert", &m_pane);
    Run();
    EXPECT_EQ(m_pane.m_succeeded, (std::vector<bool>{true, false}));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"The specified entry already exists"});
    EXPECT_EQ(Str(m_pBob->GetDN()), "cn=Robert," + kPeople);
    EXPECT_TRUE(m_server.Exists("cn=Robert," + kPeople));
}

TEST_F(LdapUpdate, AddAttributesMergesIntoTheCache) {
    ReadAndWait(*m_pSource, m_pane, m_pAlice);
    Change(OP_ADD_ATTRIBUTE,
           {MakeAttribute("mail", {"third@example.com"}), MakeAttribute("description", {"first", "second"})});
    EXPECT_EQ(m_pane.m_succeeded, std::vector<bool>{true});
    EXPECT_EQ(
        m_server.Values(kAlice, "mail"),
        (std::vector<std::string>{"alice@example.com", "alice.smith@example.com", "third@example.com"}));
    CAttribute* pMail = m_pAlice->FindAttribute("mail");
    ASSERT_NE(pMail, nullptr);
    EXPECT_EQ(pMail->GetSize(), 3);
    EXPECT_EQ(Str((*pMail)[2]), "third@example.com");
    CAttribute* pDescription = m_pAlice->FindAttribute("description");
    ASSERT_NE(pDescription, nullptr);
    EXPECT_EQ(pDescription->GetSize(), 2);
    EXPECT_EQ(Str(m_pAlice->m_attributes[m_pAlice->m_attributes.GetSize() - 1]->GetName()), "description");
    EXPECT_TRUE(m_pAlice->CanAddAttribute());

    // An undefined attribute: the box, no message, the cache unchanged.
    size_t nBefore = CachedValues(m_pAlice).size();
    Change(OP_ADD_ATTRIBUTE, {MakeAttribute("noSuchAttributeType", {"x"})});
    EXPECT_EQ(
        Boxes(),
        std::vector<std::string>{
            "The specified attribute type is undefined\nnoSuchAttributeType: attribute type undefined"});
    EXPECT_EQ(m_pane.m_succeeded.size(), 1u);
    EXPECT_EQ(CachedValues(m_pAlice).size(), nBefore);
    EXPECT_TRUE(m_pAlice->CanAddAttribute());
}

TEST_F(LdapUpdate, DeleteValuesOrTheWholeAttributeWhenNoneWouldRemain) {
    ReadAndWait(*m_pSource, m_pane, m_pAlice);
    // One of two mail values: only that value goes.
    Change(OP_DELETE_ATTRIBUTE, {MakeAttribute("mail", {"alice@example.com"})}, 3);
    EXPECT_EQ(m_pane.m_succeeded, std::vector<bool>{true});
    EXPECT_EQ(m_server.Values(kAlice, "mail"), std::vector<std::string>{"alice.smith@example.com"});
    ASSERT_NE(m_pAlice->FindAttribute("mail"), nullptr);
    EXPECT_EQ(m_pAlice->FindAttribute("mail")->GetSize(), 1);

    // Its last value, named by a value the server no longer has in another
    // case form, would leave nothing: the attribute as a whole is deleted.
    Change(OP_DELETE_ATTRIBUTE,
           {MakeAttribute("mail", {"alice.smith@example.com"}), MakeAttribute("telephoneNumber", {"111"})},
           3);
    EXPECT_EQ(m_pane.m_succeeded, (std::vector<bool>{true, true}));
    EXPECT_TRUE(m_server.Values(kAlice, "mail").empty());
    EXPECT_TRUE(m_server.Values(kAlice, "telephoneNumber").empty());
    EXPECT_EQ(m_pAlice->FindAttribute("mail"), nullptr);
    EXPECT_EQ(m_pAlice->FindAttribute("telephoneNumber"), nullptr);
    EXPECT_TRUE(m_pAlice->CanDeleteAttribute());

    // A required attribute: the server refuses (objectClassViolation, the
    // library's text), the cache keeps it.
    Change(OP_DELETE_ATTRIBUTE, {MakeAttribute("sn", {"Smith"})}, 3);
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "Object class violation\nobject class 'inetOrgPerson' requires attribute 'sn'"});
    EXPECT_NE(m_pAlice->FindAttribute("sn"), nullptr);
    EXPECT_EQ(m_server.Values(kAlice, "sn"), std::vector<std::string>{"Smith"});
}

TEST_F(LdapUpdate, ModifyReplacesOneValueAndKeepsTheOthers) {
    ReadAndWait(*m_pSource, m_pane, m_pAlice);
    Change(OP_MODIFY_ATTRIBUTE, {MakeAttribute("mail", {"new@example.com", "alice@example.com"})}, 4);
    EXPECT_EQ(m_pane.m_succeeded, std::vector<bool>{true});
    EXPECT_EQ(Sorted(m_server.Values(kAlice, "mail")),
              (std::vector<std::string>{"alice.smith@example.com", "new@example.com"}));
    // In the cache the new value goes to the end.
    CAttribute* pMail = m_pAlice->FindAttribute("mail");
    ASSERT_NE(pMail, nullptr);
    ASSERT_EQ(pMail->GetSize(), 2);
    EXPECT_EQ(Str((*pMail)[0]), "alice.smith@example.com");
    EXPECT_EQ(Str((*pMail)[1]), "new@example.com");
    EXPECT_TRUE(m_pAlice->CanModifyAttribute());

    // A new value equal to another existing one is sent twice: refused, nothing changes.
    Change(OP_MODIFY_ATTRIBUTE, {MakeAttribute("mail", {"alice.smith@example.com", "new@example.com"})}, 4);
    EXPECT_EQ(m_pane.m_succeeded.size(), 1u);
    ASSERT_EQ(m_services.m_boxes.Count(), 1);
    EXPECT_EQ(Sorted(m_server.Values(kAlice, "mail")),
              (std::vector<std::string>{"alice.smith@example.com", "new@example.com"}));
    EXPECT_EQ(m_pAlice->FindAttribute("mail")->GetSize(), 2);
}
