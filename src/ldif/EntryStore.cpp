#include "ldif/EntryStore.h"

#include "ldif/AsciiCase.h"
#include "model/EntryNode.h"

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

// ---------------------------------------------------------------- store

CEntryStore::~CEntryStore() = default;

std::string CEntryStore::Serialize(const CAttributeArray& attributes) {
    std::string out;
    AppendLength(out, static_cast<size_t>(attributes.GetSize()));
    for (const CAttribute* pAttribute : attributes) {
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

void CEntryStore::Keep(const CEntryNode* pEntry, std::string text) {
    CKept& kept = m_texts[pEntry];
    kept.text = std::move(text);
    kept.bFilled = false;
}

void CEntryStore::Fill(CEntryNode* pEntry) {
    auto it = m_texts.find(pEntry);
    if (it == m_texts.end()) {
        Save(pEntry);
        return;
    }
    if (it->second.bFilled)
        return;
    DeleteAttributes(pEntry->m_attributes);
    Deserialize(it->second.text, pEntry->m_attributes);
    it->second.bFilled = true;
}

void CEntryStore::Restore(CEntryNode* pEntry) {
    auto it = m_texts.find(pEntry);
    if (it == m_texts.end()) {
        Save(pEntry);
        return;
    }
    if (it->second.bFilled && Serialize(pEntry->m_attributes) == it->second.text)
        return;
    DeleteAttributes(pEntry->m_attributes);
    Deserialize(it->second.text, pEntry->m_attributes);
    it->second.bFilled = true;
}

void CEntryStore::Save(const CEntryNode* pEntry) {
    CKept& kept = m_texts[pEntry];
    kept.text = Serialize(pEntry->m_attributes);
    kept.bFilled = true;
}

void CEntryStore::Forget(const CEntryNode* pEntry) {
    m_texts.erase(pEntry);
}

void CEntryStore::Clear() {
    m_texts.clear();
}

bool CEntryStore::HasName(const CEntryNode* pEntry, std::string_view upperName) const {
    auto it = m_texts.find(pEntry);
    if (it == m_texts.end()) {
        for (const CAttribute* pAttribute : pEntry->m_attributes) {
            if (EqualsUpperAscii(pAttribute->m_strName.View(), upperName))
                return true;
        }
        return false;
    }
    std::string_view in = it->second.text;
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

bool CEntryStore::AppendAttributeLines(const CEntryNode* pEntry, std::string& out,
                                       std::string_view eol) const {
    auto it = m_texts.find(pEntry);
    if (it == m_texts.end())
        return false;
    std::string_view in = it->second.text;
    const size_t nAttributes = TakeLength(in);
    for (size_t a = 0; a < nAttributes; ++a) {
        const std::string_view name = TakeBytes(in);
        const size_t nValues = TakeLength(in);
        for (size_t v = 0; v < nValues; ++v) {
            out += name;
            out += ": ";
            out += TakeBytes(in);
            out += eol;
        }
    }
    return true;
}
