#pragma once
// The one path by which an LDAP failure reaches the user.

#include "platform/String.h"

// The text shown for an LDAP result code: the program's own wording for
// the common codes, the client library's text for every other one.
CString LdapErrorText(int nCode);

// A box with the code's text, the stop icon and an OK button; callable on
// any thread (a worker's box is shown on the UI thread while it waits).
// The server's (or for TLS and SASL failures the client library's)
// diagnostic message follows the text when there is one, and for "no such
// object" the part of the DN the server did find.
void ShowLdapError(int nCode, const CString& diagnostic = CString(), const CString& matchedDN = CString());
CString LdapErrorMessage(int nCode, const CString& diagnostic, const CString& matchedDN);
