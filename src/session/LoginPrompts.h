#pragma once
// The login's answers to what a connection attempt asks: the certificate
// dialog (with the pins of "Always trust" kept in the profile) and the
// question before a password goes out unencrypted.

// moc need not parse the C++20 library headers behind these.
#ifndef Q_MOC_RUN
#include "source/ConnectPrompts.h"
#endif

class QWidget;

class CLoginPrompts : public IConnectPrompts {
public:
    explicit CLoginPrompts(QWidget* pParent) : m_pParent(pParent) {}

    ETrustAnswer JudgeCertificate(const CCertificateProblem& problem, CString& keyPin) override;
    BOOL ConfirmPlainPassword(const CString& bindDN, const CString& host, int nPort) override;

    // The pin stored by "Always trust" for host:port, "" when none.
    static CString StoredKeyPin(const CString& host, int nPort);
    static void StoreKeyPin(const CString& host, int nPort, const CString& keyPin);

private:
    QWidget* m_pParent;
};
