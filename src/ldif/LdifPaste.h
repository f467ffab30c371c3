#pragma once
// Pasting LDIF text below an entry: the entry records read from the text,
// their DNs moved below the target (the top entry's RDN under the target,
// the others keeping their place below it), parents first, and added one
// after another through a source's entry writer, asking what to do with
// entries that exist.

#include "model/Attribute.h"
#include "platform/Result.h"
#include "platform/String.h"
#include "source/EntryWriter.h"

#include <atomic>
#include <string_view>
#include <vector>

struct CPasteRecord {
    CString strDN;
    std::vector<CAttribute> attributes;
    // The record of its parent, which comes before it; -1 when the parent
    // is not pasted.
    int nParent = -1;
};

// Reads the entry records of LDIF text (content records, or change records
// that add). Text that is no LDIF, change records of another kind, values
// named by URL and broken base 64 refuse the whole text with the line it
// stopped at. Operational attributes are left out.
CResult ParseLdifEntries(std::string_view text, std::vector<CPasteRecord>& records);

// Puts the records parents first and gives each its DN below targetDN: a
// record whose parent is not in the text keeps its RDN under the target,
// every other keeps its place below its parent. An empty target keeps the
// DNs as they are. Refused for a DN that is malformed or there twice.
CResult RebaseRecords(std::vector<CPasteRecord>& records, const CString& targetDN);

enum class EPasteAnswer { Skip, Replace, SkipAll, Cancel };

struct CPasteFailure {
    CString strDN;
    CString strMessage;
};

struct CPasteReport {
    int nAdded = 0;
    int nReplaced = 0;
    int nSkipped = 0;
    int nFailed = 0;
    // Records never sent: Stop or Cancel came first.
    int nNotSent = 0;
    bool bStopped = false;
    std::vector<CPasteFailure> failures;
};

// What the paste asks of the window that runs it; called on the thread the
// writer runs the job on.
class IPasteHost {
public:
    virtual ~IPasteHost() = default;
    virtual EPasteAnswer AskExisting(const CString& dn) = 0;
    virtual void Progress(int /*nDone*/, int /*nTotal*/) {}
};

class CLdifPaste {
public:
    // Parsed and rebased; nothing is sent yet.
    CResult Prepare(std::string_view text, const CString& targetDN);
    const std::vector<CPasteRecord>& Records() const { return m_records; }
    int GetCount() const { return static_cast<int>(m_records.size()); }

    // Adds the records in order. A server may carry out the requests of one
    // connection in any order, so a record goes only once its parent's
    // answer is in. Answers already sent are collected after a stop, so the
    // report says what the target holds.
    void Run(IEntryWriter& writer, IPasteHost& host);
    // Any thread: no more records are sent.
    void RequestStop() { m_bStop = true; }
    const CPasteReport& Report() const { return m_report; }

    // Progress is told every this many records.
    static constexpr int kProgressEvery = 50;

private:
    std::vector<CPasteRecord> m_records;
    std::atomic<bool> m_bStop{false};
    CPasteReport m_report;
};

// "12 added, 1 replaced, 2 skipped, 1 failed", with ", stopped: 30 not
// sent" after a stop.
CString PasteSummary(const CPasteReport& report);
