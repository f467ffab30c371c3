#pragma once
// LDAP search filters (RFC 4515): checked as the user types, before
// anything is sent, and evaluated in memory for sources that have no
// server (an LDIF file).

#include "model/Attribute.h"
#include "platform/String.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CSearchFilter {
public:
    enum EKind {
        kAnd,
        kOr,
        kNot,
        kEqual,
        kPresent,
        kSubstring,
        kGreaterOrEqual,
        kLessOrEqual,
        kApprox,
        kExtensible
    };

    // Parses text; a filter without its outer parentheses ("cn=x") is taken
    // as the one item it is. On failure returns NULL with a message that
    // names the position (counted from 1).
    static std::unique_ptr<CSearchFilter> Parse(std::string_view text, CString& error);

    // Whether an entry with these attributes matches: attribute types
    // compared without regard to case (a type also matches its subtypes
    // with options), values compared ASCII case-insensitively, ordering
    // numeric when both sides are integers. Extensible matches are taken as
    // equality on their attribute.
    bool Matches(const CAttributeArray& attributes) const;

    EKind GetKind() const { return m_eKind; }
    // The attribute types the filter names, in order, each as written.
    void CollectTypes(std::vector<std::string>& types) const;

private:
    bool MatchValue(const CString& value) const;

    EKind m_eKind = kPresent;
    std::vector<std::unique_ptr<CSearchFilter>> m_children;
    std::string m_strType;
    // Unescaped bytes: the value, or the substring pieces (initial, any...,
    // final; an empty initial or final piece means none).
    std::string m_strValue;
    std::vector<std::string> m_pieces;

    friend class CFilterParser;
};
