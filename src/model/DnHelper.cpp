#include "model/DnHelper.h"

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

void AppendUpper(std::string& out, char ch) {
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
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

std::string DnCompareKey(std::string_view dn) {
    std::vector<std::string> rdns;
    if (!DnSplit(dn, rdns)) {
        std::string out;
        for (char ch : dn)
            AppendUpper(out, ch);
        return out;
    }
    std::string key;
    for (size_t r = 0; r < rdns.size(); ++r) {
        if (r > 0)
            key += ',';
        std::string_view rdn = rdns[r];
        bool bQuoted = false;
        for (size_t i = 0; i < rdn.size(); ++i) {
            char ch = rdn[i];
            if (ch == '\\' && i + 1 < rdn.size()) {
                int byte = HexPairAt(rdn, i + 1);
                char plain = byte >= 0 ? static_cast<char>(byte) : rdn[i + 1];
                i += byte >= 0 ? 2 : 1;
                if (byte >= 0 && !IsPrintableAscii(byte)) {
                    key += '\\';
                    AppendUpper(key, rdn[i - 1]);
                    AppendUpper(key, rdn[i]);
                } else if (MustEscape(static_cast<unsigned char>(plain)) || plain == ' ' || plain == '#') {
                    key += '\\';
                    key += plain;
                } else {
                    AppendUpper(key, plain);
                }
            } else if (ch == '"') {
                bQuoted = !bQuoted;
            } else if (bQuoted && MustEscape(static_cast<unsigned char>(ch))) {
                key += '\\';
                key += ch;
            } else if (!bQuoted && (ch == '=' || ch == '+')) {
                while (!key.empty() && key.back() == ' ')
                    key.pop_back();
                key += ch;
                while (i + 1 < rdn.size() && rdn[i + 1] == ' ')
                    ++i;
            } else {
                AppendUpper(key, ch);
            }
        }
    }
    return key;
}

CString DnForDisplay(const CString& dn) {
    std::string_view text = dn.View();
    if (text.find('\\') == std::string_view::npos && text.find('\0') == std::string_view::npos)
        return dn;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        // A NUL a server put in a DN is shown, not taken for the end.
        if (text[i] == '\0') {
            out += "\\00";
            continue;
        }
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
