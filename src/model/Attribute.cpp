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
