#include "model/Attribute.h"

CAttribute::CAttribute(const CAttribute& other) : CStringArray() {
    *this = other;
}

CAttribute& CAttribute::operator=(const CAttribute& other) {
    if (this == &other)
        return *this;
    m_strName = other.m_strName;
    RemoveAll();
    for (const CString& value : other)
        Add(value);
    return *this;
}

void CAttribute::AppendFrom(const CAttribute& other) {
    m_strName = other.m_strName;
    if (this == &other) {
        const int n = GetSize();
        for (int i = 0; i < n; ++i)
            Add(CString(GetAt(i)));
        return;
    }
    for (const CString& value : other)
        Add(value);
}

void CopyAttributes(CAttributeArray& destination, const CAttributeArray& source) {
    for (CAttribute* pAttribute : source)
        destination.Add(new CAttribute(*pAttribute));
}

void DeleteAttributes(CAttributeArray& attributes) {
    for (CAttribute* pAttribute : attributes)
        delete pAttribute;
    attributes.RemoveAll();
}

bool IsAttributeDescription(std::string_view name) {
    auto isAlpha = [](char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); };
    auto isDigit = [](char ch) { return ch >= '0' && ch <= '9'; };
    auto isKeyChar = [&](char ch) { return isAlpha(ch) || isDigit(ch) || ch == '-'; };
    size_t semicolon = name.find(';');
    std::string_view type = name.substr(0, semicolon);
    if (type.empty())
        return false;
    if (isAlpha(type[0])) {
        for (char ch : type)
            if (!isKeyChar(ch))
                return false;
        if (type.size() == 2 && (type[0] | 0x20) == 'd' && (type[1] | 0x20) == 'n')
            return false;
    } else {
        bool bDigit = false;
        for (char ch : type) {
            if (isDigit(ch))
                bDigit = true;
            else if (ch == '.' && bDigit)
                bDigit = false;
            else
                return false;
        }
        if (!bDigit)
            return false;
    }
    while (semicolon != std::string_view::npos) {
        size_t next = name.find(';', semicolon + 1);
        std::string_view option =
            name.substr(semicolon + 1, next == std::string_view::npos ? next : next - semicolon - 1);
        if (option.empty())
            return false;
        for (char ch : option)
            if (!isKeyChar(ch))
                return false;
        semicolon = next;
    }
    return true;
}
