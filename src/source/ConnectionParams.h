#pragma once
// What a login page fills and a source's Open reads.

#include "platform/String.h"

#include <vector>

class CEntryNode;
class IConnectPrompts;

// How the connection to a server is protected.
enum class ESecurity {
    None,
    StartTLS,
    LDAPS,
    // StartTLS when the server's root DSE offers it, plain otherwise.
    StartTLSIfOffered,
};

// What the user decided about a server certificate that did not verify.
enum class ETrust {
    Verify, // the system's CAs (and m_strCACertFile) decide
    Once,   // m_strKeyPin decides, for this connection only
    Pinned, // m_strKeyPin decides; it was stored for the server
};

enum class EAuth {
    Simple,
    SaslExternal, // client certificate over TLS, or peer credentials on ldapi://
    Sasl,         // m_strSaslMechanism, with the bind DN as the user name
};

class CConnectionParams {
public:
    virtual ~CConnectionParams() = default;

    CString m_strServer;
    CString m_strPassword;
    CString m_strSearchBase;
    CString m_strFilter;
    CString m_strBindDN;
    CString m_strLdifFile;
    // Where an LDIF file's schema comes from: a schema file or folder, or an
    // LDAP URL; empty for the standard schema.
    CString m_strSchemaSource;
    int m_nPort = 0;
    // Set by Open on success; owned by the source.
    CEntryNode* m_pRoot = nullptr;
    // Set by an LDAP Open with an empty base: the server's naming contexts,
    // top entries beside the root (the root DSE); owned by the source.
    std::vector<CEntryNode*> m_namingContexts;

    ESecurity m_eSecurity = ESecurity::None;
    ETrust m_eTrust = ETrust::Verify;
    // "sha256:<base64 of the SHA-256 of the server's SubjectPublicKeyInfo>".
    CString m_strKeyPin;
    // CA certificates trusted besides the system's bundle; empty for none.
    CString m_strCACertFile;
    EAuth m_eAuth = EAuth::Simple;
    CString m_strSaslMechanism;
    CString m_strClientCertFile;
    CString m_strClientKeyFile;
    // Asked during Open when the user must decide; not owned. NULL: never
    // ask (an unverified certificate fails, a plain password is sent).
    IConnectPrompts* m_pPrompts = nullptr;
};
