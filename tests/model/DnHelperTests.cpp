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

TEST(DnHelper, ATypedWholeDnIsReadForWhatItSaysNeverEscapedIntoOneName) {
    const CString parent = "ou=People,dc=hidden,dc=test";
    struct Case {
        const char* typed;
        const char* rdn;
        bool bOtherParent;
    } cases[] = {
        {"cn=K", "cn=K", false},
        {"cn=Smith, K", "cn=Smith\\, K", false}, // a comma typed into a value
        {"cn=Smith\\, K,ou=people,dc=hidden,dc=test", "cn=Smith\\, K", false},
        {"cn=Smith\\2C K,OU=People, dc=Hidden,dc=test", "cn=Smith\\2C K", false},
        {"cn=K,ou=Groups,dc=hidden,dc=test", "cn=K", true},
        {"Smith", "", false},
    };
    for (const auto& c : cases) {
        const CTypedName name = DnNameFromTyped(c.typed, parent);
        EXPECT_EQ(name.strRdn, CString(c.rdn)) << c.typed;
        EXPECT_EQ(name.bOtherParent, c.bOtherParent) << c.typed;
    }
    EXPECT_EQ(DnNameFromTyped("cn=K,ou=Groups,dc=hidden,dc=test", parent).strParent,
              CString("ou=Groups,dc=hidden,dc=test"));
}

TEST(DnHelper, AWholeDnIsValidOnlyWhenEveryRdnIs) {
    const char* const valid[] = {"", "dc=example,dc=com", "ou=People, dc=example", "cn=Smith\\, K,o=x",
                                 "cn=a+sn=b,o=x", "2.5.4.3=x"};
    const char* const invalid[] = {"secret", "dc=example,,dc=com", "dc=example,", "cn=a\\", "=x,o=y",
                                   "cn=\"open,o=x"};
    for (const char* dn : valid)
        EXPECT_TRUE(DnIsValid(dn)) << dn;
    for (const char* dn : invalid)
        EXPECT_FALSE(DnIsValid(dn)) << dn;
}

TEST(DnHelper, CompareKeyMatchesTheSameEntryWrittenDifferentlyAndDisplayUnescapes) {
    EXPECT_EQ(DnCompareKey("cn=Smith\\2C J,ou=People"), DnCompareKey("CN=smith\\, j , OU = people"));
    EXPECT_EQ(DnCompareKey("cn=\"Smith, J\",o=x"), DnCompareKey("cn=Smith\\, J,o=x"));
    EXPECT_EQ(DnCompareKey("cn=a\\41"), DnCompareKey("cn=aa"));
    EXPECT_NE(DnCompareKey("cn=Smith\\, J,o=x"), DnCompareKey("cn=Smith,J,o=x"));
    EXPECT_NE(DnCompareKey("cn=a\\2Bb"), DnCompareKey("cn=a+b=c"));
    // What a server compares: hex escapes against UTF-8, types by name,
    // alias or OID in any case, pairs of an RDN in any order, the case of
    // the common naming attributes' values only.
    const struct {
        const char *a, *b;
        bool bSame;
    } cases[] = {
        {"o=Caf\\C3\\A9", "o=Caf\xC3\xA9", true},
        {"O=caf\xC3\xA9", "o=CAF\xC3\xA9", true},
        {"2.5.4.3=Ann,dc=x", "commonName=ann,DomainComponent=X", true},
        {"OID.2.5.4.11=a", "ou=A", true},
        {"cn=a+uid=b", "UID=b + CN=a", true},
        {"cn=a  b", "cn=a b", true},
        {"o=End\\ ", "o=End", true}, // blanks at the ends do not count for cn, o, ...
        {"x-code=End\\ ", "x-code=End", false},
        {"x-code=AB", "x-code=ab", false},
        {"x-code=AB", "X-CODE=AB", true},
        {"cn=#04024869", "cn=Hi", true},
        {"cn=a\\2Cb", "cn=a\\,b", true},
        {"cn=a\\2Cb", "cn=a,cn=b", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DnCompareKey(c.a) == DnCompareKey(c.b), c.bSame) << c.a << " / " << c.b;
    // Display shows printable hex escapes readably.
    EXPECT_EQ(DnForDisplay("cn=Smith\\2C J,o=x"), CString("cn=Smith\\, J,o=x"));
    EXPECT_EQ(DnForDisplay("cn=\\41bc"), CString("cn=Abc"));
    EXPECT_EQ(DnForDisplay("cn=M\\C3\\BCller"), CString("cn=M\xC3\xBCller"));
    EXPECT_EQ(DnForDisplay("cn=bad\\C3\\41"), CString("cn=bad\\C3A"));
    EXPECT_EQ(DnForDisplay("cn=nul\\00"), CString("cn=nul\\00"));
    EXPECT_EQ(DnForDisplay("cn=plain"), CString("cn=plain"));
}

TEST(DnHelper, RenameChangesTheNamingValuesAsAServerDoes) {
    auto make = [](std::initializer_list<std::pair<const char*, std::vector<const char*>>> attributes) {
        CAttributeArray out;
        for (const auto& [pszName, values] : attributes) {
            auto* pAttribute = new CAttribute;
            pAttribute->m_strName = pszName;
            for (const char* pszValue : values)
                pAttribute->Add(pszValue);
            out.Add(pAttribute);
        }
        return out;
    };
    auto text = [](const CAttributeArray& attributes) {
        std::string out;
        for (const CAttribute* pAttribute : attributes) {
            out += pAttribute->m_strName.Str() + ":";
            for (const CString& value : *pAttribute)
                out += " " + value.Str();
            out += ";";
        }
        return out;
    };
    CAttributeArray attributes = make({{"objectClass", {"person"}}, {"CN", {"SMITH", "J"}}, {"sn", {"s"}}});
    EXPECT_TRUE(DnApplyRename(attributes, "cn=smith", "commonName=Smith\\, K", true));
    EXPECT_EQ(text(attributes), "objectClass: person;CN: J Smith, K;sn: s;");
    EXPECT_TRUE(DnApplyRename(attributes, "cn=J", "uid=j", true));
    EXPECT_EQ(text(attributes), "objectClass: person;CN: Smith, K;sn: s;uid: j;");
    EXPECT_TRUE(DnApplyRename(attributes, "uid=j", "uid=k", false));
    EXPECT_EQ(text(attributes), "objectClass: person;CN: Smith, K;sn: s;uid: j k;");
    EXPECT_FALSE(DnApplyRename(attributes, "uid=k", "no pair", true));
    EXPECT_EQ(text(attributes), "objectClass: person;CN: Smith, K;sn: s;uid: j k;");
    DeleteAttributes(attributes);
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
