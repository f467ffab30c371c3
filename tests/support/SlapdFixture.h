#pragma once
// A private OpenLDAP server for tests and benchmarks: a temporary folder, the
// configuration written by scripts/slapd (mdb, suffix dc=example,dc=com,
// schemas core/cosine/inetorgperson), seed data loaded with slapadd, a free
// port on 127.0.0.1 only. The server runs as a child of the test process
// and dies with it; the destructor stops it even when a test fails.

#include "source/ConnectionParams.h"

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

// Which certificate a TLS-enabled server offers. Every one is made once per
// test process (openssl, in a temporary folder) from one of two private CAs.
enum class ETlsCert {
    Trusted,      // from the test CA, for localhost, 127.0.0.1 and this machine's name
    OtherCA,      // the same names, but another CA and another key ("key changed")
    Expired,      // from the test CA, validity ended yesterday
    NameMismatch, // from the test CA, for wrong.invalid only
};

class CSlapdServer {
public:
    // The suffix entry, ou=People with cn=Alice and cn=Bob below it, and an
    // empty ou=Empty.
    static std::string DefaultSeed();

    explicit CSlapdServer(std::string seedLdif = DefaultSeed());
    ~CSlapdServer();
    CSlapdServer(const CSlapdServer&) = delete;
    CSlapdServer& operator=(const CSlapdServer&) = delete;

    // Before Start: a server-side size limit (0 = unlimited, the default).
    void SetSizeLimit(int nLimit) { m_strSizeLimit = nLimit > 0 ? std::to_string(nLimit) : "unlimited"; }
    // Before Start: the whole sizelimit directive's value ("size.soft=500
    // size.pr=200 ..."), for servers that treat paged searches apart.
    void SetSizeLimits(const std::string& text) { m_strSizeLimit = text; }
    // Before Start: a time limit in seconds for searches (0 = unlimited).
    void SetTimeLimit(int nSeconds) { m_nTimeLimit = nSeconds; }
    // Before Start: database directives appended to the configuration
    // (access rules, for example; they do not bind the administrator).
    void SetExtraConfig(const std::string& text) { m_strExtraConfig = text; }
    // Before Start: global directives (before the database), e.g. access
    // rules for the root DSE and the subschema entry, or more schema files.
    void SetGlobalConfig(const std::string& text) { m_strGlobalConfig = text; }
    // Before Start: adds nCount entries "cn=<prefix><i>" (i from 0) below
    // parentDn to the seed, loaded fast by slapadd. After Start: adds them
    // through the protocol (ldapadd), much slower.
    bool AddChildren(const std::string& parentDn, int nCount, const std::string& prefix = "child");

    // Before Start: also listen on an ldaps:// port and an ldapi:// socket,
    // offer StartTLS on the ldap:// port with the given certificate, ask for
    // (but not require) a client certificate, and map both root's peer
    // credentials on the socket and the test client certificate to the
    // administrator for SASL EXTERNAL.
    void EnableTls(ETlsCert cert = ETlsCert::Trusted) {
        m_bTls = true;
        m_eCert = cert;
    }

    // Starts the server and waits until it accepts connections (again on
    // the same port after Stop or Kill, when it is free). FALSE with
    // LastError() when it could not.
    bool Start();
    // Ends the server (resuming it first if paused). Safe to call twice.
    void Stop();

    // Fault injection.
    void Pause();  // SIGSTOP: the connection stays open, nothing is answered
    void Resume(); // SIGCONT
    void Kill();   // SIGKILL: every connection breaks at once

    bool IsRunning() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    int Port() const { return m_nPort; }
    std::string Host() const { return "127.0.0.1"; }
    std::string Url() const;
    int TlsPort() const { return m_nTlsPort; }
    std::string LdapsUrl() const;
    std::string LdapiUrl() const; // the socket's path, URL-escaped
    // The test CA's certificate and a client certificate (cn=tarvo-client) from it.
    static std::string CACertFile();
    static std::string ClientCertFile();
    static std::string ClientKeyFile();
    // "sha256:<base64>" of a certificate's public key, as libldap pins it.
    static std::string KeyPin(ETlsCert cert);
    std::string Base() const { return "dc=example,dc=com"; }
    std::string AdminDN() const { return "cn=admin,dc=example,dc=com"; }
    std::string Password() const { return "secret"; }
    const std::string& LastError() const { return m_strLastError; }
    const std::filesystem::path& Folder() const { return m_dir; }

    // Checks on the server's state with the OpenLDAP command-line tools, as
    // the administrator. Search returns the DNs found (server order); an
    // empty result for a missing base. Values returns one entry's values of the
    // attribute, base-64 values decoded.
    std::vector<std::string> SearchDNs(const std::string& base, const std::string& scope = "one",
                                       const std::string& filter = "(objectclass=*)") const;
    bool Exists(const std::string& dn) const;
    // What "name:: data" of the tools' output holds.
    static std::string DecodeBase64(const std::string& text);
    std::vector<std::string> Values(const std::string& dn, const std::string& attribute) const;
    // Applies LDIF change records (ldapmodify -a). TRUE when every change succeeded.
    bool Modify(const std::string& ldif) const;

    // Runs a shell command (the OpenLDAP tools) and returns what it printed.
    std::string RunTool(const std::string& command, int* pExit = nullptr) const;

private:
    static int FreePort();
    bool WaitReady();
    bool OwnsListeningSocket() const;

    std::filesystem::path m_dir;
    std::string m_strSeed;
    std::string m_strExtraConfig;
    std::string m_strGlobalConfig;
    std::string m_strLastError;
    std::string m_strSizeLimit = "unlimited";
    int m_nTimeLimit = 0;
    int m_nPort = 0;
    int m_nTlsPort = 0;
    bool m_bTls = false;
    ETlsCert m_eCert = ETlsCert::Trusted;
    pid_t m_pid = -1;
    bool m_bPaused = false;
};

// Path of scripts/slapd in the source tree.
std::string SlapdScriptPath();

// A login on the server at base: the administrator's, or anonymous.
CConnectionParams ParamsFor(const CSlapdServer& server, const std::string& base, bool bAdmin = true);
