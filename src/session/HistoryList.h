#pragma once
// A bounded, most-recent-first list of the values typed into one field,
// kept in the profile section "History" as one ';'-joined string.

#include "platform/Collections.h"
#include "platform/String.h"

class CHistoryList {
public:
    explicit CHistoryList(int nMaxLength);
    virtual ~CHistoryList() = default;

    // Puts text at the front; an equal entry further down goes away.
    BOOL Add(const CString& text);
    // Replaces the entries by the non-empty pieces of a stored string.
    BOOL SetFromString(const CString& stored);
    // Drops every entry for which fnDrop is true.
    template <typename Fn> void RemoveIf(Fn fnDrop) {
        for (int i = m_entries.GetSize() - 1; i >= 0; --i)
            if (fnDrop(m_entries[i]))
                m_entries.RemoveAt(i);
    }
    // The stored form: non-empty entries joined with ';'.
    CString ToString() const;
    const CStringArray& GetEntries() const { return m_entries; }
    int GetMaxLength() const { return m_nMaxLength; }

    // Profile section "History": read the key (absent: strDefault), or
    // write ToString under it.
    void Load(const CString& key, const CString& strDefault);
    void Store(const CString& key) const;

private:
    void Trim();

    int m_nMaxLength;
    CStringArray m_entries;
};

// Every list of the login pages keeps this many entries.
constexpr int kHistoryLength = 10;
extern const char* const kHistorySection;
// The server list of a first run: empty, so that nothing is sent to a host
// the user did not name.
extern const char* const kDefaultServers;
