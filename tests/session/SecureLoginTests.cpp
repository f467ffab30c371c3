// Secure connections from the login page on real widgets against a real
// slapd with TLS: the security choice, the certificate dialog and its three
// answers, pinned keys, the plain-password question.

#include "QtTestEnvironment.h"
#include "SlapdFixture.h"

#include "platform/qt/PlainText.h"
#include "session/LoginPrompts.h"
#include "source/LdapSource.h"
#include "ui/CertificateDlg.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

// Answers every modal window that comes up while it lives, and counts them.
class CModalAnswerer {
public:
    explicit CModalAnswerer(std::function<void(QWidget*)> fn) : m_fn(std::move(fn)) {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            // The "Connecting to ..." window is not a question.
            if (QWidget* pModal = QApplication::activeModalWidget();
                pModal && pModal != m_pLast && !qobject_cast<QProgressDialog*>(pModal)) {
                m_pLast = pModal;
                ++m_nCount;
                m_fn(pModal);
            }
        });
        m_timer.start(5);
    }
    int Count() const { return m_nCount; }

private:
    std::function<void(QWidget*)> m_fn;
    QTimer m_timer;
    QWidget* m_pLast = nullptr;
    int m_nCount = 0;
};

// A SHA-256 fingerprint as the dialog shows it: 32 bytes as hex pairs with
// colons, on two lines broken after a colon.
const QRegularExpression
    kFingerprintFormat(QStringLiteral("^([0-9A-F]{2}:){15}[0-9A-F]{2}:\n([0-9A-F]{2}:){15}[0-9A-F]{2}$"));

QSslCertificate CertificateFile(const std::string& path) {
    const auto certificates = QSslCertificate::fromPath(QString::fromStdString(path));
    return certificates.isEmpty() ? QSslCertificate() : certificates.first();
}

class SecureLogin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_pServer = new CSlapdServer;
        s_pServer->EnableTls();
        ASSERT_TRUE(s_pServer->Start()) << s_pServer->LastError();
    }
    static void TearDownTestSuite() {
        delete s_pServer;
        s_pServer = nullptr;
    }

    // A sheet on the LDAP page filled in for the fixture's server.
    std::unique_ptr<CLoginSheet> NewSheet(const QString& server, ESecurity eSecurity) {
        auto pSheet = ShowLoginSheet();
        Fill(pSheet->GetLdapPage(), server, eSecurity);
        return pSheet;
    }
    static void Fill(CLdapLoginPage* pPage, const QString& server, ESecurity eSecurity) {
        FillLdapPage(pPage, server, QString::number(s_pServer->Port()),
                     QString::fromStdString(s_pServer->AdminDN()),
                     QString::fromStdString(s_pServer->Password()));
        pPage->SetSecurity(eSecurity);
    }
    // OK on the page; TRUE when a source was opened (and is closed again).
    static bool PressOK(CLoginSheet* pSheet, bool* pProtected = nullptr) {
        pSheet->GetLdapPage()->GetOKButton()->click();
        std::unique_ptr<CDataSource> pSource(pSheet->GetOpenedSource());
        if (auto* pLdap = dynamic_cast<CLdapSource*>(pSource.get()); pLdap && pProtected)
            *pProtected = pLdap->GetConnectionInfo().m_tls.m_bProtected;
        return pSource != nullptr;
    }
    CString StoredPin() const { return CLoginPrompts::StoredKeyPin("127.0.0.1", s_pServer->Port()); }
    // The user trusts the server's key (as "Always trust" stores it).
    static void TrustTheServersKey() {
        CLoginPrompts::StoreKeyPin("127.0.0.1", s_pServer->Port(),
                                   CSlapdServer::KeyPin(ETlsCert::Trusted).c_str());
    }
    // The program started with its login sheet filled in for 127.0.0.1 and OK pressed.
    static void LogIn(CTarvoApp& app, ESecurity eSecurity) {
        DriveNextLoginSheet([eSecurity](CLoginSheet* pSheet) {
            ASSERT_NE(pSheet, nullptr);
            Fill(pSheet->GetLdapPage(), QStringLiteral("127.0.0.1"), eSecurity);
            pSheet->GetLdapPage()->GetOKButton()->click();
        });
        ASSERT_TRUE(app.InitInstance({}));
    }

    static CSlapdServer* s_pServer;
    CTestServices m_services;
};

CSlapdServer* SecureLogin::s_pServer = nullptr;

TEST_F(SecureLogin, UnknownIssuerAsksAndEachAnswerDoesWhatItSays) {
    struct {
        const char* button;
        bool bOpened;
        bool bPinStored;
    } const cases[] = {{"Cancel", false, false}, {"Trust once", true, false}, {"Always trust", true, true}};
    for (const auto& c : cases) {
        auto pSheet = NewSheet(QStringLiteral("127.0.0.1"), ESecurity::StartTLS);
        QString reason, subject, fingerprint, heading;
        bool bCancelIsDefault = false;
        bool bFingerprintWhole = false;
        CModalAnswerer answerer([&](QWidget* pModal) {
            auto* pDialog = qobject_cast<CCertificateDlg*>(pModal);
            ASSERT_NE(pDialog, nullptr);
            reason = pDialog->ReasonLabel()->text();
            subject = pDialog->FieldLabel(QStringLiteral("Subject"))->text();
            QLabel* pFingerprint = pDialog->FieldLabel(QStringLiteral("SHA-256 fingerprint"));
            fingerprint = pFingerprint->text();
            heading = pDialog->HeadingLabel()->text();
            // Shown whole on the first opening, and selectable.
            bFingerprintWhole = pFingerprint->width() >= pFingerprint->sizeHint().width() &&
                                pFingerprint->height() >= pFingerprint->sizeHint().height() &&
                                (pFingerprint->textInteractionFlags() & Qt::TextSelectableByMouse);
            bCancelIsDefault = pDialog->CancelButton()->isDefault();
            // docs/certificate-dialog.png is made this way.
            if (const char* pszFolder = std::getenv("TARVO_SCREENSHOT_DIR"))
                pDialog->grab().save(QString::fromLocal8Bit(pszFolder) +
                                     QStringLiteral("/certificate-dialog.png"));
            for (QPushButton* pButton : pDialog->findChildren<QPushButton*>()) {
                if (pButton->text() == QLatin1String(c.button))
                    pButton->click();
            }
        });
        EXPECT_EQ(PressOK(pSheet.get()), c.bOpened) << c.button;
        EXPECT_EQ(answerer.Count(), 1);
        EXPECT_EQ(reason, QStringLiteral("Reason: unknown issuer"));
        EXPECT_EQ(subject, QStringLiteral("localhost"));
        EXPECT_TRUE(kFingerprintFormat.match(fingerprint).hasMatch()) << fingerprint.toStdString();
        EXPECT_TRUE(bFingerprintWhole);
        EXPECT_EQ(
            heading,
            QStringLiteral("The certificate of 127.0.0.1:%1 could not be verified.").arg(s_pServer->Port()));
        EXPECT_TRUE(bCancelIsDefault);
        EXPECT_EQ(pSheet->isVisible(), !c.bOpened);
        EXPECT_EQ(StoredPin().Str(), c.bPinStored ? CSlapdServer::KeyPin(ETlsCert::Trusted) : "") << c.button;
        // A decision is not a failure: no error box.
        EXPECT_EQ(m_services.m_boxes.Count(), 0);
    }
    // Pinned: the next connection, over LDAPS this time, asks nothing.
    auto pSheet = NewSheet(QStringLiteral("127.0.0.1"), ESecurity::LDAPS);
    pSheet->GetLdapPage()->GetPortCombo()->setEditText(QString::number(s_pServer->TlsPort()));
    CLoginPrompts::StoreKeyPin("127.0.0.1", s_pServer->TlsPort(), StoredPin());
    CModalAnswerer refuser([](QWidget* pModal) { pModal->close(); });
    EXPECT_TRUE(PressOK(pSheet.get()));
    EXPECT_EQ(refuser.Count(), 0);
}

TEST_F(SecureLogin, AChangedKeyIsAWarningOfItsOwnWithBothKeysAndDoesNotConnect) {
    const std::string oldPin = CSlapdServer::KeyPin(ETlsCert::OtherCA);
    CLoginPrompts::StoreKeyPin("127.0.0.1", s_pServer->Port(), oldPin.c_str());
    auto pSheet = NewSheet(QStringLiteral("127.0.0.1"), ESecurity::StartTLS);
    QString heading, reason, trusted, offered;
    QStringList defaults, libraryLines;
    CModalAnswerer answerer([&](QWidget* pModal) {
        auto* pDialog = qobject_cast<CCertificateDlg*>(pModal);
        ASSERT_NE(pDialog, nullptr);
        heading = pDialog->HeadingLabel()->text();
        reason = pDialog->ReasonLabel()->text();
        trusted = pDialog->FieldLabel(QStringLiteral("Trusted key"))->text();
        offered = pDialog->FieldLabel(QStringLiteral("Offered key"))->text();
        for (QPushButton* pButton : pDialog->findChildren<QPushButton*>())
            if (pButton->isDefault() || pButton->autoDefault())
                defaults << pButton->text();
        for (QLabel* pLabel : pDialog->findChildren<QLabel*>())
            if (pLabel->text().contains(QStringLiteral("unknown error code")))
                libraryLines << pLabel->text();
        pDialog->CancelButton()->click();
    });
    EXPECT_FALSE(PressOK(pSheet.get()));
    EXPECT_EQ(heading, QStringLiteral("The server's key has changed since you trusted it"));
    EXPECT_EQ(reason, QStringLiteral("Reason: key changed, unknown issuer"));
    // Both as SHA-256 fingerprints in the certificate's format, to be
    // compared by eye: the old pin's bytes and the offered key's.
    EXPECT_TRUE(kFingerprintFormat.match(trusted).hasMatch()) << trusted.toStdString();
    EXPECT_TRUE(kFingerprintFormat.match(offered).hasMatch()) << offered.toStdString();
    EXPECT_EQ(QString(trusted).remove(QLatin1Char('\n')), CCertificateDlg::PinFingerprint(oldPin.c_str()));
    EXPECT_EQ(QString(offered).remove(QLatin1Char('\n')),
              CCertificateDlg::PinFingerprint(CSlapdServer::KeyPin(ETlsCert::Trusted).c_str()));
    EXPECT_NE(trusted, offered);
    EXPECT_EQ(defaults, QStringList{QStringLiteral("Cancel")});
    EXPECT_TRUE(libraryLines.isEmpty()) << libraryLines.join('|').toStdString();
    EXPECT_EQ(StoredPin().Str(), oldPin);
    // The pin's own text is the base64 of the same 32 bytes.
    EXPECT_EQ(
        CCertificateDlg::PinFingerprint("sha256:AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="),
        QStringLiteral("00:01:02:03:04:05:06:07:08:09:0A:0B:0C:0D:0E:0F:10:11:12:13:14:15:16:17:18:19:1A:"
                       "1B:1C:1D:1E:1F"));
}

TEST_F(SecureLogin, ReasonsAndPinsReadFromTheCertificates) {
    const std::string ca = CSlapdServer::CACertFile();
    const std::string folder = ca.substr(0, ca.rfind('/') + 1);
    struct {
        const char* file;
        const char* host;
        const char* reasons;
    } const cases[] = {
        {"server.pem", "127.0.0.1", "unknown issuer"},
        {"server.pem", "localhost", "unknown issuer"},
        {"mismatch.pem", "127.0.0.1", "unknown issuer, name mismatch"},
        {"expired.pem", "localhost", "unknown issuer, expired"},
        {"ca.pem", "127.0.0.1", "self-signed, name mismatch"},
    };
    for (const auto& c : cases) {
        const QSslCertificate certificate = CertificateFile(folder + c.file);
        ASSERT_FALSE(certificate.isNull()) << c.file;
        EXPECT_EQ(CCertificateDlg::Reasons(certificate, c.host, false).join(", ").toStdString(), c.reasons)
            << c.file;
    }
    // The pin the dialog computes is the one the client library checks.
    EXPECT_EQ(CCertificateDlg::KeyPin(CertificateFile(folder + "server.pem")).Str(),
              CSlapdServer::KeyPin(ETlsCert::Trusted));
    EXPECT_EQ(CCertificateDlg::KeyPin(CertificateFile(folder + "other.pem")).Str(),
              CSlapdServer::KeyPin(ETlsCert::OtherCA));
}

TEST_F(SecureLogin, SecurityChoiceFollowsPortUrlAndProfile) {
    // A new profile starts at StartTLS if offered; the port follows LDAPS and back.
    auto pSheet = ShowLoginSheet();
    CLdapLoginPage* pPage = pSheet->GetLdapPage();
    QComboBox* pSecurity = pPage->GetSecurityCombo();
    QComboBox* pPort = pPage->GetPortCombo();
    EXPECT_EQ(pSecurity->currentText(), QStringLiteral("StartTLS if offered"));
    pSecurity->setCurrentIndex(static_cast<int>(ESecurity::LDAPS));
    EXPECT_EQ(pPort->currentText(), QStringLiteral("636"));
    pSecurity->setCurrentIndex(static_cast<int>(ESecurity::None));
    EXPECT_EQ(pPort->currentText(), QStringLiteral("389"));
    pPort->setEditText(QStringLiteral("1389"));
    pSecurity->setCurrentIndex(static_cast<int>(ESecurity::LDAPS));
    EXPECT_EQ(pPort->currentText(), QStringLiteral("1389"));
    // A URL typed as the server sets the choice.
    pPage->GetServerCombo()->setEditText(QStringLiteral("ldap://dir.example"));
    EXPECT_EQ(pSecurity->currentText(), QStringLiteral("StartTLS if offered"));
    pPage->GetServerCombo()->setEditText(QStringLiteral("ldaps://dir.example"));
    EXPECT_EQ(pSecurity->currentText(), QStringLiteral("LDAPS"));

    // StartTLS if offered against a server that offers it is protected;
    // each choice is remembered with the server.
    TrustTheServersKey();
    for (ESecurity eSecurity : {ESecurity::StartTLSIfOffered, ESecurity::None}) {
        pSheet = NewSheet(QStringLiteral("127.0.0.1"), eSecurity);
        bool bProtected = false;
        EXPECT_TRUE(PressOK(pSheet.get(), &bProtected));
        EXPECT_EQ(bProtected, eSecurity != ESecurity::None);
    }
    EXPECT_EQ(m_services.m_profile.GetProfileString("History", "Security", "").Str(), "127.0.0.1=None");
    pSheet = ShowLoginSheet();
    EXPECT_EQ(pSheet->GetLdapPage()->GetServerCombo()->currentText(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(pSheet->GetLdapPage()->GetSecurityCombo()->currentText(), QStringLiteral("None"));

    // The client certificate is chosen with "..." and remembered as a path.
    const QString certificate = QString::fromStdString(CSlapdServer::ClientCertFile());
    m_services.m_dialogs.SetNextPath(CSlapdServer::ClientCertFile().c_str());
    pSheet->GetLdapPage()->findChild<QPushButton*>(QStringLiteral("Client Certificate"))->click();
    EXPECT_EQ(pSheet->GetLdapPage()->GetClientCertEdit()->text(), certificate);
    Fill(pSheet->GetLdapPage(), QStringLiteral("127.0.0.1"), ESecurity::None);
    EXPECT_TRUE(PressOK(pSheet.get()));
    pSheet = NewSheet(QStringLiteral("127.0.0.1"), ESecurity::None);
    EXPECT_EQ(pSheet->GetLdapPage()->GetClientCertEdit()->text(), certificate);
}

TEST_F(SecureLogin, StatusBarLockTellsWhatProtectsTheSession) {
    TrustTheServersKey();
    CTarvoApp app(false);
    ASSERT_NO_FATAL_FAILURE(LogIn(app, ESecurity::StartTLS));
    QLabel* pLock = app.GetMainFrame()->GetSecurityLabel();
    EXPECT_FALSE(pLock->isHidden());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^TLS version: TLS1\\.[23]\nCipher: \\S+\nCertificate: "
                                                  "localhost\nIdentity: dn:cn=admin,dc=example,dc=com$"))
                    .match(ToolTipPlainText(pLock->toolTip()))
                    .hasMatch())
        << pLock->toolTip().toStdString();
    app.ExitInstance();
}

// The real profile file, watched at every write: a password that reaches
// it at any moment, in the clear or in base64, is caught at that write.
class CWatchedProfile : public IProfileService {
public:
    CWatchedProfile(const QString& path, const QByteArray& secret)
        : m_file(path), m_path(path), m_secret(secret) {}
    CString GetProfileString(const CString& section, const CString& key,
                             const CString& defaultValue) override {
        return m_file.GetProfileString(section, key, defaultValue);
    }
    BOOL WriteProfileString(const CString& section, const CString& key, const CString& value) override {
        const BOOL bWritten = m_file.WriteProfileString(section, key, value);
        Check(section.Str() + "/" + key.Str());
        return bWritten;
    }
    int GetProfileInt(const CString& section, const CString& key, int nDefault) override {
        return m_file.GetProfileInt(section, key, nDefault);
    }
    BOOL WriteProfileInt(const CString& section, const CString& key, int nValue) override {
        const BOOL bWritten = m_file.WriteProfileInt(section, key, nValue);
        Check(section.Str() + "/" + key.Str());
        return bWritten;
    }
    // Whether the file holds the secret now; each write is checked the same way.
    bool FileHoldsSecret() const {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = file.readAll();
        return text.contains(m_secret) || text.contains(m_secret.toBase64(QByteArray::OmitTrailingEquals));
    }
    int Writes() const { return m_nWrites; }
    std::vector<std::string> m_leaks; // the keys whose write left the secret in the file

private:
    void Check(const std::string& key) {
        ++m_nWrites;
        if (FileHoldsSecret())
            m_leaks.push_back(key);
    }
    CQtProfile m_file;
    QString m_path;
    QByteArray m_secret;
    int m_nWrites = 0;
};

TEST_F(SecureLogin, ThePasswordNeverReachesTheProfileNorIsTheFileOpenToOthers) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tarvo.conf"));
    const QByteArray password = QByteArray::fromStdString(s_pServer->Password());
    CWatchedProfile profile(path, password);
    CServices::SetProfile(&profile);
    {
        CTarvoApp app(false);
        ASSERT_NO_FATAL_FAILURE(LogIn(app, ESecurity::None));
        // Right after the first login: the history was written, the password not.
        ASSERT_NE(app.GetDocument()->GetDataSource(), nullptr);
        EXPECT_GT(profile.Writes(), 0);
        EXPECT_FALSE(profile.FileHoldsSecret());
        EXPECT_EQ(QFileInfo(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                  QFile::ReadOwner | QFile::WriteOwner);
        // After Close, and after the program's end.
        app.GetDocument()->OnCloseSession();
        EXPECT_EQ(app.GetDocument()->GetDataSource(), nullptr);
        EXPECT_FALSE(profile.FileHoldsSecret());
        app.ExitInstance();
    }
    EXPECT_FALSE(profile.FileHoldsSecret());
    EXPECT_TRUE(profile.m_leaks.empty()) << profile.m_leaks.front();
    EXPECT_EQ(QFileInfo(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
              QFile::ReadOwner | QFile::WriteOwner);
    CServices::SetProfile(&m_services.m_profile);
}

TEST_F(SecureLogin, PlainPasswordToAnotherHostIsAskedAboutFirst) {
    struct {
        QString server;
        bool bAsked;
        QMessageBox::StandardButton answer;
        bool bDontAsk;
    } const cases[] = {
        {QStringLiteral("127.0.0.1"), false, QMessageBox::No, false}, // loopback: never asked
        {QStringLiteral("directory.invalid"), true, QMessageBox::No, true},
        {QStringLiteral("directory.invalid"), true, QMessageBox::Yes, true},
        {QStringLiteral("directory.invalid"), false, QMessageBox::No, false}, // remembered
    };
    for (const auto& c : cases) {
        auto pSheet = NewSheet(c.server, ESecurity::None);
        QString text, checkBox;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        CModalAnswerer answerer([&](QWidget* pModal) {
            auto* pBox = qobject_cast<QMessageBox*>(pModal);
            ASSERT_NE(pBox, nullptr);
            text = pBox->text();
            checkBox = pBox->checkBox() ? pBox->checkBox()->text() : QString();
            defaultButton = pBox->standardButton(pBox->defaultButton());
            if (pBox->checkBox())
                pBox->checkBox()->setChecked(c.bDontAsk);
            pBox->button(c.answer)->click();
        });
        const bool bOpened = PressOK(pSheet.get());
        EXPECT_EQ(answerer.Count(), c.bAsked ? 1 : 0) << c.server.toStdString();
        if (c.bAsked) {
            EXPECT_EQ(text, QStringLiteral(
                                "The password for cn=admin,dc=example,dc=com will be sent unencrypted to "
                                "directory.invalid. Continue?"));
            EXPECT_EQ(checkBox, QStringLiteral("Don't ask again for this server"));
            EXPECT_EQ(defaultButton, QMessageBox::No);
        }
        // Only the loopback server exists; "No" ends the attempt without a box.
        EXPECT_EQ(bOpened, c.server == QLatin1String("127.0.0.1"));
        const bool bSent = !c.bAsked || c.answer == QMessageBox::Yes;
        EXPECT_EQ(m_services.m_boxes.Count(), bSent && !bOpened ? 1 : 0);
        m_services.m_boxes.Clear();
    }
}

} // namespace
