#pragma once
// A directory's schema (RFC 4512): object classes, attribute types, syntaxes,
// matching rules and content rules, parsed with the client library's own
// parser and resolved once (superior chains followed) so that lookups are
// cheap. Names and OIDs resolve case-insensitively. Built once, then only
// read: several threads may share one through a shared_ptr to const.

#include "platform/String.h"

#include <string>
#include <unordered_map>
#include <vector>

// Usage of an attribute type; the values are the client library's.
enum class EAttributeUsage {
    UserApplications = 0,
    DirectoryOperation = 1,
    DistributedOperation = 2,
    DsaOperation = 3
};
// Kind of an object class; the values are the client library's.
enum class EObjectClassKind { Abstract = 0, Structural = 1, Auxiliary = 2 };

struct CSchemaSyntax {
    CString m_strOid;
    std::vector<CString> m_names; // none in RFC 4512; kept for servers that give some
    CString m_strDesc;
    CString m_strDefinition;
};

struct CSchemaMatchingRule {
    CString m_strOid;
    std::vector<CString> m_names;
    CString m_strDesc;
    CString m_strSyntaxOid;
    bool m_bObsolete = false;
    CString m_strDefinition;
    // The first name, else the OID.
    const CString& Name() const { return m_names.empty() ? m_strOid : m_names.front(); }
};

struct CSchemaAttributeType {
    CString m_strOid;
    std::vector<CString> m_names;
    CString m_strDesc;
    CString m_strSup;
    CString m_strEquality;
    CString m_strOrdering;
    CString m_strSubstr;
    CString m_strSyntaxOid;
    int m_nSyntaxLength = 0;
    bool m_bSingleValue = false;
    bool m_bCollective = false;
    bool m_bNoUserModification = false;
    bool m_bObsolete = false;
    EAttributeUsage m_eUsage = EAttributeUsage::UserApplications;
    CString m_strDefinition;

    // Resolved through the SUP chain when the type itself is silent.
    CString m_strResolvedSyntax;
    CString m_strResolvedEquality;
    bool m_bResolvedSingleValue = false;
    bool m_bResolvedNoUserModification = false;
    EAttributeUsage m_eResolvedUsage = EAttributeUsage::UserApplications;

    const CString& Name() const { return m_names.empty() ? m_strOid : m_names.front(); }
    bool IsOperational() const { return m_eResolvedUsage != EAttributeUsage::UserApplications; }
};

struct CSchemaObjectClass {
    CString m_strOid;
    std::vector<CString> m_names;
    CString m_strDesc;
    std::vector<CString> m_sup;
    EObjectClassKind m_eKind = EObjectClassKind::Structural;
    std::vector<CString> m_must;
    std::vector<CString> m_may;
    bool m_bObsolete = false;
    CString m_strDefinition;

    const CString& Name() const { return m_names.empty() ? m_strOid : m_names.front(); }
};

// What a DIT content rule adds to (or takes from) the entries of one
// structural class; its OID is that class's.
struct CSchemaContentRule {
    CString m_strOid;
    std::vector<CString> m_names;
    std::vector<CString> m_aux;
    std::vector<CString> m_must;
    std::vector<CString> m_may;
    std::vector<CString> m_not;
    CString m_strDefinition;
};

// One attribute an object class (or a set of them) allows.
struct CAllowedAttribute {
    CString m_strName;      // the type's first name (as listed when the type is unknown)
    CString m_strFromClass; // the class that lists it
    bool m_bInherited = false;
};

struct CAllowedAttributes {
    std::vector<CAllowedAttribute> m_must;
    std::vector<CAllowedAttribute> m_may;
    // extensibleObject is among the classes: any user attribute may be added.
    bool m_bExtensible = false;
    // Classes the schema does not know (their attributes are unknown too).
    std::vector<CString> m_unknownClasses;

    bool IsRequired(const CString& name) const;
    bool IsAllowed(const CString& name) const;
};

class CSchema {
public:
    enum EKind { kObjectClass, kAttributeType, kSyntax, kMatchingRule, kContentRule };

    // Parses one definition; FALSE (with the parser's reason in pError) when
    // it cannot be read. A definition whose OID is already known replaces
    // nothing: the first one stays.
    bool AddDefinition(EKind eKind, const CString& text, CString* pError = nullptr);
    // An OID macro (objectIdentifier) for the definitions that follow.
    void AddOidMacro(const CString& name, const CString& value);
    // Follows the superior chains; call once after the last AddDefinition.
    void Resolve();

    const std::vector<CSchemaObjectClass>& ObjectClasses() const { return m_objectClasses; }
    const std::vector<CSchemaAttributeType>& AttributeTypes() const { return m_attributeTypes; }
    const std::vector<CSchemaSyntax>& Syntaxes() const { return m_syntaxes; }
    const std::vector<CSchemaMatchingRule>& MatchingRules() const { return m_matchingRules; }
    const std::vector<CSchemaContentRule>& ContentRules() const { return m_contentRules; }
    bool IsEmpty() const { return m_objectClasses.empty() && m_attributeTypes.empty(); }

    // By any name or the OID, ignoring case; an attribute description's
    // options (";binary", ";lang-fi") are ignored. NULL when unknown.
    const CSchemaObjectClass* FindObjectClass(const CString& name) const;
    const CSchemaAttributeType* FindAttributeType(const CString& name) const;
    const CSchemaSyntax* FindSyntax(const CString& oid) const;
    const CSchemaMatchingRule* FindMatchingRule(const CString& name) const;
    const CSchemaContentRule* FindContentRule(const CString& structuralClass) const;

    // The class and its superiors, nearest first, each once (top last).
    std::vector<const CSchemaObjectClass*> SuperiorChain(const CSchemaObjectClass& objectClass) const;
    // The attribute type and its superiors, nearest first.
    std::vector<const CSchemaAttributeType*> SuperiorChain(const CSchemaAttributeType& type) const;
    // MUST and MAY of one class with its superiors' (marked inherited).
    CAllowedAttributes AttributesOf(const CString& objectClass) const;
    // MUST and MAY of an entry with these classes, content rules of its
    // structural class applied; an attribute MUST by any class is not MAY.
    CAllowedAttributes AttributesOf(const std::vector<CString>& objectClasses) const;

    // The type's first name, or name itself when the type is unknown.
    CString CanonicalAttributeName(const CString& name) const;
    // Whether types a and b are the same type.
    bool SameAttribute(const CString& a, const CString& b) const;
    // The syntax's description, else its OID; "" for an empty OID.
    CString SyntaxName(const CString& oid) const;

private:
    static std::string Key(const CString& name);
    static std::string AttributeKey(const CString& description);
    CString ExpandMacro(const CString& oid) const;

    std::vector<CSchemaObjectClass> m_objectClasses;
    std::vector<CSchemaAttributeType> m_attributeTypes;
    std::vector<CSchemaSyntax> m_syntaxes;
    std::vector<CSchemaMatchingRule> m_matchingRules;
    std::vector<CSchemaContentRule> m_contentRules;
    // Lower-cased names and OIDs to positions in the arrays above.
    std::unordered_map<std::string, int> m_objectClassIndex;
    std::unordered_map<std::string, int> m_attributeTypeIndex;
    std::unordered_map<std::string, int> m_syntaxIndex;
    std::unordered_map<std::string, int> m_matchingRuleIndex;
    std::unordered_map<std::string, int> m_contentRuleIndex;
    std::unordered_map<std::string, CString> m_oidMacros;
};

// Whether the values of the attribute are DNs one can follow: by its syntax
// (DN, or Name and Optional UID) when the schema knows it, else by the
// names that hold DNs in the common schemas (member, manager, seeAlso, ...).
bool IsDnValued(const CSchema* pSchema, const CString& name);
