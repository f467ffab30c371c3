// The schema model without a server: the file forms, definitions servers
// bend, superior chains that loop, content rules and OID macros.

#include "source/EntryCheck.h"
#include "source/SchemaFiles.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> NamesOf(const std::vector<CAllowedAttribute>& attributes) {
    std::vector<std::string> names;
    for (const CAllowedAttribute& a : attributes)
        names.push_back(a.m_strName.Str());
    return names;
}

using Names = std::vector<std::string>;

} // namespace

TEST(SchemaModel, DefinitionsThatBendTheGrammarAreReadAndBrokenOnesSayWhy) {
    struct Case {
        CSchema::EKind eKind;
        const char* pszText;
        bool bRead;
    };
    const Case cases[] = {
        {CSchema::kAttributeType, "( 1.2.3.1 NAME 'plain' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )", true},
        // Quoted OID, a descriptor for a syntax, fields out of order.
        {CSchema::kAttributeType, "( '1.2.3.2' NAME 'quoted' SYNTAX '1.3.6.1.4.1.1466.115.121.1.15' )", true},
        {CSchema::kAttributeType, "( 1.2.3.3 SINGLE-VALUE NAME 'late' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 )",
         true},
        {CSchema::kObjectClass, "( 1.2.3.4 NAME 'noSup' MUST plain )", true},
        {CSchema::kAttributeType, "( 1.2.3.5 NAME 'unclosed' ", false},
        {CSchema::kObjectClass, "not a definition at all", false},
        {CSchema::kSyntax, "( 1.2.3.6 DESC 'A syntax' )", true},
        {CSchema::kMatchingRule, "( 1.2.3.7 NAME 'aRule' SYNTAX 1.2.3.6 )", true},
    };
    CSchema schema;
    for (const Case& c : cases) {
        CString error;
        EXPECT_EQ(schema.AddDefinition(c.eKind, c.pszText, &error), c.bRead) << c.pszText;
        EXPECT_EQ(error.IsEmpty(), c.bRead) << c.pszText << " " << error.Str();
    }
    schema.Resolve();
    ASSERT_NE(schema.FindAttributeType("QUOTED"), nullptr);
    EXPECT_NE(schema.FindAttributeType("plain"), schema.FindAttributeType("quoted"));
    EXPECT_TRUE(schema.FindAttributeType("late")->m_bSingleValue);
    EXPECT_EQ(schema.FindObjectClass("noSup")->m_eKind, EObjectClassKind::Structural);
    EXPECT_EQ(schema.SyntaxName("1.2.3.6").Str(), "A syntax");
    EXPECT_EQ(schema.SyntaxName("9.9").Str(), "9.9");
    // The first definition of an OID stays.
    EXPECT_TRUE(schema.AddDefinition(CSchema::kAttributeType, "( 1.2.3.1 NAME 'other' )"));
    EXPECT_EQ(schema.FindAttributeType("1.2.3.1")->Name().Str(), "plain");
    EXPECT_EQ(schema.FindAttributeType("other"), nullptr);
}

TEST(SchemaModel, SuperiorLoopsEndAndContentRulesAddAndRemove) {
    CSchema schema;
    ReadSchemaConf(
        "attributetype ( 1.1.1 NAME 'a' SUP b )\n"
        "attributetype ( 1.1.2 NAME 'b' SUP a )\n"
        "attributetype ( 1.1.3 NAME 'base' EQUALITY caseIgnoreMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 "
        "SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )\n"
        "attributetype ( 1.1.4 NAME 'sub' SUP base )\n"
        "attributetype ( 1.1.5 NAME 'extra' SUP base )\n"
        "objectclass ( 1.2.1 NAME 'x' SUP y MUST a MAY sub )\n"
        "objectclass ( 1.2.2 NAME 'y' SUP x MUST b MAY ( extra $ a ) )\n"
        "objectclass ( 1.2.3 NAME 'aux' AUXILIARY MAY extra )\n"
        "ditcontentrule ( 1.2.1 NAME 'xRule' AUX aux MUST extra NOT sub )\n",
        schema);
    schema.Resolve();
    // a and b name each other: the chain ends where it would repeat.
    EXPECT_EQ(schema.SuperiorChain(*schema.FindAttributeType("a")).size(), 2u);
    EXPECT_EQ(schema.SuperiorChain(*schema.FindObjectClass("x")).size(), 2u);
    const CSchemaAttributeType* pSub = schema.FindAttributeType("sub");
    EXPECT_EQ(pSub->m_strResolvedSyntax.Str(), "1.3.6.1.4.1.1466.115.121.1.15");
    EXPECT_EQ(pSub->m_strResolvedEquality.Str(), "caseIgnoreMatch");
    EXPECT_TRUE(pSub->m_bResolvedSingleValue);
    EXPECT_TRUE(pSub->m_bResolvedNoUserModification);
    EXPECT_TRUE(pSub->IsOperational());

    // x's content rule makes extra required and removes sub.
    CAllowedAttributes x = schema.AttributesOf("x");
    EXPECT_EQ(NamesOf(x.m_must), (Names{"a", "b", "extra"}));
    EXPECT_EQ(NamesOf(x.m_may), Names{});
    EXPECT_TRUE(x.IsRequired("EXTRA"));
    EXPECT_FALSE(x.IsAllowed("sub"));
    EXPECT_EQ(schema.FindContentRule("X")->m_aux, std::vector<CString>{"aux"});
}

TEST(SchemaModel, ConfigLdifAndSlapdConfFormsReadTheSameWithTheirMacros) {
    const char* pszLdif = "dn: cn=test,cn=schema,cn=config\n"
                          "objectClass: olcSchemaConfig\n"
                          "olcObjectIdentifier: TestRoot 1.3.6.1.4.1.99999\n"
                          "olcObjectIdentifier: TestAt TestRoot:1\n"
                          "olcAttributeTypes: {0}( TestAt:1 NAME 'testName'\n"
                          "  DESC 'folded over\n"
                          "  two lines' SUP name )\n"
                          "olcObjectClasses: {1}( TestRoot:2.1 NAME 'testThing' SUP top STRUCTURAL\n"
                          "  MUST testName )\n";
    const char* pszConf = "# a comment\n"
                          "objectidentifier TestRoot 1.3.6.1.4.1.99999\n"
                          "objectIdentifier TestAt TestRoot:1\n"
                          "attributetype ( TestAt:1 NAME 'testName'\n"
                          "\tDESC 'folded over two lines' SUP name )\n"
                          "\n"
                          "objectclass ( TestRoot:2.1 NAME 'testThing' SUP top STRUCTURAL\n"
                          "    MUST testName )\n";
    for (bool bLdif : {true, false}) {
        CSchema schema;
        int nFailed = 0;
        if (bLdif)
            ReadSchemaLdif(pszLdif, schema, &nFailed);
        else
            ReadSchemaConf(pszConf, schema, &nFailed);
        schema.Resolve();
        EXPECT_EQ(nFailed, 0);
        const CSchemaAttributeType* pType = schema.FindAttributeType("1.3.6.1.4.1.99999.1.1");
        ASSERT_NE(pType, nullptr) << bLdif;
        EXPECT_EQ(pType->Name().Str(), "testName");
        EXPECT_EQ(pType->m_strDesc.Str(), "folded over two lines");
        ASSERT_NE(schema.FindObjectClass("1.3.6.1.4.1.99999.2.1"), nullptr) << bLdif;
    }
}

TEST(SchemaModel, BuiltInSetIsWholeAndEveryTypeHasASyntax) {
    auto pSchema = BuiltinSchema();
    for (const CSchemaAttributeType& type : pSchema->AttributeTypes()) {
        EXPECT_FALSE(type.m_strResolvedSyntax.IsEmpty()) << type.Name().Str();
        EXPECT_NE(type.m_strOid[0], 'L') << type.Name().Str(); // macros expanded
    }
    // Every name a class lists is a known type; every superior a known class.
    for (const CSchemaObjectClass& objectClass : pSchema->ObjectClasses()) {
        for (const auto* pList : {&objectClass.m_must, &objectClass.m_may})
            for (const CString& name : *pList)
                EXPECT_NE(pSchema->FindAttributeType(name), nullptr)
                    << objectClass.Name().Str() << " " << name.Str();
        for (const CString& sup : objectClass.m_sup)
            EXPECT_NE(pSchema->FindObjectClass(sup), nullptr) << sup.Str();
    }
    EXPECT_EQ(NamesOf(pSchema->AttributesOf("inetOrgPerson").m_must), (Names{"sn", "cn", "objectClass"}));
    // A folder without schema files gives none.
    EXPECT_EQ(LoadSchemaFolder("/nonexistent-folder"), nullptr);
}

TEST(EntryCheck, NewEntriesAndAddedValuesAreCheckedAgainstTheSchema) {
    auto pSchema = BuiltinSchema();
    using Rows = std::vector<CEntryRow>;
    struct Case {
        const char* pszWhat;
        Rows rows;
        std::vector<std::string> findings;
    };
    const Case cases[] = {
        {"a whole person", {{"objectClass", "person"}, {"cn", "Ada"}, {"sn", "Lovelace"}}, {}},
        {"a missing sn, named by its empty row",
         {{"objectClass", "person"}, {"cn", "Ada"}, {"sn", ""}},
         {"Row 3, sn: required by person, but has no value"}},
        {"a missing sn without a row",
         {{"objectClass", "person"}, {"cn", "Ada"}},
         {"sn: required by person, but has no value"}},
        {"a second c, one value only",
         {{"objectClass", "country"}, {"c", "FI"}, {"c", "SE"}},
         {"Row 3, c: takes one value only"}},
        {"a syntax and an unknown attribute",
         {{"objectClass", "account"},
          {"objectClass", "posixAccount"},
          {"uid", "ada"},
          {"cn", "Ada"},
          {"uidNumber", "abc"},
          {"gidNumber", "1"},
          {"homeDirectory", "/h"},
          {"shoeSize", "9"}},
         {"Row 5, uidNumber: must be a whole number, such as 42 or -7",
          "Row 8, shoeSize: not an attribute type of this directory"}},
        {"outside the classes, then allowed by extensibleObject",
         {{"objectClass", "device"}, {"cn", "d"}, {"mail", "x@y"}},
         {"Row 3, mail: not allowed by the object classes of the entry"}},
        {"",
         {{"objectClass", "device"}, {"objectClass", "extensibleObject"}, {"cn", "d"}, {"mail", "x@y"}},
         {}},
        {"only auxiliary classes, an unknown class and a server-made attribute",
         {{"objectClass", "dcObject"},
          {"objectClass", "noSuchClass"},
          {"dc", "x"},
          {"createTimestamp", "20240101000000Z"}},
         {"Row 2, objectClass: noSuchClass is not an object class of this directory",
          "Row 4, createTimestamp: is set by the server, not by the user",
          "objectClass: the entry needs a structural object class"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> findings;
        for (const CString& finding : CheckEntryRows(*pSchema, c.rows))
            findings.push_back(finding.Str());
        EXPECT_EQ(findings, c.findings) << c.pszWhat;
    }

    // Values added to an entry: its own values and classes count.
    CAttribute objectClass, country;
    objectClass.SetName("objectClass");
    objectClass.Add("country");
    country.SetName("c");
    country.Add("FI");
    CAttributeArray existing;
    existing.Add(&objectClass);
    existing.Add(&country);
    std::vector<CString> findings = CheckEntryRows(*pSchema, {{"c", "SE"}, {"description", "ok"}}, &existing);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].Str(), "Row 1, c: takes one value only");
    EXPECT_EQ(CheckNewValue(*pSchema, "uidNumber", "12", 0).Str(), "");
    EXPECT_EQ(CheckNewValue(*pSchema, "modifyTimestamp", "x", 0).Str(),
              "is set by the server, not by the user");
}
