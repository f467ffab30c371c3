// Transport security and binds other than simple: certificates checked,
// judged by the user, pinned; StartTLS when offered; the plain-password
// question; SASL EXTERNAL. A real slapd with TLS; the user's answers come
// from a scripted prompt (the real dialogs are driven in the GUI tests).

#include "LdapTestPane.h"
#include "source/ConnectPrompts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace {

class CScriptedPrompts : public IConnectPrompts {
public:
    ETrustAnswer JudgeCertificate(const CCertificateProblem& problem, CString& keyPin) override {
        m_problems.push_back(problem);
        // What the dialog computes from the DER bytes, taken from the fixture here.
        keyPin = m_strOfferedPin;
        return m_eAnswer;
    }
    BOOL ConfirmPlainPassword(const CString& bindDN, const CString& host, int) override {
        m_plainQuestions.push_back(Str(bindDN) + " to " + Str(host));
        return m_bSendPlain;
    }
    ETrustAnswer m_eAnswer = ETrustAnswer::Cancel;
    CString m_strOfferedPin;
    BOOL m_bSendPlain = FALSE;
    std::vector<CCertificateProblem> m_problems;
    std::vector<std::string> m_plainQuestions;
};

class LdapSecurity : public ::testing::Test {
protected:
    // Started per test: each may offer another certificate.
    void StartWith(ETlsCert cert) {
        m_server.EnableTls(cert);
        ASSERT_TRUE(m_server.Start()) << m_server.LastError();
        m_prompts.m_strOfferedPin = CSlapdServer::KeyPin(cert).c_str();
    }
    // With the test CA's certificate when bCA; bound by SASL EXTERNAL when bExternal.
    CConnectionParams Params(ESecurity eSecurity, bool bCA = false, bool bExternal = false) {
        CConnectionParams params = ParamsFor(m_server, kBase, !bExternal);
        params.m_eSecurity = eSecurity;
        if (bCA)
            params.m_strCACertFile = CSlapdServer::CACertFile().c_str();
        if (bExternal)
            params.m_eAuth = EAuth::SaslExternal;
        if (eSecurity == ESecurity::LDAPS)
            params.m_nPort = m_server.TlsPort();
        params.m_pPrompts = &m_prompts;
        return params;
    }
    // TRUE when opened; the source's connection facts kept.
    bool TryOpen(CConnectionParams& params) {
        CLdapSource source;
        if (!source.Open(params))
            return false;
        m_info = source.GetConnectionInfo();
        return true;
    }

    CSlapdServer m_server;
    CTestServices m_services;
    CScriptedPrompts m_prompts;
    CConnectionInfo m_info;
};

} // namespace

TEST_F(LdapSecurity, TrustedCAVerifiesOverStartTlsAndLdaps) {
    StartWith(ETlsCert::Trusted);
    for (ESecurity eSecurity : {ESecurity::StartTLS, ESecurity::LDAPS, ESecurity::StartTLSIfOffered}) {
        CConnectionParams params = Params(eSecurity, true);
        ASSERT_TRUE(TryOpen(params)) << Str(m_services.m_boxes.LastText());
        EXPECT_TRUE(m_info.m_tls.m_bProtected);
        EXPECT_EQ(Str(m_info.m_tls.m_strVersion).rfind("TLS1.", 0), 0u) << Str(m_info.m_tls.m_strVersion);
        EXPECT_FALSE(m_info.m_tls.m_strCipher.IsEmpty());
        EXPECT_FALSE(m_info.m_tls.m_strPeerCertificate.IsEmpty());
        EXPECT_EQ(Str(m_info.m_strIdentity), "dn:cn=admin,dc=example,dc=com");
    }
    // An ldaps:// URL typed as the server wins over the choice.
    CConnectionParams params = Params(ESecurity::None, true);
    params.m_strServer = m_server.LdapsUrl().c_str();
    ASSERT_TRUE(TryOpen(params));
    EXPECT_TRUE(m_info.m_tls.m_bProtected);
    EXPECT_TRUE(m_prompts.m_problems.empty());
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}

TEST_F(LdapSecurity, UnknownIssuerIsJudgedByTheUser) {
    StartWith(ETlsCert::Trusted);
    struct {
        ESecurity eSecurity;
        ETrustAnswer eAnswer;
        bool bOpened;
        ETrust eTrustAfter;
    } const cases[] = {
        {ESecurity::StartTLS, ETrustAnswer::Cancel, false, ETrust::Verify},
        {ESecurity::LDAPS, ETrustAnswer::Cancel, false, ETrust::Verify},
        {ESecurity::StartTLS, ETrustAnswer::Once, true, ETrust::Once},
        {ESecurity::LDAPS, ETrustAnswer::Always, true, ETrust::Pinned},
    };
    for (const auto& c : cases) {
        m_prompts.m_problems.clear();
        m_prompts.m_eAnswer = c.eAnswer;
        CConnectionParams params = Params(c.eSecurity);
        EXPECT_EQ(TryOpen(params), c.bOpened);
        ASSERT_EQ(m_prompts.m_problems.size(), 1u);
        const CCertificateProblem& problem = m_prompts.m_problems[0];
        EXPECT_EQ(Str(problem.m_strHost), "127.0.0.1");
        EXPECT_EQ(problem.m_nPort, params.m_nPort);
        EXPECT_GT(problem.m_strCertificate.GetLength(), 100);
        EXPECT_TRUE(problem.m_strPinnedKey.IsEmpty());
        EXPECT_EQ(params.m_eTrust, c.eTrustAfter);
        if (c.bOpened) {
            EXPECT_EQ(Str(params.m_strKeyPin), CSlapdServer::KeyPin(ETlsCert::Trusted));
        }
    }
    // The user's decision is the only message: no error box after Cancel.
    EXPECT_EQ(m_services.m_boxes.Count(), 0);

    // Without anyone to ask, the failure is reported with the library's words.
    CConnectionParams params = Params(ESecurity::StartTLS);
    params.m_pPrompts = nullptr;
    EXPECT_FALSE(TryOpen(params));
    ASSERT_EQ(m_services.m_boxes.Count(), 1);
    EXPECT_EQ(Str(m_services.m_boxes.LastText()).rfind("Connect error\n", 0), 0u)
        << Str(m_services.m_boxes.LastText());
}

TEST_F(LdapSecurity, PinnedKeyConnectsSilentlyAndAChangedKeyIsRefused) {
    StartWith(ETlsCert::OtherCA);
    CConnectionParams params = Params(ESecurity::StartTLS);
    params.m_eTrust = ETrust::Pinned;
    params.m_strKeyPin = CSlapdServer::KeyPin(ETlsCert::OtherCA).c_str();
    EXPECT_TRUE(TryOpen(params));
    EXPECT_TRUE(m_prompts.m_problems.empty());

    // The key pinned earlier is not the one offered now: both are shown,
    // and nothing connects unless the new one is trusted.
    params.m_strKeyPin = CSlapdServer::KeyPin(ETlsCert::Trusted).c_str();
    EXPECT_FALSE(TryOpen(params));
    ASSERT_EQ(m_prompts.m_problems.size(), 1u);
    EXPECT_EQ(Str(m_prompts.m_problems[0].m_strPinnedKey), CSlapdServer::KeyPin(ETlsCert::Trusted));
    EXPECT_EQ(Str(params.m_strKeyPin), CSlapdServer::KeyPin(ETlsCert::Trusted));
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}

// A name mismatch or an expiry fails verification even with the test CA.
class LdapUnverifiable : public LdapSecurity, public ::testing::WithParamInterface<ETlsCert> {};

TEST_P(LdapUnverifiable, TheUserIsAskedEvenWithTheCA) {
    StartWith(GetParam());
    m_prompts.m_eAnswer = ETrustAnswer::Once;
    CConnectionParams params = Params(ESecurity::StartTLS, true);
    EXPECT_TRUE(TryOpen(params));
    EXPECT_EQ(m_prompts.m_problems.size(), 1u);
    EXPECT_EQ(params.m_eTrust, ETrust::Once);
}

INSTANTIATE_TEST_SUITE_P(Certificates, LdapUnverifiable,
                         ::testing::Values(ETlsCert::NameMismatch, ETlsCert::Expired), [](const auto& info) {
                             return info.param == ETlsCert::Expired ? "Expired" : "NameMismatch";
                         });

TEST_F(LdapSecurity, StartTlsIfOfferedAndThePlainPasswordQuestion) {
    // A server without TLS: "if offered" stays plain, and a password to a
    // host that is not this machine is asked about before anything is sent.
    ASSERT_TRUE(m_server.Start()) << m_server.LastError();
    CConnectionParams params = Params(ESecurity::StartTLSIfOffered);
    EXPECT_TRUE(TryOpen(params));
    EXPECT_FALSE(m_info.m_tls.m_bProtected);
    EXPECT_TRUE(m_prompts.m_plainQuestions.empty()); // loopback

    params = Params(ESecurity::None);
    params.m_strServer = "directory.invalid";
    EXPECT_FALSE(TryOpen(params));
    EXPECT_EQ(m_prompts.m_plainQuestions,
              std::vector<std::string>{"cn=admin,dc=example,dc=com to directory.invalid"});
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
    m_prompts.m_bSendPlain = TRUE;
    EXPECT_FALSE(TryOpen(params));
    EXPECT_EQ(m_services.m_boxes.Count(), 1); // the host does not exist
    // No password, no question.
    params.m_strPassword = "";
    params.m_strBindDN = "";
    m_prompts.m_plainQuestions.clear();
    TryOpen(params);
    EXPECT_TRUE(m_prompts.m_plainQuestions.empty());
}

TEST_F(LdapSecurity, SaslExternalOverLdapiAndWithAClientCertificate) {
    StartWith(ETlsCert::Trusted);
    CConnectionParams params = Params(ESecurity::None, false, true);
    params.m_strServer = m_server.LdapiUrl().c_str();
    ASSERT_TRUE(TryOpen(params)) << Str(m_services.m_boxes.LastText());
    EXPECT_EQ(Str(m_info.m_strIdentity), "dn:cn=admin,dc=example,dc=com");

    params = Params(ESecurity::StartTLS, true, true);
    params.m_strClientCertFile = CSlapdServer::ClientCertFile().c_str();
    params.m_strClientKeyFile = CSlapdServer::ClientKeyFile().c_str();
    ASSERT_TRUE(TryOpen(params)) << Str(m_services.m_boxes.LastText());
    EXPECT_EQ(Str(m_info.m_strIdentity), "dn:cn=admin,dc=example,dc=com");

    // A mechanism the server does not offer: the box says so and names those
    // it does. No SASL plugin implements this name, so slapd can never offer
    // it, whatever plugins the machine has.
    params = Params(ESecurity::None);
    params.m_eAuth = EAuth::Sasl;
    params.m_strSaslMechanism = "X-TARVO-NONE";
    EXPECT_FALSE(TryOpen(params));
    EXPECT_EQ(m_services.m_boxes.Count(), 1);
    EXPECT_EQ(Str(m_services.m_boxes.LastText())
                  .rfind("The server does not offer the SASL mechanism X-TARVO-NONE. It offers: ", 0),
              0u)
        << Str(m_services.m_boxes.LastText());
}

// GSSAPI on a machine with or without its SASL plugin: without it slapd
// does not offer it and says so; with it, the bind fails for want of a
// Kerberos ticket and the user is told to run kinit.
TEST_F(LdapSecurity, GssapiWithoutATicketSaysRunKinitWhateverPluginsAreInstalled) {
    ASSERT_TRUE(m_server.Start()) << m_server.LastError();
    // No ticket anywhere, whatever the machine's own cache holds.
    CTempDir krb;
    const char* pszOldCache = std::getenv("KRB5CCNAME");
    const std::string oldCache = pszOldCache ? pszOldCache : "";
    ::setenv("KRB5CCNAME", ("FILE:" + krb.File("no-such-cache")).c_str(), 1);
    CConnectionParams params = Params(ESecurity::None);
    params.m_eAuth = EAuth::Sasl;
    params.m_strSaslMechanism = "GSSAPI";
    EXPECT_FALSE(TryOpen(params));
    if (pszOldCache)
        ::setenv("KRB5CCNAME", oldCache.c_str(), 1);
    else
        ::unsetenv("KRB5CCNAME");
    ASSERT_EQ(m_services.m_boxes.Count(), 1);
    const std::string text = Str(m_services.m_boxes.LastText());
    // slapd runs on this machine's SASL library: it offers GSSAPI exactly
    // when the plugin is installed.
    const std::vector<CString> installed = InstalledSaslMechanisms();
    const bool bPlugin = std::find(installed.begin(), installed.end(), CString("GSSAPI")) != installed.end();
    const std::string expected = bPlugin ? "No Kerberos ticket: run kinit (GSSAPI: "
                                         : "The server does not offer the SASL mechanism GSSAPI. It offers: ";
    EXPECT_EQ(text.rfind(expected, 0), 0u) << text;
    EXPECT_EQ(text.find("SASL(-1)"), std::string::npos) << text;
}

// The password a session keeps for its reconnect: on pages out of core
// dumps, nowhere else in the source, and zeros once the session is closed.
TEST_F(LdapSecurity, TheKeptPasswordIsOutOfDumpsAndZeroedAtClose) {
    ASSERT_TRUE(m_server.Start()) << m_server.LastError();
    CConnectionParams params = Params(ESecurity::None);
    CLdapSource source;
    ASSERT_TRUE(source.Open(params)) << Str(m_services.m_boxes.LastText());
    const CSecretBuffer& kept = source.GetKeptPassword();
    EXPECT_EQ(std::string(kept.View()), m_server.Password());
    EXPECT_TRUE(kept.IsExcludedFromDumps());
    const char* pData = kept.Data();
    const size_t nCapacity = kept.Capacity();
    EXPECT_TRUE(source.Close());
    EXPECT_TRUE(kept.IsEmpty());
    EXPECT_EQ(std::count(pData, pData + nCapacity, '\0'), static_cast<std::ptrdiff_t>(nCapacity));
}

TEST(SaslBindFailure, OnlyAMissingKerberosTicketGetsItsOwnWords) {
    const struct {
        const char* mechanism;
        const char* diagnostic;
        const char* text;
    } cases[] = {
        {"GSSAPI",
         "SASL(-1): generic failure: GSSAPI Error: No credentials were supplied, or the credentials were "
         "unavailable or inaccessible (No Kerberos credentials available (default cache: "
         "FILE:/tmp/krb5cc_0))",
         "No Kerberos ticket: run kinit (GSSAPI: No credentials were supplied, or the credentials were "
         "unavailable or inaccessible (No Kerberos credentials available (default cache: "
         "FILE:/tmp/krb5cc_0)))"},
        {"GSSAPI", "SASL(-1): generic failure: GSSAPI Error: Unspecified GSS failure (Ticket expired)",
         "No Kerberos ticket: run kinit (GSSAPI: Unspecified GSS failure (Ticket expired))"},
        // Other GSSAPI failures and other mechanisms keep the library's words.
        {"GSSAPI", "SASL(-1): generic failure: GSSAPI Error: Server not found in Kerberos database", ""},
        {"DIGEST-MD5", "SASL(-13): user not found: No credentials were supplied", ""},
        {"GSSAPI", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Str(SaslBindFailureText(c.mechanism, c.diagnostic)), c.text) << c.diagnostic;
}

// Local means every address the name stands for is this machine's; a name
// that merely starts like a loopback address is asked about like any other.
TEST(LoopbackServer, DecidedByEveryResolvedAddressNeverByTheName) {
    const std::map<std::string, std::vector<std::string>> names = {
        {"127.evil.invalid", {"203.0.113.7"}},        {"127.0.0.1.evil.invalid", {"198.51.100.1"}},
        {"localhost", {"127.0.0.1", "::1"}},          {"loop.example", {"127.0.1.1"}},
        {"half.example", {"127.0.0.1", "192.0.2.1"}}, {"six.example", {"::1", "2001:db8::1"}},
    };
    std::vector<std::string> asked;
    const CHostResolver stub = [&](const std::string& host) {
        asked.push_back(host);
        const auto it = names.find(host);
        return it == names.end() ? std::vector<std::string>() : it->second;
    };
    const struct {
        const char* server;
        bool bLoopback;
    } cases[] = {
        {"127.evil.invalid", false},
        {"ldap://127.0.0.1.evil.invalid:389", false},
        {"localhost", true},
        {"ldaps://loop.example", true},
        {"half.example", false},
        {"six.example", false},
        {"unknown.invalid", false}, // resolves to nothing
        {"127.0.0.1", true},
        {"127.255.3.4", true},
        {"128.0.0.1", false},
        {"::1", true},
        {"[::1]", true},
        {"::2", false},
        {"ldapi://%2Frun%2Fslapd%2Fldapi", true},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsLoopbackServer(c.server, stub), c.bLoopback) << c.server;
    // Literal addresses are never looked up.
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "127.0.0.1"), 0);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "127.evil.invalid"), 1);
    EXPECT_TRUE(IsLoopbackAddress("127.0.0.53"));
    EXPECT_FALSE(IsLoopbackAddress("::ffff:10.0.0.1"));
    EXPECT_FALSE(IsLoopbackAddress("not an address"));
}

TEST(ServerText, HostNamesAddressesAndUrlsPassAndAnythingElseIsRefused) {
    const char* const valid[] = {
        "ldap.example.com",
        "localhost",
        "127.0.0.1",
        "::1",
        "[2001:db8::1]",
        "host_1.example",
        "a.",
        "ldap://ldap.example.com:389",
        "ldaps://h.example",
        "ldapi://%2Frun%2Fslapd%2Fldapi",
        "xn--bcher-kva.example",
        "b\xC3\xBC"
        "cher.example",
    };
    const char* const invalid[] = {
        "",
        "   ",
        " ldap.example.com",
        "ldap.example.com secret",
        "a;b",
        "a..b",
        ".a",
        "host:389",
        "ldap://h.example:99999",
        "ldap://bad host",
        "cn=admin,dc=example,dc=com",
    };
    for (const char* server : valid)
        EXPECT_TRUE(IsValidServerText(server)) << server;
    for (const char* server : invalid)
        EXPECT_FALSE(IsValidServerText(server)) << server;
}

TEST(LdapUrl, ServerTextsGiveSecurityHostAndUrl) {
    struct {
        const char* server;
        ESecurity eChosen;
        ESecurity eSecurity;
        const char* url;
        const char* host;
        bool bLoopback;
    } const cases[] = {
        {"ldap.example.org", ESecurity::LDAPS, ESecurity::LDAPS, "ldaps://ldap.example.org:636",
         "ldap.example.org", false},
        {"ldaps://h.example:1636", ESecurity::None, ESecurity::LDAPS, "ldaps://h.example:1636", "h.example",
         false},
        {"ldap://h.example", ESecurity::LDAPS, ESecurity::StartTLSIfOffered, "ldap://h.example", "h.example",
         false},
        {"ldap://127.0.0.1:389", ESecurity::StartTLS, ESecurity::StartTLS, "ldap://127.0.0.1:389",
         "127.0.0.1", true},
        {"ldapi://%2Frun%2Fslapd%2Fldapi", ESecurity::StartTLS, ESecurity::None,
         "ldapi://%2Frun%2Fslapd%2Fldapi", "", true},
        {"::1", ESecurity::None, ESecurity::None, "ldap://[::1]:636", "::1", true},
    };
    for (const auto& c : cases) {
        const ESecurity eSecurity = SecurityOfServer(c.server, c.eChosen);
        EXPECT_EQ(eSecurity, c.eSecurity) << c.server;
        EXPECT_EQ(Str(BuildLdapUrl(c.server, 636, eSecurity)), c.url);
        EXPECT_EQ(Str(HostOfServer(c.server)), c.host);
        EXPECT_EQ(IsLoopbackServer(c.server), c.bLoopback) << c.server;
    }
    CString host, base;
    int nPort = 0;
    ESecurity eSecurity = ESecurity::None;
    ASSERT_TRUE(
        ParseLdapUrl("ldaps://dir.example:1636/ou=People,dc=example,dc=com", host, nPort, eSecurity, base));
    EXPECT_EQ(Str(host), "dir.example");
    EXPECT_EQ(nPort, 1636);
    EXPECT_EQ(eSecurity, ESecurity::LDAPS);
    EXPECT_EQ(Str(base), "ou=People,dc=example,dc=com");
    EXPECT_FALSE(ParseLdapUrl("dir.example", host, nPort, eSecurity, base));
}
