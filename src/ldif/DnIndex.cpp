#include "ldif/DnIndex.h"

#include "model/DnHelper.h"
#include "model/EntryNode.h"

#include <algorithm>

std::string CDnIndex::Key(std::string_view dn) {
    return DnCompareKey(dn);
}

std::uint64_t CDnIndex::Hash(std::string_view key) {
    // FNV-1a: stable and good enough to make collisions rare; each hit is
    // confirmed anyway.
    std::uint64_t h = 14695981039346656037ULL;
    for (char ch : key) {
        h ^= static_cast<unsigned char>(ch);
        h *= 1099511628211ULL;
    }
    return h;
}

CDnIndex::CDnIndex(const std::vector<CEntryNode*>& entries) : m_entries(entries), m_removed(entries.size()) {
    m_sorted.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        m_sorted.emplace_back(Hash(Key(entries[i]->m_strDN.View())), static_cast<int>(i));
    std::sort(m_sorted.begin(), m_sorted.end());
}

int CDnIndex::Find(const std::string& key) const {
    const std::uint64_t h = Hash(key);
    auto it = std::lower_bound(m_sorted.begin(), m_sorted.end(), std::make_pair(h, -1));
    // Positions of one hash come in array order.
    for (; it != m_sorted.end() && it->first == h; ++it) {
        const auto n = static_cast<size_t>(it->second);
        if (!m_removed[n] && Key(m_entries[n]->m_strDN.View()) == key)
            return it->second;
    }
    return -1;
}

void CDnIndex::MarkRemoved(int nPosition) {
    m_removed[static_cast<size_t>(nPosition)] = true;
}
