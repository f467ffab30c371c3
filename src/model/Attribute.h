#pragma once
// An attribute name with its ordered values; the one type in which
// attributes travel through the program.

#include "platform/Collections.h"

#include <string_view>

class CAttribute : public CStringArray {
public:
    CAttribute() = default;
    CAttribute(const CAttribute& other);
    CAttribute& operator=(const CAttribute& other);
    ~CAttribute() override = default;

    // Takes the other's name and appends its values after this one's own.
    void AppendFrom(const CAttribute& other);

    CString GetName() const { return m_strName; }
    void SetName(const CString& name) { m_strName = name; }

    CString m_strName;
};

// Whether name can stand as an attribute description: a letter followed by
// letters, digits and hyphens, or a numeric OID, then ";option"s of letters,
// digits and hyphens. "dn" is not one: it would read back as a new entry.
bool IsAttributeDescription(std::string_view name);

// Attribute lists travel as arrays of pointers; the array never deletes them.
using CAttributeArray = CArray<CAttribute*>;

// Appends a new copy of every attribute of source to destination.
void CopyAttributes(CAttributeArray& destination, const CAttributeArray& source);

// Deletes every attribute the array points to and empties it.
void DeleteAttributes(CAttributeArray& attributes);
