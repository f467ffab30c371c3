#include "ldif/LdifChangeReader.h"

#include "ldif/LdifSyntax.h"
#include "model/AsciiCase.h"
#include "model/DnHelper.h"

namespace {

bool IsBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

bool IsSeparator(std::string_view line) {
    while (!line.empty() && line.back() == ' ')
        line.remove_suffix(1);
    return line == "-";
}

CString LineText(long nLine, const CString& text) {
    return "Line " + CString(std::to_string(nLine)) + ": " + text;
}

} // namespace

CString CLdifChangeRecord::TargetDN() const {
    if (m_eType != ELdifChangeType::ModRdn)
        return m_strDN;
    const CString parent = m_bHasNewSuperior ? m_strNewSuperior : DnParent(m_strDN);
    return parent.IsEmpty() ? m_strNewRdn : m_strNewRdn + "," + parent;
}

bool CLdifChangeReader::Open(const CString& path) {
    m_bHasAhead = false;
    m_nLine = 0;
    m_nBytesRead = 0;
    m_bFirstRecord = true;
    return path.Find('\0') < 0 && m_reader.Open(path.GetString());
}

bool CLdifChangeReader::NextPhysical(std::string& line, long& nLine) {
    if (m_bHasAhead) {
        m_bHasAhead = false;
        line.swap(m_strAhead);
        nLine = m_nAheadLine;
        return true;
    }
    std::string_view view;
    if (!m_reader.NextLine(view))
        return false;
    m_nBytesRead += static_cast<long long>(view.size() + m_reader.LastBreak().size());
    line.assign(view);
    nLine = ++m_nLine;
    return true;
}

bool CLdifChangeReader::GatherRecord(std::vector<CLine>& lines, std::string& text, long& nFirstLine) {
    lines.clear();
    text.clear();
    std::string physical;
    long nLine = 0;
    // Blank lines and comments between records belong to none.
    bool bInComment = false;
    for (;;) {
        if (!NextPhysical(physical, nLine))
            return false;
        if (bInComment && !physical.empty() && physical.front() == ' ')
            continue;
        bInComment = !physical.empty() && physical.front() == '#';
        if (!bInComment && !IsBlankLine(physical))
            break;
    }
    nFirstLine = nLine;
    bool bComment = false;
    for (;;) {
        text += physical;
        text += '\n';
        if (!physical.empty() && physical.front() == ' ' && !lines.empty() && !bComment) {
            lines.back().text.append(physical, 1);
            lines.back().nRawEnd = text.size();
        } else if (!physical.empty() && physical.front() == ' ' && bComment) {
            // A folded comment stays a comment.
        } else {
            bComment = !physical.empty() && physical.front() == '#';
            if (!bComment)
                lines.push_back({physical, nLine, text.size()});
        }
        if (!NextPhysical(physical, nLine))
            break;
        if (physical.empty() || (IsBlankLine(physical) && physical.front() != ' '))
            break;
    }
    return true;
}

CLdifChangeReader::EStep CLdifChangeReader::Next(CLdifChangeRecord& record, CString& strError) {
    std::vector<CLine> lines;
    for (;;) {
        record = CLdifChangeRecord();
        if (!GatherRecord(lines, record.m_strText, record.m_nLine))
            return m_reader.Failed() ? kReadFailed : kEnd;
        // "version: 1" may stand before the first record, alone or on its first line.
        if (m_bFirstRecord &&
            EqualsNoCaseAscii(lines.front().text.substr(0, lines.front().text.find(':')), "version")) {
            m_bFirstRecord = false;
            std::string_view name, value;
            SplitLdifLine(lines.front().text, name, value);
            if (value != "1") {
                strError = LineText(lines.front().nLine, "only LDIF version 1 can be read");
                return kBadRecord;
            }
            record.m_strText.erase(0, lines.front().nRawEnd);
            lines.erase(lines.begin());
            if (lines.empty())
                continue;
            record.m_nLine = lines.front().nLine;
        }
        m_bFirstRecord = false;
        return Parse(lines, record, strError) ? kRecord : kBadRecord;
    }
}

namespace {

// One line's name and value, decoded. A value to be read from a URL is
// refused: a file from elsewhere must not make us read local files.
bool ReadValue(std::string_view line, long nLine, std::string_view& name, std::string& value,
               CString& strError) {
    const size_t nColon = line.find(':');
    if (nColon == std::string_view::npos || nColon == 0) {
        strError = LineText(nLine, "\"name: value\" expected");
        return false;
    }
    name = line.substr(0, nColon);
    const char mark = nColon + 1 < line.size() ? line[nColon + 1] : '\0';
    if (mark == '<') {
        strError =
            LineText(nLine, "the value of " + CString(name) +
                                " is to be read from a URL (\":<\"); write the value into the file instead");
        return false;
    }
    if (mark == ':') {
        std::string_view data = line.substr(nColon + 2);
        while (!data.empty() && data.front() == ' ')
            data.remove_prefix(1);
        while (!data.empty() && data.back() == ' ')
            data.remove_suffix(1);
        if (!Base64Decode(data, value)) {
            strError = LineText(nLine, "the value of " + CString(name) + " is not valid base 64");
            return false;
        }
        return true;
    }
    std::string_view text;
    SplitLdifLine(line, name, text);
    value.assign(text);
    return true;
}

bool CheckDN(const std::string& dn, long nLine, CString& strError) {
    if (dn.find('\0') == std::string::npos && DnIsValid(dn))
        return true;
    strError = LineText(nLine, "\"" + CString(dn) + "\" is not a valid DN");
    return false;
}

} // namespace

bool CLdifChangeReader::Parse(const std::vector<CLine>& lines, CLdifChangeRecord& record, CString& strError) {
    std::string_view name;
    std::string value;
    auto fail = [&](long nLine, const CString& text) {
        strError = LineText(nLine, text);
        return false;
    };
    const CLine& first = lines.front();
    if (!ReadValue(first.text, first.nLine, name, value, strError))
        return false;
    if (!EqualsNoCaseAscii(name, "dn"))
        return fail(first.nLine, "a record must begin with a \"dn:\" line");
    if (value.empty())
        return fail(first.nLine, "the DN is empty");
    if (!CheckDN(value, first.nLine, strError))
        return false;
    record.m_strDN = CString(value);

    size_t i = 1;
    auto read = [&](size_t n) { return ReadValue(lines[n].text, lines[n].nLine, name, value, strError); };
    if (i < lines.size()) {
        if (!read(i))
            return false;
        if (EqualsNoCaseAscii(name, "control"))
            return fail(lines[i].nLine, "controls are not supported");
        if (EqualsNoCaseAscii(name, "changetype")) {
            if (EqualsNoCaseAscii(value, "add"))
                record.m_eType = ELdifChangeType::Add;
            else if (EqualsNoCaseAscii(value, "delete"))
                record.m_eType = ELdifChangeType::Delete;
            else if (EqualsNoCaseAscii(value, "modify"))
                record.m_eType = ELdifChangeType::Modify;
            else if (EqualsNoCaseAscii(value, "modrdn") || EqualsNoCaseAscii(value, "moddn"))
                record.m_eType = ELdifChangeType::ModRdn;
            else
                return fail(lines[i].nLine, "unknown changetype \"" + CString(value) + "\"");
            ++i;
        }
    }

    switch (record.m_eType) {
    case ELdifChangeType::Add:
        for (; i < lines.size(); ++i) {
            if (!read(i))
                return false;
            if (!IsAttributeDescription(name))
                return fail(lines[i].nLine, "\"" + CString(name) + "\" is not an attribute name");
            CAttribute* pAttribute = nullptr;
            for (CAttribute& attribute : record.m_attributes)
                if (EqualsNoCaseAscii(attribute.m_strName.View(), name))
                    pAttribute = &attribute;
            if (!pAttribute) {
                pAttribute = &record.m_attributes.emplace_back();
                pAttribute->SetName(CString(name));
            }
            pAttribute->Add(CString(value));
        }
        if (record.m_attributes.empty())
            return fail(first.nLine, "the entry to add has no attributes");
        return true;
    case ELdifChangeType::Delete:
        if (i < lines.size())
            return fail(lines[i].nLine, "a delete record has no lines after its changetype");
        return true;
    case ELdifChangeType::Modify:
        while (i < lines.size()) {
            if (!read(i))
                return false;
            CLdifModification modification;
            if (EqualsNoCaseAscii(name, "add"))
                modification.m_eOp = ELdifModOp::Add;
            else if (EqualsNoCaseAscii(name, "delete"))
                modification.m_eOp = ELdifModOp::Delete;
            else if (EqualsNoCaseAscii(name, "replace"))
                modification.m_eOp = ELdifModOp::Replace;
            else
                return fail(lines[i].nLine, "\"add:\", \"delete:\" or \"replace:\" expected");
            if (!IsAttributeDescription(value))
                return fail(lines[i].nLine, "\"" + CString(value) + "\" is not an attribute name");
            modification.m_attribute.SetName(CString(value));
            for (++i; i < lines.size() && !IsSeparator(lines[i].text); ++i) {
                if (!read(i))
                    return false;
                if (!EqualsNoCaseAscii(name, modification.m_attribute.m_strName.View()))
                    return fail(lines[i].nLine,
                                "a value of " + modification.m_attribute.m_strName + " or \"-\" expected");
                modification.m_attribute.Add(CString(value));
            }
            if (i < lines.size())
                ++i; // the "-"
            if (modification.m_eOp == ELdifModOp::Add && modification.m_attribute.GetSize() == 0)
                return fail(lines[i - 1].nLine,
                            "\"add: " + modification.m_attribute.m_strName + "\" without values");
            record.m_modifications.push_back(std::move(modification));
        }
        if (record.m_modifications.empty())
            return fail(first.nLine, "the modify record changes nothing");
        return true;
    case ELdifChangeType::ModRdn: {
        const long nLast = lines.back().nLine;
        if (i >= lines.size() || !read(i) || !EqualsNoCaseAscii(name, "newrdn"))
            return strError.IsEmpty()
                       ? fail(i < lines.size() ? lines[i].nLine : nLast, "\"newrdn:\" expected")
                       : false;
        if (!DnIsValidRdn(value) || value.find('\0') != std::string::npos)
            return fail(lines[i].nLine, "\"" + CString(value) + "\" is not a valid RDN");
        record.m_strNewRdn = CString(value);
        ++i;
        if (i >= lines.size() || !read(i) || !EqualsNoCaseAscii(name, "deleteoldrdn") ||
            (value != "0" && value != "1"))
            return strError.IsEmpty() ? fail(i < lines.size() ? lines[i].nLine : nLast,
                                             "\"deleteoldrdn: 0\" or \"deleteoldrdn: 1\" expected")
                                      : false;
        record.m_bDeleteOldRdn = value == "1";
        ++i;
        if (i < lines.size()) {
            if (!read(i))
                return false;
            if (!EqualsNoCaseAscii(name, "newsuperior"))
                return fail(lines[i].nLine, "\"newsuperior:\" or the end of the record expected");
            if (!CheckDN(value, lines[i].nLine, strError))
                return false;
            record.m_bHasNewSuperior = true;
            record.m_strNewSuperior = CString(value);
            ++i;
        }
        if (i < lines.size())
            return fail(lines[i].nLine, "the modrdn record has lines after \"newsuperior:\"");
        return true;
    }
    }
    return true;
}
