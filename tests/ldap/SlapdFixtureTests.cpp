// The private server itself: the other LDAP tests stand on it.

#include "SlapdFixture.h"

#include <cstdlib>
#include <gtest/gtest.h>

TEST(SlapdFixture, ServesSeedAndFaults) {
    CSlapdServer server;
    ASSERT_TRUE(server.AddChildren("ou=Empty,dc=example,dc=com", 0));
    ASSERT_TRUE(server.AddChildren("ou=People,dc=example,dc=com", 3, "extra"));
    ASSERT_TRUE(server.Start()) << server.LastError();
    EXPECT_EQ(server.Url(), "ldap://127.0.0.1:" + std::to_string(server.Port()) + "/");
    EXPECT_EQ(server.SearchDNs("ou=People,dc=example,dc=com").size(), 5u);
    EXPECT_TRUE(server.Exists("cn=Alice,ou=People,dc=example,dc=com"));
    EXPECT_FALSE(server.Exists("cn=Nobody,ou=People,dc=example,dc=com"));
    EXPECT_EQ(server.Values("cn=Alice,ou=People,dc=example,dc=com", "mail"),
              (std::vector<std::string>{"alice@example.com", "alice.smith@example.com"}));

    ASSERT_TRUE(server.AddChildren("ou=Empty,dc=example,dc=com", 2, "late"));
    EXPECT_EQ(server.SearchDNs("ou=Empty,dc=example,dc=com").size(), 2u);
    EXPECT_TRUE(server.Modify("dn: cn=late0,ou=Empty,dc=example,dc=com\nchangetype: delete\n"));
    EXPECT_FALSE(server.Exists("cn=late0,ou=Empty,dc=example,dc=com"));

    server.Pause();
    server.Resume();
    EXPECT_TRUE(server.Exists("cn=late1,ou=Empty,dc=example,dc=com"));
    server.Kill();
    EXPECT_FALSE(server.IsRunning());
    EXPECT_TRUE(server.SearchDNs("dc=example,dc=com", "base").empty());
}

// The TLS listeners, checked with the OpenLDAP tools so that a fault here is
// not mistaken for one in the program's own connect routine.
TEST(SlapdFixture, ServesTlsAndPeerCredentials) {
    CSlapdServer server;
    server.EnableTls();
    ASSERT_TRUE(server.Start()) << server.LastError();
    // The exit code of a tool run with only the given settings.
    auto run = [](const std::string& settings, const std::string& tool) {
        return std::system(
            ("env -u LDAPNOINIT LDAPCONF=/dev/null LDAPRC=/dev/null " + settings + " " + tool).c_str());
    };
    const std::string verify = "LDAPTLS_REQCERT=demand";
    const std::string withCA = verify + " LDAPTLS_CACERT='" + CSlapdServer::CACertFile() + "'";
    const std::string query = " -x -b '' -s base >/dev/null 2>&1";
    EXPECT_EQ(run(withCA, "ldapsearch -ZZ -H " + server.Url() + query), 0);
    EXPECT_EQ(run(withCA, "ldapsearch -H " + server.LdapsUrl() + query), 0);
    EXPECT_NE(run(verify, "ldapsearch -H " + server.LdapsUrl() + query), 0)
        << "the test CA must not be trusted by default";
    EXPECT_EQ(run("", "ldapwhoami -Y EXTERNAL -H '" + server.LdapiUrl() +
                          "' 2>/dev/null | grep -qx 'dn:cn=admin,dc=example,dc=com'"),
              0);
    for (ETlsCert cert : {ETlsCert::Trusted, ETlsCert::OtherCA, ETlsCert::Expired})
        EXPECT_EQ(CSlapdServer::KeyPin(cert).size(), 51u);
    EXPECT_NE(CSlapdServer::KeyPin(ETlsCert::Trusted), CSlapdServer::KeyPin(ETlsCert::OtherCA));
    EXPECT_EQ(CSlapdServer::KeyPin(ETlsCert::Trusted), CSlapdServer::KeyPin(ETlsCert::Expired));
}
