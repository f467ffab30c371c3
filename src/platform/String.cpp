#include "platform/String.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char ToLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsSpaceAscii(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

int CString::Find(char ch, int nStart) const {
    if (nStart < 0 || nStart > GetLength())
        return -1;
    size_t pos = m_str.find(ch, static_cast<size_t>(nStart));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const CString& sub, int nStart) const {
    if (nStart < 0 || nStart > GetLength())
        return -1;
    size_t pos = m_str.find(sub.m_str, static_cast<size_t>(nStart));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const {
    size_t pos = m_str.rfind(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int nCount) const {
    nCount = std::clamp(nCount, 0, GetLength());
    return CString(m_str.substr(0, static_cast<size_t>(nCount)));
}

CString CString::Mid(int nFirst) const {
    nFirst = std::clamp(nFirst, 0, GetLength());
    return CString(m_str.substr(static_cast<size_t>(nFirst)));
}

CString CString::Mid(int nFirst, int nCount) const {
    nFirst = std::clamp(nFirst, 0, GetLength());
    nCount = std::clamp(nCount, 0, GetLength() - nFirst);
    return CString(m_str.substr(static_cast<size_t>(nFirst), static_cast<size_t>(nCount)));
}

CString CString::Right(int nCount) const {
    nCount = std::clamp(nCount, 0, GetLength());
    return CString(m_str.substr(m_str.size() - static_cast<size_t>(nCount)));
}

CString& CString::MakeUpper() {
    std::transform(m_str.begin(), m_str.end(), m_str.begin(), ToUpperAscii);
    return *this;
}

CString& CString::MakeLower() {
    std::transform(m_str.begin(), m_str.end(), m_str.begin(), ToLowerAscii);
    return *this;
}

CString& CString::Trim() {
    TrimRight();
    return TrimLeft();
}

CString& CString::TrimLeft() {
    size_t i = 0;
    while (i < m_str.size() && IsSpaceAscii(m_str[i]))
        ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight() {
    size_t n = m_str.size();
    while (n > 0 && IsSpaceAscii(m_str[n - 1]))
        --n;
    m_str.resize(n);
    return *this;
}

CString& CString::TrimLeft(char ch) {
    size_t i = 0;
    while (i < m_str.size() && m_str[i] == ch)
        ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight(char ch) {
    size_t n = m_str.size();
    while (n > 0 && m_str[n - 1] == ch)
        --n;
    m_str.resize(n);
    return *this;
}

int CString::Replace(const CString& oldText, const CString& newText) {
    if (oldText.IsEmpty())
        return 0;
    int nCount = 0;
    size_t pos = 0;
    while ((pos = m_str.find(oldText.m_str, pos)) != std::string::npos) {
        m_str.replace(pos, oldText.m_str.size(), newText.m_str);
        pos += newText.m_str.size();
        ++nCount;
    }
    return nCount;
}

int CString::Remove(char ch) {
    size_t before = m_str.size();
    m_str.erase(std::remove(m_str.begin(), m_str.end(), ch), m_str.end());
    return static_cast<int>(before - m_str.size());
}

int CString::Compare(const CString& other) const {
    int c = m_str.compare(other.m_str);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CString::CompareNoCase(const CString& other) const {
    size_t n = std::min(m_str.size(), other.m_str.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char a = static_cast<unsigned char>(ToLowerAscii(m_str[i]));
        unsigned char b = static_cast<unsigned char>(ToLowerAscii(other.m_str[i]));
        if (a != b)
            return a < b ? -1 : 1;
    }
    if (m_str.size() == other.m_str.size())
        return 0;
    return m_str.size() < other.m_str.size() ? -1 : 1;
}

void CString::FormatV(const char* pszFormat, va_list args, bool bAppend) {
    va_list copy;
    va_copy(copy, args);
    char buffer[256];
    int n = std::vsnprintf(buffer, sizeof buffer, pszFormat, args);
    std::string text;
    if (n >= 0 && static_cast<size_t>(n) < sizeof buffer) {
        text.assign(buffer, static_cast<size_t>(n));
    } else if (n >= 0) {
        std::vector<char> big(static_cast<size_t>(n) + 1);
        std::vsnprintf(big.data(), big.size(), pszFormat, copy);
        text.assign(big.data(), static_cast<size_t>(n));
    }
    va_end(copy);
    if (bAppend)
        m_str += text;
    else
        m_str = std::move(text);
}

void CString::Format(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args, false);
    va_end(args);
}

void CString::AppendFormat(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args, true);
    va_end(args);
}
