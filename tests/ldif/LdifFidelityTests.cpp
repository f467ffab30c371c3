// What a file says is what the source keeps: blanks at the end of values and
// DNs, DNs compared as a server compares them, renames that change the
// naming attribute, refused duplicates, change records left as they are, and
// edits that end where they began.

#include "LdifFixture.h"

#include "ldif/LdifSyntax.h"

namespace {

std::vector<std::string> Values(const CEntryNode* pEntry, const std::string& name) {
    std::vector<std::string> values;
    for (const CAttribute* pAttribute : pEntry->m_attributes) {
        if (pAttribute->m_strName.CompareNoCase(CString(name)) != 0)
            continue;
        for (const CString& value : *pAttribute)
            values.push_back(value.Str());
    }
    return values;
}

} // namespace

class CLdifFidelityTest : public CLdifTest {
protected:
    // Renames the entry as the tree pane does; whether it was done.
    BOOL Rename(CEntryNode* pEntry, const std::string& newRdn, BOOL bDeleteOldRdn = TRUE) {
        pEntry->BeginOperation(OP_MODIFY_ENTRY);
        const CString oldRdn = pEntry->GetRDN();
        const BOOL bDone = m_pSource->ModifyEntry(pEntry, CString(newRdn), oldRdn, CString(), oldRdn, &m_tree,
                                                  bDeleteOldRdn);
        EXPECT_TRUE(pEntry->CanModifyEntry()) << "the operation was ended";
        return bDone;
    }
    void RemoveValue(CEntryNode* pEntry, const char* pszName, const char* pszValue) {
        CAttributeArray toDelete;
        toDelete.Add(new CAttribute);
        toDelete[0]->m_strName = pszName;
        toDelete[0]->Add(pszValue);
        pEntry->BeginOperation(OP_DELETE_ATTRIBUTE);
        m_pSource->DeleteAttributes(pEntry, &toDelete, nullptr, &m_list);
        DeleteAttributes(toDelete);
    }
    void ModifyValue(CEntryNode* pEntry, const char* pszName, const char* pszNew, const char* pszOld) {
        CAttribute change;
        change.m_strName = pszName;
        change.Add(pszNew);
        change.Add(pszOld);
        pEntry->BeginOperation(OP_MODIFY_ATTRIBUTE);
        m_pSource->ModifyAttribute(pEntry, &change, 0, &m_list);
    }
    CEntryNode* Entry(const std::string& dn) const {
        for (CEntryNode* pEntry : m_pSource->GetEntries()) {
            if (pEntry->m_strDN == CString(dn))
                return pEntry;
        }
        ADD_FAILURE() << "no entry " << dn;
        return nullptr;
    }
    void ReadAttributes(CEntryNode* pEntry) {
        pEntry->BeginOperation(OP_READ_ATTRIBUTES);
        m_pSource->ReadAttributes(pEntry, &pEntry->m_attributes, &m_list, FALSE);
    }
};

TEST_F(CLdifFidelityTest, BlanksAtTheEndOfAValueArePartOfItAndWrittenInBase64) {
    const std::string file = "dn: o=x\nobjectclass: top\ndescription: two blanks  \ndescription: none\n\n";
    ASSERT_TRUE(OpenText(file));
    CEntryNode* pEntry = Entry("o=x");
    ReadAttributes(pEntry);
    EXPECT_EQ(Values(pEntry, "description"), (std::vector<std::string>{"two blanks  ", "none"}));
    // Unchanged, the record is written as read.
    EXPECT_EQ(m_pSource->FormatContents(), file);
    AddValue(pEntry, "mail", {"x@example.com"});
    const std::string written = CloseAndRead();
    EXPECT_EQ(written, "dn: o=x\nobjectclass: top\ndescription:: " + Base64Encode("two blanks  ") +
                           "\ndescription: none\nmail: x@example.com\n\n");
    ASSERT_TRUE(OpenPath(Path()));
    pEntry = Entry("o=x");
    ReadAttributes(pEntry);
    EXPECT_EQ(Values(pEntry, "description"), (std::vector<std::string>{"two blanks  ", "none"}));
}

TEST_F(CLdifFidelityTest, ADnEndingInAnEscapedBlankIsReadAndWrittenWhole) {
    ASSERT_TRUE(OpenText("dn: o=End\\ \nobjectclass: organization\no: End \n\n"
                         "dn: cn=a,o=End\\ \nobjectclass: person\ncn: a\n\n"));
    CEntryNode* pTop = Entry("o=End\\ ");
    ASSERT_NE(pTop, nullptr);
    EXPECT_EQ(ChildDNs(pTop), (std::vector<std::string>{"cn=a,o=End\\ "}));
    EditFirst();
    AddValue(Entry("cn=a,o=End\\ "), "sn", {"b"});
    const std::string written = CloseAndRead();
    // A DN that ends in a blank cannot be written plain.
    EXPECT_NE(written.find("dn:: " + Base64Encode("o=End\\ ") + "\n"), std::string::npos) << written;
    EXPECT_NE(written.find("dn:: " + Base64Encode("cn=a,o=End\\ ") + "\n"), std::string::npos) << written;
    ASSERT_TRUE(OpenPath(Path()));
    EXPECT_EQ(ChildDNs(Entry("o=End\\ ")), (std::vector<std::string>{"cn=a,o=End\\ "}));
}

TEST_F(CLdifFidelityTest, ParentsAreFoundAndRenamesFollowedAsAServerComparesDns) {
    ASSERT_TRUE(OpenText("dn: o=Caf\xC3\xA9\nobjectclass: organization\no: Caf\xC3\xA9\n\n"
                         "dn: cn=hex,o=Caf\\C3\\A9\nobjectclass: person\ncn: hex\n\n"
                         "dn: cn=case,O=CAF\xC3\xA9\nobjectclass: person\ncn: case\n\n"
                         "dn: cn=oid,2.5.4.10=caf\xC3\xA9\nobjectclass: person\ncn: oid\n\n"
                         "dn: x-code=AB\nobjectclass: top\n\n"
                         "dn: cn=exact,x-code=ab\nobjectclass: person\ncn: exact\n\n"));
    CEntryNode* pCafe = Entry("o=Caf\xC3\xA9");
    EXPECT_EQ(ChildDNs(pCafe), (std::vector<std::string>{"cn=hex,o=Caf\\C3\\A9", "cn=case,O=CAF\xC3\xA9",
                                                         "cn=oid,2.5.4.10=caf\xC3\xA9"}));
    // Values of an attribute that is not a common naming attribute count
    // byte for byte.
    EXPECT_EQ(ChildDNs(Entry("x-code=AB")), std::vector<std::string>{});

    ASSERT_TRUE(Rename(pCafe, "o=Bistro"));
    EXPECT_EQ(DNs(pCafe->GetChildren()),
              (std::vector<std::string>{"cn=hex,o=Bistro", "cn=case,o=Bistro", "cn=oid,o=Bistro"}));
    EXPECT_EQ(Entry("cn=exact,x-code=ab")->GetParent(), m_pRoot);
}

TEST_F(CLdifFidelityTest, RenameChangesTheNamingValueAsAServerDoes) {
    ASSERT_TRUE(OpenText("dn: dc=example\nobjectclass: domain\ndc: example\n\n"
                         "dn: dc=old,dc=example\nobjectclass: domain\ndc: Old\ndescription: kept\n\n"
                         "dn: cn=Ann+uid=a1,dc=example\nobjectclass: person\ncn: Ann\nuid: a1\n\n"
                         "dn: cn=Bob,dc=example\nobjectclass: person\ncn: Bob\ncn: Robert\n\n",
                         "dc=example"));
    // The old value goes, matched as the server matches it (case), the new
    // one comes.
    CEntryNode* pOld = Entry("dc=old,dc=example");
    ASSERT_TRUE(Rename(pOld, "dc=new"));
    EXPECT_EQ(pOld->m_strDN, "dc=new,dc=example");
    ReadAttributes(pOld);
    EXPECT_EQ(Values(pOld, "dc"), std::vector<std::string>{"new"});
    EXPECT_EQ(Values(pOld, "description"), std::vector<std::string>{"kept"});
    // Renamed back to a value the entry has: nothing is added twice.
    ASSERT_TRUE(Rename(pOld, "dc=NEW"));
    ReadAttributes(pOld);
    EXPECT_EQ(Values(pOld, "dc"), std::vector<std::string>{"new"});

    // A multi-valued RDN: only the pair that changed changes.
    CEntryNode* pAnn = Entry("cn=Ann+uid=a1,dc=example");
    ASSERT_TRUE(Rename(pAnn, "cn=Anna+uid=a1"));
    ReadAttributes(pAnn);
    EXPECT_EQ(Values(pAnn, "cn"), std::vector<std::string>{"Anna"});
    EXPECT_EQ(Values(pAnn, "uid"), std::vector<std::string>{"a1"});

    // Keeping the old value: the new one is added beside it.
    CEntryNode* pBob = Entry("cn=Bob,dc=example");
    ASSERT_TRUE(Rename(pBob, "cn=Smith\\, K", FALSE));
    ReadAttributes(pBob);
    EXPECT_EQ(Values(pBob, "cn"), (std::vector<std::string>{"Bob", "Robert", "Smith, K"}));

    const std::string written = CloseAndRead();
    EXPECT_NE(written.find("dn: dc=NEW,dc=example\nobjectclass: domain\ndescription: kept\ndc: new\n"),
              std::string::npos)
        << written;
}

TEST_F(CLdifFidelityTest, AnAddOrRenameOntoAnExistingDnIsRefusedAndChangesNothing) {
    const std::string file = "dn: o=Acme\nobjectclass: organization\n\n"
                             "dn: ou=People,o=Acme\nobjectclass: organizationalUnit\nou: People\n\n"
                             "dn: cn=Ann,ou=People,o=Acme\nobjectclass: person\ncn: Ann\n\n"
                             "dn: cn=Bob,ou=People,o=Acme\nobjectclass: person\ncn: Bob\n\n";
    ASSERT_TRUE(OpenText(file, "o=Acme"));
    CEntryNode* pPeople = Entry("ou=People,o=Acme");
    const std::vector<std::string> children = ChildDNs(pPeople);

    auto* pNew = new CEntryNode;
    pNew->m_strDN = "CN=ann, ou=people,o=ACME"; // the same DN to a server
    pNew->SetParent(pPeople);
    pNew->AddValue("objectclass", "person");
    m_tree.Clear();
    pPeople->BeginOperation(OP_ADD_ENTRY);
    EXPECT_FALSE(m_pSource->AddEntry(pPeople, pNew, HTREEITEM(7), &m_tree));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Already exists");
    EXPECT_EQ(m_services.m_boxes.Boxes().back().nType, MB_OK | MB_ICONSTOP);
    // The pane hears that nothing was added.
    ASSERT_EQ(m_tree.Count(EEvent::EntryAdded), 1);
    EXPECT_EQ(m_tree.Calls()[0].pObject, nullptr);
    EXPECT_EQ(m_tree.Calls()[0].hItem, HTREEITEM(7));
    EXPECT_TRUE(pPeople->CanAddEntry());
    EXPECT_EQ(ChildDNs(pPeople), children);

    const int nBoxes = m_services.m_boxes.Count();
    CEntryNode* pBob = Entry("cn=Bob,ou=People,o=Acme");
    EXPECT_FALSE(Rename(pBob, "cn=ANN"));
    EXPECT_EQ(m_services.m_boxes.Count(), nBoxes + 1);
    EXPECT_EQ(m_services.m_boxes.LastText(), "Already exists");
    EXPECT_EQ(pBob->m_strDN, "cn=Bob,ou=People,o=Acme");
    // Its own name in another case is no other entry.
    EXPECT_TRUE(Rename(pBob, "cn=BOB"));
    ReadAttributes(pBob);
    EXPECT_EQ(Values(pBob, "cn"), std::vector<std::string>{"Bob"});
    EXPECT_EQ(m_pSource->FormatContents(),
              file.substr(0, file.find("dn: cn=Bob")) +
                  "dn: cn=BOB,ou=People,o=Acme\nobjectclass: person\ncn: Bob\n\n");
}

TEST_F(CLdifFidelityTest, ChangeRecordsStayAsTheyAreAndNewEntriesFollowThem) {
    const std::string change = "dn: cn=Ann,ou=People,o=Acme\nchangetype: modify\nadd: mail\nmail: a@acme\n-\n"
                               "replace: sn\nsn: A\n-\n";
    const std::string file = "dn: o=Acme\nobjectclass: organization\n\n"
                             "dn: ou=People,o=Acme\nobjectclass: organizationalUnit\nou: People\n\n"
                             "dn: cn=Ann,ou=People,o=Acme\nobjectclass: person\ncn: Ann\n\n" +
                             change;
    ASSERT_TRUE(OpenText(file, "o=Acme"));
    // The change record is no entry of its own.
    EXPECT_EQ(m_pSource->GetEntries().GetSize() + m_pSource->GetOtherEntries().GetSize(), 3);
    CEntryNode* pPeople = Entry("ou=People,o=Acme");
    ASSERT_TRUE(Rename(pPeople, "ou=Staff"));
    auto* pNew = new CEntryNode;
    pNew->m_strDN = "cn=Cid,ou=Staff,o=Acme";
    pNew->SetParent(pPeople);
    pNew->AddValue("objectclass", "person");
    pPeople->BeginOperation(OP_ADD_ENTRY);
    ASSERT_TRUE(m_pSource->AddEntry(pPeople, pNew, HTREEITEM(), &m_tree));
    EXPECT_EQ(CloseAndRead(), "dn: o=Acme\nobjectclass: organization\n\n"
                              "dn: ou=Staff,o=Acme\nobjectclass: organizationalUnit\nou: Staff\n\n"
                              "dn: cn=Ann,ou=Staff,o=Acme\nobjectclass: person\ncn: Ann\n\n" +
                                  change + "\ndn: cn=Cid,ou=Staff,o=Acme\nobjectclass: person\n");
}

TEST_F(CLdifFidelityTest, AnEditUndoneLeavesTheRecordsBytesAsTheyWere) {
    // Folded lines, a comment and a URL value: any rewrite would show.
    const std::string file = "dn: o=Acme\nobjectclass: organization\n\n"
                             "dn: cn=Ann,o=Acme\nobjectclass: person\n# her name\ncn: A\n nn\n"
                             "description: one\ndescription: two\njpegPhoto:< file:///tmp/a.jpg\n\n";
    ASSERT_TRUE(OpenText(file, "o=Acme"));
    CEntryNode* pAnn = Entry("cn=Ann,o=Acme");
    AddValue(pAnn, "mail", {"ann@acme"});
    RemoveValue(pAnn, "mail", "ann@acme");
    AddValue(pAnn, "description", {"three"});
    RemoveValue(pAnn, "description", "three");
    ModifyValue(pAnn, "cn", "Anna", "Ann");
    ModifyValue(pAnn, "cn", "Ann", "Anna");
    EXPECT_EQ(m_pSource->FormatContents(), file);
    EXPECT_EQ(CloseAndRead(), file);
}
