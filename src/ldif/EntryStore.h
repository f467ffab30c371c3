#pragma once
// The attributes of an LDIF file's entries, kept compactly beside the nodes.
// A node's own cache (m_attributes) is filled only once a pane can reach the
// entry, so a large file costs little more than its size in memory; the text
// kept here stays the truth, which also lets an entry get back attributes
// that a pane threw away from its cache.

#include "ldif/LdifWriter.h"
#include "model/Attribute.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CEntryNode;

// Groups the lines of one record into attributes the way AddValue would
// (first attribute of exactly that name gets the value; a new name goes to
// the end) and gives the compact text of the result.
class CAttributeTextBuilder {
public:
    void Start();
    void Add(std::string_view name, std::string_view value);
    std::string Finish();

private:
    struct CPending {
        std::string name;
        std::vector<std::pair<size_t, size_t>> values; // offset, length in m_values
    };
    static constexpr size_t kScanLimit = 16;
    std::vector<CPending> m_attributes;
    size_t m_nUsed = 0;
    std::string m_values;
    // Only for records with many names, so that no file makes reading
    // quadratic.
    std::unordered_map<std::string, size_t> m_byName;
};

class CEntryStore : public IAttributeStore {
public:
    CEntryStore() = default;
    ~CEntryStore() override;
    CEntryStore(const CEntryStore&) = delete;
    CEntryStore& operator=(const CEntryStore&) = delete;

    static std::string Serialize(const CAttributeArray& attributes);
    // Appends new attributes built from the text.
    static void Deserialize(std::string_view text, CAttributeArray& attributes);

    // Keeps the text of an entry whose cache is still empty.
    void Keep(const CEntryNode* pEntry, std::string text);
    // Fills the entry's cache from the kept text when it is not filled yet.
    void Fill(CEntryNode* pEntry);
    // Gives the entry back exactly the attributes kept for it; an entry not
    // kept yet is kept with what its cache holds now.
    void Restore(CEntryNode* pEntry);
    // The entry's cache is the truth from now on.
    void Save(const CEntryNode* pEntry);
    void Forget(const CEntryNode* pEntry);
    // Room for about this many entries, so that reading does not rehash.
    void Reserve(size_t nEntries) { m_texts.reserve(nEntries); }
    void Clear();

    // Whether one of the entry's attribute names, upper-cased, is upperName.
    bool HasName(const CEntryNode* pEntry, std::string_view upperName) const;

    bool AppendAttributeLines(const CEntryNode* pEntry, std::string& out,
                              std::string_view eol) const override;

private:
    struct CKept {
        std::string text;
        bool bFilled = false;
    };
    std::unordered_map<const CEntryNode*, CKept> m_texts;
};
