#include "ldif/LdifSyntax.h"

#include "model/AsciiCase.h"

#include <array>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<signed char, 256> MakeDecodeTable() {
    std::array<signed char, 256> table{};
    for (auto& n : table)
        n = -1;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    return table;
}
constexpr auto kDecode = MakeDecodeTable();

inline bool IsBlankByte(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimView(std::string_view text) {
    while (!text.empty() && IsBlankByte(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlankByte(text.back()))
        text.remove_suffix(1);
    return text;
}

// Length of the valid UTF-8 sequence at p (lead byte >= 0x80), 0 if none.
size_t Utf8Length(std::string_view text, size_t p) {
    const auto b0 = static_cast<unsigned char>(text[p]);
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        if (b0 == 0xE0)
            lo = 0xA0;
        if (b0 == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        if (b0 == 0xF0)
            lo = 0x90;
        if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (p + n > text.size())
        return 0;
    for (size_t i = 1; i < n; ++i) {
        const auto b = static_cast<unsigned char>(text[p + i]);
        if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF))
            return 0;
    }
    return n;
}

} // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    if (i < bytes.size()) {
        unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool Base64Decode(std::string_view text, std::string& out) {
    out.clear();
    size_t nPad = 0;
    while (nPad < 2 && !text.empty() && text.back() == '=') {
        text.remove_suffix(1);
        ++nPad;
    }
    // Padding, when there is any, must fill the last group exactly.
    if (text.size() % 4 == 1 || (nPad > 0 && (text.size() + nPad) % 4 != 0))
        return false;
    out.reserve(text.size() / 4 * 3 + 2);
    unsigned n = 0;
    int nBits = 0;
    for (char c : text) {
        const int v = kDecode[static_cast<unsigned char>(c)];
        if (v < 0)
            return false;
        n = (n << 6) | static_cast<unsigned>(v);
        nBits += 6;
        if (nBits >= 8) {
            nBits -= 8;
            out += static_cast<char>((n >> nBits) & 0xFF);
        }
    }
    return true;
}

bool IsSafeLdifValue(std::string_view value) {
    if (value.empty())
        return true;
    const char first = value.front();
    if (first == ' ' || first == ':' || first == '<' || value.back() == ' ')
        return false;
    for (size_t i = 0; i < value.size();) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c < 0x20 || c == 0x7F)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        const size_t n = Utf8Length(value, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

void SplitLdifLine(std::string_view line, std::string_view& name, std::string_view& value) {
    const size_t nColon = line.find(':');
    if (nColon == std::string_view::npos) {
        name = std::string_view();
        value = TrimView(line);
        return;
    }
    name = line.substr(0, nColon);
    // Blanks at the end are part of the value (a DN may even end in "\ ").
    value = line.substr(nColon + 1);
    while (!value.empty() && IsBlankByte(value.front()))
        value.remove_prefix(1);
}

ELdifValueForm DecodeLdifValue(std::string_view line, std::string_view& name, std::string& value) {
    std::string_view text;
    SplitLdifLine(line, name, text);
    const size_t nColon = line.find(':');
    if (nColon != std::string_view::npos && nColon + 1 < line.size()) {
        const char mark = line[nColon + 1];
        if (mark == ':' && Base64Decode(TrimView(line.substr(nColon + 2)), value))
            return ELdifValueForm::Base64;
        if (mark == '<') {
            value.assign(text);
            return ELdifValueForm::Url;
        }
    }
    value.assign(text);
    return ELdifValueForm::Plain;
}

ELdifLineKind ClassifyLdifLine(std::string_view line) {
    if (line.empty())
        return ELdifLineKind::Blank;
    if (line.front() == '#')
        return ELdifLineKind::Comment;
    const size_t nColon = line.find(':');
    if (line.front() == ' ' || nColon == std::string_view::npos || nColon == 0)
        return ELdifLineKind::Stray;
    if (nColon == 2 && UpperAscii(line[0]) == 'D' && UpperAscii(line[1]) == 'N')
        return ELdifLineKind::Dn;
    return ELdifLineKind::Attribute;
}

void AppendLdifValueLine(std::string& out, std::string_view name, std::string_view value,
                         std::string_view eol) {
    out += name;
    if (IsSafeLdifValue(value)) {
        out += ": ";
        out += value;
    } else {
        out += ":: ";
        out += Base64Encode(value);
    }
    out += eol;
}

void AppendLdifUrlLine(std::string& out, std::string_view name, std::string_view value,
                       std::string_view eol) {
    out += name;
    out += ':';
    out += value;
    out += eol;
}

std::string_view FirstLineBreak(std::string_view text) {
    const size_t nLf = text.find('\n');
    if (nLf != std::string_view::npos && (nLf == 0 || text[nLf - 1] != '\r'))
        return "\n";
    return "\r\n";
}

void ForEachLdifLine(std::string_view text, const CLdifLineVisitor& visit) {
    std::string joined;
    bool bPending = false;
    size_t nStart = 0, nEnd = 0;
    for (size_t pos = 0; pos < text.size();) {
        const size_t nLf = text.find('\n', pos);
        const size_t nNext = nLf == std::string_view::npos ? text.size() : nLf + 1;
        std::string_view line = text.substr(pos, (nLf == std::string_view::npos ? text.size() : nLf) - pos);
        if (nLf != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (bPending && !joined.empty() && !line.empty() && line.front() == ' ') {
            joined.append(line.substr(1));
        } else {
            if (bPending)
                visit(joined, nStart, nEnd);
            joined.assign(line);
            nStart = pos;
            bPending = true;
        }
        nEnd = nNext;
        pos = nNext;
    }
    if (bPending)
        visit(joined, nStart, nEnd);
}
