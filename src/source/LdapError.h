#pragma once
// The one path by which an LDAP failure becomes what the user is told.

#include "platform/String.h"
#include "source/SourceEvents.h"

// The text shown for an LDAP result code: the program's own wording for
// the common codes, the client library's text for every other one.
CString LdapErrorText(int nCode);

// The code's text; the server's (or for TLS and SASL failures the client
// library's) diagnostic message follows it when there is one, and for "no
// such object" the part of the DN the server did find.
CString LdapErrorMessage(int nCode, const CString& diagnostic, const CString& matchedDN);
// The same as a failure to report.
COperationFailure LdapFailure(int nCode, const CString& diagnostic = CString(),
                              const CString& matchedDN = CString());
