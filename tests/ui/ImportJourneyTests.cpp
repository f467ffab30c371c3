// File > Import LDIF on a real server: the dialog's checks before anything
// runs, the report at the end, and the tree following what was imported
// under the levels already loaded.

#include "UiTestSupport.h"

#include "SlapdFixture.h"
#include "source/LdapSource.h"
#include "ui/ImportLdifDlg.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TEST(ImportJourney, TheDialogChecksItsFieldsImportsAndTheLoadedLevelsFollow) {
    CSlapdServer server;
    CPanes panes;
    ASSERT_TRUE(server.Start()) << server.LastError();
    ASSERT_TRUE(panes.OpenServer(server, "dc=example,dc=com"));
    CLdapTreeView* pTree = panes.m_pTree;
    auto expand = [&](HTREEITEM hItem) {
        panes.m_services.m_status.Clear();
        pTree->ExpandItem(hItem);
        EXPECT_TRUE(WaitUntil([&] { return Str(panes.Status(1)).rfind("Search Completed", 0) == 0; }));
        return hItem;
    };
    const HTREEITEM hPeople = expand(panes.Child(expand(panes.Root()), "ou=People"));
    ASSERT_TRUE(panes.Child(hPeople, "cn=Bob"));

    CTempDir dir;
    const std::string file = dir.File("changes.ldif");
    WriteWholeFile(file, "dn: cn=Carol,ou=People,dc=example,dc=com\nobjectClass: person\ncn: Carol\nsn: C\n\n"
                         "dn: cn=Bob,ou=People,dc=example,dc=com\nchangetype: delete\n\n"
                         "dn: cn=Nobody,ou=People,dc=example,dc=com\nchangetype: delete\n");
    std::string report;
    DriveNextModal([&](QWidget* pModal) {
        auto* pDlg = qobject_cast<CImportLdifDlg*>(pModal);
        ASSERT_NE(pDlg, nullptr);
        EXPECT_EQ(pDlg->windowTitle().toStdString(), "Import LDIF");
        EXPECT_EQ(pDlg->ContinueCheck()->text().toStdString(),
                  "&Continue after a failure, writing the failed records to:");
        EXPECT_EQ(pDlg->DryRunCheck()->text().toStdString(),
                  "&Dry run: read and check the whole file, send nothing");
        pDlg->StartButton()->click();
        EXPECT_EQ(pDlg->ReportLabel()->text().toStdString(), CImportLdifDlg::kNoFileText);
        // Typing the file proposes a rejects file beside it.
        pDlg->FileEdit()->setText(QString::fromStdString(file));
        Q_EMIT pDlg->FileEdit()->textEdited(pDlg->FileEdit()->text());
        EXPECT_EQ(pDlg->RejectsEdit()->text().toStdString(), file + ".rejects.ldif");
        pDlg->ContinueCheck()->setChecked(true);
        pDlg->RejectsEdit()->setText(QString::fromStdString(file));
        pDlg->StartButton()->click();
        EXPECT_EQ(pDlg->ReportLabel()->text().toStdString(), CImportLdifDlg::kRejectsIsInputText);
        EXPECT_FALSE(pDlg->IsRunning());
        pDlg->RejectsEdit()->setText(QString::fromStdString(file + ".rejects.ldif"));
        pDlg->StartButton()->click();
        EXPECT_TRUE(pDlg->WaitFinished(20000));
        report = pDlg->ReportLabel()->text().toStdString();
        EXPECT_EQ(pDlg->ProgressLabel()->text().toStdString().rfind("2 records done, 1 failed", 0), 0U);
        pDlg->reject();
    });
    RunImportLdif(*static_cast<CLdapSource*>(panes.m_doc.m_pDataSource), pTree, nullptr);
    EXPECT_EQ(report.rfind("Imported 2 records, 1 failed (", 0), 0U) << report;
    EXPECT_NE(report.find("\nFirst failure: Line 9: The specified object could not be found"),
              std::string::npos)
        << report;
    EXPECT_NE(ReadWholeFile(file + ".rejects.ldif").find("dn: cn=Nobody,"), std::string::npos);
    // The expanded level shows the new entry and no longer the deleted one.
    EXPECT_TRUE(
        WaitUntil([&] { return panes.Child(hPeople, "cn=Carol") && !panes.Child(hPeople, "cn=Bob"); }));
}

TEST(ImportJourney, CloseWhileItWaitsForAPausedServerReturnsPromptly) {
    CTestServices services;
    CSlapdServer server;
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTempDir dir;
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "dn: cn=n" + std::to_string(i) + ",ou=Empty,dc=example,dc=com\nobjectClass: person\ncn: n" +
                std::to_string(i) + "\nsn: s\n\n";
    WriteWholeFile(dir.File("big.ldif"), text);
    CImportLdifDlg dlg(ParamsFor(server, server.Base()));
    dlg.FileEdit()->setText(QString::fromStdString(dir.File("big.ldif")));
    dlg.StartButton()->click();
    ASSERT_TRUE(dlg.IsRunning());
    EXPECT_TRUE(WaitUntil(
        [&] { return dlg.ProgressLabel()->text().section(QLatin1Char(' '), 0, 0).toInt() > 0; }, 10000));
    server.Pause();
    QElapsedTimer timer;
    timer.start();
    dlg.reject();
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_FALSE(dlg.IsRunning());
    server.Resume();
    EXPECT_LT(server.SearchDNs("ou=Empty,dc=example,dc=com").size(), 20000U); // it was still running
}
