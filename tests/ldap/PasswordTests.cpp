// Set Password on slapd: through the Password Modify operation, and as an
// {SSHA} value when the server hides the operation; the new password binds.

#include "LdapTestPane.h"

#include <gtest/gtest.h>

namespace {

class SetPassword : public CLdapTest {
protected:
    // Sets Alice's password and waits for the outcome.
    std::shared_ptr<CPasswordChange> Set(const char* pszPassword, EPasswordScheme eScheme) {
        CEntryNode* pAlice = FindChild(m_pRoot, kAlice);
        EXPECT_NE(pAlice, nullptr);
        if (!pAlice)
            return nullptr;
        auto pChange = m_pSource->SetPassword(pAlice, pszPassword, eScheme);
        EXPECT_TRUE(Pump([&] { return pChange->bDone.load(); }));
        EXPECT_TRUE(WaitForWorkers(*m_pSource));
        return pChange;
    }
    // A simple bind as Alice with the password succeeds.
    bool Binds(const std::string& password) {
        int nExit = -1;
        m_server.RunTool("ldapwhoami -x -H " + m_server.Url() + " -D '" + kAlice + "' -w '" + password + "'",
                         &nExit);
        return nExit == 0;
    }
};

} // namespace

TEST_F(SetPassword, ThroughTheServersOperationThenABindWithIt) {
    ASSERT_NE(Open(kPeople), nullptr);
    auto pChange = Set("n3w secret", EPasswordScheme::SSHA);
    ASSERT_TRUE(pChange);
    EXPECT_TRUE(pChange->bChanged) << pChange->strMessage.Str();
    EXPECT_TRUE(pChange->bByServer);
    EXPECT_TRUE(Binds("n3w secret"));
    EXPECT_FALSE(Binds("wrong"));
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}

TEST_F(SetPassword, AsASaltedHashWhenTheServerHidesTheOperation) {
    m_server.SetGlobalConfig("access to dn.base=\"\" attrs=supportedExtension by * none\n"
                             "access to * by * read\n");
    ASSERT_NE(Open(kPeople), nullptr);
    for (EPasswordScheme eScheme : {EPasswordScheme::SSHA, EPasswordScheme::Clear}) {
        const std::string password = eScheme == EPasswordScheme::SSHA ? "hashed one" : "clear one";
        auto pChange = Set(password.c_str(), eScheme);
        ASSERT_TRUE(pChange);
        EXPECT_TRUE(pChange->bChanged) << pChange->strMessage.Str();
        EXPECT_FALSE(pChange->bByServer);
        const std::vector<std::string> stored = m_server.Values(kAlice, "userPassword");
        ASSERT_EQ(stored.size(), 1u);
        if (eScheme == EPasswordScheme::SSHA)
            EXPECT_EQ(stored[0].rfind("{SSHA}", 0), 0u) << stored[0];
        else
            EXPECT_EQ(stored[0], password);
        EXPECT_TRUE(Binds(password));
    }
}

TEST_F(SetPassword, AFailureSaysWhyWithoutABox) {
    ASSERT_NE(Open(kPeople, true, false), nullptr); // anonymous: may not write
    auto pChange = Set("anything", EPasswordScheme::SSHA);
    ASSERT_TRUE(pChange);
    EXPECT_FALSE(pChange->bChanged);
    EXPECT_FALSE(pChange->strMessage.IsEmpty());
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
}
