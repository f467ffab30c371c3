#include "ldif/DnIndex.h"

#include "ldif/AsciiCase.h"
#include "model/EntryNode.h"

std::uint64_t CDnIndex::HashUpper(std::string_view text) {
    std::uint64_t h = 1469598103934665603ull;
    for (char c : text) {
        h ^= static_cast<unsigned char>(UpperAscii(c));
        h *= 1099511628211ull;
    }
    return h;
}

CDnIndex::CDnIndex(const std::vector<CEntryNode*>& entries)
    : m_entries(entries), m_next(entries.size(), -1), m_removed(entries.size(), false) {
    m_heads.reserve(entries.size());
    // From the back, so that each chain runs in array order.
    for (size_t i = entries.size(); i-- > 0;) {
        auto [it, bNew] = m_heads.try_emplace(HashUpper(entries[i]->m_strDN.View()), static_cast<int>(i));
        if (!bNew) {
            m_next[i] = it->second;
            it->second = static_cast<int>(i);
        }
    }
}

int CDnIndex::Find(std::string_view upperDN) {
    auto it = m_heads.find(HashUpper(upperDN));
    if (it == m_heads.end())
        return -1;
    int nPrev = -1;
    int n = it->second;
    while (n >= 0) {
        const int nNext = m_next[static_cast<size_t>(n)];
        if (m_removed[static_cast<size_t>(n)]) {
            // Gone for good: unlink it so no later lookup walks over it.
            if (nPrev < 0)
                it->second = nNext;
            else
                m_next[static_cast<size_t>(nPrev)] = nNext;
        } else {
            if (EqualsUpperAscii(m_entries[static_cast<size_t>(n)]->m_strDN.View(), upperDN))
                return n;
            nPrev = n;
        }
        n = nNext;
    }
    return -1;
}

void CDnIndex::MarkRemoved(int nPosition) {
    m_removed[static_cast<size_t>(nPosition)] = true;
}
