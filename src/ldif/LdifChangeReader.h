#pragma once
// Reads the records of an LDIF file one at a time, as ldapmodify takes them:
// entries to add (content records) and change records (add, delete, modify,
// modrdn/moddn). Only the record being read is held, so a file of any size
// is read in constant memory. Each record keeps its text as written, so that
// a record the server refused can be written out again unchanged.

#include "ldif/LdifLineReader.h"
#include "model/Attribute.h"
#include "platform/String.h"

#include <string>
#include <string_view>
#include <vector>

enum class ELdifChangeType { Add, Delete, Modify, ModRdn };
enum class ELdifModOp { Add, Delete, Replace };

class CLdifModification {
public:
    ELdifModOp m_eOp = ELdifModOp::Add;
    CAttribute m_attribute; // no values: the whole attribute (delete) or none (replace)
};

class CLdifChangeRecord {
public:
    ELdifChangeType m_eType = ELdifChangeType::Add;
    CString m_strDN;
    std::vector<CAttribute> m_attributes;           // Add
    std::vector<CLdifModification> m_modifications; // Modify
    CString m_strNewRdn;                            // ModRdn
    bool m_bDeleteOldRdn = false;
    bool m_bHasNewSuperior = false;
    CString m_strNewSuperior;
    // The number of the record's first line (1-based) and its lines as
    // written, breaks included.
    long m_nLine = 0;
    std::string m_strText;

    // The DN the entry has once the record is applied (a rename's new DN).
    CString TargetDN() const;
};

class CLdifChangeReader {
public:
    enum EStep { kRecord, kBadRecord, kEnd, kReadFailed };

    // FALSE for a path that cannot be read as a regular file.
    bool Open(const CString& path);
    // The next record. kBadRecord: the record could not be read; strError
    // says why, starting with "Line N: ", and the record's text is kept in
    // record.m_strText. Reading goes on with the record after it.
    EStep Next(CLdifChangeRecord& record, CString& strError);

    long long BytesRead() const { return m_nBytesRead; }
    long long FileSize() const { return m_reader.FileSize(); }

private:
    struct CLine {
        std::string text; // logical: folded lines joined
        long nLine = 0;
        size_t nRawEnd = 0; // where the line ends in the record's text
    };
    // The next physical line (from the look-ahead first); false at the end.
    bool NextPhysical(std::string& line, long& nLine);
    // Gathers the logical lines of the next record and its text; false when
    // the file holds no more.
    bool GatherRecord(std::vector<CLine>& lines, std::string& text, long& nFirstLine);
    bool Parse(const std::vector<CLine>& lines, CLdifChangeRecord& record, CString& strError);

    CLdifLineReader m_reader;
    std::string m_strAhead;
    std::string m_strAheadBreak;
    long m_nAheadLine = 0;
    bool m_bHasAhead = false;
    long m_nLine = 0;
    long long m_nBytesRead = 0;
    bool m_bFirstRecord = true;
};
