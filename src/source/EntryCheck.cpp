#include "source/EntryCheck.h"

#include "model/ValueSyntax.h"

#include <algorithm>
#include <map>

namespace {

CString RowField(int nRow, const CString& name) {
    CString text;
    text.Format("Row %d, %s: ", nRow, name.GetString());
    return text;
}

} // namespace

std::vector<CString> CompletionNames(const CSchema& schema, const std::vector<CString>& classes, bool bAll) {
    std::vector<CString> names;
    std::vector<const CSchemaAttributeType*> seen;
    auto add = [&](const CString& name) {
        const CSchemaAttributeType* pType = schema.FindAttributeType(name);
        if (!pType || pType->m_bResolvedNoUserModification || schema.SameAttribute(name, "objectClass") ||
            std::find(seen.begin(), seen.end(), pType) != seen.end())
            return;
        seen.push_back(pType);
        names.push_back(pType->Name());
    };
    const CAllowedAttributes allowed = schema.AttributesOf(classes);
    for (const auto* pList : {&allowed.m_must, &allowed.m_may})
        for (const CAllowedAttribute& attribute : *pList)
            add(attribute.m_strName);
    if (bAll) {
        std::vector<CString> others;
        for (const CSchemaAttributeType& type : schema.AttributeTypes())
            if (!type.IsOperational())
                others.push_back(type.Name());
        std::sort(others.begin(), others.end(),
                  [](const CString& a, const CString& b) { return a.CompareNoCase(b) < 0; });
        for (const CString& name : others)
            add(name);
    }
    return names;
}

CString CheckNewValue(const CSchema& schema, const CString& name, const CString& value, int nExisting) {
    const CSchemaAttributeType* pType = schema.FindAttributeType(name);
    if (!pType)
        return CString();
    if (pType->m_bResolvedNoUserModification)
        return "is set by the server, not by the user";
    if (pType->m_bResolvedSingleValue && nExisting > 0)
        return "takes one value only";
    return CheckValueSyntax(pType->m_strResolvedSyntax, value);
}

std::vector<CString> CheckEntryRows(const CSchema& schema, const std::vector<CEntryRow>& rows,
                                    const CAttributeArray* pExisting) {
    std::vector<CString> findings;
    std::vector<CString> classes;
    // Values given so far per attribute type, and the row of each required
    // attribute's empty row.
    std::map<const CSchemaAttributeType*, int> counts;
    if (pExisting)
        for (const CAttribute* pAttribute : *pExisting) {
            counts[schema.FindAttributeType(pAttribute->m_strName)] += pAttribute->GetSize();
            if (schema.SameAttribute(pAttribute->m_strName, "objectClass"))
                for (int i = 0; i < pAttribute->GetSize(); ++i)
                    classes.push_back(pAttribute->GetAt(i));
        }
    for (const CEntryRow& row : rows)
        if (schema.SameAttribute(row.m_strName, "objectClass") && !row.m_strValue.IsEmpty())
            classes.push_back(row.m_strValue);
    const CAllowedAttributes allowed = schema.AttributesOf(classes);
    // An entry whose classes are not all known here may hold anything.
    const bool bCheckAllowed = !pExisting || (!classes.empty() && allowed.m_unknownClasses.empty());

    std::map<std::string, int> emptyRequiredRows;
    bool bStructural = false;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int nRow = static_cast<int>(i) + 1;
        const CEntryRow& row = rows[i];
        const CSchemaAttributeType* pType = schema.FindAttributeType(row.m_strName);
        if (!pType) {
            findings.push_back(RowField(nRow, row.m_strName) + "not an attribute type of this directory");
            continue;
        }
        if (row.m_strValue.IsEmpty()) {
            CString key = pType->Name();
            emptyRequiredRows.emplace(key.MakeLower().Str(), nRow);
            continue;
        }
        if (schema.SameAttribute(row.m_strName, "objectClass")) {
            const CSchemaObjectClass* pClass = schema.FindObjectClass(row.m_strValue);
            if (!pClass)
                findings.push_back(RowField(nRow, row.m_strName) + row.m_strValue +
                                   " is not an object class of this directory");
            else if (pClass->m_eKind == EObjectClassKind::Structural)
                bStructural = true;
        } else if (bCheckAllowed && !allowed.m_bExtensible && !allowed.IsAllowed(pType->Name()) &&
                   !pType->IsOperational()) {
            findings.push_back(RowField(nRow, row.m_strName) +
                               "not allowed by the object classes of the entry");
            continue;
        }
        const CString reason = CheckNewValue(schema, row.m_strName, row.m_strValue, counts[pType]);
        ++counts[pType];
        if (!reason.IsEmpty())
            findings.push_back(RowField(nRow, row.m_strName) + reason);
    }
    if (pExisting)
        return findings;
    if (!bStructural)
        findings.push_back("objectClass: the entry needs a structural object class");
    for (const CAllowedAttribute& required : allowed.m_must) {
        const CSchemaAttributeType* pType = schema.FindAttributeType(required.m_strName);
        if (pType && counts[pType] > 0)
            continue;
        CString key = required.m_strName;
        auto it = emptyRequiredRows.find(key.MakeLower().Str());
        const CString field = it == emptyRequiredRows.end() ? required.m_strName + ": "
                                                            : RowField(it->second, required.m_strName);
        findings.push_back(field + "required by " + required.m_strFromClass + ", but has no value");
    }
    return findings;
}
