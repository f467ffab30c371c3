// Searching a subtree with a filter: the results stream to the panel that
// asked, in batches, while the window stays live.

#include "source/LdapError.h"
#include "source/LdapSource.h"

#include <algorithm>
#include <chrono>

namespace {
// A batch goes out when it is this large or this old, so a long search
// shows its first rows at once and the panel is not flooded.
constexpr size_t kBatchEntries = 1000;
constexpr auto kBatchAge = std::chrono::milliseconds(40);
} // namespace

BOOL CLdapSource::Search(const CSearchQuery& query, CWnd* pNotify) {
    FreeRetiredIfIdle();
    auto pRequest = std::make_unique<CSearchRequest>();
    pRequest->pSource = this;
    pRequest->query = query;
    pRequest->hNotify = SafeHwnd(pNotify);
    CSearchRequest* p = pRequest.get();
    // A new search ends the one before it: one panel, one result list.
    StopSearch();
    m_searchRequests.push_back(std::move(pRequest));
    StartWorker(&SearchWorker, p);
    return TRUE;
}

BOOL CLdapSource::StopSearch() {
    for (auto& pRequest : m_searchRequests)
        pRequest->bStopRequested = true;
    return TRUE;
}

UINT CLdapSource::RunSearch(CSearchRequest& request) {
    CWorker worker;
    worker.pAbandoned = &request.bAbandoned;
    worker.pWaiting = &request.bWaiting;
    CSearchOutcome outcome;
    auto finish = [&]() {
        if (!IsShuttingDown())
            Notify(request.hNotify, &ISourceEvents::SearchFinished, outcome);
        return 0u;
    };
    if (IsShuttingDown())
        return 0;
    if (request.bStopRequested) {
        outcome.bStopped = true;
        return finish();
    }
    const CSearchQuery& query = request.query;
    CPagedSearch search;
    search.args.strBase = query.strBase;
    search.args.nScope = query.nScope;
    search.args.strFilter = query.strFilter;
    search.args.attributes = query.attributes;
    search.args.nSizeLimit = query.nSizeLimit;
    // A limit the user set is the whole answer's, not a page's.
    if (query.nSizeLimit == 0)
        PreparePaging(search);
    if (search.args.bPaged &&
        !TakePagingTurn(search, [&] { return IsShuttingDown() || request.bStopRequested; })) {
        if (IsShuttingDown())
            return 0;
        outcome.bStopped = true;
        return finish();
    }
    int nMsgId = -1;
    int nCode = SendPage(search, nMsgId);
    if (nCode != 0) {
        if (IsShuttingDown())
            return 0;
        outcome.bFailed = true;
        outcome.strMessage = LdapErrorText(nCode);
        return finish();
    }
    BeginRequest(worker, nMsgId, OP_SEARCH, nullptr);

    std::vector<CSearchResult> batch;
    auto batchStart = std::chrono::steady_clock::now();
    auto sendBatch = [&]() {
        if (batch.empty() || IsShuttingDown())
            return;
        // References are rows of their own, not entries found.
        outcome.nCount +=
            static_cast<int>(std::count_if(batch.begin(), batch.end(), [](const CSearchResult& result) {
                return result.referenceUrls.empty();
            }));
        Notify(request.hNotify, &ISourceEvents::SearchResults, batch);
        batch.clear();
        batchStart = std::chrono::steady_clock::now();
    };

    for (;;) {
        if (request.bStopRequested) {
            // The search's own abandon: Stop of the tree pane may be aimed
            // at another request meanwhile.
            AbandonPaged(worker, search);
            sendBatch();
            outcome.bStopped = true;
            break;
        }
        CLdapMessage message;
        int nType = 0;
        EWaitOutcome eOutcome = NextResult(worker, message, nType, TRUE);
        if (eOutcome == kNothingYet) {
            if (!batch.empty() && std::chrono::steady_clock::now() - batchStart >= kBatchAge)
                sendBatch();
            WaitSlice();
            continue;
        }
        if (eOutcome == kShutdown) {
            EndRequest(worker);
            return 0;
        }
        if (eOutcome == kAbandoned) {
            AbandonPaged(worker, search);
            sendBatch();
            outcome.bStopped = true;
            break;
        }
        if (eOutcome == kWaitFailed) {
            sendBatch();
            outcome.bFailed = true;
            outcome.strMessage = LdapErrorText(-1);
            break;
        }
        if (nType == LDAP_RESULT_SEARCH_ENTRY) {
            search.bEntriesSeen = true;
            ++search.nPageEntries;
            LdapForEachEntry(m_ld.Get(), message.Get(), [&](CString dn, std::vector<CAttribute> attributes) {
                batch.push_back(CSearchResult{std::move(dn), std::move(attributes), {}});
            });
            if (batch.size() >= kBatchEntries || std::chrono::steady_clock::now() - batchStart >= kBatchAge)
                sendBatch();
            continue;
        }
        if (nType == LDAP_RESULT_SEARCH_RESULT) {
            EPageStep eStep = ContinuePaged(worker, search, message.Get(), outcome.nResultCode);
            if (eStep == kNextPageSent)
                continue;
            sendBatch();
            if (eStep == kPagingRunaway) {
                outcome.bFailed = true;
                outcome.strMessage = RunawayText(outcome.nCount);
                break;
            }
            if (eStep == kPageSendFailed) {
                outcome.bFailed = true;
                outcome.strMessage = LdapErrorText(outcome.nResultCode);
                break;
            }
            if (outcome.nResultCode != 0 && !LimitOfResult(outcome.nResultCode)) {
                outcome.bFailed = true;
                outcome.strMessage = LdapErrorText(outcome.nResultCode);
            }
            break;
        }
        if (nType == LDAP_RESULT_SEARCH_REFERENCE) {
            std::vector<CString> urls = LdapReferenceUrls(m_ld.Get(), message.Get());
            if (!urls.empty())
                batch.push_back(CSearchResult{CString(), {}, std::move(urls)});
            continue;
        }
        // Intermediate messages carry no entries.
    }
    EndRequest(worker);
    return finish();
}

UINT CLdapSource::SearchWorker(void* pParam) {
    auto* pRequest = static_cast<CSearchRequest*>(pParam);
    auto* pSource = static_cast<CLdapSource*>(pRequest->pSource);
    pSource->WaitForConnection();
    UINT nResult = pSource->RunSearch(*pRequest);
    pSource->EndWorker();
    return nResult;
}
