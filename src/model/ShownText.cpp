#include "model/ShownText.h"

#include <cstdio>

namespace {

enum class EScript { Other, Latin, Cyrillic, Greek };

// One code point from s at i; false (i unchanged) for bytes that are not
// well-formed UTF-8.
bool DecodeAt(std::string_view s, size_t& i, char32_t& c) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t nLength = 0;
    char32_t nMin = 0;
    if (b0 < 0x80) {
        c = b0;
        ++i;
        return true;
    }
    if ((b0 & 0xE0) == 0xC0) {
        nLength = 2;
        c = b0 & 0x1F;
        nMin = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        nLength = 3;
        c = b0 & 0x0F;
        nMin = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        nLength = 4;
        c = b0 & 0x07;
        nMin = 0x10000;
    } else {
        return false;
    }
    if (i + nLength > s.size())
        return false;
    for (size_t k = 1; k < nLength; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return false;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < nMin || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return false;
    i += nLength;
    return true;
}

EScript ScriptOf(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
        (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0x1E00 && c <= 0x1EFF))
        return EScript::Latin;
    if ((c >= 0x400 && c <= 0x52F) || (c >= 0x1C80 && c <= 0x1C8F) || (c >= 0x2DE0 && c <= 0x2DFF) ||
        (c >= 0xA640 && c <= 0xA69F))
        return EScript::Cyrillic;
    if ((c >= 0x370 && c <= 0x3FF && c != 0x37E && c != 0x387) || (c >= 0x1F00 && c <= 0x1FFF))
        return EScript::Greek;
    return EScript::Other;
}

// What ends a word: ASCII other than letters and digits (the DN's "=", ","
// and "+" among them), and the blanks and punctuation of Latin-1.
bool EndsWord(char32_t c) {
    if (c < 0x80)
        return !((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'));
    return c <= 0xBF || c == 0x2028 || c == 0x2029 || (c >= 0x2000 && c <= 0x200A) || c == 0x3000;
}

} // namespace

bool IsHiddenCodePoint(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F ||
           (c >= 0x200B && c <= 0x200D) || c == 0x2060 || c == 0xFEFF;
}

std::string HiddenCodePointMark(char32_t c) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
    // U+27E8 and U+27E9, the mathematical angle brackets.
    return std::string("\xE2\x9F\xA8") + buffer + "\xE2\x9F\xA9";
}

std::string MakeHiddenVisible(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const size_t nStart = i;
        char32_t c = 0;
        if (!DecodeAt(utf8, i, c)) {
            out += utf8[i++];
            continue;
        }
        if (IsHiddenCodePoint(c))
            out += HiddenCodePointMark(c);
        else
            out.append(utf8.substr(nStart, i - nStart));
    }
    return out;
}

std::string FindMixedScriptWord(std::string_view utf8) {
    size_t nWordStart = 0;
    bool bLatin = false;
    bool bOther = false;
    size_t i = 0;
    auto wordEnds = [&](size_t nEnd) -> bool { return bLatin && bOther && nEnd > nWordStart; };
    while (i < utf8.size()) {
        const size_t nStart = i;
        char32_t c = 0;
        if (!DecodeAt(utf8, i, c)) {
            ++i;
            c = 0xFFFD;
        }
        if (EndsWord(c)) {
            if (wordEnds(nStart))
                return std::string(utf8.substr(nWordStart, nStart - nWordStart));
            nWordStart = i;
            bLatin = bOther = false;
            continue;
        }
        const EScript eScript = ScriptOf(c);
        bLatin = bLatin || eScript == EScript::Latin;
        bOther = bOther || eScript == EScript::Cyrillic || eScript == EScript::Greek;
    }
    return wordEnds(utf8.size()) ? std::string(utf8.substr(nWordStart)) : std::string();
}

std::string MixedScriptWarning(std::string_view utf8) {
    const std::string word = FindMixedScriptWord(utf8);
    if (word.empty())
        return std::string();
    bool bCyrillic = false;
    size_t i = 0;
    while (i < word.size()) {
        char32_t c = 0;
        if (!DecodeAt(word, i, c)) {
            ++i;
            continue;
        }
        bCyrillic = bCyrillic || ScriptOf(c) == EScript::Cyrillic;
    }
    return "Look-alike letters: the word \xE2\x80\x9C" + MakeHiddenVisible(word) +
           "\xE2\x80\x9D mixes Latin with " + (bCyrillic ? "Cyrillic" : "Greek") + " letters.";
}
