// Entries added or replaced by a paste into an LDIF file: in memory, as the
// Add Entry command adds them, and written with the file at Close.

#include "ldif/LdifSource.h"
#include "model/DnHelper.h"
#include "source/LdapError.h"

#include <string>
#include <unordered_map>

class CLdifSource::CEntryWriter : public IEntryWriter {
public:
    explicit CEntryWriter(CLdifSource& source) : m_source(source) {
        // One lookup per DN: a paste of thousands into a large file must
        // not compare every DN with every other.
        for (const CArray<CEntryNode*>* pArray : {&source.m_entries, &source.m_otherEntries})
            for (CEntryNode* pEntry : *pArray)
                m_byKey.emplace(DnCompareKey(pEntry->m_strDN.View()), pEntry);
    }

    int Send(const CString& dn, const std::vector<CAttribute>& attributes, EWrite eWrite) override {
        m_outcomes.push_back(eWrite == Add ? AddOne(dn, attributes) : ReplaceOne(dn, attributes));
        return static_cast<int>(m_outcomes.size()) - 1;
    }
    CWriteOutcome Collect(int nTicket) override {
        return nTicket >= 0 && nTicket < static_cast<int>(m_outcomes.size()) ? m_outcomes[nTicket]
                                                                             : CWriteOutcome{};
    }

private:
    static CWriteOutcome Failure(int nCode) { return CWriteOutcome{nCode, LdapErrorText(nCode), false}; }

    CWriteOutcome AddOne(const CString& dn, const std::vector<CAttribute>& attributes) {
        std::string key = DnCompareKey(dn.View());
        if (m_byKey.count(key))
            return Failure(kEntryAlreadyExists);
        CEntryNode* pParent = nullptr;
        const CString parentDN = DnParent(dn);
        if (auto it = m_byKey.find(DnCompareKey(parentDN.View())); it != m_byKey.end())
            pParent = it->second;
        // A file's own top entries hang below its synthetic "Root".
        else if (m_source.m_pTopEntry && m_source.m_pTopEntry->IsRoot())
            pParent = m_source.m_pTopEntry;
        if (!pParent)
            return Failure(32); // no such object: the parent is not in the file
        auto* pNew = new CEntryNode;
        pNew->m_strDN = dn;
        for (const CAttribute& attribute : attributes)
            pNew->m_attributes.Add(new CAttribute(attribute));
        pParent->BeginOperation(OP_ADD_ENTRY);
        if (!m_source.AddEntry(pParent, pNew, HTREEITEM(), nullptr))
            return Failure(kEntryAlreadyExists);
        m_byKey.emplace(std::move(key), pNew);
        return CWriteOutcome{};
    }

    CWriteOutcome ReplaceOne(const CString& dn, const std::vector<CAttribute>& attributes) {
        auto it = m_byKey.find(DnCompareKey(dn.View()));
        if (it == m_byKey.end())
            return Failure(32);
        CEntryNode* pEntry = it->second;
        m_source.m_store.Restore(pEntry);
        ::DeleteAttributes(pEntry->m_attributes);
        for (const CAttribute& attribute : attributes)
            pEntry->m_attributes.Add(new CAttribute(attribute));
        m_source.m_store.Save(pEntry);
        m_source.m_bModified = TRUE;
        return CWriteOutcome{};
    }

    CLdifSource& m_source;
    std::unordered_map<std::string, CEntryNode*> m_byKey;
    std::vector<CWriteOutcome> m_outcomes;
};

BOOL CLdifSource::RunEntryWriter(std::function<void(IEntryWriter&)> job, std::function<void()> fnDone) {
    {
        CEntryWriter writer(*this);
        job(writer);
    }
    if (fnDone)
        fnDone();
    return TRUE;
}
