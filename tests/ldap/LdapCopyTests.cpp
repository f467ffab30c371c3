// Copy and paste between two private servers and an LDIF file: a subtree
// read with the subtree reader and pasted with the paste engine arrives
// whole (binary values byte for byte, no operational attributes), pasted
// text is rebased under the target, existing entries are skipped or
// replaced as answered, and a stop leaves a report that matches the server.

#include "LdapTestPane.h"

#include "ldif/LdifPaste.h"
#include "ldif/LdifSource.h"
#include "ldif/LdifSyntax.h"
#include "ldif/LdifWriter.h"
#include "ldif/SubtreeReader.h"
#include "model/DnHelper.h"

#include <deque>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <mutex>

namespace {

const std::string kSource = "ou=Source,dc=example,dc=com";

// 1,000 entries below ou=Source in three levels, with binary photos (NUL,
// 0xFF, CR LF), a DN with an escaped comma and UTF-8.
std::string CopySeed() {
    std::string ldif = CSlapdServer::DefaultSeed();
    ldif += "\ndn: " + kSource + "\nobjectClass: organizationalUnit\nou: Source\ndescription: top\n";
    int nEntries = 1;
    for (int nTeam = 0; nEntries < 1000; ++nTeam) {
        const std::string team = "ou=T" + std::to_string(nTeam) + "," + kSource;
        ldif += "\ndn: " + team + "\nobjectClass: organizationalUnit\nou: T" + std::to_string(nTeam) + "\n";
        ++nEntries;
        for (int i = 0; i < 49 && nEntries < 1000; ++i, ++nEntries) {
            const std::string n = std::to_string(nTeam * 100 + i);
            std::string photo = std::string("\xFF\xD8\0\r\n", 5) + n;
            ldif += "\ndn: cn=P" + n + "," + team + "\nobjectClass: inetOrgPerson\ncn: P" + n + "\nsn: S" +
                    n + "\njpegPhoto:: " + Base64Encode(photo) + "\n";
        }
    }
    ldif += "\ndn: cn=Smith\\, J\xC3\xA9r\xC3\xB4me," + kSource +
            "\nobjectClass: person\ncn: Smith, J\xC3\xA9r\xC3\xB4me\nsn: Smith\n";
    return ldif;
}

// What ldapsearch prints of a subtree, as DN (relative to base) to sorted
// lines, the values as the tool writes them (base 64 for binary).
std::map<std::string, std::vector<std::string>> ToolView(const CSlapdServer& server,
                                                         const std::string& base) {
    const std::string text = server.RunTool("ldapsearch -LLL -o ldif-wrap=no -x -H '" + server.Url() +
                                            "' -D '" + server.AdminDN() + "' -w '" + server.Password() +
                                            "' -b '" + base + "' '(objectClass=*)' 2>&1");
    std::map<std::string, std::vector<std::string>> entries;
    std::vector<std::string>* pLines = nullptr;
    size_t nPos = 0;
    while (nPos < text.size()) {
        size_t nEnd = text.find('\n', nPos);
        if (nEnd == std::string::npos)
            nEnd = text.size();
        const std::string line = text.substr(nPos, nEnd - nPos);
        nPos = nEnd + 1;
        if (line.rfind("dn:", 0) == 0) {
            std::string dn = line.substr(line[3] == ':' ? 5 : 4);
            if (line[3] == ':')
                dn = CSlapdServer::DecodeBase64(dn);
            const std::string key = DnCompareKey(dn);
            const std::string baseKey = DnCompareKey(base);
            pLines = &entries[key.substr(0, key.size() - baseKey.size())];
        } else if (pLines && !line.empty()) {
            pLines->push_back(line);
            std::sort(pLines->begin(), pLines->end());
        }
    }
    return entries;
}

// Answers the paste's questions from a list (then Skip), remembers them,
// and stops the paste after a number of entries when asked to.
class CScriptedHost : public IPasteHost {
public:
    EPasteAnswer AskExisting(const CString& dn) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_asked.push_back(Str(dn));
        if (m_answers.empty())
            return EPasteAnswer::Skip;
        EPasteAnswer eAnswer = m_answers.front();
        m_answers.pop_front();
        return eAnswer;
    }
    void Progress(int nDone, int) override {
        if (m_pStopAfter && nDone >= m_nStopAfter)
            m_pStopAfter->RequestStop();
    }
    std::mutex m_mutex;
    std::deque<EPasteAnswer> m_answers;
    std::vector<std::string> m_asked;
    CLdifPaste* m_pStopAfter = nullptr;
    int m_nStopAfter = 0;
};

class Copy : public CLdapTest {
protected:
    Copy() : CLdapTest(CopySeed()) {}
    void SetUp() override {
        ASSERT_NE(Open(kBase, false), nullptr);
        ASSERT_TRUE(m_target.Start()) << m_target.LastError();
        m_pTarget = std::make_unique<CLdapSource>();
        CConnectionParams params = ParamsFor(m_target, kBase);
        ASSERT_TRUE(m_pTarget->Open(params));
    }
    void TearDown() override {
        if (m_pTarget)
            m_pTarget->ShutdownWorkers(FALSE);
        CLdapTest::TearDown();
    }

    // The subtree (or the entry) as the copy commands put it on the clipboard.
    static std::string CopyText(CDataSource& source, const std::string& base,
                                int nScope = SEARCH_SCOPE_SUBTREE) {
        const CSearchQuery query = SubtreeQuery(base.c_str(), nScope);
        std::string text;
        CFileSink sink(&text);
        const CSubtreeReadResult read =
            ReadSubtreeAsLdif(source, query, sink, [](int) { return ESubtreeIdle::Continue; });
        EXPECT_EQ(read.eEnd, ESubtreeRead::Done);
        return text;
    }

    // Pastes text below target and waits for the end.
    static CPasteReport Paste(CDataSource& source, const std::string& text, const std::string& target,
                              CScriptedHost& host, CLdifPaste& paste) {
        CResult prepared = paste.Prepare(text, target.c_str());
        EXPECT_TRUE(prepared) << Str(prepared.Reason());
        std::atomic<bool> bDone{false};
        EXPECT_TRUE(source.RunEntryWriter([&](IEntryWriter& writer) { paste.Run(writer, host); },
                                          [&] { bDone = true; }));
        EXPECT_TRUE(Pump([&] { return bDone.load(); }));
        return paste.Report();
    }
    static CPasteReport Paste(CDataSource& source, const std::string& text, const std::string& target,
                              CScriptedHost& host) {
        CLdifPaste paste;
        return Paste(source, text, target, host, paste);
    }

    CSlapdServer m_target;
    std::unique_ptr<CLdapSource> m_pTarget;
    CScriptedHost m_host;
};

} // namespace

TEST_F(Copy, ASubtreeOfAThousandEntriesArrivesWholeOnTheOtherServer) {
    const std::string text = CopyText(*m_pSource, kSource);
    EXPECT_EQ(text.find("entryUUID"), std::string::npos);
    EXPECT_EQ(text.find("createTimestamp"), std::string::npos);
    const CPasteReport report = Paste(*m_pTarget, text, kBase, m_host);
    EXPECT_EQ(report.nAdded, 1001);
    EXPECT_EQ(report.nFailed, 0) << (report.failures.empty() ? "" : Str(report.failures[0].strMessage));
    const auto original = ToolView(m_server, kSource);
    ASSERT_EQ(original.size(), 1001u);
    EXPECT_EQ(ToolView(m_target, kSource), original);
}

TEST_F(Copy, ThroughAnLdifFileAndBackNothingChanges) {
    CTempDir dir;
    const std::string file = dir.File("copy.ldif");
    WriteWholeFile(
        file, "dn: dc=example,dc=com\nobjectClass: dcObject\nobjectClass: organization\ndc: example\n"
              "o: Example\n\ndn: ou=Back,dc=example,dc=com\nobjectClass: organizationalUnit\nou: Back\n");
    {
        CLdifSource ldif;
        CConnectionParams params;
        params.m_strLdifFile = file.c_str();
        params.m_strSearchBase = kBase.c_str();
        ASSERT_TRUE(ldif.Open(params));
        EXPECT_EQ(Paste(ldif, CopyText(*m_pSource, kSource), kBase, m_host).nAdded, 1001);
        ASSERT_TRUE(ldif.Close());
    }
    CLdifSource reopened;
    CConnectionParams params;
    params.m_strLdifFile = file.c_str();
    params.m_strSearchBase = kBase.c_str();
    ASSERT_TRUE(reopened.Open(params));
    // Below another parent on the second server: the top's RDN moves along.
    const CPasteReport report = Paste(*m_pTarget, CopyText(reopened, kSource), "ou=Empty," + kBase, m_host);
    EXPECT_EQ(report.nAdded, 1001);
    EXPECT_EQ(ToolView(m_target, "ou=Source,ou=Empty," + kBase), ToolView(m_server, kSource));
}

TEST_F(Copy, TextFromAnEditorIsRebasedUnderTheTarget) {
    // Comments, a folded line, base 64, an add record and a child listed
    // before its parent.
    const std::string text = "version: 1\n"
                             "# from an editor\n"
                             "dn: cn=Kim,ou=Team,dc=old,dc=org\n"
                             "objectClass: person\ncn: Kim\nsn:: S2lt\n"
                             "\n"
                             "dn: ou=Team,dc=old,dc=org\n"
                             "changetype: add\n"
                             "objectClass: organizationalUnit\nou: Team\ndescription: a long\n"
                             "  line\n";
    const CPasteReport report = Paste(*m_pTarget, text, "ou=People," + kBase, m_host);
    EXPECT_EQ(report.nAdded, 2);
    EXPECT_TRUE(m_target.Exists("cn=Kim,ou=Team,ou=People," + kBase));
    EXPECT_EQ(m_target.Values("ou=Team,ou=People," + kBase, "description"),
              std::vector<std::string>{"a long line"});
}

TEST_F(Copy, TextThatIsNoListOfEntriesIsRefusedWithItsLine) {
    const struct {
        const char* text;
        const char* reason;
    } cases[] = {
        {"dn: cn=A,dc=x\ncn: A\n\ndn: cn=B,dc=x\nchangetype: modify\nreplace: cn\ncn: B\n",
         "Line 5: this is a change"},
        {"dn: cn=A,dc=x\njpegPhoto:< file:///etc/passwd\n", "Line 2: values read from a URL"},
        {"dn: cn=A,dc=x\ncn:: ***\n", "Line 2: the base-64 value"},
        {"just some words\n", "Line 1: this is no LDIF line"},
        {"cn: A\n", "Line 1: a value outside any entry"},
        {"dn: cn=A,dc=x\ncn: A\n\ndn: CN=a,DC=X\ncn: A\n", "The text holds this entry twice"},
        {"dn: cn=A,,dc=x\ncn: A\n", "This is no valid DN"},
        {"# nothing\n", "The text holds no LDIF entry"},
    };
    for (const auto& c : cases) {
        CLdifPaste paste;
        CResult prepared = paste.Prepare(c.text, kBase.c_str());
        ASSERT_FALSE(prepared) << c.text;
        EXPECT_EQ(Str(prepared.Reason()).rfind(c.reason, 0), 0u) << Str(prepared.Reason());
    }
}

TEST_F(Copy, ExistingEntriesAreSkippedOrReplacedAsAnswered) {
    // ou=People and Alice exist on the target; Carol does not.
    const std::string text =
        "dn: ou=People,dc=old\nobjectClass: organizationalUnit\nou: People\n\n"
        "dn: cn=Alice,ou=People,dc=old\nobjectClass: inetOrgPerson\ncn: Alice\nsn: Smith\n"
        "description: pasted\n\n"
        "dn: cn=Carol,ou=People,dc=old\nobjectClass: person\ncn: Carol\nsn: Ng\n";
    m_host.m_answers = {EPasteAnswer::Skip, EPasteAnswer::Replace};
    CPasteReport report = Paste(*m_pTarget, text, kBase, m_host);
    EXPECT_EQ(m_host.m_asked,
              (std::vector<std::string>{"ou=People," + kBase, "cn=Alice,ou=People," + kBase}));
    EXPECT_EQ(report.nAdded, 1);
    EXPECT_EQ(report.nSkipped, 1);
    EXPECT_EQ(report.nReplaced, 1);
    EXPECT_EQ(Str(PasteSummary(report)), "1 added, 1 replaced, 1 skipped, 0 failed");
    // Replaced: the pasted attributes, and none of the old ones it lacks.
    const std::string alice = "cn=Alice,ou=People," + kBase;
    EXPECT_EQ(m_target.Values(alice, "description"), std::vector<std::string>{"pasted"});
    EXPECT_TRUE(m_target.Values(alice, "mail").empty());
    EXPECT_TRUE(m_target.Exists("cn=Carol,ou=People," + kBase));

    // Skip All asks once; Cancel ends the paste with the rest not sent.
    CScriptedHost skipAll;
    skipAll.m_answers = {EPasteAnswer::SkipAll};
    report = Paste(*m_pTarget, text, kBase, skipAll);
    EXPECT_EQ(skipAll.m_asked.size(), 1u);
    EXPECT_EQ(report.nSkipped, 3);
    EXPECT_EQ(m_target.Values(alice, "description"), std::vector<std::string>{"pasted"});

    CScriptedHost cancel;
    cancel.m_answers = {EPasteAnswer::Cancel};
    report = Paste(*m_pTarget, text, kBase, cancel);
    EXPECT_EQ(cancel.m_asked.size(), 1u);
    EXPECT_TRUE(report.bStopped);
    EXPECT_EQ(report.nAdded + report.nReplaced + report.nFailed, 0);
}

TEST_F(Copy, AFailedAddIsReportedWithTheServersWordsAndTheRestGoesOn) {
    const std::string text = "dn: cn=NoClass,dc=old\ncn: NoClass\n\n"
                             "dn: cn=Fine,dc=old\nobjectClass: person\ncn: Fine\nsn: F\n";
    const CPasteReport report = Paste(*m_pTarget, text, kBase, m_host);
    EXPECT_EQ(report.nAdded, 1);
    ASSERT_EQ(report.nFailed, 1);
    EXPECT_EQ(Str(report.failures[0].strDN), "cn=NoClass," + kBase);
    EXPECT_NE(Str(report.failures[0].strMessage).find("objectClass"), std::string::npos)
        << Str(report.failures[0].strMessage);
}

TEST_F(Copy, AStopInTheMiddleLeavesAReportOfWhatWasDone) {
    CLdifPaste paste;
    m_host.m_pStopAfter = &paste;
    m_host.m_nStopAfter = 200;
    const CPasteReport report = Paste(*m_pTarget, CopyText(*m_pSource, kSource), kBase, m_host, paste);
    EXPECT_TRUE(report.bStopped);
    EXPECT_GE(report.nAdded, 200);
    EXPECT_GT(report.nNotSent, 0);
    EXPECT_EQ(report.nFailed, 0) << (report.failures.empty() ? "" : Str(report.failures[0].strMessage));
    EXPECT_EQ(report.nAdded + report.nNotSent, 1001) << Str(PasteSummary(report));
    // What the report says was added is what the server holds.
    EXPECT_EQ(static_cast<int>(ToolView(m_target, kSource).size()), report.nAdded);
}
