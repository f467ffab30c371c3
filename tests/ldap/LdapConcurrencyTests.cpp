// Many workers on the one connection, Stop, Close, dying servers and nodes
// removed while workers still hold them. Run under ThreadSanitizer and
// AddressSanitizer as well.

#include "LdapTestPane.h"

#include "platform/Dispatcher.h"
#include "platform/Thread.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <numeric>
#include <set>
#include <thread>

namespace {

// "P<n>" (the tag of the n-th browsed parent), built without temporaries
// that trip a false -Wrestrict of GCC 12 at -O3.
std::string Tag(const char* pszPrefix, int n) {
    std::string tag(pszPrefix);
    tag += std::to_string(n);
    return tag;
}

std::string LostNotice(const CSlapdServer& server) {
    return "The connection to 127.0.0.1:" + std::to_string(server.Port()) +
           " was lost.\nReconnect with the same login?";
}

class LdapConcurrency : public CLdapTest {
protected:
    // The source on the suffix, its top level expanded, ou=Empty holding
    // nBig children.
    CEntryNode* OpenBig(int nBig = 20000) {
        EXPECT_TRUE(m_server.AddChildren(kEmpty, nBig));
        Open();
        return Child(kEmpty);
    }
    // Opens the suffix with its top level expanded; TRUE when both
    // ou=People and ou=Empty are there.
    bool OpenTop() {
        Open();
        m_pPeople = Child(kPeople);
        m_pEmpty = Child(kEmpty);
        return m_pPeople && m_pEmpty;
    }
    // Starts a browse (OP_EXPAND) or a refresh (OP_REFRESH) of pEntry into
    // the pane (m_pane when NULL), as the tree pane does.
    void Browse(CEntryNode* pEntry, int nOp = OP_EXPAND, CTestPane* pPane = nullptr) {
        pEntry->BeginOperation(nOp);
        CTestPane* pTo = pPane ? pPane : &m_pane;
        if (nOp == OP_EXPAND)
            m_pSource->Expand(pEntry, pTo, HTREEITEM(7));
        else
            m_pSource->Refresh(pEntry, pTo, HTREEITEM(7));
    }
    // Freezes the server, then starts a browse of pEntry and waits until its
    // request is sent and registered.
    void ExpandOnFrozenServer(CEntryNode* pEntry) {
        m_server.Pause();
        Browse(pEntry);
        EXPECT_TRUE(Pump([&] { return m_pSource->GetRunning() == 1; }));
    }
    // Starts reading pEntry's attributes into pane.
    HANDLE StartRead(CEntryNode* pEntry, CTestPane& pane) {
        pEntry->BeginOperation(OP_READ_ATTRIBUTES);
        return HANDLE(m_pSource->ReadAttributes(pEntry, &pEntry->m_attributes, &pane, TRUE));
    }

    CEntryNode* m_pPeople = nullptr;
    CEntryNode* m_pEmpty = nullptr;
};

} // namespace

TEST_F(LdapConcurrency, EveryResultReachesItsOwnWorkerWithManyInFlight) {
    const int kParents = 4, kChildren = 25, kTargets = 8, kRounds = 100;
    // Browsed parents cn=P<n>, and cn=M0 holding the modified entries.
    ASSERT_TRUE(m_server.AddChildren(kBase, kParents, "P"));
    for (int p = 0; p < kParents; ++p)
        m_server.AddChildren("cn=" + Tag("P", p) + "," + kBase, kChildren, Tag("p", p) + "-");
    m_server.AddChildren(kBase, 1, "M");
    m_server.AddChildren("cn=M0," + kBase, kTargets, "m");
    ASSERT_NE(Open(), nullptr);

    std::vector<CEntryNode*> parents;
    std::vector<std::unique_ptr<CTestPane>> panes;
    for (int p = 0; p < kParents; ++p) {
        parents.push_back(Child("cn=" + Tag("P", p) + "," + kBase));
        ASSERT_NE(parents.back(), nullptr);
        panes.push_back(std::make_unique<CTestPane>(m_pSource.get()));
    }
    CEntryNode* pM = Child("cn=M0," + kBase);
    ASSERT_NE(pM, nullptr);
    ASSERT_EQ(ExpandAndWait(*m_pSource, m_pane, pM), kTargets);
    std::vector<CEntryNode*> targets = pM->GetChildren();
    CTestPane updates(m_pSource.get());

    for (int r = 0; r < kRounds; ++r) {
        // Four browses (each a refresh, which also retires the old children)
        // and four modifies, all in flight at once on the one connection.
        for (int p = 0; p < kParents; ++p) {
            parents[p]->BeginOperation(OP_REFRESH);
            m_pSource->Refresh(parents[p], panes[p].get(), HTREEITEM(100 + p));
        }
        for (int k = 0; k < 4; ++k) {
            CEntryNode* pTarget = targets[(r * 4 + k) % kTargets];
            std::string value = "round " + std::to_string(r) + " op " + std::to_string(k);
            StartValueUpdate(*m_pSource, updates, pTarget, OP_ADD_ATTRIBUTE,
                             {MakeAttribute("description", {value.c_str()})});
        }
        ASSERT_TRUE(WaitForWorkers(*m_pSource)) << "round " << r;
        for (int p = 0; p < kParents; ++p) {
            CTestPane& pane = *panes[p];
            ASSERT_EQ(pane.m_searchDone.size(), static_cast<size_t>(r + 1)) << "round " << r;
            EXPECT_EQ(pane.m_searchDone.back(), kChildren) << "round " << r;
            // Exactly this round's children, each once.
            std::set<std::string> round(pane.m_foundDNs.end() - kChildren, pane.m_foundDNs.end());
            EXPECT_EQ(round.size(), static_cast<size_t>(kChildren));
            EXPECT_EQ(parents[p]->GetChildCount(), kChildren);
        }
        ASSERT_EQ(updates.m_succeeded.size(), static_cast<size_t>(4 * (r + 1)));
    }
    EXPECT_EQ(std::count(updates.m_succeeded.begin(), updates.m_succeeded.end(), true), 4 * kRounds);
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
    EXPECT_EQ(m_pSource->GetRunning(), 0);
    EXPECT_EQ(m_pSource->GetPendingResultCount(), 0); // nothing left behind in the store
    // With this many at once, workers did read each other's results.
    EXPECT_GT(m_pSource->GetHandedOverCount(), 0);

    // The server holds every value, and so does each cache, in order.
    int nValues = 0;
    for (CEntryNode* pTarget : targets) {
        std::vector<std::string> onServer = m_server.Values(Str(pTarget->GetDN()), "description");
        nValues += static_cast<int>(onServer.size());
        CAttribute* pCached = pTarget->FindAttribute("description");
        ASSERT_NE(pCached, nullptr);
        ASSERT_EQ(pCached->GetSize(), static_cast<int>(onServer.size()));
    }
    EXPECT_EQ(nValues, 4 * kRounds);
}

TEST_F(LdapConcurrency, StopAbandonsTheMostRecentRequestThenTheOneBefore) {
    ASSERT_TRUE(OpenTop());

    // Nothing running: Stop does nothing at all.
    EXPECT_TRUE(m_pSource->Stop());
    EXPECT_EQ(m_services.m_boxes.Count(), 0);

    ExpandOnFrozenServer(m_pPeople);
    CTestPane attributes(m_pSource.get());
    HANDLE hRead = StartRead(m_pEmpty, attributes);
    ASSERT_TRUE(Pump([&] { return m_pSource->GetRunning() == 2; }));

    // The read is the most recent registration: it alone is abandoned and
    // ends although the server is frozen.
    EXPECT_TRUE(m_pSource->Stop());
    EXPECT_EQ(WaitForThreadDispatching(hRead, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(m_pSource->GetRunning(), 1);
    EXPECT_TRUE(m_pEmpty->CanRefreshAttributes());
    // Stopped before anything came, and the pane is told so.
    EXPECT_EQ(attributes.Events(),
              (std::vector<EEvent>{EEvent::ClearAttributes, EEvent::AttributesUnavailable}));
    EXPECT_EQ(attributes.LastText(EEvent::AttributesUnavailable),
              "Stopped before the attributes were read. Refresh (F5) to read them again.");
    // The browse still runs, untouched by that Stop; a second Stop aims at it,
    // the latest request still running, so it can always be stopped.
    EXPECT_FALSE(m_pPeople->CanRefresh());
    EXPECT_TRUE(m_pSource->Stop());
    EXPECT_TRUE(m_pPeople->CanRefresh());

    m_server.Resume();
    ASSERT_TRUE(Pump([&] { return m_pane.Count(EEvent::SearchDone) == 1; }));
    EXPECT_EQ(m_pane.m_searchDone, std::vector<long long>{SEARCH_STOPPED});
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}

// A browse whose request is sent but not answered yet: stopped (false) or
// its server killed (true).
class LdapUnanswered : public LdapConcurrency, public ::testing::WithParamInterface<bool> {};

TEST_P(LdapUnanswered, BrowseEndsAtOnce) {
    const bool bKill = GetParam();
    ASSERT_TRUE(OpenTop());

    ExpandOnFrozenServer(m_pPeople);
    if (bKill) {
        m_server.Kill();
    } else {
        CEntryNode::RequestStop();
        EXPECT_TRUE(m_pSource->Stop());
    }
    ASSERT_TRUE(Pump([&] { return m_pane.Count(EEvent::SearchDone) == 1; }));
    // Killed, the loading row stays: no placeholder removal when nothing came.
    EXPECT_EQ(m_pane.Events(), bKill ? (std::vector<EEvent>{EEvent::LoadingEntries, EEvent::SearchDone})
                                     : (std::vector<EEvent>{EEvent::LoadingEntries, EEvent::RemovePlaceholder,
                                                            EEvent::SearchDone}));
    EXPECT_EQ(m_pane.m_searchDone, std::vector<long long>{bKill ? SEARCH_FAILED : SEARCH_STOPPED});
    if (bKill) {
        EXPECT_TRUE(m_pPeople->IsUnexpanded());
        // The failed browse itself says why, not only the next request; the
        // Yes to the notice is tried at once and says why it failed.
        ASSERT_TRUE(WaitForWorkers(*m_pSource));
        EXPECT_EQ(Boxes(), (std::vector<std::string>{LostNotice(m_server), "Can't contact LDAP server"}));
    }
    EXPECT_TRUE(m_pPeople->CanRefresh());
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    m_server.Resume();

    if (!bKill) {
        // The connection is still good for the next browse.
        EXPECT_EQ(ExpandAndWait(*m_pSource, m_pane, m_pPeople), 2);
        EXPECT_EQ(m_services.m_boxes.Count(), 0);
        return;
    }
    // The user wants the connection back: every later request reconnects
    // first, on a thread of its own; with the server still gone each attempt
    // says why once, and the request it held back fails without another box.
    m_pane.Clear();
    EXPECT_EQ(ExpandAndWait(*m_pSource, m_pane, Child(kEmpty)), SEARCH_FAILED);
    EXPECT_EQ(ExpandAndWait(*m_pSource, m_pane, Child(kEmpty)), SEARCH_FAILED);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{LostNotice(m_server), "Can't contact LDAP server",
                                                 "Can't contact LDAP server", "Can't contact LDAP server"}));
}

INSTANTIATE_TEST_SUITE_P(StopOrKill, LdapUnanswered, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ServerKilled" : "Stopped"; });

TEST_F(LdapConcurrency, ServerKilledMidSearchKeepsWhatCame) {
    CEntryNode* pBig = OpenBig();
    ASSERT_NE(pBig, nullptr);

    // Freeze the server as soon as the first entry is shown, then kill it.
    m_pane.m_onFirstEntries = [&] { m_server.Pause(); };
    Browse(pBig);
    ASSERT_TRUE(Pump([&] { return !m_pane.m_batchSizes.empty(); }));
    m_server.Kill();
    ASSERT_TRUE(Pump([&] { return m_pane.Count(EEvent::SearchDone) == 1; }));
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    long long nDone = m_pane.m_searchDone.back();
    int nShown = static_cast<int>(m_pane.m_foundDNs.size());
    EXPECT_EQ(m_pane.Count(EEvent::RemovePlaceholder), 1);
    EXPECT_EQ(pBig->GetChildCount(), nShown); // what came stays in the tree
    std::printf("killed mid-search: done %lld after %d entries\n", nDone, nShown);
    if (nDone == SEARCH_FAILED) {
        EXPECT_TRUE(pBig->IsUnexpanded());
        EXPECT_LT(nShown, 20000);
    } else {
        EXPECT_EQ(nDone, 20000) << "everything had arrived before the kill";
    }
}

TEST_F(LdapConcurrency, PaneDestroyedOrCloseWhileTwentyThousandEntriesStream) {
    CEntryNode* pBig = OpenBig();
    ASSERT_NE(pBig, nullptr);
    auto pPane = std::make_unique<CTestPane>(m_pSource.get());
    Browse(pBig, OP_EXPAND, pPane.get());
    ASSERT_TRUE(Pump([&] { return !pPane->m_batchSizes.empty(); }));
    int nShown = static_cast<int>(pPane->m_foundDNs.size());
    pPane.reset();
    // The worker stops adding entries and ends; its done message goes nowhere.
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    EXPECT_LE(pBig->GetChildCount(), nShown + CLdapSource::kMaxEntriesPerMessage);
    EXPECT_TRUE(pBig->CanRefresh());

    // The level streams again; the document's close: handshake, Close, delete.
    Browse(pBig, OP_REFRESH);
    ASSERT_TRUE(Pump([&] { return !m_pane.m_batchSizes.empty(); }));
    m_pSource->ShutdownWorkers(TRUE);
    EXPECT_TRUE(m_pSource->m_workerThreads.IsEmpty());
    EXPECT_EQ(m_pane.Count(EEvent::SearchDone), 0);
    EXPECT_TRUE(m_pSource->Close());
    m_pSource.reset();
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}

TEST_F(LdapConcurrency, RefreshOfAParentWhileAReadBelowRuns) {
    Open();
    CEntryNode* pPeople = People();
    CEntryNode* pAlice = FindChild(pPeople, kAlice);
    ASSERT_NE(pAlice, nullptr);

    // The read waits on a frozen server while its entry is thrown away.
    m_server.Pause();
    CTestPane attributes(m_pSource.get());
    StartRead(pAlice, attributes);
    ASSERT_TRUE(Pump([&] { return m_pSource->GetRunning() == 1; }));
    m_pane.Clear();
    Browse(pPeople, OP_REFRESH);
    EXPECT_EQ(pPeople->GetChildCount(), 0);
    EXPECT_GE(m_pSource->GetRetiredCount(), 1);
    m_server.Resume();
    // The read finishes on the retired node (AddressSanitizer watches), the
    // new browse brings fresh nodes.
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    EXPECT_EQ(std::accumulate(attributes.m_showSizes.begin(), attributes.m_showSizes.end(), 0), 5);
    EXPECT_EQ(m_pane.m_searchDone.back(), 2);
    CEntryNode* pNewAlice = FindChild(pPeople, kAlice);
    ASSERT_NE(pNewAlice, nullptr);
    EXPECT_NE(pNewAlice, pAlice);
    EXPECT_TRUE(pNewAlice->m_attributes.IsEmpty());
    // No worker left: the next start frees the retired nodes.
    ReadAndWait(*m_pSource, attributes, pNewAlice);
    EXPECT_EQ(m_pSource->GetRetiredCount(), 0);
}

TEST_F(LdapConcurrency, DeleteWhileAReadOfTheSameEntryRuns) {
    Open();
    CEntryNode* pPeople = People();
    CEntryNode* pAlice = FindChild(pPeople, kAlice);
    CEntryNode* pBob = FindChild(pPeople, kBob);
    ASSERT_TRUE(pAlice && pBob);

    // Alice's read holds the read lock; inside its first attribute message
    // the delete of Bob completes and the pane hands Bob back, while Bob's
    // own read still waits for the lock with Bob's node in its record.
    CTestPane attributes(m_pSource.get());
    CTestPane tree(m_pSource.get());
    bool bWaited = false;
    attributes.m_onShowAttributes = [&](const CAttributeArray&) {
        if (!bWaited) {
            bWaited = true;
            EXPECT_TRUE(Pump([&] { return tree.m_nDeleted == 1; }));
        }
    };
    // All three are under way before the server answers anything.
    m_server.Pause();
    StartRead(pAlice, attributes);
    ASSERT_TRUE(Pump([&] { return m_pSource->GetRunning() == 1; }));
    StartRead(pBob, attributes);
    pBob->BeginOperation(OP_DELETE_ENTRY);
    m_pSource->DeleteEntry(pBob, &tree);
    ASSERT_TRUE(Pump([&] { return m_pSource->GetRunning() == 2; }));
    m_server.Resume();
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    EXPECT_TRUE(bWaited);
    EXPECT_EQ(tree.m_nDeleted, 1);
    EXPECT_FALSE(m_server.Exists(kBob));
    EXPECT_EQ(ChildDNs(pPeople), std::vector<std::string>{kAlice});
    // Bob's read ran after the delete: cleared, found nothing, no box.
    EXPECT_EQ(attributes.Count(EEvent::ClearAttributes), 2);
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}

TEST_F(LdapConcurrency, StreamingInBatchesAndRefreshWhileTheEntryStillStreams) {
    const int kChildren = 20000, kRounds = 6;
    CEntryNode* pBig = OpenBig(kChildren);
    ASSERT_NE(pBig, nullptr);
    int nChildrenAtFirst = -1;
    m_pane.m_onFirstEntries = [&] { nChildrenAtFirst = pBig->GetChildCount(); };

    // Every entry a pane is given must be one of the entry's children then:
    // a retired node handed out is what a pane would later touch after free.
    int nStale = 0;
    m_pane.m_onEntriesFound = [&](const CPtrList& entries) {
        std::vector<CEntryNode*> now = pBig->GetChildren();
        std::set<CEntryNode*> children(now.begin(), now.end());
        for (POSITION pos = entries.GetHeadPosition(); pos;)
            nStale += children.count(static_cast<CEntryNode*>(entries.GetNext(pos))) ? 0 : 1;
    };
    Browse(pBig);
    size_t nMark = 0;
    for (int r = 0; r < kRounds; ++r) {
        ASSERT_TRUE(Pump([&] { return m_pane.m_foundDNs.size() > nMark; })) << "round " << r;
        nMark = m_pane.m_foundDNs.size();
        Browse(pBig, OP_REFRESH);
    }
    ASSERT_TRUE(Pump([&] { return m_pane.Count(EEvent::SearchDone) == 1; }));
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    EXPECT_EQ(nStale, 0);
    // Only the last expansion finished and spoke; it brought every child once.
    EXPECT_EQ(m_pane.m_searchDone, std::vector<long long>{kChildren});
    std::vector<std::string> last(m_pane.m_foundDNs.begin() + static_cast<long>(nMark),
                                  m_pane.m_foundDNs.end());
    EXPECT_EQ(std::set<std::string>(last.begin(), last.end()).size(), static_cast<size_t>(kChildren));
    EXPECT_EQ(last.size(), static_cast<size_t>(kChildren));
    EXPECT_EQ(pBig->GetChildCount(), kChildren);
    // The children list is the reverse of the arrival order.
    EXPECT_EQ(ChildDNs(pBig), std::vector<std::string>(last.rbegin(), last.rend()));
    // The first entry reached the pane alone, before any later one was read;
    // the rest came in batches.
    const std::vector<int>& batches = m_pane.m_batchSizes;
    ASSERT_GT(batches.size(), 1u);
    EXPECT_EQ(batches[0], 1);
    EXPECT_EQ(nChildrenAtFirst, 1);
    EXPECT_LE(*std::max_element(batches.begin(), batches.end()), CLdapSource::kMaxEntriesPerMessage);
    EXPECT_TRUE(pBig->CanRefresh());
    EXPECT_EQ(m_pSource->GetRunning(), 0);
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}

// Stop on an update sent to a held server. Whether its answer comes within
// the wait (reported as it is) or the entries are read again after it, the
// tree and the cache end as the server holds them, accepted or refused.
namespace {

struct CStoppedUpdate {
    const char* pszName;
    int nOp;
    const char* pszEntry; // Alice, Bob or People: the entry changed (the parent of an add)
    const char* pszText;  // the new RDN of an add or rename, else the attribute
    std::vector<const char*> values;
};

const CStoppedUpdate kStoppedUpdates[] = {
    {"AddAccepted", OP_ADD_ENTRY, "People", "cn=Carol", {}},
    {"AddRefused", OP_ADD_ENTRY, "People", "cn=Alice", {}},
    {"DeleteAccepted", OP_DELETE_ENTRY, "Bob", "", {}},
    {"DeleteRefusedChildren", OP_DELETE_ENTRY, "People", "", {}},
    {"RenameAccepted", OP_MODIFY_ENTRY, "Bob", "cn=Robert", {}},
    {"RenameRefused", OP_MODIFY_ENTRY, "Bob", "cn=Alice", {}},
    {"AddValueAccepted", OP_ADD_ATTRIBUTE, "Alice", "description", {"added"}},
    {"AddValueRefused", OP_ADD_ATTRIBUTE, "Alice", "mail", {"alice@example.com"}},
    {"DeleteValueAccepted", OP_DELETE_ATTRIBUTE, "Alice", "telephoneNumber", {"111"}},
    {"DeleteValueRefused", OP_DELETE_ATTRIBUTE, "Alice", "mail", {"nobody@example.com"}},
    {"ModifyValueAccepted", OP_MODIFY_ATTRIBUTE, "Alice", "sn", {"Smyth", "Smith"}},
    {"ModifyValueRefused",
     OP_MODIFY_ATTRIBUTE,
     "Alice",
     "mail",
     {"alice.smith@example.com", "alice@example.com"}},
};

void StartUpdate(CLdapSource& source, CTestPane& pane, CEntryNode* pPeople, const CStoppedUpdate& update) {
    CEntryNode* pEntry = std::string(update.pszEntry) == "People"
                             ? pPeople
                             : FindChild(pPeople, "cn=" + std::string(update.pszEntry) + "," + kPeople);
    if (update.nOp == OP_ADD_ENTRY) {
        StartAddEntry(source, pane, pEntry, update.pszText);
        return;
    }
    if (update.nOp == OP_DELETE_ENTRY || update.nOp == OP_MODIFY_ENTRY)
        pEntry->BeginOperation(update.nOp);
    if (update.nOp == OP_DELETE_ENTRY)
        source.DeleteEntry(pEntry, &pane);
    else if (update.nOp == OP_MODIFY_ENTRY)
        source.ModifyEntry(pEntry, update.pszText, pEntry->GetRDN(),
                           CString(update.pszText) + "," + CString(kPeople.c_str()), "", &pane);
    else
        StartValueUpdate(source, pane, pEntry, update.nOp, {MakeAttribute(update.pszText, update.values)});
}

std::multiset<std::string> ServerValues(const CSlapdServer& server, const std::string& dn) {
    std::multiset<std::string> values;
    for (const char* pszName : {"sn", "mail", "telephoneNumber", "description"})
        for (const std::string& value : server.Values(dn, pszName))
            values.insert(std::string(pszName) + "=" + value);
    return values;
}

std::multiset<std::string> CachedOf(CEntryNode* pEntry) {
    std::multiset<std::string> values;
    for (const std::string& value : CachedValues(pEntry))
        if (value.rfind("cn=", 0) != 0 && value.rfind("objectClass=", 0) != 0)
            values.insert(value);
    return values;
}

// Which update, and whether the entries are read again (no wait for the answer).
class LdapStoppedUpdate : public LdapConcurrency,
                          public ::testing::WithParamInterface<std::tuple<int, bool>> {};

} // namespace

TEST_P(LdapStoppedUpdate, ShowsWhatTheServerHolds) {
    const CStoppedUpdate& update = kStoppedUpdates[std::get<0>(GetParam())];
    const bool bReadAgain = std::get<1>(GetParam());
    Open();
    CEntryNode* pPeople = People();
    CEntryNode* pAlice = FindChild(pPeople, kAlice);
    ASSERT_NE(pAlice, nullptr);
    ReadAndWait(*m_pSource, m_pane, pAlice);
    m_pSource->SetStoppedUpdateWait(bReadAgain ? 0 : 20000);
    CTestPane pane(m_pSource.get());

    m_server.Pause();
    StartUpdate(*m_pSource, pane, pPeople, update);
    ASSERT_TRUE(Pump([&] { return m_pSource->GetRunning() == 1; }));
    CEntryNode::RequestStop();
    EXPECT_TRUE(m_pSource->Stop());
    if (bReadAgain) // the entries are asked for again before the server answers anything
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    m_server.Resume();
    ASSERT_TRUE(WaitForWorkers(*m_pSource));

    std::vector<std::string> shown = ChildDNs(m_pRoot);
    std::vector<std::string> held = m_server.SearchDNs(kBase);
    EXPECT_EQ(std::set<std::string>(shown.begin(), shown.end()),
              std::set<std::string>(held.begin(), held.end()));
    EXPECT_EQ(shown.size(), held.size());
    if (m_server.Exists(kPeople)) {
        shown = ChildDNs(pPeople);
        held = m_server.SearchDNs(kPeople);
        EXPECT_EQ(std::multiset<std::string>(shown.begin(), shown.end()),
                  std::multiset<std::string>(held.begin(), held.end()));
    }
    EXPECT_EQ(CachedOf(pAlice), ServerValues(m_server, kAlice));
    EXPECT_EQ(m_pSource->GetRunning(), 0);
}

INSTANTIATE_TEST_SUITE_P(Updates, LdapStoppedUpdate,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kStoppedUpdates))),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(kStoppedUpdates[std::get<0>(info.param)].pszName) +
                                    (std::get<1>(info.param) ? "ReadAgain" : "Answered");
                         });

TEST_F(LdapConcurrency, LostConnectionIsSaidOnceAndAReconnectKeepsTheTree) {
    ASSERT_TRUE(OpenTop());

    // Two requests meet the dead connection: one notice, with the offer.
    m_server.Kill();
    m_services.m_boxes.SetNextAnswer(IDYES);
    Browse(m_pPeople);
    CTestPane attributes(m_pSource.get());
    StartRead(m_pEmpty, attributes);
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    // The Yes is tried at once, and a server still down is said at once.
    const std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], LostNotice(m_server));
    EXPECT_NE(boxes[1], LostNotice(m_server));

    // Back on the same port but slow to answer: the request that reconnects
    // returns at once (the bind waits off the UI thread) and is served, with
    // the same (administrator's) login, once the server answers. The tree
    // still holds what it had.
    ASSERT_TRUE(m_server.Start()) << m_server.LastError();
    EXPECT_EQ(ChildDNs(m_pRoot).size(), 2u);
    m_pane.Clear();
    const size_t nDone = m_pane.m_searchDone.size();
    m_server.Pause();
    Browse(m_pPeople);
    EXPECT_EQ(m_pane.m_searchDone.size(), nDone);
    m_server.Resume();
    EXPECT_TRUE(Pump([&] { return m_pane.m_searchDone.size() > nDone; }));
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    EXPECT_EQ(std::vector<long long>(m_pane.m_searchDone.begin() + nDone, m_pane.m_searchDone.end()),
              std::vector<long long>{2});
    StartValueUpdate(*m_pSource, attributes, m_pEmpty, OP_ADD_ATTRIBUTE,
                     {MakeAttribute("description", {"back again"})});
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    EXPECT_EQ(m_server.Values(kEmpty, "description"), std::vector<std::string>{"back again"});
    EXPECT_EQ(m_services.m_boxes.Count(), 2);
}

// The server is back before the user answers: the reconnect is made at the
// answer, and the status says what to press for what failed.
TEST_F(LdapConcurrency, AReconnectMadeAtTheAnswerSaysWhatToPressForWhatFailed) {
    ASSERT_TRUE(OpenTop());
    m_server.Kill();
    ASSERT_TRUE(m_server.Start()) << m_server.LastError();
    m_services.m_boxes.SetNextAnswer(IDYES);
    EXPECT_EQ(ExpandAndWait(*m_pSource, m_pane, m_pPeople), SEARCH_FAILED);
    EXPECT_EQ(Boxes(), std::vector<std::string>{LostNotice(m_server)});
    EXPECT_EQ(Str(m_services.m_status.PaneText(0)), CLdapSource::kReconnectedText);
    EXPECT_EQ(ExpandAndWait(*m_pSource, m_pane, m_pPeople), 2);
}

// Closing while a reconnect waits for a silent server: the shutdown waits for
// the attempt, and the browse it held back ends without a word.
TEST_F(LdapConcurrency, ShutdownWhileAReconnectWaitsForTheServer) {
    ASSERT_TRUE(OpenTop());
    m_server.Kill();
    m_services.m_boxes.SetNextAnswer(IDYES);
    EXPECT_EQ(ExpandAndWait(*m_pSource, m_pane, m_pPeople), SEARCH_FAILED);
    ASSERT_TRUE(m_server.Start()) << m_server.LastError();
    m_server.Pause();
    const size_t nDone = m_pane.m_searchDone.size();
    Browse(m_pPeople);
    std::thread resume([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        m_server.Resume();
    });
    m_pSource->ShutdownWorkers(FALSE);
    resume.join();
    EXPECT_EQ(m_pane.m_searchDone.size(), nDone);
    // The notice, and the attempt made at the answer while the server was down.
    EXPECT_EQ(Boxes().size(), 2u);
}
