#pragma once
// Finds entries by DN the way the server would match them (DnCompareKey),
// for the parent lookup of an LDIF file's entries. Among entries with the
// same DN the first one in array order that is still in the array wins.
// Only a hash of each key is kept (a large file has a hundred thousand
// DNs); a hit is confirmed against the entry's own DN.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CEntryNode;

class CDnIndex {
public:
    // Indexes every entry of the array, which must stay as it is while the
    // index is used.
    explicit CDnIndex(const std::vector<CEntryNode*>& entries);
    CDnIndex(const CDnIndex&) = delete;
    CDnIndex& operator=(const CDnIndex&) = delete;

    // Position of the first entry still present whose DN has this key, or -1.
    int Find(const std::string& key) const;
    // The entry at this position has left the array.
    void MarkRemoved(int nPosition);

    static std::string Key(std::string_view dn);

private:
    static std::uint64_t Hash(std::string_view key);

    const std::vector<CEntryNode*>& m_entries;
    // (hash of the key, position), sorted.
    std::vector<std::pair<std::uint64_t, int>> m_sorted;
    std::vector<bool> m_removed;
};
