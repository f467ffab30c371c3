#pragma once
// The one path by which an LDAP failure reaches the user.

#include "platform/String.h"

// The text shown for an LDAP result code: the program's own wording for
// the common codes, the client library's text for every other one.
CString LdapErrorText(int nCode);

// A box with the code's text, the stop icon and an OK button; callable on
// any thread (a worker's box is shown on the UI thread while it waits).
void ShowLdapError(int nCode);

// The same box with the client library's diagnostic message added (for TLS
// and SASL failures, where the code alone says little).
void ShowLdapError(int nCode, const CString& diagnostic);
