#pragma once
// "Set Password": the new password typed twice into masked fields and, for
// a source that cannot hash it itself, the form it is stored in. The
// password is read once by the caller and never kept in the profile.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "platform/String.h"
#include "source/PasswordHash.h"
#endif

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;

class CSetPasswordDlg : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSetPasswordDlg)

public:
    // bByServer: the server hashes the password (no choice of form shown).
    CSetPasswordDlg(const CString& dn, bool bByServer, QWidget* pParent = nullptr);
    ~CSetPasswordDlg() override;

    // IDOK or IDCANCEL.
    int DoModal();
    // After OK: the password (the fields are emptied then) and the form.
    CString TakePassword();
    EPasswordScheme GetScheme() const { return m_eScheme; }

    QLineEdit* PasswordEdit() const { return m_pPassword; }
    QLineEdit* ConfirmEdit() const { return m_pConfirm; }
    QComboBox* SchemeCombo() const { return m_pScheme; }

    // OK: both fields the same and not empty; clear text only after the
    // user agreed to the warning.
    void OnOK();

    static const char* const kEmptyText;
    static const char* const kDifferText;
    static const char* const kClearTextWarning;

private:
    QLineEdit* m_pPassword;
    QLineEdit* m_pConfirm;
    QComboBox* m_pScheme = nullptr;
    CString m_strPassword;
    EPasswordScheme m_eScheme = EPasswordScheme::SSHA;
};
