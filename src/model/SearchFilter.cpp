#include "model/SearchFilter.h"

#include "model/DnHelper.h"

#include <cctype>
#include <cstdlib>

namespace {

bool IsKeyChar(char ch) {
    return std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' || ch == '.' || ch == ';';
}

int CompareNoCase(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i]));
        int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool IsInteger(std::string_view text, long long& value) {
    if (text.empty() || text.size() > 18)
        return false;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size())
        return false;
    for (size_t k = i; k < text.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(text[k])))
            return false;
    value = std::strtoll(std::string(text).c_str(), nullptr, 10);
    return true;
}

// Finds needle in hay from position from, ASCII case-insensitively.
size_t FindNoCase(std::string_view hay, std::string_view needle, size_t from) {
    if (needle.empty())
        return from;
    for (size_t i = from; i + needle.size() <= hay.size(); ++i)
        if (CompareNoCase(hay.substr(i, needle.size()), needle) == 0)
            return i;
    return std::string_view::npos;
}

// Whether an attribute named name is one the filter's type asks for: the
// same type, or a subtype of it with options.
bool TypeMatches(std::string_view filterType, std::string_view name) {
    if (CompareNoCase(filterType, name) == 0)
        return true;
    if (filterType.find(';') != std::string_view::npos)
        return false;
    return name.size() > filterType.size() && name[filterType.size()] == ';' &&
           CompareNoCase(name.substr(0, filterType.size()), filterType) == 0;
}

// The superior classes of the standard schema's object classes: a server
// matches (objectClass=person) on an entry that lists only inetOrgPerson,
// and files written by hand often list only the most specific class.
const std::vector<std::string_view>* SuperiorsOf(std::string_view objectClass) {
    static const std::vector<std::pair<std::string_view, std::vector<std::string_view>>> kSuperiors = {
        {"inetorgperson", {"organizationalperson", "person"}},
        {"organizationalperson", {"person"}},
        {"residentialperson", {"person"}},
        {"pilotperson", {"person"}},
        {"newpilotperson", {"person"}},
        {"pilotorganization", {"organization"}},
        {"pilotdsa", {"dsa", "applicationentity"}},
        {"dsa", {"applicationentity"}},
        {"strongauthenticationuser", {}},
    };
    for (const auto& [name, superiors] : kSuperiors)
        if (CompareNoCase(name, objectClass) == 0)
            return &superiors;
    return nullptr;
}

bool IsObjectClass(std::string_view type) {
    return CompareNoCase(type, "objectClass") == 0 || type == "2.5.4.0";
}

} // namespace

class CFilterParser {
public:
    explicit CFilterParser(std::string_view text) : m_text(text) {}

    std::unique_ptr<CSearchFilter> ParseFilter() {
        SkipBlanks();
        if (!Expect('('))
            return nullptr;
        auto pFilter = ParseComponent();
        if (!pFilter)
            return nullptr;
        SkipBlanks();
        if (!Expect(')'))
            return nullptr;
        return pFilter;
    }

    std::unique_ptr<CSearchFilter> ParseAll() {
        SkipBlanks();
        if (m_nPos >= m_text.size())
            return Fail("The filter is empty");
        std::unique_ptr<CSearchFilter> pFilter;
        if (m_text[m_nPos] == '(') {
            pFilter = ParseFilter();
        } else {
            pFilter = ParseItem(); // "cn=x", as the tools accept it
        }
        if (!pFilter)
            return nullptr;
        SkipBlanks();
        if (m_nPos < m_text.size())
            return Fail(m_text[m_nPos] == ')' ? "Unbalanced parenthesis: ')' without '('"
                                              : "Unexpected text after the end of the filter");
        return pFilter;
    }

    CString m_strError;

private:
    std::unique_ptr<CSearchFilter> Fail(const char* pszWhat) {
        if (m_strError.IsEmpty())
            m_strError.Format("%s at position %d.", pszWhat, static_cast<int>(m_nPos) + 1);
        return nullptr;
    }
    void SkipBlanks() {
        while (m_nPos < m_text.size() && m_text[m_nPos] == ' ')
            ++m_nPos;
    }
    bool Expect(char ch) {
        if (m_nPos < m_text.size() && m_text[m_nPos] == ch) {
            ++m_nPos;
            return true;
        }
        if (ch == ')')
            Fail(m_nPos >= m_text.size() ? "Unbalanced parenthesis: ')' missing" : "Expected ')'");
        else
            Fail("Expected '('");
        return false;
    }

    std::unique_ptr<CSearchFilter> ParseComponent() {
        SkipBlanks();
        if (m_nPos >= m_text.size())
            return Fail("Unbalanced parenthesis: ')' missing");
        char ch = m_text[m_nPos];
        if (ch == '&' || ch == '|' || ch == '!') {
            ++m_nPos;
            auto pFilter = std::make_unique<CSearchFilter>();
            pFilter->m_eKind = ch == '&'   ? CSearchFilter::kAnd
                               : ch == '|' ? CSearchFilter::kOr
                                           : CSearchFilter::kNot;
            SkipBlanks();
            while (m_nPos < m_text.size() && m_text[m_nPos] == '(') {
                auto pChild = ParseFilter();
                if (!pChild)
                    return nullptr;
                pFilter->m_children.push_back(std::move(pChild));
                SkipBlanks();
            }
            if (pFilter->m_eKind == CSearchFilter::kNot && pFilter->m_children.size() != 1)
                return Fail("'!' takes exactly one filter");
            if (pFilter->m_children.empty() && m_nPos < m_text.size() && m_text[m_nPos] != ')')
                return Fail("Expected '('");
            return pFilter;
        }
        return ParseItem();
    }

    std::unique_ptr<CSearchFilter> ParseItem() {
        size_t start = m_nPos;
        while (m_nPos < m_text.size() && (IsKeyChar(m_text[m_nPos]) || m_text[m_nPos] == ':'))
            ++m_nPos;
        std::string_view left = m_text.substr(start, m_nPos - start);
        if (left.empty())
            return Fail(m_nPos < m_text.size() && m_text[m_nPos] == ')' ? "Empty filter item"
                                                                        : "Expected an attribute name");
        if (m_nPos >= m_text.size())
            return Fail("Expected '=', '>=', '<=' or '~=' after the attribute name");
        auto pFilter = std::make_unique<CSearchFilter>();
        char op = m_text[m_nPos];
        bool bExtensible = left.find(':') != std::string_view::npos;
        if (op == '=') {
            ++m_nPos;
            pFilter->m_eKind = bExtensible ? CSearchFilter::kExtensible : CSearchFilter::kEqual;
        } else if ((op == '>' || op == '<' || op == '~') && m_nPos + 1 < m_text.size() &&
                   m_text[m_nPos + 1] == '=' && !bExtensible) {
            m_nPos += 2;
            pFilter->m_eKind = op == '>'   ? CSearchFilter::kGreaterOrEqual
                               : op == '<' ? CSearchFilter::kLessOrEqual
                                           : CSearchFilter::kApprox;
        } else {
            return Fail("Expected '=', '>=', '<=' or '~=' after the attribute name");
        }
        std::string type(bExtensible ? left.substr(0, left.find(':')) : left);
        if (!bExtensible && !IsAttributeDescription(type)) {
            m_nPos = start;
            return Fail("Not an attribute name");
        }
        pFilter->m_strType = type;
        // The value: up to ')' with escapes; '*' separates substring pieces.
        std::vector<std::string> pieces(1);
        bool bStar = false;
        while (m_nPos < m_text.size() && m_text[m_nPos] != ')') {
            char ch = m_text[m_nPos];
            if (ch == '(')
                return Fail("'(' in a value must be written \\28");
            if (ch == '\\') {
                int hi = m_nPos + 1 < m_text.size() ? HexDigitValue(m_text[m_nPos + 1]) : -1;
                int lo = m_nPos + 2 < m_text.size() ? HexDigitValue(m_text[m_nPos + 2]) : -1;
                if (hi < 0 || lo < 0)
                    return Fail("A backslash must be followed by two hex digits");
                pieces.back() += static_cast<char>(hi * 16 + lo);
                m_nPos += 3;
                continue;
            }
            if (ch == '*' && pFilter->m_eKind == CSearchFilter::kEqual) {
                bStar = true;
                pieces.emplace_back();
                ++m_nPos;
                continue;
            }
            pieces.back() += ch;
            ++m_nPos;
        }
        if (bStar) {
            if (pieces.size() == 2 && pieces[0].empty() && pieces[1].empty()) {
                pFilter->m_eKind = CSearchFilter::kPresent;
            } else {
                for (size_t i = 1; i + 1 < pieces.size(); ++i)
                    if (pieces[i].empty())
                        return Fail("Two '*' in a row");
                pFilter->m_eKind = CSearchFilter::kSubstring;
                pFilter->m_pieces = std::move(pieces);
            }
        } else {
            pFilter->m_strValue = std::move(pieces[0]);
        }
        return pFilter;
    }

    std::string_view m_text;
    size_t m_nPos = 0;
};

std::unique_ptr<CSearchFilter> CSearchFilter::Parse(std::string_view text, CString& error) {
    CFilterParser parser(text);
    auto pFilter = parser.ParseAll();
    error = pFilter ? CString() : parser.m_strError;
    return pFilter;
}

bool CSearchFilter::MatchValue(const CString& value) const {
    std::string_view v = value.View();
    switch (m_eKind) {
    case kEqual:
    case kApprox:
    case kExtensible:
        return CompareNoCase(v, m_strValue) == 0;
    case kPresent:
        return true;
    case kGreaterOrEqual:
    case kLessOrEqual: {
        long long a = 0;
        long long b = 0;
        int nOrder = IsInteger(v, a) && IsInteger(m_strValue, b) ? (a < b   ? -1
                                                                    : a > b ? 1
                                                                            : 0)
                                                                 : CompareNoCase(v, m_strValue);
        return m_eKind == kGreaterOrEqual ? nOrder >= 0 : nOrder <= 0;
    }
    case kSubstring: {
        const std::string& initial = m_pieces.front();
        const std::string& final = m_pieces.back();
        if (v.size() < initial.size() + final.size())
            return false;
        if (CompareNoCase(v.substr(0, initial.size()), initial) != 0 ||
            CompareNoCase(v.substr(v.size() - final.size()), final) != 0)
            return false;
        size_t pos = initial.size();
        size_t end = v.size() - final.size();
        for (size_t i = 1; i + 1 < m_pieces.size(); ++i) {
            pos = FindNoCase(v.substr(0, end), m_pieces[i], pos);
            if (pos == std::string_view::npos)
                return false;
            pos += m_pieces[i].size();
        }
        return true;
    }
    default:
        return false;
    }
}

void CSearchFilter::CollectTypes(std::vector<std::string>& types) const {
    if (!m_strType.empty())
        types.push_back(m_strType);
    for (const auto& pChild : m_children)
        pChild->CollectTypes(types);
}

bool CSearchFilter::Matches(const CAttributeArray& attributes) const {
    switch (m_eKind) {
    case kAnd:
        for (const auto& pChild : m_children)
            if (!pChild->Matches(attributes))
                return false;
        return true;
    case kOr:
        for (const auto& pChild : m_children)
            if (pChild->Matches(attributes))
                return true;
        return false;
    case kNot:
        return !m_children.front()->Matches(attributes);
    default:
        break;
    }
    const bool bClassEquality =
        IsObjectClass(m_strType) && (m_eKind == kEqual || m_eKind == kApprox || m_eKind == kExtensible);
    for (const CAttribute* pAttribute : attributes) {
        if (!TypeMatches(m_strType, pAttribute->m_strName.View()))
            continue;
        for (const CString& value : *pAttribute) {
            if (MatchValue(value))
                return true;
            if (!bClassEquality)
                continue;
            // Every class derives from top; some from the classes named here.
            if (CompareNoCase(m_strValue, "top") == 0)
                return true;
            if (const auto* pSuperiors = SuperiorsOf(value.View()))
                for (std::string_view superior : *pSuperiors)
                    if (CompareNoCase(superior, m_strValue) == 0)
                        return true;
        }
    }
    return false;
}
