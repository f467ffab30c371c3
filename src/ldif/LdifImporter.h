#pragma once
// Applies an LDIF file of entries and change records to a server, streamed
// from the file and pipelined on a connection of its own: up to a bounded
// number of requests wait for their answers at once, while a request that
// touches an entry above, below or at one still waiting is held back until
// that one is answered (a child is never sent before its parent exists).
// Runs on the caller's thread; Stop and the progress figures may be used
// from any other.

#include "platform/String.h"
#include "source/ConnectionParams.h"

#include <atomic>
#include <set>
#include <string>

class CImportOptions {
public:
    CString m_strFile;
    // Failed records are written here (with the reason as a comment) and the
    // import goes on; empty: the first failure ends the import.
    bool m_bContinueOnError = false;
    CString m_strRejectsFile;
    // Reads the whole file and checks every record without connecting.
    bool m_bDryRun = false;
    int m_nMaxInFlight = 32;
};

class CImportReport {
public:
    long m_nDone = 0;   // applied (in a dry run: read without fault)
    long m_nFailed = 0; // refused by the server or unreadable
    // Sent, but the answer never came (stopped, or the connection was lost).
    long m_nUnconfirmed = 0;
    double m_dSeconds = 0;
    bool m_bStopped = false;
    // Why the import ended early (the file, the login, the first failure), or "".
    CString m_strError;
    // The first failure, "Line N: reason", also when the import went on.
    CString m_strFirstFailure;
    // Where loaded levels may have changed: the parents of the entries that
    // were added, deleted or moved, as DnCompareKey keys. bAffectedAll when
    // there were too many to list.
    std::set<std::string> m_affectedParents;
    bool m_bAffectedAll = false;

    // "Imported N records, F failed in S s" and what else there is to say.
    CString Summary(bool bDryRun) const;
};

class CLdifImporter {
public:
    // Most parents kept for the refresh before the report says "all".
    static constexpr size_t kMaxAffectedParents = 2000;

    CImportReport Run(CConnectionParams params, const CImportOptions& options);

    static const char* const kRejectsIsInputText;

    // Ends the run soon: nothing more is sent, answers still due are waited
    // for a moment. Any thread.
    void Stop() { m_bStop = true; }
    // Also breaks the connection, for a close that cannot wait (a write to a
    // server that does not read). Any thread.
    void Break();

    // Progress, any thread.
    long RecordsDone() const { return m_nDone; }
    long RecordsFailed() const { return m_nFailed; }
    long long BytesRead() const { return m_nBytesRead; }
    long long FileSize() const { return m_nFileSize; }

private:
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nSocket{-1};
    std::atomic<long> m_nDone{0};
    std::atomic<long> m_nFailed{0};
    std::atomic<long long> m_nBytesRead{0};
    std::atomic<long long> m_nFileSize{0};
};
