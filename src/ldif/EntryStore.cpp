#include "ldif/EntryStore.h"

#include "ldif/LdifSyntax.h"
#include "model/AsciiCase.h"
#include "model/EntryNode.h"

#include <algorithm>

namespace {

void AppendLength(std::string& out, size_t n) {
    while (n >= 0x80) {
        out += static_cast<char>((n & 0x7F) | 0x80);
        n >>= 7;
    }
    out += static_cast<char>(n);
}

size_t TakeLength(std::string_view& in) {
    size_t n = 0;
    int nShift = 0;
    while (!in.empty()) {
        const auto c = static_cast<unsigned char>(in.front());
        in.remove_prefix(1);
        n |= static_cast<size_t>(c & 0x7F) << nShift;
        if (!(c & 0x80))
            break;
        nShift += 7;
    }
    return n;
}

std::string_view TakeBytes(std::string_view& in) {
    const size_t n = TakeLength(in);
    std::string_view bytes = in.substr(0, n);
    in.remove_prefix(bytes.size());
    return bytes;
}

} // namespace

// ---------------------------------------------------------------- builder

void CAttributeTextBuilder::Start() {
    m_nUsed = 0;
    m_values.clear();
    m_byName.clear();
}

void CAttributeTextBuilder::Add(std::string_view name, std::string_view value) {
    size_t nFound = m_nUsed;
    if (m_byName.empty()) {
        for (size_t i = 0; i < m_nUsed; ++i) {
            if (m_attributes[i].name == name) {
                nFound = i;
                break;
            }
        }
        if (nFound == m_nUsed && m_nUsed >= kScanLimit) {
            for (size_t i = 0; i < m_nUsed; ++i)
                m_byName.emplace(m_attributes[i].name, i);
        }
    } else if (auto it = m_byName.find(std::string(name)); it != m_byName.end()) {
        nFound = it->second;
    }
    if (nFound == m_nUsed) {
        if (m_nUsed == m_attributes.size())
            m_attributes.emplace_back();
        CPending& fresh = m_attributes[m_nUsed];
        fresh.name.assign(name);
        fresh.values.clear();
        if (!m_byName.empty())
            m_byName.emplace(fresh.name, m_nUsed);
        ++m_nUsed;
    }
    m_attributes[nFound].values.emplace_back(m_values.size(), value.size());
    m_values.append(value);
}

std::string CAttributeTextBuilder::Finish() {
    size_t nSize = 2 + m_values.size();
    for (size_t i = 0; i < m_nUsed; ++i)
        nSize += m_attributes[i].name.size() + 4 + 3 * m_attributes[i].values.size();
    std::string text;
    text.reserve(nSize);
    AppendLength(text, m_nUsed);
    for (size_t i = 0; i < m_nUsed; ++i) {
        const CPending& attribute = m_attributes[i];
        AppendLength(text, attribute.name.size());
        text += attribute.name;
        AppendLength(text, attribute.values.size());
        for (auto [nOffset, nLength] : attribute.values) {
            AppendLength(text, nLength);
            text.append(m_values, nOffset, nLength);
        }
    }
    text.shrink_to_fit();
    Start();
    return text;
}

// ---------------------------------------------------------------- records

std::string ParseRecordAttributes(std::string_view record,
                                  std::vector<std::pair<std::string, std::string>>* pUrls) {
    CAttributeTextBuilder builder;
    builder.Start();
    bool bFirst = true;
    std::string value;
    ForEachLdifLine(record, [&](std::string_view line, size_t, size_t) {
        if (bFirst) { // the dn line
            bFirst = false;
            return;
        }
        if (ClassifyLdifLine(line) != ELdifLineKind::Attribute)
            return;
        std::string_view name;
        if (DecodeLdifValue(line, name, value) == ELdifValueForm::Url && pUrls)
            pUrls->emplace_back(name, value);
        builder.Add(name, value);
    });
    return builder.Finish();
}

namespace {

// A comment inside a record, with the value line it stood above: an edited
// record is written anew, and the comments the user wrote go back beside
// the values they describe.
struct CRecordComment {
    std::string_view text; // the comment's lines as read, breaks included
    std::string upperName;
    std::string value;
    bool bUsed = false;
};

std::vector<CRecordComment> RecordComments(std::string_view record) {
    std::vector<CRecordComment> comments;
    size_t nCommentStart = std::string_view::npos, nCommentEnd = 0;
    std::string value;
    ForEachLdifLine(record, [&](std::string_view line, size_t nStart, size_t nEnd) {
        const ELdifLineKind eKind = ClassifyLdifLine(line);
        if (eKind == ELdifLineKind::Comment) {
            if (nCommentStart == std::string_view::npos)
                nCommentStart = nStart;
            nCommentEnd = nEnd;
            return;
        }
        if (eKind != ELdifLineKind::Attribute || nCommentStart == std::string_view::npos)
            return;
        std::string_view name;
        DecodeLdifValue(line, name, value);
        CRecordComment comment;
        comment.text = record.substr(nCommentStart, nCommentEnd - nCommentStart);
        for (char c : name)
            comment.upperName += UpperAscii(c);
        comment.value = value;
        comments.push_back(std::move(comment));
        nCommentStart = std::string_view::npos;
    });
    return comments;
}

// Writes the comments that pick says belong here, once each.
template <typename Pick>
void AppendComments(std::string& out, std::vector<CRecordComment>* pComments, Pick pick) {
    if (!pComments)
        return;
    for (CRecordComment& comment : *pComments) {
        if (comment.bUsed || !pick(comment))
            continue;
        comment.bUsed = true;
        out += comment.text;
    }
}

void AppendValueLinesKeeping(std::string& out, std::string_view in,
                             const std::vector<std::pair<std::string, std::string>>* pUrls,
                             std::string_view eol, std::vector<CRecordComment>* pComments,
                             int* pSkipped = nullptr) {
    std::vector<bool> usedUrls(pUrls ? pUrls->size() : 0);
    const size_t nAttributes = TakeLength(in);
    for (size_t a = 0; a < nAttributes; ++a) {
        const std::string_view name = TakeBytes(in);
        const size_t nValues = TakeLength(in);
        if (pSkipped && !IsAttributeDescription(name)) {
            ++*pSkipped;
            for (size_t v = 0; v < nValues; ++v)
                TakeBytes(in);
            continue;
        }
        std::string_view values = in;
        if (pComments) {
            // A comment whose value is gone or changed stays with its attribute.
            std::vector<std::string_view> current;
            for (size_t v = 0; v < nValues; ++v)
                current.push_back(TakeBytes(values));
            AppendComments(out, pComments, [&](const CRecordComment& comment) {
                return EqualsUpperAscii(name, comment.upperName) &&
                       std::find(current.begin(), current.end(), comment.value) == current.end();
            });
        }
        for (size_t v = 0; v < nValues; ++v) {
            const std::string_view value = TakeBytes(in);
            AppendComments(out, pComments, [&](const CRecordComment& comment) {
                return comment.value == value && EqualsUpperAscii(name, comment.upperName);
            });
            bool bUrl = false;
            for (size_t u = 0; pUrls && u < pUrls->size() && !bUrl; ++u) {
                if (!usedUrls[u] && (*pUrls)[u].first == name && (*pUrls)[u].second == value)
                    usedUrls[u] = bUrl = true;
            }
            if (bUrl)
                AppendLdifUrlLine(out, name, value, eol);
            else
                AppendLdifValueLine(out, name, value, eol);
        }
    }
}

} // namespace

void AppendValueLines(std::string& out, std::string_view attributes,
                      const std::vector<std::pair<std::string, std::string>>* pUrls, std::string_view eol,
                      int* pSkipped) {
    AppendValueLinesKeeping(out, attributes, pUrls, eol, nullptr, pSkipped);
}

void AppendPlainRecord(std::string& out, std::string_view dn, std::string_view attributes,
                       const std::vector<std::pair<std::string, std::string>>* pUrls, std::string_view eol,
                       std::string_view original) {
    AppendLdifValueLine(out, "dn", dn, eol);
    std::vector<CRecordComment> comments = RecordComments(original);
    AppendValueLinesKeeping(out, attributes, pUrls, eol, &comments);
    // Those of attributes no longer there close the record.
    AppendComments(out, &comments, [](const CRecordComment&) { return true; });
}

// ---------------------------------------------------------------- store

CEntryStore::~CEntryStore() = default;

std::string CEntryStore::Serialize(const CAttributeArray& attributes) {
    // An attribute without values writes no line: it is left out, so that
    // a value added and deleted again leaves the record as it was.
    const auto nWithValues =
        std::count_if(attributes.begin(), attributes.end(),
                      [](const CAttribute* pAttribute) { return !pAttribute->IsEmpty(); });
    std::string out;
    AppendLength(out, static_cast<size_t>(nWithValues));
    for (const CAttribute* pAttribute : attributes) {
        if (pAttribute->IsEmpty())
            continue;
        AppendLength(out, pAttribute->m_strName.Str().size());
        out += pAttribute->m_strName.Str();
        AppendLength(out, static_cast<size_t>(pAttribute->GetSize()));
        for (const CString& value : *pAttribute) {
            AppendLength(out, value.Str().size());
            out += value.Str();
        }
    }
    return out;
}

void CEntryStore::Deserialize(std::string_view in, CAttributeArray& attributes) {
    const size_t nAttributes = TakeLength(in);
    attributes.Reserve(attributes.GetSize() + static_cast<int>(nAttributes));
    for (size_t a = 0; a < nAttributes; ++a) {
        auto* pAttribute = new CAttribute;
        pAttribute->m_strName = CString(TakeBytes(in));
        const size_t nValues = TakeLength(in);
        pAttribute->Reserve(static_cast<int>(nValues));
        for (size_t v = 0; v < nValues; ++v)
            pAttribute->Add(CString(TakeBytes(in)));
        attributes.Add(pAttribute);
    }
}

std::string_view CEntryStore::RawOf(const CKept& kept) const {
    return m_text.View(kept.nOffset, kept.nLength);
}

std::string CEntryStore::TruthOf(const CKept& kept) const {
    return kept.pEdited ? kept.pEdited->text : ParseRecordAttributes(RawOf(kept));
}

void CEntryStore::MakeEdited(CKept& kept) const {
    if (kept.pEdited)
        return;
    auto pEdited = std::make_unique<CEdited>();
    if (kept.nLength > 0)
        pEdited->text = ParseRecordAttributes(RawOf(kept), &pEdited->urls);
    else
        pEdited->text = Serialize(CAttributeArray());
    kept.pEdited = std::move(pEdited);
}

void CEntryStore::KeepRecord(const CEntryNode* pEntry, size_t nOffset, size_t nLength, bool bHasRequired) {
    CKept& kept = m_kept[pEntry];
    kept.nOffset = nOffset;
    kept.nLength = nLength;
    kept.pEdited.reset();
    kept.bFilled = false;
    kept.bHasRequired = bHasRequired;
}

void CEntryStore::Fill(CEntryNode* pEntry) {
    auto it = m_kept.find(pEntry);
    if (it == m_kept.end()) {
        Save(pEntry);
        return;
    }
    if (it->second.bFilled)
        return;
    DeleteAttributes(pEntry->m_attributes);
    Deserialize(TruthOf(it->second), pEntry->m_attributes);
    it->second.bFilled = true;
}

void CEntryStore::Peek(const CEntryNode* pEntry, CAttributeArray& out) const {
    auto it = m_kept.find(pEntry);
    if (it == m_kept.end() || it->second.bFilled)
        CopyAttributes(out, pEntry->m_attributes);
    else
        Deserialize(TruthOf(it->second), out);
}

void CEntryStore::Restore(CEntryNode* pEntry) {
    auto it = m_kept.find(pEntry);
    if (it == m_kept.end()) {
        Save(pEntry);
        return;
    }
    const std::string truth = TruthOf(it->second);
    if (it->second.bFilled && Serialize(pEntry->m_attributes) == truth)
        return;
    DeleteAttributes(pEntry->m_attributes);
    Deserialize(truth, pEntry->m_attributes);
    it->second.bFilled = true;
}

void CEntryStore::Save(const CEntryNode* pEntry) {
    CKept& kept = m_kept[pEntry];
    std::string text = Serialize(pEntry->m_attributes);
    kept.bFilled = true;
    // Values back as they were read: the bytes read are written again (with
    // a new dn line if the entry was renamed meanwhile).
    if (kept.nLength > 0 && text == ParseRecordAttributes(RawOf(kept))) {
        kept.pEdited.reset();
        return;
    }
    MakeEdited(kept);
    kept.pEdited->text = std::move(text);
}

void CEntryStore::MarkRenamed(const CEntryNode* pEntry) {
    // A record read gets its new dn line when it is written (AppendRecord).
    if (m_kept.find(pEntry) == m_kept.end())
        Save(pEntry);
}

void CEntryStore::Forget(const CEntryNode* pEntry) {
    m_kept.erase(pEntry);
}

void CEntryStore::Clear() {
    m_kept.clear();
    m_text.Clear();
}

bool CEntryStore::HasRequiredName(const CEntryNode* pEntry, std::string_view upperName) const {
    auto it = m_kept.find(pEntry);
    if (it != m_kept.end() && !it->second.pEdited)
        return it->second.bHasRequired;
    if (it == m_kept.end()) {
        for (const CAttribute* pAttribute : pEntry->m_attributes) {
            if (EqualsUpperAscii(pAttribute->m_strName.View(), upperName))
                return true;
        }
        return false;
    }
    std::string_view in = it->second.pEdited->text;
    const size_t nAttributes = TakeLength(in);
    for (size_t a = 0; a < nAttributes; ++a) {
        const std::string_view name = TakeBytes(in);
        if (EqualsUpperAscii(name, upperName))
            return true;
        const size_t nValues = TakeLength(in);
        for (size_t v = 0; v < nValues; ++v)
            TakeBytes(in);
    }
    return false;
}

bool CEntryStore::AppendAttributeLines(const CEntryNode* pEntry, std::string& out, std::string_view eol,
                                       int& nSkipped) const {
    auto it = m_kept.find(pEntry);
    if (it == m_kept.end())
        return false;
    if (it->second.pEdited) {
        AppendValueLines(out, it->second.pEdited->text, &it->second.pEdited->urls, eol, &nSkipped);
    } else {
        std::vector<std::pair<std::string, std::string>> urls;
        const std::string text = ParseRecordAttributes(RawOf(it->second), &urls);
        AppendValueLines(out, text, &urls, eol, &nSkipped);
    }
    return true;
}

namespace {

// Where the first line of a record (its dn line, folded or not) ends,
// its line break included.
size_t FirstLineEnd(std::string_view record) {
    size_t nLf = record.find('\n');
    while (nLf != std::string_view::npos && nLf + 1 < record.size() && record[nLf + 1] == ' ')
        nLf = record.find('\n', nLf + 1);
    return nLf == std::string_view::npos ? record.size() : nLf + 1;
}

// Whether the record read still carries this DN.
bool RecordHasDn(std::string_view record, std::string_view dn) {
    // The common case without decoding: "dn: <DN>" alone on its line.
    if (record.size() > dn.size() + 4 && record.substr(0, 4) == "dn: " && record.substr(4, dn.size()) == dn) {
        std::string_view rest = record.substr(4 + dn.size());
        if (rest.substr(0, 2) == "\r\n")
            rest.remove_prefix(2);
        else if (rest.front() == '\n')
            rest.remove_prefix(1);
        else
            rest = " "; // more on the line: decode below
        if (rest.empty() || rest.front() != ' ')
            return true;
    }
    std::string first;
    bool bFirst = true;
    ForEachLdifLine(record, [&](std::string_view line, size_t, size_t) {
        if (bFirst) {
            std::string_view name;
            DecodeLdifValue(line, name, first);
        }
        bFirst = false;
    });
    return first == dn;
}

} // namespace

void CEntryStore::AppendRecord(const CEntryNode* pEntry, std::string& out, std::string_view eol) const {
    auto it = m_kept.find(pEntry);
    if (it == m_kept.end()) {
        AppendPlainRecord(out, pEntry->m_strDN.View(), Serialize(pEntry->m_attributes), nullptr, eol);
        return;
    }
    const CKept& kept = it->second;
    const std::string_view raw = RawOf(kept);
    if (kept.pEdited) {
        AppendPlainRecord(out, pEntry->m_strDN.View(), kept.pEdited->text, &kept.pEdited->urls, eol, raw);
        return;
    }
    if (RecordHasDn(raw, pEntry->m_strDN.View())) {
        out += raw;
        return;
    }
    // Renamed, values as read: a new dn line, the rest as it was.
    AppendLdifValueLine(out, "dn", pEntry->m_strDN.View(), eol);
    out += raw.substr(FirstLineEnd(raw));
}
