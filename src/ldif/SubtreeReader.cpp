#include "ldif/SubtreeReader.h"

#include "ldif/LdifWriter.h"
#include "model/AsciiCase.h"
#include "model/DnHelper.h"
#include "platform/Dispatcher.h"
#include "platform/Window.h"
#include "source/DataSource.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace {

// Takes a subtree search's batches as they come; the reader writes them out
// between the turns of its loop.
class CSubtreeReceiver : public CWnd, public ISourceEvents {
public:
    CSubtreeReceiver() = default;
    ~CSubtreeReceiver() override { DestroyWindowHandle(); }
    CSubtreeReceiver(const CSubtreeReceiver&) = delete;
    CSubtreeReceiver& operator=(const CSubtreeReceiver&) = delete;

    void SearchResults(std::vector<CSearchResult>& batch) override {
        for (CSearchResult& result : batch)
            m_pending.push_back(std::move(result));
    }
    void SearchFinished(const CSearchOutcome& outcome) override {
        m_outcome = outcome;
        m_bDone = true;
    }

    std::vector<CSearchResult> m_pending;
    CSearchOutcome m_outcome;
    bool m_bDone = false;
};

// Writes entries so that a parent always comes before its children. A
// server sends parents first as a rule; an entry that arrives before its
// parent waits for it, so what is held stays small. Only a key per written
// entry is kept.
class CParentsFirst {
public:
    CParentsFirst(const CString& baseDN, CFileSink& file)
        : m_strBaseKey(DnCompareKey(baseDN.View())), m_file(file) {}

    void Add(CSearchResult&& result) {
        std::string key = DnCompareKey(result.strDN.View());
        if (key != m_strBaseKey) {
            std::string parentKey = DnCompareKey(DnParent(result.strDN).View());
            if (!m_written.count(std::hash<std::string>()(parentKey))) {
                m_held.emplace(std::move(parentKey), std::move(result));
                return;
            }
        }
        Write(result, key);
    }
    // Entries whose parent never came (not readable, say) go last, a
    // shallower one before a deeper one.
    void Finish() {
        std::vector<CSearchResult> orphans;
        for (auto& [parent, result] : m_held)
            orphans.push_back(std::move(result));
        m_held.clear();
        std::stable_sort(orphans.begin(), orphans.end(), [](const CSearchResult& a, const CSearchResult& b) {
            return a.strDN.GetLength() < b.strDN.GetLength();
        });
        for (CSearchResult& result : orphans)
            Write(result, DnCompareKey(result.strDN.View()));
    }
    int Written() const { return m_nWritten; }
    int Skipped() const { return m_nSkipped; }

private:
    void Write(CSearchResult& result, const std::string& key) {
        std::erase_if(result.attributes, [](const CAttribute& attribute) {
            return IsOperationalAttribute(attribute.m_strName.View());
        });
        std::string text;
        m_nSkipped += AppendRecordText(text, result.strDN, result.attributes, "\r\n");
        m_file.Write(text);
        ++m_nWritten;
        m_written.insert(std::hash<std::string>()(key));
        // Its children that came early follow it now, and theirs after them.
        auto [first, last] = m_held.equal_range(key);
        std::vector<CSearchResult> children;
        for (auto it = first; it != last; ++it)
            children.push_back(std::move(it->second));
        m_held.erase(first, last);
        for (CSearchResult& child : children)
            Write(child, DnCompareKey(child.strDN.View()));
    }

    std::string m_strBaseKey;
    CFileSink& m_file;
    std::unordered_set<std::size_t> m_written;
    std::unordered_multimap<std::string, CSearchResult> m_held;
    int m_nWritten = 0;
    int m_nSkipped = 0;
};

} // namespace

CSearchQuery SubtreeQuery(const CString& base, int nScope, const CString& filter) {
    CSearchQuery query;
    query.strBase = base;
    query.nScope = nScope;
    query.strFilter = filter.IsEmpty() ? CString("(objectClass=*)") : filter;
    return query;
}

bool IsOperationalAttribute(std::string_view name) {
    static constexpr std::string_view kNames[] = {"createTimestamp",
                                                  "modifyTimestamp",
                                                  "creatorsName",
                                                  "modifiersName",
                                                  "subschemaSubentry",
                                                  "structuralObjectClass",
                                                  "governingStructureRule",
                                                  "entryUUID",
                                                  "entryCSN",
                                                  "entryDN",
                                                  "hasSubordinates",
                                                  "numSubordinates",
                                                  "subordinateCount",
                                                  "contextCSN",
                                                  "pwdChangedTime",
                                                  "pwdAccountLockedTime",
                                                  "pwdFailureTime",
                                                  "pwdHistory",
                                                  "pwdGraceUseTime",
                                                  "pwdReset",
                                                  "pwdPolicySubentry",
                                                  "memberOf",
                                                  "entryTtl",
                                                  "collectiveAttributeSubentries",
                                                  "collectiveExclusions",
                                                  "administrativeRole",
                                                  "authTimestamp",
                                                  "nsUniqueId"};
    // Options (";x-...") do not change what an attribute is.
    const std::string_view type = name.substr(0, name.find(';'));
    for (const std::string_view known : kNames) {
        if (known.size() == type.size() &&
            std::equal(known.begin(), known.end(), type.begin(),
                       [](char a, char b) { return UpperAscii(a) == UpperAscii(b); }))
            return true;
    }
    return false;
}

CSubtreeReadResult ReadSubtreeAsLdif(CDataSource& source, const CSearchQuery& query, CFileSink& sink,
                                     const std::function<ESubtreeIdle(int nWritten)>& fnIdle) {
    CSubtreeReadResult result;
    CSubtreeReceiver receiver;
    CParentsFirst out(query.strBase, sink);
    sink.Write("version: 1\r\n\r\n");
    if (!source.Search(query, &receiver)) {
        sink.Abandon(receiver.m_outcome.strMessage);
        result.eEnd = ESubtreeRead::Failed;
        return result;
    }
    bool bStopSent = false;
    for (;;) {
        // Taken before the batch: fnIdle may deliver the last results and
        // the end together, and those results must still be written.
        const bool bDone = receiver.m_bDone;
        std::vector<CSearchResult> batch;
        batch.swap(receiver.m_pending);
        for (CSearchResult& found : batch) {
            // The empty base of a server is no entry any tool could import.
            if (!found.strDN.IsEmpty())
                out.Add(std::move(found));
        }
        result.nWritten = out.Written();
        const ESubtreeIdle eIdle = fnIdle(result.nWritten);
        if (eIdle == ESubtreeIdle::Gone) {
            sink.Abandon("The session was closed.");
            result.eEnd = ESubtreeRead::Gone;
            return result;
        }
        // A Stop pressed as the last entries came still counts.
        if (eIdle == ESubtreeIdle::Stop && !bStopSent) {
            source.StopSearch();
            bStopSent = true;
        }
        if (bDone)
            break;
        CMessageDispatcher::Instance().WaitDispatching([&] { return receiver.m_bDone; }, 20);
    }
    const CSearchOutcome& outcome = receiver.m_outcome;
    if (outcome.bStopped || bStopSent) {
        sink.Abandon(CString());
        result.eEnd = ESubtreeRead::Stopped;
        return result;
    }
    // A copy that holds only part of the subtree is no copy.
    if (outcome.bFailed || LimitOfResult(outcome.nResultCode)) {
        sink.Abandon("The source sent only part of the subtree: " + DescribeSearchOutcome(outcome));
        result.eEnd = ESubtreeRead::Failed;
        return result;
    }
    out.Finish();
    result.nWritten = out.Written();
    result.nSkipped = out.Skipped();
    return result;
}
