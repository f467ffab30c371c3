#include "RecordingListener.h"

#include "source/Requests.h"
#include "source/Search.h"

const char* EventName(EEvent event) {
    static const char* const kNames[] = {
        "LoadingEntries",   "RemovePlaceholder", "EntriesFound",
        "LevelLimited",     "SearchDone",        "EntryRefreshed",
        "EntryAdded",       "EntryDeleted",      "EntryModified",
        "ClearAttributes",  "ShowAttributes",    "AttributeAdded",
        "AttributeDeleted", "AttributeModified", "SearchResults",
        "SearchFinished",   "OperationFailed",   "LevelIncomplete",
        "ReferencesFound",  "EntriesDropped",    "AttributesUnavailable",
        "SchemaLoaded",     "EntryMoved",
    };
    return kNames[static_cast<int>(event)];
}

namespace {

template <class Hook, class... Args> void RunHook(const Hook& hook, Args&&... args) {
    if (hook)
        hook(std::forward<Args>(args)...);
}

} // namespace

void CRecordingListener::Record(EEvent event, HTREEITEM hItem, long long nValue, const void* pObject,
                                std::string strText) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back({event, hItem, nValue, pObject, std::this_thread::get_id(), std::move(strText)});
}

void CRecordingListener::LoadingEntries(HTREEITEM hItem) {
    Record(EEvent::LoadingEntries, hItem);
}
void CRecordingListener::RemovePlaceholder(HTREEITEM hItem) {
    Record(EEvent::RemovePlaceholder, hItem);
}
void CRecordingListener::EntriesFound(const CPtrList& entries, HTREEITEM hParent) {
    Record(EEvent::EntriesFound, hParent, entries.GetCount(), &entries);
    RunHook(m_onEntriesFound, entries);
}
void CRecordingListener::LevelLimited(HTREEITEM hItem, int nResultCode) {
    Record(EEvent::LevelLimited, hItem, nResultCode);
}
void CRecordingListener::SearchDone(HTREEITEM hItem, int nCount) {
    Record(EEvent::SearchDone, hItem, nCount);
}
void CRecordingListener::EntryRefreshed(CEntryNode* pEntry) {
    Record(EEvent::EntryRefreshed, HTREEITEM(), 0, pEntry);
}
void CRecordingListener::EntryAdded(CEntryNode* pNewEntry, HTREEITEM hParentItem) {
    Record(EEvent::EntryAdded, hParentItem, 0, pNewEntry);
    RunHook(m_onEntryAdded, pNewEntry, hParentItem);
}
void CRecordingListener::EntryDeleted(CDeleteEntryRequest& request) {
    Record(EEvent::EntryDeleted, HTREEITEM(), request.bSucceeded, request.pEntry);
    RunHook(m_onEntryDeleted, request);
}
void CRecordingListener::EntryMoved(CMoveEntryRequest& request) {
    Record(EEvent::EntryMoved, HTREEITEM(), request.bSucceeded, request.pEntry);
    RunHook(m_onEntryMoved, request);
}

void CRecordingListener::EntryModified(CModifyEntryRequest& request) {
    Record(EEvent::EntryModified, HTREEITEM(), request.bSucceeded, request.pEntry);
    RunHook(m_onEntryModified, request);
}
void CRecordingListener::ClearAttributes(CEntryNode* pFor) {
    Record(EEvent::ClearAttributes, HTREEITEM(), 0, pFor);
}
void CRecordingListener::ShowAttributes(const CAttributeArray& attributes, CEntryNode*) {
    Record(EEvent::ShowAttributes, HTREEITEM(), attributes.GetSize(), &attributes);
    RunHook(m_onShowAttributes, attributes);
}
void CRecordingListener::AttributeAdded(CAddAttributesRequest& request) {
    Record(EEvent::AttributeAdded, HTREEITEM(), request.bSucceeded, request.pEntry);
    RunHook(m_onAttributeAdded, request);
}
void CRecordingListener::AttributeDeleted(CDeleteAttributesRequest& request) {
    Record(EEvent::AttributeDeleted, HTREEITEM(), request.bSucceeded, request.pEntry);
    RunHook(m_onAttributeDeleted, request);
}
void CRecordingListener::AttributeModified(CModifyAttributeRequest& request) {
    Record(EEvent::AttributeModified, HTREEITEM(), request.bSucceeded, request.pEntry);
    RunHook(m_onAttributeModified, request);
}
void CRecordingListener::SearchResults(std::vector<CSearchResult>& batch) {
    Record(EEvent::SearchResults, HTREEITEM(), static_cast<long long>(batch.size()), &batch);
    RunHook(m_onSearchResults, batch);
}
void CRecordingListener::SearchFinished(const CSearchOutcome& outcome) {
    Record(EEvent::SearchFinished, HTREEITEM(), outcome.nCount, &outcome);
    RunHook(m_onSearchFinished, outcome);
}
void CRecordingListener::OperationFailed(const COperationFailure& failure) {
    Record(EEvent::OperationFailed, HTREEITEM(), failure.nCode, nullptr, failure.strText.Str());
}
void CRecordingListener::LevelIncomplete(HTREEITEM hItem, const CString& strText) {
    Record(EEvent::LevelIncomplete, hItem, 0, nullptr, strText.Str());
}
void CRecordingListener::ReferencesFound(HTREEITEM hItem, const CStringArray& urls) {
    std::string text;
    for (const CString& url : urls)
        text += (text.empty() ? "" : " ") + url.Str();
    Record(EEvent::ReferencesFound, hItem, urls.GetSize(), &urls, text);
}
void CRecordingListener::EntriesDropped(HTREEITEM hItem, int nDropped) {
    Record(EEvent::EntriesDropped, hItem, nDropped);
}
void CRecordingListener::AttributesUnavailable(CEntryNode* pFor, const CString& strText) {
    Record(EEvent::AttributesUnavailable, HTREEITEM(), 0, pFor, strText.Str());
}

std::string CRecordingListener::LastText(EEvent event) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_calls.rbegin(); it != m_calls.rend(); ++it)
        if (it->event == event)
            return it->strText;
    return std::string();
}

void CRecordingListener::SchemaLoaded() {
    Record(EEvent::SchemaLoaded);
}

std::vector<CRecordingListener::CCall> CRecordingListener::Calls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::vector<EEvent> CRecordingListener::Events() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<EEvent> events;
    for (const CCall& call : m_calls)
        events.push_back(call.event);
    return events;
}

int CRecordingListener::Count(EEvent event) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const CCall& call : m_calls)
        n += call.event == event ? 1 : 0;
    return n;
}

void CRecordingListener::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}
