#pragma once
// A window that records every call a source makes on it, standing in for a
// pane; hooks let a test act inside a call, while what it carries is valid.

#include "source/SourceEvents.h"

#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

enum class EEvent {
    LoadingEntries,
    RemovePlaceholder,
    EntriesFound,
    LevelLimited,
    SearchDone,
    EntryRefreshed,
    EntryAdded,
    EntryDeleted,
    EntryModified,
    ClearAttributes,
    ShowAttributes,
    AttributeAdded,
    AttributeDeleted,
    AttributeModified,
    SearchResults,
    SearchFinished,
    OperationFailed,
    LevelIncomplete,
    ReferencesFound,
    EntriesDropped,
    AttributesUnavailable,
    SchemaLoaded,
    EntryMoved,
};
const char* EventName(EEvent event);
inline std::ostream& operator<<(std::ostream& out, EEvent event) {
    return out << EventName(event);
}

class CRecordingListener : public CWnd, public ISourceEvents {
public:
    struct CCall {
        EEvent event;
        HTREEITEM hItem;               // the item the call names, if any
        long long nValue = 0;          // SearchDone's count, LevelLimited's code
        const void* pObject = nullptr; // the entry or array it carried (identity only)
        std::thread::id thread;
        std::string strText; // a text it carried (URLs joined by blanks)
    };

    ~CRecordingListener() override { DestroyWindowHandle(); }

    void LoadingEntries(HTREEITEM hItem) override;
    void RemovePlaceholder(HTREEITEM hItem) override;
    void EntriesFound(const CPtrList& entries, HTREEITEM hParent) override;
    void LevelLimited(HTREEITEM hItem, int nResultCode) override;
    void SearchDone(HTREEITEM hItem, int nCount) override;
    void EntryRefreshed(CEntryNode* pEntry) override;
    void EntryAdded(CEntryNode* pNewEntry, HTREEITEM hParentItem) override;
    void EntryDeleted(CDeleteEntryRequest& request) override;
    void EntryModified(CModifyEntryRequest& request) override;
    void EntryMoved(CMoveEntryRequest& request) override;
    void ClearAttributes(CEntryNode* pFor) override;
    void ShowAttributes(const CAttributeArray& attributes, CEntryNode* pFor) override;
    void AttributeAdded(CAddAttributesRequest& request) override;
    void AttributeDeleted(CDeleteAttributesRequest& request) override;
    void AttributeModified(CModifyAttributeRequest& request) override;
    void SearchResults(std::vector<CSearchResult>& batch) override;
    void SearchFinished(const CSearchOutcome& outcome) override;
    void OperationFailed(const COperationFailure& failure) override;
    void LevelIncomplete(HTREEITEM hItem, const CString& strText) override;
    void ReferencesFound(HTREEITEM hItem, const CStringArray& urls) override;
    void EntriesDropped(HTREEITEM hItem, int nDropped) override;
    void AttributesUnavailable(CEntryNode* pFor, const CString& strText) override;
    // The text of the last call of that kind ("" when none came).
    std::string LastText(EEvent event) const;
    void SchemaLoaded() override;

    // Run inside the call, after it was recorded, before the sender is
    // released.
    std::function<void(const CPtrList&)> m_onEntriesFound;
    std::function<void(const CAttributeArray&)> m_onShowAttributes;
    std::function<void(CEntryNode*, HTREEITEM)> m_onEntryAdded;
    std::function<void(CDeleteEntryRequest&)> m_onEntryDeleted;
    std::function<void(CModifyEntryRequest&)> m_onEntryModified;
    std::function<void(CMoveEntryRequest&)> m_onEntryMoved;
    std::function<void(CAddAttributesRequest&)> m_onAttributeAdded;
    std::function<void(CDeleteAttributesRequest&)> m_onAttributeDeleted;
    std::function<void(CModifyAttributeRequest&)> m_onAttributeModified;
    std::function<void(std::vector<CSearchResult>&)> m_onSearchResults;
    std::function<void(const CSearchOutcome&)> m_onSearchFinished;

    std::vector<CCall> Calls() const;
    std::vector<EEvent> Events() const;
    int Count(EEvent event) const;
    void Clear();
    // Ends the window's life as a call target, as a destroyed pane does.
    void Destroy() { DestroyWindowHandle(); }

private:
    void Record(EEvent event, HTREEITEM hItem = HTREEITEM(), long long nValue = 0,
                const void* pObject = nullptr, std::string strText = std::string());

    mutable std::mutex m_mutex;
    std::vector<CCall> m_calls;
};
