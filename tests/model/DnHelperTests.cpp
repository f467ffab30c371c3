#include "model/Attribute.h"
#include "model/DnHelper.h"
#include "model/EntryNode.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char* dn;
    bool bOk;
    std::vector<std::string> rdns;
};

TEST(DnHelper, SplitsOnlyAtRealSeparators) {
    const SplitCase cases[] = {
        {"", true, {}},
        {"dc=com", true, {"dc=com"}},
        {"cn=Smith\\, J,ou=people,dc=example", true, {"cn=Smith\\, J", "ou=people", "dc=example"}},
        {"cn=Smith\\2C J,ou=people", true, {"cn=Smith\\2C J", "ou=people"}},
        {"cn=a\\\\,ou=b", true, {"cn=a\\\\", "ou=b"}}, // an escaped backslash, then a separator
        {"cn=\"Smith, J\",o=x", true, {"cn=\"Smith, J\"", "o=x"}},
        {"cn=a+sn=b , o=x , c=US", true, {"cn=a+sn=b", "o=x", "c=US"}},
        {"cn=trailing\\ ,o=x", true, {"cn=trailing\\ ", "o=x"}},
        {"cn=M\xC3\xBCller,o=x", true, {"cn=M\xC3\xBCller", "o=x"}},
        {"cn=dangling\\", false, {"cn=dangling\\"}},
        {"cn=\"open,o=x", false, {}},
        {"cn=a,,o=x", false, {"cn=a", "", "o=x"}},
    };
    for (const SplitCase& c : cases) {
        std::vector<std::string> rdns;
        EXPECT_EQ(DnSplit(c.dn, rdns), c.bOk) << c.dn;
        if (c.bOk || !c.rdns.empty()) {
            EXPECT_EQ(rdns, c.rdns) << c.dn;
        }
    }
}

TEST(DnHelper, FirstRdnParentAndGetRdnHonourEscapes) {
    const struct {
        const char* dn;
        const char* rdn;
        const char* parent;
    } cases[] = {
        {"cn=Smith\\, J,ou=people,dc=example,dc=com", "cn=Smith\\, J", "ou=people,dc=example,dc=com"},
        {"cn=Smith\\2C K,ou=people", "cn=Smith\\2C K", "ou=people"},
        {"cn=\"a,b\", o=x", "cn=\"a,b\"", "o=x"},
        {"dc=com", "dc=com", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DnFirstRdn(c.dn), CString(c.rdn)) << c.dn;
        EXPECT_EQ(DnParent(c.dn), CString(c.parent)) << c.dn;
        CEntryNode node;
        node.SetDN(c.dn);
        EXPECT_EQ(node.GetRDN(), CString(c.rdn)) << c.dn;
    }
}

TEST(DnHelper, TypedRdnsAreEscapedOnlyWhenNeeded) {
    const struct {
        const char* typed;
        const char* rdn;
    } cases[] = {
        {"cn=Jones", "cn=Jones"},
        {" cn=Smith\\, K ", "cn=Smith\\, K"}, // already an RDN: kept
        {"cn=Smith, K", "cn=Smith\\, K"},     // a typed comma is part of the value
        {"cn=a+b", "cn=a\\+b"},               // not a second pair
        {"cn=a+sn=b", "cn=a+sn=b"},           // a real multi-valued RDN
        {"cn=#1 <x>;\"q\"", "cn=\\#1 \\<x\\>\\;\\\"q\\\""},
        {"cn= lead", "cn=lead"}, // blanks after '=' are not part of the value
        {"2.5.4.3=x", "2.5.4.3=x"},
        {"Jones", ""}, // no attribute type
        {"c n=x", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DnRdnFromTyped(c.typed), CString(c.rdn)) << c.typed;
    EXPECT_EQ(DnEscapeValue(std::string_view("a\nb\0", 4)), CString("a\\0Ab\\00"));
    EXPECT_EQ(DnEscapeValue(" x "), CString("\\ x\\ "));
}

TEST(DnHelper, CompareKeyMatchesTheSameEntryWrittenDifferentlyAndDisplayUnescapes) {
    EXPECT_EQ(DnCompareKey("cn=Smith\\2C J,ou=People"), DnCompareKey("CN=smith\\, j , OU = people"));
    EXPECT_EQ(DnCompareKey("cn=\"Smith, J\",o=x"), DnCompareKey("cn=Smith\\, J,o=x"));
    EXPECT_EQ(DnCompareKey("cn=a\\41"), DnCompareKey("cn=aa"));
    EXPECT_NE(DnCompareKey("cn=Smith\\, J,o=x"), DnCompareKey("cn=Smith,J,o=x"));
    EXPECT_NE(DnCompareKey("cn=a\\2Bb"), DnCompareKey("cn=a+b=c"));
    // Display shows printable hex escapes readably.
    EXPECT_EQ(DnForDisplay("cn=Smith\\2C J,o=x"), CString("cn=Smith\\, J,o=x"));
    EXPECT_EQ(DnForDisplay("cn=\\41bc"), CString("cn=Abc"));
    EXPECT_EQ(DnForDisplay("cn=M\\C3\\BCller"), CString("cn=M\xC3\xBCller"));
    EXPECT_EQ(DnForDisplay("cn=bad\\C3\\41"), CString("cn=bad\\C3A"));
    EXPECT_EQ(DnForDisplay("cn=nul\\00"), CString("cn=nul\\00"));
    EXPECT_EQ(DnForDisplay("cn=plain"), CString("cn=plain"));
    // A raw NUL a server sent is shown as its escape, and what follows stays.
    EXPECT_EQ(DnForDisplay(CString(std::string("cn=a\0b,o=x", 10))), CString("cn=a\\00b,o=x"));
}

TEST(AttributeDescription, AcceptsTypesOidsAndOptionsOnly) {
    for (const char* good : {"cn", "mail", "userCertificate;binary", "description;lang-de", "x-my-attr",
                             "2.5.4.3", "2.5.4.3;lang-en", "DNS", "dnQualifier"})
        EXPECT_TRUE(IsAttributeDescription(good)) << good;
    for (const char* bad : {"", "dn", "DN", "Dn;x", "mail:work", " cn", "cn ", "1cn", "c n", "cn;", "cn;;x",
                            "2.5..4", "2.5.", "\xC3\xA9", "cn\nx"})
        EXPECT_FALSE(IsAttributeDescription(bad)) << bad;
}

} // namespace
