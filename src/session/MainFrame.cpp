#include "session/MainFrame.h"

#include "model/EntryNode.h"
#include "platform/Services.h"
#include "platform/qt/PlainText.h"
#include "platform/qt/QtServices.h"
#include "session/Commands.h"
#include "session/HelpWindow.h"
#include "session/Icons.h"
#include "session/TarvoApp.h"
#include "session/TarvoDoc.h"
#include "source/LdapSource.h"
#include "ui/ImportLdifDlg.h"
#include "ui/LdapListView.h"
#include "ui/LdapTreeView.h"
#include "ui/SchemaBrowser.h"
#include "ui/SearchPanel.h"
#include "ui/SettingsDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QSslCertificate>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {
constexpr int kPaneWidth = 250;
// The most of the window's width one of the two side panes may take.
constexpr double kPaneShare = 0.4;
constexpr int kTreePaneWidth = 300;
constexpr int kIdleUpdateMs = 200;
constexpr const char* kFullTextProperty = "tarvoFullText";
} // namespace

CMainFrame::CMainFrame(CTarvoDoc* pDocument, QWidget* pParent)
    : QMainWindow(pParent), m_pDocument(pDocument) {
    setObjectName(QStringLiteral("MainFrame"));
    setWindowTitle(QStringLiteral("Tarvo"));
    setWindowIcon(MakeProgramIcon());
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateClient();
    BindPaneKey(ID_TOOLS_ENTRY_DELETE, m_pTreeView, QKeySequence::Delete);
    BindPaneKey(ID_TOOLS_ATTR_DELETE, m_pListView, QKeySequence::Delete);
    // Cut and Paste move entries in the tree; the attribute pane's and the
    // search panel's fields keep their own keys.
    BindPaneKey(ID_EDIT_CUT, m_pTreeView, QKeySequence::Cut);
    BindPaneKey(ID_EDIT_PASTE, m_pTreeView, QKeySequence::Paste);
    resize(900, 620);
    if (m_pDocument)
        m_pDocument->SetFrame(this);

    m_focusConnection = connect(qApp, &QApplication::focusChanged, this, &CMainFrame::OnFocusChanged);
    // Menu items and buttons follow the flags the way idle-time updates do.
    m_pIdleTimer = new QTimer(this);
    m_pIdleTimer->setInterval(kIdleUpdateMs);
    connect(m_pIdleTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
    m_pIdleTimer->start();
    UpdateCommandUI();
}

CMainFrame::~CMainFrame() {
    // The panes go after this part of the object: focus moving as they do
    // must not reach it, nor an idle update.
    disconnect(m_focusConnection);
    m_pIdleTimer->stop();
    if (m_pDocument) {
        m_pDocument->RemoveView(m_pTreeView);
        m_pDocument->RemoveView(m_pListView);
        m_pDocument->SetFrame(nullptr);
    }
}

QAction* CMainFrame::CommandAction(UINT nID, const QString& text) {
    auto it = m_actions.find(nID);
    if (it != m_actions.end())
        return it->second;
    auto* pAction = new QAction(text, this);
    pAction->setData(nID);
    const CString prompt = GetCommandPrompt(nID);
    const CString tip = GetCommandTip(nID);
    if (!prompt.IsEmpty())
        pAction->setStatusTip(ToQString(prompt));
    if (!tip.IsEmpty())
        pAction->setToolTip(ToQString(tip));
    const QIcon icon = MakeCommandIcon(nID);
    if (!icon.isNull())
        pAction->setIcon(icon);
    // Menu items show no pictures; the toolbar does.
    pAction->setIconVisibleInMenu(false);
    connect(pAction, &QAction::triggered, this, [this, nID] { OnCommand(nID); });
    m_actions[nID] = pAction;
    addAction(pAction);
    return pAction;
}

void CMainFrame::CreateMenus() {
    QMenuBar* pBar = menuBar();
    QMenu* pFile = pBar->addMenu(QStringLiteral("&File"));
    QAction* pNewWindow = CommandAction(ID_FILE_NEW_WINDOW, QStringLiteral("New &Window"));
    pNewWindow->setShortcut(QKeySequence::New);
    pFile->addAction(pNewWindow);
    pFile->addAction(CommandAction(ID_FILE_OPEN_SOURCE, QStringLiteral("&Open ")));
    pFile->addAction(CommandAction(ID_FILE_CLOSE_SESSION, QStringLiteral("&Close")));
    pFile->addSeparator();
    pFile->addAction(CommandAction(ID_FILE_REFRESH, QStringLiteral("&Refresh")));
    pFile->addAction(CommandAction(ID_FILE_STOP, QStringLiteral("S&top")));
    pFile->addSeparator();
    pFile->addAction(CommandAction(ID_FILE_SAVE_LDIF, QStringLiteral("&Save to LDIF")));
    pFile->addAction(CommandAction(ID_FILE_EXPORT_SUBTREE, QStringLiteral("&Export Subtree...")));
    pFile->addAction(CommandAction(ID_FILE_IMPORT_LDIF, QStringLiteral("&Import LDIF...")));
    pFile->addSeparator();
    pFile->addAction(CommandAction(ID_APP_EXIT, QStringLiteral("E&xit")));
    GetCommandAction(ID_FILE_REFRESH)->setShortcut(QKeySequence::Refresh);
    // Escape stops what runs in this window; a dialog's own Escape comes first.
    QAction* pStop = GetCommandAction(ID_FILE_STOP);
    pStop->setShortcut(QKeySequence(Qt::Key_Escape));
    pStop->setShortcutContext(Qt::WindowShortcut);

    QMenu* pEdit = pBar->addMenu(QStringLiteral("&Edit"));
    pEdit->addAction(CommandAction(ID_EDIT_CUT, QStringLiteral("Cu&t")));
    QAction* pCopy = CommandAction(ID_EDIT_COPY, QStringLiteral("&Copy"));
    pCopy->setShortcuts(QKeySequence::Copy);
    pEdit->addAction(pCopy);
    QAction* pCopyLdif = CommandAction(ID_EDIT_COPY_LDIF, QStringLiteral("Copy as &LDIF"));
    pCopyLdif->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    pEdit->addAction(pCopyLdif);
    pEdit->addAction(CommandAction(ID_EDIT_COPY_ENTRY, QStringLiteral("Copy &Entry")));
    pEdit->addAction(CommandAction(ID_EDIT_COPY_SUBTREE, QStringLiteral("Copy &Subtree")));
    pEdit->addAction(CommandAction(ID_EDIT_PASTE, QStringLiteral("&Paste")));

    QMenu* pView = pBar->addMenu(QStringLiteral("&View"));
    QAction* pOperational = CommandAction(ID_VIEW_OPERATIONAL, QStringLiteral("&Operational Attributes"));
    pOperational->setCheckable(true);
    pOperational->setChecked(m_pDocument && m_pDocument->m_exportSettings.GetShowOperational());
    pView->addAction(pOperational);

    QMenu* pTools = pBar->addMenu(QStringLiteral("&Tools"));
    QMenu* pEntry = pTools->addMenu(QStringLiteral("&Entry"));
    pEntry->addAction(CommandAction(ID_TOOLS_ENTRY_ADD, QStringLiteral("&Add")));
    pEntry->addAction(CommandAction(ID_TOOLS_ENTRY_DELETE, QStringLiteral("&Delete")));
    pEntry->addAction(CommandAction(ID_TOOLS_ENTRY_MODIFY, QStringLiteral("&Modify")));
    QMenu* pAttributes = pTools->addMenu(QStringLiteral("&Attributes"));
    pAttributes->addAction(CommandAction(ID_TOOLS_ATTR_ADD, QStringLiteral("&Add")));
    pAttributes->addAction(CommandAction(ID_TOOLS_ATTR_DELETE, QStringLiteral("&Delete")));
    pAttributes->addAction(CommandAction(ID_TOOLS_ATTR_MODIFY, QStringLiteral("&Modify")));
    pTools->addSeparator();
    QAction* pSearch = CommandAction(ID_TOOLS_SEARCH, QStringLiteral("Searc&h..."));
    pSearch->setShortcut(QKeySequence::Find);
    pTools->addAction(pSearch);
    pTools->addAction(CommandAction(ID_TOOLS_SCHEMA, QStringLiteral("Sche&ma")));
    pTools->addAction(CommandAction(ID_TOOLS_SET_PASSWORD, QStringLiteral("Set &Password...")));
    pTools->addSeparator();
    pTools->addAction(CommandAction(ID_TOOLS_SETTINGS, QStringLiteral("&Settings")));

    QMenu* pHelp = pBar->addMenu(QStringLiteral("&Help"));
    pHelp->addAction(CommandAction(ID_HELP_CONTENTS, QStringLiteral("&Contents")));
    pHelp->addSeparator();
    pHelp->addAction(CommandAction(ID_APP_ABOUT, QStringLiteral("&About Tarvo...")));

    for (QMenu* pMenu : {pFile, pEdit, pView, pTools, pEntry, pAttributes, pHelp})
        connect(pMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);

    // Accelerators without a menu item.
    QAction* pSave = CommandAction(ID_FILE_SAVE, QStringLiteral("Save"));
    pSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    pSave->setShortcutContext(Qt::WindowShortcut);
    QAction* pNext = CommandAction(ID_NEXT_PANE, QStringLiteral("Next Pane"));
    pNext->setShortcut(QKeySequence(Qt::Key_F6));
    QAction* pPrev = CommandAction(ID_PREV_PANE, QStringLiteral("Previous Pane"));
    pPrev->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
}

void CMainFrame::CreateToolBar() {
    m_pToolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_pToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_pToolBar->setIconSize(QSize(16, 16));
    m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_pToolBar->setMovable(true);
    m_pToolBar->setFloatable(true);
    addToolBar(Qt::TopToolBarArea, m_pToolBar);

    auto add = [this](UINT nID) {
        QAction* pAction =
            CommandAction(nID, GetCommandTip(nID).IsEmpty() ? QString::number(nID)
                                                            : ToQString(GetCommandTip(nID)).trimmed());
        // A button whose command has a key names it.
        if (!pAction->shortcut().isEmpty() && !pAction->toolTip().endsWith(QLatin1Char(')')))
            pAction->setToolTip(pAction->toolTip() + QStringLiteral(" (") +
                                pAction->shortcut().toString(QKeySequence::NativeText) + QLatin1Char(')'));
        m_pToolBar->addAction(pAction);
        if (QWidget* pButton = m_pToolBar->widgetForAction(pAction))
            pButton->setFixedSize(24, 24);
    };
    add(ID_FILE_OPEN_SOURCE);
    add(ID_TB_CLOSE);
    m_pToolBar->addSeparator();
    add(ID_TB_REFRESH);
    add(ID_FILE_STOP);
    add(ID_TB_SAVE_LDIF);
    m_pToolBar->addSeparator();
    add(ID_TB_ADD_ENTRY);
    add(ID_TB_DELETE_ENTRY);
    add(ID_TB_MODIFY_ENTRY);
    m_pToolBar->addSeparator();
    add(ID_TB_ADD_ATTRIBUTES);
    add(ID_TB_DELETE_ATTRIBUTE);
    add(ID_TB_MODIFY_ATTRIBUTE);
    m_pToolBar->addSeparator();
    add(ID_HELP_CONTENTS);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* pBar = statusBar();
    m_pPanes[0] = new QLabel(QStringLiteral("Ready"), pBar);
    m_pPanes[0]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pBar->addWidget(m_pPanes[0], 1);
    for (int i = 1; i <= 2; ++i) {
        m_pPanes[i] = new QLabel(pBar);
        m_pPanes[i]->setFrameStyle(QFrame::Panel | QFrame::Raised);
        m_pPanes[i]->setFixedWidth(kPaneWidth);
        m_pPanes[i]->setProperty(kFullTextProperty, QString());
        pBar->addPermanentWidget(m_pPanes[i]);
    }
    for (int i = 0; i < 3; ++i) {
        m_pPanes[i]->setObjectName(QStringLiteral("StatusPane%1").arg(i));
        // The panes show DNs and server messages: never markup.
        m_pPanes[i]->setTextFormat(Qt::PlainText);
        m_pPanes[i]->setLayoutDirection(Qt::LeftToRight);
    }
    m_pSecurity = new QLabel(pBar);
    m_pSecurity->setObjectName(QStringLiteral("SecurityPane"));
    m_pSecurity->setPixmap(MakeLockPicture());
    m_pSecurity->hide();
    pBar->addPermanentWidget(m_pSecurity);
}

void CMainFrame::ShowConnectionSecurity(const CDataSource* pSource) {
    const auto* pLdap = dynamic_cast<const CLdapSource*>(pSource);
    if (!pLdap || !pLdap->GetConnectionInfo().m_tls.m_bProtected) {
        m_pSecurity->hide();
        m_pSecurity->setToolTip(QString());
        return;
    }
    const CConnectionInfo& info = pLdap->GetConnectionInfo();
    const std::string& der = info.m_tls.m_strPeerCertificate.Str();
    const QSslCertificate certificate(QByteArray(der.data(), static_cast<qsizetype>(der.size())), QSsl::Der);
    const QString identity =
        info.m_strIdentity.IsEmpty() ? QStringLiteral("anonymous") : ToQString(info.m_strIdentity);
    m_pSecurity->setToolTip(
        PlainToolTip(QStringLiteral("TLS version: %1\nCipher: %2\nCertificate: %3\nIdentity: %4")
                         .arg(ToQString(info.m_tls.m_strVersion), ToQString(info.m_tls.m_strCipher),
                              certificate.subjectDisplayName().isEmpty() ? QStringLiteral("(none)")
                                                                         : certificate.subjectDisplayName(),
                              identity)));
    m_pSecurity->show();
}

void CMainFrame::CreateClient() {
    m_pSplitter = new QSplitter(Qt::Horizontal, this);
    m_pSplitter->setObjectName(QStringLiteral("Splitter"));
    m_pSplitter->setChildrenCollapsible(false);
    // The tree pane is the document's first view, the attribute pane its second.
    m_pTreeView = new CLdapTreeView(m_pDocument, m_pSplitter);
    m_pListView = new CLdapListView(m_pDocument, m_pSplitter);
    m_pSplitter->addWidget(m_pTreeView);
    m_pSplitter->addWidget(m_pListView);
    m_pSplitter->setStretchFactor(0, 0);
    m_pSplitter->setStretchFactor(1, 1);
    m_pSplitter->setSizes({kTreePaneWidth, 600});
    if (m_pDocument) {
        m_pDocument->AddView(m_pTreeView);
        m_pDocument->AddView(m_pListView);
    }
    setCentralWidget(m_pSplitter);
}

void CMainFrame::BindPaneKey(UINT nID, QWidget* pPane, const QKeySequence& key) {
    QAction* pAction = GetCommandAction(nID);
    // Off the window, so that the same key can mean the other pane's command.
    removeAction(pAction);
    pAction->setShortcut(key);
    pAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    pPane->addAction(pAction);
}

bool CMainFrame::CanCopy(bool bAsLdif) const {
    switch (m_nActiveColumn) {
    case 0:
        return m_pTreeView->CanCopy(bAsLdif);
    case 1:
        return m_pListView->CanCopy(bAsLdif);
    default:
        return false;
    }
}

void CMainFrame::OnCopy(bool bAsLdif) {
    if (m_nActiveColumn == 0)
        m_pTreeView->OnCopy(bAsLdif);
    else if (m_nActiveColumn == 1)
        m_pListView->OnCopy(bAsLdif);
}

void CMainFrame::SetPaneText(int nPane, const QString& text) {
    QLabel* pLabel = GetPaneLabel(nPane);
    if (!pLabel)
        return;
    pLabel->setProperty(kFullTextProperty, text);
    if (nPane > 0) {
        FitPane(nPane);
    } else {
        pLabel->setText(ShownText(text));
        const QString warning = LookAlikeWarning(text);
        pLabel->setToolTip(warning.isEmpty() ? QString() : PlainToolTip(warning));
    }
    if (pLabel->isVisible())
        pLabel->repaint();
}

void CMainFrame::FitPane(int nPane) {
    QLabel* pLabel = GetPaneLabel(nPane);
    const QString text = pLabel->property(kFullTextProperty).toString();
    // A side pane grows with its text up to a share of the window; beyond
    // that the text is cut in the middle and whole in the tooltip.
    const QFontMetrics metrics = pLabel->fontMetrics();
    // Hidden and direction characters are shown as marks, and measured so.
    const QString visible = ShownText(text);
    // A framed label indents its text by half an "x" on each side.
    const int nChrome = 2 * pLabel->frameWidth() + 2 * pLabel->margin() + metrics.horizontalAdvance('x');
    const int nMost = qMax(static_cast<int>(width() * kPaneShare), 4 * nChrome);
    const int nWidth = qBound(qMin(kPaneWidth, nMost), metrics.horizontalAdvance(visible) + nChrome, nMost);
    if (pLabel->width() != nWidth || pLabel->minimumWidth() != nWidth)
        pLabel->setFixedWidth(nWidth);
    const QString shown = metrics.elidedText(visible, Qt::ElideMiddle, nWidth - nChrome);
    pLabel->setText(shown);
    const QString warning = LookAlikeWarning(text);
    const QString tip = shown == visible    ? warning
                        : warning.isEmpty() ? text
                                            : warning + QLatin1Char('\n') + text;
    pLabel->setToolTip(tip.isEmpty() ? QString() : PlainToolTip(tip));
}

void CMainFrame::resizeEvent(QResizeEvent* pEvent) {
    QMainWindow::resizeEvent(pEvent);
    FitPane(1);
    FitPane(2);
}

QString CMainFrame::GetPaneText(int nPane) const {
    if (nPane == 0 && !statusBar()->currentMessage().isEmpty())
        return statusBar()->currentMessage();
    QLabel* pLabel = GetPaneLabel(nPane);
    if (!pLabel)
        return QString();
    const QVariant full = pLabel->property(kFullTextProperty);
    return full.isValid() ? full.toString() : pLabel->text();
}

QLabel* CMainFrame::GetPaneLabel(int nPane) const {
    return nPane >= 0 && nPane < 3 ? m_pPanes[nPane] : nullptr;
}

CView* CMainFrame::ViewInColumn(int nColumn) const {
    switch (nColumn) {
    case 0:
        return m_pTreeView;
    case 1:
        return m_pListView;
    default:
        return nullptr;
    }
}

CView* CMainFrame::GetActivePane(int* pRow, int* pCol) const {
    CView* pView = ViewInColumn(m_nActiveColumn);
    if (pRow)
        *pRow = pView ? 0 : -1;
    if (pCol)
        *pCol = pView ? m_nActiveColumn : -1;
    return pView;
}

void CMainFrame::ActivateColumn(int nColumn) {
    CView* pView = ViewInColumn(nColumn);
    if (!pView || nColumn == m_nActiveColumn)
        return;
    m_nActiveColumn = nColumn;
    pView->OnActivateView();
    UpdateCommandUI();
}

void CMainFrame::SetActivePane(int nColumn) {
    CView* pView = ViewInColumn(nColumn);
    if (!pView)
        return;
    // An explicit activation (F6, Tab) tells the pane even when it already
    // was the active one, so the commands always match the pane in use.
    m_nActiveColumn = nColumn;
    pView->OnActivateView();
    UpdateCommandUI();
    // The focus goes to the pane's control (its focus proxy or first
    // focusable child).
    QWidget* pTarget = pView;
    if (!pView->focusProxy() && pView->focusPolicy() == Qt::NoFocus) {
        for (QWidget* pChild : pView->findChildren<QWidget*>()) {
            if (pChild->focusPolicy() & Qt::TabFocus) {
                pTarget = pChild;
                break;
            }
        }
    }
    pTarget->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::OnNextPane() {
    SetActivePane(m_nActiveColumn == 0 ? 1 : 0);
}

void CMainFrame::OnPrevPane() {
    // Two panes: the previous one is the other one too.
    SetActivePane(m_nActiveColumn == 1 ? 0 : 1);
}

void CMainFrame::OnFocusChanged(QWidget*, QWidget* pNow) {
    if (!pNow)
        return;
    for (int nColumn = 0; nColumn < 2; ++nColumn) {
        CView* pView = ViewInColumn(nColumn);
        if (pView && (pNow == pView || pView->isAncestorOf(pNow))) {
            ActivateColumn(nColumn);
            return;
        }
    }
}

BOOL CMainFrame::IsCommandEnabled(UINT nID) const {
    BOOL bEnabled = FALSE;
    if (m_pDocument && m_pDocument->OnUpdateCmdUI(nID, bEnabled))
        return bEnabled;
    switch (nID) {
    case ID_TOOLS_SETTINGS:
    case ID_VIEW_OPERATIONAL:
        return m_pDocument != nullptr;
    case ID_TOOLS_SEARCH:
    case ID_TOOLS_SCHEMA:
        return m_pDocument && m_pDocument->GetDataSource();
    case ID_FILE_IMPORT_LDIF:
        // Into a server only: an LDIF file is edited entry by entry.
        return m_pDocument && dynamic_cast<CLdapSource*>(m_pDocument->GetDataSource()) != nullptr;
    case ID_TOOLS_SET_PASSWORD:
        return m_pDocument && m_pDocument->GetDataSource() &&
               m_pTreeView->GetItemEntry(m_pTreeView->GetSelectedItem());
    case ID_EDIT_COPY:
    case ID_EDIT_COPY_LDIF:
        return CanCopy(nID == ID_EDIT_COPY_LDIF);
    case ID_EDIT_COPY_ENTRY:
    case ID_EDIT_COPY_SUBTREE:
    case ID_FILE_EXPORT_SUBTREE:
        return m_nActiveColumn == 0 && m_pTreeView->CanTransfer(nID);
    case ID_EDIT_CUT:
        return m_nActiveColumn == 0 && m_pTreeView->CanCutEntry();
    case ID_EDIT_PASTE:
        // A cut entry is moved; otherwise the clipboard's LDIF is added.
        return m_nActiveColumn == 0 &&
               ((m_pTreeView->IsCutPending() && m_pTreeView->GetItemEntry(m_pTreeView->GetSelectedItem())) ||
                m_pTreeView->CanTransfer(nID));
    case ID_FILE_NEW_WINDOW:
    case ID_HELP_CONTENTS:
    case ID_APP_ABOUT:
    case ID_APP_EXIT:
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        return TRUE;
    default:
        // No handler anywhere.
        return FALSE;
    }
}

BOOL CMainFrame::OnCommand(UINT nID) {
    if (!IsCommandEnabled(nID))
        return FALSE;
    BOOL bHandled = FALSE;
    // The active pane handles Refresh itself.
    int nColumn = -1;
    CView* pPane = GetActivePane(nullptr, &nColumn);
    if (nID == ID_FILE_REFRESH && pPane) {
        if (nColumn == 0)
            m_pTreeView->OnRefresh();
        else
            m_pListView->OnRefresh();
        bHandled = TRUE;
    } else if (m_pDocument && m_pDocument->OnCmdMsg(nID)) {
        // The search panel's search is this window's too.
        if (nID == ID_FILE_STOP && m_pSearchPanel && m_pSearchPanel->IsSearching())
            m_pSearchPanel->OnStop();
        bHandled = TRUE;
    } else {
        switch (nID) {
        case ID_TOOLS_SETTINGS:
            OnSettings();
            bHandled = TRUE;
            break;
        case ID_TOOLS_SEARCH:
            OnSearch();
            bHandled = TRUE;
            break;
        case ID_TOOLS_SCHEMA:
            OnSchema();
            bHandled = TRUE;
            break;
        case ID_TOOLS_SET_PASSWORD:
            OnSetPassword();
            bHandled = TRUE;
            break;
        case ID_FILE_IMPORT_LDIF:
            RunImportLdif(*dynamic_cast<CLdapSource*>(m_pDocument->GetDataSource()), m_pTreeView, this);
            bHandled = TRUE;
            break;
        case ID_VIEW_OPERATIONAL:
            OnViewOperational();
            bHandled = TRUE;
            break;
        case ID_HELP_CONTENTS:
            OnHelpContents();
            bHandled = TRUE;
            break;
        case ID_EDIT_COPY:
        case ID_EDIT_COPY_LDIF:
            OnCopy(nID == ID_EDIT_COPY_LDIF);
            bHandled = TRUE;
            break;
        case ID_EDIT_COPY_ENTRY:
        case ID_EDIT_COPY_SUBTREE:
            m_pTreeView->OnCopyEntries(nID == ID_EDIT_COPY_SUBTREE);
            bHandled = TRUE;
            break;
        case ID_FILE_EXPORT_SUBTREE:
            m_pTreeView->OnExportSubtree();
            bHandled = TRUE;
            break;
        case ID_EDIT_CUT:
            m_pTreeView->OnCutEntry();
            bHandled = TRUE;
            break;
        case ID_EDIT_PASTE:
            m_pTreeView->OnPaste();
            bHandled = TRUE;
            break;
        case ID_FILE_NEW_WINDOW:
            emit NewWindowRequested();
            bHandled = TRUE;
            break;
        case ID_NEXT_PANE:
            OnNextPane();
            bHandled = TRUE;
            break;
        case ID_PREV_PANE:
            OnPrevPane();
            bHandled = TRUE;
            break;
        default:
            bHandled = CTarvoApp::OnAppCommand(this, nID);
            break;
        }
    }
    UpdateCommandUI();
    return bHandled;
}

void CMainFrame::UpdateCommandUI() {
    for (auto& [nID, pAction] : m_actions)
        pAction->setEnabled(IsCommandEnabled(nID));
    UpdateTitle();
}

void CMainFrame::UpdateTitle() {
    const QString session = m_pDocument ? m_pDocument->GetSessionName() : QString();
    // "[*]" is where Qt shows the modified mark; one in a name is doubled
    // so that it shows as typed.
    QString title = session.isEmpty()
                        ? QStringLiteral("Tarvo")
                        : QString(session).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")) +
                              QStringLiteral("[*] \u2014 Tarvo");
    if (title != windowTitle())
        setWindowTitle(title);
    setWindowModified(m_pDocument && m_pDocument->HasUnsavedChanges());
}

QAction* CMainFrame::GetCommandAction(UINT nID) const {
    auto it = m_actions.find(nID);
    return it == m_actions.end() ? nullptr : it->second;
}

CSearchPanel* CMainFrame::GetSearchPanel() {
    if (!m_pSearchPanel) {
        m_pSearchPanel = new CSearchPanel(m_pDocument, m_pTreeView, this);
        addDockWidget(Qt::BottomDockWidgetArea, m_pSearchPanel);
    }
    return m_pSearchPanel;
}

void CMainFrame::OnSearch() {
    // Below the selected entry, or below the session's top entry.
    CEntryNode* pEntry = m_pTreeView->GetItemEntry(m_pTreeView->GetSelectedItem());
    if (!pEntry)
        pEntry = m_pTreeView->GetItemEntry(m_pTreeView->GetRootItem());
    GetSearchPanel()->ShowForEntry(pEntry ? pEntry->GetDN() : CString());
}

CSchemaBrowser* CMainFrame::OnSchema() {
    CDataSource* pSource = m_pDocument ? m_pDocument->GetDataSource() : nullptr;
    if (!pSource)
        return nullptr;
    if (!m_pSchemaBrowser)
        m_pSchemaBrowser = new CSchemaBrowser(this);
    pSource->LoadSchema(nullptr);
    {
        CWaitCursor wait;
        m_pSchemaBrowser->SetSchema(pSource->WaitForSchema(kSchemaWaitMs));
    }
    m_pSchemaBrowser->show();
    m_pSchemaBrowser->raise();
    m_pSchemaBrowser->activateWindow();
    return m_pSchemaBrowser;
}

void CMainFrame::OnSetPassword() {
    m_pTreeView->OnSetPassword();
}

void CMainFrame::OnViewOperational() {
    const bool bShow = !m_pDocument->m_exportSettings.GetShowOperational();
    GetCommandAction(ID_VIEW_OPERATIONAL)->setChecked(bShow);
    m_pDocument->m_exportSettings.SetShowOperational(bShow);
    if (CDataSource* pSource = m_pDocument->GetDataSource()) {
        pSource->SetShowOperational(bShow);
        // The entry shown is read again with or without them.
        if (m_pListView->GetCurrentEntry())
            m_pListView->OnRefresh();
    }
}

void CMainFrame::OnSettings() {
    if (!m_pDocument)
        return;
    CSettingsDlg dialog(&m_pDocument->m_exportSettings, this);
    if (dialog.DoModal() == IDOK && m_pDocument->m_pDataSource)
        m_pDocument->m_pDataSource->SetPageSize(m_pDocument->m_exportSettings.GetEntriesPerPage());
}

void CMainFrame::OnHelpContents() {
    ShowHelpContents(this);
}

void CMainFrame::PostCloseRequest() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void CMainFrame::closeEvent(QCloseEvent* pEvent) {
    if (!m_bClosed) {
        m_bClosed = true;
        m_pIdleTimer->stop();
        // The workers end before any pane goes away; sends they still make
        // are run while the document waits.
        if (m_pDocument)
            m_pDocument->OnCloseDocument();
    }
    pEvent->accept();
    emit Closed();
}
