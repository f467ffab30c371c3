// Searching an LDIF file: the same filters as a server's, evaluated over
// the entries in memory.

#include "ldif/LdifSource.h"
#include "model/DnHelper.h"
#include "model/SearchFilter.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr size_t kBatchEntries = 500;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Whether an attribute is among those asked for: none named or "*" means
// every one; a type also brings its subtypes with options.
bool IsRequested(const CStringArray& requested, const CString& name) {
    if (requested.IsEmpty())
        return true;
    std::string_view type = name.View().substr(0, name.View().find(';'));
    for (const CString& asked : requested)
        if (asked == "*" || EqualsNoCase(asked.View(), name.View()) || EqualsNoCase(asked.View(), type))
            return true;
    return false;
}

bool InScope(const std::string& key, const CString& dn, const std::string& baseKey, int nScope) {
    switch (nScope) {
    case SEARCH_SCOPE_BASE:
        return key == baseKey;
    case SEARCH_SCOPE_ONE:
        return DnCompareKey(DnParent(dn).View()) == baseKey;
    default:
        return baseKey.empty() || key == baseKey ||
               (key.size() > baseKey.size() + 1 &&
                key.compare(key.size() - baseKey.size(), baseKey.size(), baseKey) == 0 &&
                key[key.size() - baseKey.size() - 1] == ',');
    }
}

} // namespace

BOOL CLdifSource::Search(const CSearchQuery& query, CWnd* pNotify) {
    HWND hNotify = SafeHwnd(pNotify);
    CSearchOutcome outcome;
    CString error;
    CString filterText = query.strFilter;
    std::unique_ptr<CSearchFilter> pFilter = CSearchFilter::Parse(filterText.View(), error);
    if (!pFilter) {
        outcome.bFailed = true;
        outcome.strMessage = error;
        Notify(hNotify, &ISourceEvents::SearchFinished, outcome);
        return FALSE;
    }
    // The synthetic top stands for the whole file.
    bool bWholeFile = query.strBase.IsEmpty() ||
                      (m_pTopEntry && m_pTopEntry->IsRoot() && !m_entries.IsEmpty() &&
                       query.strBase == m_pTopEntry->GetDN() &&
                       std::find(m_entries.begin(), m_entries.end(), m_pTopEntry) == m_entries.end());
    const std::string baseKey = bWholeFile ? std::string() : DnCompareKey(query.strBase.View());
    const int nScope = bWholeFile ? SEARCH_SCOPE_SUBTREE : query.nScope;

    std::vector<CSearchResult> batch;
    auto send = [&]() {
        if (batch.empty())
            return;
        outcome.nCount += static_cast<int>(batch.size());
        Notify(hNotify, &ISourceEvents::SearchResults, batch);
        batch.clear();
    };
    int nFound = 0;
    for (CEntryNode* pEntry : m_entries) {
        const CString dn = pEntry->GetDN();
        if (!InScope(DnCompareKey(dn.View()), dn, baseKey, nScope))
            continue;
        CAttributeArray attributes;
        m_store.Peek(pEntry, attributes);
        if (pFilter->Matches(attributes)) {
            if (query.nSizeLimit > 0 && nFound == query.nSizeLimit) {
                outcome.nResultCode = 4; // as a server says it: more than asked for
                ::DeleteAttributes(attributes);
                break;
            }
            ++nFound;
            CSearchResult result;
            result.strDN = dn;
            for (const CAttribute* pAttribute : attributes)
                if (IsRequested(query.attributes, pAttribute->m_strName))
                    result.attributes.push_back(*pAttribute);
            batch.push_back(std::move(result));
            if (batch.size() >= kBatchEntries)
                send();
        }
        ::DeleteAttributes(attributes);
    }
    send();
    Notify(hNotify, &ISourceEvents::SearchFinished, outcome);
    return TRUE;
}
