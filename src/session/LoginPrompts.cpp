#include "session/LoginPrompts.h"

#include "platform/Services.h"
#include "platform/qt/PlainText.h"
#include "platform/qt/QtServices.h"
#include "ui/CertificateDlg.h"

#include <QCheckBox>
#include <QMessageBox>

namespace {

const char* const kTrustedKeysSection = "TrustedKeys";
const char* const kPlainPasswordSection = "PlainPasswordAllowed";

CString ServerKey(const CString& host, int nPort) {
    CString key;
    key.Format("%s:%d", host.GetString(), nPort);
    return key;
}

} // namespace

CString CLoginPrompts::StoredKeyPin(const CString& host, int nPort) {
    return CServices::Profile().GetProfileString(kTrustedKeysSection, ServerKey(host, nPort), "");
}

void CLoginPrompts::StoreKeyPin(const CString& host, int nPort, const CString& keyPin) {
    CServices::Profile().WriteProfileString(kTrustedKeysSection, ServerKey(host, nPort), keyPin);
}

ETrustAnswer CLoginPrompts::JudgeCertificate(const CCertificateProblem& problem, CString& keyPin) {
    CCertificateDlg dialog(problem, m_pParent);
    const ETrustAnswer eAnswer = dialog.DoModal();
    if (eAnswer == ETrustAnswer::Cancel)
        return eAnswer;
    keyPin = dialog.GetKeyPin();
    if (eAnswer == ETrustAnswer::Always)
        StoreKeyPin(problem.m_strHost, problem.m_nPort, keyPin);
    return eAnswer;
}

BOOL CLoginPrompts::ConfirmPlainPassword(const CString& bindDN, const CString& host, int) {
    if (CServices::Profile().GetProfileInt(kPlainPasswordSection, host, 0) != 0)
        return TRUE;
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kAppTitle),
                    QStringLiteral("The password for %1 will be sent unencrypted to %2. Continue?")
                        .arg(ShownText(bindDN), ShownText(host)),
                    QMessageBox::Yes | QMessageBox::No, m_pParent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    auto* pDontAsk = new QCheckBox(QStringLiteral("Don't ask again for this server"), &box);
    box.setCheckBox(pDontAsk);
    if (box.exec() != QMessageBox::Yes)
        return FALSE;
    // Only a yes is remembered: a remembered no would refuse without a word.
    if (pDontAsk->isChecked())
        CServices::Profile().WriteProfileInt(kPlainPasswordSection, host, 1);
    return TRUE;
}
