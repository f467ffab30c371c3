// Reading a file: the dialect, the selection under a search base, the
// failures, and what comes back when the file is written again; building the
// tree: the top entry, parent lookup, gaps in the hierarchy, and what Expand
// and Refresh tell the tree pane.

#include "LdifFixture.h"

#include <sys/stat.h>

namespace {

const char* const kCompany = "dn: o=Acme\nobjectclass: organization\n\n"
                             "dn: ou=People,o=Acme\nobjectclass: organizationalUnit\n\n"
                             "dn: cn=Ann,ou=People,o=Acme\nobjectclass: person\ncn: Ann\n\n"
                             "dn: cn=Bob,OU=people,o=Acme\nobjectclass: person\ncn: Bob\n\n"
                             "dn: ou=Groups,o=Acme\nobjectclass: organizationalUnit\n\n";

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

TEST(LdifSplitLine, NameBeforeFirstColonValueKeepsItsTrailingBlanks) {
    const struct {
        const char *line, *name, *value;
    } cases[] = {{"cn:  a: b \t\r", "cn", "a: b \t\r"},
                 {"dn: o=End\\ ", "dn", "o=End\\ "},
                 {"cn :x", "cn ", "x"},
                 {"  no colon here \v\f", "", "no colon here"},
                 {"userPassword:: e1NTSEF9", "userPassword", ": e1NTSEF9"},
                 {":leading", "", "leading"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        CString name, value;
        CLdifSource::SplitLine(CString(c.line), name, value);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(value, c.value);
    }
}

TEST(LdifParentDN, AfterFirstRdnTrimmed) {
    EXPECT_EQ(CLdifSource::ParentDN("cn=a,o=x, c=US"), "o=x, c=US");
    EXPECT_EQ(CLdifSource::ParentDN("cn=a, o=x"), "o=x");
    EXPECT_EQ(CLdifSource::ParentDN("o=x"), "");
    EXPECT_EQ(CLdifSource::ParentDN("cn=Smith\\, J,o=Acme"), "o=Acme");
}

TEST_F(CLdifTest, DialectLinesBecomeAttributesOrOtherLines) {
    const std::string text = "version: 1\n"
                             "# a comment line\n"
                             "dn: cn=a,\n"
                             " o=x\n"
                             "objectClass: person\n"
                             "a: 1\n"
                             "a: 1\n"
                             "A: 2\n"
                             "cn : blank before colon\n"
                             "userPassword:: e1NTSEF9\n"
                             "jpegPhoto:< file:///tmp/x.jpg\n"
                             "#note: hash name\n"
                             " folded: continuation\n"
                             "long: fol\n"
                             " ded\n"
                             "empty:\n"
                             ": starts with colon\n"
                             "\n"
                             "after: blank\n"
                             "Dn: cn=b,o=x\n"
                             "objectclass: top\n"
                             "dn :not a dn line\n"
                             "dn:\n"
                             "orphan: line\n"
                             "DN:: Y249YyxvPXg=\n"
                             "OBJECTCLASS: top\n";
    ASSERT_TRUE(OpenText(text));
    Expand(m_pRoot);
    const auto& entries = m_pSource->GetEntries();
    ASSERT_EQ(entries.GetSize(), 3);
    const CEntryNode* pA = entries[0];
    EXPECT_EQ(pA->m_strDN, "cn=a,o=x");
    EXPECT_EQ(pA->GetIndex(), 0);
    EXPECT_EQ(Names(pA), (std::vector<std::string>{"objectClass", "a", "A", "cn ", "userPassword",
                                                   "jpegPhoto", "long", "empty", "after"}));
    EXPECT_EQ(Values(pA, "a"), (std::vector<std::string>{"1", "1"}));
    EXPECT_EQ(Values(pA, "A"), (std::vector<std::string>{"2"}));
    EXPECT_EQ(Values(pA, "userPassword"), (std::vector<std::string>{"{SSHA}"}));
    EXPECT_EQ(Values(pA, "jpegPhoto"), (std::vector<std::string>{"< file:///tmp/x.jpg"}));
    EXPECT_EQ(Values(pA, "long"), (std::vector<std::string>{"folded"}));
    EXPECT_EQ(Values(pA, "empty"), (std::vector<std::string>{""}));
    EXPECT_EQ(Values(pA, "after"), (std::vector<std::string>{"blank"}));
    const CEntryNode* pB = entries[1];
    EXPECT_EQ(pB->m_strDN, "cn=b,o=x");
    EXPECT_EQ(Values(pB, "dn "), (std::vector<std::string>{"not a dn line"}));
    EXPECT_EQ(entries[2]->m_strDN, "cn=c,o=x");

    std::vector<std::string> lines;
    for (const CString& line : m_pSource->GetOtherLines())
        lines.push_back(line.Str());
    EXPECT_EQ(lines, (std::vector<std::string>{"version: 1", "# a comment line", "dn:", "orphan: line"}));
    ASSERT_NE(m_pRoot, nullptr);
    EXPECT_TRUE(m_pRoot->IsRoot());
    EXPECT_EQ(m_pRoot->m_strDN, "Root");
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"cn=a,o=x", "cn=b,o=x", "cn=c,o=x"}));
    EXPECT_EQ(m_pSource->FormatContents(), text);

    // One edit: that record alone is written anew, in place, one line per
    // value; a comment inside it stays above its value, stray lines go, the
    // URL stays a URL.
    AddValue(entries[0], "new", {"v"});
    const std::string written = CloseAndRead();
    EXPECT_EQ(written, "version: 1\n"
                       "# a comment line\n"
                       "dn: cn=a,o=x\n"
                       "objectClass: person\n"
                       "a: 1\n"
                       "a: 1\n"
                       "A: 2\n"
                       "cn : blank before colon\n"
                       "userPassword: {SSHA}\n"
                       "jpegPhoto:< file:///tmp/x.jpg\n"
                       "#note: hash name\n"
                       " folded: continuation\n"
                       "long: folded\n"
                       "empty: \n"
                       "after: blank\n"
                       "new: v\n" +
                           text.substr(text.find("Dn: cn=b")));
    // Read again: the same entries, and nothing to write.
    ASSERT_TRUE(OpenPath(Path()));
    Expand(m_pRoot);
    ASSERT_EQ(m_pSource->GetEntries().GetSize(), 3);
    EXPECT_EQ(Values(m_pSource->GetEntries()[0], "jpegPhoto"),
              (std::vector<std::string>{"< file:///tmp/x.jpg"}));
    EXPECT_EQ(CloseAndRead(), written);
}

TEST_F(CLdifTest, UnchangedFileIsNeitherRewrittenNorChangedAndOnlyLfBreaksLines) {
    // Whatever the layout, the contents that would be written are the
    // bytes read, and Close leaves the file alone.
    for (const std::string text :
         {"\n\ndn: o=x\nobjectclass: top\n\n\n   \nplain text\n\n",
          "version: 1\n\ndn: o=x\nobjectclass: top\n\n\n\ndn: ou=a,o=x\nobjectclass: top\nou: a",
          "dn: o=x\robjectclass: top\r", "dn: o=x\nobjectclass: top\n \n \n"}) {
        OpenText(text, "o=x");
        EXPECT_EQ(m_pSource->FormatContents(), text);
        ASSERT_EQ(::chmod(Path().c_str(), 0444), 0);
        const int nBoxes = m_services.m_boxes.Count();
        EXPECT_EQ(CloseAndRead(), text);
        EXPECT_EQ(m_services.m_boxes.Count(), nBoxes);
        std::filesystem::remove(Path());
    }
    // Only LF breaks a line; a file with CR breaks only is one long line.
    ASSERT_FALSE(OpenText("dn: o=x\robjectclass: top\r"));
    ASSERT_EQ(m_pSource->GetOtherEntries().GetSize(), 1);
    EXPECT_EQ(m_pSource->GetOtherEntries()[0]->m_strDN, "o=x\robjectclass: top\r");
}

TEST_F(CLdifTest, SearchBaseSelectsBySubstringCaseSensitiveAndObjectclassInAnyCase) {
    ASSERT_TRUE(OpenText("dn: cn=x,o=Acme,c=US\nobjectclass: top\n\n"
                         "dn: cn=y,ou=o=Acme-old\nobjectClass: top\n\n"
                         "dn: cn=z,O=ACME\nobjectclass: top\n\n"
                         "dn: cn=w,o=Acme\ncn: no objectclass\n\n",
                         "o=Acme"));
    EXPECT_EQ(DNs(m_pSource->GetEntries()),
              (std::vector<std::string>{"cn=x,o=Acme,c=US", "cn=y,ou=o=Acme-old"}));
    EXPECT_EQ(DNs(m_pSource->GetOtherEntries()), (std::vector<std::string>{"cn=z,O=ACME", "cn=w,o=Acme"}));
    EXPECT_TRUE(m_pRoot->IsRoot());

    // An empty search base needs objectclass too, in any case.
    ASSERT_TRUE(
        OpenText("dn: a\nobjectClass: x\n\ndn: b\nOBJECTCLASS: y\n\ndn: c\nobjectclasses: z\n\ndn: d\n\n"));
    ASSERT_EQ(m_pSource->GetEntries().GetSize(), 2);
    EXPECT_EQ(m_pSource->GetOtherEntries().GetSize(), 2);
}

TEST_F(CLdifTest, FailuresShowTheirMessages) {
    EXPECT_FALSE(OpenPath(Path("missing.ldif")));
    EXPECT_EQ(m_services.m_boxes.LastText(), CString("Error - File not Found: " + Path("missing.ldif")));
    EXPECT_EQ(m_services.m_boxes.Boxes().back().caption, "Tarvo");
    EXPECT_EQ(m_services.m_boxes.Boxes().back().nType, MB_OK | MB_ICONSTOP);
    m_pSource.reset();
    EXPECT_FALSE(std::filesystem::exists(Path("missing.ldif")));

    // A folder is no file; the destructor's Close after the failed Open
    // leaves it alone.
    std::filesystem::create_directory(Path("folder.ldif"));
    WriteWholeFile(Path("folder.ldif") + "/inside", "keep");
    EXPECT_FALSE(OpenPath(Path("folder.ldif")));
    EXPECT_EQ(m_services.m_boxes.LastText(),
              CString("Error - " + Path("folder.ldif") + " is a folder, not an LDIF file."));
    m_pSource.reset();
    EXPECT_EQ(m_services.m_boxes.Count(), 2); // none from the destructor
    EXPECT_TRUE(std::filesystem::is_directory(Path("folder.ldif")));
    EXPECT_EQ(ReadWholeFile(Path("folder.ldif") + "/inside"), "keep");

    // Nor is a pipe: refused at once instead of waiting for a writer.
    ASSERT_EQ(::mkfifo(Path("pipe.ldif").c_str(), 0600), 0);
    EXPECT_FALSE(OpenPath(Path("pipe.ldif")));
    EXPECT_EQ(m_services.m_boxes.LastText(),
              CString("Error - " + Path("pipe.ldif") + " is not a file (a pipe or a device)."));
    m_pSource.reset();
    // A source destroyed without ever opening writes nothing either.
    m_services.m_boxes.Clear();
    { CLdifSource source; }
    EXPECT_EQ(m_services.m_boxes.Count(), 0);

    EXPECT_FALSE(OpenText(""));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - No relevant entries found in this file.");
    EXPECT_EQ(m_services.m_boxes.Count(), 1);
    m_pSource.reset();

    // Nothing relevant: the file is left exactly as it was, a binary file
    // picked by mistake as much as an LDIF file under a mistyped base.
    EXPECT_FALSE(OpenText("version: 1\ndn: cn=a\ncn: a\n"));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - No relevant entries found in this file.");
    EXPECT_EQ(m_pSource->GetOtherEntries().GetSize(), 1);
    EXPECT_EQ(m_pSource->GetOtherLines().GetSize(), 1);
    m_pSource.reset();
    EXPECT_EQ(ReadWholeFile(Path()), "version: 1\ndn: cn=a\ncn: a\n");
    std::string binary;
    for (int i = 0; i < 20000; ++i)
        binary += static_cast<char>((i * 7919) % 251);
    EXPECT_FALSE(OpenText(binary));
    m_pSource.reset();
    EXPECT_EQ(ReadWholeFile(Path()), binary);
    EXPECT_FALSE(OpenText("dn: o=x\nobjectclass: top\n", "o=y"));
    m_pSource.reset();
    EXPECT_EQ(ReadWholeFile(Path()), "dn: o=x\nobjectclass: top\n");
}

TEST_F(CLdifTest, OddBytesAreKeptExactlyAndWrittenInBase64) {
    const std::string bin = std::string("a") + '\0' + "b\xff\xfe\xc3(";
    std::string text = "dn: cn=n\x01ul,o=x\nobjectclass: top\n";
    text += "bin: " + bin + "\n";
    text += "cr: in\rside\n";
    text += "mixed: crlf\r\n";
    text += "utf8: Jos\xc3\xa9\n";
    text += std::string("other") + '\0' + "line without colon\n";
    text += "lone cr at end\r";
    ASSERT_TRUE(OpenText(text));
    Expand(m_pRoot);
    CEntryNode* pEntry = m_pSource->GetEntries()[0];
    EXPECT_EQ(Values(pEntry, "bin"), std::vector<std::string>{bin});
    EXPECT_EQ(Values(pEntry, "cr")[0], "in\rside");
    EXPECT_EQ(Values(pEntry, "mixed")[0], "crlf");
    ASSERT_EQ(m_pSource->GetOtherLines().GetSize(), 2);
    EXPECT_EQ(m_pSource->GetOtherLines()[0].Str(), std::string("other") + '\0' + "line without colon");
    EXPECT_EQ(m_pSource->GetOtherLines()[1].Str(), "lone cr at end\r");

    // Edited, the record is written anew: a value or DN with control or
    // invalid bytes, or a line break from a server, in base 64; valid UTF-8
    // as it is.
    const std::string injected = "line1\ncn: injected";
    AddValue(pEntry, "description", {injected, " lead", ":colon", "<less", "trail "});
    const std::string written = CloseAndRead();
    EXPECT_EQ(written.substr(0, written.find("other")),
              "dn:: Y249bgF1bCxvPXg=\nobjectclass: top\nbin:: YQBi//7DKA==\ncr:: aW4Nc2lkZQ==\nmixed: crlf\n"
              "utf8: Jos\xc3\xa9\ndescription:: bGluZTEKY246IGluamVjdGVk\ndescription:: IGxlYWQ=\n"
              "description:: OmNvbG9u\ndescription:: PGxlc3M=\ndescription:: dHJhaWwg\n");
    ASSERT_TRUE(OpenPath(Path()));
    Expand(m_pRoot);
    pEntry = m_pSource->GetEntries()[0];
    EXPECT_EQ(pEntry->m_strDN.Str(), "cn=n\x01ul,o=x");
    EXPECT_EQ(Values(pEntry, "bin"), std::vector<std::string>{bin});
    EXPECT_EQ(Values(pEntry, "description"),
              (std::vector<std::string>{injected, " lead", ":colon", "<less", "trail "}));
    EXPECT_EQ(Values(pEntry, "cn"), std::vector<std::string>{});
    EXPECT_EQ(m_pSource->GetOtherLines()[1].Str(), "lone cr at end\r");
}

TEST_F(CLdifTest, VeryLongLinesAndManyAttributeNamesAreReadWhole) {
    const std::string big(10 * 1024 * 1024, 'v');
    ASSERT_TRUE(OpenText("dn: o=x\nobjectclass: top\nbig: " + big + "\n" + big + "\n"));
    Expand(m_pRoot);
    EXPECT_EQ(m_pSource->GetEntries()[0]->FindAttribute("big")->GetAt(0).GetLength(),
              static_cast<int>(big.size()));
    EXPECT_EQ(m_pSource->GetOtherLines()[0].GetLength(), static_cast<int>(big.size()));
    EXPECT_EQ(m_pSource->FormatContents(), "dn: o=x\nobjectclass: top\nbig: " + big + "\n" + big + "\n");

    // Many attribute names in one record keep their first occurrence's order.
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

TEST_F(CLdifTest, SearchBaseEntryBecomesTopEvenWithoutObjectclassAndTreeMirrorsDNs) {
    ASSERT_TRUE(OpenText(kCompany, "o=Acme"));
    ASSERT_NE(m_pRoot, nullptr);
    EXPECT_FALSE(m_pRoot->IsRoot());
    EXPECT_EQ(m_pRoot->m_strDN, "o=Acme");
    EXPECT_EQ(m_pRoot, m_pSource->GetTopEntry());
    EXPECT_EQ(m_pRoot->GetParent(), nullptr);
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"ou=People,o=Acme", "ou=Groups,o=Acme"}));
    CEntryNode* pPeople = Child(m_pRoot, "ou=People,o=Acme");
    // Case does not matter when the parent is looked up.
    EXPECT_EQ(ChildDNs(pPeople),
              (std::vector<std::string>{"cn=Ann,ou=People,o=Acme", "cn=Bob,OU=people,o=Acme"}));
    // Every shown entry's index is its position.
    const auto& entries = m_pSource->GetEntries();
    for (int i = 0; i < entries.GetSize(); ++i)
        EXPECT_EQ(entries[i]->GetIndex(), i);
    // The top entry's own attributes are there for the attribute pane.
    EXPECT_EQ(m_pRoot->m_attributes.GetSize(), 1);

    // A top entry without objectclass still heads its children.
    ASSERT_TRUE(OpenText("dn: o=Bare\no: Bare\n\n"
                         "dn: ou=A,o=Bare\nobjectclass: top\n\n"
                         "dn: cn=x,ou=A,o=Bare\nobjectclass: top\n\n",
                         "o=Bare"));
    EXPECT_EQ(m_pRoot->m_strDN, "o=Bare");
    EXPECT_FALSE(m_pRoot->IsRoot());
    EXPECT_EQ(DNs(m_pSource->GetOtherEntries()), (std::vector<std::string>{"o=Bare"}));
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"ou=A,o=Bare"}));
    EXPECT_EQ(m_pRoot->m_attributes.GetSize(), 1);
    EXPECT_EQ(m_pSource->FormatContents(), "dn: o=Bare\no: Bare\n\n"
                                           "dn: ou=A,o=Bare\nobjectclass: top\n\n"
                                           "dn: cn=x,ou=A,o=Bare\nobjectclass: top\n\n");
}

TEST_F(CLdifTest, ParentLookupMatchesDNsAsTheServerDoesAndFirstOfEqualParentsWins) {
    // Case, blanks around separators and the form of an escaped comma do
    // not count; an escaped comma separates nothing.
    ASSERT_TRUE(OpenText("dn: o=x,c=US\nobjectclass: top\n\n"
                         "dn: cn=a,o=x, c=US\nobjectclass: top\n\n"
                         "dn: cn=b, O=X,C=us\nobjectclass: top\n\n"
                         "dn: cn=Smith\\, J,o=x,c=US\nobjectclass: top\n\n"
                         "dn: cn=kid,cn=Smith\\2C J,o=x,c=US\nobjectclass: top\n\n"
                         "dn:: Y249Sm9zw6ksbz14LGM9VVM=\nobjectclass: top\n\n"));
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"o=x,c=US"}));
    CEntryNode* pTop = Child(m_pRoot, "o=x,c=US");
    EXPECT_EQ(ChildDNs(pTop),
              (std::vector<std::string>{"cn=a,o=x, c=US", "cn=b, O=X,C=us", "cn=Smith\\, J,o=x,c=US",
                                        "cn=Jos\xc3\xa9,o=x,c=US"}));
    EXPECT_EQ(ChildDNs(Child(pTop, "cn=Smith\\, J,o=x,c=US")),
              (std::vector<std::string>{"cn=kid,cn=Smith\\2C J,o=x,c=US"}));

    // The first of equal parents wins.
    ASSERT_TRUE(OpenText("dn: cn=kid,o=dup\nobjectclass: top\n\n"
                         "dn: o=dup\nobjectclass: top\nn: first\n\n"
                         "dn: O=DUP\nobjectclass: top\nn: second\n\n"));
    const auto& entries = m_pSource->GetEntries();
    ASSERT_EQ(entries.GetSize(), 3);
    EXPECT_EQ(ChildDNs(entries[1]), (std::vector<std::string>{"cn=kid,o=dup"}));
    EXPECT_TRUE(entries[2]->GetChildren().empty());
    EXPECT_EQ(entries[0]->GetParent(), entries[1]);
}

TEST_F(CLdifTest, GapsUnderFileTopEntryAreHiddenButWritten) {
    const std::string text = "dn: cn=early,ou=Gap,o=Acme\nobjectclass: top\n\n"
                             "dn: o=Acme\nobjectclass: top\n\n"
                             "dn: ou=Gap,ou=Missing,o=Acme\nobjectclass: top\n\n"
                             "dn: cn=late,ou=Gap,ou=Missing,o=Acme\nobjectclass: top\n\n"
                             "dn: ou=Shown,o=Acme\nobjectclass: top\n\n"
                             "dn: cn=stray,o=Other\nobjectclass: top\n\n";
    ASSERT_TRUE(OpenText(text, "o=Acme"));
    EXPECT_EQ(m_pRoot->m_strDN, "o=Acme");
    EXPECT_EQ(DNs(m_pSource->GetEntries()), (std::vector<std::string>{"o=Acme", "ou=Shown,o=Acme"}));
    // cn=stray,o=Other is outside the search base; the gap entries have no
    // parent under the top entry.
    EXPECT_EQ(DNs(m_pSource->GetOtherEntries()),
              (std::vector<std::string>{"cn=stray,o=Other", "cn=early,ou=Gap,o=Acme",
                                        "ou=Gap,ou=Missing,o=Acme", "cn=late,ou=Gap,ou=Missing,o=Acme"}));
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"ou=Shown,o=Acme"}));
    // Every record stays where it was; a child before its parent too.
    EXPECT_EQ(m_pSource->FormatContents(), text);

    // A descendant before its gap parent stays linked but hidden.
    ASSERT_TRUE(OpenText("dn: o=Acme\nobjectclass: top\n\n"
                         "dn: cn=kid,ou=Gap,ou=Missing,o=Acme\nobjectclass: top\n\n"
                         "dn: ou=Gap,ou=Missing,o=Acme\nobjectclass: top\n\n",
                         "o=Acme"));
    // Looked up while its parent was still in the array: it stays shown
    // (written with the shown entries) though no item reaches it.
    EXPECT_EQ(DNs(m_pSource->GetEntries()),
              (std::vector<std::string>{"o=Acme", "cn=kid,ou=Gap,ou=Missing,o=Acme"}));
    EXPECT_TRUE(m_pRoot->GetChildren().empty());
    EXPECT_EQ(m_pSource->GetEntries()[1]->GetParent()->m_strDN, "ou=Gap,ou=Missing,o=Acme");
}

TEST_F(CLdifTest, WithoutBaseEntryParentlessEntriesHangBelowRoot) {
    // No DN is exactly "ou=People"; three contain it (case counts).
    ASSERT_TRUE(OpenText(kCompany, "ou=People"));
    EXPECT_TRUE(m_pRoot->IsRoot());
    EXPECT_EQ(m_pRoot->GetIndex(), 0);
    EXPECT_EQ(DNs(m_pSource->GetEntries()),
              (std::vector<std::string>{"ou=People,o=Acme", "cn=Ann,ou=People,o=Acme"}));
    EXPECT_EQ(ChildDNs(m_pRoot), (std::vector<std::string>{"ou=People,o=Acme"}));
    EXPECT_EQ(ChildDNs(Child(m_pRoot, "ou=People,o=Acme")),
              (std::vector<std::string>{"cn=Ann,ou=People,o=Acme"}));
    // "Root" itself is never written.
    const std::string written = CloseAndRead();
    EXPECT_EQ(written.find("Root"), std::string::npos);

    EXPECT_FALSE(OpenText(kCompany, "ou=People,o=Acme,c=SE"));
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - No relevant entries found in this file.");
}

TEST_F(CLdifTest, ExpandInsertsChildrenAndReportsTheCountAndRefreshShowsThemAgain) {
    ASSERT_TRUE(OpenText(kCompany, "o=Acme"));
    const HTREEITEM hTop(7);
    m_pRoot->SetTreeItem(hTop);
    m_pRoot->BeginOperation(OP_EXPAND);
    EXPECT_FALSE(m_pRoot->CanRefresh());
    EXPECT_EQ(m_pSource->Expand(m_pRoot, &m_tree, hTop), 2);
    EXPECT_TRUE(m_pRoot->CanRefresh());
    ASSERT_EQ(m_tree.m_inserted.size(), 2u);
    EXPECT_EQ(m_tree.m_inserted[0].pEntry->m_strDN, "ou=People,o=Acme");
    EXPECT_EQ(m_tree.m_inserted[0].hParent, hTop);
    EXPECT_EQ(m_tree.m_inserted[1].pEntry->m_strDN, "ou=Groups,o=Acme");
    auto messages = m_tree.Calls();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].event, EEvent::SearchDone);
    EXPECT_EQ(messages[0].nValue, 2);
    EXPECT_EQ(messages[0].hItem, hTop);
    // Children's attributes are ready for the attribute pane once shown.
    EXPECT_EQ(m_tree.m_inserted[0].pEntry->m_attributes.GetSize(), 1);

    // A childless entry reports 0, so the pane shows a leaf.
    m_tree.Clear();
    CEntryNode* pGroups = Child(m_pRoot, "ou=Groups,o=Acme");
    EXPECT_EQ(Expand(pGroups), 0);
    ASSERT_EQ(m_tree.Count(EEvent::SearchDone), 1);
    EXPECT_EQ(m_tree.Calls()[0].nValue, 0);

    // Without a pane the count is still right and nothing is sent anywhere.
    EXPECT_EQ(m_pSource->Expand(Child(m_pRoot, "ou=People,o=Acme"), nullptr, HTREEITEM()), 2);

    // Refresh shows the same children again.
    m_tree.Clear();
    m_tree.m_inserted.clear();
    m_pRoot->MarkLeaf();
    m_pRoot->BeginOperation(OP_REFRESH);
    EXPECT_TRUE(m_pSource->Refresh(m_pRoot, &m_tree, m_pRoot->GetTreeItem()));
    EXPECT_FALSE(m_pRoot->IsLeaf());
    EXPECT_TRUE(m_pRoot->CanRefresh());
    EXPECT_EQ(m_tree.Events(), (std::vector<EEvent>{EEvent::EntryRefreshed, EEvent::SearchDone}));
    EXPECT_EQ(m_tree.Calls()[0].pObject, m_pRoot);
    EXPECT_EQ(m_tree.m_inserted.size(), 2u);

    pGroups = Child(m_pRoot, "ou=Groups,o=Acme");
    EXPECT_FALSE(m_pSource->Refresh(pGroups, &m_tree, pGroups->GetTreeItem()));
    // Refresh changes nothing in the file.
    EXPECT_EQ(m_pSource->FormatContents(), kCompany);
}

TEST_F(CLdifTest, LargeFlatFileLinksEveryEntry) {
    std::string text = "dn: o=big\nobjectclass: top\n\n";
    for (int i = 0; i < 20000; ++i)
        text += "dn: cn=" + std::to_string(i) + ",o=big\nobjectclass: top\n\n";
    // Many entries without a parent, looked up by many children.
    for (int i = 0; i < 2000; ++i)
        text += "dn: cn=orphan" + std::to_string(i) + ",ou=none,o=big\nobjectclass: top\n\n";
    // Many set-aside entries with one DN, then many lookups of that DN.
    for (int i = 0; i < 2000; ++i)
        text += "dn: ou=twin,ou=none,o=big\nobjectclass: top\n\n";
    for (int i = 0; i < 2000; ++i)
        text += "dn: cn=" + std::to_string(i) + ",OU=TWIN,ou=none,o=big\nobjectclass: top\n\n";
    ASSERT_TRUE(OpenText(text, "o=big"));
    EXPECT_EQ(m_pRoot->GetChildCount(), 20000);
    EXPECT_EQ(m_pSource->GetOtherEntries().GetSize(), 6000);
    EXPECT_EQ(m_pSource->GetEntries()[20000]->GetIndex(), 20000);
}
