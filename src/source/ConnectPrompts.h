#pragma once
// The questions a connection attempt may have to put to the user. The
// session layer answers them with its dialogs; Open calls them on the UI
// thread.

#include "platform/String.h"
#include "platform/Types.h"

// A server certificate that did not verify, as offered by the server.
class CCertificateProblem {
public:
    CString m_strHost;
    int m_nPort = 0;
    CString m_strCertificate; // DER bytes
    CString m_strDiagnostic;  // the client library's own message, may be empty
    // The pin stored for this server that the offered key no longer matches;
    // empty when nothing was pinned.
    CString m_strPinnedKey;
};

enum class ETrustAnswer { Cancel, Once, Always };

class IConnectPrompts {
public:
    virtual ~IConnectPrompts() = default;
    // keyPin receives the offered key's pin ("sha256:<base64>") for any
    // answer but Cancel; Always also stores it for host:port.
    virtual ETrustAnswer JudgeCertificate(const CCertificateProblem& problem, CString& keyPin) = 0;
    // A password about to be sent unencrypted to a host that is not this
    // machine: TRUE to send it.
    virtual BOOL ConfirmPlainPassword(const CString& bindDN, const CString& host, int nPort) = 0;
};
