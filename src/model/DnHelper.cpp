#include "model/DnHelper.h"

#include "model/AsciiCase.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsBlank(char ch) {
    return ch == ' ';
}

// The byte of a hex pair at text[i] (after its backslash), or -1.
int HexPairAt(std::string_view text, size_t i) {
    if (i + 1 >= text.size())
        return -1;
    int hi = HexDigitValue(text[i]);
    int lo = HexDigitValue(text[i + 1]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// Characters that RFC 4514 requires to be escaped anywhere in a value.
bool MustEscape(unsigned char ch) {
    return ch == '"' || ch == '+' || ch == ',' || ch == ';' || ch == '<' || ch == '>' || ch == '\\' ||
           ch == 0;
}

bool IsPrintableAscii(int byte) {
    return byte >= 0x20 && byte <= 0x7E;
}

// Trims blanks on the left and unescaped blanks on the right.
std::string_view TrimRdn(std::string_view text) {
    size_t first = 0;
    while (first < text.size() && IsBlank(text[first]))
        ++first;
    size_t last = text.size();
    while (last > first && IsBlank(text[last - 1])) {
        size_t nSlashes = 0;
        for (size_t i = last - 1; i > first && text[i - 1] == '\\'; --i)
            ++nSlashes;
        if (nSlashes % 2 == 1)
            break; // "\ " keeps its blank
        --last;
    }
    return text.substr(first, last - first);
}

// Walks a DN and calls onSeparator(position) at every separator in seps
// that is neither escaped nor quoted. false for a dangling backslash or
// an open quote.
template <typename F> bool WalkSeparators(std::string_view dn, std::string_view seps, F onSeparator) {
    bool bQuoted = false;
    for (size_t i = 0; i < dn.size(); ++i) {
        char ch = dn[i];
        if (ch == '\\') {
            if (i + 1 >= dn.size())
                return false;
            ++i; // the escaped character (or the first of a hex pair) is plain
        } else if (ch == '"') {
            bQuoted = !bQuoted;
        } else if (!bQuoted && seps.find(ch) != std::string_view::npos) {
            if (!onSeparator(i))
                return true;
        }
    }
    return !bQuoted;
}

size_t FirstComma(std::string_view dn) {
    size_t found = std::string_view::npos;
    WalkSeparators(dn, ",", [&](size_t i) {
        found = i;
        return false;
    });
    return found;
}

bool IsAttributeType(std::string_view type) {
    if (type.empty())
        return false;
    if (std::isalpha(static_cast<unsigned char>(type[0]))) {
        for (char ch : type)
            if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '-')
                return false;
        return true;
    }
    // numericoid: number *( "." number )
    bool bDigitSeen = false;
    for (char ch : type) {
        if (std::isdigit(static_cast<unsigned char>(ch))) {
            bDigitSeen = true;
        } else if (ch == '.' && bDigitSeen) {
            bDigitSeen = false;
        } else {
            return false;
        }
    }
    return bDigitSeen;
}

// One attribute value as RFC 4514 writes it (string or #hexstring), or an
// old-style quoted value.
bool IsValidValue(std::string_view value) {
    if (value.empty())
        return true;
    if (value[0] == '#') {
        if (value.size() < 3 || (value.size() - 1) % 2 != 0)
            return false;
        for (size_t i = 1; i < value.size(); ++i)
            if (HexDigitValue(value[i]) < 0)
                return false;
        return true;
    }
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        std::string_view inner = value.substr(1, value.size() - 2);
        for (size_t i = 0; i < inner.size(); ++i) {
            if (inner[i] == '\\') {
                if (++i >= inner.size())
                    return false;
            } else if (inner[i] == '"') {
                return false;
            }
        }
        return true;
    }
    if (value[0] == ' ')
        return false;
    for (size_t i = 0; i < value.size(); ++i) {
        unsigned char ch = static_cast<unsigned char>(value[i]);
        if (ch == '\\') {
            if (i + 1 >= value.size())
                return false;
            if (HexPairAt(value, i + 1) >= 0) {
                i += 2;
                continue;
            }
            char next = value[i + 1];
            if (std::string_view("\"+,;<>\\ #=").find(next) == std::string_view::npos)
                return false;
            ++i;
            continue;
        }
        if (MustEscape(ch))
            return false;
    }
    return value.back() != ' ' || (value.size() >= 2 && value[value.size() - 2] == '\\');
}

// ASCII letters only: DNs are UTF-8, and the locale must not matter.
void AppendUpper(std::string& out, char ch) {
    out += UpperAscii(ch);
}

// Length of the UTF-8 character that starts with lead, or 0 when lead
// cannot start one.
int Utf8Length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

} // namespace

int HexDigitValue(char ch) {
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

bool DnSplit(std::string_view dn, std::vector<std::string>& rdns) {
    rdns.clear();
    if (TrimRdn(dn).empty())
        return true;
    size_t start = 0;
    bool bEmptyRdn = false;
    bool bOk = WalkSeparators(dn, ",", [&](size_t i) {
        std::string_view rdn = TrimRdn(dn.substr(start, i - start));
        bEmptyRdn = bEmptyRdn || rdn.empty();
        rdns.emplace_back(rdn);
        start = i + 1;
        return true;
    });
    std::string_view last = TrimRdn(dn.substr(start));
    bEmptyRdn = bEmptyRdn || last.empty();
    rdns.emplace_back(last);
    return bOk && !bEmptyRdn;
}

CString DnFirstRdn(const CString& dn) {
    size_t comma = FirstComma(dn.View());
    return CString(TrimRdn(dn.View().substr(0, comma)));
}

CString DnParent(const CString& dn) {
    size_t comma = FirstComma(dn.View());
    if (comma == std::string_view::npos)
        return CString();
    return CString(TrimRdn(dn.View().substr(comma + 1)));
}

CString DnEscapeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 8);
    for (size_t i = 0; i < value.size(); ++i) {
        unsigned char ch = static_cast<unsigned char>(value[i]);
        bool bEdge = (i == 0 && (ch == ' ' || ch == '#')) || (i + 1 == value.size() && ch == ' ');
        if (ch < 0x20 || ch == 0x7F) {
            static const char kHex[] = "0123456789ABCDEF";
            out += '\\';
            out += kHex[ch >> 4];
            out += kHex[ch & 15];
        } else if (MustEscape(ch) || bEdge) {
            out += '\\';
            out += static_cast<char>(ch);
        } else {
            out += static_cast<char>(ch);
        }
    }
    return CString(std::move(out));
}

bool DnIsValid(std::string_view dn) {
    if (dn.empty())
        return true;
    std::vector<std::string> rdns;
    if (!DnSplit(dn, rdns))
        return false;
    for (const std::string& rdn : rdns)
        if (!DnIsValidRdn(rdn))
            return false;
    return true;
}

bool DnIsValidRdn(std::string_view rdn) {
    rdn = TrimRdn(rdn);
    if (rdn.empty())
        return false;
    size_t start = 0;
    bool bValid = true;
    auto checkPair = [&](std::string_view pair) {
        size_t eq = pair.find('=');
        if (eq == std::string_view::npos)
            return false;
        std::string_view type = TrimRdn(pair.substr(0, eq));
        return IsAttributeType(type) && IsValidValue(pair.substr(eq + 1));
    };
    bool bOk = WalkSeparators(rdn, ",+", [&](size_t i) {
        if (rdn[i] == ',') {
            bValid = false;
            return false;
        }
        bValid = bValid && checkPair(rdn.substr(start, i - start));
        start = i + 1;
        return true;
    });
    return bOk && bValid && checkPair(rdn.substr(start));
}

CString DnRdnFromTyped(std::string_view typed) {
    std::string_view text = TrimRdn(typed);
    if (DnIsValidRdn(text))
        return CString(text);
    size_t eq = text.find('=');
    if (eq == std::string_view::npos)
        return CString();
    std::string_view type = TrimRdn(text.substr(0, eq));
    if (!IsAttributeType(type))
        return CString();
    std::string_view value = text.substr(eq + 1);
    while (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    return CString(type) + "=" + DnEscapeValue(value);
}

CTypedName DnNameFromTyped(std::string_view typed, const CString& parentDN) {
    CTypedName name;
    name.strParent = parentDN;
    std::string_view text = TrimRdn(typed);
    std::vector<std::string> rdns;
    // A whole DN: every part an RDN of its own. "cn=Smith, J" is not one
    // (" J" is no RDN), so its comma stays part of the value.
    if (!DnIsValidRdn(text) && DnSplit(text, rdns) && rdns.size() > 1 &&
        std::all_of(rdns.begin(), rdns.end(), [](const std::string& rdn) { return DnIsValidRdn(rdn); })) {
        name.strRdn = CString(TrimRdn(rdns.front()));
        name.strParent = DnParent(CString(text));
        name.bOtherParent = DnCompareKey(name.strParent.View()) != DnCompareKey(parentDN.View());
        return name;
    }
    name.strRdn = DnRdnFromTyped(text);
    return name;
}

namespace {

// The attributes that name entries in the common schemas, with their
// aliases and OIDs; all of them match their values ignoring case.
struct CKnownType {
    std::string_view key; // upper-cased, the form the compare key uses
    std::string_view alias;
    std::string_view oid;
};
constexpr CKnownType kKnownTypes[] = {
    {"CN", "COMMONNAME", "2.5.4.3"},
    {"SN", "SURNAME", "2.5.4.4"},
    {"SERIALNUMBER", "", "2.5.4.5"},
    {"C", "COUNTRYNAME", "2.5.4.6"},
    {"L", "LOCALITYNAME", "2.5.4.7"},
    {"ST", "STATEORPROVINCENAME", "2.5.4.8"},
    {"STREET", "STREETADDRESS", "2.5.4.9"},
    {"O", "ORGANIZATIONNAME", "2.5.4.10"},
    {"OU", "ORGANIZATIONALUNITNAME", "2.5.4.11"},
    {"TITLE", "", "2.5.4.12"},
    {"DESCRIPTION", "", "2.5.4.13"},
    {"NAME", "", "2.5.4.41"},
    {"GIVENNAME", "GN", "2.5.4.42"},
    {"INITIALS", "", "2.5.4.43"},
    {"UID", "USERID", "0.9.2342.19200300.100.1.1"},
    {"MAIL", "RFC822MAILBOX", "0.9.2342.19200300.100.1.3"},
    {"DC", "DOMAINCOMPONENT", "0.9.2342.19200300.100.1.25"},
    {"EMPLOYEENUMBER", "", "2.16.840.1.113730.3.1.3"},
};

// Appends the attribute type as the key writes it: upper-cased, without an
// "OID." prefix, a known alias or OID as its usual name. Returns whether
// its values match ignoring case.
bool AppendTypeKey(std::string& key, std::string_view type) {
    if (type.size() > 4 && EqualsUpperAscii(type.substr(0, 4), "OID."))
        type.remove_prefix(4);
    for (const CKnownType& known : kKnownTypes) {
        if (EqualsUpperAscii(type, known.key) || EqualsUpperAscii(type, known.alias) || type == known.oid) {
            key += known.key;
            return true;
        }
    }
    for (char ch : type)
        AppendUpper(key, ch);
    return false;
}

std::string TypeKey(std::string_view type, bool& bCaseIgnored) {
    std::string key;
    bCaseIgnored = AppendTypeKey(key, type);
    return key;
}

// The bytes of a value written "#" and hex: the contents of the BER string
// it encodes, or the hex text itself when it is no simple one.
std::string HexValueBytes(std::string_view hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(HexPairAt(hex, i));
    if (bytes.size() >= 2) {
        size_t nLength = static_cast<unsigned char>(bytes[1]);
        size_t nHeader = 2;
        if (nLength == 0x81 && bytes.size() >= 3) {
            nLength = static_cast<unsigned char>(bytes[2]);
            nHeader = 3;
        } else if (nLength == 0x82 && bytes.size() >= 4) {
            nLength = static_cast<size_t>(static_cast<unsigned char>(bytes[2])) << 8 |
                      static_cast<unsigned char>(bytes[3]);
            nHeader = 4;
        }
        if (nLength < 0x80 || nHeader > 2) {
            if (nHeader + nLength == bytes.size())
                return bytes.substr(nHeader);
        }
    }
    return "#" + std::string(hex);
}

// A value as written in an RDN (trimmed around its '=') turned into its
// bytes: escapes resolved, quotes removed, #hex decoded.
std::string UnescapeValue(std::string_view value) {
    if (!value.empty() && value[0] == '#' && IsValidValue(value))
        return HexValueBytes(value.substr(1));
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        const char ch = value[i];
        if (ch == '\\' && i + 1 < value.size()) {
            const int byte = HexPairAt(value, i + 1);
            out += byte >= 0 ? static_cast<char>(byte) : value[i + 1];
            i += byte >= 0 ? 2 : 1;
        } else if (ch != '"') {
            out += ch;
        }
    }
    return out;
}

// Case and runs of blanks do not count for the case-ignoring types.
void AppendFolded(std::string& out, std::string_view value) {
    const size_t nStart = out.size();
    for (char ch : value) {
        if (ch == ' ') {
            if (out.size() > nStart && out.back() != ' ')
                out += ' ';
        } else {
            AppendUpper(out, ch);
        }
    }
    if (out.size() > nStart && out.back() == ' ')
        out.pop_back();
}

std::string FoldValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    AppendFolded(out, value);
    return out;
}

// Splits "type=value" pairs of one RDN; false when one has no '='.
template <typename F> bool ForEachAva(std::string_view rdn, F onAva) {
    size_t start = 0;
    bool bValid = true;
    auto take = [&](std::string_view pair) {
        const size_t eq = pair.find('=');
        if (eq == std::string_view::npos)
            return false;
        std::string_view value = pair.substr(eq + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        onAva(TrimRdn(pair.substr(0, eq)), TrimRdn(value));
        return true;
    };
    const bool bOk = WalkSeparators(rdn, "+", [&](size_t i) {
        bValid = take(rdn.substr(start, i - start)) && bValid;
        start = i + 1;
        return true;
    });
    return bOk && take(rdn.substr(start)) && bValid;
}

bool IsKeySeparator(unsigned char byte) {
    return byte < 0x20 || byte == ',' || byte == '+' || byte == '\\' || byte == '=';
}

void AppendKeyValue(std::string& key, std::string_view bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    for (char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        // Only the key's own separators are escaped, so that a value never
        // reads as one.
        if (IsKeySeparator(byte)) {
            key += '\\';
            key += kHex[byte >> 4];
            key += kHex[byte & 15];
        } else {
            key += ch;
        }
    }
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The key of a DN without escapes, quotes, multi-valued RDNs or #hex values
// (most DNs of a file), in one pass; false for any other DN, or a malformed
// one, which the full path handles.
bool AppendPlainDnKey(std::string& key, std::string_view dn) {
    if (dn.find_first_of("\\\"+") != std::string_view::npos)
        return false;
    for (size_t pos = 0;;) {
        const size_t comma = dn.find(',', pos);
        const std::string_view rdn =
            dn.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
        const size_t eq = rdn.find('=');
        if (eq == std::string_view::npos)
            return false;
        const std::string_view type = TrimBlanks(rdn.substr(0, eq));
        const std::string_view value = TrimBlanks(rdn.substr(eq + 1));
        if (type.empty() || (!value.empty() && value.front() == '#'))
            return false;
        const bool bCaseIgnored = AppendTypeKey(key, type);
        key += '=';
        const size_t nValueStart = key.size();
        if (bCaseIgnored)
            AppendFolded(key, value);
        else
            key += value;
        if (std::any_of(key.begin() + static_cast<std::ptrdiff_t>(nValueStart), key.end(),
                        [](char ch) { return IsKeySeparator(static_cast<unsigned char>(ch)); }))
            return false;
        if (comma == std::string_view::npos)
            return true;
        key += ',';
        pos = comma + 1;
    }
}

} // namespace

bool DnSplitRdn(std::string_view rdn, std::vector<CDnAva>& avas) {
    avas.clear();
    rdn = TrimRdn(rdn);
    if (rdn.empty())
        return false;
    return ForEachAva(rdn, [&](std::string_view type, std::string_view value) {
        avas.push_back({std::string(type), UnescapeValue(value)});
    });
}

bool DnTypesMatch(std::string_view a, std::string_view b) {
    bool bIgnored = false;
    return TypeKey(a, bIgnored) == TypeKey(b, bIgnored);
}

bool DnValuesMatch(std::string_view type, std::string_view a, std::string_view b) {
    bool bCaseIgnored = false;
    TypeKey(type, bCaseIgnored);
    return bCaseIgnored ? FoldValue(a) == FoldValue(b) : a == b;
}

bool DnApplyRename(CAttributeArray& attributes, std::string_view oldRdn, std::string_view newRdn,
                   bool bDeleteOldRdn) {
    std::vector<CDnAva> oldAvas, newAvas;
    if (!DnSplitRdn(newRdn, newAvas))
        return false;
    auto named = [](const std::vector<CDnAva>& avas, const CDnAva& ava) {
        return std::any_of(avas.begin(), avas.end(), [&](const CDnAva& other) {
            return DnTypesMatch(other.type, ava.type) && DnValuesMatch(ava.type, other.value, ava.value);
        });
    };
    if (bDeleteOldRdn && DnSplitRdn(oldRdn, oldAvas)) {
        for (const CDnAva& old : oldAvas) {
            if (named(newAvas, old))
                continue;
            for (int a = attributes.GetSize() - 1; a >= 0; --a) {
                CAttribute* pAttribute = attributes[a];
                if (!DnTypesMatch(pAttribute->m_strName.View(), old.type))
                    continue;
                for (int v = pAttribute->GetSize() - 1; v >= 0; --v) {
                    if (DnValuesMatch(old.type, pAttribute->GetAt(v).View(), old.value))
                        pAttribute->RemoveAt(v);
                }
                if (pAttribute->IsEmpty()) {
                    delete pAttribute;
                    attributes.RemoveAt(a);
                }
            }
        }
    }
    for (const CDnAva& ava : newAvas) {
        CAttribute* pTarget = nullptr;
        bool bPresent = false;
        for (CAttribute* pAttribute : attributes) {
            if (!DnTypesMatch(pAttribute->m_strName.View(), ava.type))
                continue;
            pTarget = pTarget ? pTarget : pAttribute;
            for (const CString& value : *pAttribute)
                bPresent = bPresent || DnValuesMatch(ava.type, value.View(), ava.value);
        }
        if (bPresent)
            continue;
        if (!pTarget) {
            pTarget = new CAttribute;
            pTarget->m_strName = CString(ava.type);
            attributes.Add(pTarget);
        }
        pTarget->Add(CString(ava.value));
    }
    return true;
}

std::string DnCompareKey(std::string_view dn) {
    std::string plain;
    plain.reserve(dn.size());
    if (AppendPlainDnKey(plain, dn))
        return plain;
    std::vector<std::string> rdns;
    if (!DnSplit(dn, rdns)) {
        std::string out;
        for (char ch : dn)
            AppendUpper(out, ch);
        return out;
    }
    std::string key;
    key.reserve(dn.size());
    std::vector<std::string> avaKeys;
    for (size_t r = 0; r < rdns.size(); ++r) {
        if (r > 0)
            key += ',';
        avaKeys.clear();
        const bool bOk = ForEachAva(rdns[r], [&](std::string_view type, std::string_view value) {
            bool bCaseIgnored = false;
            std::string avaKey = TypeKey(type, bCaseIgnored);
            avaKey += '=';
            const std::string bytes = UnescapeValue(value);
            AppendKeyValue(avaKey, bCaseIgnored ? FoldValue(bytes) : bytes);
            avaKeys.push_back(std::move(avaKey));
        });
        if (!bOk) {
            for (char ch : rdns[r])
                AppendUpper(key, ch);
            continue;
        }
        // The order of a multi-valued RDN's pairs does not count.
        if (avaKeys.size() > 1)
            std::sort(avaKeys.begin(), avaKeys.end());
        for (size_t i = 0; i < avaKeys.size(); ++i) {
            if (i > 0)
                key += '+';
            key += avaKeys[i];
        }
    }
    return key;
}

CString DnForDisplay(const CString& dn) {
    std::string_view text = dn.View();
    if (text.find('\\') == std::string_view::npos)
        return dn;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        int byte = HexPairAt(text, i + 1);
        if (byte < 0) {
            out += text[i];
            out += text[++i];
            continue;
        }
        if (IsPrintableAscii(byte)) {
            char ch = static_cast<char>(byte);
            if (MustEscape(static_cast<unsigned char>(ch)) || ch == ' ' || ch == '#' || ch == '=')
                out += '\\';
            out += ch;
            i += 2;
            continue;
        }
        // A run of hex pairs that spells one UTF-8 character is shown as it.
        int nLength = Utf8Length(static_cast<unsigned char>(byte));
        std::string decoded(1, static_cast<char>(byte));
        size_t j = i + 3;
        for (int k = 1; k < nLength; ++k, j += 3) {
            int next = j < text.size() && text[j] == '\\' ? HexPairAt(text, j + 1) : -1;
            if (next < 0x80 || next > 0xBF) {
                nLength = 0;
                break;
            }
            decoded += static_cast<char>(next);
        }
        if (nLength == 0) {
            out.append(text.substr(i, 3));
            i += 2;
        } else {
            out += decoded;
            i = j - 1;
        }
    }
    return CString(std::move(out));
}

bool IsDnValuedAttribute(std::string_view name) {
    static const char* const kDnAttributes[] = {"member",  "uniqueMember", "manager",
                                                "seeAlso", "owner",        "secretary"};
    const std::string_view bare = name.substr(0, name.find(';'));
    for (const char* pszName : kDnAttributes) {
        const std::string_view known(pszName);
        if (bare.size() == known.size() &&
            std::equal(bare.begin(), bare.end(), known.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return true;
    }
    return false;
}
