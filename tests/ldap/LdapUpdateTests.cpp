// Entry and attribute updates on the private server: what the server ends
// up holding, what the pane hears and how the cache follows.

#include "LdapTestPane.h"
#include "source/LdapError.h"

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
    static std::vector<std::string> Sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }
    void Run() { ASSERT_TRUE(WaitForWorkers(*m_pSource)); }
    // Renames Bob below ou=People as the tree pane does, and waits.
    void RenameBob(const char* pszNewRdn, const char* pszOldRdn, BOOL bDeleteOldRdn = TRUE) {
        m_pBob->BeginOperation(OP_MODIFY_ENTRY);
        m_pSource->ModifyEntry(m_pBob, pszNewRdn, pszOldRdn, std::string(pszNewRdn) + "," + kPeople,
                               pszOldRdn, &m_pane, bDeleteOldRdn);
        Run();
    }
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

TEST_F(LdapUpdate, RenameRemovesOrKeepsTheOldValueAsAskedAndRefusesAnExistingSibling) {
    // Renaming there and back leaves one name, not both.
    RenameBob("cn=Robert", "cn=Bob");
    EXPECT_EQ(m_pane.m_succeeded, std::vector<bool>{true});
    EXPECT_EQ(Str(m_pBob->GetDN()), "cn=Robert," + kPeople); // set by the pane's handler
    EXPECT_EQ(m_server.Values("cn=Robert," + kPeople, "cn"), std::vector<std::string>{"Robert"});
    EXPECT_TRUE(m_pBob->m_attributes.IsEmpty()) << "read again from the server when shown";
    EXPECT_TRUE(m_pBob->CanModifyEntry());
    RenameBob("cn=Bob", "cn=Robert", FALSE);
    EXPECT_EQ(Sorted(m_server.Values("cn=Bob," + kPeople, "cn")),
              (std::vector<std::string>{"Bob", "Robert"}));
    m_pane.Reset();

    RenameBob("cn=Alice", "cn=Bob"); // to Alice's DN
    EXPECT_EQ(m_pane.m_succeeded, (std::vector<bool>{false}));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"The specified entry already exists"});
    EXPECT_EQ(Str(m_pBob->GetDN()), "cn=Bob," + kPeople);
    EXPECT_TRUE(m_server.Exists("cn=Bob," + kPeople));
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

TEST_F(LdapUpdate, DeleteValuesAndTheCacheDropsAnAttributeLeftWithout) {
    ReadAndWait(*m_pSource, m_pane, m_pAlice);
    // One of two mail values: only that value goes.
    Change(OP_DELETE_ATTRIBUTE, {MakeAttribute("mail", {"alice@example.com"})}, 3);
    EXPECT_EQ(m_pane.m_succeeded, std::vector<bool>{true});
    EXPECT_EQ(m_server.Values(kAlice, "mail"), std::vector<std::string>{"alice.smith@example.com"});
    ASSERT_NE(m_pAlice->FindAttribute("mail"), nullptr);
    EXPECT_EQ(m_pAlice->FindAttribute("mail")->GetSize(), 1);

    // The last values Tarvo knows of: the server drops the attributes, and
    // so does the cache.
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

    // A new value equal to another one that was read: the user's own
    // duplicate, refused as it is, and nothing changes.
    Change(OP_MODIFY_ATTRIBUTE, {MakeAttribute("mail", {"alice.smith@example.com", "new@example.com"})}, 4);
    EXPECT_EQ(m_pane.m_succeeded.size(), 1u);
    ASSERT_EQ(m_services.m_boxes.Count(), 1);
    EXPECT_EQ(Boxes()[0].rfind(kEntryChangedText, 0), std::string::npos) << Boxes()[0];
    EXPECT_EQ(Sorted(m_server.Values(kAlice, "mail")),
              (std::vector<std::string>{"alice.smith@example.com", "new@example.com"}));
    EXPECT_EQ(m_pAlice->FindAttribute("mail")->GetSize(), 2);
}

// Another client changes Alice between Tarvo's read and its change of a
// value (ldapmodify, run in between): Tarvo's change names only what the
// user changed, so the other client's work survives it, and a change that
// no longer fits the entry is refused, told as such, and the entry read again.
namespace {

const std::string kAddMail = "add: mail\nmail: colleague@example.com\n";
const std::string kAddPhone = "add: telephoneNumber\ntelephoneNumber: 222\n";
const std::string kRemoveMail = "delete: mail\nmail: alice@example.com\n";
const std::string kRemovePhone = "delete: telephoneNumber\n";
const std::string kAddNewMail = "add: mail\nmail: new@example.com\n";
// Binary values with zero bytes: A and B before the read, C by the other
// client, D Tarvo's. userPassword has an equality rule (octet strings),
// jpegPhoto has none, so the server cannot find one photo among others.
const std::string kBytesA("\x00\x01\xff"
                          "A",
                          4);
const std::string kBytesB("\x00\x02\xfe\x00", 4);
const std::string kBytesC("\x00\x03"
                          "C",
                          3);
const std::string kBytesD("\x00\x04\x00"
                          "D",
                          4);
const std::string kAddSecrets = "add: userPassword\nuserPassword:: AAH/QQ==\nuserPassword:: AAL+AA==\n";
const std::string kAddSecretC = "add: userPassword\nuserPassword:: AAND\n";
const std::string kAddPhoto = "add: jpegPhoto\njpegPhoto:: AAH/QQ==\n";
const std::string kAddPhotos = "add: jpegPhoto\njpegPhoto:: AAH/QQ==\njpegPhoto:: AAL+AA==\n";

struct CValueChange {
    const char* pszName;
    int nOp; // OP_MODIFY_ATTRIBUTE (values: new, old) or OP_DELETE_ATTRIBUTE
    const char* pszAttribute;
    std::vector<std::string> values; // a delete without values: the attribute itself
    std::string before;              // changes made before the read
    std::string meanwhile;           // the other client's change after it, if any
    std::vector<std::string> server; // the attribute on the server afterwards, sorted
    std::vector<std::string> cached; // and in the cache
    const char* pszRefusal = "";     // a refused change: the server's diagnostic after the fixed text
};

// One case of the tables below, in a few lines.
CValueChange Case(const char* pszName, int nOp, const char* pszAttribute, std::vector<std::string> values,
                  std::string before, std::string meanwhile, std::vector<std::string> server,
                  std::vector<std::string> cached, const char* pszRefusal = "") {
    return {pszName,           nOp,
            pszAttribute,      std::move(values),
            std::move(before), std::move(meanwhile),
            std::move(server), std::move(cached),
            pszRefusal};
}

std::ostream& operator<<(std::ostream& out, const CValueChange& change) {
    return out << change.pszName;
}

const CValueChange kKeptChanges[] = {
    Case("ModifyOfOneValue", OP_MODIFY_ATTRIBUTE, "mail", {"new@example.com", "alice@example.com"}, "",
         kAddMail, {"alice.smith@example.com", "colleague@example.com", "new@example.com"},
         {"alice.smith@example.com", "new@example.com"}),
    Case("DeleteOfTheOnlyKnownValue", OP_DELETE_ATTRIBUTE, "telephoneNumber", {"111"}, "", kAddPhone, {"222"},
         {}),
    Case("DeleteOfEveryKnownValue", OP_DELETE_ATTRIBUTE, "mail",
         {"alice@example.com", "alice.smith@example.com"}, "", kAddMail, {"colleague@example.com"}, {}),
    Case("ModifyOfABinaryValue", OP_MODIFY_ATTRIBUTE, "userPassword", {kBytesD, kBytesA}, kAddSecrets,
         kAddSecretC, {kBytesB, kBytesC, kBytesD}, {kBytesB, kBytesD}),
    Case("DeleteOfOneBinaryValue", OP_DELETE_ATTRIBUTE, "userPassword", {kBytesB}, kAddSecrets, kAddSecretC,
         {kBytesA, kBytesC}, {kBytesA}),
    // Without an equality rule the server cannot find single values (nor
    // take another one while the attribute has one): the only value read
    // is replaced, or the attribute goes.
    Case("ModifyOfTheOnlyPhoto", OP_MODIFY_ATTRIBUTE, "jpegPhoto", {kBytesD, kBytesA}, kAddPhoto, "",
         {kBytesD}, {kBytesD}),
    Case("DeleteOfEveryPhoto", OP_DELETE_ATTRIBUTE, "jpegPhoto", {kBytesA, kBytesB}, kAddPhotos, "", {}, {}),
    // Only the attribute itself, named without values, goes as a whole.
    Case("DeleteOfTheAttributeItself", OP_DELETE_ATTRIBUTE, "mail", {}, "", kAddMail, {}, {}),
};

const CValueChange kRefusedChanges[] = {
    Case("ModifyOfAValueRemovedMeanwhile", OP_MODIFY_ATTRIBUTE, "mail",
         {"new@example.com", "alice@example.com"}, "", kRemoveMail, {"alice.smith@example.com"},
         {"alice.smith@example.com"}, "modify/delete: mail: no such value"),
    Case("DeleteOfAValueRemovedMeanwhile", OP_DELETE_ATTRIBUTE, "mail", {"alice@example.com"}, "",
         kRemoveMail, {"alice.smith@example.com"}, {"alice.smith@example.com"},
         "modify/delete: mail: no such value"),
    Case("DeleteOfAValueWhoseAttributeWentMeanwhile", OP_DELETE_ATTRIBUTE, "telephoneNumber", {"111"}, "",
         kRemovePhone, {}, {}, "modify/delete: telephoneNumber: no such attribute"),
    Case("ModifyToAValueAddedMeanwhile", OP_MODIFY_ATTRIBUTE, "mail",
         {"new@example.com", "alice@example.com"}, "", kAddNewMail,
         {"alice.smith@example.com", "alice@example.com", "new@example.com"},
         {"alice.smith@example.com", "alice@example.com", "new@example.com"},
         "modify/add: mail: value #0 already exists"),
};

class LdapValueChange : public LdapUpdate {
protected:
    // Alice as read, then changed by the other client, then by Tarvo.
    void ChangeAfterColleague(const CValueChange& change) {
        if (!change.before.empty()) {
            ASSERT_TRUE(m_server.Modify("dn: " + kAlice + "\nchangetype: modify\n" + change.before));
        }
        ReadAndWait(*m_pSource, m_pane, m_pAlice);
        if (!change.meanwhile.empty()) {
            ASSERT_TRUE(m_server.Modify("dn: " + kAlice + "\nchangetype: modify\n" + change.meanwhile));
        }
        m_pane.Reset();
        auto* pAttribute = new CAttribute;
        pAttribute->SetName(change.pszAttribute);
        for (const std::string& value : change.values)
            pAttribute->Add(CString(value.data(), static_cast<int>(value.size())));
        Change(change.nOp, {pAttribute});
    }
    void ExpectValues(const CValueChange& change) {
        EXPECT_EQ(Sorted(m_server.Values(kAlice, change.pszAttribute)), change.server);
        std::vector<std::string> cached;
        if (CAttribute* pCached = m_pAlice->FindAttribute(change.pszAttribute))
            for (const CString& value : *pCached)
                cached.push_back(Str(value));
        EXPECT_EQ(Sorted(cached), change.cached);
        EXPECT_TRUE(m_pAlice->CanModifyAttribute());
        EXPECT_TRUE(m_pAlice->CanDeleteAttribute());
    }
};

class LdapValueKept : public LdapValueChange, public ::testing::WithParamInterface<CValueChange> {};
class LdapValueRefused : public LdapValueChange, public ::testing::WithParamInterface<CValueChange> {};

} // namespace

TEST_P(LdapValueKept, OnlyWhatTheUserChangedIsSent) {
    ChangeAfterColleague(GetParam());
    EXPECT_EQ(m_pane.m_succeeded, std::vector<bool>{true});
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0];
    ExpectValues(GetParam());
}

// Named as the table names them.
const auto kCaseName = [](const auto& info) { return std::string(info.param.pszName); };

INSTANTIATE_TEST_SUITE_P(Cases, LdapValueKept, ::testing::ValuesIn(kKeptChanges), kCaseName);

TEST_P(LdapValueRefused, SaysTheEntryChangedAndReadsItAgain) {
    const CValueChange& change = GetParam();
    ChangeAfterColleague(change);
    EXPECT_TRUE(m_pane.m_succeeded.empty());
    EXPECT_EQ(Boxes(), std::vector<std::string>{std::string(kEntryChangedText) + change.pszRefusal});
    // The pane was given what the server holds now, through the read's calls.
    EXPECT_EQ(m_pane.Events(), (std::vector<EEvent>{EEvent::ClearAttributes, EEvent::ShowAttributes}));
    std::vector<std::string> shown;
    const std::string prefix = std::string(change.pszAttribute) + "=";
    for (const std::string& row : m_pane.m_shownAttributes)
        if (row.rfind(prefix, 0) == 0)
            shown.push_back(row.substr(prefix.size()));
    EXPECT_EQ(Sorted(shown), change.server);
    ExpectValues(change);
}

INSTANTIATE_TEST_SUITE_P(Cases, LdapValueRefused, ::testing::ValuesIn(kRefusedChanges), kCaseName);

TEST_F(LdapValueChange, OnePhotoOfSeveralCannotBeFoundByTheServer) {
    // No equality rule: the refusal as the server gives it, nothing changed.
    const CValueChange change = {"", OP_MODIFY_ATTRIBUTE, "jpegPhoto",       {kBytesD, kBytesA}, kAddPhotos,
                                 "", {kBytesA, kBytesB},  {kBytesA, kBytesB}};
    ChangeAfterColleague(change);
    EXPECT_TRUE(m_pane.m_succeeded.empty());
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{"Inappropriate matching\nmodify/delete: jpegPhoto: no equality "
                                       "matching rule"});
    ExpectValues(change);
}
