// The whole program from its start-up: a login on the LDIF page opens the
// real LDIF source; Close writes the file back.

#include "QtTestEnvironment.h"
#include "TestServices.h"

#include "ldif/LdifSource.h"
#include "session/Commands.h"
#include "session/LdapLoginPage.h"
#include "session/LdifLoginPage.h"
#include "session/LoginSheet.h"
#include "session/MainFrame.h"
#include "session/TarvoApp.h"
#include "session/TarvoDoc.h"
#include "ui/LdapTreeView.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <algorithm>

namespace {

int TopLevelRows(QWidget* pPane) {
    auto* pView = pPane->findChild<QAbstractItemView*>();
    return pView && pView->model() ? pView->model()->rowCount() : 0;
}

const char* const kSmallLdif = "dn: dc=example,dc=com\n"
                               "objectClass: dcObject\n"
                               "objectClass: organization\n"
                               "dc: example\n"
                               "o: Example\n"
                               "\n"
                               "dn: ou=People,dc=example,dc=com\n"
                               "objectClass: organizationalUnit\n"
                               "ou: People\n"
                               "\n"
                               "dn: cn=Ada,ou=People,dc=example,dc=com\n"
                               "objectClass: inetOrgPerson\n"
                               "cn: Ada\n"
                               "sn: Lovelace\n"
                               "\n";

TEST(EndToEnd, TheDocumentTakesAnLdifSourceFromTheLdifPage) {
    CTestServices services;
    CTempDir dir;
    const std::string path = dir.File("directory.ldif");
    WriteWholeFile(path, kSmallLdif);

    CTarvoApp app(false);
    DriveNextLoginSheet([&path](CLoginSheet* pSheet) {
        ASSERT_NE(pSheet, nullptr);
        pSheet->GetTabs()->setCurrentIndex(1);
        CLdifLoginPage* pPage = pSheet->GetLdifPage();
        pPage->GetFileCombo()->setEditText(QString::fromStdString(path));
        pPage->GetSearchBaseCombo()->setEditText(QStringLiteral("dc=example,dc=com"));
        pPage->GetOKButton()->click();
    });
    ASSERT_TRUE(app.InitInstance({}));
    CTarvoDoc* pDoc = app.GetDocument();
    auto* pSource = dynamic_cast<CLdifSource*>(pDoc->GetDataSource());
    ASSERT_NE(pSource, nullptr);
    EXPECT_EQ(services.m_boxes.Count(), 0) << services.m_boxes.LastText().Str();
    EXPECT_FALSE(pDoc->m_bOpenEnabled);
    EXPECT_TRUE(pDoc->m_bCloseEnabled);
    EXPECT_TRUE(app.GetMainFrame()->isVisible());
    // The root entry is the tree pane's top item.
    EXPECT_EQ(TopLevelRows(app.GetMainFrame()->GetTreeView()), 1);
    // Remembered for the next login.
    EXPECT_EQ(services.m_profile.GetProfileString("History", "LDIFs", ""), CString(path));
    EXPECT_EQ(services.m_profile.GetProfileString("History", "SearchBases", ""), "dc=example,dc=com");

    // Close writes the file back and ends the session.
    EXPECT_TRUE(app.GetMainFrame()->OnCommand(ID_FILE_CLOSE_SESSION));
    EXPECT_EQ(pDoc->GetDataSource(), nullptr);
    EXPECT_EQ(TopLevelRows(app.GetMainFrame()->GetTreeView()), 0);
    const std::string written = ReadWholeFile(path);
    EXPECT_NE(written.find("dn: cn=Ada,ou=People,dc=example,dc=com"), std::string::npos) << written;
    EXPECT_TRUE(pDoc->m_bOpenEnabled);
    app.ExitInstance();
}

TEST(DemoData, TheDemoDirectoryIsAFewHundredEntriesInSeveralLevels) {
    CTestServices services;
    // A copy: closing writes the file back.
    CTempDir dir;
    const std::string path = dir.File("example.ldif");
    WriteWholeFile(path, ReadWholeFile(TARVO_DEMO_LDIF));
    CLdifSource source;
    CConnectionParams params;
    params.m_strLdifFile = path;
    params.m_strSearchBase = "dc=example,dc=com";
    params.m_strFilter = "objectclass=*";
    ASSERT_TRUE(source.Open(params)) << services.m_boxes.LastText().Str();
    ASSERT_NE(params.m_pRoot, nullptr);
    const CArray<CEntryNode*>& entries = source.GetEntries();
    EXPECT_GE(entries.GetSize(), 300);
    int nDeepest = 0;
    for (CEntryNode* pEntry : entries) {
        int nLevels = 0;
        const CString dn = pEntry->GetDN();
        for (char ch : dn.Str())
            nLevels += ch == ',';
        nDeepest = std::max(nDeepest, nLevels);
    }
    EXPECT_GE(nDeepest, 5); // uid=...,ou=Team,ou=Department,ou=People,dc=example,dc=com
    EXPECT_EQ(services.m_boxes.Count(), 0);
    source.Close();
}

} // namespace
