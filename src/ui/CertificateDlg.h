#pragma once
// A server certificate that did not verify, shown so that the user can
// judge it: why it failed, whom it names, who issued it, when it is valid
// and its fingerprint; a key other than the one trusted before gets a
// warning of its own with both keys. "Cancel" is the only default; "Trust
// once" and "Always trust" accept the offered key.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "source/ConnectPrompts.h"
#endif

#include <QDialog>
#include <QSslCertificate>

class QLabel;
class QPushButton;

class CCertificateDlg : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCertificateDlg)

public:
    explicit CCertificateDlg(const CCertificateProblem& problem, QWidget* pParent = nullptr);

    ETrustAnswer DoModal();
    ETrustAnswer GetAnswer() const { return m_eAnswer; }
    // The offered key's pin, as the client library checks it.
    CString GetKeyPin() const { return KeyPin(m_certificate); }

    // "sha256:<base64 of the SHA-256 of the SubjectPublicKeyInfo>"; "" for
    // a certificate without a readable key.
    static CString KeyPin(const QSslCertificate& certificate);
    // Why the certificate fails for host, most important first: "key
    // changed", "unknown issuer", "self-signed", "expired", "not yet valid",
    // "name mismatch".
    static QStringList Reasons(const QSslCertificate& certificate, const QString& host, bool bKeyChanged);

    // A key pin as the fingerprint is shown: "AB:CD:...", upper-case hex.
    static QString PinFingerprint(const CString& keyPin);

    QLabel* HeadingLabel() const { return m_pHeading; }
    QLabel* ReasonLabel() const { return m_pReason; }
    QLabel* FieldLabel(const QString& name) const;
    QPushButton* CancelButton() const { return m_pCancel; }
    QPushButton* TrustOnceButton() const { return m_pTrustOnce; }
    QPushButton* AlwaysTrustButton() const { return m_pAlwaysTrust; }

private:
    void AddField(class QFormLayout* pForm, const QString& name, const QString& value);
    void AddFingerprint(class QFormLayout* pForm, const QString& name, const QString& value);
    void Answer(ETrustAnswer eAnswer);

    QSslCertificate m_certificate;
    ETrustAnswer m_eAnswer = ETrustAnswer::Cancel;
    QLabel* m_pHeading;
    QLabel* m_pReason;
    QPushButton* m_pCancel;
    QPushButton* m_pTrustOnce;
    QPushButton* m_pAlwaysTrust;
};
