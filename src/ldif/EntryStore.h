#pragma once
// The attributes of an LDIF file's entries, kept compactly beside the nodes.
// A node's own cache (m_attributes) is filled only once a pane can reach the
// entry, so a large file costs little more than its size in memory; the text
// kept here stays the truth, which also lets an entry get back attributes
// that a pane threw away from its cache.

#include "ldif/BlockText.h"
#include "ldif/LdifWriter.h"
#include "model/Attribute.h"

#include <memory>
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

    // The file's bytes as read; records and the lines between them are spans
    // of it, so that what nobody changed is written back exactly.
    CBlockText& Text() { return m_text; }
    const CBlockText& Text() const { return m_text; }
    // An entry read from the file: its record is these bytes of the file
    // text. bHasRequired: whether it names the required attribute.
    void KeepRecord(const CEntryNode* pEntry, size_t nOffset, size_t nLength, bool bHasRequired);

    // Fills the entry's cache from what is kept when it is not filled yet.
    void Fill(CEntryNode* pEntry);
    // Appends copies of the entry's attributes to out without filling its
    // cache (a search reads every entry; the caches stay small).
    void Peek(const CEntryNode* pEntry, CAttributeArray& out) const;
    // Gives the entry back exactly the attributes kept for it; an entry not
    // kept yet is kept with what its cache holds now.
    void Restore(CEntryNode* pEntry);
    // The entry's cache is the truth from now on; a record whose values did
    // not change after all stays as it was read.
    void Save(const CEntryNode* pEntry);
    // The entry's DN changed: its record is written anew.
    void MarkRenamed(const CEntryNode* pEntry);
    void Forget(const CEntryNode* pEntry);
    // Room for about this many entries, so that reading does not rehash.
    void Reserve(size_t nEntries) { m_kept.reserve(nEntries); }
    void Clear();

    // Whether the entry names the attribute required at reading (upper-cased).
    bool HasRequiredName(const CEntryNode* pEntry, std::string_view upperName) const;

    bool AppendAttributeLines(const CEntryNode* pEntry, std::string& out, std::string_view eol,
                              int& nSkipped) const override;
    // The entry's record as it goes back into its file, without the empty
    // line after it: the bytes read while it is unchanged, else the dn line
    // and one line per value.
    void AppendRecord(const CEntryNode* pEntry, std::string& out, std::string_view eol) const;

private:
    struct CEdited {
        std::string text;
        // Values read as "name:< url", written that way again.
        std::vector<std::pair<std::string, std::string>> urls;
    };
    struct CKept {
        size_t nOffset = 0;
        size_t nLength = 0;
        std::unique_ptr<CEdited> pEdited; // null while the record is as read
        bool bFilled = false;
        bool bHasRequired = false;
    };
    std::string_view RawOf(const CKept& kept) const;
    std::string TruthOf(const CKept& kept) const;
    void MakeEdited(CKept& kept) const;

    CBlockText m_text;
    std::unordered_map<const CEntryNode*, CKept> m_kept;
};

// The compact text of a record's attributes (folded lines joined, values
// decoded); the URL values when urls is given.
std::string ParseRecordAttributes(std::string_view record,
                                  std::vector<std::pair<std::string, std::string>>* pUrls = nullptr);
// One line per value of the compact text, each ended with eol; values that
// are not safe in base 64, listed URL values in URL form. With pSkipped,
// attributes whose names are no attribute descriptions are left out and
// counted there.
void AppendValueLines(std::string& out, std::string_view attributes,
                      const std::vector<std::pair<std::string, std::string>>* pUrls, std::string_view eol,
                      int* pSkipped = nullptr);
// The dn line, then one line per value of the compact text, each ended with
// eol; values that are not safe in base 64, listed URL values in URL form.
// The comments inside original (the record as read) go back above the
// values they stood above, or above their attribute when that value changed;
// those of attributes no longer there end the record.
void AppendPlainRecord(std::string& out, std::string_view dn, std::string_view attributes,
                       const std::vector<std::pair<std::string, std::string>>* pUrls, std::string_view eol,
                       std::string_view original = std::string_view());
