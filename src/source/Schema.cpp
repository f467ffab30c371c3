#include "source/Schema.h"

#include "model/DnHelper.h"

#include <ldap.h>
#include <ldap_schema.h>

#include <algorithm>
#include <unordered_set>

namespace {

// Servers bend the grammar (quoted OIDs, descriptors for OIDs, fields out of
// order, OID macros in schema files): read what can be read.
constexpr unsigned kLiberal = LDAP_SCHEMA_ALLOW_ALL;

CString Text(const char* psz) {
    return psz ? CString(psz) : CString();
}

std::vector<CString> List(char** ppsz) {
    std::vector<CString> values;
    for (char** pp = ppsz; pp && *pp; ++pp)
        values.emplace_back(*pp);
    return values;
}

CSchemaObjectClass ToObjectClass(const LDAPObjectClass& p) {
    CSchemaObjectClass oc;
    oc.m_strOid = Text(p.oc_oid);
    oc.m_names = List(p.oc_names);
    oc.m_strDesc = Text(p.oc_desc);
    oc.m_sup = List(p.oc_sup_oids);
    oc.m_eKind = static_cast<EObjectClassKind>(p.oc_kind);
    oc.m_must = List(p.oc_at_oids_must);
    oc.m_may = List(p.oc_at_oids_may);
    oc.m_bObsolete = p.oc_obsolete != 0;
    return oc;
}

CSchemaAttributeType ToAttributeType(const LDAPAttributeType& p) {
    CSchemaAttributeType at;
    at.m_strOid = Text(p.at_oid);
    at.m_names = List(p.at_names);
    at.m_strDesc = Text(p.at_desc);
    at.m_strSup = Text(p.at_sup_oid);
    at.m_strEquality = Text(p.at_equality_oid);
    at.m_strOrdering = Text(p.at_ordering_oid);
    at.m_strSubstr = Text(p.at_substr_oid);
    at.m_strSyntaxOid = Text(p.at_syntax_oid);
    at.m_nSyntaxLength = p.at_syntax_len;
    at.m_bSingleValue = p.at_single_value != 0;
    at.m_bCollective = p.at_collective != 0;
    at.m_bNoUserModification = p.at_no_user_mod != 0;
    at.m_bObsolete = p.at_obsolete != 0;
    at.m_eUsage = static_cast<EAttributeUsage>(p.at_usage);
    return at;
}

CSchemaSyntax ToSyntax(const LDAPSyntax& p) {
    CSchemaSyntax syntax;
    syntax.m_strOid = Text(p.syn_oid);
    syntax.m_strDesc = Text(p.syn_desc);
    return syntax;
}

CSchemaMatchingRule ToMatchingRule(const LDAPMatchingRule& p) {
    CSchemaMatchingRule rule;
    rule.m_strOid = Text(p.mr_oid);
    rule.m_names = List(p.mr_names);
    rule.m_strDesc = Text(p.mr_desc);
    rule.m_strSyntaxOid = Text(p.mr_syntax_oid);
    rule.m_bObsolete = p.mr_obsolete != 0;
    return rule;
}

CSchemaContentRule ToContentRule(const LDAPContentRule& p) {
    CSchemaContentRule rule;
    rule.m_strOid = Text(p.cr_oid);
    rule.m_names = List(p.cr_names);
    rule.m_aux = List(p.cr_oc_oids_aux);
    rule.m_must = List(p.cr_at_oids_must);
    rule.m_may = List(p.cr_at_oids_may);
    rule.m_not = List(p.cr_at_oids_not);
    return rule;
}

void Fail(CString* pError, int nCode, const char* pszWhere) {
    if (!pError)
        return;
    *pError = ldap_scherr2str(nCode);
    if (pszWhere && *pszWhere)
        *pError += CString(" near: ") + CString(pszWhere).Left(40);
}

// A definition the liberal parser took without an OID goes by its first
// name; one with neither cannot be told apart from the next.
bool OidOrName(CString& oid, const std::vector<CString>& names, CString* pError) {
    if (oid.IsEmpty() && !names.empty())
        oid = names.front();
    if (!oid.IsEmpty())
        return true;
    if (pError)
        *pError = "a definition without an OID or a name";
    return false;
}

} // namespace

bool CAllowedAttributes::IsRequired(const CString& name) const {
    return std::any_of(m_must.begin(), m_must.end(),
                       [&](const CAllowedAttribute& a) { return a.m_strName.CompareNoCase(name) == 0; });
}

bool CAllowedAttributes::IsAllowed(const CString& name) const {
    return IsRequired(name) || std::any_of(m_may.begin(), m_may.end(), [&](const CAllowedAttribute& a) {
               return a.m_strName.CompareNoCase(name) == 0;
           });
}

std::string CSchema::Key(const CString& name) {
    std::string key = name.Str();
    for (char& ch : key)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return key;
}

std::string CSchema::AttributeKey(const CString& description) {
    std::string key = Key(description);
    const size_t nOption = key.find(';');
    if (nOption != std::string::npos)
        key.resize(nOption);
    return key;
}

void CSchema::AddOidMacro(const CString& name, const CString& value) {
    m_oidMacros[Key(name)] = ExpandMacro(value);
}

CString CSchema::ExpandMacro(const CString& oid) const {
    if (m_oidMacros.empty() || oid.IsEmpty() || (oid[0] >= '0' && oid[0] <= '9'))
        return oid;
    const int nColon = oid.Find(':');
    const CString prefix = nColon < 0 ? oid : oid.Left(nColon);
    auto it = m_oidMacros.find(Key(prefix));
    if (it == m_oidMacros.end())
        return oid;
    return nColon < 0 ? it->second : it->second + "." + oid.Mid(nColon + 1);
}

bool CSchema::AddDefinition(EKind eKind, const CString& text, CString* pError) {
    int nCode = 0;
    const char* pszWhere = nullptr;
    const char* psz = text.GetString();
    // Converts what the library parsed, frees it and files the result under
    // its OID (and names, unless bByOidOnly); the first definition of a name keeps it.
    auto store = [&](auto* pParsed, auto fnFree, auto fnConvert, auto& list, auto& index, bool bByOidOnly) {
        if (!pParsed) {
            Fail(pError, nCode, pszWhere);
            return false;
        }
        auto item = fnConvert(*pParsed);
        fnFree(pParsed);
        item.m_strOid = ExpandMacro(item.m_strOid);
        if constexpr (requires { item.m_strSyntaxOid; })
            item.m_strSyntaxOid = ExpandMacro(item.m_strSyntaxOid);
        if (!OidOrName(item.m_strOid, item.m_names, pError))
            return false;
        if (index.count(Key(item.m_strOid)))
            return true;
        item.m_strDefinition = text;
        const int nPos = static_cast<int>(list.size());
        index.emplace(Key(item.m_strOid), nPos);
        if (!bByOidOnly)
            for (const CString& name : item.m_names)
                index.emplace(Key(name), nPos);
        list.push_back(std::move(item));
        return true;
    };
    switch (eKind) {
    case kObjectClass:
        return store(ldap_str2objectclass(psz, &nCode, &pszWhere, kLiberal), ldap_objectclass_free,
                     ToObjectClass, m_objectClasses, m_objectClassIndex, false);
    case kAttributeType:
        return store(ldap_str2attributetype(psz, &nCode, &pszWhere, kLiberal), ldap_attributetype_free,
                     ToAttributeType, m_attributeTypes, m_attributeTypeIndex, false);
    case kSyntax:
        return store(ldap_str2syntax(psz, &nCode, &pszWhere, kLiberal), ldap_syntax_free, ToSyntax,
                     m_syntaxes, m_syntaxIndex, false);
    case kMatchingRule:
        return store(ldap_str2matchingrule(psz, &nCode, &pszWhere, kLiberal), ldap_matchingrule_free,
                     ToMatchingRule, m_matchingRules, m_matchingRuleIndex, false);
    case kContentRule:
        // By the OID only: it names the structural class the rule is for.
        return store(ldap_str2contentrule(psz, &nCode, &pszWhere, kLiberal), ldap_contentrule_free,
                     ToContentRule, m_contentRules, m_contentRuleIndex, true);
    }
    return false;
}

void CSchema::Resolve() {
    for (CSchemaAttributeType& type : m_attributeTypes) {
        type.m_strResolvedSyntax = type.m_strSyntaxOid;
        type.m_strResolvedEquality = type.m_strEquality;
        type.m_bResolvedSingleValue = type.m_bSingleValue;
        type.m_bResolvedNoUserModification = type.m_bNoUserModification;
        type.m_eResolvedUsage = type.m_eUsage;
        const std::vector<const CSchemaAttributeType*> chain = SuperiorChain(type);
        for (size_t i = 1; i < chain.size(); ++i) {
            const CSchemaAttributeType& sup = *chain[i];
            if (type.m_strResolvedSyntax.IsEmpty())
                type.m_strResolvedSyntax = sup.m_strSyntaxOid;
            if (type.m_strResolvedEquality.IsEmpty())
                type.m_strResolvedEquality = sup.m_strEquality;
            type.m_bResolvedSingleValue = type.m_bResolvedSingleValue || sup.m_bSingleValue;
            type.m_bResolvedNoUserModification =
                type.m_bResolvedNoUserModification || sup.m_bNoUserModification;
            // A subtype has its superior's usage; a silent subtype of an
            // operational type is operational too.
            if (type.m_eResolvedUsage == EAttributeUsage::UserApplications)
                type.m_eResolvedUsage = sup.m_eUsage;
        }
    }
}

const CSchemaObjectClass* CSchema::FindObjectClass(const CString& name) const {
    auto it = m_objectClassIndex.find(Key(name));
    return it == m_objectClassIndex.end() ? nullptr : &m_objectClasses[static_cast<size_t>(it->second)];
}

const CSchemaAttributeType* CSchema::FindAttributeType(const CString& name) const {
    auto it = m_attributeTypeIndex.find(AttributeKey(name));
    return it == m_attributeTypeIndex.end() ? nullptr : &m_attributeTypes[static_cast<size_t>(it->second)];
}

const CSchemaSyntax* CSchema::FindSyntax(const CString& oid) const {
    auto it = m_syntaxIndex.find(Key(oid));
    return it == m_syntaxIndex.end() ? nullptr : &m_syntaxes[static_cast<size_t>(it->second)];
}

const CSchemaMatchingRule* CSchema::FindMatchingRule(const CString& name) const {
    auto it = m_matchingRuleIndex.find(Key(name));
    return it == m_matchingRuleIndex.end() ? nullptr : &m_matchingRules[static_cast<size_t>(it->second)];
}

const CSchemaContentRule* CSchema::FindContentRule(const CString& structuralClass) const {
    const CSchemaObjectClass* pClass = FindObjectClass(structuralClass);
    auto it = m_contentRuleIndex.find(Key(pClass ? pClass->m_strOid : structuralClass));
    return it == m_contentRuleIndex.end() ? nullptr : &m_contentRules[static_cast<size_t>(it->second)];
}

std::vector<const CSchemaObjectClass*> CSchema::SuperiorChain(const CSchemaObjectClass& objectClass) const {
    // Breadth first, each class once: a cycle or a diamond ends there.
    std::vector<const CSchemaObjectClass*> chain{&objectClass};
    for (size_t i = 0; i < chain.size(); ++i)
        for (const CString& sup : chain[i]->m_sup)
            if (const CSchemaObjectClass* pSup = FindObjectClass(sup))
                if (std::find(chain.begin(), chain.end(), pSup) == chain.end())
                    chain.push_back(pSup);
    return chain;
}

std::vector<const CSchemaAttributeType*> CSchema::SuperiorChain(const CSchemaAttributeType& type) const {
    std::vector<const CSchemaAttributeType*> chain{&type};
    for (const CSchemaAttributeType* p = FindAttributeType(type.m_strSup); p;
         p = FindAttributeType(p->m_strSup)) {
        if (std::find(chain.begin(), chain.end(), p) != chain.end())
            break;
        chain.push_back(p);
    }
    return chain;
}

CString CSchema::CanonicalAttributeName(const CString& name) const {
    const CSchemaAttributeType* pType = FindAttributeType(name);
    return pType ? pType->Name() : name;
}

bool CSchema::SameAttribute(const CString& a, const CString& b) const {
    if (a.CompareNoCase(b) == 0)
        return true;
    const CSchemaAttributeType* pA = FindAttributeType(a);
    return pA && pA == FindAttributeType(b);
}

CString CSchema::SyntaxName(const CString& oid) const {
    const CSchemaSyntax* pSyntax = FindSyntax(oid);
    return pSyntax && !pSyntax->m_strDesc.IsEmpty() ? pSyntax->m_strDesc : oid;
}

CAllowedAttributes CSchema::AttributesOf(const CString& objectClass) const {
    return AttributesOf(std::vector<CString>{objectClass});
}

CAllowedAttributes CSchema::AttributesOf(const std::vector<CString>& objectClasses) const {
    CAllowedAttributes result;
    std::vector<const CSchemaObjectClass*> listed;
    for (const CString& name : objectClasses) {
        const CSchemaObjectClass* pClass = FindObjectClass(name);
        if (!pClass) {
            result.m_unknownClasses.push_back(name);
            continue;
        }
        if (std::find(listed.begin(), listed.end(), pClass) == listed.end())
            listed.push_back(pClass);
    }
    std::unordered_set<std::string> must, may;
    auto add = [&](std::vector<CAllowedAttribute>& target, std::unordered_set<std::string>& seen,
                   const CString& name, const CSchemaObjectClass& from, bool bInherited) {
        const CString canonical = CanonicalAttributeName(name);
        if (seen.insert(AttributeKey(canonical)).second)
            target.push_back({canonical, from.Name(), bInherited});
    };
    std::vector<const CSchemaObjectClass*> visited;
    // Each listed class's own attributes first, then what its superiors add.
    for (const CSchemaObjectClass* pClass : listed) {
        for (const CSchemaObjectClass* pFrom : SuperiorChain(*pClass)) {
            if (std::find(visited.begin(), visited.end(), pFrom) != visited.end())
                continue;
            const bool bListed = std::find(listed.begin(), listed.end(), pFrom) != listed.end();
            if (bListed && pFrom != pClass)
                continue; // comes in its own turn, not as inherited
            visited.push_back(pFrom);
            if (Key(pFrom->Name()) == "extensibleobject")
                result.m_bExtensible = true;
            for (const CString& name : pFrom->m_must)
                add(result.m_must, must, name, *pFrom, !bListed);
            for (const CString& name : pFrom->m_may)
                add(result.m_may, may, name, *pFrom, !bListed);
        }
    }
    // The structural classes' content rules.
    std::unordered_set<std::string> excluded;
    for (const CSchemaObjectClass* pClass : listed) {
        if (pClass->m_eKind != EObjectClassKind::Structural)
            continue;
        const CSchemaContentRule* pRule = FindContentRule(pClass->m_strOid);
        if (!pRule)
            continue;
        for (const CString& name : pRule->m_must)
            add(result.m_must, must, name, *pClass, false);
        for (const CString& name : pRule->m_may)
            add(result.m_may, may, name, *pClass, false);
        for (const CString& name : pRule->m_not)
            excluded.insert(AttributeKey(CanonicalAttributeName(name)));
    }
    // MUST anywhere wins over MAY; a content rule's NOT removes a MAY.
    std::erase_if(result.m_may, [&](const CAllowedAttribute& a) {
        const std::string key = AttributeKey(a.m_strName);
        return must.count(key) || excluded.count(key);
    });
    return result;
}

bool IsDnValued(const CSchema* pSchema, const CString& name) {
    const CSchemaAttributeType* pType = pSchema ? pSchema->FindAttributeType(name) : nullptr;
    if (!pType)
        return IsDnValuedAttribute(name.View());
    const CString& syntax =
        pType->m_strResolvedSyntax.IsEmpty() ? pType->m_strSyntaxOid : pType->m_strResolvedSyntax;
    return syntax == "1.3.6.1.4.1.1466.115.121.1.12" || syntax == "1.3.6.1.4.1.1466.115.121.1.34";
}
