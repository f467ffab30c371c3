#pragma once
// What the LDAP tests share: a pane that behaves like the real panes towards
// the source (reads the lists and records while they are valid, disposes of
// what the receivers own), a search receiver, a fixture with a source opened
// on the private server, and helpers to pump the UI thread while workers run.

#include "RecordingListener.h"
#include "SlapdFixture.h"
#include "TestServices.h"
#include "model/EntryNode.h"
#include "source/ConnectionParams.h"
#include "source/LdapSource.h"
#include "source/Search.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CTestPane : public CRecordingListener {
public:
    explicit CTestPane(CDataSource* pSource = nullptr) : m_pSource(pSource) {}
    ~CTestPane() override { Destroy(); }

    void EntriesFound(const CPtrList& entries, HTREEITEM hParent) override;
    void SearchDone(HTREEITEM hItem, int nCount) override;
    void ShowAttributes(const CAttributeArray& attributes, CEntryNode* pFor) override;
    void EntryAdded(CEntryNode* pNewEntry, HTREEITEM hParentItem) override;
    void EntryDeleted(CDeleteEntryRequest& request) override;
    void EntryModified(CModifyEntryRequest& request) override;
    void AttributeAdded(CAddAttributesRequest& request) override;
    void AttributeDeleted(CDeleteAttributesRequest& request) override;
    void AttributeModified(CModifyAttributeRequest& request) override;

    CDataSource* m_pSource;
    // Read inside the handlers (UI thread only).
    std::vector<std::string> m_foundDNs;        // every EntriesFound entry, in call order
    std::vector<int> m_batchSizes;              // entries per EntriesFound
    std::vector<long long> m_searchDone;        // SearchDone counts
    std::vector<std::string> m_shownAttributes; // "name=value" per value shown
    std::vector<int> m_showSizes;               // attributes per ShowAttributes
    std::vector<std::string> m_addedDNs;        // EntryAdded (empty string for NULL)
    std::vector<bool> m_succeeded;              // outcome of every update record received
    int m_nDeleted = 0;
    // Runs inside the first EntriesFound, while the search still runs.
    std::function<void()> m_onFirstEntries;

    // Forgets every call and record so far.
    void Reset();
};

// Receives a search's calls on the UI thread.
class CSearchSink : public CRecordingListener {
public:
    CSearchSink();
    // Starts the search and pumps until it finished; FALSE when it was
    // refused or hung.
    bool Run(CDataSource& source, const CSearchQuery& query);

    std::set<std::string> m_dns; // compare keys
    std::vector<CSearchResult> m_results;
    std::vector<int> m_batches;
    CSearchOutcome m_outcome;
    bool m_bFinished = false;
};

CSearchQuery Query(const std::string& filter, int nScope = SEARCH_SCOPE_SUBTREE,
                   const std::string& base = "dc=example,dc=com");

inline const std::string kBase = "dc=example,dc=com";
inline const std::string kPeople = "ou=People,dc=example,dc=com";
inline const std::string kEmpty = "ou=Empty,dc=example,dc=com";
inline const std::string kAlice = "cn=Alice,ou=People,dc=example,dc=com";
inline const std::string kBob = "cn=Bob,ou=People,dc=example,dc=com";

std::string Str(const CString& s);

// Runs queued sends on this (the UI) thread until pred holds; FALSE after
// the guard time (a hang, not a speed check).
bool Pump(const std::function<bool()>& pred, unsigned nGuardMs = 60000);
// Waits, pumping, for every worker the source started, and forgets them.
bool WaitForWorkers(CDataSource& source, unsigned nGuardMs = 60000);

// A new attribute with these values (the caller owns it).
CAttribute* MakeAttribute(const char* pszName, const std::vector<const char*>& values);
// Starts adding "<rdn>,<parent>" (a person) below pParent, tree item 5;
// returns the new node, which the source owns from here on.
CEntryNode* StartAddEntry(CLdapSource& source, CTestPane& pane, CEntryNode* pParent, const char* pszRdn);
// Starts a change of pEntry's values as the attribute pane does (nOp
// OP_ADD_ATTRIBUTE, OP_DELETE_ATTRIBUTE or OP_MODIFY_ATTRIBUTE: then the one
// attribute holds the new value and the old) and frees the attributes.
void StartValueUpdate(CLdapSource& source, CTestPane& pane, CEntryNode* pEntry, int nOp,
                      const std::vector<CAttribute*>& attributes, int nRow = 0);
// A child node of pParent (may be NULL) with exactly that DN, or NULL.
CEntryNode* FindChild(CEntryNode* pParent, const std::string& dn);
std::vector<std::string> ChildDNs(CEntryNode* pParent);
// "name=value" for every cached value of the entry, in cache order.
std::vector<std::string> CachedValues(CEntryNode* pEntry);
// Expands pEntry to the end, returning SearchDone's count.
long long ExpandAndWait(CLdapSource& source, CTestPane& pane, CEntryNode* pEntry);
// Reads the entry's attributes (notify TRUE) and waits for the worker.
void ReadAndWait(CLdapSource& source, CTestPane& pane, CEntryNode* pEntry);

// A server (a test may add to its seed before Open) and a source on it whose
// tree pane is m_pane.
class CLdapTest : public ::testing::Test {
protected:
    explicit CLdapTest(std::string seed = CSlapdServer::DefaultSeed()) : m_server(std::move(seed)) {}
    void TearDown() override;
    // Starts the server and opens a source on base (anonymously unless
    // bAdmin); with bExpand the root is expanded and the pane forgets that
    // browse. NULL when either failed.
    CEntryNode* Open(const std::string& base = kBase, bool bExpand = true, bool bAdmin = true);
    // The root's child of that DN, or NULL.
    CEntryNode* Child(const std::string& dn) { return FindChild(m_pRoot, dn); }
    // ou=People below the expanded root, expanded in turn (Alice and Bob).
    CEntryNode* People();
    std::vector<std::string> Boxes() const; // the text of every box so far

    CSlapdServer m_server;
    CTestServices m_services;
    std::unique_ptr<CLdapSource> m_pSource;
    CTestPane m_pane;
    CEntryNode* m_pRoot = nullptr;
};
