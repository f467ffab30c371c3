#pragma once
// Distinguished names as RFC 4514 writes them. Everything that splits a DN,
// builds one from typed text or compares two goes through here, so that an
// escaped comma (\, or \2C) or a quoted value is never taken for a separator.

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

// Whether typed RDN text can stand as an RDN as it is: attr=value pairs
// (joined by '+') whose values carry every special character escaped or
// quoted. false for "cn=Smith, J" (an unescaped comma) or "Smith".
bool DnIsValidRdn(std::string_view rdn);

// Makes an RDN out of what a user typed: kept as it is when it already is
// a valid RDN, otherwise the value after the first '=' is escaped. Empty
// when there is no "attr=" in front.
CString DnRdnFromTyped(std::string_view typed);

// A key that is equal for DNs a server treats as the same in the common
// cases: ASCII upper-cased, blanks around separators dropped, hex pairs
// of printable ASCII turned into their backslash form. For lookups only;
// never written or sent.
std::string DnCompareKey(std::string_view dn);

// The value of a hex digit, or -1 (for the \XX escapes of DNs and filters).
int HexDigitValue(char ch);

// For display only: hex escapes of printable ASCII shown in their readable
// form (\2C as \,, \41 as A); a NUL byte as \00.
CString DnForDisplay(const CString& dn);
