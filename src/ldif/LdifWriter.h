#pragma once
// The written form of an LDIF record, and a file write that never destroys
// the file it replaces.

#include "platform/Result.h"
#include "platform/String.h"
#include "platform/Types.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CAttribute;

class CEntryNode;

// A source that keeps entries' attributes outside their nodes (the LDIF
// source keeps the entries no pane has reached yet in a compact form) lets
// the writer format those entries from there, so that every record written
// carries what the source holds.
class IAttributeStore {
public:
    virtual ~IAttributeStore() = default;
    // Appends one "<name>: <value>" line per value of each attribute whose
    // name is an attribute description, counting the others in nSkipped;
    // false when the store does not hold this entry.
    virtual bool AppendAttributeLines(const CEntryNode* pEntry, std::string& out, std::string_view eol,
                                      int& nSkipped) const = 0;
};
void RegisterAttributeStore(const IAttributeStore* pStore);
void UnregisterAttributeStore(const IAttributeStore* pStore);

// "dn: <DN>\n", one "<name>: <value>\n" per value, then "\n"; a DN or value
// that could not be read back as it is (line breaks, binary bytes, leading
// blank or colon) is written "name:: <base 64>". No line is folded. An
// attribute whose name is no attribute description (a broken or hostile
// server's "description\ndn: ...") is never written.
CString FormatEntry(const CEntryNode* pEntry);

// The same record appended to out, every line ended with eol; returns how
// many attributes were left out for their names.
int AppendEntryText(std::string& out, const CEntryNode* pEntry, std::string_view eol);
// A record made of a DN and attributes, as a search brings them: the same
// lines, the same names left out; returns how many were.
int AppendRecordText(std::string& out, const CString& dn, const std::vector<CAttribute>& attributes,
                     std::string_view eol);

// Buffered output to an open file descriptor, or gathered into a string;
// the first failed write sticks.
class CFileSink {
public:
    explicit CFileSink(int fd);
    explicit CFileSink(std::string* pText);
    CFileSink(const CFileSink&) = delete;
    CFileSink& operator=(const CFileSink&) = delete;

    void Write(std::string_view text);
    // Hands the buffer to the system; FALSE when any write so far failed.
    bool Flush();
    bool Failed() const { return m_bFailed; }
    // The producer gives up (the user cancelled, the source failed): the
    // file being replaced is left as it was and the write fails with why.
    void Abandon(const CString& reason);
    bool Abandoned() const { return m_bAbandoned; }
    const CString& AbandonReason() const { return m_strAbandonReason; }

private:
    int m_fd;
    std::string* m_pText = nullptr;
    bool m_bFailed = false;
    bool m_bAbandoned = false;
    CString m_strAbandonReason;
    std::string m_buffer;
};

// Produces a file's whole contents into the sink; may be run more than once
// (a failed write is retried elsewhere with the same contents).
using CContentsWriter = std::function<void(CFileSink&)>;

// Writes contents to path through a temporary file in the same folder,
// flushed and renamed over the original (its permission bits kept; a
// symbolic link's target is replaced, not the link). FALSE, with nothing
// written and the original untouched, when the file may not be written by
// us (by access and by its permission bits), when no temporary file can be
// made beside it, or when any write fails; the failure says why in the
// system's own words ("Permission denied", "No space left on device").
CResult WriteFileReplacing(const CString& path, const std::string& contents);
// bPrivate: a file that does not exist yet is made readable by its owner
// only (0600), whatever the umask; for copies of the user's data.
CResult WriteFileReplacing(const CString& path, const CContentsWriter& writeContents, bool bPrivate = false);

// Where the contents of a file that could not be written are kept instead:
// $XDG_DATA_HOME (or ~/.local/share) /Tarvo/recovered/<name>-<date-time>.ldif,
// made unique with a counter. The folders are created, the last one private
// to its owner (0700); empty on failure.
CString MakeRecoveryFilePath(const CString& originalPath);
