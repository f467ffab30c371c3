// Reading a file: the dialect, the selection under a search base, the
// failures, and what comes back when the file is written again.

#include "LdifFixture.h"

#include <sys/stat.h>

namespace {

std::vector<std::string> Values(const CEntryNode* pEntry, const std::string& name) {
    std::vector<std::string> values;
    if (const CAttribute* pAttribute = pEntry->FindAttribute(CString(name))) {
        for (const CString& value : *pAttribute)
            values.push_back(value.Str());
    }
    return values;
}

std::vector<std::string> Names(const CEntryNode* pEntry) {
    std::vector<std::string> names;
    for (const CAttribute* pAttribute : pEntry->m_attributes)
        names.push_back(pAttribute->m_strName.Str());
    return names;
}

} // namespace

TEST(LdifSplitLine, NameBeforeFirstColonValueTrimmed) {
    CString name, value;
    CLdifSource::SplitLine(CString("cn:  a: b \t\r"), name, value);
    EXPECT_EQ(name, "cn");
    EXPECT_EQ(value, "a: b");
    CLdifSource::SplitLine(CString("cn :x"), name, value);
    EXPECT_EQ(name, "cn ");
    EXPECT_EQ(value, "x");
    CLdifSource::SplitLine(CString("  no colon here \v\f"), name, value);
    EXPECT_EQ(name, "");
    EXPECT_EQ(value, "no colon here");
    CLdifSource::SplitLine(CString("userPassword:: e1NTSEF9"), name, value);
    EXPECT_EQ(name, "userPassword");
    EXPECT_EQ(value, ": e1NTSEF9");
    CLdifSource::SplitLine(CString(":leading"), name, value);
    EXPECT_EQ(name, "");
    EXPECT_EQ(value, "leading");
}

TEST(LdifParentDN, AfterFirstCommaTrimmed) {
    EXPECT_EQ(CLdifSource::ParentDN("cn=a,o=x, c=US"), "o=x, c=US");
    EXPECT_EQ(CLdifSource::ParentDN("cn=a, o=x"), "o=x");
    EXPECT_EQ(CLdifSource::ParentDN("o=x"), "");
    EXPECT_EQ(CLdifSource::ParentDN("cn=Smith\\, J,o=Acme"), "J,o=Acme");
}

TEST_F(CLdifTest, DialectLinesBecomeAttributesOrOtherLines) {
    const std::string text = "version: 1\n"
                             "# a comment line\n"
                             "dn: cn=a,o=x\n"
                             "objectClass: person\n"
                             "a: 1\n"
                             "a: 1\n"
                             "A: 2\n"
                             "cn : blank before colon\n"
                             "userPassword:: e1NTSEF9\n"
                             "jpegPhoto:< file:///tmp/x.jpg\n"
                             "#note: hash name\n"
                             " folded: continuation\n"
                             " folded without colon\n"
                             "empty:\n"
                             ": starts with colon\n"
                             "\n"
                             "after: blank\n"
                             "Dn: cn=b,o=x\n"
                             "objectclass: top\n"
                             "dn :not a dn line\n"
                             "dn:\n"
                             "orphan: line\n"
                             "DN: cn=c,o=x\n"
                             "OBJECTCLASS: top\n";
    ASSERT_TRUE(OpenText(text));
    Expand(m_pRoot);
    const auto& entries = m_pSource->GetEntries();
    ASSERT_EQ(entries.GetSize(), 3);
    const CEntryNode* pA = entries[0];
    EXPECT_EQ(pA->m_strDN, "cn=a,o=x");
    EXPECT_EQ(pA->GetIndex(), 0);
    EXPECT_EQ(Names(pA), (std::vector<std::string>{"objectClass", "a", "A", "cn ", "userPassword",
                                                   "jpegPhoto", "#note", " folded", "empty", "after"}));
    EXPECT_EQ(Values(pA, "a"), (std::vector<std::string>{"1", "1"}));
    EXPECT_EQ(Values(pA, "A"), (std::vector<std::string>{"2"}));
    EXPECT_EQ(Values(pA, "userPassword"), (std::vector<std::string>{": e1NTSEF9"}));
    EXPECT_EQ(Values(pA, "jpegPhoto"), (std::vector<std::string>{"< file:///tmp/x.jpg"}));
    EXPECT_EQ(Values(pA, "empty"), (std::vector<std::string>{""}));
    EXPECT_EQ(Values(pA, "after"), (std::vector<std::string>{"blank"}));
    const CEntryNode* pB = entries[1];
    EXPECT_EQ(pB->m_strDN, "cn=b,o=x");
    EXPECT_EQ(Values(pB, "dn "), (std::vector<std::string>{"not a dn line"}));
    EXPECT_EQ(entries[2]->m_strDN, "cn=c,o=x");

    const CStringArray& other = m_pSource->GetOtherLines();
    std::vector<std::string> lines;
    for (const CString& line : other)
        lines.push_back(line.Str());
    EXPECT_EQ(lines, (std::vector<std::string>{"version: 1", "# a comment line", " folded without colon",
                                               ": starts with colon", "orphan: line"}));
    // Under the synthetic top entry, all three hang directly below it.
    ASSERT_NE(m_pRoot, nullptr);
    EXPECT_TRUE(m_pRoot->IsRoot());
    EXPECT_EQ(m_pRoot->m_strDN, "Root");
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"cn=a,o=x", "cn=b,o=x", "cn=c,o=x"}));

    // Written form: leading lines first, records, an empty dn line because
    // "orphan: line" would otherwise join the last record, then the rest.
    const std::string written = CloseAndRead();
    EXPECT_EQ(written, Crlf("version: 1\n"
                            "# a comment line\n"
                            "dn: cn=a,o=x\n"
                            "objectClass: person\n"
                            "a: 1\n"
                            "a: 1\n"
                            "A: 2\n"
                            "cn : blank before colon\n"
                            "userPassword: : e1NTSEF9\n"
                            "jpegPhoto: < file:///tmp/x.jpg\n"
                            "#note: hash name\n"
                            " folded: continuation\n"
                            "empty: \n"
                            "after: blank\n"
                            "\n"
                            "dn: cn=b,o=x\n"
                            "objectclass: top\n"
                            "dn : not a dn line\n"
                            "\n"
                            "dn: cn=c,o=x\n"
                            "OBJECTCLASS: top\n"
                            "\n"
                            "dn:\n"
                            " folded without colon\n"
                            ": starts with colon\n"
                            "orphan: line\n"));

    // Read again: the same entries and lines, and the same bytes once more.
    ASSERT_TRUE(OpenPath(Path()));
    Expand(m_pRoot);
    ASSERT_EQ(m_pSource->GetEntries().GetSize(), 3);
    EXPECT_EQ(Values(m_pSource->GetEntries()[0], "userPassword"), (std::vector<std::string>{": e1NTSEF9"}));
    EXPECT_EQ(m_pSource->GetOtherLines().GetSize(), 5);
    EXPECT_EQ(CloseAndRead(), written);
}

TEST_F(CLdifTest, OtherLinesWithoutNamesNeedNoRecordEnd) {
    ASSERT_TRUE(OpenText("\n\ndn: o=x\nobjectclass: top\n\n\n   \nplain text\n\n"));
    const std::string written = CloseAndRead();
    EXPECT_EQ(written, Crlf("\n\ndn: o=x\nobjectclass: top\n\n\n   \nplain text\n\n"));
    ASSERT_TRUE(OpenPath(Path()));
    EXPECT_EQ(CloseAndRead(), written);
}

TEST_F(CLdifTest, UnchangedFileIsStableAfterTheFirstWrite) {
    // Blank lines between records, LF ends, no final break: the first write
    // normalises, every later one gives the same bytes.
    const std::string text =
        "version: 1\n\ndn: o=x\nobjectclass: top\n\n\n\ndn: ou=a,o=x\nobjectclass: top\nou: a";
    ASSERT_TRUE(OpenText(text, "o=x"));
    const std::string first = CloseAndRead();
    EXPECT_EQ(
        first,
        Crlf("version: 1\n\ndn: o=x\nobjectclass: top\n\ndn: ou=a,o=x\nobjectclass: top\nou: a\n\n\n\n"));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(OpenPath(Path(), "o=x"));
        EXPECT_EQ(CloseAndRead(), first);
    }
}

TEST_F(CLdifTest, SearchBaseSelectsBySubstringCaseSensitive) {
    ASSERT_TRUE(OpenText("dn: cn=x,o=Acme,c=US\nobjectclass: top\n\n"
                         "dn: cn=y,ou=o=Acme-old\nobjectClass: top\n\n"
                         "dn: cn=z,O=ACME\nobjectclass: top\n\n"
                         "dn: cn=w,o=Acme\ncn: no objectclass\n\n",
                         "o=Acme"));
    std::vector<std::string> shown;
    for (const CEntryNode* pEntry : m_pSource->GetEntries())
        shown.push_back(pEntry->m_strDN.Str());
    EXPECT_EQ(shown, (std::vector<std::string>{"cn=x,o=Acme,c=US", "cn=y,ou=o=Acme-old"}));
    std::vector<std::string> aside;
    for (const CEntryNode* pEntry : m_pSource->GetOtherEntries())
        aside.push_back(pEntry->m_strDN.Str());
    EXPECT_EQ(aside, (std::vector<std::string>{"cn=z,O=ACME", "cn=w,o=Acme"}));
    EXPECT_TRUE(m_pRoot->IsRoot());
    // Set-aside entries are written after the shown ones, in that order.
    const std::string written = CloseAndRead();
    EXPECT_EQ(written, Crlf("dn: cn=x,o=Acme,c=US\nobjectclass: top\n\n"
                            "dn: cn=y,ou=o=Acme-old\nobjectClass: top\n\n"
                            "dn: cn=z,O=ACME\nobjectclass: top\n\n"
                            "dn: cn=w,o=Acme\ncn: no objectclass\n\n"));
}

TEST_F(CLdifTest, EmptySearchBaseNeedsObjectclassInAnyCase) {
    ASSERT_TRUE(
        OpenText("dn: a\nobjectClass: x\n\ndn: b\nOBJECTCLASS: y\n\ndn: c\nobjectclasses: z\n\ndn: d\n\n"));
    ASSERT_EQ(m_pSource->GetEntries().GetSize(), 2);
    EXPECT_EQ(m_pSource->GetOtherEntries().GetSize(), 2);
    // Never shown, but written back.
    EXPECT_EQ(CloseAndRead(), Crlf("dn: a\nobjectClass: x\n\ndn: b\nOBJECTCLASS: y\n\n"
                                   "dn: c\nobjectclasses: z\n\ndn: d\n\n"));
}

TEST_F(CLdifTest, FailuresShowTheirMessages) {
    EXPECT_FALSE(OpenPath(Path("missing.ldif")));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - Access Denied or File not Found.");
    EXPECT_EQ(m_services.m_boxes.Boxes().back().caption, "Tarvo");
    EXPECT_EQ(m_services.m_boxes.Boxes().back().nType, MB_OK | MB_ICONSTOP);
    m_pSource.reset();
    EXPECT_FALSE(std::filesystem::exists(Path("missing.ldif")));

    // A folder is no file.
    std::filesystem::create_directory(Path("folder.ldif"));
    EXPECT_FALSE(OpenPath(Path("folder.ldif")));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - Access Denied or File not Found.");
    m_pSource.reset();
    EXPECT_TRUE(std::filesystem::is_directory(Path("folder.ldif")));

    // Nor is a pipe: refused at once instead of waiting for a writer.
    ASSERT_EQ(::mkfifo(Path("pipe.ldif").c_str(), 0600), 0);
    EXPECT_FALSE(OpenPath(Path("pipe.ldif")));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - Access Denied or File not Found.");
    m_pSource.reset();

    m_services.m_boxes.Clear();
    EXPECT_FALSE(OpenText(""));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - No relevent entries found in this file.");
    EXPECT_EQ(m_services.m_boxes.Count(), 1);
    m_pSource.reset();

    // Nothing relevant: everything read is kept and written back.
    EXPECT_FALSE(OpenText("version: 1\ndn: cn=a\ncn: a\n"));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - No relevent entries found in this file.");
    EXPECT_EQ(m_pSource->GetOtherEntries().GetSize(), 1);
    EXPECT_EQ(m_pSource->GetOtherLines().GetSize(), 1);
    m_pSource.reset();
    EXPECT_EQ(ReadWholeFile(Path()), Crlf("version: 1\ndn: cn=a\ncn: a\n\n"));
}

TEST_F(CLdifTest, UnreadableFileIsNeverWritten) {
    // A path that exists but cannot be read as a file: the destructor's
    // Close after the failed Open must leave it alone.
    std::filesystem::create_directory(Path("dir.ldif"));
    WriteWholeFile(Path("dir.ldif") + "/inside", "keep");
    {
        CLdifSource source;
        CConnectionParams params;
        params.m_strLdifFile = CString(Path("dir.ldif"));
        EXPECT_FALSE(source.Open(params));
    }
    EXPECT_EQ(ReadWholeFile(Path("dir.ldif") + "/inside"), "keep");
    // A source destroyed without ever opening writes nothing either.
    { CLdifSource source; }
    EXPECT_EQ(m_services.m_boxes.Count(), 1);
}

TEST_F(CLdifTest, OddBytesAreKeptExactly) {
    std::string text = "dn: cn=n\x01ul,o=x\nobjectclass: top\n";
    text += std::string("bin: a") + '\0' + "b\xff\xfe\xc3(\n";
    text += "cr: in\rside\n";
    text += "mixed: crlf\r\n";
    text += std::string("other") + '\0' + "line without colon\n";
    text += "lone cr at end\r";
    ASSERT_TRUE(OpenText(text));
    Expand(m_pRoot);
    const CEntryNode* pEntry = m_pSource->GetEntries()[0];
    ASSERT_EQ(Values(pEntry, "bin").size(), 1u);
    EXPECT_EQ(Values(pEntry, "bin")[0], std::string("a") + '\0' + "b\xff\xfe\xc3(");
    EXPECT_EQ(Values(pEntry, "cr")[0], "in\rside");
    EXPECT_EQ(Values(pEntry, "mixed")[0], "crlf");
    ASSERT_EQ(m_pSource->GetOtherLines().GetSize(), 2);
    EXPECT_EQ(m_pSource->GetOtherLines()[0].Str(), std::string("other") + '\0' + "line without colon");
    EXPECT_EQ(m_pSource->GetOtherLines()[1].Str(), "lone cr at end\r");
    const std::string written = CloseAndRead();
    ASSERT_TRUE(OpenPath(Path()));
    Expand(m_pRoot);
    EXPECT_EQ(Values(m_pSource->GetEntries()[0], "bin")[0], std::string("a") + '\0' + "b\xff\xfe\xc3(");
    EXPECT_EQ(m_pSource->GetOtherLines()[1].Str(), "lone cr at end\r");
    EXPECT_EQ(CloseAndRead(), written);
}

TEST_F(CLdifTest, CarriageReturnOnlyFileIsOneLine) {
    // Only LF breaks a line; a file with CR breaks only is one long line.
    ASSERT_FALSE(OpenText("dn: o=x\robjectclass: top\r"));
    ASSERT_EQ(m_pSource->GetOtherEntries().GetSize(), 1);
    EXPECT_EQ(m_pSource->GetOtherEntries()[0]->m_strDN, "o=x\robjectclass: top");
    m_pSource.reset();
    EXPECT_EQ(ReadWholeFile(Path()), "dn: o=x\robjectclass: top\r\n\r\n");
}

TEST_F(CLdifTest, VeryLongLineIsReadAndWrittenWhole) {
    const std::string big(10 * 1024 * 1024, 'v');
    ASSERT_TRUE(OpenText("dn: o=x\nobjectclass: top\nbig: " + big + "\n" + big + "\n"));
    Expand(m_pRoot);
    EXPECT_EQ(m_pSource->GetEntries()[0]->FindAttribute("big")->GetAt(0).GetLength(),
              static_cast<int>(big.size()));
    EXPECT_EQ(m_pSource->GetOtherLines()[0].GetLength(), static_cast<int>(big.size()));
    const std::string written = CloseAndRead();
    EXPECT_EQ(written, Crlf("dn: o=x\nobjectclass: top\nbig: " + big + "\n\n" + big + "\n"));
}

TEST_F(CLdifTest, ManyAttributeNamesInOneRecordKeepFirstOccurrenceOrder) {
    std::string text = "dn: o=x\nobjectclass: top\n";
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 300; ++i)
            text += "attr" + std::to_string(i) + ": r" + std::to_string(round) + "\n";
    }
    ASSERT_TRUE(OpenText(text));
    CEntryNode* pEntry = m_pSource->GetEntries()[0];
    ASSERT_TRUE(pEntry == m_pRoot->GetChildren().front());
    Expand(m_pRoot);
    ASSERT_EQ(pEntry->m_attributes.GetSize(), 301);
    EXPECT_EQ(pEntry->m_attributes[1]->m_strName, "attr0");
    EXPECT_EQ(Values(pEntry, "attr299"), (std::vector<std::string>{"r0", "r1"}));
}
