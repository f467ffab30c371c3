#pragma once
// The program's help: a short page shipped inside the program, shown in a
// window of its own.

#include <QDialog>

class QTextBrowser;

class CHelpWindow : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CHelpWindow)

public:
    explicit CHelpWindow(QWidget* pParent = nullptr);
    ~CHelpWindow() override;
    QTextBrowser* GetBrowser() const { return m_pBrowser; }

private:
    QTextBrowser* m_pBrowser;
};

// Shows the help contents in a window that belongs to pOwner's window (so
// it can be used while that window is modal). Returns the window.
CHelpWindow* ShowHelpContents(QWidget* pOwner);
// The help page's HTML.
QString LoadHelpPage();
