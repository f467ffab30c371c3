#include "ldif/DnIndex.h"

#include "ldif/AsciiCase.h"
#include "model/DnHelper.h"
#include "model/EntryNode.h"

std::string CDnIndex::Key(std::string_view dn) {
    // Without escapes, quotes or blanks the key is the DN upper-cased.
    if (dn.find_first_of("\\\" \t") != std::string_view::npos)
        return DnCompareKey(dn);
    std::string key(dn);
    for (char& c : key)
        c = UpperAscii(c);
    return key;
}

CDnIndex::CDnIndex(const std::vector<CEntryNode*>& entries)
    : m_next(entries.size(), -1), m_removed(entries.size(), false) {
    m_keys.reserve(entries.size());
    for (const CEntryNode* pEntry : entries)
        m_keys.push_back(Key(pEntry->m_strDN.View()));
    m_heads.reserve(entries.size());
    // From the back, so that each chain runs in array order.
    for (size_t i = entries.size(); i-- > 0;) {
        auto [it, bNew] = m_heads.try_emplace(m_keys[i], static_cast<int>(i));
        if (!bNew) {
            m_next[i] = it->second;
            it->second = static_cast<int>(i);
        }
    }
}

int CDnIndex::Find(const std::string& key) {
    auto it = m_heads.find(key);
    if (it == m_heads.end())
        return -1;
    // Gone for good: unlinked so no later lookup walks over them.
    while (it->second >= 0 && m_removed[static_cast<size_t>(it->second)])
        it->second = m_next[static_cast<size_t>(it->second)];
    return it->second;
}

void CDnIndex::MarkRemoved(int nPosition) {
    m_removed[static_cast<size_t>(nPosition)] = true;
}
