#pragma once
// The main window: menus, toolbar, the three-pane status bar and the
// splitter with the tree pane left and the attribute pane right. Routes
// commands to the active pane, the document, itself and the application,
// and enables them from the document's flags.

#include "platform/Types.h"

#include <QMainWindow>
#include <QPointer>

#include <map>

class CLdapListView;
class CLdapTreeView;
class CSchemaBrowser;
class CSearchPanel;
class CTarvoDoc;
class CView;
class QAction;
class QKeySequence;
class QLabel;
class QSplitter;
class QTimer;
class CDataSource;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMainFrame)

public:
    explicit CMainFrame(CTarvoDoc* pDocument, QWidget* pParent = nullptr);
    ~CMainFrame() override;

    CTarvoDoc* GetActiveDocument() const { return m_pDocument; }
    CLdapTreeView* GetTreeView() const { return m_pTreeView; }
    CLdapListView* GetListView() const { return m_pListView; }
    QSplitter* GetSplitter() const { return m_pSplitter; }
    QToolBar* GetToolBar() const { return m_pToolBar; }

    // Status bar panes 0 (general, stretching), 1 (tree) and 2 (attributes).
    void SetPaneText(int nPane, const QString& text);
    // What the pane shows now (pane 0: a prompt while one is shown).
    QString GetPaneText(int nPane) const;
    QLabel* GetPaneLabel(int nPane) const;
    // The padlock shown while the open source's connection is protected,
    // its tooltip naming TLS version, cipher, certificate and identity.
    void ShowConnectionSecurity(const CDataSource* pSource);
    QLabel* GetSecurityLabel() const { return m_pSecurity; }

    // The splitter's active pane with its row and column; NULL when no
    // pane has been active yet.
    CView* GetActivePane(int* pRow = nullptr, int* pCol = nullptr) const;
    // Makes the pane in nColumn the active one and gives it the focus.
    void SetActivePane(int nColumn);
    void OnNextPane();
    void OnPrevPane();

    // Runs a command the way a menu item, a toolbar button or an
    // accelerator does; FALSE when it is disabled or nobody handles it.
    BOOL OnCommand(UINT nID);
    BOOL IsCommandEnabled(UINT nID) const;
    // Enables every menu item and toolbar button from the flags, and names
    // the session in the title.
    void UpdateCommandUI();
    void UpdateTitle();
    // The action of a command (menu item and/or toolbar button).
    QAction* GetCommandAction(UINT nID) const;

    void OnSettings();
    // Tools > Search: the search panel, made when first asked for.
    void OnSearch();
    CSearchPanel* GetSearchPanel();
    // Tools > Schema: the schema window, made when first asked for and
    // filled with the open source's schema; NULL without a session.
    CSchemaBrowser* OnSchema();
    // Tools > Set Password: the tree pane's command on the selected entry.
    void OnSetPassword();
    // View > Operational Attributes (checked or not), kept in the profile.
    void OnViewOperational();
    void OnHelpContents();
    // Asks the window to close once control is back in the event loop.
    void PostCloseRequest();

signals:
    // The window has closed and the document has let go of its workers.
    void Closed();
    // File > New Window: the application opens another window.
    void NewWindowRequested();

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateClient();
    // Sizes side pane nPane (1 or 2) to its text and shows as much as fits.
    void FitPane(int nPane);
    // Keys that act on one pane: heard only while the focus is in it.
    void BindPaneKey(UINT nID, QWidget* pPane, const QKeySequence& key);
    // Copy and Copy as LDIF in the active pane.
    bool CanCopy(bool bAsLdif) const;
    void OnCopy(bool bAsLdif);
    QAction* CommandAction(UINT nID, const QString& text);
    void OnFocusChanged(QWidget* pOld, QWidget* pNow);
    // nColumn becomes the active pane; its view hears of it once.
    void ActivateColumn(int nColumn);
    CView* ViewInColumn(int nColumn) const;

    CTarvoDoc* m_pDocument;
    QSplitter* m_pSplitter = nullptr;
    CLdapTreeView* m_pTreeView = nullptr;
    CLdapListView* m_pListView = nullptr;
    CSearchPanel* m_pSearchPanel = nullptr;
    QPointer<CSchemaBrowser> m_pSchemaBrowser;
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_pPanes[3] = {nullptr, nullptr, nullptr};
    QLabel* m_pSecurity = nullptr;
    QTimer* m_pIdleTimer = nullptr;
    std::map<UINT, QAction*> m_actions;
    QMetaObject::Connection m_focusConnection;
    int m_nActiveColumn = -1;
    bool m_bClosed = false;
};
