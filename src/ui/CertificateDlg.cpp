#include "ui/CertificateDlg.h"

#include "platform/qt/PlainText.h"
#include "platform/qt/QtServices.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QPushButton>
#include <QSslError>
#include <QSslKey>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QString Joined(const QStringList& parts) {
    return parts.join(QStringLiteral(", "));
}

QString NameOf(const QSslCertificate& certificate, bool bIssuer) {
    const QString name = bIssuer ? certificate.issuerDisplayName() : certificate.subjectDisplayName();
    return name.isEmpty() ? QStringLiteral("(none)") : name;
}

QString Fingerprint(const QSslCertificate& certificate) {
    const QByteArray digest = certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper();
    return QString::fromLatin1(digest);
}

bool NameMatches(const QString& pattern, const QString& host) {
    const QString p = pattern.toLower();
    const QString h = host.toLower();
    if (p == h)
        return true;
    // "*.example.org" stands for exactly one more label.
    if (p.startsWith(QStringLiteral("*.")) && h.count('.') == p.count('.'))
        return h.endsWith(p.mid(1));
    return false;
}

bool HostMatches(const QSslCertificate& certificate, const QString& host) {
    const auto names = certificate.subjectAlternativeNames();
    const QHostAddress address(host);
    if (!address.isNull()) {
        for (const QString& ip : names.values(QSsl::IpAddressEntry)) {
            if (QHostAddress(ip) == address)
                return true;
        }
        return false;
    }
    QStringList dns = names.values(QSsl::DnsEntry);
    // Only a certificate without names of its own falls back to its common name.
    if (names.isEmpty())
        dns = certificate.subjectInfo(QSslCertificate::CommonName);
    for (const QString& name : dns) {
        if (NameMatches(name, host))
            return true;
    }
    return false;
}

} // namespace

CString CCertificateDlg::KeyPin(const QSslCertificate& certificate) {
    const QByteArray key = certificate.publicKey().toDer();
    if (key.isEmpty())
        return "";
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64();
    return CString("sha256:") + CString(std::string(hash.constData(), static_cast<size_t>(hash.size())));
}

QStringList CCertificateDlg::Reasons(const QSslCertificate& certificate, const QString& host,
                                     bool bKeyChanged) {
    QStringList reasons;
    if (bKeyChanged)
        reasons << QStringLiteral("key changed");
    const bool bSelfSigned = certificate.isSelfSigned();
    // The issuer is judged against the system's store, the one the
    // connection is checked against as well.
    bool bUnknownIssuer = false;
    for (const QSslError& error : QSslCertificate::verify({certificate})) {
        switch (error.error()) {
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
        case QSslError::SelfSignedCertificateInChain:
            bUnknownIssuer = !bSelfSigned;
            break;
        default:
            break;
        }
    }
    if (bUnknownIssuer)
        reasons << QStringLiteral("unknown issuer");
    if (bSelfSigned)
        reasons << QStringLiteral("self-signed");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (certificate.expiryDate() < now)
        reasons << QStringLiteral("expired");
    if (certificate.effectiveDate() > now)
        reasons << QStringLiteral("not yet valid");
    if (!host.isEmpty() && !HostMatches(certificate, host))
        reasons << QStringLiteral("name mismatch");
    return reasons;
}

CCertificateDlg::CCertificateDlg(const CCertificateProblem& problem, QWidget* pParent)
    : QDialog(pParent),
      m_certificate(QByteArray(problem.m_strCertificate.Str().data(),
                               static_cast<qsizetype>(problem.m_strCertificate.Str().size())),
                    QSsl::Der) {
    setWindowTitle(QStringLiteral("Server Certificate"));
    const QString host = ToQString(problem.m_strHost);
    const QString server = QStringLiteral("%1:%2").arg(host).arg(problem.m_nPort);
    const bool bKeyChanged = !problem.m_strPinnedKey.IsEmpty();
    auto* pLayout = new QVBoxLayout(this);
    if (bKeyChanged) {
        // Not a first contact: someone may stand between us and the server.
        auto* pWarning = new QHBoxLayout;
        auto* pIcon = new QLabel(this);
        pIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
        pWarning->addWidget(pIcon, 0, Qt::AlignTop);
        auto* pText = new QVBoxLayout;
        m_pHeading = new QLabel(QStringLiteral("The server's key has changed since you trusted it"), this);
        QFont bold = m_pHeading->font();
        bold.setBold(true);
        m_pHeading->setFont(bold);
        pText->addWidget(m_pHeading);
        pText->addWidget(NewPlainLabel(
            QStringLiteral("%1 now offers a key other than the one you trusted. Connect only if you know "
                           "why it changed.")
                .arg(server),
            this));
        pWarning->addLayout(pText, 1);
        pLayout->addLayout(pWarning);
    } else {
        m_pHeading =
            NewPlainLabel(QStringLiteral("The certificate of %1 could not be verified.").arg(server), this);
        pLayout->addWidget(m_pHeading);
    }
    m_pHeading->setObjectName(QStringLiteral("Heading"));
    QStringList reasons = Reasons(m_certificate, host, bKeyChanged);
    if (reasons.isEmpty())
        reasons << QStringLiteral("not trusted");
    m_pReason = new QLabel(QStringLiteral("Reason: ") + Joined(reasons), this);
    m_pReason->setObjectName(QStringLiteral("Reason"));
    pLayout->addWidget(m_pReason);

    auto* pForm = new QFormLayout;
    if (bKeyChanged) {
        // One above the other in one format, to be compared by eye.
        AddFingerprint(pForm, QStringLiteral("Trusted key"), PinFingerprint(problem.m_strPinnedKey));
        AddFingerprint(pForm, QStringLiteral("Offered key"), PinFingerprint(GetKeyPin()));
    }
    AddField(pForm, QStringLiteral("Subject"), NameOf(m_certificate, false));
    AddField(pForm, QStringLiteral("Issuer"), NameOf(m_certificate, true));
    QStringList altNames;
    const auto names = m_certificate.subjectAlternativeNames();
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        altNames << it.value();
    AddField(pForm, QStringLiteral("Alternative names"),
             altNames.isEmpty() ? QStringLiteral("(none)") : Joined(altNames));
    AddField(pForm, QStringLiteral("Valid from"), m_certificate.effectiveDate().toString(Qt::ISODate));
    AddField(pForm, QStringLiteral("Valid until"), m_certificate.expiryDate().toString(Qt::ISODate));
    AddFingerprint(pForm, QStringLiteral("SHA-256 fingerprint"), Fingerprint(m_certificate));
    // GnuTLS's text for a failed verification says nothing the reasons do not.
    const QString diagnostic = ToQString(problem.m_strDiagnostic);
    if (!diagnostic.isEmpty() &&
        !diagnostic.contains(QStringLiteral("unknown error code"), Qt::CaseInsensitive))
        AddField(pForm, QStringLiteral("Library message"), diagnostic);
    pLayout->addLayout(pForm);

    auto* pButtons = new QDialogButtonBox(this);
    m_pAlwaysTrust = pButtons->addButton(QStringLiteral("Always trust"), QDialogButtonBox::AcceptRole);
    m_pTrustOnce = pButtons->addButton(QStringLiteral("Trust once"), QDialogButtonBox::AcceptRole);
    m_pCancel = pButtons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    // Enter must never accept a certificate by accident.
    for (QPushButton* pButton : {m_pAlwaysTrust, m_pTrustOnce}) {
        pButton->setAutoDefault(false);
        pButton->setDefault(false);
    }
    m_pCancel->setDefault(true);
    m_pCancel->setFocus(Qt::OtherFocusReason);
    connect(m_pCancel, &QPushButton::clicked, this, [this] { Answer(ETrustAnswer::Cancel); });
    connect(m_pTrustOnce, &QPushButton::clicked, this, [this] { Answer(ETrustAnswer::Once); });
    connect(m_pAlwaysTrust, &QPushButton::clicked, this, [this] { Answer(ETrustAnswer::Always); });
    // A key that cannot be read cannot be pinned.
    if (GetKeyPin().IsEmpty()) {
        m_pTrustOnce->setEnabled(false);
        m_pAlwaysTrust->setEnabled(false);
    }
    pLayout->addWidget(pButtons);
    // Never narrower than what the fields need: nothing is cut.
    pLayout->setSizeConstraint(QLayout::SetMinimumSize);
}

QString CCertificateDlg::PinFingerprint(const CString& keyPin) {
    const std::string& pin = keyPin.Str();
    const std::string prefix = "sha256:";
    if (pin.compare(0, prefix.size(), prefix) != 0)
        return ToQString(keyPin);
    const QByteArray digest = QByteArray::fromBase64(QByteArray::fromStdString(pin.substr(prefix.size())));
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

void CCertificateDlg::AddField(QFormLayout* pForm, const QString& name, const QString& value) {
    // Certificate names are the server's text.
    auto* pValue = NewPlainLabel(value, this);
    pValue->setObjectName(name);
    pValue->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pValue->setWordWrap(true);
    pForm->addRow(name, pValue);
}

void CCertificateDlg::AddFingerprint(QFormLayout* pForm, const QString& name, const QString& value) {
    // Sixteen bytes a line, broken after a colon, in a fixed-width font: the
    // whole value is always there, and two of them line up byte for byte.
    QStringList bytes = value.split(QLatin1Char(':'));
    QStringList lines;
    for (qsizetype i = 0; i < bytes.size(); i += 16)
        lines << bytes.mid(i, 16).join(QLatin1Char(':'));
    auto* pValue = new QLabel(lines.join(QStringLiteral(":\n")), this);
    pValue->setTextFormat(Qt::PlainText);
    pValue->setObjectName(name);
    pValue->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    pValue->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    pValue->setWordWrap(false);
    pValue->setMinimumSize(pValue->sizeHint());
    pForm->addRow(name, pValue);
}

QLabel* CCertificateDlg::FieldLabel(const QString& name) const {
    return findChild<QLabel*>(name);
}

void CCertificateDlg::Answer(ETrustAnswer eAnswer) {
    m_eAnswer = eAnswer;
    if (eAnswer == ETrustAnswer::Cancel)
        reject();
    else
        accept();
}

ETrustAnswer CCertificateDlg::DoModal() {
    m_eAnswer = ETrustAnswer::Cancel;
    exec();
    return m_eAnswer;
}
