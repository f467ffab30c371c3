#pragma once
// What the LDAP tests share: a pane that behaves like the real panes towards
// the source (reads the lists and records while they are valid, disposes of
// what the receivers own), and helpers to open a source on the private server
// and to pump the UI thread while workers run.

#include "RecordingWindow.h"
#include "SlapdFixture.h"
#include "TestServices.h"
#include "model/EntryNode.h"
#include "source/ConnectionParams.h"
#include "source/LdapSource.h"
#include "source/Messages.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CTestPane : public CRecordingWindow {
public:
    explicit CTestPane(CDataSource* pSource = nullptr) : m_pSource(pSource) {}
    ~CTestPane() override { Destroy(); }

    LRESULT WindowProc(UINT nMessage, WPARAM wParam, LPARAM lParam) override;

    CDataSource* m_pSource;
    // Read inside the handlers (UI thread only).
    std::vector<std::string> m_foundDNs;        // every WM_ENTRIES_FOUND entry, in message order
    std::vector<int> m_batchSizes;              // entries per WM_ENTRIES_FOUND
    std::vector<long long> m_searchDone;        // WM_SEARCH_DONE wParams
    std::vector<std::string> m_shownAttributes; // "name=value" per value shown
    std::vector<int> m_showSizes;               // attributes per WM_SHOW_ATTRIBUTES
    std::vector<std::string> m_addedDNs;        // WM_ENTRY_ADDED (empty string for 0)
    std::vector<bool> m_succeeded;              // outcome of every update record received
    int m_nDeleted = 0;
    // Messages of the first WM_ENTRIES_FOUND happen while the search still runs.
    std::function<void()> m_onFirstEntries;
};

std::string Str(const CString& s);
CConnectionParams ParamsFor(const CSlapdServer& server, const std::string& base, bool bAdmin = true);

// Opens a source on the server with the admin DN; fails the test otherwise.
std::unique_ptr<CLdapSource> OpenSource(const CSlapdServer& server,
                                        const std::string& base = "dc=example,dc=com");

// Runs queued sends on this (the UI) thread until pred holds; FALSE after
// the guard time (a hang, not a speed check).
bool Pump(const std::function<bool()>& pred, unsigned nGuardMs = 60000);
// Waits, pumping, for every worker the source started, and forgets them.
bool WaitForWorkers(CDataSource& source, unsigned nGuardMs = 60000);

// A new attribute with these values (the caller owns it).
CAttribute* MakeAttribute(const char* pszName, const std::vector<const char*>& values);
// A child node of pParent with exactly that DN, or NULL.
CEntryNode* FindChild(CEntryNode* pParent, const std::string& dn);
std::vector<std::string> ChildDNs(CEntryNode* pParent);
// "name=value" for every cached value of the entry, in cache order.
std::vector<std::string> CachedValues(CEntryNode* pEntry);
// Expands pEntry to the end, returning WM_SEARCH_DONE's value.
long long ExpandAndWait(CLdapSource& source, CTestPane& pane, CEntryNode* pEntry);
// Reads the entry's attributes (notify TRUE) and waits for the worker.
void ReadAndWait(CLdapSource& source, CTestPane& pane, CEntryNode* pEntry);
