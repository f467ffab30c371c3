#pragma once
// "About Tarvo": icon, title, version and maker lines, OK.

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CAboutDlg)

public:
    explicit CAboutDlg(QWidget* pParent = nullptr);
    ~CAboutDlg() override;
    int DoModal() { return exec(); }
};
