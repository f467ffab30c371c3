#pragma once
// "Modify Value" (a read-only name beside an editable new value) and
// "Rename Entry" (the read-only DN beside the new relative name).

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "platform/String.h"
#include "platform/Types.h"
#endif

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

class CModifyAttributeDlg : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CModifyAttributeDlg)

public:
    enum { MODE_ATTRIBUTE = 0, MODE_ENTRY = 1 };

    explicit CModifyAttributeDlg(int nMode, QWidget* pParent = nullptr);

    int DoModal();

    // Set before DoModal; read after OK.
    void SetReadOnlyText(const CString& text) { m_strReadOnly = text; }
    void SetEditText(const CString& text) { m_strEdit = text; }
    CString GetReadOnlyText() const { return m_strReadOnly; }
    CString GetEditText() const { return m_strEdit; }
    int GetMode() const { return m_nMode; }
    // Renames only: "Remove the old name's value".
    void SetDeleteOldRdn(bool bValue) { m_bDeleteOldRdn = bValue; }
    bool GetDeleteOldRdn() const { return m_bDeleteOldRdn; }
    QCheckBox* DeleteOldRdnBox() const { return m_pDeleteOldRdn; }

    QLabel* FirstLabel() const { return m_pFirstLabel; }
    QLabel* SecondLabel() const { return m_pSecondLabel; }
    QLineEdit* ReadOnlyEdit() const { return m_pReadOnly; }
    QLineEdit* EditableEdit() const { return m_pEdit; }

    // Fills the controls and labels as the dialog opens.
    void InitDialog();
    // OK: an empty field closes as Cancel.
    void OnOK();

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    int m_nMode;
    CString m_strReadOnly;
    CString m_strEdit;
    QLabel* m_pFirstLabel;
    QLabel* m_pSecondLabel;
    QLineEdit* m_pReadOnly;
    QLineEdit* m_pEdit;
    QCheckBox* m_pDeleteOldRdn;
    bool m_bDeleteOldRdn = true;
    bool m_bInitialised = false;
};
