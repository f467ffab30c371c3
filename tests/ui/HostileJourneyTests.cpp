// The panes on a server that misbehaves on purpose: what the user sees of a
// level that failed or was stopped, of entries that do not belong to the
// level, of referrals, and of a read the server refused.

#include "HostileServer.h"
#include "UiTestSupport.h"

#include "model/EntryNode.h"
#include "source/LdapSource.h"
#include "ui/EntryTreeModel.h"
#include "ui/SearchResultModel.h"
#include "ui/TreeImages.h"

#include <gtest/gtest.h>

#include <QTreeView>

namespace {

const std::string kHostBase = CHostileServer::Base();
const std::string kGood = "cn=good," + kHostBase;

class HostileJourney : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        m_pTree = m_panes.m_pTree;
        ASSERT_TRUE(m_panes.OpenServer(m_server.Params()));
    }
    void TearDown() override { m_panes.Close(); }

    // The level below the base answers as fnLevel says.
    void OnLevel(std::function<void(const CHostileRequest&, CHostileReply&)> fnLevel) {
        m_server.SetHandler([fnLevel](const CHostileRequest& request, CHostileReply& reply) {
            if (request.nOp == kLdapSearchRequest && request.nScope == 1)
                fnLevel(request, reply);
        });
    }
    CLdapSource* Source() { return static_cast<CLdapSource*>(m_panes.m_doc.m_pDataSource); }
    bool Settled() { return WorkersSettled(*Source()); }
    // Opens the item as a click on its button does and waits until every
    // worker is done.
    void Open(HTREEITEM hItem) {
        m_pTree->ExpandItem(hItem);
        ASSERT_TRUE(WaitUntil([this] { return Settled(); }));
    }
    void Collapse(HTREEITEM hItem) {
        CEntryTreeModel* pModel = m_pTree->GetModel();
        m_pTree->GetTreeControl()->collapse(pModel->IndexOf(pModel->Find(hItem)));
    }
    int LevelSearches() const {
        int nCount = 0;
        for (const CHostileRequest& request : m_server.Requests())
            nCount += request.nOp == kLdapSearchRequest && request.nScope == 1 ? 1 : 0;
        return nCount;
    }

    CHostileServer m_server;
    CPanes m_panes;
    CLdapTreeView* m_pTree = nullptr;
};

} // namespace

TEST_F(HostileJourney, AFailedLevelEndsWithItsMarkerAndIsReadAgainWhenOpenedAgain) {
    OnLevel([](const CHostileRequest&, CHostileReply& reply) {
        reply.Entry("cn=a," + kHostBase);
        reply.Entry("cn=b," + kHostBase);
        reply.SearchDone(80, "the disk is on fire");
    });
    const HTREEITEM hRoot = m_panes.Root();
    Open(hRoot);
    const std::string text =
        "Failed: Other (e.g., implementation specific) error (result code 80): the disk is "
        "on fire; 2 entries shown. Refresh (F5) to read the level again.";
    EXPECT_EQ(m_panes.ChildTexts(hRoot), (std::vector<std::string>{"cn=a", "cn=b", text}));
    EXPECT_EQ(Str(m_panes.Status(1)), text);
    EXPECT_TRUE(m_pTree->GetItemEntry(hRoot)->CanRefresh());

    // Opened again, the level is read again; now it ends well.
    OnLevel([](const CHostileRequest&, CHostileReply& reply) {
        reply.Entry("cn=a," + kHostBase);
        reply.Entry("cn=b," + kHostBase);
        reply.Entry("cn=c," + kHostBase);
        reply.SearchDone(0);
    });
    const int nBefore = LevelSearches();
    Collapse(hRoot);
    Open(hRoot);
    EXPECT_EQ(LevelSearches(), nBefore + 1);
    EXPECT_EQ(m_panes.ChildTexts(hRoot), (std::vector<std::string>{"cn=a", "cn=b", "cn=c"}));
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Completed  -  3 entries found");

    // A whole level opened again asks nothing and says nothing of searching.
    Collapse(hRoot);
    m_panes.m_services.m_status.Clear();
    Open(hRoot);
    EXPECT_EQ(LevelSearches(), nBefore + 1);
    EXPECT_FALSE(m_panes.StatusShown(1, ("Searching  " + kHostBase).c_str()));
}

TEST_F(HostileJourney, PagingThatNeverEndsAndAStopEndWithTheirMarkers) {
    OnLevel([](const CHostileRequest& request, CHostileReply& reply) {
        reply.Entry("cn=a," + kHostBase);
        const std::string cookie = "again";
        reply.SearchDone(0, "", request.bPaged ? &cookie : nullptr);
    });
    const HTREEITEM hRoot = m_panes.Root();
    Open(hRoot);
    // The same entry twice (the second page repeated the first) and the end.
    EXPECT_EQ(m_panes.ChildTexts(hRoot).back(), "The server's paged results did not end; 2 entries shown");
    EXPECT_EQ(Str(m_panes.Status(1)), "The server's paged results did not end; 2 entries shown");

    // A level that never ends on its own, stopped after its first entries.
    OnLevel([](const CHostileRequest&, CHostileReply& reply) {
        reply.Entry("cn=x," + kHostBase);
        reply.Entry("cn=y," + kHostBase);
    });
    m_pTree->SelectItem(hRoot);
    m_pTree->OnRefresh();
    ASSERT_TRUE(WaitUntil([&] { return m_panes.ChildTexts(hRoot).size() == 2; }));
    CEntryNode::RequestStop();
    Source()->Stop();
    ASSERT_TRUE(WaitUntil([this] { return Settled(); }));
    EXPECT_EQ(m_panes.ChildTexts(hRoot),
              (std::vector<std::string>{"cn=x", "cn=y",
                                        "Stopped: 2 entries shown. Refresh (F5) to read the level again."}));
    EXPECT_EQ(Str(m_panes.Status(1)), "Search Abandoned");
    EXPECT_TRUE(m_pTree->GetItemEntry(hRoot)->CanRefresh());
}

TEST_F(HostileJourney, EntriesThatAreNotWhatTheyClaim) {
    const std::string nulDn = std::string("cn=nul\0after,", 13) + kHostBase;
    OnLevel([&](const CHostileRequest& request, CHostileReply& reply) {
        reply.Entry(kGood);
        reply.Entry("cn=evil,dc=other");
        reply.Entry(kHostBase);
        reply.Entry(nulDn);
        if (request.bManageDsaIT)
            reply.Entry("cn=ref," + kHostBase, {{"ref", {"ldap://elsewhere.example/"}}});
        reply.Reference({"ldap://other.example/ou=x,dc=example,dc=com"});
        reply.SearchDone(0);
    });
    const HTREEITEM hRoot = m_panes.Root();
    Open(hRoot);
    EXPECT_EQ(m_panes.ChildTexts(hRoot),
              (std::vector<std::string>{
                  "cn=good", "cn=nul\\00after", "cn=ref",
                  "Search reference (not followed): ldap://other.example/ou=x,dc=example,dc=com"}));
    EXPECT_EQ(
        Str(m_panes.Status(1)),
        "Search Completed  -  3 entries found (2 entries the server sent are not below this entry and are "
        "not shown)");
    // The referral object has its own picture and nothing to open.
    const HTREEITEM hRef = m_panes.Child(hRoot, "cn=ref");
    int nImage = -1, nSelected = -1;
    m_pTree->GetItemImage(hRef, nImage, nSelected);
    EXPECT_EQ(nImage, TREE_IMAGE_REFERRAL);
    EXPECT_FALSE(m_pTree->ItemHasButton(hRef));
}

TEST_F(HostileJourney, ARefusedReadSaysWhyInTheAttributePane) {
    OnLevel([](const CHostileRequest&, CHostileReply& reply) {
        reply.Entry(kGood);
        reply.SearchDone(0);
    });
    m_server.SetHandler([](const CHostileRequest& request, CHostileReply& reply) {
        if (request.nOp != kLdapSearchRequest)
            return;
        if (request.nScope == 1) {
            reply.Entry(kGood);
            reply.SearchDone(0);
        } else if (request.base == kGood) {
            reply.SearchDone(50);
        }
    });
    const HTREEITEM hRoot = m_panes.Root();
    Open(hRoot);
    m_pTree->ClickItem(m_panes.Child(hRoot, "cn=good"));
    ASSERT_TRUE(WaitUntil([this] { return Settled(); }));
    EXPECT_TRUE(m_panes.Rows().empty());
    EXPECT_EQ(Str(m_panes.m_pList->GetUnavailableText()), "Insufficient access to read this entry");
    EXPECT_EQ(Str(m_panes.Status(2)), "Insufficient access to read this entry");
}

TEST(HugeAttribute, TheAttributePaneTakesItInOneGoAndTheSearchCellsShowTwentyValuesAndACount) {
    constexpr int kValues = 100000;
    CAttribute member;
    member.SetName("member");
    for (int i = 0; i < kValues; ++i)
        member.Add(CString("cn=m" + std::to_string(i) + ",o=x"));

    // One status text for the whole attribute, not one per row.
    CPanes panes;
    CAttributeArray attributes;
    attributes.Add(&member);
    panes.m_services.m_status.Clear();
    Notify(panes.m_pList->GetSafeHwnd(), &ISourceEvents::ShowAttributes, attributes, nullptr);
    EXPECT_EQ(panes.m_pList->GetRowCount(), kValues);
    EXPECT_EQ(panes.m_services.m_status.History(2).size(), 1u);
    EXPECT_EQ(Str(panes.Status(2)), "100000 Attributes Found.");

    CSearchResultModel model;
    std::vector<CSearchResult> batch(1);
    batch[0].strDN = "cn=big,o=x";
    batch[0].attributes.push_back(member);
    model.Append(batch);
    const QModelIndex cell = model.index(0, 1);
    const QString tip = model.data(cell, Qt::ToolTipRole).toString();
    // Twenty values a line each, and the count of the rest.
    EXPECT_EQ(tip.count('\n'), 20);
    EXPECT_TRUE(tip.contains(QStringLiteral("cn=m19,o=x")));
    EXPECT_FALSE(tip.contains(QStringLiteral("cn=m20,o=x")));
    EXPECT_TRUE(tip.contains(QStringLiteral("\n\u2026 and 99980 more")));
    EXPECT_TRUE(
        model.data(cell, Qt::DisplayRole).toString().endsWith(QStringLiteral("; \u2026 and 99980 more")));
}

TEST(SearchReferenceRow, IsAMarkerWithItsUrlsAndNoValues) {
    CSearchResultModel model;
    std::vector<CSearchResult> batch(2);
    batch[0].strDN = "cn=a,o=x";
    batch[0].attributes.push_back(CAttribute());
    batch[0].attributes.back().SetName("mail");
    batch[0].attributes.back().Add("a@x");
    batch[1].referenceUrls = {"ldap://other.example/o=y", "ldap://third.example/"};
    model.Append(batch);
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(),
              QStringLiteral("Search reference (not followed): ldap://other.example/o=y; "
                             "Search reference (not followed): ldap://third.example/"));
    EXPECT_TRUE(model.data(model.index(1, 1), Qt::DisplayRole).toString().isEmpty());
}
