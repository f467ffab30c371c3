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
#include <set>
#include <thread>

namespace {

const std::string kBase = "dc=example,dc=com";
const std::string kPeople = "ou=People,dc=example,dc=com";
const std::string kAlice = "cn=Alice,ou=People,dc=example,dc=com";
const std::string kBob = "cn=Bob,ou=People,dc=example,dc=com";

// "P<n>" (the tag of the n-th browsed parent), built without temporaries
// that trip a false -Wrestrict of GCC 12 at -O3.
std::string Tag(const char* pszPrefix, int n) {
    std::string tag(pszPrefix);
    tag += std::to_string(n);
    return tag;
}

std::string OuSeed(const std::string& ou) {
    return "\ndn: ou=" + ou + "," + kBase + "\nobjectClass: organizationalUnit\nou: " + ou + "\n";
}

// A source opened on the base with its top level expanded.
struct COpened {
    explicit COpened(const CSlapdServer& server) {
        CConnectionParams params = ParamsFor(server, kBase);
        EXPECT_TRUE(source.Open(params));
        pRoot = params.m_pRoot;
        pane.m_pSource = &source;
        ExpandAndWait(source, pane, pRoot);
        pane.Clear();
        pane.m_foundDNs.clear();
        pane.m_batchSizes.clear();
        pane.m_searchDone.clear();
    }
    ~COpened() { source.ShutdownWorkers(FALSE); }
    CEntryNode* Child(const std::string& dn) { return FindChild(pRoot, dn); }
    // Freezes the server, then starts a browse of pEntry and waits until its
    // request is sent and registered.
    void ExpandOnFrozenServer(CSlapdServer& server, CEntryNode* pEntry) {
        server.Pause();
        pEntry->BeginOperation(OP_EXPAND);
        source.Expand(pEntry, &pane, HTREEITEM(7));
        EXPECT_TRUE(Pump([&] { return source.GetRunning() == 1; }));
    }

    CLdapSource source;
    CTestPane pane;
    CEntryNode* pRoot = nullptr;
};

} // namespace

TEST(LdapConcurrency, EveryResultReachesItsOwnWorkerWithManyInFlight) {
    const int kParents = 4, kChildren = 25, kTargets = 8, kRounds = 100;
    std::string seed = CSlapdServer::DefaultSeed();
    for (int p = 0; p < kParents; ++p)
        seed += OuSeed(Tag("P", p));
    seed += OuSeed("M");
    CSlapdServer server(seed);
    for (int p = 0; p < kParents; ++p)
        server.AddChildren("ou=" + Tag("P", p) + "," + kBase, kChildren, Tag("p", p) + "-");
    server.AddChildren("ou=M," + kBase, kTargets, "m");
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    COpened open(server);

    std::vector<CEntryNode*> parents;
    std::vector<std::unique_ptr<CTestPane>> panes;
    for (int p = 0; p < kParents; ++p) {
        parents.push_back(open.Child("ou=" + Tag("P", p) + "," + kBase));
        ASSERT_NE(parents.back(), nullptr);
        panes.push_back(std::make_unique<CTestPane>(&open.source));
    }
    CEntryNode* pM = open.Child("ou=M," + kBase);
    ASSERT_NE(pM, nullptr);
    ASSERT_EQ(ExpandAndWait(open.source, open.pane, pM), kTargets);
    std::vector<CEntryNode*> targets = pM->GetChildren();
    CTestPane updates(&open.source);

    for (int r = 0; r < kRounds; ++r) {
        // Four browses (each a refresh, which also retires the old children)
        // and four modifies, all in flight at once on the one connection.
        for (int p = 0; p < kParents; ++p) {
            parents[p]->BeginOperation(OP_REFRESH);
            open.source.Refresh(parents[p], panes[p].get(), HTREEITEM(100 + p));
        }
        for (int k = 0; k < 4; ++k) {
            CEntryNode* pTarget = targets[(r * 4 + k) % kTargets];
            CAttributeArray add;
            auto* pAttribute = new CAttribute;
            pAttribute->SetName("description");
            pAttribute->Add(("round " + std::to_string(r) + " op " + std::to_string(k)).c_str());
            add.Add(pAttribute);
            pTarget->BeginOperation(OP_ADD_ATTRIBUTE);
            open.source.AddAttributes(pTarget, &add, &updates);
            DeleteAttributes(add);
        }
        ASSERT_TRUE(WaitForWorkers(open.source)) << "round " << r;
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
    EXPECT_EQ(services.m_boxes.Count(), 0);
    EXPECT_EQ(open.source.GetRunning(), 0);
    EXPECT_EQ(open.source.GetPendingResultCount(), 0); // nothing left behind in the store
    // With this many at once, workers did read each other's results.
    EXPECT_GT(open.source.GetHandedOverCount(), 0);

    // The server holds every value, and so does each cache, in order.
    int nValues = 0;
    for (CEntryNode* pTarget : targets) {
        std::vector<std::string> onServer = server.Values(Str(pTarget->GetDN()), "description");
        nValues += static_cast<int>(onServer.size());
        CAttribute* pCached = pTarget->FindAttribute("description");
        ASSERT_NE(pCached, nullptr);
        ASSERT_EQ(pCached->GetSize(), static_cast<int>(onServer.size()));
    }
    EXPECT_EQ(nValues, 4 * kRounds);
}

TEST(LdapConcurrency, StopAbandonsOnlyTheMostRecentRequest) {
    CSlapdServer server;
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    COpened open(server);
    CEntryNode* pPeople = open.Child(kPeople);
    ASSERT_NE(pPeople, nullptr);
    CEntryNode* pEmpty = open.Child("ou=Empty," + kBase);
    ASSERT_NE(pEmpty, nullptr);

    // Nothing running: Stop does nothing at all.
    EXPECT_TRUE(open.source.Stop());
    EXPECT_EQ(services.m_boxes.Count(), 0);

    open.ExpandOnFrozenServer(server, pPeople);
    CTestPane attributes(&open.source);
    pEmpty->BeginOperation(OP_READ_ATTRIBUTES);
    HANDLE hRead = HANDLE(open.source.ReadAttributes(pEmpty, &pEmpty->m_attributes, &attributes, TRUE));
    ASSERT_TRUE(Pump([&] { return open.source.GetRunning() == 2; }));

    // The read is the most recent registration: it alone is abandoned and
    // ends although the server is frozen.
    EXPECT_TRUE(open.source.Stop());
    EXPECT_EQ(WaitForThreadDispatching(hRead, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(open.source.GetRunning(), 1);
    EXPECT_TRUE(pEmpty->CanRefreshAttributes());
    EXPECT_EQ(attributes.MessageIds(), std::vector<UINT>{WM_CLEAR_ATTRIBUTES});
    // The registration is gone: a second Stop leaves the browse alone.
    EXPECT_TRUE(open.source.Stop());
    EXPECT_FALSE(pPeople->CanRefresh());

    server.Resume();
    ASSERT_TRUE(Pump([&] { return open.pane.Count(WM_SEARCH_DONE) == 1; }));
    EXPECT_EQ(open.pane.m_searchDone, std::vector<long long>{2});
    EXPECT_EQ(services.m_boxes.Count(), 0);
}

TEST(LdapConcurrency, StopBeforeTheFirstEntryReportsStopped) {
    CSlapdServer server;
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    COpened open(server);
    CEntryNode* pPeople = open.Child(kPeople);
    ASSERT_NE(pPeople, nullptr);

    open.ExpandOnFrozenServer(server, pPeople);
    CEntryNode::RequestStop();
    EXPECT_TRUE(open.source.Stop());
    ASSERT_TRUE(Pump([&] { return open.pane.Count(WM_SEARCH_DONE) == 1; }));
    EXPECT_EQ(open.pane.MessageIds(),
              (std::vector<UINT>{WM_LOADING_ENTRIES, WM_REMOVE_PLACEHOLDER, WM_SEARCH_DONE}));
    EXPECT_EQ(open.pane.m_searchDone, std::vector<long long>{SEARCH_STOPPED});
    EXPECT_TRUE(pPeople->CanRefresh());
    ASSERT_TRUE(WaitForWorkers(open.source));
    server.Resume();

    // The connection is still good for the next browse.
    EXPECT_EQ(ExpandAndWait(open.source, open.pane, pPeople), 2);
    EXPECT_EQ(services.m_boxes.Count(), 0);
}

TEST(LdapConcurrency, ServerKilledBeforeAnyEntry) {
    CSlapdServer server;
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    COpened open(server);
    CEntryNode* pPeople = open.Child(kPeople);
    ASSERT_NE(pPeople, nullptr);

    open.ExpandOnFrozenServer(server, pPeople);
    server.Kill();
    ASSERT_TRUE(Pump([&] { return open.pane.Count(WM_SEARCH_DONE) == 1; }));
    // The loading row stays: no placeholder removal when nothing came.
    EXPECT_EQ(open.pane.MessageIds(), (std::vector<UINT>{WM_LOADING_ENTRIES, WM_SEARCH_DONE}));
    EXPECT_EQ(open.pane.m_searchDone, std::vector<long long>{SEARCH_FAILED});
    EXPECT_TRUE(pPeople->IsUnexpanded());
    EXPECT_TRUE(pPeople->CanRefresh());
    ASSERT_TRUE(WaitForWorkers(open.source));

    // Later requests are refused at once; a declined reconnect is offered
    // again.
    CEntryNode* pEmpty = open.Child("ou=Empty," + kBase);
    open.pane.Clear();
    EXPECT_EQ(ExpandAndWait(open.source, open.pane, pEmpty), SEARCH_FAILED);
    ASSERT_GE(services.m_boxes.Count(), 1);
    EXPECT_EQ(Str(services.m_boxes.LastText()),
              "The connection to 127.0.0.1:" + std::to_string(server.Port()) +
                  " was lost.\nReconnect with the same login?");
}

TEST(LdapConcurrency, ServerKilledMidSearchKeepsWhatCame) {
    CSlapdServer server;
    server.AddChildren("ou=Empty," + kBase, 20000);
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    COpened open(server);
    CEntryNode* pBig = open.Child("ou=Empty," + kBase);
    ASSERT_NE(pBig, nullptr);

    // Freeze the server as soon as the first entry is shown, then kill it.
    open.pane.m_onFirstEntries = [&] { server.Pause(); };
    pBig->BeginOperation(OP_EXPAND);
    open.source.Expand(pBig, &open.pane, HTREEITEM(7));
    ASSERT_TRUE(Pump([&] { return !open.pane.m_batchSizes.empty(); }));
    server.Kill();
    ASSERT_TRUE(Pump([&] { return open.pane.Count(WM_SEARCH_DONE) == 1; }));
    ASSERT_TRUE(WaitForWorkers(open.source));
    long long nDone = open.pane.m_searchDone.back();
    int nShown = static_cast<int>(open.pane.m_foundDNs.size());
    EXPECT_EQ(open.pane.Count(WM_REMOVE_PLACEHOLDER), 1);
    EXPECT_EQ(pBig->GetChildCount(), nShown); // what came stays in the tree
    std::printf("killed mid-search: done %lld after %d entries\n", nDone, nShown);
    if (nDone == SEARCH_FAILED) {
        EXPECT_TRUE(pBig->IsUnexpanded());
        EXPECT_LT(nShown, 20000);
    } else {
        EXPECT_EQ(nDone, 20000) << "everything had arrived before the kill";
    }
}

TEST(LdapConcurrency, StreamingShowsTheFirstEntryAtOnceThenBatches) {
    CSlapdServer server;
    server.AddChildren("ou=Empty," + kBase, 20000);
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    COpened open(server);
    CEntryNode* pBig = open.Child("ou=Empty," + kBase);
    ASSERT_NE(pBig, nullptr);

    int nChildrenAtFirst = -1;
    open.pane.m_onFirstEntries = [&] { nChildrenAtFirst = pBig->GetChildCount(); };
    EXPECT_EQ(ExpandAndWait(open.source, open.pane, pBig), 20000);
    // The first entry reached the pane alone, before any later one was read.
    ASSERT_FALSE(open.pane.m_batchSizes.empty());
    EXPECT_EQ(open.pane.m_batchSizes[0], 1);
    EXPECT_EQ(nChildrenAtFirst, 1);
    EXPECT_GT(open.pane.m_batchSizes.size(), 1u);
    EXPECT_LE(*std::max_element(open.pane.m_batchSizes.begin(), open.pane.m_batchSizes.end()),
              CLdapSource::kMaxEntriesPerMessage);
    EXPECT_EQ(open.pane.m_foundDNs.size(), 20000u);
    EXPECT_EQ(std::set<std::string>(open.pane.m_foundDNs.begin(), open.pane.m_foundDNs.end()).size(), 20000u);
    // The children list is the reverse of the arrival order.
    std::vector<std::string> reversed(open.pane.m_foundDNs.rbegin(), open.pane.m_foundDNs.rend());
    EXPECT_EQ(ChildDNs(pBig), reversed);
}

TEST(LdapConcurrency, CloseWhileTwentyThousandEntriesStream) {
    CSlapdServer server;
    server.AddChildren("ou=Empty," + kBase, 20000);
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    auto pOpen = std::make_unique<COpened>(server);
    CEntryNode* pBig = pOpen->Child("ou=Empty," + kBase);
    ASSERT_NE(pBig, nullptr);
    pBig->BeginOperation(OP_EXPAND);
    pOpen->source.Expand(pBig, &pOpen->pane, HTREEITEM(7));
    ASSERT_TRUE(Pump([&] { return !pOpen->pane.m_batchSizes.empty(); }));

    // The document's close: handshake, Close, delete.
    pOpen->source.ShutdownWorkers(TRUE);
    EXPECT_TRUE(pOpen->source.m_workerThreads.IsEmpty());
    EXPECT_EQ(pOpen->pane.Count(WM_SEARCH_DONE), 0);
    EXPECT_TRUE(pOpen->source.Close());
    pOpen.reset();
    EXPECT_EQ(services.m_boxes.Count(), 0);
}

TEST(LdapConcurrency, PaneDestroyedDuringTheExpansion) {
    CSlapdServer server;
    server.AddChildren("ou=Empty," + kBase, 20000);
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    COpened open(server);
    CEntryNode* pBig = open.Child("ou=Empty," + kBase);
    ASSERT_NE(pBig, nullptr);
    auto pPane = std::make_unique<CTestPane>(&open.source);
    pBig->BeginOperation(OP_EXPAND);
    open.source.Expand(pBig, pPane.get(), HTREEITEM(7));
    ASSERT_TRUE(Pump([&] { return !pPane->m_batchSizes.empty(); }));
    int nShown = static_cast<int>(pPane->m_foundDNs.size());
    pPane.reset();
    // The worker stops adding entries and ends; its done message goes nowhere.
    ASSERT_TRUE(WaitForWorkers(open.source));
    EXPECT_LE(pBig->GetChildCount(), nShown + CLdapSource::kMaxEntriesPerMessage);
    EXPECT_TRUE(pBig->CanRefresh());
    EXPECT_EQ(services.m_boxes.Count(), 0);
}

TEST(LdapConcurrency, RefreshOfAParentWhileAReadBelowRuns) {
    CSlapdServer server;
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    COpened open(server);
    CEntryNode* pPeople = open.Child(kPeople);
    ASSERT_EQ(ExpandAndWait(open.source, open.pane, pPeople), 2);
    CEntryNode* pAlice = FindChild(pPeople, kAlice);
    ASSERT_NE(pAlice, nullptr);

    // The read waits on a frozen server while its entry is thrown away.
    server.Pause();
    CTestPane attributes(&open.source);
    pAlice->BeginOperation(OP_READ_ATTRIBUTES);
    open.source.ReadAttributes(pAlice, &pAlice->m_attributes, &attributes, TRUE);
    ASSERT_TRUE(Pump([&] { return open.source.GetRunning() == 1; }));
    pPeople->BeginOperation(OP_REFRESH);
    open.pane.Clear();
    open.source.Refresh(pPeople, &open.pane, HTREEITEM(9));
    EXPECT_EQ(pPeople->GetChildCount(), 0);
    EXPECT_GE(open.source.GetRetiredCount(), 1);
    server.Resume();
    // The read finishes on the retired node (AddressSanitizer watches), the
    // new browse brings fresh nodes.
    ASSERT_TRUE(WaitForWorkers(open.source));
    EXPECT_EQ(attributes.Count(WM_SHOW_ATTRIBUTES), 5);
    EXPECT_EQ(open.pane.m_searchDone.back(), 2);
    CEntryNode* pNewAlice = FindChild(pPeople, kAlice);
    ASSERT_NE(pNewAlice, nullptr);
    EXPECT_NE(pNewAlice, pAlice);
    EXPECT_TRUE(pNewAlice->m_attributes.IsEmpty());
    // No worker left: the next start frees the retired nodes.
    ReadAndWait(open.source, attributes, pNewAlice);
    EXPECT_EQ(open.source.GetRetiredCount(), 0);
}

TEST(LdapConcurrency, DeleteWhileAReadOfTheSameEntryRuns) {
    CSlapdServer server;
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    COpened open(server);
    CEntryNode* pPeople = open.Child(kPeople);
    ASSERT_EQ(ExpandAndWait(open.source, open.pane, pPeople), 2);
    CEntryNode* pAlice = FindChild(pPeople, kAlice);
    CEntryNode* pBob = FindChild(pPeople, kBob);
    ASSERT_TRUE(pAlice && pBob);

    // Alice's read holds the read lock; inside its first attribute message
    // the delete of Bob completes and the pane hands Bob back, while Bob's
    // own read still waits for the lock with Bob's node in its record.
    CTestPane attributes(&open.source);
    CTestPane tree(&open.source);
    bool bWaited = false;
    attributes.m_onMessage = [&](UINT nMessage, WPARAM, LPARAM) {
        if (nMessage == WM_SHOW_ATTRIBUTES && !bWaited) {
            bWaited = true;
            EXPECT_TRUE(Pump([&] { return tree.m_nDeleted == 1; }));
        }
    };
    // All three are under way before the server answers anything.
    server.Pause();
    pAlice->BeginOperation(OP_READ_ATTRIBUTES);
    open.source.ReadAttributes(pAlice, &pAlice->m_attributes, &attributes, TRUE);
    ASSERT_TRUE(Pump([&] { return open.source.GetRunning() == 1; }));
    pBob->BeginOperation(OP_READ_ATTRIBUTES);
    open.source.ReadAttributes(pBob, &pBob->m_attributes, &attributes, TRUE);
    pBob->BeginOperation(OP_DELETE_ENTRY);
    open.source.DeleteEntry(pBob, &tree);
    ASSERT_TRUE(Pump([&] { return open.source.GetRunning() == 2; }));
    server.Resume();
    ASSERT_TRUE(WaitForWorkers(open.source));
    EXPECT_TRUE(bWaited);
    EXPECT_EQ(tree.m_nDeleted, 1);
    EXPECT_FALSE(server.Exists(kBob));
    EXPECT_EQ(ChildDNs(pPeople), std::vector<std::string>{kAlice});
    // Bob's read ran after the delete: cleared, found nothing, no box.
    EXPECT_EQ(attributes.Count(WM_CLEAR_ATTRIBUTES), 2);
    EXPECT_EQ(services.m_boxes.Count(), 0);
}

TEST(LdapConcurrency, RefreshWhileTheEntryStillStreams) {
    const int kChildren = 20000, kRounds = 6;
    CSlapdServer server;
    server.AddChildren("ou=Empty," + kBase, kChildren);
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    COpened open(server);
    CEntryNode* pBig = open.Child("ou=Empty," + kBase);
    ASSERT_NE(pBig, nullptr);

    // Every entry a pane is given must be one of the entry's children then:
    // a retired node handed out is what a pane would later touch after free.
    int nStale = 0;
    open.pane.m_onMessage = [&](UINT nMessage, WPARAM wParam, LPARAM) {
        if (nMessage != WM_ENTRIES_FOUND)
            return;
        std::vector<CEntryNode*> now = pBig->GetChildren();
        std::set<CEntryNode*> children(now.begin(), now.end());
        auto* pList = WParamToPtr<CPtrList>(wParam);
        for (POSITION pos = pList->GetHeadPosition(); pos;)
            nStale += children.count(static_cast<CEntryNode*>(pList->GetNext(pos))) ? 0 : 1;
    };
    pBig->BeginOperation(OP_EXPAND);
    open.source.Expand(pBig, &open.pane, HTREEITEM(7));
    size_t nMark = 0;
    for (int r = 0; r < kRounds; ++r) {
        ASSERT_TRUE(Pump([&] { return open.pane.m_foundDNs.size() > nMark; })) << "round " << r;
        nMark = open.pane.m_foundDNs.size();
        pBig->BeginOperation(OP_REFRESH);
        open.source.Refresh(pBig, &open.pane, HTREEITEM(7));
    }
    ASSERT_TRUE(Pump([&] { return open.pane.Count(WM_SEARCH_DONE) == 1; }));
    ASSERT_TRUE(WaitForWorkers(open.source));
    EXPECT_EQ(nStale, 0);
    // Only the last expansion finished and spoke; it brought every child once.
    EXPECT_EQ(open.pane.m_searchDone, std::vector<long long>{kChildren});
    std::vector<std::string> last(open.pane.m_foundDNs.begin() + static_cast<long>(nMark),
                                  open.pane.m_foundDNs.end());
    EXPECT_EQ(std::set<std::string>(last.begin(), last.end()).size(), static_cast<size_t>(kChildren));
    EXPECT_EQ(last.size(), static_cast<size_t>(kChildren));
    EXPECT_EQ(pBig->GetChildCount(), kChildren);
    EXPECT_TRUE(pBig->CanRefresh());
    EXPECT_EQ(open.source.GetRunning(), 0);
    EXPECT_EQ(services.m_boxes.Count(), 0);
}

// Stop on an update sent to a held server. Whether its answer comes within
// the wait (reported as it is) or the entries are read again after it, the
// tree and the cache end as the server holds them, accepted or refused.
namespace {

struct CStoppedUpdate {
    const char* pszName;
    // An entry update, or else a value update of Alice.
    std::function<void(CLdapSource&, CTestPane&, CEntryNode* pPeople)> fnEntryUpdate;
    int nValueOp;
    const char* pszAttribute;
    std::vector<const char*> values;
};

void AddEntry(CLdapSource& source, CTestPane& pane, CEntryNode* pPeople, const char* pszRdn) {
    auto* pNew = new CEntryNode;
    pNew->SetDN(CString(pszRdn) + "," + CString(kPeople.c_str()));
    pNew->SetParent(pPeople);
    pNew->m_attributes.Add(MakeAttribute("objectClass", {"inetOrgPerson"}));
    pNew->m_attributes.Add(MakeAttribute("cn", {pszRdn + 3}));
    pNew->m_attributes.Add(MakeAttribute("sn", {"S"}));
    pPeople->BeginOperation(OP_ADD_ENTRY);
    source.AddEntry(pPeople, pNew, HTREEITEM(9), &pane);
}

void Rename(CLdapSource& source, CTestPane& pane, CEntryNode* pEntry, const char* pszRdn) {
    pEntry->BeginOperation(OP_MODIFY_ENTRY);
    source.ModifyEntry(pEntry, pszRdn, pEntry->GetRDN(), CString(pszRdn) + "," + CString(kPeople.c_str()), "",
                       &pane);
}

void Delete(CLdapSource& source, CTestPane& pane, CEntryNode* pEntry) {
    pEntry->BeginOperation(OP_DELETE_ENTRY);
    source.DeleteEntry(pEntry, &pane);
}

void ChangeValues(CLdapSource& source, CTestPane& pane, CEntryNode* pEntry, const CStoppedUpdate& update) {
    CAttributeArray attributes;
    attributes.Add(MakeAttribute(update.pszAttribute, update.values));
    pEntry->BeginOperation(update.nValueOp);
    CDWordArray rows;
    rows.Add(0);
    if (update.nValueOp == OP_ADD_ATTRIBUTE)
        source.AddAttributes(pEntry, &attributes, &pane);
    else if (update.nValueOp == OP_DELETE_ATTRIBUTE)
        source.DeleteAttributes(pEntry, &attributes, &rows, &pane);
    else
        source.ModifyAttribute(pEntry, attributes[0], 0, &pane);
    DeleteAttributes(attributes);
}

const CStoppedUpdate kStoppedUpdates[] = {
    {"add accepted", [](auto& s, auto& p, auto* pPeople) { AddEntry(s, p, pPeople, "cn=Carol"); }, 0, "", {}},
    {"add refused", [](auto& s, auto& p, auto* pPeople) { AddEntry(s, p, pPeople, "cn=Alice"); }, 0, "", {}},
    {"delete accepted",
     [](auto& s, auto& p, auto* pPeople) { Delete(s, p, FindChild(pPeople, kBob)); },
     0,
     "",
     {}},
    {"delete refused (children)", [](auto& s, auto& p, auto* pPeople) { Delete(s, p, pPeople); }, 0, "", {}},
    {"rename accepted",
     [](auto& s, auto& p, auto* pPeople) { Rename(s, p, FindChild(pPeople, kBob), "cn=Robert"); },
     0,
     "",
     {}},
    {"rename refused",
     [](auto& s, auto& p, auto* pPeople) { Rename(s, p, FindChild(pPeople, kBob), "cn=Alice"); },
     0,
     "",
     {}},
    {"add value accepted", nullptr, OP_ADD_ATTRIBUTE, "description", {"added"}},
    {"add value refused", nullptr, OP_ADD_ATTRIBUTE, "mail", {"alice@example.com"}},
    {"delete value accepted", nullptr, OP_DELETE_ATTRIBUTE, "telephoneNumber", {"111"}},
    {"delete value refused", nullptr, OP_DELETE_ATTRIBUTE, "mail", {"nobody@example.com"}},
    {"modify value accepted", nullptr, OP_MODIFY_ATTRIBUTE, "sn", {"Smyth", "Smith"}},
    {"modify value refused",
     nullptr,
     OP_MODIFY_ATTRIBUTE,
     "mail",
     {"alice.smith@example.com", "alice@example.com"}},
};

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

} // namespace

TEST(LdapConcurrency, StoppedUpdatesShowWhatTheServerHolds) {
    for (const CStoppedUpdate& update : kStoppedUpdates) {
        for (bool bReadAgain : {false, true}) {
            SCOPED_TRACE(std::string(update.pszName) + (bReadAgain ? ", read again" : ", answered"));
            CSlapdServer server;
            ASSERT_TRUE(server.Start()) << server.LastError();
            CTestServices services;
            COpened open(server);
            CEntryNode* pPeople = open.Child(kPeople);
            ASSERT_EQ(ExpandAndWait(open.source, open.pane, pPeople), 2);
            CEntryNode* pAlice = FindChild(pPeople, kAlice);
            ReadAndWait(open.source, open.pane, pAlice);
            open.source.SetStoppedUpdateWait(bReadAgain ? 0 : 20000);
            CTestPane pane(&open.source);

            server.Pause();
            if (update.fnEntryUpdate)
                update.fnEntryUpdate(open.source, pane, pPeople);
            else
                ChangeValues(open.source, pane, pAlice, update);
            ASSERT_TRUE(Pump([&] { return open.source.GetRunning() == 1; }));
            CEntryNode::RequestStop();
            EXPECT_TRUE(open.source.Stop());
            if (bReadAgain) // the entries are asked for again before the server answers anything
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            server.Resume();
            ASSERT_TRUE(WaitForWorkers(open.source));

            std::vector<std::string> shown = ChildDNs(open.pRoot);
            std::vector<std::string> held = server.SearchDNs(kBase);
            EXPECT_EQ(std::set<std::string>(shown.begin(), shown.end()),
                      std::set<std::string>(held.begin(), held.end()));
            EXPECT_EQ(shown.size(), held.size());
            if (server.Exists(kPeople)) {
                shown = ChildDNs(pPeople);
                held = server.SearchDNs(kPeople);
                EXPECT_EQ(std::multiset<std::string>(shown.begin(), shown.end()),
                          std::multiset<std::string>(held.begin(), held.end()));
            }
            EXPECT_EQ(CachedOf(pAlice), ServerValues(server, kAlice));
            EXPECT_EQ(open.source.GetRunning(), 0);
        }
    }
}

TEST(LdapConcurrency, LostConnectionIsSaidOnceAndAReconnectKeepsTheTree) {
    CSlapdServer server;
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    COpened open(server);
    CEntryNode* pPeople = open.Child(kPeople);
    CEntryNode* pEmpty = open.Child("ou=Empty," + kBase);
    ASSERT_TRUE(pPeople && pEmpty);

    // Two requests meet the dead connection: one notice, with the offer.
    server.Kill();
    services.m_boxes.SetNextAnswer(IDYES);
    pPeople->BeginOperation(OP_EXPAND);
    open.source.Expand(pPeople, &open.pane, HTREEITEM(7));
    CTestPane attributes(&open.source);
    pEmpty->BeginOperation(OP_READ_ATTRIBUTES);
    open.source.ReadAttributes(pEmpty, &pEmpty->m_attributes, &attributes, TRUE);
    ASSERT_TRUE(WaitForWorkers(open.source));
    std::string notice = "The connection to 127.0.0.1:" + std::to_string(server.Port()) +
                         " was lost.\nReconnect with the same login?";
    std::vector<std::string> texts;
    for (const auto& box : services.m_boxes.Boxes())
        texts.push_back(Str(box.text));
    ASSERT_EQ(texts, std::vector<std::string>{notice});

    // Back on the same port but slow to answer: the request that reconnects
    // returns at once (the bind waits off the UI thread) and is served, with
    // the same (administrator's) login, once the server answers. The tree
    // still holds what it had.
    ASSERT_TRUE(server.Start()) << server.LastError();
    EXPECT_EQ(ChildDNs(open.pRoot).size(), 2u);
    open.pane.Clear();
    const size_t nDone = open.pane.m_searchDone.size();
    server.Pause();
    pPeople->BeginOperation(OP_EXPAND);
    open.source.Expand(pPeople, &open.pane, HTREEITEM(7));
    EXPECT_EQ(open.pane.m_searchDone.size(), nDone);
    server.Resume();
    EXPECT_TRUE(Pump([&] { return open.pane.m_searchDone.size() > nDone; }));
    ASSERT_TRUE(WaitForWorkers(open.source));
    EXPECT_EQ(std::vector<long long>(open.pane.m_searchDone.begin() + nDone, open.pane.m_searchDone.end()),
              std::vector<long long>{2});
    CAttributeArray added;
    added.Add(MakeAttribute("description", {"back again"}));
    pEmpty->BeginOperation(OP_ADD_ATTRIBUTE);
    open.source.AddAttributes(pEmpty, &added, &attributes);
    DeleteAttributes(added);
    ASSERT_TRUE(WaitForWorkers(open.source));
    EXPECT_EQ(server.Values("ou=Empty," + kBase, "description"), std::vector<std::string>{"back again"});
    EXPECT_EQ(services.m_boxes.Count(), 1);
}
