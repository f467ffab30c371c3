#pragma once
// Modify for a value that is not text: the current value is named, can be
// saved to a file, and the new value is loaded from one.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "platform/String.h"
#include "platform/Types.h"
#endif

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class CBinaryValueDlg : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CBinaryValueDlg)

public:
    CBinaryValueDlg(const CString& name, const CString& value, QWidget* pParent = nullptr);

    int DoModal();
    // The loaded value, after OK.
    CString GetNewValue() const { return m_strNewValue; }

    void OnLoad();
    void OnSave();
    // OK without a loaded value closes as Cancel.
    void OnOK();

    QLabel* CurrentLabel() const { return m_pCurrent; }
    QLabel* NewLabel() const { return m_pNew; }
    QPushButton* LoadButton() const { return m_pLoad; }
    QPushButton* SaveButton() const { return m_pSave; }

private:
    CString m_strName;
    CString m_strValue;
    CString m_strNewValue;
    bool m_bLoaded = false;
    QLabel* m_pCurrent;
    QLabel* m_pNew;
    QPushButton* m_pLoad;
    QPushButton* m_pSave;
};
