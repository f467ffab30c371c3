#include "session/HistoryList.h"

#include "platform/Services.h"

#include <algorithm>

const char* const kHistorySection = "History";
const char* const kDefaultServers = "";

CHistoryList::CHistoryList(int nMaxLength) : m_nMaxLength(nMaxLength) {}

BOOL CHistoryList::Add(const CString& text) {
    for (int i = m_entries.GetSize() - 1; i >= 0; --i)
        if (m_entries[i] == text)
            m_entries.RemoveAt(i);
    m_entries.InsertAt(0, text);
    Trim();
    return TRUE;
}

BOOL CHistoryList::SetFromString(const CString& stored) {
    m_entries.RemoveAll();
    CString rest = stored;
    while (!rest.IsEmpty()) {
        CString piece;
        int nSep = rest.Find(';');
        if (nSep >= 0) {
            piece = rest.Left(nSep);
            rest = rest.Mid(nSep + 1);
        } else {
            piece = rest;
            rest.Empty();
        }
        if (!piece.IsEmpty())
            m_entries.Add(piece);
    }
    Trim();
    return TRUE;
}

CString CHistoryList::ToString() const {
    CString result;
    const int nCount = std::min(m_entries.GetSize(), m_nMaxLength);
    for (int i = 0; i < nCount; ++i) {
        if (m_entries[i].IsEmpty())
            continue;
        if (!result.IsEmpty())
            result += ';';
        result += m_entries[i];
    }
    return result;
}

void CHistoryList::Load(const CString& key, const CString& strDefault) {
    CString value = CServices::Profile().GetProfileString(kHistorySection, key, strDefault);
    if (!value.IsEmpty())
        SetFromString(value);
}

void CHistoryList::Store(const CString& key) const {
    CServices::Profile().WriteProfileString(kHistorySection, key, ToString());
}

void CHistoryList::Trim() {
    while (m_entries.GetSize() > m_nMaxLength)
        m_entries.RemoveAt(m_entries.GetSize() - 1);
}
