// The schema read from slapd: what the subschema entry publishes, resolved
// through the superior chains; the built-in standard schemas against it; a
// server that hides its schema.

#include "HostileServer.h"
#include "LdapTestPane.h"
#include "ldif/LdifSource.h"
#include "source/SchemaFiles.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

std::vector<std::string> Lower(const std::vector<CAllowedAttribute>& attributes,
                               bool bInheritedOnly = false) {
    std::vector<std::string> names;
    for (const CAllowedAttribute& a : attributes)
        if (!bInheritedOnly || a.m_bInherited) {
            CString name = a.m_strName;
            names.push_back(Str(name.MakeLower()));
        }
    std::sort(names.begin(), names.end());
    return names;
}

using Names = std::vector<std::string>;

// One slapd for the whole suite (core, cosine, inetorgperson, nis).
class SchemaFromServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_pServer = new CSlapdServer();
        ASSERT_TRUE(s_pServer->Start()) << s_pServer->LastError();
    }
    static void TearDownTestSuite() {
        delete s_pServer;
        s_pServer = nullptr;
    }
    void SetUp() override { m_pSchema = LoadFrom(*s_pServer); }
    void TearDown() override {
        if (m_pSource)
            m_pSource->ShutdownWorkers(FALSE);
    }
    std::shared_ptr<const CSchema> LoadFrom(CSlapdServer& server) {
        CConnectionParams params = ParamsFor(server, kBase);
        m_pSource = std::make_unique<CLdapSource>();
        m_pane.m_pSource = m_pSource.get();
        EXPECT_TRUE(m_pSource->Open(params));
        m_pRoot = params.m_pRoot;
        m_pSource->LoadSchema(&m_pane);
        // A second request reads nothing more.
        m_pSource->LoadSchema(&m_pane);
        EXPECT_TRUE(WaitForWorkers(*m_pSource));
        EXPECT_TRUE(m_pSource->SchemaCache().IsSettled());
        return m_pSource->GetSchema();
    }
    // "name: value" lines of the subschema entry as ldapsearch prints them.
    std::map<std::string, std::vector<std::string>> Published() const {
        std::istringstream out(s_pServer->RunTool("ldapsearch -x -LLL -o ldif-wrap=no -H " +
                                                  s_pServer->Url() + " -b cn=Subschema -s base +"));
        std::map<std::string, std::vector<std::string>> values;
        for (std::string line; std::getline(out, line);) {
            const size_t nColon = line.find(": ");
            if (nColon != std::string::npos)
                values[line.substr(0, nColon)].push_back(line.substr(nColon + 2));
        }
        return values;
    }

    static CSlapdServer* s_pServer;
    CTestServices m_services;
    CTestPane m_pane;
    std::unique_ptr<CLdapSource> m_pSource;
    std::shared_ptr<const CSchema> m_pSchema;
    CEntryNode* m_pRoot = nullptr;
};
CSlapdServer* SchemaFromServer::s_pServer = nullptr;

} // namespace

TEST_F(SchemaFromServer, ListsEqualWhatTheSubschemaEntryPublishes) {
    ASSERT_NE(m_pSchema, nullptr);
    EXPECT_EQ(m_pane.Count(EEvent::SchemaLoaded), 1);
    auto published = Published();
    EXPECT_EQ(m_pSchema->ObjectClasses().size(), published["objectClasses"].size());
    EXPECT_EQ(m_pSchema->AttributeTypes().size(), published["attributeTypes"].size());
    EXPECT_EQ(m_pSchema->Syntaxes().size(), published["ldapSyntaxes"].size());
    EXPECT_EQ(m_pSchema->MatchingRules().size(), published["matchingRules"].size());
    EXPECT_GT(m_pSchema->ObjectClasses().size(), 50u);
    // A sample of definitions, kept as the server wrote them.
    for (const char* pszName : {"uidNumber", "cn", "createTimestamp"}) {
        const CSchemaAttributeType* pType = m_pSchema->FindAttributeType(pszName);
        ASSERT_NE(pType, nullptr) << pszName;
        auto& list = published["attributeTypes"];
        EXPECT_NE(std::find(list.begin(), list.end(), Str(pType->m_strDefinition)), list.end()) << pszName;
    }
    // The root DSE lists the password change operation.
    EXPECT_TRUE(m_pSource->SchemaCache().ListsExtension(kPasswordModifyOid));
}

TEST_F(SchemaFromServer, ClassesCarryTheirSuperiorsAttributesMarkedInherited) {
    ASSERT_NE(m_pSchema, nullptr);
    CAllowedAttributes person = m_pSchema->AttributesOf("inetOrgPerson");
    EXPECT_EQ(Lower(person.m_must), (Names{"cn", "objectclass", "sn"}));
    EXPECT_EQ(Lower(person.m_must, true), (Names{"cn", "objectclass", "sn"}));
    Names may = Lower(person.m_may);
    for (const char* psz : {"mail", "uid", "telephonenumber", "ou", "userpassword", "givenname"})
        EXPECT_TRUE(std::binary_search(may.begin(), may.end(), psz)) << psz;
    // mail is inetOrgPerson's own, seeAlso person's.
    auto find = [&](const char* pszName) {
        return *std::find_if(person.m_may.begin(), person.m_may.end(),
                             [&](const CAllowedAttribute& a) { return a.m_strName == pszName; });
    };
    EXPECT_FALSE(find("mail").m_bInherited);
    EXPECT_TRUE(find("seeAlso").m_bInherited);
    EXPECT_EQ(Str(find("seeAlso").m_strFromClass), "person");

    CAllowedAttributes account =
        m_pSchema->AttributesOf(std::vector<CString>{"posixAccount", "shadowAccount"});
    EXPECT_EQ(Lower(account.m_must),
              (Names{"cn", "gidnumber", "homedirectory", "objectclass", "uid", "uidnumber"}));
    may = Lower(account.m_may);
    EXPECT_EQ(std::count(may.begin(), may.end(), "userpassword"), 1);
    EXPECT_TRUE(std::binary_search(may.begin(), may.end(), "shadowlastchange"));
    EXPECT_TRUE(std::binary_search(may.begin(), may.end(), "loginshell"));
    EXPECT_FALSE(std::binary_search(may.begin(), may.end(), "uid")); // MUST, so not MAY
    EXPECT_FALSE(account.m_bExtensible);
    EXPECT_TRUE(m_pSchema->AttributesOf(std::vector<CString>{"person", "extensibleObject"}).m_bExtensible);
    EXPECT_EQ(m_pSchema->AttributesOf(std::vector<CString>{"person", "noSuchClass"}).m_unknownClasses,
              std::vector<CString>{"noSuchClass"});
}

TEST_F(SchemaFromServer, AttributeTypesResolveThroughSuperiorsByNameOrOid) {
    ASSERT_NE(m_pSchema, nullptr);
    const CSchemaAttributeType* pSn = m_pSchema->FindAttributeType("SURNAME");
    ASSERT_NE(pSn, nullptr);
    EXPECT_EQ(pSn, m_pSchema->FindAttributeType("2.5.4.4"));
    EXPECT_EQ(pSn, m_pSchema->FindAttributeType("sn;lang-fi"));
    EXPECT_EQ(Str(pSn->m_strSup), "name");
    EXPECT_EQ(Str(pSn->m_strResolvedSyntax), "1.3.6.1.4.1.1466.115.121.1.15");
    EXPECT_EQ(Str(pSn->m_strResolvedEquality), "caseIgnoreMatch");
    EXPECT_EQ(Str(m_pSchema->SyntaxName(pSn->m_strResolvedSyntax)), "Directory String");
    EXPECT_FALSE(pSn->m_bResolvedSingleValue);
    EXPECT_TRUE(m_pSchema->FindAttributeType("c")->m_bResolvedSingleValue);
    const CSchemaAttributeType* pCreated = m_pSchema->FindAttributeType("createtimestamp");
    ASSERT_NE(pCreated, nullptr);
    EXPECT_TRUE(pCreated->m_bResolvedNoUserModification);
    EXPECT_TRUE(pCreated->IsOperational());
    EXPECT_FALSE(pSn->IsOperational());
    EXPECT_EQ(m_pSchema->FindObjectClass("INETORGPERSON"),
              m_pSchema->FindObjectClass("2.16.840.1.113730.3.2.2"));
    EXPECT_NE(m_pSchema->FindMatchingRule("caseignorematch"), nullptr);
    EXPECT_EQ(m_pSchema->FindAttributeType("noSuchAttribute"), nullptr);
    EXPECT_TRUE(m_pSchema->SameAttribute("commonName", "CN"));
}

TEST_F(SchemaFromServer, BuiltInAndLocalSchemasAgreeWithSlapdOnTheStandardClasses) {
    ASSERT_NE(m_pSchema, nullptr);
    for (const auto& pLocal : {BuiltinSchema(), LocalSchema()}) {
        for (const char* pszClass : {"top",
                                     "person",
                                     "organizationalPerson",
                                     "inetOrgPerson",
                                     "organization",
                                     "organizationalUnit",
                                     "organizationalRole",
                                     "groupOfNames",
                                     "groupOfUniqueNames",
                                     "country",
                                     "locality",
                                     "dcObject",
                                     "domain",
                                     "account",
                                     "device",
                                     "uidObject",
                                     "simpleSecurityObject",
                                     "posixAccount",
                                     "shadowAccount",
                                     "posixGroup",
                                     "nisNetgroup",
                                     "ipHost",
                                     "extensibleObject",
                                     "alias"}) {
            CAllowedAttributes server = m_pSchema->AttributesOf(pszClass);
            CAllowedAttributes local = pLocal->AttributesOf(pszClass);
            EXPECT_TRUE(local.m_unknownClasses.empty()) << pszClass;
            EXPECT_EQ(Lower(local.m_must), Lower(server.m_must)) << pszClass;
            EXPECT_EQ(Lower(local.m_may), Lower(server.m_may)) << pszClass;
            EXPECT_EQ(pLocal->FindObjectClass(pszClass)->m_eKind,
                      m_pSchema->FindObjectClass(pszClass)->m_eKind)
                << pszClass;
        }
        for (const char* pszType : {"uidNumber", "c", "mail", "telephoneNumber", "displayName", "member"}) {
            const CSchemaAttributeType* pLocalType = pLocal->FindAttributeType(pszType);
            const CSchemaAttributeType* pServerType = m_pSchema->FindAttributeType(pszType);
            ASSERT_TRUE(pLocalType && pServerType) << pszType;
            EXPECT_EQ(pLocalType->m_strOid, pServerType->m_strOid) << pszType;
            EXPECT_EQ(pLocalType->m_strResolvedSyntax.Left(pServerType->m_strResolvedSyntax.GetLength()),
                      pServerType->m_strResolvedSyntax)
                << pszType;
            EXPECT_EQ(pLocalType->m_bResolvedSingleValue, pServerType->m_bResolvedSingleValue) << pszType;
        }
    }
}

TEST_F(SchemaFromServer, AServerThatHidesItsSchemaLeavesTheSourceWorking) {
    CSlapdServer hidden;
    hidden.SetGlobalConfig("access to dn.base=\"\" attrs=subschemaSubentry by * none\n"
                           "access to * by * read\n");
    ASSERT_TRUE(hidden.Start()) << hidden.LastError();
    m_pSource->ShutdownWorkers(FALSE);
    m_pane.Clear();
    EXPECT_EQ(LoadFrom(hidden), nullptr);
    EXPECT_EQ(m_pane.Count(EEvent::SchemaLoaded), 1);
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
    EXPECT_EQ(ExpandAndWait(*m_pSource, m_pane, m_pRoot), 2);
}

TEST_F(SchemaFromServer, AnLdifFileTakesTheSchemaItIsPointedAt) {
    ASSERT_NE(m_pSchema, nullptr);
    CTempDir dir;
    const std::string ldif = dir.File("people.ldif");
    WriteWholeFile(ldif, "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n");
    WriteWholeFile(
        dir.File("extra.schema"),
        "attributetype ( 1.3.6.1.4.1.99999.1.1 NAME 'shoeSize' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 "
        "SINGLE-VALUE )\nobjectclass ( 1.3.6.1.4.1.99999.2.1 NAME 'shoeWearer' SUP person "
        "AUXILIARY MAY shoeSize )\n");
    const auto loadWith = [&](const std::string& schemaSource) {
        CLdifSource source;
        CConnectionParams params;
        params.m_strLdifFile = ldif.c_str();
        params.m_strSchemaSource = schemaSource.c_str();
        EXPECT_TRUE(source.Open(params));
        CTestPane pane;
        pane.m_pSource = &source;
        source.LoadSchema(&pane);
        EXPECT_TRUE(Pump([&] { return source.SchemaCache().IsSettled(); }));
        EXPECT_EQ(pane.Count(EEvent::SchemaLoaded), 1);
        source.ShutdownWorkers(FALSE);
        return source.GetSchema();
    };
    // A server's schema, borrowed whole.
    std::shared_ptr<const CSchema> pBorrowed = loadWith(s_pServer->Url());
    ASSERT_NE(pBorrowed, nullptr);
    EXPECT_EQ(pBorrowed->AttributeTypes().size(), m_pSchema->AttributeTypes().size());
    EXPECT_EQ(Lower(pBorrowed->AttributesOf("inetOrgPerson").m_must),
              Lower(m_pSchema->AttributesOf("inetOrgPerson").m_must));
    EXPECT_EQ(m_services.m_boxes.Count(), 0);

    // A file of definitions on top of the standard ones it builds on.
    std::shared_ptr<const CSchema> pExtra = loadWith(dir.File("extra.schema"));
    ASSERT_NE(pExtra, nullptr);
    const Names may = Lower(pExtra->AttributesOf(std::vector<CString>{"person", "shoeWearer"}).m_may);
    for (const char* pszName : {"shoesize", "telephonenumber"})
        EXPECT_TRUE(std::binary_search(may.begin(), may.end(), pszName)) << pszName;
    ASSERT_NE(pExtra->FindAttributeType("shoeSize"), nullptr);
    EXPECT_TRUE(pExtra->FindAttributeType("shoeSize")->m_bResolvedSingleValue);
    EXPECT_EQ(m_services.m_boxes.Count(), 0);

    // What cannot be read is said, and the standard schema stands in.
    for (const std::string& bad : {dir.File("none.schema"), std::string("ldap://127.0.0.1:1")}) {
        m_services.m_boxes.Clear();
        std::shared_ptr<const CSchema> pFallback = loadWith(bad);
        ASSERT_NE(pFallback, nullptr) << bad;
        EXPECT_NE(pFallback->FindObjectClass("inetOrgPerson"), nullptr);
        EXPECT_EQ(Str(m_services.m_boxes.LastText()).rfind(CLdifSource::kSchemaFallbackText, 0), 0u)
            << Str(m_services.m_boxes.LastText());
    }
}

// A server that lets the schema's reader in and then never answers: closing
// the file's window does not wait for it, and says nothing.
TEST(SchemaFromSilentServer, ClosingTheLdifSourceDoesNotWaitForIt) {
    CTestServices services;
    CHostileServer server;
    server.AddRootDseAttribute({"subschemaSubentry", {"cn=Subschema"}});
    ASSERT_TRUE(server.Start());
    server.SetHandler([](const CHostileRequest& request, CHostileReply& reply) {
        if (request.nOp == kLdapSearchRequest && !request.base.empty())
            reply.NoAnswer();
    });
    CTempDir dir;
    const std::string ldif = dir.File("people.ldif");
    WriteWholeFile(ldif, "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n");
    CLdifSource source;
    CConnectionParams params;
    params.m_strLdifFile = ldif.c_str();
    params.m_strSchemaSource = ("ldap://127.0.0.1:" + std::to_string(server.Port())).c_str();
    ASSERT_TRUE(source.Open(params));
    CTestPane pane;
    pane.m_pSource = &source;
    source.LoadSchema(&pane);
    ASSERT_TRUE(server.WaitForRequest(kLdapSearchRequest));
    Pump([] { return false; }, 200);
    EXPECT_FALSE(source.SchemaCache().IsSettled());
    const auto start = std::chrono::steady_clock::now();
    source.ShutdownWorkers(TRUE);
    source.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(services.m_boxes.Count(), 0) << Str(services.m_boxes.LastText());
}
