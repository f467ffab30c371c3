#include "ldif/LdifPaste.h"

#include "ldif/LdifSyntax.h"
#include "ldif/SubtreeReader.h"
#include "model/AsciiCase.h"
#include "model/DnHelper.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

namespace {

int LineNumberAt(std::string_view text, size_t nOffset) {
    return 1 +
           static_cast<int>(std::count(text.begin(), text.begin() + std::min(nOffset, text.size()), '\n'));
}

CResult LineFailure(std::string_view text, size_t nOffset, const CString& why) {
    CString reason;
    reason.Format("Line %d: ", LineNumberAt(text, nOffset));
    return CResult::Failure(reason + why);
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

// The value of a line after its name: plain, or base 64 after "::". false
// for broken base 64 and for a URL.
enum class EValue { Ok, BadBase64, Url };
EValue ValueOfLine(std::string_view rest, std::string& value) {
    if (!rest.empty() && rest[0] == ':') {
        rest.remove_prefix(1);
        while (!rest.empty() && rest[0] == ' ')
            rest.remove_prefix(1);
        return Base64Decode(rest, value) ? EValue::Ok : EValue::BadBase64;
    }
    if (!rest.empty() && rest[0] == '<')
        return EValue::Url;
    value.assign(rest);
    return EValue::Ok;
}

} // namespace

CResult ParseLdifEntries(std::string_view text, std::vector<CPasteRecord>& records) {
    records.clear();
    CResult failure;
    bool bInRecord = false;
    // Only control lines followed the dn line so far.
    bool bBeforeChangeType = false;
    ForEachLdifLine(text, [&](std::string_view line, size_t nStart, size_t) {
        if (!failure)
            return;
        switch (ClassifyLdifLine(line)) {
        case ELdifLineKind::Blank:
            bInRecord = false;
            return;
        case ELdifLineKind::Comment:
            return;
        case ELdifLineKind::Stray:
            failure = LineFailure(text, nStart, "this is no LDIF line: " + CString(line.substr(0, 60)));
            return;
        case ELdifLineKind::Dn:
        case ELdifLineKind::Attribute:
            break;
        }
        std::string_view name, rest;
        SplitLdifLine(line, name, rest);
        std::string value;
        switch (ValueOfLine(rest, value)) {
        case EValue::BadBase64:
            failure = LineFailure(text, nStart, "the base-64 value of " + CString(name) + " cannot be read.");
            return;
        case EValue::Url:
            failure =
                LineFailure(text, nStart, "values read from a URL are not pasted (" + CString(name) + ").");
            return;
        case EValue::Ok:
            break;
        }
        if (SameName(name, "dn")) {
            if (value.empty()) {
                failure = LineFailure(text, nStart, "an entry without a DN cannot be pasted.");
                return;
            }
            records.push_back(CPasteRecord{CString(value), {}});
            bInRecord = true;
            bBeforeChangeType = true;
            return;
        }
        if (!bInRecord) {
            // "version: 1" heads a file; nothing else stands outside a record.
            if (records.empty() && SameName(name, "version"))
                return;
            failure = LineFailure(text, nStart, "a value outside any entry: " + CString(line.substr(0, 60)));
            return;
        }
        if (bBeforeChangeType && SameName(name, "control"))
            return;
        if (bBeforeChangeType && SameName(name, "changetype")) {
            bBeforeChangeType = false;
            if (!SameName(value, "add"))
                failure = LineFailure(text, nStart,
                                      "this is a change (changetype: " + CString(value) +
                                          "), not an entry; only entries can be pasted.");
            return;
        }
        bBeforeChangeType = false;
        if (!IsAttributeDescription(name)) {
            failure = LineFailure(text, nStart, "\"" + CString(name) + "\" is no attribute name.");
            return;
        }
        if (IsOperationalAttribute(name))
            return;
        std::vector<CAttribute>& attributes = records.back().attributes;
        auto it = std::find_if(attributes.begin(), attributes.end(), [&](const CAttribute& attribute) {
            return SameName(attribute.m_strName.View(), name);
        });
        if (it == attributes.end()) {
            attributes.emplace_back();
            attributes.back().SetName(CString(name));
            it = attributes.end() - 1;
        }
        it->Add(CString(value));
    });
    if (!failure)
        return failure;
    if (records.empty())
        return CResult::Failure("The text holds no LDIF entry.");
    return CResult();
}

CResult RebaseRecords(std::vector<CPasteRecord>& records, const CString& targetDN) {
    std::vector<std::pair<size_t, CPasteRecord*>> byDepth;
    byDepth.reserve(records.size());
    for (CPasteRecord& record : records) {
        std::vector<std::string> rdns;
        if (!DnSplit(record.strDN.View(), rdns) || rdns.empty())
            return CResult::Failure("This is no valid DN: " + record.strDN);
        byDepth.emplace_back(rdns.size(), &record);
    }
    std::stable_sort(byDepth.begin(), byDepth.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Old DN (as compared) to new DN and the record's new place.
    std::unordered_map<std::string, std::pair<CString, int>> moved;
    std::vector<CPasteRecord> ordered;
    ordered.reserve(records.size());
    for (auto& [nDepth, pRecord] : byDepth) {
        std::string key = DnCompareKey(pRecord->strDN.View());
        if (moved.count(key))
            return CResult::Failure("The text holds this entry twice: " + pRecord->strDN);
        CString newDN;
        int nParent = -1;
        if (auto it = moved.find(DnCompareKey(DnParent(pRecord->strDN).View())); it != moved.end()) {
            newDN = DnFirstRdn(pRecord->strDN) + "," + it->second.first;
            nParent = it->second.second;
        } else if (targetDN.IsEmpty()) {
            newDN = pRecord->strDN;
        } else {
            newDN = DnFirstRdn(pRecord->strDN) + "," + targetDN;
        }
        moved.emplace(std::move(key), std::make_pair(newDN, static_cast<int>(ordered.size())));
        ordered.push_back(CPasteRecord{newDN, std::move(pRecord->attributes), nParent});
    }
    records.swap(ordered);
    return CResult();
}

CResult CLdifPaste::Prepare(std::string_view text, const CString& targetDN) {
    m_report = CPasteReport();
    m_bStop = false;
    if (CResult parsed = ParseLdifEntries(text, m_records); !parsed)
        return parsed;
    return RebaseRecords(m_records, targetDN);
}

void CLdifPaste::Run(IEntryWriter& writer, IPasteHost& host) {
    m_report = CPasteReport();
    const int nTotal = GetCount();
    const size_t nWindow = static_cast<size_t>(std::max(1, writer.Window()));
    std::deque<std::pair<int, int>> inFlight; // record, ticket
    // Records whose answer is in (the ones before nNext that left inFlight).
    std::vector<bool> settled(m_records.size(), false);
    int nNext = 0;
    int nDone = 0;
    bool bSkipAll = false;
    bool bEnd = false;
    for (;;) {
        while (!bEnd && !m_bStop && nNext < nTotal && inFlight.size() < nWindow) {
            const CPasteRecord& record = m_records[nNext];
            if (record.nParent >= 0 && !settled[record.nParent])
                break;
            inFlight.emplace_back(nNext, writer.Send(record.strDN, record.attributes, IEntryWriter::Add));
            ++nNext;
        }
        if (inFlight.empty())
            break;
        const auto [nRecord, nTicket] = inFlight.front();
        inFlight.pop_front();
        settled[nRecord] = true;
        const CPasteRecord& record = m_records[nRecord];
        CWriteOutcome outcome = writer.Collect(nTicket);
        bool bSkipped = false;
        if (outcome.bShutdown) {
            // The window is closing: nothing more is asked or told.
            bEnd = true;
            m_report.bStopped = true;
            continue;
        }
        if (outcome.nCode == kEntryAlreadyExists) {
            const EPasteAnswer eAnswer =
                bSkipAll || bEnd || m_bStop ? EPasteAnswer::Skip : host.AskExisting(record.strDN);
            if (eAnswer == EPasteAnswer::Replace) {
                outcome = writer.Collect(writer.Send(record.strDN, record.attributes, IEntryWriter::Replace));
                if (outcome.bShutdown) {
                    bEnd = true;
                    m_report.bStopped = true;
                    continue;
                }
                if (outcome.nCode == 0)
                    ++m_report.nReplaced;
            } else {
                ++m_report.nSkipped;
                bSkipAll = bSkipAll || eAnswer == EPasteAnswer::SkipAll;
                if (eAnswer == EPasteAnswer::Cancel) {
                    bEnd = true;
                    m_report.bStopped = true;
                }
                bSkipped = true;
            }
        } else if (outcome.nCode == 0) {
            ++m_report.nAdded;
        }
        if (!bSkipped && outcome.nCode != 0) {
            ++m_report.nFailed;
            m_report.failures.push_back(CPasteFailure{record.strDN, outcome.strMessage});
        }
        if (++nDone % kProgressEvery == 0)
            host.Progress(nDone, nTotal);
    }
    m_report.nNotSent = nTotal - nNext;
    m_report.bStopped = m_report.bStopped || m_bStop;
    host.Progress(nDone, nTotal);
}

CString PasteSummary(const CPasteReport& report) {
    CString text;
    text.Format("%d added, %d replaced, %d skipped, %d failed", report.nAdded, report.nReplaced,
                report.nSkipped, report.nFailed);
    if (report.bStopped) {
        CString rest;
        rest.Format("; stopped: %d not sent", report.nNotSent);
        text += rest;
    }
    return text;
}
