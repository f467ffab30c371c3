// The whole program from its start-up: a login on the LDAP page opens the
// real server source against a private slapd; exit ends it.

#include "QtTestEnvironment.h"
#include "SlapdFixture.h"

#include "source/LdapSource.h"

#include <QProgressDialog>

namespace {

TEST(EndToEnd, TheLdapPageOpensARealServerAndAFailedOpenKeepsTheSheet) {
    CSlapdServer server;
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    CTarvoApp app(false);
    int nAttempts = 0;
    DriveNextLoginSheet([&](CLoginSheet* pSheet) {
        ASSERT_NE(pSheet, nullptr);
        CLdapLoginPage* pPage = pSheet->GetLdapPage();
        FillLdapPage(pPage, QStringLiteral("127.0.0.1"), QString::number(server.Port()),
                     QString::fromStdString(server.AdminDN()), QStringLiteral("wrong password"),
                     QString::fromStdString(server.Base()));
        // A wrong password: the source says why, the sheet stays.
        pPage->GetOKButton()->click();
        ++nAttempts;
        EXPECT_TRUE(pSheet->isVisible());
        EXPECT_EQ(services.m_boxes.Count(), 1);
        pPage->GetPasswordEdit()->setText(QString::fromStdString(server.Password()));
        pPage->GetOKButton()->click();
        ++nAttempts;
    });
    ASSERT_TRUE(app.InitInstance({}));
    EXPECT_EQ(nAttempts, 2);
    CTarvoDoc* pDoc = app.GetDocument();
    ASSERT_NE(dynamic_cast<CLdapSource*>(pDoc->GetDataSource()), nullptr);
    EXPECT_EQ(TopLevelRows(app.GetMainFrame()->GetTreeView()), 1);
    // Neither the profile nor any box holds the password.
    EXPECT_NE(services.m_profile.GetProfileString("History", "BindDNs", "").Find("cn=admin"), -1);
    for (const auto& box : services.m_boxes.Boxes())
        EXPECT_EQ(box.text.Find(CString(server.Password())), -1);
    // Exit with the session open: workers stop, the source goes with the document.
    app.ExitInstance();
    EXPECT_EQ(app.GetDocument(), nullptr);
}

TEST(EndToEnd, OpeningAFrozenServerCanBeCancelledAndTriedAgain) {
    CSlapdServer server;
    ASSERT_TRUE(server.Start()) << server.LastError();
    CTestServices services;
    CTarvoApp app(false);
    QString label;
    DriveNextLoginSheet([&](CLoginSheet* pSheet) {
        CLdapLoginPage* pPage = pSheet->GetLdapPage();
        FillLdapPage(pPage, QStringLiteral("127.0.0.1"), QString::number(server.Port()), {}, {},
                     QString::fromStdString(server.Base()));
        // The bind waits on the frozen server; the window goes on serving
        // events (this timer) and Cancel ends the wait at once.
        server.Pause();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, pSheet, [&] {
            if (auto* pProgress = pSheet->findChild<QProgressDialog*>()) {
                label = pProgress->findChild<QLabel*>()->text();
                pProgress->cancel();
            }
        });
        poll.start(50);
        pPage->GetOKButton()->click();
        poll.stop();
        EXPECT_TRUE(pSheet->isVisible());
        EXPECT_EQ(pPage->GetServerCombo()->currentText(), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(pPage->GetPortCombo()->currentText(), QString::number(server.Port()));
        EXPECT_EQ(services.m_boxes.Count(), 0);
        server.Resume();
        pPage->GetOKButton()->click();
    });
    ASSERT_TRUE(app.InitInstance({}));
    EXPECT_EQ(label, QStringLiteral("Connecting to 127.0.0.1") + QChar(0x2026));
    ASSERT_NE(dynamic_cast<CLdapSource*>(app.GetDocument()->GetDataSource()), nullptr);
    EXPECT_EQ(TopLevelRows(app.GetMainFrame()->GetTreeView()), 1);
    app.ExitInstance();
}

} // namespace
