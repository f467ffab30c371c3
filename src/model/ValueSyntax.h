#pragma once
// Checks of a value against its attribute's syntax (RFC 4517), for the
// syntaxes whose check is cheap and certain. Everything else passes: the
// server has the last word.

#include "platform/String.h"

// Syntax OIDs of RFC 4517 (1.3.6.1.4.1.1466.115.121.1.n).
namespace ValueSyntax {
inline const char* const kBitString = "1.3.6.1.4.1.1466.115.121.1.6";
inline const char* const kBoolean = "1.3.6.1.4.1.1466.115.121.1.7";
inline const char* const kCountryString = "1.3.6.1.4.1.1466.115.121.1.11";
inline const char* const kDN = "1.3.6.1.4.1.1466.115.121.1.12";
inline const char* const kGeneralizedTime = "1.3.6.1.4.1.1466.115.121.1.24";
inline const char* const kIA5String = "1.3.6.1.4.1.1466.115.121.1.26";
inline const char* const kInteger = "1.3.6.1.4.1.1466.115.121.1.27";
inline const char* const kNumericString = "1.3.6.1.4.1.1466.115.121.1.36";
inline const char* const kOID = "1.3.6.1.4.1.1466.115.121.1.38";
inline const char* const kPostalAddress = "1.3.6.1.4.1.1466.115.121.1.41";
inline const char* const kPrintableString = "1.3.6.1.4.1.1466.115.121.1.44";
inline const char* const kTelephoneNumber = "1.3.6.1.4.1.1466.115.121.1.50";
} // namespace ValueSyntax

// Why value does not fit the syntax, as a phrase for "<attribute>: <phrase>";
// empty when it fits or the syntax is not one that is checked. A syntax OID
// may carry a length bound ("...{64}"), which is ignored.
CString CheckValueSyntax(const CString& syntaxOid, const CString& value);

// The parts of a Generalized Time value, the offset in minutes east of UTC
// (0 for Z). FALSE when value is not one.
struct CGeneralizedTime {
    int nYear = 0, nMonth = 0, nDay = 0, nHour = 0, nMinute = 0, nSecond = 0;
    int nOffsetMinutes = 0;
};
bool ParseGeneralizedTime(const CString& value, CGeneralizedTime& time);
