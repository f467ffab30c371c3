#pragma once
// Distinguished names as RFC 4514 writes them. Everything that splits a DN,
// builds one from typed text or compares two goes through here, so that an
// escaped comma (\, or \2C) or a quoted value is never taken for a separator.

#include "model/Attribute.h"
#include "platform/String.h"

#include <string>
#include <string_view>
#include <vector>

// Splits a DN into its RDNs at commas that are neither escaped nor inside
// quotes; each RDN keeps its text as written, trimmed of the blanks around
// the separator. false for a malformed DN (a dangling backslash, an open
// quote, an empty RDN); rdns then holds what was split so far.
bool DnSplit(std::string_view dn, std::vector<std::string>& rdns);

// The leading RDN; the whole DN when it has only one.
CString DnFirstRdn(const CString& dn);

// What follows the first RDN's comma, trimmed; empty when there is none.
CString DnParent(const CString& dn);

// The RDN attr=value with value escaped for an RDN: a typed "Smith, J"
// becomes "Smith\, J".
CString DnEscapeValue(std::string_view value);

// Whether text is a DN as a search base or a bind DN must be: every RDN
// well formed (DnIsValidRdn). The empty DN is valid.
bool DnIsValid(std::string_view dn);

// Whether typed RDN text can stand as an RDN as it is: attr=value pairs
// (joined by '+') whose values carry every special character escaped or
// quoted. false for "cn=Smith, J" (an unescaped comma) or "Smith".
bool DnIsValidRdn(std::string_view rdn);

// Makes an RDN out of what a user typed: kept as it is when it already is
// a valid RDN, otherwise the value after the first '=' is escaped. Empty
// when there is no "attr=" in front.
CString DnRdnFromTyped(std::string_view typed);

// A new name typed for an entry under parentDN: an RDN (or text that
// becomes one, as DnRdnFromTyped makes it), or a whole DN. A whole DN is
// taken for what it says: its first RDN is the name, and bOtherParent tells
// whether the rest names another parent than parentDN. Empty rdn when the
// text is neither.
struct CTypedName {
    CString strRdn;
    CString strParent; // the parent the text names (parentDN for an RDN)
    bool bOtherParent = false;
};
CTypedName DnNameFromTyped(std::string_view typed, const CString& parentDN);

// A key that is equal for DNs a server treats as the same: attribute
// types by name, alias or OID regardless of case; values by their bytes
// (escapes, quotes and #hex resolved), the values of the common naming
// attributes (cn, o, ou, dc, uid, ...) also regardless of case and of runs
// of blanks; the pairs of a multi-valued RDN in any order. For lookups
// only; never written or sent. One RDN's key ends where the DN's next
// comma is, so a key ends in ",<key of the parent>".
std::string DnCompareKey(std::string_view dn);

// One attribute=value pair of an RDN, the value as its bytes (escapes and
// quotes resolved).
struct CDnAva {
    std::string type;
    std::string value;
};
// Splits one RDN into its pairs (joined by '+'); false when it is empty or
// a pair has no '='.
bool DnSplitRdn(std::string_view rdn, std::vector<CDnAva>& avas);
// Whether two attribute types name the same attribute (case, "OID." and the
// aliases and OIDs of the common naming attributes do not count).
bool DnTypesMatch(std::string_view a, std::string_view b);
// Whether two values of an attribute are the same to a server: ignoring
// case and runs of blanks for the common naming attributes, else byte for
// byte.
bool DnValuesMatch(std::string_view type, std::string_view a, std::string_view b);

// What a server does to an entry's attributes when it renames the entry
// from oldRdn to newRdn: every value of the new RDN the entry lacks is
// added (to the attribute of that type, or a new one at the end); with
// bDeleteOldRdn every value of the old RDN that the new one does not name
// is removed, and an attribute left without values goes. false, with
// nothing changed, when newRdn is no RDN.
bool DnApplyRename(CAttributeArray& attributes, std::string_view oldRdn, std::string_view newRdn,
                   bool bDeleteOldRdn);

// The value of a hex digit, or -1 (for the \XX escapes of DNs and filters).
int HexDigitValue(char ch);

// For display only: hex escapes of printable ASCII shown in their readable
// form (\2C as \,, \41 as A).
CString DnForDisplay(const CString& dn);

// Whether the values of an attribute are DNs of other entries, by the
// attributes that hold DNs in the standard schemas (member, uniqueMember,
// manager, seeAlso, owner, secretary); options such as ";x-a" aside.
bool IsDnValuedAttribute(std::string_view name);
