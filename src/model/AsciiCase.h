#pragma once
// Upper-casing for DNs and LDIF names: bytes, ASCII letters only (no
// code-page conversion, whatever the locale).

#include <string_view>

inline char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether text, upper-cased, equals upper (which is upper-cased already).
inline bool EqualsUpperAscii(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (UpperAscii(text[i]) != upper[i])
            return false;
    }
    return true;
}

// Whether a and b are the same but for the case of ASCII letters.
inline bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i]))
            return false;
    }
    return true;
}
