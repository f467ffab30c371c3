// Building the tree: the top entry, parent lookup, gaps in the hierarchy,
// and what Expand and Refresh tell the tree pane.

#include "LdifFixture.h"

namespace {

const char* const kCompany = "dn: o=Acme\nobjectclass: organization\n\n"
                             "dn: ou=People,o=Acme\nobjectclass: organizationalUnit\n\n"
                             "dn: cn=Ann,ou=People,o=Acme\nobjectclass: person\ncn: Ann\n\n"
                             "dn: cn=Bob,OU=people,o=Acme\nobjectclass: person\ncn: Bob\n\n"
                             "dn: ou=Groups,o=Acme\nobjectclass: organizationalUnit\n\n";

} // namespace

TEST_F(CLdifTest, SearchBaseEntryBecomesTopEvenWithoutObjectclassAndTreeMirrorsDNs) {
    ASSERT_TRUE(OpenText(kCompany, "o=Acme"));
    ASSERT_NE(m_pRoot, nullptr);
    EXPECT_FALSE(m_pRoot->IsRoot());
    EXPECT_EQ(m_pRoot->m_strDN, "o=Acme");
    EXPECT_EQ(m_pRoot, m_pSource->GetTopEntry());
    EXPECT_EQ(m_pRoot->GetParent(), nullptr);
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"ou=People,o=Acme", "ou=Groups,o=Acme"}));
    CEntryNode* pPeople = Child(m_pRoot, "ou=People,o=Acme");
    // Case does not matter when the parent is looked up.
    EXPECT_EQ(ChildDNs(pPeople),
              (std::vector<std::string>{"cn=Ann,ou=People,o=Acme", "cn=Bob,OU=people,o=Acme"}));
    // Every shown entry's index is its position.
    const auto& entries = m_pSource->GetEntries();
    for (int i = 0; i < entries.GetSize(); ++i)
        EXPECT_EQ(entries[i]->GetIndex(), i);
    // The top entry's own attributes are there for the attribute pane.
    EXPECT_EQ(m_pRoot->m_attributes.GetSize(), 1);

    // A top entry without objectclass still heads its children.
    ASSERT_TRUE(OpenText("dn: o=Bare\no: Bare\n\n"
                         "dn: ou=A,o=Bare\nobjectclass: top\n\n"
                         "dn: cn=x,ou=A,o=Bare\nobjectclass: top\n\n",
                         "o=Bare"));
    EXPECT_EQ(m_pRoot->m_strDN, "o=Bare");
    EXPECT_FALSE(m_pRoot->IsRoot());
    EXPECT_EQ(DNs(m_pSource->GetOtherEntries()), (std::vector<std::string>{"o=Bare"}));
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"ou=A,o=Bare"}));
    EXPECT_EQ(m_pRoot->m_attributes.GetSize(), 1);
    EXPECT_EQ(m_pSource->FormatContents(), "dn: o=Bare\no: Bare\n\n"
                                           "dn: ou=A,o=Bare\nobjectclass: top\n\n"
                                           "dn: cn=x,ou=A,o=Bare\nobjectclass: top\n\n");
}

TEST_F(CLdifTest, ParentLookupMatchesDNsAsTheServerDoesAndFirstOfEqualParentsWins) {
    // Case, blanks around separators and the form of an escaped comma do
    // not count; an escaped comma separates nothing.
    ASSERT_TRUE(OpenText("dn: o=x,c=US\nobjectclass: top\n\n"
                         "dn: cn=a,o=x, c=US\nobjectclass: top\n\n"
                         "dn: cn=b, O=X,C=us\nobjectclass: top\n\n"
                         "dn: cn=Smith\\, J,o=x,c=US\nobjectclass: top\n\n"
                         "dn: cn=kid,cn=Smith\\2C J,o=x,c=US\nobjectclass: top\n\n"
                         "dn:: Y249Sm9zw6ksbz14LGM9VVM=\nobjectclass: top\n\n"));
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"o=x,c=US"}));
    CEntryNode* pTop = Child(m_pRoot, "o=x,c=US");
    EXPECT_EQ(ChildDNs(pTop),
              (std::vector<std::string>{"cn=a,o=x, c=US", "cn=b, O=X,C=us", "cn=Smith\\, J,o=x,c=US",
                                        "cn=Jos\xc3\xa9,o=x,c=US"}));
    EXPECT_EQ(ChildDNs(Child(pTop, "cn=Smith\\, J,o=x,c=US")),
              (std::vector<std::string>{"cn=kid,cn=Smith\\2C J,o=x,c=US"}));

    // The first of equal parents wins.
    ASSERT_TRUE(OpenText("dn: cn=kid,o=dup\nobjectclass: top\n\n"
                         "dn: o=dup\nobjectclass: top\nn: first\n\n"
                         "dn: O=DUP\nobjectclass: top\nn: second\n\n"));
    const auto& entries = m_pSource->GetEntries();
    ASSERT_EQ(entries.GetSize(), 3);
    EXPECT_EQ(ChildDNs(entries[1]), (std::vector<std::string>{"cn=kid,o=dup"}));
    EXPECT_TRUE(entries[2]->GetChildren().empty());
    EXPECT_EQ(entries[0]->GetParent(), entries[1]);
}

TEST_F(CLdifTest, GapsUnderFileTopEntryAreHiddenButWritten) {
    const std::string text = "dn: cn=early,ou=Gap,o=Acme\nobjectclass: top\n\n"
                             "dn: o=Acme\nobjectclass: top\n\n"
                             "dn: ou=Gap,ou=Missing,o=Acme\nobjectclass: top\n\n"
                             "dn: cn=late,ou=Gap,ou=Missing,o=Acme\nobjectclass: top\n\n"
                             "dn: ou=Shown,o=Acme\nobjectclass: top\n\n"
                             "dn: cn=stray,o=Other\nobjectclass: top\n\n";
    ASSERT_TRUE(OpenText(text, "o=Acme"));
    EXPECT_EQ(m_pRoot->m_strDN, "o=Acme");
    EXPECT_EQ(DNs(m_pSource->GetEntries()), (std::vector<std::string>{"o=Acme", "ou=Shown,o=Acme"}));
    // cn=stray,o=Other is outside the search base; the gap entries have no
    // parent under the top entry.
    EXPECT_EQ(DNs(m_pSource->GetOtherEntries()),
              (std::vector<std::string>{"cn=stray,o=Other", "cn=early,ou=Gap,o=Acme",
                                        "ou=Gap,ou=Missing,o=Acme", "cn=late,ou=Gap,ou=Missing,o=Acme"}));
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"ou=Shown,o=Acme"}));
    // Every record stays where it was; a child before its parent too.
    EXPECT_EQ(m_pSource->FormatContents(), text);

    // A descendant before its gap parent stays linked but hidden.
    ASSERT_TRUE(OpenText("dn: o=Acme\nobjectclass: top\n\n"
                         "dn: cn=kid,ou=Gap,ou=Missing,o=Acme\nobjectclass: top\n\n"
                         "dn: ou=Gap,ou=Missing,o=Acme\nobjectclass: top\n\n",
                         "o=Acme"));
    // Looked up while its parent was still in the array: it stays shown
    // (written with the shown entries) though no item reaches it.
    EXPECT_EQ(DNs(m_pSource->GetEntries()),
              (std::vector<std::string>{"o=Acme", "cn=kid,ou=Gap,ou=Missing,o=Acme"}));
    EXPECT_TRUE(m_pRoot->GetChildren().empty());
    EXPECT_EQ(m_pSource->GetEntries()[1]->GetParent()->m_strDN, "ou=Gap,ou=Missing,o=Acme");
}

TEST_F(CLdifTest, WithoutBaseEntryParentlessEntriesHangBelowRoot) {
    // No DN is exactly "ou=People"; three contain it (case counts).
    ASSERT_TRUE(OpenText(kCompany, "ou=People"));
    EXPECT_TRUE(m_pRoot->IsRoot());
    EXPECT_EQ(m_pRoot->GetIndex(), 0);
    EXPECT_EQ(DNs(m_pSource->GetEntries()),
              (std::vector<std::string>{"ou=People,o=Acme", "cn=Ann,ou=People,o=Acme"}));
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"ou=People,o=Acme"}));
    EXPECT_EQ(ChildDNs(Child(m_pRoot, "ou=People,o=Acme")),
              (std::vector<std::string>{"cn=Ann,ou=People,o=Acme"}));
    // "Root" itself is never written.
    const std::string written = CloseAndRead();
    EXPECT_EQ(written.find("Root"), std::string::npos);

    EXPECT_FALSE(OpenText(kCompany, "ou=People,o=Acme,c=SE"));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - No relevent entries found in this file.");
}

TEST_F(CLdifTest, ExpandInsertsChildrenAndReportsTheCountAndRefreshShowsThemAgain) {
    ASSERT_TRUE(OpenText(kCompany, "o=Acme"));
    const HTREEITEM hTop(7);
    m_pRoot->SetTreeItem(hTop);
    m_pRoot->BeginOperation(OP_EXPAND);
    EXPECT_FALSE(m_pRoot->CanRefresh());
    EXPECT_EQ(m_pSource->Expand(m_pRoot, &m_tree, hTop), 2);
    EXPECT_TRUE(m_pRoot->CanRefresh());
    ASSERT_EQ(m_tree.m_inserted.size(), 2u);
    EXPECT_EQ(m_tree.m_inserted[0].pEntry->m_strDN, "ou=People,o=Acme");
    EXPECT_EQ(m_tree.m_inserted[0].hParent, hTop);
    EXPECT_EQ(m_tree.m_inserted[1].pEntry->m_strDN, "ou=Groups,o=Acme");
    auto messages = m_tree.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].nMessage, WM_SEARCH_DONE);
    EXPECT_EQ(messages[0].wParam, 2u);
    EXPECT_EQ(messages[0].lParam, hTop.ToLParam());
    // Children's attributes are ready for the attribute pane once shown.
    EXPECT_EQ(m_tree.m_inserted[0].pEntry->m_attributes.GetSize(), 1);

    // A childless entry reports 0, so the pane shows a leaf.
    m_tree.Clear();
    CEntryNode* pGroups = Child(m_pRoot, "ou=Groups,o=Acme");
    EXPECT_EQ(Expand(pGroups), 0);
    ASSERT_EQ(m_tree.Count(WM_SEARCH_DONE), 1);
    EXPECT_EQ(m_tree.Messages()[0].wParam, 0u);

    // Without a pane the count is still right and nothing is sent anywhere.
    EXPECT_EQ(m_pSource->Expand(Child(m_pRoot, "ou=People,o=Acme"), nullptr, HTREEITEM()), 2);

    // Refresh shows the same children again.
    m_tree.Clear();
    m_tree.m_inserted.clear();
    m_pRoot->MarkLeaf();
    m_pRoot->BeginOperation(OP_REFRESH);
    EXPECT_TRUE(m_pSource->Refresh(m_pRoot, &m_tree, m_pRoot->GetTreeItem()));
    EXPECT_FALSE(m_pRoot->IsLeaf());
    EXPECT_TRUE(m_pRoot->CanRefresh());
    EXPECT_EQ(m_tree.MessageIds(), (std::vector<UINT>{WM_ENTRY_REFRESHED, WM_SEARCH_DONE}));
    EXPECT_EQ(m_tree.Messages()[0].wParam, PtrToWParam(m_pRoot));
    EXPECT_EQ(m_tree.m_inserted.size(), 2u);

    pGroups = Child(m_pRoot, "ou=Groups,o=Acme");
    EXPECT_FALSE(m_pSource->Refresh(pGroups, &m_tree, pGroups->GetTreeItem()));
    // Refresh changes nothing in the file.
    EXPECT_EQ(m_pSource->FormatContents(), kCompany);
}

TEST_F(CLdifTest, LargeFlatFileLinksEveryEntry) {
    std::string text = "dn: o=big\nobjectclass: top\n\n";
    for (int i = 0; i < 20000; ++i)
        text += "dn: cn=" + std::to_string(i) + ",o=big\nobjectclass: top\n\n";
    // Many entries without a parent, looked up by many children.
    for (int i = 0; i < 2000; ++i)
        text += "dn: cn=orphan" + std::to_string(i) + ",ou=none,o=big\nobjectclass: top\n\n";
    // Many set-aside entries with one DN, then many lookups of that DN.
    for (int i = 0; i < 2000; ++i)
        text += "dn: ou=twin,ou=none,o=big\nobjectclass: top\n\n";
    for (int i = 0; i < 2000; ++i)
        text += "dn: cn=" + std::to_string(i) + ",OU=TWIN,ou=none,o=big\nobjectclass: top\n\n";
    ASSERT_TRUE(OpenText(text, "o=big"));
    EXPECT_EQ(m_pRoot->GetChildCount(), 20000);
    EXPECT_EQ(m_pSource->GetOtherEntries().GetSize(), 6000);
    EXPECT_EQ(m_pSource->GetEntries()[20000]->GetIndex(), 20000);
}
