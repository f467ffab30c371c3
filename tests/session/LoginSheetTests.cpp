// The login sheet on real widgets: validation texts and focus, history
// across sheets, Enter as OK, the failed-Open retry, browsing for a file;
// the remembered values of its fields: order, bounds, the stored form, and
// their trip through the real profile file.

#include "QtTestEnvironment.h"
#include "TestSource.h"

#include "session/HistoryList.h"
#include "ui/SettingsDlg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTemporaryDir>

namespace {

class LoginSheetTest : public ::testing::Test {
protected:
    std::unique_ptr<CLoginSheet> NewSheet(int nPage = 0) {
        auto pSheet = ShowLoginSheet(nPage);
        pSheet->m_fnCreateSource = [this](CLoginSheet::ESourceKind eKind) -> CDataSource* {
            m_lastKind = eKind;
            return new CTestSource(&m_log, m_bOpenSucceeds);
        };
        return pSheet;
    }

    // The sheet's focus is in this control.
    static bool HasFocus(QWidget* pSheet, QWidget* pControl) {
        QWidget* pFocus = pSheet->focusWidget();
        return pFocus && (pFocus == pControl || pControl->isAncestorOf(pFocus));
    }
    static void SetText(QComboBox* pCombo, const QString& text) { pCombo->setEditText(text); }
    static QStringList Items(const QComboBox* pCombo) {
        QStringList items;
        for (int i = 0; i < pCombo->count(); ++i)
            items << pCombo->itemText(i);
        return items;
    }

    CTestServices m_services;
    CTestSourceLog m_log;
    bool m_bOpenSucceeds = true;
    CLoginSheet::ESourceKind m_lastKind = CLoginSheet::kLdapSource;
};

TEST_F(LoginSheetTest, PagesAsTheUserSeesThemOnlyTheShownPageActsAndCancelWritesNothing) {
    auto pSheet = NewSheet();
    EXPECT_EQ(pSheet->windowTitle(), QStringLiteral("Login"));
    ASSERT_EQ(pSheet->GetTabs()->count(), 2);
    EXPECT_EQ(pSheet->GetTabs()->tabText(0), QStringLiteral("LDAP Connection"));
    EXPECT_EQ(pSheet->GetTabs()->tabText(1), QStringLiteral("LDIF File"));
    EXPECT_EQ(pSheet->GetActivePageIndex(), 0);
    CLdapLoginPage* pPage = pSheet->GetLdapPage();
    EXPECT_EQ(pPage->GetPasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(pPage->GetVersionLabel()->text(), QStringLiteral("Version 1.03A"));
    EXPECT_EQ(pPage->GetOKButton()->text(), QStringLiteral("&OK"));
    EXPECT_EQ(pPage->GetHelpButton()->text(), QStringLiteral("&Help"));
    // First run: no server at all (Enter connects nowhere), only a hint;
    // port 389; the rest empty.
    EXPECT_EQ(pPage->GetServerCombo()->count(), 0);
    EXPECT_EQ(pPage->GetServerCombo()->currentText(), QString());
    EXPECT_EQ(pPage->GetServerCombo()->lineEdit()->placeholderText(), QStringLiteral("ldap.example.com"));
    EXPECT_EQ(pPage->GetPortCombo()->currentText(), QStringLiteral("389"));
    EXPECT_EQ(pPage->GetBindDNCombo()->currentText(), QString());
    EXPECT_EQ(pPage->GetSearchBaseCombo()->currentText(), QString());
    EXPECT_EQ(pPage->m_strFilter, "(objectclass=*)");
    // The LDIF page is set up when first shown; the page that is not shown
    // never acts on OK.
    EXPECT_FALSE(pSheet->GetLdifPage()->IsInitialized());
    SetText(pSheet->GetLdifPage()->GetFileCombo(), QStringLiteral("/tmp/x.ldif"));
    pSheet->GetLdifPage()->OnOK();
    EXPECT_EQ(m_log.nCreated, 0);
    pSheet->SetPage(1);
    PumpEvents();
    EXPECT_TRUE(pSheet->GetLdifPage()->IsInitialized());
    pSheet->SetPage(7); // not a page: nothing changes
    EXPECT_EQ(pSheet->GetActivePageIndex(), 1);
    SetText(pPage->GetServerCombo(), QString());
    pPage->OnOK();
    EXPECT_EQ(m_services.m_boxes.Count(), 0);
    EXPECT_EQ(m_log.nCreated, 0);

    // Cancel ends the sheet without writing anything.
    pSheet->SetPage(0);
    SetText(pSheet->GetLdapPage()->GetServerCombo(), QStringLiteral("typed.example.org"));
    QTest::mouseClick(pSheet->GetLdapPage()->GetCancelButton(), Qt::LeftButton);
    EXPECT_EQ(pSheet->result(), 0);
    EXPECT_FALSE(pSheet->isVisible());
    EXPECT_FALSE(m_services.m_profile.Has("History", "Servers"));
    EXPECT_EQ(m_log.nCreated, 0);
}

struct CPortCase {
    const char* pszPort;
    bool bAccepted;
    int nPort;
};

TEST_F(LoginSheetTest, PortIsDigitsOnlyAndServerAndBaseAreCheckedBeforeAnythingIsStored) {
    const CPortCase cases[] = {
        {"389", true, 389},   {"65535", true, 65535},       {"1", true, 1},      {"00389", true, 389},
        {"389abc", false, 0}, {"40501secret", false, 0},    {"  636", false, 0}, {"+10", false, 0},
        {"0", false, 0},      {"65536", false, 0},          {"-1", false, 0},    {"abc", false, 0},
        {"", false, 0},       {"99999999999999", false, 0},
    };
    auto pSheet = NewSheet();
    CLdapLoginPage* pPage = pSheet->GetLdapPage();
    for (const CPortCase& c : cases) {
        SCOPED_TRACE(c.pszPort);
        m_services.m_boxes.Clear();
        FillLdapPage(pPage, QStringLiteral("ldap.example.org"), QString::fromLatin1(c.pszPort));
        pPage->GetServerCombo()->setFocus();
        EXPECT_EQ(pPage->ValidateInput(), c.bAccepted ? TRUE : FALSE);
        if (c.bAccepted) {
            EXPECT_EQ(m_services.m_boxes.Count(), 0);
            EXPECT_EQ(pSheet->m_params.m_nPort, c.nPort);
        } else {
            ASSERT_EQ(m_services.m_boxes.Count(), 1);
            const auto box = m_services.m_boxes.Boxes()[0];
            EXPECT_EQ(box.text, "Error - Invalid Port Number.");
            EXPECT_EQ(box.caption, "Tarvo");
            EXPECT_EQ(box.nType, MB_OK | MB_ICONSTOP);
            EXPECT_TRUE(HasFocus(pSheet.get(), pPage->GetPortCombo()));
        }
    }
    // Typing reaches the field only as digits.
    pPage->GetPortCombo()->setEditText(QString());
    pPage->GetPortCombo()->setFocus();
    QTest::keyClicks(pPage->GetPortCombo(), QStringLiteral("40a5x01"));
    EXPECT_EQ(pPage->GetPortCombo()->currentText(), QStringLiteral("40501"));

    // The server and the base are checked the same way, the server first.
    const struct {
        const char* server;
        const char* port;
        const char* base;
        const char* message; // nullptr: accepted
        QComboBox* (CLdapLoginPage::*focus)() const;
    } fields[] = {
        {"", "0", "", "Error - Invalid LDAP server.", &CLdapLoginPage::GetServerCombo},
        {"   ", "389", "", "Error - Invalid LDAP server.", &CLdapLoginPage::GetServerCombo},
        {"ldap.example.org secret", "389", "", "Error - Invalid LDAP server.",
         &CLdapLoginPage::GetServerCombo},
        {"ldap.example.org", "389", "secret", "Error - Invalid Search Base.",
         &CLdapLoginPage::GetSearchBaseCombo},
        {"ldap.example.org", "389", "dc=example,,dc=com", "Error - Invalid Search Base.",
         &CLdapLoginPage::GetSearchBaseCombo},
        {"ldap://ldap.example.org:1389", "389", "ou=A\\, B,dc=example", nullptr, nullptr},
        {"::1", "389", "", nullptr, nullptr},
    };
    for (const auto& f : fields) {
        SCOPED_TRACE(f.server);
        m_services.m_boxes.Clear();
        FillLdapPage(pPage, QString::fromUtf8(f.server), QString::fromUtf8(f.port), QLatin1String(""), {},
                     QString::fromUtf8(f.base));
        pPage->GetPortCombo()->setFocus();
        EXPECT_EQ(pPage->ValidateInput(), f.message ? FALSE : TRUE);
        if (!f.message) {
            EXPECT_EQ(m_services.m_boxes.Count(), 0);
            EXPECT_EQ(pSheet->m_params.m_strServer, f.server);
            continue;
        }
        ASSERT_EQ(m_services.m_boxes.Count(), 1);
        EXPECT_EQ(m_services.m_boxes.LastText(), f.message);
        EXPECT_TRUE(HasFocus(pSheet.get(), (pPage->*f.focus)()));
    }
    EXPECT_EQ(pSheet->m_params.m_strFilter, "(objectclass=*)");
    EXPECT_EQ(pSheet->m_params.m_strLdifFile, "");

    // A refused OK stores nothing: a password typed into the port field
    // never reaches the profile.
    m_services.m_boxes.Clear();
    FillLdapPage(pPage, QStringLiteral("ldap.example.org"), QStringLiteral("40501secret"));
    pPage->OnOK();
    EXPECT_EQ(m_log.nCreated, 0);
    EXPECT_FALSE(m_services.m_profile.Has("History", "PortNumbers"));
    EXPECT_FALSE(m_services.m_profile.Has("History", "Servers"));
    // What an older version stored there is not offered again.
    m_services.m_profile.WriteProfileString("History", "PortNumbers", "40501secret;1389;389");
    auto pNext = NewSheet();
    EXPECT_EQ(Items(pNext->GetLdapPage()->GetPortCombo()), (QStringList{"1389", "389"}));
}

TEST_F(LoginSheetTest, LdifPageNeedsAFileNameAndBrowseFillsItIn) {
    auto pSheet = NewSheet(1);
    CLdifLoginPage* pPage = pSheet->GetLdifPage();
    SetText(pPage->GetFileCombo(), QString());
    pPage->GetSearchBaseCombo()->setFocus();
    pPage->OnOK();
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - Please specify the filename.");
    EXPECT_EQ(m_services.m_boxes.Boxes()[0].nType, MB_OK | MB_ICONSTOP);
    EXPECT_TRUE(HasFocus(pSheet.get(), pPage->GetFileCombo()));
    EXPECT_EQ(m_log.nCreated, 0);
    EXPECT_FALSE(m_services.m_profile.Has("History", "LDIFs"));

    // Browse takes the chosen file into the combo; cancelled, nothing changes.
    m_services.m_dialogs.SetNextPath("/data/chosen.ldif");
    QTest::mouseClick(pPage->GetBrowseButton(), Qt::LeftButton);
    EXPECT_EQ(m_services.m_dialogs.LastTitle(), "Open LdifFile");
    EXPECT_EQ(m_services.m_dialogs.LastFilter(), kLdifFileFilter);
    EXPECT_EQ(pPage->GetFileCombo()->currentText(), QStringLiteral("/data/chosen.ldif"));
    EXPECT_EQ(Items(pPage->GetFileCombo()), QStringList{QStringLiteral("/data/chosen.ldif")});
    m_services.m_dialogs.SetNextPath("");
    pPage->OnBrowse();
    EXPECT_EQ(pPage->GetFileCombo()->count(), 1);

    // The base is checked as on the LDAP page, before anything is stored.
    SetText(pPage->GetFileCombo(), QStringLiteral("/data/dir.ldif"));
    SetText(pPage->GetSearchBaseCombo(), QStringLiteral("not a DN"));
    pPage->OnOK();
    EXPECT_EQ(m_services.m_boxes.LastText(), "Error - Invalid Search Base.");
    EXPECT_TRUE(HasFocus(pSheet.get(), pPage->GetSearchBaseCombo()));
    EXPECT_FALSE(m_services.m_profile.Has("History", "LDIFs"));

    SetText(pPage->GetSearchBaseCombo(), QStringLiteral("o=Org"));
    pPage->OnOK();
    EXPECT_EQ(m_lastKind, CLoginSheet::kLdifSource);
    EXPECT_EQ(m_log.lastParams.m_strLdifFile, "/data/dir.ldif");
    EXPECT_EQ(m_log.lastParams.m_strSearchBase, "o=Org");
    EXPECT_EQ(m_log.lastParams.m_strFilter, "objectclass=*");
    EXPECT_EQ(pSheet->result(), 1);
    delete pSheet->GetOpenedSource();
}

TEST_F(LoginSheetTest, AFailedOpenKeepsTheSheetAndItsTextsAndOKRetries) {
    m_bOpenSucceeds = false;
    auto pSheet = NewSheet();
    CLdapLoginPage* pPage = pSheet->GetLdapPage();
    FillLdapPage(pPage, QStringLiteral("nowhere.invalid"), QStringLiteral("1389"), QStringLiteral("cn=admin"),
                 QStringLiteral("pw"), QStringLiteral("dc=x"));
    pPage->OnOK();
    EXPECT_EQ(m_log.nOpen, 1);
    EXPECT_EQ(m_log.nDestroyed, 1); // the new source went again
    EXPECT_TRUE(pSheet->isVisible());
    EXPECT_EQ(pSheet->GetOpenedSource(), nullptr);
    // Typed texts still in place, and added once more to the lists.
    EXPECT_EQ(pPage->GetServerCombo()->currentText(), QStringLiteral("nowhere.invalid"));
    EXPECT_EQ(pPage->GetPasswordEdit()->text(), QStringLiteral("pw"));
    EXPECT_TRUE(Items(pPage->GetServerCombo()).contains(QStringLiteral("nowhere.invalid")));
    EXPECT_TRUE(Items(pPage->GetBindDNCombo()).contains(QStringLiteral("cn=admin")));
    // Remembered although the attempt failed.
    EXPECT_EQ(m_services.m_profile.GetProfileString("History", "Servers", "").Left(15), "nowhere.invalid");
    EXPECT_EQ(m_services.m_profile.GetProfileString("History", "PortNumbers", ""), "1389;389");

    m_bOpenSucceeds = true;
    pPage->OnOK();
    EXPECT_EQ(m_log.nOpen, 2);
    EXPECT_EQ(m_log.lastParams.m_strServer, "nowhere.invalid");
    EXPECT_EQ(m_log.lastParams.m_nPort, 1389);
    EXPECT_EQ(m_log.lastParams.m_strBindDN, "cn=admin");
    EXPECT_EQ(m_log.lastParams.m_strPassword, "pw");
    EXPECT_EQ(m_log.lastParams.m_strSearchBase, "dc=x");
    EXPECT_EQ(m_log.lastParams.m_strFilter, "(objectclass=*)");
    ASSERT_NE(pSheet->GetOpenedSource(), nullptr);
    EXPECT_EQ(pSheet->result(), 1);
    EXPECT_FALSE(pSheet->isVisible());
    // The server list holds the server once: moved, not copied.
    EXPECT_EQ(m_services.m_profile.GetProfileString("History", "Servers", ""), "nowhere.invalid");
    delete pSheet->GetOpenedSource();
}

TEST_F(LoginSheetTest, EnterRunsOKOncePerKeyPressAndAltLReachesTheFieldOfThePageShown) {
    m_bOpenSucceeds = false; // the sheet stays open, so each OK is counted
    auto pSheet = NewSheet();
    CLdapLoginPage* pPage = pSheet->GetLdapPage();
    SetText(pPage->GetServerCombo(), QStringLiteral("ldap.example.org"));
    QWidget* pField = pPage->GetServerCombo()->lineEdit();

    QTest::keyPress(pField, Qt::Key_Return);
    EXPECT_EQ(m_log.nOpen, 1);
    QTest::keyRelease(pField, Qt::Key_Return);
    EXPECT_EQ(m_log.nOpen, 1);
    // A held key's repeats do not start more attempts.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
    QApplication::sendEvent(pField, &repeat);
    EXPECT_EQ(m_log.nOpen, 1);
    // Enter on the keypad, in the password field, works the same.
    QTest::keyClick(pPage->GetPasswordEdit(), Qt::Key_Enter);
    EXPECT_EQ(m_log.nOpen, 2);
    // On a button too: one OK, not the button's own click as well.
    QTest::keyClick(pPage->GetCancelButton(), Qt::Key_Return);
    EXPECT_EQ(m_log.nOpen, 3);
    EXPECT_TRUE(pSheet->isVisible());

    // Alt+L reaches the field of the page shown.
    QApplication::setActiveWindow(pSheet.get());
    const struct {
        int nPage;
        QComboBox* pCombo;
    } cases[] = {{1, pSheet->GetLdifPage()->GetFileCombo()}, {0, pSheet->GetLdapPage()->GetServerCombo()}};
    for (const auto& c : cases) {
        pSheet->SetPage(c.nPage);
        PumpEvents();
        pSheet->GetTabs()->currentWidget()->findChild<QPushButton*>()->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::AltModifier);
        EXPECT_TRUE(HasFocus(pSheet.get(), c.pCombo)) << "page " << c.nPage;
    }
}

// What the user types first lands in the first empty field of the shown
// page, and Tab reads the page: its fields, then OK, Cancel, Help.
TEST_F(LoginSheetTest, TypingStartsInTheFirstEmptyFieldAndTabReadsThePage) {
    auto pSheet = NewSheet();
    QApplication::setActiveWindow(pSheet.get());
    CLdapLoginPage* pLdap = pSheet->GetLdapPage();
    CLdifLoginPage* pLdif = pSheet->GetLdifPage();
    const struct {
        int nPage;
        QStringList texts; // LDAP: server, port, bind DN, password, base; LDIF: file, base
        QWidget* pFocus;
    } cases[] = {
        {0, {"", "389", "", "", ""}, pLdap->GetServerCombo()},
        {0, {"ldap.example.org", "389", "", "", ""}, pLdap->GetBindDNCombo()},
        {0, {"ldap.example.org", "389", "cn=admin", "", ""}, pLdap->GetPasswordEdit()},
        {0, {"ldap.example.org", "389", "cn=admin", "secret", "dc=x"}, pLdap->GetOKButton()},
        {1, {"", ""}, pLdif->GetFileCombo()},
        {1, {"/tmp/a.ldif", ""}, pLdif->GetSearchBaseCombo()},
        {1, {"/tmp/a.ldif", "dc=x"}, pLdif->GetOKButton()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts.join(',').toStdString());
        pSheet->hide();
        pSheet->SetPage(c.nPage);
        if (c.nPage == 0) {
            FillLdapPage(pLdap, c.texts[0], c.texts[1], c.texts[2], c.texts[3], c.texts[4]);
        } else {
            pLdif->GetFileCombo()->setEditText(c.texts[0]);
            pLdif->GetSearchBaseCombo()->setEditText(c.texts[1]);
        }
        pSheet->show();
        PumpEvents();
        EXPECT_TRUE(HasFocus(pSheet.get(), c.pFocus));
        EXPECT_FALSE(HasFocus(pSheet.get(), pSheet->GetTabs()->tabBar()));
    }

    // Tab from the first field round the page and back.
    const struct {
        int nPage;
        QList<QWidget*> chain;
    } chains[] = {
        {0,
         {pLdap->GetServerCombo(), pLdap->GetPortCombo(), pLdap->GetBindDNCombo(), pLdap->GetPasswordEdit(),
          pLdap->GetSearchBaseCombo(), pLdap->GetFetchButton(), pLdap->GetSecurityCombo(),
          pLdap->GetAuthCombo(), pLdap->GetClientCertEdit(),
          pLdap->findChild<QPushButton*>("Client Certificate"), pLdap->GetClientKeyEdit(),
          pLdap->findChild<QPushButton*>("Client Key"), pLdap->GetOKButton(), pLdap->GetCancelButton(),
          pLdap->GetHelpButton(), pSheet->GetTabs()->tabBar(), pLdap->GetServerCombo()}},
        {1,
         {pLdif->GetFileCombo(), pLdif->GetBrowseButton(), pLdif->GetSearchBaseCombo(),
          pLdif->GetSchemaCombo(), pLdif->GetSchemaCombo()->parentWidget()->findChild<QPushButton*>(),
          pLdif->GetOKButton(), pLdif->GetCancelButton(), pLdif->GetHelpButton(), pSheet->GetTabs()->tabBar(),
          pLdif->GetFileCombo()}},
    };
    for (const auto& c : chains) {
        SCOPED_TRACE(c.nPage);
        pSheet->SetPage(c.nPage);
        PumpEvents();
        c.chain.first()->setFocus(Qt::TabFocusReason);
        for (qsizetype i = 1; i < c.chain.size(); ++i) {
            ASSERT_NE(pSheet->focusWidget(), nullptr);
            QTest::keyClick(pSheet->focusWidget(), Qt::Key_Tab);
            EXPECT_TRUE(HasFocus(pSheet.get(), c.chain.at(i)))
                << "step " << i << ": " << pSheet->focusWidget()->metaObject()->className() << " "
                << pSheet->focusWidget()->parentWidget()->metaObject()->className() << " "
                << pSheet->focusWidget()->x();
        }
    }
}

TEST(FileFilter, TheDialogFilterBecomesQtsFilter) {
    EXPECT_EQ(ConvertFileFilter("Text File (*.txt) | *.txt|All Files (*.*) | *.*||"),
              QStringLiteral("Text File (*.txt);;All Files (*.*)"));
    EXPECT_EQ(ConvertFileFilter("LDIF|*.ldif||"), QStringLiteral("LDIF (*.ldif)"));
    EXPECT_EQ(ConvertFileFilter(kLdifFileFilter).split(QStringLiteral(";;")),
              (QStringList{"LDIF Files (*.ldif)", "Text File (*.txt)", "All Files (*.*)"}));
}

// History through the program's real profile file, across two sheets.
class LoginHistoryTest : public LoginSheetTest {
protected:
    void SetUp() override {
        m_pProfile = std::make_unique<CQtProfile>(m_dir.filePath(QStringLiteral("Tarvo.conf")));
        CServices::SetProfile(m_pProfile.get());
    }
    void TearDown() override { CServices::SetProfile(&m_services.m_profile); }

    QTemporaryDir m_dir;
    std::unique_ptr<CQtProfile> m_pProfile;
};

TEST_F(LoginHistoryTest, ValuesOfOneLoginAreOfferedAtTheNextOnBothPagesAndThePasswordIsNeverStored) {
    {
        auto pSheet = NewSheet(1);
        SetText(pSheet->GetLdifPage()->GetFileCombo(), QStringLiteral("/data/a.ldif"));
        SetText(pSheet->GetLdifPage()->GetSearchBaseCombo(), QStringLiteral("o=Ldif Only"));
        pSheet->GetLdifPage()->OnOK();
        delete pSheet->GetOpenedSource();
    }
    {
        // A base typed on the LDIF page leads the LDAP page's list next time.
        auto pSheet = NewSheet();
        CLdapLoginPage* pPage = pSheet->GetLdapPage();
        EXPECT_EQ(Items(pPage->GetSearchBaseCombo()), QStringList{QStringLiteral("o=Ldif Only")});
        pSheet->SetPage(1);
        PumpEvents();
        EXPECT_EQ(pSheet->GetLdifPage()->GetFileCombo()->currentText(), QStringLiteral("/data/a.ldif"));
        pSheet->SetPage(0);
        FillLdapPage(pPage, QStringLiteral("ldap.first.example"), QStringLiteral("10389"),
                     QStringLiteral("cn=zed,dc=example,dc=com"), QStringLiteral("Secret-Pass-42"),
                     QStringLiteral("dc=example,dc=com"));
        pPage->OnOK();
        ASSERT_NE(pSheet->GetOpenedSource(), nullptr);
        delete pSheet->GetOpenedSource();
    }
    {
        auto pSheet = NewSheet();
        CLdapLoginPage* pPage = pSheet->GetLdapPage();
        EXPECT_EQ(pPage->GetServerCombo()->currentText(), QStringLiteral("ldap.first.example"));
        EXPECT_EQ(pPage->GetServerCombo()->count(), 1);
        EXPECT_EQ(Items(pPage->GetPortCombo()),
                  (QStringList{QStringLiteral("10389"), QStringLiteral("389")}));
        EXPECT_EQ(pPage->GetBindDNCombo()->currentText(), QStringLiteral("cn=zed,dc=example,dc=com"));
        EXPECT_EQ(pPage->GetPasswordEdit()->text(), QString());
        // The base typed on the LDAP page is offered on the LDIF page too.
        pSheet->SetPage(1);
        PumpEvents();
        EXPECT_EQ(pSheet->GetLdifPage()->GetSearchBaseCombo()->currentText(),
                  QStringLiteral("dc=example,dc=com"));

        // A second bind DN: the sorted list shows the alphabetically first.
        pSheet->SetPage(0);
        FillLdapPage(pPage, {}, {}, QStringLiteral("cn=adam,dc=example,dc=com"), {},
                     QStringLiteral("ou=People,dc=example,dc=com"));
        pPage->OnOK();
        delete pSheet->GetOpenedSource();
    }
    {
        auto pSheet = NewSheet();
        CLdapLoginPage* pPage = pSheet->GetLdapPage();
        EXPECT_EQ(Items(pPage->GetBindDNCombo()), (QStringList{QStringLiteral("cn=adam,dc=example,dc=com"),
                                                               QStringLiteral("cn=zed,dc=example,dc=com")}));
        EXPECT_EQ(pPage->GetBindDNCombo()->currentText(), QStringLiteral("cn=adam,dc=example,dc=com"));
    }
    QFile file(m_dir.filePath(QStringLiteral("Tarvo.conf")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("ldap.first.example"));
    EXPECT_FALSE(text.contains("Secret-Pass-42"));
}

std::vector<std::string> Entries(const CHistoryList& list) {
    std::vector<std::string> out;
    for (const CString& s : list.GetEntries())
        out.push_back(s.Str());
    return out;
}

using Strings = std::vector<std::string>;

TEST(CHistoryList, AddPutsTextInFrontMovesAnEqualEntryAndKeepsTheTenMostRecent) {
    CHistoryList list(10);
    list.Add("a");
    list.Add("b");
    list.Add("A"); // letter case matters: a different entry
    list.Add("a");
    EXPECT_EQ(Entries(list), (Strings{"a", "A", "b"}));
    EXPECT_EQ(list.ToString(), "a;A;b");
    // Eleven different values: the ten most recent stay.
    for (int i = 0; i < 11; ++i)
        list.Add(CString(std::to_string(i)));
    ASSERT_EQ(list.GetEntries().GetSize(), 10);
    EXPECT_EQ(list.GetEntries()[0], "10");
    EXPECT_EQ(list.GetEntries()[9], "1");
}

TEST(CHistoryList, AnEmptyEntryTakesAPlaceButIsNeverStoredAndLoadingDropsEmptyPieces) {
    CHistoryList list(10);
    for (int i = 0; i < 10; ++i)
        list.Add(CString("dn" + std::to_string(i)));
    list.Add("");
    EXPECT_EQ(list.GetEntries().GetSize(), 10);
    EXPECT_EQ(list.GetEntries()[0], "");
    // The oldest entry went, and the stored value holds nine.
    EXPECT_EQ(list.ToString(), "dn9;dn8;dn7;dn6;dn5;dn4;dn3;dn2;dn1");
    CHistoryList empty(10);
    empty.Add("");
    EXPECT_EQ(empty.ToString(), "");

    // Loading drops empty pieces, keeps duplicates and trims to ten.
    list.SetFromString(";alpha;;beta;");
    EXPECT_EQ(Entries(list), (Strings{"alpha", "beta"}));
    list.SetFromString("x;x");
    EXPECT_EQ(Entries(list), (Strings{"x", "x"}));
    list.SetFromString("1;2;3;4;5;6;7;8;9;10;11;12");
    EXPECT_EQ(list.GetEntries().GetSize(), 10);
    EXPECT_EQ(list.GetEntries()[9], "10");
    list.SetFromString("");
    EXPECT_TRUE(list.GetEntries().IsEmpty());
}

TEST(CHistoryList, FirstRunDefaultsAndATypedValueWithSemicolonsComesBackSplit) {
    CTestServices services;
    CHistoryList servers(10), ports(10), bindDNs(10), bases(10), files(10);
    servers.Load("Servers", kDefaultServers);
    ports.Load("PortNumbers", "389");
    bindDNs.Load("BindDNs", "");
    bases.Load("SearchBases", "");
    files.Load("LDIFs", "");
    EXPECT_TRUE(servers.GetEntries().IsEmpty()); // no outside host is ever preset
    EXPECT_EQ(Entries(ports), (Strings{"389"}));
    EXPECT_TRUE(bindDNs.GetEntries().IsEmpty());
    EXPECT_TRUE(bases.GetEntries().IsEmpty());
    EXPECT_TRUE(files.GetEntries().IsEmpty());
    // Loading writes nothing.
    EXPECT_FALSE(services.m_profile.Has("History", "Servers"));

    CHistoryList list(10);
    list.Add("one;two");
    list.Store("Servers");
    CHistoryList again(10);
    again.Load("Servers", "");
    EXPECT_EQ(Entries(again), (Strings{"one", "two"}));
}

// The real profile file: DNs are full of commas, which an INI file would
// otherwise turn into lists, and the keys sit under "History".
TEST(CQtProfile, DistinguishedNamesSurviveTheProfileFileAndHandWrittenCommasReadAsOneString) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tarvo.conf"));
    {
        CQtProfile profile(path);
        CServices::SetProfile(&profile);
        CHistoryList bases(10);
        bases.Add("dc=example,dc=com");
        bases.Add("ou=People, dc=example,dc=com");
        bases.Store("SearchBases");
        profile.WriteProfileInt("UI", "EntryAsRDN", 0);
        CServices::SetProfile(nullptr);
    }
    {
        CQtProfile profile(path);
        CServices::SetProfile(&profile);
        CHistoryList bases(10);
        bases.Load("SearchBases", "");
        EXPECT_EQ(Entries(bases), (Strings{"ou=People, dc=example,dc=com", "dc=example,dc=com"}));
        EXPECT_EQ(profile.GetProfileInt("UI", "EntryAsRDN", 1), 0);
        EXPECT_EQ(profile.GetProfileInt("UI", "Missing", 7), 7);
        EXPECT_EQ(profile.GetProfileString("History", "Missing", "dflt"), "dflt");
        CServices::SetProfile(nullptr);
    }
    // It names servers, accounts and trusted keys: its owner's only.
    EXPECT_EQ(QFileInfo(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
              QFile::ReadOwner | QFile::WriteOwner);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[History]")) << text.constData();
    EXPECT_TRUE(text.contains("SearchBases=")) << text.constData();
    file.close();

    // A hand-written value with unquoted commas reads as one string.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[History]\nSearchBases=dc=example,dc=com\nServers=127.0.0.1\n");
    file.close();
    // Written by hand open to all: the program makes it private again.
    ASSERT_TRUE(
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    CQtProfile profile(path);
    EXPECT_EQ(profile.GetProfileString("History", "SearchBases", ""), "dc=example,dc=com");
    EXPECT_EQ(profile.GetProfileString("History", "Servers", ""), "127.0.0.1");
    EXPECT_FALSE(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther));
    // The program's own profile is Brennick/Tarvo.
    EXPECT_EQ(CQtProfile().FileName(),
              QDir(TestProfileFolder()).filePath(QStringLiteral("Brennick/Tarvo.conf")));
}

} // namespace
