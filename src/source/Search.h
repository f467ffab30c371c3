#pragma once
// A search over a subtree: what is asked, what comes back batch by batch,
// and how it ended. The panel that asks gets SearchResults for every batch
// and one SearchFinished, both sent synchronously.

#include "model/Attribute.h"
#include "platform/String.h"
#include "platform/Types.h"

#include <atomic>
#include <vector>

// The search is registered like the other requests, so Stop reaches it too.
constexpr int OP_SEARCH = 22;

enum ESearchScope { SEARCH_SCOPE_BASE = 0, SEARCH_SCOPE_ONE = 1, SEARCH_SCOPE_SUBTREE = 2 };

struct CSearchQuery {
    CString strBase;
    int nScope = SEARCH_SCOPE_SUBTREE;
    CString strFilter;
    // Empty: every user attribute ("*").
    CStringArray attributes;
    // 0: no limit from this side.
    int nSizeLimit = 0;
};

struct CSearchResult {
    CString strDN;
    std::vector<CAttribute> attributes;
    // A search result reference (not followed) instead of an entry: no DN,
    // the URLs it names.
    std::vector<CString> referenceUrls;
};

struct CSearchOutcome {
    int nCount = 0;
    // The server's result code (0 complete; 3, 4, 11: cut short by a limit).
    int nResultCode = 0;
    bool bStopped = false;
    bool bFailed = false;
    CString strMessage;
};

// The record of one running search, owned by the source until it is
// destroyed; Stop asks the worker to end.
class CDataSource;
struct CSearchRequest {
    CDataSource* pSource = nullptr;
    CSearchQuery query;
    HWND hNotify;
    std::atomic<bool> bStopRequested{false};
    BOOL bAbandoned = FALSE;
    BOOL bWaiting = FALSE;
};

// The limit a result code names ("size limit", "time limit",
// "administrative limit"), or NULL when the code does not mean "there is
// more than was sent" (3, 4 and 11 do).
const char* LimitOfResult(int nResultCode);

// Texts for how a search ended, for the panel's status line:
// "1,234 entries", "... (size limit reached)", "... (stopped)".
// nRequestedLimit: the size limit the search asked for (0: none), so that a
// limit reached says whose it was.
CString DescribeSearchOutcome(const CSearchOutcome& outcome, int nRequestedLimit = 0);
