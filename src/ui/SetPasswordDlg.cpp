#include "ui/SetPasswordDlg.h"

#include "platform/Services.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

const char* const CSetPasswordDlg::kEmptyText = "Type the new password in both fields.";
const char* const CSetPasswordDlg::kDifferText =
    "The two passwords differ. Type the same password in both fields.";
const char* const CSetPasswordDlg::kClearTextWarning =
    "The password will be stored as clear text: anyone who may read the entry can read it.\n"
    "Store it as clear text all the same?";

CSetPasswordDlg::CSetPasswordDlg(const CString& dn, bool bByServer, QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Set Password"));
    CDialogUnits units(this);
    auto* pLayout = new QVBoxLayout(this);
    auto* pEntry = new QLabel(BytesToText(dn), this);
    pEntry->setTextFormat(Qt::PlainText);
    pEntry->setWordWrap(true);
    pLayout->addWidget(pEntry);
    auto* pForm = new QFormLayout;
    m_pPassword = new QLineEdit(this);
    m_pPassword->setEchoMode(QLineEdit::Password);
    units.MinimumWidth(m_pPassword, 150);
    m_pConfirm = new QLineEdit(this);
    m_pConfirm->setEchoMode(QLineEdit::Password);
    pForm->addRow(QStringLiteral("&New password:"), m_pPassword);
    pForm->addRow(QStringLiteral("&Confirm:"), m_pConfirm);
    if (!bByServer) {
        m_pScheme = new QComboBox(this);
        m_pScheme->addItem(QStringLiteral("Salted SHA-1 {SSHA}"));
        m_pScheme->addItem(QStringLiteral("Salted SHA-512 {SSHA512}"));
        m_pScheme->addItem(QStringLiteral("Clear text"));
        pForm->addRow(QStringLiteral("&Store as:"), m_pScheme);
    }
    pLayout->addLayout(pForm);
    auto* pNote =
        new QLabel(bByServer ? QStringLiteral("The server stores the password in its own form.")
                             : QStringLiteral("The server cannot set passwords itself: the password "
                                              "is stored in the form chosen here."),
                   this);
    pNote->setWordWrap(true);
    pLayout->addWidget(pNote);
    auto* pOK = new QPushButton(QStringLiteral("&OK"), this);
    pOK->setDefault(true);
    auto* pCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    pCancel->setAutoDefault(false);
    pLayout->addLayout(MakeButtonRow(units, pOK, pCancel));
    connect(pOK, &QPushButton::clicked, this, &CSetPasswordDlg::OnOK);
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

CSetPasswordDlg::~CSetPasswordDlg() {
    std::fill(m_strPassword.Str().begin(), m_strPassword.Str().end(), '\0');
}

int CSetPasswordDlg::DoModal() {
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CSetPasswordDlg::OnOK() {
    const QString password = m_pPassword->text();
    if (password.isEmpty() || m_pConfirm->text().isEmpty()) {
        AfxMessageBox(kEmptyText, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (password != m_pConfirm->text()) {
        AfxMessageBox(kDifferText, MB_OK | MB_ICONEXCLAMATION);
        m_pConfirm->clear();
        m_pConfirm->setFocus();
        return;
    }
    const int nScheme = m_pScheme ? m_pScheme->currentIndex() : 0;
    m_eScheme = nScheme == 1   ? EPasswordScheme::SSHA512
                : nScheme == 2 ? EPasswordScheme::Clear
                               : EPasswordScheme::SSHA;
    if (m_eScheme == EPasswordScheme::Clear &&
        AfxMessageBox(kClearTextWarning, MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
        return;
    m_strPassword = TextToBytes(password);
    m_pPassword->clear();
    m_pConfirm->clear();
    accept();
}

CString CSetPasswordDlg::TakePassword() {
    CString password = m_strPassword;
    std::fill(m_strPassword.Str().begin(), m_strPassword.Str().end(), '\0');
    m_strPassword.Empty();
    return password;
}
