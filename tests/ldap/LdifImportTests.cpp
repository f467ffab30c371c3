// Importing LDIF files into a real slapd: the same end state as ldapmodify,
// rejects that can be imported again, a dry run that sends nothing, Stop on
// a server that does not answer; and the reader's messages for bad records.

#include "SlapdFixture.h"
#include "TestServices.h"
#include "ldif/LdifChangeReader.h"
#include "ldif/LdifImporter.h"
#include "model/DnHelper.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

const char* const kEveryKind = R"(# every kind of record
version: 1

dn: ou=Imported,dc=example,dc=com
objectClass: organizationalUnit
ou: Imported
description: a folded
  line

dn: cn=Carol,ou=Imported,dc=example,dc=com
changetype: add
objectClass: inetOrgPerson
cn: Carol
sn: Brown
# a comment inside a record
jpegPhoto:: AAECA/8=
description:: w4UgcMOlIMO2

dn: cn=Alice,ou=People,dc=example,dc=com
changetype: modify
add: description
description: added
-
delete: mail
mail: alice.smith@example.com
-
replace: telephoneNumber
telephoneNumber: 222
telephoneNumber: 333
-

dn: cn=Bob,ou=People,dc=example,dc=com
changetype: modrdn
newrdn: cn=Robert
deleteoldrdn: 1

dn: cn=Robert,ou=People,dc=example,dc=com
changetype: moddn
newrdn: cn=Rob
deleteoldrdn: 0
newsuperior: ou=Imported,dc=example,dc=com

dn: cn=Carol,ou=Imported,dc=example,dc=com
changetype: modify
replace: sn
sn: Green
-

dn: ou=Empty,dc=example,dc=com
changetype: delete
)";

// The whole directory as the tools print it, one entry per string, sorted:
// entries the server stored in another order still compare equal.
std::vector<std::string> Dump(const CSlapdServer& server) {
    const std::string out =
        server.RunTool("ldapsearch -LLL -o ldif-wrap=no -x -H '" + server.Url() + "' -D '" +
                       server.AdminDN() + "' -w '" + server.Password() + "' -b '" + server.Base() + "'");
    std::vector<std::string> entries;
    size_t nStart = 0;
    while (nStart < out.size()) {
        size_t nEnd = out.find("\n\n", nStart);
        if (nEnd == std::string::npos)
            nEnd = out.size();
        entries.push_back(out.substr(nStart, nEnd - nStart));
        nStart = nEnd + 2;
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

class LdifImport : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()) << m_server.LastError(); }

    CImportReport Import(const std::string& text, bool bContinue = false, bool bDryRun = false) {
        WriteWholeFile(m_dir.File("in.ldif"), text);
        CImportOptions options;
        options.m_strFile = m_dir.File("in.ldif");
        options.m_bContinueOnError = bContinue;
        options.m_strRejectsFile = m_dir.File("rejects.ldif");
        options.m_bDryRun = bDryRun;
        CLdifImporter importer;
        return importer.Run(ParamsFor(m_server, m_server.Base()), options);
    }

    CTempDir m_dir;
    CSlapdServer m_server;
};

TEST_F(LdifImport, EveryKindOfRecordEndsAsWithLdapmodify) {
    CSlapdServer peer;
    ASSERT_TRUE(peer.Start()) << peer.LastError();
    ASSERT_TRUE(peer.Modify(kEveryKind));

    const CImportReport report = Import(kEveryKind);
    EXPECT_EQ(report.m_strError.Str(), "");
    EXPECT_EQ(report.m_nDone, 7);
    EXPECT_EQ(report.m_nFailed, 0);
    EXPECT_EQ(Dump(m_server), Dump(peer));
    EXPECT_EQ(m_server.Values("cn=Carol,ou=Imported,dc=example,dc=com", "jpegPhoto"),
              std::vector<std::string>{std::string("\0\1\2\3\xff", 5)});
    EXPECT_TRUE(m_server.Exists("cn=Rob,ou=Imported,dc=example,dc=com"));
    // The loaded levels to refresh: where entries came, went or changed.
    for (const char* pszParent :
         {"dc=example,dc=com", "ou=Imported,dc=example,dc=com", "ou=People,dc=example,dc=com"})
        EXPECT_EQ(report.m_affectedParents.count(DnCompareKey(pszParent)), 1U) << pszParent;
}

TEST_F(LdifImport, ParentsAreInPlaceBeforeTheirChildrenArrive) {
    // Deep and wide enough that a child sent with its parent still in
    // flight would be refused now and then.
    std::string text;
    int nRecords = 0;
    for (int a = 0; a < 6; ++a) {
        const std::string unit = "ou=u" + std::to_string(a) + ",ou=Empty,dc=example,dc=com";
        text += "dn: " + unit + "\nobjectClass: organizationalUnit\nou: u" + std::to_string(a) + "\n\n";
        for (int b = 0; b < 3; ++b) {
            const std::string team = "ou=t" + std::to_string(b) + "," + unit;
            text += "dn: " + team + "\nobjectClass: organizationalUnit\nou: t" + std::to_string(b) + "\n\n";
            for (int c = 0; c < 40; ++c)
                text += "dn: cn=p" + std::to_string(c) + "," + team + "\nobjectClass: person\ncn: p" +
                        std::to_string(c) + "\nsn: s\n\n";
            nRecords += 41;
        }
        nRecords += 1;
    }
    // Then a rename of each unit and the delete of what was just added below one.
    for (int c = 0; c < 40; ++c)
        text += "dn: cn=p" + std::to_string(c) +
                ",ou=t0,ou=u0,ou=Empty,dc=example,dc=com\nchangetype: delete\n\n";
    text += "dn: ou=u1,ou=Empty,dc=example,dc=com\nchangetype: modrdn\nnewrdn: ou=moved\ndeleteoldrdn: 1\n\n";
    text +=
        "dn: cn=p0,ou=t0,ou=moved,ou=Empty,dc=example,dc=com\nchangetype: modify\nreplace: sn\nsn: after\n";
    const CImportReport report = Import(text);
    EXPECT_EQ(report.m_strError.Str(), "");
    EXPECT_EQ(report.m_nDone, nRecords + 42);
    EXPECT_EQ(m_server.SearchDNs("ou=Empty,dc=example,dc=com", "sub").size(),
              static_cast<size_t>(nRecords - 40 + 1));
    EXPECT_EQ(m_server.Values("cn=p0,ou=t0,ou=moved,ou=Empty,dc=example,dc=com", "sn"),
              std::vector<std::string>{"after"});
}

TEST_F(LdifImport, RejectsHoldTheFailuresAndImportOnceMended) {
    const std::string missingParent =
        "dn: cn=Dan,ou=Later,dc=example,dc=com\nobjectClass: person\ncn: Dan\nsn: D\n";
    const std::string missingEntry =
        "dn: cn=Eve,ou=People,dc=example,dc=com\nchangetype: modify\nreplace: sn\nsn: E\n-\n";
    const std::string text =
        "dn: cn=Ok1,ou=Empty,dc=example,dc=com\nobjectClass: person\ncn: Ok1\nsn: x\n\n" + missingParent +
        "\n" + missingEntry + "\n" +
        "dn: cn=Bad,ou=Empty,dc=example,dc=com\nchangetype: modify\nfrobnicate: sn\n\n" +
        "dn: cn=Ok2,ou=Empty,dc=example,dc=com\nobjectClass: person\ncn: Ok2\nsn: x\n";

    // Without continue-on-error the first failure ends the import and says where.
    CImportReport report = Import(text);
    // The earliest failure in the file, whichever answer came first.
    EXPECT_EQ(report.m_strError.Left(8).Str(), "Line 6: ");
    EXPECT_FALSE(m_server.Exists("cn=Ok2,ou=Empty,dc=example,dc=com"));

    report = Import(text, true);
    EXPECT_EQ(report.m_strError.Str(), "");
    EXPECT_EQ(report.m_nDone, 1); // Ok1 is there already since the run before
    EXPECT_EQ(report.m_nFailed, 4);
    const std::string rejects = ReadWholeFile(m_dir.File("rejects.ldif"));
    EXPECT_NE(rejects.find("# Line 1: The specified entry already exists"), std::string::npos) << rejects;
    EXPECT_NE(rejects.find(missingParent), std::string::npos) << rejects;
    EXPECT_NE(rejects.find(missingEntry), std::string::npos) << rejects;
    // The unreadable record is kept as comments, with its line.
    EXPECT_NE(rejects.find("# Line 19: \"add:\", \"delete:\" or \"replace:\" expected\n"
                           "# dn: cn=Bad,ou=Empty,dc=example,dc=com\n"),
              std::string::npos)
        << rejects;
    EXPECT_TRUE(m_server.Exists("cn=Ok2,ou=Empty,dc=example,dc=com"));

    ASSERT_TRUE(
        m_server.Modify("dn: ou=Later,dc=example,dc=com\nobjectClass: organizationalUnit\nou: Later\n\n"
                        "dn: cn=Eve,ou=People,dc=example,dc=com\nobjectClass: person\ncn: Eve\nsn: x\n"));
    ASSERT_TRUE(m_server.Modify("dn: cn=Ok1,ou=Empty,dc=example,dc=com\nchangetype: delete\n"));
    WriteWholeFile(m_dir.File("again.ldif"), rejects);
    CImportOptions options;
    options.m_strFile = m_dir.File("again.ldif");
    report = CLdifImporter().Run(ParamsFor(m_server, m_server.Base()), options);
    EXPECT_EQ(report.m_strError.Str(), "");
    EXPECT_EQ(report.m_nDone, 3);
    EXPECT_EQ(report.m_nFailed, 0);
    EXPECT_EQ(m_server.Values("cn=Eve,ou=People,dc=example,dc=com", "sn"), std::vector<std::string>{"E"});

    // A rejects file that is the file itself would wipe it before it is read.
    options.m_bContinueOnError = true;
    options.m_strRejectsFile = options.m_strFile;
    report = CLdifImporter().Run(ParamsFor(m_server, m_server.Base()), options);
    EXPECT_EQ(report.m_strError.Str(), CLdifImporter::kRejectsIsInputText);
    EXPECT_EQ(ReadWholeFile(m_dir.File("again.ldif")), rejects);
}

TEST_F(LdifImport, DryRunSendsNothingAndStopLeavesAPausedServerPromptly) {
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "dn: cn=n" + std::to_string(i) + ",ou=Empty,dc=example,dc=com\nobjectClass: person\ncn: n" +
                std::to_string(i) + "\nsn: s\n\n";
    text += "dn: not a dn\nobjectClass: person\n";
    // A paused server answers nothing: a dry run that waited for it would hang.
    m_server.Pause();
    CImportReport report = Import(text, true, true);
    m_server.Resume();
    EXPECT_EQ(report.m_nDone, 3000);
    EXPECT_EQ(report.m_nFailed, 1);
    EXPECT_EQ(report.m_strFirstFailure.Str(), "Line 15001: \"not a dn\" is not a valid DN");
    EXPECT_EQ(report.Summary(true).Left(53).Str(), "Dry run: 3000 records checked, 1 with faults, nothing");
    EXPECT_TRUE(m_server.SearchDNs("ou=Empty,dc=example,dc=com").empty());

    // Stop while the server does not answer: back within the short wait.
    WriteWholeFile(m_dir.File("in.ldif"), text);
    CImportOptions options;
    options.m_strFile = m_dir.File("in.ldif");
    CLdifImporter importer;
    CConnectionParams params = ParamsFor(m_server, m_server.Base());
    std::thread worker([&] { report = importer.Run(params, options); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    m_server.Pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto t0 = std::chrono::steady_clock::now();
    importer.Stop();
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    m_server.Resume();
    EXPECT_TRUE(report.m_bStopped);
    EXPECT_GT(report.m_nUnconfirmed, 0);
    EXPECT_LT(report.m_nDone, 3000);
}

// What the reader says about records it cannot take, by line.
TEST(LdifChangeReader, NamesTheLineOfEachFault) {
    const struct {
        const char* pszText;
        const char* pszError;
    } cases[] = {
        {"version: 2\n\ndn: cn=a\ncn: a\n", "Line 1: only LDIF version 1 can be read"},
        {"cn: a\n", "Line 1: a record must begin with a \"dn:\" line"},
        {"\n\n# c\n#  more\ndn: cn=a\njpegPhoto:< file:///etc/passwd\n",
         "Line 6: the value of jpegPhoto is to be read from a URL (\":<\"); write the value into the file "
         "instead"},
        {"dn: cn=a\ncn:: %%%\n", "Line 2: the value of cn is not valid base 64"},
        {"dn: cn=a,,dc=x\ncn: a\n", "Line 1: \"cn=a,,dc=x\" is not a valid DN"},
        {"dn: cn=a\nchangetype: rename\n", "Line 2: unknown changetype \"rename\""},
        {"dn: cn=a\ncontrol: 1.2.3 true\nchangetype: delete\n", "Line 2: controls are not supported"},
        {"dn: cn=a\nchangetype: delete\ncn: a\n",
         "Line 3: a delete record has no lines after its changetype"},
        {"dn: cn=a\nchangetype: add\n", "Line 1: the entry to add has no attributes"},
        {"dn: cn=a\nchangetype: modify\nadd: cn\n-\n", "Line 4: \"add: cn\" without values"},
        {"dn: cn=a\nchangetype: modify\nreplace: cn\nsn: x\n-\n", "Line 4: a value of cn or \"-\" expected"},
        {"dn: cn=a\nchangetype: modrdn\nnewrdn: b\ndeleteoldrdn: 1\n", "Line 3: \"b\" is not a valid RDN"},
        {"dn: cn=a\nchangetype: modrdn\nnewrdn: cn=b\n",
         "Line 3: \"deleteoldrdn: 0\" or \"deleteoldrdn: 1\" expected"},
        {"dn: cn=a\nchangetype: moddn\nnewrdn: cn=b\ndeleteoldrdn: 0\nnewsuperior: x\n",
         "Line 5: \"x\" is not a valid DN"},
        {"dn: cn=a\nbad name: x\n", "Line 2: \"bad name\" is not an attribute name"},
    };
    CTempDir dir;
    for (const auto& c : cases) {
        WriteWholeFile(dir.File("f.ldif"), c.pszText);
        CLdifChangeReader reader;
        ASSERT_TRUE(reader.Open(CString(dir.File("f.ldif"))));
        CLdifChangeRecord record;
        CString error;
        EXPECT_EQ(reader.Next(record, error), CLdifChangeReader::kBadRecord) << c.pszText;
        EXPECT_EQ(error.Str(), c.pszError) << c.pszText;
    }
}

TEST(LdifChangeReader, ReadsFoldedCrLfRecordsAndKeepsTheirText) {
    CTempDir dir;
    const std::string second =
        "dn: cn=b\r\nchangetype: modify\r\ndelete: mail\r\n-\r\nreplace: sn\r\nsn: lo\r\n  ng\r\n";
    WriteWholeFile(dir.File("f.ldif"),
                   "version: 1\r\ndn: cn=a\r\n# note\r\ncn: x\r\ncn:: eQ==\r\n\r\n\r\n" + second);
    CLdifChangeReader reader;
    ASSERT_TRUE(reader.Open(CString(dir.File("f.ldif"))));
    CLdifChangeRecord record;
    CString error;
    ASSERT_EQ(reader.Next(record, error), CLdifChangeReader::kRecord) << error.Str();
    EXPECT_EQ(record.m_nLine, 2);
    EXPECT_EQ(record.m_strText, "dn: cn=a\n# note\ncn: x\ncn:: eQ==\n");
    ASSERT_EQ(record.m_attributes.size(), 1U);
    EXPECT_EQ(record.m_attributes[0].GetSize(), 2);
    EXPECT_EQ(record.m_attributes[0][1].Str(), "y");
    ASSERT_EQ(reader.Next(record, error), CLdifChangeReader::kRecord) << error.Str();
    EXPECT_EQ(record.m_nLine, 8);
    ASSERT_EQ(record.m_modifications.size(), 2U);
    EXPECT_EQ(record.m_modifications[0].m_attribute.GetSize(), 0);
    EXPECT_EQ(record.m_modifications[1].m_attribute[0].Str(), "lo ng");
    EXPECT_EQ(reader.Next(record, error), CLdifChangeReader::kEnd);
    EXPECT_EQ(reader.BytesRead(), reader.FileSize());
}

} // namespace
