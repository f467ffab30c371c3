#include "model/ValueSyntax.h"

#include "model/DnHelper.h"

#include <string_view>

namespace {

bool IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

bool IsAlpha(char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

// RFC 4517 PrintableCharacter.
bool IsPrintable(char ch) {
    return IsAlpha(ch) || IsDigit(ch) || std::string_view("'()+,-./:=? ").find(ch) != std::string_view::npos;
}

bool AllPrintable(std::string_view text) {
    for (char ch : text)
        if (!IsPrintable(ch))
            return false;
    return !text.empty();
}

// number = DIGIT / ( LDIGIT 1*DIGIT )
bool IsNumber(std::string_view text) {
    if (text.empty())
        return false;
    for (char ch : text)
        if (!IsDigit(ch))
            return false;
    return text.size() == 1 || text[0] != '0';
}

bool IsNumericOid(std::string_view text) {
    int nParts = 0;
    while (true) {
        const size_t nDot = text.find('.');
        if (!IsNumber(text.substr(0, nDot)))
            return false;
        ++nParts;
        if (nDot == std::string_view::npos)
            return nParts >= 2;
        text.remove_prefix(nDot + 1);
    }
}

// descr = ALPHA *( ALPHA / DIGIT / HYPHEN )
bool IsDescr(std::string_view text) {
    if (text.empty() || !IsAlpha(text[0]))
        return false;
    for (char ch : text)
        if (!IsAlpha(ch) && !IsDigit(ch) && ch != '-')
            return false;
    return true;
}

bool TwoDigits(std::string_view text, size_t nAt, int nMin, int nMax, int& nValue) {
    if (nAt + 2 > text.size() || !IsDigit(text[nAt]) || !IsDigit(text[nAt + 1]))
        return false;
    nValue = (text[nAt] - '0') * 10 + (text[nAt + 1] - '0');
    return nValue >= nMin && nValue <= nMax;
}

int DaysInMonth(int nYear, int nMonth) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bLeap = (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
    return nMonth == 2 && bLeap ? 29 : kDays[nMonth - 1];
}

bool IsPostalAddress(std::string_view text) {
    // line *( "$" line ), each line at least one character; a backslash only
    // as \24 or \5C.
    size_t nLineLength = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '$') {
            if (nLineLength == 0)
                return false;
            nLineLength = 0;
            continue;
        }
        if (text[i] == '\\') {
            const std::string_view escape = text.substr(i + 1, 2);
            if (escape != "24" && escape != "5C" && escape != "5c")
                return false;
            i += 2;
        }
        ++nLineLength;
    }
    return nLineLength > 0;
}

} // namespace

bool ParseGeneralizedTime(const CString& value, CGeneralizedTime& time) {
    // century year month day hour [ minute [ second / leap-second ] ]
    // [ fraction ] g-time-zone
    const std::string_view text = value.View();
    int nCentury = 0, nYear = 0;
    if (!TwoDigits(text, 0, 0, 99, nCentury) || !TwoDigits(text, 2, 0, 99, nYear) ||
        !TwoDigits(text, 4, 1, 12, time.nMonth) || !TwoDigits(text, 6, 1, 31, time.nDay) ||
        !TwoDigits(text, 8, 0, 23, time.nHour))
        return false;
    time.nYear = nCentury * 100 + nYear;
    if (time.nDay > DaysInMonth(time.nYear, time.nMonth))
        return false;
    size_t nAt = 10;
    if (TwoDigits(text, nAt, 0, 59, time.nMinute)) {
        nAt += 2;
        if (TwoDigits(text, nAt, 0, 60, time.nSecond))
            nAt += 2;
    }
    if (nAt < text.size() && (text[nAt] == '.' || text[nAt] == ',')) {
        ++nAt;
        const size_t nStart = nAt;
        while (nAt < text.size() && IsDigit(text[nAt]))
            ++nAt;
        if (nAt == nStart)
            return false;
    }
    if (nAt >= text.size())
        return false;
    if (text[nAt] == 'Z')
        return nAt + 1 == text.size();
    if (text[nAt] != '+' && text[nAt] != '-')
        return false;
    int nHours = 0, nMinutes = 0;
    if (!TwoDigits(text, nAt + 1, 0, 23, nHours))
        return false;
    size_t nEnd = nAt + 3;
    if (nEnd < text.size()) {
        if (!TwoDigits(text, nEnd, 0, 59, nMinutes))
            return false;
        nEnd += 2;
    }
    if (nEnd != text.size())
        return false;
    time.nOffsetMinutes = (text[nAt] == '-' ? -1 : 1) * (nHours * 60 + nMinutes);
    return true;
}

CString CheckValueSyntax(const CString& syntaxOid, const CString& value) {
    CString oid = syntaxOid;
    const int nBound = oid.Find('{');
    if (nBound >= 0)
        oid = oid.Left(nBound);
    const std::string_view text = value.View();
    using namespace ValueSyntax;
    if (oid == kInteger) {
        std::string_view digits = text;
        if (!digits.empty() && digits[0] == '-')
            digits.remove_prefix(1);
        if (!IsNumber(digits) || (text[0] == '-' && digits == "0"))
            return "must be a whole number, such as 42 or -7";
    } else if (oid == kBoolean) {
        if (text != "TRUE" && text != "FALSE")
            return "must be TRUE or FALSE";
    } else if (oid == kGeneralizedTime) {
        CGeneralizedTime time;
        if (!ParseGeneralizedTime(value, time))
            return "must be a time such as 20240131235959Z";
    } else if (oid == kDN) {
        std::vector<std::string> rdns;
        bool bValid = DnSplit(text, rdns);
        for (const std::string& rdn : rdns)
            bValid = bValid && DnIsValidRdn(rdn);
        if (!bValid)
            return "must be a distinguished name, such as cn=Name,dc=example,dc=com";
    } else if (oid == kOID) {
        if (!IsNumericOid(text) && !IsDescr(text))
            return "must be an OID such as 2.5.4.3 or a name such as person";
    } else if (oid == kNumericString) {
        bool bValid = !text.empty();
        for (char ch : text)
            bValid = bValid && (IsDigit(ch) || ch == ' ');
        if (!bValid)
            return "must hold only digits and spaces";
    } else if (oid == kPrintableString || oid == kTelephoneNumber) {
        if (!AllPrintable(text))
            return "may hold only letters, digits, spaces and ' ( ) + , - . / : = ?";
    } else if (oid == kCountryString) {
        if (text.size() != 2 || !AllPrintable(text))
            return "must be a two-letter country code, such as FI";
    } else if (oid == kIA5String) {
        for (char ch : text)
            if (static_cast<unsigned char>(ch) > 0x7F)
                return "may hold only ASCII characters";
    } else if (oid == kPostalAddress) {
        if (!IsPostalAddress(text))
            return "must be lines separated by $, none empty (write $ as \\24 and \\ as \\5C)";
    } else if (oid == kBitString) {
        bool bValid = text.size() >= 3 && text.front() == '\'' && text.substr(text.size() - 2) == "'B";
        for (size_t i = 1; bValid && i + 2 < text.size(); ++i)
            bValid = text[i] == '0' || text[i] == '1';
        if (!bValid)
            return "must be bits in quotes followed by B, such as '0101'B";
    }
    return CString();
}
