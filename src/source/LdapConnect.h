#pragma once

#include <atomic>
// The one way the LDAP source reaches a server: URL, transport security,
// the user's judgement of an unverified certificate, the plain-password
// question, the bind. Failures come back with their reason.

#include "platform/Result.h"
#include "platform/Types.h"
#include "source/LdapWrap.h"

class CConnectionParams;

// What the status bar tells about an open connection.
class CConnectionInfo {
public:
    CTlsSessionInfo m_tls;
    CString m_strIdentity; // as the server sees it (ldap_whoami)
};

// Success with ld connected and bound. params' trust decision and key pin
// are updated when the user trusts the offered certificate. A cancelled
// question fails silently; every other failure says why (with the library's
// diagnostic message for TLS and SASL failures) and leaves ld unbound.
// While *pQuiet is true (read at each step: the user may give up on the
// attempt while it waits for the server) no question is asked.
CResult LdapConnectAndBind(CLdapConnection& ld, CConnectionParams& params, int nTimeoutSeconds,
                           CConnectionInfo& info, const std::atomic<bool>* pQuiet = nullptr);

// The text for a failed SASL bind that the user can act on, or "" to keep
// the library's own: GSSAPI without a usable Kerberos ticket reads
// "No Kerberos ticket: run kinit (GSSAPI: <the library's words>)".
CString SaslBindFailureText(const CString& mechanism, const CString& diagnostic);
