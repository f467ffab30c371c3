// Password values made on this side: each form checks against its password,
// the salt differs every time, and the pane's mask hides the hash.

#include "source/PasswordHash.h"

#include <gtest/gtest.h>

TEST(PasswordHash, SaltedHashesCheckAgainstTheirPasswordOnly) {
    for (auto [eScheme, pszPrefix, nLength] : {std::tuple{EPasswordScheme::SSHA, "{SSHA}", 6 + 40},
                                               std::tuple{EPasswordScheme::SSHA512, "{SSHA512}", 9 + 96}}) {
        const CString a = MakePasswordValue(eScheme, "correct horse");
        const CString b = MakePasswordValue(eScheme, "correct horse");
        EXPECT_EQ(a.Left(static_cast<int>(strlen(pszPrefix))), pszPrefix);
        EXPECT_EQ(a.GetLength(), nLength) << a.Str(); // base64 of digest and 8 bytes of salt
        EXPECT_NE(a, b);                              // a fresh salt each time
        EXPECT_TRUE(PasswordMatches(a, "correct horse"));
        EXPECT_TRUE(PasswordMatches(b, "correct horse"));
        EXPECT_FALSE(PasswordMatches(a, "correct horsE"));
        EXPECT_FALSE(PasswordMatches(a, ""));
    }
    EXPECT_EQ(MakePasswordValue(EPasswordScheme::Clear, "plain").Str(), "plain");
    EXPECT_TRUE(PasswordMatches("plain", "plain"));
    EXPECT_FALSE(PasswordMatches("{SSHA}broken", "x"));
}

TEST(PasswordHash, TheMaskKeepsTheSchemeOnly) {
    const std::string dots =
        "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2";
    EXPECT_EQ(MaskPasswordValue(MakePasswordValue(EPasswordScheme::SSHA, "x")).Str(), "{SSHA} " + dots);
    EXPECT_EQ(MaskPasswordValue("secret").Str(), dots);
    EXPECT_EQ(MaskPasswordValue("{broken").Str(), dots);
}
