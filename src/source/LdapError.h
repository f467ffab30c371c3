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

// Said when the server refuses a value change because the entry changed
// since it was read (a value gone, or one that is there already).
inline constexpr const char* kEntryChangedText = "The entry was changed on the server since it was read: ";
// That refusal as a failure to report: the text above and the server's
// text (the code's own when the server sent none).
COperationFailure EntryChangedFailure(int nCode, const CString& diagnostic);
