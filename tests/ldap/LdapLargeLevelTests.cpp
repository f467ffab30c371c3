// Levels larger than the server sends in one answer, browsed and searched:
// paged when the server can page, and a cut is reported, never passed off
// as the whole level.

#include "LdapTestPane.h"

#include <chrono>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace {

const std::string& kLevel = kEmpty;
constexpr int kChildren = 600;
// A server that caps plain searches but lets pages of up to 200 through.
const char* const kCapped = "size.soft=500 size.hard=500 size.pr=200 size.prtotal=unlimited";

struct CLevelCase {
    const char* pszName;
    const char* pszSizeLimits;
    int nPageSize;
    long long nShown;
    int nLimitCode; // EEvent::LevelLimited's code, 0 for none
};

class LdapLargeLevel : public CLdapTest, public ::testing::WithParamInterface<CLevelCase> {
protected:
    // An anonymous source on the level (the administrator has no limits).
    CEntryNode* Open(const char* pszSizeLimits, int nPageSize) {
        m_server.SetSizeLimits(pszSizeLimits);
        EXPECT_TRUE(m_server.AddChildren(kLevel, kChildren));
        CEntryNode* pLevel = CLdapTest::Open(kLevel, false, false);
        if (pLevel) {
            EXPECT_TRUE(m_pSource->OffersPaging());
            m_pSource->SetPageSize(nPageSize);
        }
        return pLevel;
    }
    std::vector<int> LimitCodes() const {
        std::vector<int> codes;
        for (const auto& call : m_pane.Calls())
            if (call.event == EEvent::LevelLimited)
                codes.push_back(static_cast<int>(call.nValue));
        return codes;
    }
};

} // namespace

TEST_P(LdapLargeLevel, EveryEntryReceivedIsKeptAndACutIsReported) {
    const CLevelCase& c = GetParam();
    CEntryNode* pLevel = Open(c.pszSizeLimits, c.nPageSize);
    ASSERT_NE(pLevel, nullptr);
    EXPECT_EQ(ExpandAndWait(*m_pSource, m_pane, pLevel), c.nShown);
    EXPECT_EQ(static_cast<long long>(pLevel->GetChildCount()), c.nShown);
    const std::vector<std::string>& found = m_pane.m_foundDNs;
    EXPECT_EQ(std::set<std::string>(found.begin(), found.end()).size(), found.size())
        << "an entry came twice";
    EXPECT_EQ(static_cast<long long>(found.size()), c.nShown);
    EXPECT_EQ(LimitCodes(), c.nLimitCode ? std::vector<int>{c.nLimitCode} : std::vector<int>{});
    // The limit is said just before the count, so the pane can tell both at once.
    std::vector<EEvent> ids = m_pane.Events();
    ASSERT_GE(ids.size(), 2u);
    if (c.nLimitCode) {
        EXPECT_EQ(ids[ids.size() - 2], EEvent::LevelLimited);
    }
    EXPECT_EQ(ids.back(), EEvent::SearchDone);
    EXPECT_FALSE(pLevel->IsLeaf());
    EXPECT_EQ(m_pSource->GetRunning(), 0);

    // The search panel's search pages the same way and reports the same cut.
    CSearchSink sink;
    ASSERT_TRUE(sink.Run(*m_pSource, Query("(objectClass=*)", SEARCH_SCOPE_ONE, kLevel)));
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    EXPECT_EQ(static_cast<long long>(sink.m_results.size()), c.nShown);
    EXPECT_EQ(sink.m_outcome.nResultCode, c.nLimitCode);
    EXPECT_FALSE(sink.m_outcome.bFailed);
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Levels, LdapLargeLevel,
                         ::testing::Values(CLevelCase{"DefaultLimitPlain", "500", 0, 500, 4},
                                           // Pages count against the same total there.
                                           CLevelCase{"DefaultLimitPaged", "500", 100, 500, 4},
                                           CLevelCase{"CappedPlain", kCapped, 0, 500, 4},
                                           CLevelCase{"CappedPaged", kCapped, 100, kChildren, 0},
                                           // 1000, 500 and 250 are refused; 125 goes through.
                                           CLevelCase{"CappedPageSizeRefusedIsHalved", kCapped, 1000,
                                                      kChildren, 0}),
                         [](const auto& info) { return std::string(info.param.pszName); });

using LdapPagedStop = LdapLargeLevel;

TEST_F(LdapPagedStop, StopBetweenPagesKeepsWhatCameAndTheConnectionServesOn) {
    // Pages of one: every page is a round trip, so the entries cannot all
    // come in one message, and from the second entry on a cookie is held.
    CEntryNode* pLevel = Open(kCapped, 1);
    ASSERT_NE(pLevel, nullptr);
    bool bStopped = false;
    m_pane.m_onEntriesFound = [&](const CPtrList& entries) {
        if (bStopped)
            return;
        if (m_pane.m_foundDNs.size() + static_cast<size_t>(entries.GetCount()) >= 2) {
            bStopped = true;
            m_pSource->Stop();
        }
    };
    EXPECT_EQ(ExpandAndWait(*m_pSource, m_pane, pLevel), SEARCH_STOPPED);
    EXPECT_TRUE(bStopped);
    int nKept = pLevel->GetChildCount();
    EXPECT_GE(nKept, 2);
    EXPECT_LT(nKept, kChildren);
    EXPECT_EQ(m_pSource->GetRunning(), 0);
    m_pane.m_onEntriesFound = nullptr;

    // The same connection pages the whole level afterwards.
    m_pane.Clear();
    m_pane.m_foundDNs.clear();
    m_pane.m_searchDone.clear();
    pLevel->BeginOperation(OP_REFRESH);
    m_pSource->Refresh(pLevel, &m_pane, HTREEITEM(77));
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    EXPECT_EQ(pLevel->GetChildCount(), kChildren);
    EXPECT_EQ(m_pane.m_searchDone, std::vector<long long>{kChildren});
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}

TEST_F(LdapPagedStop, ATimeLimitKeepsWhatCameAndSaysSo) {
    // The first entries are held up past the server's time limit; the
    // server, blocked on its full socket meanwhile, ends the search there.
    m_server.SetTimeLimit(1);
    ASSERT_TRUE(m_server.AddChildren(kLevel, 200000, "more"));
    CEntryNode* pLevel = Open("unlimited", 0);
    ASSERT_NE(pLevel, nullptr);
    bool bHeld = false;
    m_pane.m_onEntriesFound = [&](const CPtrList&) {
        if (!bHeld) {
            bHeld = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        }
    };
    long long nShown = ExpandAndWait(*m_pSource, m_pane, pLevel);
    EXPECT_EQ(LimitCodes(), std::vector<int>{3});
    EXPECT_GE(nShown, 1);
    EXPECT_LT(nShown, kChildren + 200000);
    EXPECT_EQ(static_cast<long long>(pLevel->GetChildCount()), nShown);
    RecordProperty("shown", static_cast<int>(nShown));
}

// A refresh while the level streams in small pages, at every place within a
// page: the refreshed level is always read whole (the server keeps one
// paged search per connection, so the old one must not disturb the new).
TEST_F(LdapPagedStop, ARefreshWhileTheLevelStreamsReadsItWhole) {
    constexpr int kPage = 5;
    CEntryNode* pLevel = Open("unlimited", kPage);
    ASSERT_NE(pLevel, nullptr);
    for (int nRound = 0; nRound < 3 * kPage; ++nRound) {
        SCOPED_TRACE(nRound);
        m_pane.Clear();
        m_pane.m_foundDNs.clear();
        m_pane.m_searchDone.clear();
        // The first reading streams; after a few entries it is refreshed.
        const size_t nAt = static_cast<size_t>(1 + nRound % (2 * kPage));
        bool bRefreshed = false;
        m_pane.m_onEntriesFound = [&](const CPtrList& entries) {
            if (bRefreshed || m_pane.m_foundDNs.size() + static_cast<size_t>(entries.GetCount()) < nAt)
                return;
            bRefreshed = true;
            pLevel->BeginOperation(OP_REFRESH);
            m_pSource->Refresh(pLevel, &m_pane, HTREEITEM(77));
        };
        pLevel->BeginOperation(OP_REFRESH);
        m_pSource->Refresh(pLevel, &m_pane, HTREEITEM(77));
        ASSERT_TRUE(Pump([&] { return !m_pane.m_searchDone.empty(); }));
        ASSERT_TRUE(WaitForWorkers(*m_pSource));
        m_pane.m_onEntriesFound = nullptr;
        EXPECT_TRUE(bRefreshed);
        EXPECT_EQ(m_pane.m_searchDone, std::vector<long long>{kChildren});
        EXPECT_EQ(pLevel->GetChildCount(), kChildren);
    }
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}

// Two levels and a search, all paged at once on the one connection: slapd
// keeps one paged state per connection, so each waits its turn rather than
// breaking the others ("paged results cookie is invalid or old").
TEST_F(LdapPagedStop, TwoLevelsAndASearchPagedAtOnceAreEachReadWhole) {
    constexpr int kPage = 5;
    const std::string first = "cn=child0," + kLevel;
    const std::string second = "cn=child1," + kLevel;
    ASSERT_TRUE(m_server.AddChildren(first, kChildren, "first"));
    ASSERT_TRUE(m_server.AddChildren(second, kChildren, "second"));
    CEntryNode* pLevel = Open("unlimited", kPage);
    ASSERT_NE(pLevel, nullptr);
    ASSERT_EQ(ExpandAndWait(*m_pSource, m_pane, pLevel), kChildren);
    CEntryNode* pFirst = FindChild(pLevel, first);
    CEntryNode* pSecond = FindChild(pLevel, second);
    ASSERT_TRUE(pFirst && pSecond);
    m_pane.Reset();
    for (CEntryNode* pEntry : {pFirst, pSecond}) {
        pEntry->BeginOperation(OP_EXPAND);
        m_pSource->Expand(pEntry, &m_pane, HTREEITEM(pEntry == pFirst ? 78 : 79));
    }
    CSearchSink sink;
    ASSERT_TRUE(sink.Run(*m_pSource, Query("(cn=second*)", SEARCH_SCOPE_SUBTREE, kLevel)));
    ASSERT_TRUE(Pump([&] { return m_pane.m_searchDone.size() == 2; }));
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    EXPECT_EQ(m_pane.m_searchDone, (std::vector<long long>{kChildren, kChildren}));
    EXPECT_EQ(m_pane.LastText(EEvent::LevelIncomplete), "");
    EXPECT_EQ(pFirst->GetChildCount(), kChildren);
    EXPECT_EQ(pSecond->GetChildCount(), kChildren);
    EXPECT_FALSE(sink.m_outcome.bFailed) << Str(sink.m_outcome.strMessage);
    EXPECT_EQ(sink.m_outcome.nCount, kChildren);
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}
