// Files as the directory tools and people write them: each is read and left
// exactly as it is, edited once with only that record changing, and what is
// written is read by ldapadd (and by slapadd when it read the original).

#include "LdifFixture.h"
#include "LdifRoundTrip.h"

#include <algorithm>
#include <cstdlib>

namespace {

// How many lines of the text begin a record.
int CountDnLines(const std::string& text) {
    int n = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        if (text.size() - pos >= 3 && (text[pos] == 'd' || text[pos] == 'D') &&
            (text[pos + 1] == 'n' || text[pos + 1] == 'N') && text[pos + 2] == ':')
            ++n;
        const size_t nLf = text.find('\n', pos);
        pos = nLf == std::string::npos ? text.size() : nLf + 1;
    }
    return n;
}

// The lines of a and b that differ, from the first differing line on to the
// last differing byte.
std::pair<std::string, std::string> ChangedLines(const std::string& a, const std::string& b) {
    size_t nHead = 0;
    while (nHead < a.size() && nHead < b.size() && a[nHead] == b[nHead])
        ++nHead;
    nHead = nHead == 0 ? 0 : a.rfind('\n', nHead - 1) + 1;
    size_t nTail = 0;
    while (nTail < a.size() - nHead && nTail < b.size() - nHead &&
           a[a.size() - 1 - nTail] == b[b.size() - 1 - nTail])
        ++nTail;
    return {a.substr(nHead, a.size() - nTail - nHead), b.substr(nHead, b.size() - nTail - nHead)};
}

} // namespace

class CLdifCorpusTest : public CLdifTest, public ::testing::WithParamInterface<const char*> {
protected:
    // Whether slapadd would load the file (a dry run on an empty database).
    bool SlapaddAccepts(const std::string& path) {
        std::filesystem::create_directories(m_dir.Path() / "db");
        WriteWholeFile(Path("slapd.conf"), "include /etc/ldap/schema/core.schema\n"
                                           "include /etc/ldap/schema/cosine.schema\n"
                                           "include /etc/ldap/schema/inetorgperson.schema\n"
                                           "modulepath /usr/lib/ldap\nmoduleload back_mdb\ndatabase mdb\n"
                                           "suffix \"dc=example,dc=com\"\ndirectory " +
                                               (m_dir.Path() / "db").string() + "\n");
        return std::system(("/usr/sbin/slapadd -u -q -f '" + Path("slapd.conf") + "' -l '" + path +
                            "' >/dev/null 2>&1")
                               .c_str()) == 0;
    }
};

TEST_P(CLdifCorpusTest, StaysAsItIsChangesOneRecordAndLdapaddReadsIt) {
    const std::string original = ReadWholeFile(std::string(TARVO_TEST_DATA) + "/" + GetParam());
    ASSERT_FALSE(original.empty());
    ASSERT_TRUE(OpenText(original));
    const bool bSlapaddTakesIt = SlapaddAccepts(Path());
    EXPECT_EQ(m_pSource->FormatContents(), original);
    std::vector<CLdifTriple> expected = LdifTriples(*m_pSource);
    EXPECT_EQ(CloseAndRead(), original);

    ASSERT_TRUE(OpenPath(Path()));
    CEntryNode* pEdited = m_pSource->GetEntries()[m_pSource->GetEntries().GetSize() - 1];
    expected.emplace_back(pEdited->m_strDN.Str(), "description", "edited once");
    std::sort(expected.begin(), expected.end());
    AddValue(pEdited, "description", {"edited once"});
    const std::string written = CloseAndRead();
    const auto [before, after] = ChangedLines(original, written);
    EXPECT_LE(CountDnLines(before), 1) << before;
    EXPECT_LE(CountDnLines(after), 1) << after;
    // The record written anew has the file's own line ends.
    const auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t pos = written.find(what); pos != std::string::npos; pos = written.find(what, pos + 1))
            ++n;
        return n;
    };
    if (original.find("\r\n") < original.find('\n'))
        EXPECT_EQ(count("\n"), count("\r\n"));
    else
        EXPECT_EQ(count("\r"), 0u);

    ASSERT_TRUE(OpenPath(Path()));
    EXPECT_EQ(LdifTriples(*m_pSource), expected);
    m_pSource.reset();
    EXPECT_EQ(std::system(("ldapadd -n -f '" + Path() + "' >/dev/null 2>&1").c_str()), 0) << written;
    if (bSlapaddTakesIt) {
        EXPECT_TRUE(SlapaddAccepts(Path())) << written;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CLdifCorpusTest,
                         ::testing::Values("slapcat-lf.ldif", "crlf-comments.ldif",
                                           "plain-no-final-break.ldif"));
