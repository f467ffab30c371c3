#pragma once
// CString: a byte string. No encoding conversion anywhere: what is read is
// what is kept and written, embedded zero bytes included.

#include <compare>
#include <cstdarg>
#include <functional>
#include <string>
#include <string_view>

class CString {
public:
    CString() = default;
    CString(const char* psz) : m_str(psz ? psz : "") {}
    CString(const char* p, int nLength) : m_str(p, static_cast<size_t>(nLength)) {}
    CString(std::string s) : m_str(std::move(s)) {}
    CString(std::string_view s) : m_str(s) {}
    CString(char ch, int nRepeat = 1) : m_str(static_cast<size_t>(nRepeat), ch) {}

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    char GetAt(int i) const { return m_str[static_cast<size_t>(i)]; }
    char operator[](int i) const { return GetAt(i); }
    void SetAt(int i, char ch) { m_str[static_cast<size_t>(i)] = ch; }

    // Zero-terminated view; stops at the first zero byte for C callers.
    const char* GetString() const { return m_str.c_str(); }
    const std::string& Str() const { return m_str; }
    std::string& Str() { return m_str; }
    std::string_view View() const { return m_str; }

    int Find(char ch, int nStart = 0) const;
    int Find(const CString& sub, int nStart = 0) const;
    int ReverseFind(char ch) const;
    CString Left(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Right(int nCount) const;

    CString& MakeUpper();
    CString& MakeLower();
    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& TrimLeft(char ch);
    CString& TrimRight(char ch);
    int Replace(const CString& oldText, const CString& newText);
    int Remove(char ch);

    // ASCII case-insensitive comparison, like the framework's in the C locale.
    int Compare(const CString& other) const;
    int CompareNoCase(const CString& other) const;

    void Format(const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
    void AppendFormat(const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));

    CString& operator+=(const CString& s) {
        m_str += s.m_str;
        return *this;
    }
    CString& operator+=(const char* psz) {
        m_str += psz;
        return *this;
    }
    CString& operator+=(char ch) {
        m_str += ch;
        return *this;
    }

    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_str + b.m_str); }
    friend CString operator+(const CString& a, const char* b) { return CString(a.m_str + b); }
    friend CString operator+(const char* a, const CString& b) { return CString(a + b.m_str); }
    friend CString operator+(const CString& a, char b) { return CString(a.m_str + b); }
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, const char* b) { return a.m_str == b; }
    friend std::strong_ordering operator<=>(const CString& a, const CString& b) { return a.m_str <=> b.m_str; }

private:
    void FormatV(const char* pszFormat, va_list args, bool bAppend);

    std::string m_str;
};

template <>
struct std::hash<CString> {
    size_t operator()(const CString& s) const noexcept { return std::hash<std::string>()(s.Str()); }
};
