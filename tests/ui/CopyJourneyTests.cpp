// Copy Entry, Copy Subtree, Paste and Export Subtree through the tree pane:
// a subtree copied from a server is pasted into an LDIF file's window and
// shows there, existing entries are asked about, text from an editor pastes
// the same way, text that is no LDIF is refused, and the export takes a
// filter and goes to the clipboard.

#include "UiTestSupport.h"

#include "SlapdFixture.h"
#include "ui/ClipboardPaste.h"
#include "ui/ExportSubtreeDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>

namespace {

const std::string kBase = "dc=example,dc=com";

class CopyJourney : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start()) << m_server.LastError();
        ASSERT_TRUE(m_panes.OpenServer(m_server, kBase));
        m_pTree = m_panes.m_pTree;
        m_pTree->ExpandItem(m_panes.Root());
        ASSERT_TRUE(WaitUntil([this] { return m_panes.Child(m_panes.Root(), "ou=People") != nullptr; }));
    }
    // Selects the child of the root with this text and runs fn on the pane.
    void OnChild(const std::string& text, const std::function<void()>& fn) {
        HTREEITEM hItem = m_panes.Child(m_panes.Root(), text);
        ASSERT_TRUE(hItem) << text;
        m_pTree->SelectItem(hItem);
        fn();
    }
    std::string Clipboard(const char* pszType = CClipboardPaste::kLdifMimeType) {
        const QMimeData* pData = QApplication::clipboard()->mimeData();
        return pData ? pData->data(pszType).toStdString() : std::string();
    }
    std::string LastBox() { return Str(m_panes.m_services.m_boxes.LastText()); }

    CSlapdServer m_server;
    CPanes m_panes;
    CLdapTreeView* m_pTree = nullptr;
    CTempDir m_dir;
};

} // namespace

TEST_F(CopyJourney, ASubtreeCopiedFromTheServerIsPastedIntoAFileAndShowsThere) {
    OnChild("ou=People", [this] { m_pTree->OnCopyEntries(true); });
    EXPECT_EQ(Str(m_panes.Status(1)), "3 entries copied to the clipboard as LDIF");
    const std::string copied = Clipboard();
    EXPECT_EQ(copied.rfind("version: 1\r\n\r\ndn: ou=People,dc=example,dc=com\r\n", 0), 0u) << copied;
    EXPECT_EQ(Clipboard("text/plain"), copied);
    OnChild("ou=People", [this] { m_pTree->OnCopyEntries(false); });
    EXPECT_EQ(Str(m_panes.Status(1)), "1 entries copied to the clipboard as LDIF");
    OnChild("ou=People", [this] { m_pTree->OnCopyEntries(true); });

    // The other window: an LDIF file of the same suffix.
    m_panes.Close();
    const std::string file = m_dir.File("other.ldif");
    ASSERT_TRUE(m_panes.OpenLdif(file, CSlapdServer::DefaultSeed(), kBase));
    m_pTree->ExpandItem(m_panes.Root());
    OnChild("ou=Empty", [this] { m_pTree->OnPaste(); });
    EXPECT_EQ(LastBox(), "Paste below ou=Empty,dc=example,dc=com: 3 added, 0 replaced, 0 skipped, 0 failed");
    HTREEITEM hEmpty = m_panes.Child(m_panes.Root(), "ou=Empty");
    m_pTree->ExpandItem(hEmpty);
    HTREEITEM hPeople = m_panes.Child(hEmpty, "ou=People");
    ASSERT_TRUE(hPeople);
    m_pTree->ExpandItem(hPeople);
    EXPECT_EQ(m_panes.ChildTexts(hPeople), (std::vector<std::string>{"cn=Alice", "cn=Bob"}));

    // Again: the top entry exists; Skip All asks once and adds nothing.
    const int nBoxes = m_panes.m_services.m_boxes.Count();
    m_panes.m_services.m_boxes.SetNextAnswer(IDSKIPALL);
    OnChild("ou=Empty", [this] { m_pTree->OnPaste(); });
    const auto boxes = m_panes.m_services.m_boxes.Boxes();
    ASSERT_EQ(static_cast<int>(boxes.size()), nBoxes + 2);
    EXPECT_EQ(Str(boxes[nBoxes].text), "This entry exists already:\nou=People,ou=Empty,dc=example,dc=com\n\n"
                                       "Skip it, or replace its attributes with the pasted ones?");
    EXPECT_EQ(boxes[nBoxes].nType & MB_TYPEMASK, MB_SKIPREPLACE);
    EXPECT_EQ(LastBox(), "Paste below ou=Empty,dc=example,dc=com: 0 added, 0 replaced, 3 skipped, 0 failed");

    // Written with the file, binary-safe and parents first.
    m_panes.Close();
    const std::string written = ReadWholeFile(file);
    EXPECT_LT(written.find("dn: ou=People,ou=Empty,dc=example,dc=com"),
              written.find("dn: cn=Alice,ou=People,ou=Empty,dc=example,dc=com"));
}

TEST_F(CopyJourney, TextFromAnEditorPastesTheSameWayAndTextThatIsNoLdifIsRefused) {
    QApplication::clipboard()->setText(QStringLiteral("dn: cn=Ed,ou=Elsewhere,o=Old\nobjectClass: person\n"
                                                      "cn: Ed\nsn: E\n"));
    OnChild("ou=People", [this] { m_pTree->OnPaste(); });
    EXPECT_EQ(LastBox(), "Paste below ou=People,dc=example,dc=com: 1 added, 0 replaced, 0 skipped, 0 failed");
    EXPECT_TRUE(m_server.Exists("cn=Ed,ou=People," + kBase));
    // The pane shows it below the target once the target is read again.
    EXPECT_TRUE(WaitUntil([this] {
        HTREEITEM hPeople = m_panes.Child(m_panes.Root(), "ou=People");
        return hPeople && m_panes.Child(hPeople, "cn=Ed") && m_pTree->CanTransfer(ID_PASTE);
    }));

    QApplication::clipboard()->setText(QStringLiteral("Dear Ed,\nsee you.\n"));
    OnChild("ou=People", [this] { m_pTree->OnPaste(); });
    EXPECT_EQ(LastBox(),
              std::string(CClipboardPaste::kUnreadableText) + "Line 1: this is no LDIF line: Dear Ed,");
    QApplication::clipboard()->clear();
    OnChild("ou=People", [this] { m_pTree->OnPaste(); });
    EXPECT_EQ(LastBox(), CClipboardPaste::kNothingText);
    EXPECT_EQ(m_server.SearchDNs("ou=People," + kBase).size(), 3u);
}

TEST_F(CopyJourney, ExportSubtreeTakesAFilterAndGoesToTheClipboardOrAFile) {
    // A filter that is no filter is pointed out in the dialog.
    DriveNextModal([](QWidget* pWidget) {
        auto* pDialog = static_cast<CExportSubtreeDlg*>(pWidget);
        pDialog->FilterEdit()->setText(QStringLiteral("(sn=Smith"));
        pDialog->ClipboardRadio()->setChecked(true);
        pDialog->accept();
        EXPECT_EQ(pDialog->ErrorLabel()->text().left(24), QStringLiteral("The filter is not valid:"));
        pDialog->FilterEdit()->setText(QStringLiteral("(sn=Smith)"));
        pDialog->accept();
    });
    QApplication::clipboard()->clear();
    OnChild("ou=People", [this] { m_pTree->OnExportSubtree(); });
    const std::string copied = Clipboard();
    EXPECT_NE(copied.find("dn: cn=Alice,ou=People,dc=example,dc=com"), std::string::npos) << copied;
    EXPECT_EQ(copied.find("cn=Bob"), std::string::npos);
    EXPECT_EQ(Str(m_panes.Status(1)), "1 entries copied to the clipboard as LDIF");

    const std::string out = m_dir.File("export.ldif");
    DriveNextModal([out](QWidget* pWidget) {
        auto* pDialog = static_cast<CExportSubtreeDlg*>(pWidget);
        pDialog->FilterEdit()->setText(QStringLiteral("(objectClass=inetOrgPerson)"));
        pDialog->PathEdit()->setText(QString::fromStdString(out));
        pDialog->FileRadio()->setChecked(true);
        pDialog->accept();
    });
    OnChild("ou=People", [this] { m_pTree->OnExportSubtree(); });
    EXPECT_EQ(Str(m_panes.Status(1)), "2 entries saved to " + out);
    const std::string written = ReadWholeFile(out);
    EXPECT_NE(written.find("dn: cn=Bob,ou=People,dc=example,dc=com"), std::string::npos);
    EXPECT_EQ(written.find("dn: ou=People,dc=example,dc=com"), std::string::npos);
}
