// Journeys through both panes on an LDIF file: editing values, the file
// written at Close, and Save to LDIF with each option.

#include "SlapdFixture.h"
#include "UiTestSupport.h"

#include "model/EntryNode.h"
#include "ui/LdifExport.h"
#include "ui/ModifyAttributeDlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>

#include <algorithm>
#include <sys/stat.h>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const char* const kFile = // one entry a line
    "dn: o=Acme\nobjectclass: organization\no: Acme\n\n"
    "dn: ou=People,o=Acme\nobjectclass: organizationalUnit\nou: People\n\n"
    "dn: cn=Alice,ou=People,o=Acme\nobjectclass: person\ncn: Alice\nmail: a1\nmail: a2\n\n"
    "dn: cn=Bob,ou=People,o=Acme\nobjectclass: person\ncn: Bob\n\n";

class LdifJourney : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_panes.OpenLdif(m_path, kFile, "o=Acme"));
        m_pTree->ExpandItem(m_panes.Root());
        m_hPeople = m_panes.Child(m_panes.Root(), "ou=People");
        m_pTree->ExpandItem(m_hPeople);
    }

    void SelectAlice() { ASSERT_TRUE(m_pTree->ClickItem(m_panes.Child(m_hPeople, "cn=Alice"))); }

    CTempDir m_dir;
    const std::string m_path = m_dir.File("people.ldif");
    CPanes m_panes;
    CLdapTreeView* const m_pTree = m_panes.m_pTree;
    CExportSettings& m_settings = m_panes.m_doc.GetExportSettings();
    HTREEITEM m_hPeople;
};

} // namespace

TEST_F(LdifJourney, ValuesAddDeleteModifyKeepRowsCacheAndFileInStep) {
    CLdapListView* pList = m_panes.m_pList;
    SelectAlice();
    CEntryNode* pAlice = pList->GetCurrentEntry();
    ASSERT_NE(pAlice, nullptr);

    TypeIntoNextEditor({{"mail", "x@acme"}, {"mail", "y@acme"}});
    pList->OnAddAttributes();
    EXPECT_EQ(m_panes.Rows(), (std::vector<std::string>{"mail=a1", "mail=a2", "cn=Alice",
                                                        "objectclass=person", "mail=x@acme", "mail=y@acme"}));
    EXPECT_EQ(pAlice->FindAttribute("mail")->GetSize(), 4);
    EXPECT_TRUE(pAlice->CanAddAttribute());

    // Delete rows 0 and 4 (mail a1 and x@acme): one attribute, both values.
    m_panes.DeleteRows({4, 0});
    EXPECT_EQ(m_panes.Rows(),
              (std::vector<std::string>{"mail=a2", "cn=Alice", "objectclass=person", "mail=y@acme"}));
    CAttribute* pMail = pAlice->FindAttribute("mail");
    ASSERT_EQ(pMail->GetSize(), 2);
    EXPECT_EQ(Str(pMail->GetAt(0)), "a2");

    // No: nothing changes and nothing starts.
    m_panes.DeleteRows({1}, IDNO);
    EXPECT_EQ(m_panes.Rows().size(), 4u);
    EXPECT_TRUE(pAlice->CanDeleteAttribute());

    // Modify the lowest selected row; the source moves the new value last.
    pList->SelectRows({3, 0});
    DriveNextModal([](QWidget* pModal) {
        auto* pDlg = qobject_cast<CModifyAttributeDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        EXPECT_EQ(pDlg->ReadOnlyEdit()->text(), "mail");
        EXPECT_EQ(pDlg->EditableEdit()->text(), "a2");
        pDlg->EditableEdit()->setText("a3");
        pDlg->OnOK();
    });
    pList->OnModifyAttribute();
    EXPECT_EQ(m_panes.Rows()[0], "mail=a3");
    EXPECT_EQ(Str(pAlice->FindAttribute("mail")->GetAt(1)), "a3");

    // Refresh of the pane: the LDIF entry keeps its attributes.
    pList->OnRefresh();
    EXPECT_EQ(m_panes.Rows().size(), 4u);

    m_panes.Close();
    std::string written = ReadWholeFile(m_path);
    EXPECT_THAT(
        written,
        HasSubstr(
            "dn: cn=Alice,ou=People,o=Acme\nobjectclass: person\ncn: Alice\nmail: y@acme\nmail: a3\n\n"));
}

TEST_F(LdifJourney, EntryEditsAndARenamedParentReachTheWrittenFile) {
    m_panes.AddEntry(m_hPeople, "cn=Carol", {{"objectclass", "person"}, {"cn", "Carol"}});
    m_panes.DeleteEntry(m_panes.Child(m_hPeople, "cn=Bob"));
    m_panes.RenameEntry(m_panes.Child(m_hPeople, "cn=Alice"), "cn=Ann");
    EXPECT_EQ(m_panes.ChildTexts(m_hPeople), (std::vector<std::string>{"cn=Ann", "cn=Carol"}));
    // The parent renamed takes its children along, on screen and in the file.
    m_settings.SetEntryAsRDN(0); // titles show the whole DN
    m_panes.RenameEntry(m_hPeople, "ou=Staff");
    EXPECT_EQ(m_panes.ChildTexts(m_panes.Root()), (std::vector<std::string>{"ou=Staff,o=Acme"}));
    EXPECT_EQ(m_panes.ChildTexts(m_hPeople),
              (std::vector<std::string>{"cn=Ann,ou=Staff,o=Acme", "cn=Carol,ou=Staff,o=Acme"}));
    m_panes.Close();
    const std::string written = ReadWholeFile(m_path);
    EXPECT_THAT(written, HasSubstr("dn: cn=Carol,ou=Staff,o=Acme\nobjectclass: person\ncn: Carol\n\n"));
    EXPECT_THAT(written, HasSubstr("dn: cn=Ann,ou=Staff,o=Acme\n"));
    EXPECT_THAT(written, Not(HasSubstr("cn=Bob")));
    EXPECT_THAT(written, Not(HasSubstr("ou=People,")));
    EXPECT_TRUE(m_panes.ChildTexts(HTREEITEM()).empty()) << "the tree is empty after Close";
}

TEST_F(LdifJourney, SaveToLdifAsksForAFileRefusesAnUnwritableOneAndWritesByEachOption) {
    m_settings.SetSaveOption(1);
    m_pTree->SelectItem(m_hPeople);
    // No file name set: the "..." dialog asks; cancelling writes nothing.
    m_pTree->OnSaveToLdif();
    EXPECT_EQ(m_panes.m_services.m_dialogs.Count(), 1);
    std::string chosen = m_dir.File("chosen.txt");
    m_panes.m_services.m_dialogs.SetNextPath(chosen.c_str());
    m_pTree->OnSaveToLdif();
    EXPECT_THAT(ReadWholeFile(chosen), HasSubstr("dn: ou=People,o=Acme"));
    EXPECT_EQ(Str(m_settings.GetFilename()), "") << "the setting itself is not changed";

    // A folder cannot be written as a file, nor a read-only file (root
    // included) replaced.
    m_settings.SetFilename(m_dir.Path().string().c_str());
    m_pTree->OnSaveToLdif();
    EXPECT_EQ(Str(m_panes.m_services.m_boxes.LastText()),
              "Write Access Denied to LDIF file " + m_dir.Path().string() + "\nIs a directory");
    WriteWholeFile(chosen, "keep");
    ASSERT_EQ(::chmod(chosen.c_str(), 0444), 0);
    m_settings.SetFilename(chosen.c_str());
    m_pTree->OnSaveToLdif();
    EXPECT_EQ(Str(m_panes.m_services.m_boxes.LastText()),
              "Write Access Denied to LDIF file " + chosen + "\nPermission denied");
    EXPECT_EQ(ReadWholeFile(chosen), "keep");

    // Option 1: every entry of the subtree, depth first, as the tree holds them.
    const std::string out = m_dir.File("export.ldif");
    m_settings.SetFilename(out.c_str());
    SelectAlice(); // Alice's attributes are now in the cache
    m_pTree->SelectItem(m_hPeople);
    m_pTree->OnSaveToLdif();
    std::string all = ReadWholeFile(out);
    EXPECT_THAT(all, StartsWith("dn: ou=People,o=Acme\r\n"));
    EXPECT_THAT(all, HasSubstr("dn: cn=Alice,ou=People,o=Acme\r\nobjectclass: person\r\ncn: Alice\r\nmail: "
                               "a1\r\nmail: a2\r\n\r\n"));
    EXPECT_THAT(all, HasSubstr("dn: cn=Bob,ou=People,o=Acme\r\n"));
    EXPECT_THAT(Str(m_panes.Status(1)), HasSubstr("3 entries saved"));

    // Option 0 on a file: every entry's attributes are in memory, so even
    // one whose cache a pane emptied is written whole.
    CEntryNode* pBob = m_pTree->GetItemEntry(m_panes.Child(m_hPeople, "cn=Bob"));
    DeleteAttributes(pBob->m_attributes);
    m_settings.SetSaveOption(0);
    m_pTree->OnSaveToLdif();
    std::string some = ReadWholeFile(out);
    EXPECT_THAT(some, HasSubstr("dn: cn=Alice"));
    EXPECT_THAT(some, HasSubstr("dn: cn=Bob,ou=People,o=Acme\r\nobjectclass: person\r\ncn: Bob\r\n\r\n"));

    // Option 2: missing attributes are read first.
    m_settings.SetSaveOption(2);
    m_pTree->OnSaveToLdif();
    std::string read = ReadWholeFile(out);
    EXPECT_THAT(read, HasSubstr("dn: cn=Bob,ou=People,o=Acme\r\nobjectclass: person\r\ncn: Bob\r\n\r\n"));

    // From the synthetic top only real entries are written.
    m_panes.Close();
    CEntryNode* pRoot = m_panes.OpenLdif(m_path, kFile, "ou=People");
    ASSERT_TRUE(pRoot && pRoot->IsRoot());
    const std::string fromTop = m_dir.File("from-root.ldif");
    m_settings.SetFilename(fromTop.c_str());
    m_settings.SetSaveOption(1);
    m_pTree->SelectItem(m_panes.Root());
    m_pTree->OnSaveToLdif();
    const std::string written = ReadWholeFile(fromTop);
    EXPECT_THAT(written, StartsWith("dn: ou=People,o=Acme\r\n"));
    EXPECT_THAT(written, Not(HasSubstr("Root")));
    EXPECT_EQ(std::system(("ldapadd -n -f '" + fromTop + "' >/dev/null 2>&1").c_str()), 0);
}

TEST(LdifExportOfAFile, WholeSubtreeParentsFirstInFileOrderWhateverTheOptionAndNoInvalidNames) {
    // Nothing below the top is expanded; the names "bad name" and "cn;"
    // are no attribute descriptions and never reach an LDIF output.
    const std::string file = "dn: o=Acme\nobjectclass: organization\n\n"
                             "dn: ou=B,o=Acme\nobjectclass: organizationalUnit\n\n"
                             "dn: cn=b2,ou=B,o=Acme\nobjectclass: person\n\n"
                             "dn: ou=A,o=Acme\nobjectclass: organizationalUnit\n\n"
                             "dn: cn=b1,ou=B,o=Acme\nobjectclass: person\nbad name: x\ncn;: y\ncn: b1\n\n"
                             "dn: cn=a1,ou=A,o=Acme\nobjectclass: person\n\n";
    CTempDir dir;
    CPanes panes;
    ASSERT_TRUE(panes.OpenLdif(dir.File("file.ldif"), file, "o=Acme"));
    const std::string out = dir.File("out.ldif");
    panes.m_doc.GetExportSettings().SetFilename(out.c_str());
    for (int nOption : {0, 1, 2}) {
        panes.m_doc.GetExportSettings().SetSaveOption(nOption);
        panes.m_pTree->SelectItem(panes.Root());
        panes.m_pTree->OnSaveToLdif();
        const std::string written = ReadWholeFile(out);
        std::vector<std::string> dns;
        for (size_t pos = 0; pos < written.size(); pos = written.find("\r\n", pos) + 2) {
            if (written.compare(pos, 4, "dn: ") == 0)
                dns.push_back(written.substr(pos + 4, written.find("\r\n", pos) - pos - 4));
        }
        EXPECT_EQ(dns, (std::vector<std::string>{"o=Acme", "ou=B,o=Acme", "cn=b2,ou=B,o=Acme",
                                                 "cn=b1,ou=B,o=Acme", "ou=A,o=Acme", "cn=a1,ou=A,o=Acme"}))
            << "option " << nOption;
        EXPECT_THAT(written, HasSubstr("dn: cn=b1,ou=B,o=Acme\r\nobjectclass: person\r\ncn: b1\r\n\r\n"));
        EXPECT_EQ(Str(panes.Status(1)),
                  "6 entries saved to " + out + "; 2 attributes with invalid names were skipped");
    }

    // Copy as LDIF from either pane says the same.
    panes.m_pTree->ExpandItem(panes.Root());
    const HTREEITEM hB = panes.Child(panes.Root(), "ou=B");
    panes.m_pTree->ExpandItem(hB);
    ASSERT_TRUE(panes.m_pTree->ClickItem(panes.Child(hB, "cn=b1")));
    panes.m_pTree->OnCopy(true);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
              "dn: cn=b1,ou=B,o=Acme\nobjectclass: person\ncn: b1\n\n");
    EXPECT_EQ(Str(panes.Status(1)), "2 attributes with invalid names were skipped");
    panes.m_pList->OnCopy(true);
    EXPECT_EQ(Str(panes.Status(2)), "2 attributes with invalid names were skipped");
    EXPECT_EQ(Str(SkippedNamesText(1)), "1 attribute with an invalid name was skipped");
}

namespace {

std::string AsAdmin(const CSlapdServer& server) {
    return " -x -H " + server.Url() + " -D " + server.AdminDN() + " -w " + server.Password();
}

// The subtree's entries as ldapsearch writes them (base 64 for what is not
// plain text), sorted.
std::vector<std::string> Subtree(const CSlapdServer& server, const std::string& base) {
    const std::string text =
        server.RunTool("ldapsearch -LLL -o ldif-wrap=no" + AsAdmin(server) + " -b '" + base + "' '*'");
    std::vector<std::string> records;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find("\n\n", pos);
        end = end == std::string::npos ? text.size() : end;
        records.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    std::sort(records.begin(), records.end());
    return records;
}

} // namespace

TEST(LdifThroughServers, SavedSubtreeLoadsIntoASecondServerByteForByte) {
    // A photo with zero bytes, a description with a line break that would
    // forge an attribute if written raw, and a DN with a hex-escaped comma.
    const std::string base = "ou=Trip,dc=example,dc=com";
    CSlapdServer first(CSlapdServer::DefaultSeed() + "\ndn: " + base +
                       "\nobjectClass: organizationalUnit\nou: Trip\n\n"
                       "dn: cn=Photo," +
                       base +
                       "\nobjectClass: inetOrgPerson\ncn: Photo\nsn: Photo\n"
                       "jpegPhoto:: /9j/4AAQSkZJRgABAgD/2Q==\n"
                       "description:: bGluZTEKY246IGluamVjdGVk\n\n"
                       "dn: cn=Smith\\2C J," +
                       base + "\nobjectClass: person\ncn: Smith, J\nsn: Smith\n\n");
    ASSERT_TRUE(first.Start()) << first.LastError();
    CTempDir dir;
    const std::string out = dir.File("trip.ldif");
    {
        CPanes panes;
        ASSERT_TRUE(panes.OpenServer(first, base));
        panes.m_services.m_status.Clear();
        panes.m_pTree->ExpandItem(panes.Root());
        ASSERT_TRUE(WaitUntil([&] {
            auto history = panes.m_services.m_status.History(1);
            return !history.empty() && Str(history.back()).rfind("Search ", 0) == 0;
        }));
        panes.m_doc.GetExportSettings().SetFilename(out.c_str());
        panes.m_doc.GetExportSettings().SetSaveOption(2);
        panes.m_pTree->SelectItem(panes.Root());
        panes.m_pTree->OnSaveToLdif();
        panes.Close();
    }
    CSlapdServer second;
    ASSERT_TRUE(second.Start()) << second.LastError();
    second.RunTool("ldapadd" + AsAdmin(second) + " -f " + out + " >/dev/null 2>&1");
    const std::vector<std::string> expected = Subtree(first, base);
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(Subtree(second, base), expected) << ReadWholeFile(out);
}

TEST(LdifExportWalk, DepthFirstInListOrder) {
    CEntryNode top, a, b, a1;
    top.SetDN("o=t");
    a.SetDN("a");
    b.SetDN("b");
    a1.SetDN("a1");
    top.AddChildTail(&a);
    top.AddChildTail(&b);
    a.AddChildTail(&a1);
    std::vector<CEntryNode*> order = CollectSubtree(&top);
    EXPECT_EQ(order, (std::vector<CEntryNode*>{&top, &a, &a1, &b}));
    top.RemoveAllChildren();
    a.RemoveAllChildren();
}
