#pragma once
// Finds entries by DN without regard to case, for the parent lookup of an
// LDIF file's entries. Among entries with the same DN the first one in array
// order that is still in the array wins; entries taken out of the array are
// dropped from the index as the lookups meet them, so a long run of lookups
// stays linear.

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

class CEntryNode;

class CDnIndex {
public:
    // Indexes every entry of the array by its upper-cased DN.
    explicit CDnIndex(const std::vector<CEntryNode*>& entries);
    CDnIndex(const CDnIndex&) = delete;
    CDnIndex& operator=(const CDnIndex&) = delete;

    // Position of the first entry still present whose upper-cased DN
    // equals upperDN (already upper-cased), or -1.
    int Find(std::string_view upperDN);
    // The entry at this position has left the array.
    void MarkRemoved(int nPosition);

    static std::uint64_t HashUpper(std::string_view text);

private:
    const std::vector<CEntryNode*>& m_entries;
    std::unordered_map<std::uint64_t, int> m_heads;
    std::vector<int> m_next;
    std::vector<bool> m_removed;
};
