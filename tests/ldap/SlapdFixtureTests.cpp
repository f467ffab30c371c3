// The private server itself: the other LDAP tests stand on it.

#include "SlapdFixture.h"

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
