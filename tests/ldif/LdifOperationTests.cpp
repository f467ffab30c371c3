// The in-memory operations: what each sends to the panes, the records it
// fills, and what the file holds after Close.

#include "LdifFixture.h"

namespace {

const char* const kFile =
    "version: 1\n\n"
    "dn: o=Acme\nobjectclass: organization\no: Acme\n\n"
    "dn: ou=People,o=Acme\nobjectclass: organizationalUnit\nou: People\n\n"
    "dn: cn=Ann,ou=People,o=Acme\nobjectclass: person\ncn: Ann\nmail: ann@acme\nmail: a@acme\n\n"
    "dn: cn=Hidden,o=Elsewhere\ncn: Hidden\n\n";

CAttribute* MakeAttribute(const char* pszName, std::initializer_list<const char*> values) {
    auto* pAttribute = new CAttribute;
    pAttribute->m_strName = pszName;
    for (const char* pszValue : values)
        pAttribute->Add(CString(pszValue));
    return pAttribute;
}

} // namespace

class CLdifOperationTest : public CLdifTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenText(kFile, "o=Acme"));
        m_pRoot->SetTreeItem(HTREEITEM(1));
        Expand(m_pRoot);
        m_pPeople = Child(m_pRoot, "ou=People,o=Acme");
        ASSERT_NE(m_pPeople, nullptr);
        Expand(m_pPeople);
        m_pAnn = Child(m_pPeople, "cn=Ann,ou=People,o=Acme");
        ASSERT_NE(m_pAnn, nullptr);
        m_tree.Clear();
    }

    CEntryNode* NewEntry(CEntryNode* pParent, const std::string& rdn) {
        auto* pEntry = new CEntryNode;
        pEntry->m_strDN = CString(rdn + "," + pParent->m_strDN.Str());
        pEntry->SetParent(pParent);
        pEntry->AddValue("objectclass", "person");
        pEntry->AddValue("cn", CString(rdn.substr(3)));
        return pEntry;
    }

    CEntryNode* m_pPeople = nullptr;
    CEntryNode* m_pAnn = nullptr;
};

TEST_F(CLdifOperationTest, AddEntryAppendsAndNotifiesWithParentItem) {
    CEntryNode* pNew = NewEntry(m_pPeople, "cn=Cid");
    m_pPeople->BeginOperation(OP_ADD_ENTRY);
    EXPECT_TRUE(m_pSource->AddEntry(m_pPeople, pNew, m_pPeople->GetTreeItem(), &m_tree));
    EXPECT_TRUE(m_pPeople->CanAddEntry());
    ASSERT_EQ(m_tree.Count(EEvent::EntryAdded), 1);
    EXPECT_EQ(m_tree.Calls()[0].pObject, pNew);
    EXPECT_EQ(m_tree.Calls()[0].hItem, m_pPeople->GetTreeItem());
    EXPECT_EQ(pNew->GetParent(), m_pPeople);
    EXPECT_EQ(ChildDNs(m_pPeople).back(), "cn=Cid,ou=People,o=Acme");
    EXPECT_EQ(m_pSource->GetEntries()[pNew->GetIndex()], pNew);

    // Added after the last record of the file.
    EXPECT_EQ(CloseAndRead(),
              std::string(kFile) + "dn: cn=Cid,ou=People,o=Acme\nobjectclass: person\ncn: Cid\n\n");
}

TEST_F(CLdifOperationTest, DeleteEntryRemovesExactlyThatEntry) {
    // Refused while it has children, even children never shown.
    m_pPeople->BeginOperation(OP_DELETE_ENTRY);
    EXPECT_FALSE(m_pSource->DeleteEntry(m_pPeople, &m_tree));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - This entry is a parent entry and can't be deleted.");
    EXPECT_EQ(m_services.m_boxes.Boxes().back().nType, MB_OK | MB_ICONSTOP);
    EXPECT_TRUE(m_pPeople->CanRefresh());
    EXPECT_TRUE(m_pRoot->CanRefresh());
    EXPECT_EQ(m_tree.Count(EEvent::EntryDeleted), 0);

    // The pane deletes the node it is handed, as the tree pane does.
    m_tree.m_onEntryDeleted = [&](CDeleteEntryRequest& request) {
        EXPECT_TRUE(request.bSucceeded);
        EXPECT_FALSE(request.bAbandoned);
        EXPECT_EQ(request.hNotify, m_tree.GetSafeHwnd());
        request.pEntry->EndOperation(OP_DELETE_ENTRY);
        m_pSource->RetireEntry(request.pEntry);
        request.pEntry = nullptr;
    };
    // Add one, add another, delete the second: only that one goes.
    CEntryNode* pFirst = NewEntry(m_pPeople, "cn=One");
    CEntryNode* pSecond = NewEntry(m_pPeople, "cn=Two");
    m_pSource->AddEntry(m_pPeople, pFirst, m_pPeople->GetTreeItem(), &m_tree);
    m_pSource->AddEntry(m_pPeople, pSecond, m_pPeople->GetTreeItem(), &m_tree);
    pSecond->BeginOperation(OP_DELETE_ENTRY);
    EXPECT_TRUE(m_pSource->DeleteEntry(pSecond, &m_tree));
    EXPECT_EQ(m_tree.Count(EEvent::EntryDeleted), 1);
    m_pAnn->BeginOperation(OP_DELETE_ENTRY);
    EXPECT_TRUE(m_pSource->DeleteEntry(m_pAnn, &m_tree));
    EXPECT_EQ(ChildDNs(m_pPeople), (std::vector<std::string>{"cn=One,ou=People,o=Acme"}));
    const auto& entries = m_pSource->GetEntries();
    for (int i = 0; i < entries.GetSize(); ++i)
        EXPECT_EQ(entries[i]->GetIndex(), i);

    // The deleted record's lines go; the empty lines around it stay.
    EXPECT_EQ(CloseAndRead(), "version: 1\n\n"
                              "dn: o=Acme\nobjectclass: organization\no: Acme\n\n"
                              "dn: ou=People,o=Acme\nobjectclass: organizationalUnit\nou: People\n\n\n"
                              "dn: cn=Hidden,o=Elsewhere\ncn: Hidden\n\n"
                              "dn: cn=One,ou=People,o=Acme\nobjectclass: person\ncn: One\n\n");
}

TEST_F(CLdifOperationTest, DeletedEntryNobodyTookIsFreedAtClose) {
    // No pane: the message goes nowhere and the node stays with the record.
    m_pAnn->BeginOperation(OP_DELETE_ENTRY);
    EXPECT_TRUE(m_pSource->DeleteEntry(m_pAnn, nullptr));
    EXPECT_TRUE(m_pPeople->GetChildren().empty());
    EXPECT_EQ(CloseAndRead().find("cn=Ann"), std::string::npos);
}

TEST_F(CLdifOperationTest, RenameCarriesDescendantsAlong) {
    std::vector<CModifyEntryRequest> seen;
    m_tree.m_onEntryModified = [&](CModifyEntryRequest& request) { seen.push_back(request); };
    m_pPeople->BeginOperation(OP_MODIFY_ENTRY);
    EXPECT_TRUE(
        m_pSource->ModifyEntry(m_pPeople, "ou=Staff", "ou=People", "ou=Staff,o=Acme", "ou=People", &m_tree));
    EXPECT_TRUE(m_pPeople->CanModifyEntry());
    EXPECT_EQ(m_pPeople->m_strDN, "ou=Staff,o=Acme");
    EXPECT_EQ(m_pAnn->m_strDN, "cn=Ann,ou=Staff,o=Acme");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].bSucceeded);
    EXPECT_EQ(seen[0].strNewRDN, "ou=Staff");
    EXPECT_EQ(seen[0].strOldRDN, "ou=People");
    EXPECT_EQ(seen[0].strNewDN, "ou=Staff,o=Acme");
    EXPECT_EQ(seen[0].strOldItemText, "ou=People");
    EXPECT_EQ(seen[0].pEntry, m_pPeople);
    // The child shown in the tree hears of its new DN too.
    EXPECT_EQ(seen[1].pEntry, m_pAnn);
    EXPECT_TRUE(seen[1].bSucceeded);
    EXPECT_EQ(seen[1].strNewDN, "cn=Ann,ou=Staff,o=Acme");

    EXPECT_EQ(CloseAndRead(),
              "version: 1\n\n"
              "dn: o=Acme\nobjectclass: organization\no: Acme\n\n"
              "dn: ou=Staff,o=Acme\nobjectclass: organizationalUnit\nou: Staff\n\n"
              "dn: cn=Ann,ou=Staff,o=Acme\nobjectclass: person\ncn: Ann\nmail: ann@acme\nmail: a@acme\n\n"
              "dn: cn=Hidden,o=Elsewhere\ncn: Hidden\n\n");
}

TEST_F(CLdifOperationTest, TopEntryOrSyntheticRootIsNeitherDeletedNorRenamed) {
    m_pRoot->BeginOperation(OP_DELETE_ENTRY);
    EXPECT_FALSE(m_pSource->DeleteEntry(m_pRoot, &m_tree));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - The top entry can't be deleted.");
    EXPECT_TRUE(m_pRoot->CanAddEntry());
    EXPECT_EQ(m_tree.Count(EEvent::EntryDeleted), 0);

    BOOL bSucceeded = TRUE;
    m_tree.m_onEntryModified = [&](CModifyEntryRequest& request) { bSucceeded = request.bSucceeded; };
    m_pRoot->BeginOperation(OP_MODIFY_ENTRY);
    EXPECT_FALSE(m_pSource->ModifyEntry(m_pRoot, "o=Other", "o=Acme", "o=Other", "o=Acme", &m_tree));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - The top entry can't be renamed.");
    EXPECT_EQ(m_tree.Count(EEvent::EntryModified), 1);
    EXPECT_FALSE(bSucceeded);
    EXPECT_TRUE(m_pRoot->CanModifyEntry());
    EXPECT_EQ(m_pRoot->m_strDN, "o=Acme");
    EXPECT_EQ(CloseAndRead(), kFile);

    // Nor is the synthetic root, which names new entries below it.
    ASSERT_TRUE(OpenText("dn: cn=a\nobjectclass: top\n\n"));
    ASSERT_TRUE(m_pRoot->IsRoot());
    m_pRoot->BeginOperation(OP_DELETE_ENTRY);
    EXPECT_FALSE(m_pSource->DeleteEntry(m_pRoot, &m_tree));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - The top entry can't be deleted.");
    m_pRoot->BeginOperation(OP_MODIFY_ENTRY);
    EXPECT_FALSE(m_pSource->ModifyEntry(m_pRoot, "cn=x", "Root", "cn=x", "Root", &m_tree));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - The top entry can't be renamed.");

    // "Root" is no entry of the file: never part of a DN written.
    auto* pNew = new CEntryNode;
    pNew->m_strDN = "cn=b,Root";
    pNew->SetParent(m_pRoot);
    pNew->AddValue("objectclass", "top");
    m_pRoot->BeginOperation(OP_ADD_ENTRY);
    m_pSource->AddEntry(m_pRoot, pNew, HTREEITEM(), &m_tree);
    Expand(m_pRoot);
    CEntryNode* pA = Child(m_pRoot, "cn=a");
    pA->BeginOperation(OP_MODIFY_ENTRY);
    EXPECT_TRUE(m_pSource->ModifyEntry(pA, "cn=c", "cn=a", "cn=c", "cn=a", &m_tree));
    EXPECT_EQ(pNew->m_strDN, "cn=b");
    EXPECT_EQ(CloseAndRead(), "dn: cn=c\nobjectclass: top\ncn: c\n\ndn: cn=b\nobjectclass: top\n\n");
}

TEST_F(CLdifOperationTest, AttributeValuesAddDeleteModify) {
    // Add: values appended, a new name at the end; the record holds copies.
    CAttributeArray toAdd;
    toAdd.Add(MakeAttribute("mail", {"third@acme"}));
    toAdd.Add(MakeAttribute("Mail", {"case@acme"}));
    toAdd.Add(MakeAttribute("phone", {"1", "2"}));
    m_list.m_onAttributeAdded = [&](CAddAttributesRequest& request) {
        EXPECT_TRUE(request.bSucceeded);
        ASSERT_EQ(request.attributes.GetSize(), 3);
        EXPECT_NE(request.attributes[0], toAdd[0]);
        // The attribute pane deletes the copies it is handed.
        DeleteAttributes(request.attributes);
    };
    m_pAnn->BeginOperation(OP_ADD_ATTRIBUTE);
    EXPECT_TRUE(m_pSource->AddAttributes(m_pAnn, &toAdd, &m_list));
    EXPECT_TRUE(m_pAnn->CanAddAttribute());
    DeleteAttributes(toAdd);
    EXPECT_EQ(m_list.Count(EEvent::AttributeAdded), 1);

    // Delete: one occurrence each; a missing value is passed over; the last
    // value of "phone" goes, so phone writes no line any more.
    CAttributeArray toDelete;
    toDelete.Add(MakeAttribute("mail", {"ann@acme", "nothere"}));
    toDelete.Add(MakeAttribute("phone", {"1", "2"}));
    CDWordArray rows;
    rows.Add(3);
    rows.Add(6);
    CDeleteAttributesRequest seenDelete;
    m_list.m_onAttributeDeleted = [&](CDeleteAttributesRequest& request) {
        seenDelete.bSucceeded = request.bSucceeded;
        seenDelete.rowIndices.Copy(request.rowIndices);
        // Left to the source this time: freed at Close.
    };
    m_pAnn->BeginOperation(OP_DELETE_ATTRIBUTE);
    EXPECT_TRUE(m_pSource->DeleteAttributes(m_pAnn, &toDelete, &rows, &m_list));
    DeleteAttributes(toDelete);
    EXPECT_TRUE(seenDelete.bSucceeded);
    EXPECT_EQ(seenDelete.rowIndices.Data(), (std::vector<DWORD>{3, 6}));
    EXPECT_TRUE(m_pAnn->CanDeleteAttribute());

    // Modify: the old value goes where it is, the new one to the end; a
    // value the entry lacks is only added.
    const std::unique_ptr<CAttribute> pChange(MakeAttribute("mail", {"new@acme", "a@acme"}));
    CModifyAttributeRequest seenModify;
    m_list.m_onAttributeModified = [&](CModifyAttributeRequest& request) { seenModify = request; };
    m_pAnn->BeginOperation(OP_MODIFY_ATTRIBUTE);
    EXPECT_TRUE(m_pSource->ModifyAttribute(m_pAnn, pChange.get(), 4, &m_list));
    EXPECT_TRUE(m_pAnn->CanModifyAttribute());
    EXPECT_TRUE(seenModify.bSucceeded);
    EXPECT_EQ(seenModify.nRowIndex, 4);
    EXPECT_EQ(seenModify.attribute.GetSize(), 2);
    EXPECT_EQ(seenModify.attribute[0], "new@acme");
    const std::unique_ptr<CAttribute> pAbsent(MakeAttribute("cn", {"Annie", "not a value"}));
    m_pSource->ModifyAttribute(m_pAnn, pAbsent.get(), 0, &m_list);

    EXPECT_EQ(m_list.Events(), (std::vector<EEvent>{EEvent::AttributeAdded, EEvent::AttributeDeleted,
                                                    EEvent::AttributeModified, EEvent::AttributeModified}));
    const std::string written = CloseAndRead();
    EXPECT_NE(written.find("dn: cn=Ann,ou=People,o=Acme\nobjectclass: person\ncn: Ann\ncn: Annie\n"
                           "mail: third@acme\nmail: new@acme\nMail: case@acme\n\n"),
              std::string::npos)
        << written;
}

TEST_F(CLdifOperationTest, ReadAttributesShowsTheCacheAndARefreshNeverLosesAttributes) {
    m_pAnn->BeginOperation(OP_READ_ATTRIBUTES);
    EXPECT_EQ(m_pSource->ReadAttributes(m_pAnn, &m_pAnn->m_attributes, &m_list, TRUE), 3u);
    EXPECT_TRUE(m_pAnn->CanRefreshAttributes());
    EXPECT_EQ(m_services.m_status.PaneText(2), "3 Attributes Found");
    EXPECT_EQ(m_list.Events(), (std::vector<EEvent>{EEvent::ClearAttributes, EEvent::ShowAttributes}));
    EXPECT_EQ(m_list.Calls()[1].pObject, &m_pAnn->m_attributes);

    // The pane's Refresh destroys the cache before it asks again.
    auto refresh = [&] {
        DeleteAttributes(m_pAnn->m_attributes);
        m_pSource->ReadAttributes(m_pAnn, &m_pAnn->m_attributes, &m_list, TRUE);
    };
    refresh();
    ASSERT_EQ(m_pAnn->m_attributes.GetSize(), 3);
    EXPECT_EQ(m_services.m_status.PaneText(2), "3 Attributes Found");
    EXPECT_EQ(m_pAnn->FindAttribute("mail")->GetSize(), 2);

    // After an edit the edit survives a refresh as well.
    AddValue(m_pAnn, "title", {"Boss"});
    refresh();
    EXPECT_EQ(m_pAnn->m_attributes.GetSize(), 4);

    // Emptied and never asked again: the file still gets everything.
    DeleteAttributes(m_pAnn->m_attributes);
    DeleteAttributes(m_pPeople->m_attributes);
    EXPECT_EQ(CloseAndRead(),
              "version: 1\n\n"
              "dn: o=Acme\nobjectclass: organization\no: Acme\n\n"
              "dn: ou=People,o=Acme\nobjectclass: organizationalUnit\nou: People\n\n"
              "dn: cn=Ann,ou=People,o=Acme\nobjectclass: person\ncn: Ann\nmail: ann@acme\nmail: a@acme\n"
              "title: Boss\n\n"
              "dn: cn=Hidden,o=Elsewhere\ncn: Hidden\n\n");
}

TEST_F(CLdifOperationTest, StopDoesNothingAndNoChangeReachesDiskBeforeClose) {
    const std::string before = ReadWholeFile(Path());
    EXPECT_TRUE(m_pSource->Stop());
    AddValue(m_pAnn, "title", {"Boss"});
    EXPECT_EQ(ReadWholeFile(Path()), before);
    EXPECT_TRUE(m_pSource->m_workerThreads.IsEmpty());
    // Close runs once; the destructor does not write again.
    EXPECT_TRUE(m_pSource->Close());
    const std::string after = ReadWholeFile(Path());
    EXPECT_NE(after.find("title: Boss"), std::string::npos);
    std::filesystem::remove(Path());
    EXPECT_TRUE(m_pSource->Close());
    m_pSource.reset();
    EXPECT_FALSE(std::filesystem::exists(Path()));
}
