#pragma once
// Export Subtree: which entries below the selected one (a filter) and where
// they go (an LDIF file, or the clipboard for a paste into another window).

#include "platform/String.h"

#include <QDialog>

class QLineEdit;
class QRadioButton;
class QLabel;

class CExportSubtreeDlg : public QDialog {
    Q_DISABLE_COPY_MOVE(CExportSubtreeDlg)

public:
    CExportSubtreeDlg(const CString& baseDN, const CString& path, QWidget* pParent = nullptr);

    CString GetFilter() const;
    // Empty when the entries go to the clipboard.
    CString GetPath() const;

    QLineEdit* FilterEdit() const { return m_pFilter; }
    QLineEdit* PathEdit() const { return m_pPath; }
    QRadioButton* FileRadio() const { return m_pToFile; }
    QRadioButton* ClipboardRadio() const { return m_pToClipboard; }
    QLabel* ErrorLabel() const { return m_pError; }

    void accept() override;

private:
    void OnBrowse();

    CString m_strBaseDN;
    QLineEdit* m_pFilter;
    QRadioButton* m_pToFile;
    QLineEdit* m_pPath;
    QRadioButton* m_pToClipboard;
    QLabel* m_pError;
};
