#pragma once
// Finds entries by DN the way the server would match them (case, blanks
// around separators and printable hex escapes do not count), for the parent
// lookup of an LDIF file's entries. Among entries with the same DN the first
// one in array order that is still in the array wins; entries taken out of
// the array are dropped from the index as the lookups meet them, so a long
// run of lookups stays linear.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CEntryNode;

class CDnIndex {
public:
    // Indexes every entry of the array by the key of its DN.
    explicit CDnIndex(const std::vector<CEntryNode*>& entries);
    CDnIndex(const CDnIndex&) = delete;
    CDnIndex& operator=(const CDnIndex&) = delete;

    // Position of the first entry still present whose DN has this key, or -1.
    int Find(const std::string& key);
    // The entry at this position has left the array.
    void MarkRemoved(int nPosition);

    // DnCompareKey, without its cost for the plain DNs most files hold.
    static std::string Key(std::string_view dn);

private:
    std::vector<std::string> m_keys;
    std::unordered_map<std::string_view, int> m_heads;
    std::vector<int> m_next;
    std::vector<bool> m_removed;
};
