// Search on the private server and on an LDIF file of the same entries:
// the same filters find the same entries as the server's own tools, the
// results stream in batches, a size limit is reported, Stop ends a search.

#include "LdapTestPane.h"

#include "ldif/LdifSource.h"
#include "model/DnHelper.h"
#include "model/SearchFilter.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

namespace {

// People with numbers (nis' uidNumber has an ordering rule), a five-level
// chain, and names with escapes and UTF-8.
std::string SearchSeed() {
    std::string ldif = CSlapdServer::DefaultSeed();
    ldif += "\ndn: ou=Staff,dc=example,dc=com\nobjectClass: organizationalUnit\nou: Staff\n";
    const char* people[][3] = {{"Carol Ng", "1001", "carol@example.com"},
                               {"Dave O'Neil", "1002", "dave@example.org"},
                               {"Erin Smith\\, Jr", "1500", "erin@example.com"},
                               {"Fr\xC3\xA9"
                                "d\xC3\xA9ric",
                                "2000", "fred@example.fr"}};
    for (auto& p : people) {
        std::string plain = p[0];
        plain.erase(std::remove(plain.begin(), plain.end(), '\\'), plain.end());
        ldif += "\ndn: uid=u" + std::string(p[1]) +
                ",ou=Staff,dc=example,dc=com\n"
                "objectClass: inetOrgPerson\nobjectClass: posixAccount\n"
                "cn: " +
                plain + "\nsn: " + plain.substr(plain.find(' ') + 1) + "\nuid: u" + p[1] +
                "\nuidNumber: " + p[1] + "\ngidNumber: 100\nhomeDirectory: /home/u" + p[1] +
                "\nmail: " + p[2] + "\n";
    }
    std::string parent = "ou=Staff,dc=example,dc=com";
    for (int nLevel = 1; nLevel <= 4; ++nLevel) {
        std::string dn = "ou=L" + std::to_string(nLevel) + "," + parent;
        ldif += "\ndn: " + dn + "\nobjectClass: organizationalUnit\nou: L" + std::to_string(nLevel) + "\n";
        parent = dn;
    }
    ldif += "\ndn: cn=Deep\\2C One," + parent + "\nobjectClass: person\ncn: Deep, One\nsn: One\n";
    return ldif;
}

class Search : public CLdapTest {
protected:
    Search() : CLdapTest(SearchSeed()) {}
    void SetUp() override {
        ASSERT_NE(Open(kBase, false), nullptr);
        const std::string file = (m_dir.Path() / "same.ldif").string();
        std::ofstream(file) << SearchSeed();
        CConnectionParams params;
        params.m_strLdifFile = file.c_str();
        params.m_strSearchBase = kBase.c_str();
        ASSERT_TRUE(m_ldif.Open(params));
    }
    // What ldapsearch finds, as compare keys.
    std::set<std::string> ToolDNs(const std::string& filter, const char* pszScope) {
        std::set<std::string> dns;
        for (const std::string& dn : m_server.SearchDNs(kBase, pszScope, filter))
            dns.insert(DnCompareKey(dn));
        return dns;
    }
    // The server and the file of the same entries.
    std::vector<CDataSource*> Sources() { return {m_pSource.get(), &m_ldif}; }

    CTempDir m_dir;
    CLdifSource m_ldif;
    CSearchSink m_sink;
};

} // namespace

TEST_F(Search, TheServerTheToolsAndTheFileFindTheSameEntries) {
    const struct {
        const char* filter;
        int nScope;
        const char* toolScope;
        size_t nExpected;
    } cases[] = {
        {"(objectClass=*)", SEARCH_SCOPE_SUBTREE, "sub", 15},
        {"(objectClass=inetOrgPerson)", SEARCH_SCOPE_SUBTREE, "sub", 6},
        {"(objectClass=person)", SEARCH_SCOPE_SUBTREE, "sub", 7}, // superior classes count
        {"(objectClass=top)", SEARCH_SCOPE_ONE, "one", 3},
        {"(objectClass=organizationalUnit)", SEARCH_SCOPE_ONE, "one", 3},
        {"(mail=*@example.com)", SEARCH_SCOPE_SUBTREE, "sub", 3},
        {"(cn=*smith*)", SEARCH_SCOPE_SUBTREE, "sub", 1},
        {"(CN=carol NG)", SEARCH_SCOPE_SUBTREE, "sub", 1},
        {"(&(objectClass=posixAccount)(uidNumber>=1002))", SEARCH_SCOPE_SUBTREE, "sub", 3},
        {"(uidNumber<=1500)", SEARCH_SCOPE_SUBTREE, "sub", 3},
        {"(|(sn=Jones)(sn=Ng)(mail~=fred@example.fr))", SEARCH_SCOPE_SUBTREE, "sub", 3},
        {"(!(objectClass=organizationalUnit))", SEARCH_SCOPE_SUBTREE, "sub", 8},
        {"(cn=Deep\\2c One)", SEARCH_SCOPE_SUBTREE, "sub", 1},
        {"(cn=Fr\xC3\xA9*)", SEARCH_SCOPE_SUBTREE, "sub", 1},
        {"(telephoneNumber=*)", SEARCH_SCOPE_BASE, "base", 0},
        {"(o=Example)", SEARCH_SCOPE_BASE, "base", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        std::set<std::string> tools = ToolDNs(c.filter, c.toolScope);
        EXPECT_EQ(tools.size(), c.nExpected);
        ASSERT_TRUE(m_sink.Run(*m_pSource, Query(c.filter, c.nScope)));
        EXPECT_FALSE(m_sink.m_outcome.bFailed) << Str(m_sink.m_outcome.strMessage);
        EXPECT_EQ(m_sink.m_dns, tools) << "server";
        ASSERT_TRUE(m_sink.Run(m_ldif, Query(c.filter, c.nScope)));
        EXPECT_EQ(m_sink.m_dns, tools) << "LDIF file";
    }
    // Results carry the attributes asked for, values whole.
    CSearchQuery query = Query("(uid=u1001)");
    query.attributes.Add("mail");
    query.attributes.Add("UIDNUMBER");
    for (CDataSource* pSource : Sources()) {
        ASSERT_TRUE(m_sink.Run(*pSource, query));
        ASSERT_EQ(m_sink.m_results.size(), 1u);
        std::vector<std::string> got;
        for (const CAttribute& attribute : m_sink.m_results[0].attributes)
            for (const CString& value : attribute)
                got.push_back(attribute.m_strName.Str() + "=" + value.Str());
        std::sort(got.begin(), got.end(), [](const std::string& a, const std::string& b) {
            return DnCompareKey(a) < DnCompareKey(b);
        });
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(DnCompareKey(got[0]), "MAIL=CAROL@EXAMPLE.COM");
        EXPECT_EQ(DnCompareKey(got[1]), "UIDNUMBER=1001");
    }
}

TEST_F(Search, LimitsAndStopAreReportedNotHidden) {
    for (CDataSource* pSource : Sources()) {
        CSearchQuery query = Query("(objectClass=*)");
        query.nSizeLimit = 3;
        ASSERT_TRUE(m_sink.Run(*pSource, query));
        EXPECT_EQ(m_sink.m_dns.size(), 3u);
        EXPECT_EQ(m_sink.m_outcome.nResultCode, 4);
        EXPECT_EQ(Str(DescribeSearchOutcome(m_sink.m_outcome, query.nSizeLimit)),
                  "3 entries (your limit of 3 reached)");
    }
    // A search of a large level stopped after its first batch ends at once,
    // says so, and leaves the connection usable.
    ASSERT_TRUE(m_server.AddChildren(kEmpty, 3000));
    CSearchQuery query = Query("(objectClass=*)", SEARCH_SCOPE_ONE, kEmpty);
    bool bStopped = false;
    auto previous = m_sink.m_onSearchResults;
    m_sink.m_onSearchResults = [&](std::vector<CSearchResult>& batch) {
        previous(batch);
        if (!bStopped) {
            bStopped = true;
            m_pSource->StopSearch();
        }
    };
    ASSERT_TRUE(m_sink.Run(*m_pSource, query));
    EXPECT_TRUE(m_sink.m_outcome.bStopped);
    EXPECT_LT(m_sink.m_dns.size(), 3000u);
    EXPECT_EQ(Str(DescribeSearchOutcome(m_sink.m_outcome)).find("(stopped)") != std::string::npos, true);
    m_sink.m_onSearchResults = previous;
    ASSERT_TRUE(m_sink.Run(*m_pSource, Query("(cn=child1)", SEARCH_SCOPE_ONE, kEmpty)));
    EXPECT_EQ(m_sink.m_dns.size(), 1u);
    EXPECT_GT(*std::max_element(m_sink.m_batches.begin(), m_sink.m_batches.end()), 0);
    ASSERT_TRUE(WaitForWorkers(*m_pSource));
    EXPECT_EQ(m_pSource->GetRunning(), 0);
}

TEST(SearchFilter, FaultsAreFoundBeforeAnythingIsSent) {
    const struct {
        const char* filter;
        const char* error; // nullptr: valid
    } cases[] = {
        {"(cn=x)", nullptr},
        {"cn=x", nullptr},
        {"(&(objectClass=person)(|(cn=a*b*c)(!(sn=*))))", nullptr},
        {"(cn=a\\2a\\28)", nullptr},
        {"(description;lang-de>=m)", nullptr},
        {"(cn:caseExactMatch:=Bob)", nullptr},
        {"", "The filter is empty at position 1."},
        {"(cn=x", "Unbalanced parenthesis: ')' missing at position 6."},
        {"(cn=x))", "Unbalanced parenthesis: ')' without '(' at position 7."},
        {"(&(cn=x)", "Unbalanced parenthesis: ')' missing at position 9."},
        {"(=x)", "Expected an attribute name at position 2."},
        {"(cn x)", "Expected '=', '>=', '<=' or '~=' after the attribute name at position 4."},
        {"(cn=a(b)", "'(' in a value must be written \\28 at position 6."},
        {"(cn=\\zz)", "A backslash must be followed by two hex digits at position 5."},
        {"(!(a=1)(b=2))", "'!' takes exactly one filter at position 13."},
        {"(cn=a**b)", "Two '*' in a row at position 9."},
        {"(1cn=x)", "Not an attribute name at position 2."},
    };
    for (const auto& c : cases) {
        CString error;
        auto pFilter = CSearchFilter::Parse(c.filter, error);
        EXPECT_EQ(pFilter != nullptr, c.error == nullptr) << c.filter;
        EXPECT_EQ(Str(error), c.error ? c.error : "") << c.filter;
    }
}
