#include "session/TarvoDoc.h"

#include "ldif/LdifSource.h"
#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Services.h"
#include "platform/qt/QtServices.h"
#include "session/Commands.h"
#include "session/LoginSheet.h"
#include "session/MainFrame.h"
#include "session/View.h"
#include "source/DataSource.h"
#include "ui/AttributeListEditor.h"
#include "ui/LdapListView.h"
#include "ui/LdapTreeView.h"

#include <QFileInfo>

#include <algorithm>

namespace {

// Who is logged in where, or which file is open: what tells one window
// from another.
QString SessionName(const CConnectionParams& params) {
    if (!params.m_strLdifFile.IsEmpty())
        return QFileInfo(BytesToText(params.m_strLdifFile)).fileName();
    const QString who = params.m_strBindDN.IsEmpty() ? QStringLiteral("anonymous")
                                                     : BytesToText(DnForDisplay(params.m_strBindDN));
    QString where = BytesToText(params.m_strServer);
    // A local socket's path says all; a port means nothing there.
    if (!where.startsWith(QLatin1String("ldapi://")))
        where += QLatin1Char(':') + QString::number(params.m_nPort);
    return who + QStringLiteral(" @ ") + where;
}

constexpr int kTreeColumn = 0;
constexpr int kAttributeColumn = 1;

// While it lives, the program's boxes belong to pOwner: a source's failure
// comes up over its own window, not over whichever window has the focus.
class CBoxesOwnedBy {
public:
    explicit CBoxesOwnedBy(QWidget* pOwner)
        : m_pBoxes(dynamic_cast<CQtMessageBoxes*>(&CServices::MessageBoxes())) {
        if (!m_pBoxes || !pOwner) {
            m_pBoxes = nullptr;
            return;
        }
        m_pBefore = m_pBoxes->Owner();
        m_pBoxes->SetOwner(pOwner);
    }
    ~CBoxesOwnedBy() {
        if (m_pBoxes)
            m_pBoxes->SetOwner(m_pBefore);
    }
    CBoxesOwnedBy(const CBoxesOwnedBy&) = delete;
    CBoxesOwnedBy& operator=(const CBoxesOwnedBy&) = delete;

private:
    CQtMessageBoxes* m_pBoxes;
    QPointer<QWidget> m_pBefore;
};

} // namespace

// The UI's side of a source's reports: a failure in the stop box, a lost
// connection as a Yes/No question, both shown here on the UI thread, and
// the source's status texts, in its own window.
class CSourceReports : public CWnd, public ISourceEvents {
public:
    explicit CSourceReports(CTarvoDoc* pDocument) : m_pDocument(pDocument) {}
    ~CSourceReports() override { DestroyWindowHandle(); }
    CSourceReports(const CSourceReports&) = delete;
    CSourceReports& operator=(const CSourceReports&) = delete;

    void OperationFailed(const COperationFailure& failure) override {
        CBoxesOwnedBy owner(m_pDocument->GetFrame());
        AfxMessageBox(failure.strText, MB_OK | MB_ICONSTOP);
    }
    BOOL ConnectionLost(const CString& text) override {
        CBoxesOwnedBy owner(m_pDocument->GetFrame());
        return AfxMessageBox(text, MB_YESNO | MB_ICONSTOP) == IDYES ? TRUE : FALSE;
    }
    void StatusText(int nPane, const CString& text) override { m_pDocument->SetStatusText(text, nPane); }

private:
    CTarvoDoc* m_pDocument;
};

CTarvoDoc::CTarvoDoc() : m_pReports(std::make_unique<CSourceReports>(this)) {}

HWND CTarvoDoc::GetReportWindow() const {
    return m_pReports->GetSafeHwnd();
}

CTarvoDoc::~CTarvoDoc() {
    // At exit the source goes without Close: its destructor ends the
    // connection itself.
    delete m_pDataSource;
    m_pDataSource = nullptr;
}

void CTarvoDoc::Serialize(bool) {
    // There is no document file format.
    AfxMessageBox("Serializing", MB_OK | MB_ICONEXCLAMATION);
}

void CTarvoDoc::DeleteContents() {
    if (m_pDataSource)
        m_pDataSource->ShutdownWorkers(FALSE);
}

BOOL CTarvoDoc::OnNewDocument() {
    DeleteContents();
    if (ShowLogin())
        return TRUE;
    if (CMainFrame* pFrame = GetFrame())
        pFrame->PostCloseRequest();
    return FALSE;
}

BOOL CTarvoDoc::OnOpenDocument(const CString&) {
    DeleteContents();
    Serialize(false);
    SetNoSessionFlags();
    return TRUE;
}

void CTarvoDoc::OnCloseDocument() {
    DeleteContents();
}

BOOL CTarvoDoc::ShowLogin() {
    BOOL bOpened = FALSE;
    CEntryNode* pRoot = nullptr;
    std::vector<CEntryNode*> namingContexts;
    {
        // Over its own window, not wherever the last one was.
        CLoginSheet sheet(QStringLiteral("Login"), GetFrame(), 0);
        sheet.FillIn(m_startSource);
        m_startSource = CStartSource();
        if (m_fnBeforeLogin)
            m_fnBeforeLogin(sheet);
        if (sheet.DoModal() == 1 && sheet.GetOpenedSource()) {
            // Open is only offered without a session; should a session still
            // be open, it is closed properly rather than dropped.
            if (m_pDataSource)
                OnCloseSession();
            m_pDataSource = sheet.GetOpenedSource();
            sheet.SetOpenedSource(nullptr);
            m_pDataSource->SetReportWindow(GetReportWindow());
            m_pDataSource->SetPageSize(m_exportSettings.GetEntriesPerPage());
            m_pDataSource->SetShowOperational(m_exportSettings.GetShowOperational());
            // Read now, so the dialogs have it when the user first needs it.
            m_pDataSource->LoadSchema(dynamic_cast<CWnd*>(GetView(1)));
            pRoot = sheet.m_params.m_pRoot;
            namingContexts = sheet.m_params.m_namingContexts;
            m_strSessionName = SessionName(sheet.m_params);
            bOpened = TRUE;
        }
    }
    if (!bOpened) {
        SetNoSessionFlags();
        return FALSE;
    }
    // The naming contexts first: the first of them is where browsing starts.
    for (CEntryNode* pContext : namingContexts)
        UpdateAllViews(nullptr, 0, pContext);
    UpdateAllViews(nullptr, 0, pRoot);
    SetSessionFlags();
    return TRUE;
}

bool CTarvoDoc::HasUnsavedChanges() const {
    const auto* pLdif = dynamic_cast<const CLdifSource*>(m_pDataSource);
    return pLdif && pLdif->IsModified();
}

void CTarvoDoc::SetStatusText(const CString& text, int nPane) {
    // Into this document's own window: with several windows open, the
    // focused one must not show (nor this one miss) another's progress.
    CMessageDispatcher::Instance().Invoke([&]() -> LRESULT {
        if (m_pFrame)
            m_pFrame->SetPaneText(nPane, ToQString(text));
        else
            CServices::StatusBar().SetPaneText(nPane, text);
        return 0;
    });
}

void CTarvoDoc::UpdateAllViews(CView* pSender, LPARAM lHint, CObject* pHint) {
    // A copy: a view may be removed while the update runs.
    const std::vector<CView*> views = m_views;
    for (CView* pView : views)
        if (pView != pSender)
            pView->OnUpdate(pSender, lHint, pHint);
}

void CTarvoDoc::AddView(CView* pView) {
    if (pView && std::find(m_views.begin(), m_views.end(), pView) == m_views.end())
        m_views.push_back(pView);
}

void CTarvoDoc::RemoveView(CView* pView) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), pView), m_views.end());
}

CView* CTarvoDoc::GetView(int nIndex) const {
    return nIndex >= 0 && nIndex < static_cast<int>(m_views.size()) ? m_views[static_cast<size_t>(nIndex)]
                                                                    : nullptr;
}

void CTarvoDoc::ActivatePane(int nColumn) {
    if (CMainFrame* pFrame = GetFrame())
        pFrame->SetActivePane(nColumn);
}

void CTarvoDoc::SetFrame(CMainFrame* pFrame) {
    m_pFrame = pFrame;
}

CMainFrame* CTarvoDoc::GetFrame() const {
    return m_pFrame.data();
}

void CTarvoDoc::SetNoSessionFlags() {
    m_bOpenEnabled = true;
    m_bStopEnabled = false;
    m_bCloseEnabled = false;
    m_bRefreshEnabled = false;
    m_bSaveLdifEnabled = false;
    m_bEntryCommandsEnabled = false;
    m_bAttributeCommandsEnabled = false;
    if (CMainFrame* pFrame = GetFrame())
        pFrame->ShowConnectionSecurity(nullptr);
}

void CTarvoDoc::SetSessionFlags() {
    m_bOpenEnabled = false;
    m_bStopEnabled = true;
    m_bCloseEnabled = true;
    m_bRefreshEnabled = true;
    m_bSaveLdifEnabled = true;
    m_bEntryCommandsEnabled = true;
    m_bAttributeCommandsEnabled = true;
    if (CMainFrame* pFrame = GetFrame())
        pFrame->ShowConnectionSecurity(m_pDataSource);
}

bool CTarvoDoc::ShowsEntry(int nColumn) const {
    if (auto* pTree = dynamic_cast<CLdapTreeView*>(GetView(nColumn)); pTree && nColumn == kTreeColumn)
        return pTree->GetSelectedEntry() != nullptr;
    if (auto* pList = dynamic_cast<CLdapListView*>(GetView(nColumn)); pList && nColumn == kAttributeColumn)
        return pList->GetCurrentEntry() != nullptr;
    // Without the pane there is nothing to tell by.
    return true;
}

BOOL CTarvoDoc::OnUpdateCmdUI(UINT nID, BOOL& bEnabled) const {
    switch (nID) {
    case ID_FILE_OPEN_SOURCE:
        bEnabled = m_bOpenEnabled;
        return TRUE;
    case ID_FILE_CLOSE_SESSION:
    case ID_TB_CLOSE:
        bEnabled = m_bCloseEnabled;
        return TRUE;
    case ID_FILE_REFRESH:
    case ID_TB_REFRESH:
        bEnabled = m_bRefreshEnabled;
        return TRUE;
    case ID_FILE_STOP:
        bEnabled = m_bStopEnabled;
        return TRUE;
    case ID_FILE_SAVE_LDIF:
    case ID_TB_SAVE_LDIF:
        // It saves the subtree of the selected entry.
        bEnabled = m_bSaveLdifEnabled && ShowsEntry(kTreeColumn);
        return TRUE;
    case ID_TOOLS_ENTRY_ADD:
    case ID_TOOLS_ENTRY_DELETE:
    case ID_TOOLS_ENTRY_MODIFY:
    case ID_TB_ADD_ENTRY:
    case ID_TB_DELETE_ENTRY:
    case ID_TB_MODIFY_ENTRY:
        bEnabled = m_bEntryCommandsEnabled && ShowsEntry(kTreeColumn);
        return TRUE;
    case ID_TOOLS_ATTR_ADD:
    case ID_TOOLS_ATTR_DELETE:
    case ID_TOOLS_ATTR_MODIFY:
    case ID_TB_ADD_ATTRIBUTES:
    case ID_TB_DELETE_ATTRIBUTE:
    case ID_TB_MODIFY_ATTRIBUTE:
        bEnabled = m_bAttributeCommandsEnabled && ShowsEntry(kAttributeColumn);
        return TRUE;
    case ID_FILE_SAVE:
        bEnabled = TRUE;
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CTarvoDoc::OnCmdMsg(UINT nID) {
    switch (nID) {
    case ID_FILE_OPEN_SOURCE:
        OnFileOpen();
        return TRUE;
    case ID_FILE_CLOSE_SESSION:
    case ID_TB_CLOSE:
        OnCloseSession();
        return TRUE;
    case ID_FILE_REFRESH:
    case ID_TB_REFRESH:
        OnRefresh();
        return TRUE;
    case ID_FILE_STOP:
        OnStop();
        return TRUE;
    case ID_FILE_SAVE_LDIF:
    case ID_TB_SAVE_LDIF:
        OnSaveToLdif();
        return TRUE;
    case ID_TOOLS_ENTRY_ADD:
    case ID_TB_ADD_ENTRY:
        OnEntryAdd();
        return TRUE;
    case ID_TOOLS_ENTRY_DELETE:
    case ID_TB_DELETE_ENTRY:
        OnEntryDelete();
        return TRUE;
    case ID_TOOLS_ENTRY_MODIFY:
    case ID_TB_MODIFY_ENTRY:
        OnEntryModify();
        return TRUE;
    case ID_TOOLS_ATTR_ADD:
    case ID_TB_ADD_ATTRIBUTES:
        OnAttributesAdd();
        return TRUE;
    case ID_TOOLS_ATTR_DELETE:
    case ID_TB_DELETE_ATTRIBUTE:
        OnAttributesDelete();
        return TRUE;
    case ID_TOOLS_ATTR_MODIFY:
    case ID_TB_MODIFY_ATTRIBUTE:
        OnAttributesModify();
        return TRUE;
    case ID_FILE_SAVE:
        // The document has nothing to save.
        return TRUE;
    default:
        return FALSE;
    }
}

void CTarvoDoc::OnFileOpen() {
    if (m_pDataSource)
        return;
    ShowLogin();
}

void CTarvoDoc::OnStop() {
    // The flag is the whole program's: only this window's own pending Stop
    // makes a second one do nothing, never another window's.
    // An operation still running after that Stop (a level on a server that
    // stopped answering, behind the read that was stopped) can be stopped.
    const bool bMoreRunning = m_pDataSource && m_pDataSource->GetRunning() > 0;
    if (CEntryNode::IsStopRequested() && m_bStopPending &&
        m_nStopGeneration == CEntryNode::StopGeneration() && !bMoreRunning)
        return;
    CEntryNode::RequestStop();
    m_bStopPending = true;
    m_nStopGeneration = CEntryNode::StopGeneration();
    if (m_pDataSource)
        m_pDataSource->Stop();
}

void CTarvoDoc::OnCloseSession() {
    if (m_pDataSource) {
        m_pDataSource->ShutdownWorkers(TRUE);
        // The panes let go of their items before the entries they show are
        // freed with the source.
        if (auto* pTree = dynamic_cast<CLdapTreeView*>(GetView(kTreeColumn)))
            pTree->DeleteAllItems();
        if (auto* pList = dynamic_cast<CLdapListView*>(GetView(kAttributeColumn)))
            pList->ClearList();
        m_pDataSource->Close();
        delete m_pDataSource;
        m_pDataSource = nullptr;
    }
    if (auto* pTree = dynamic_cast<CLdapTreeView*>(GetView(kTreeColumn)))
        pTree->DeleteAllItems();
    if (auto* pList = dynamic_cast<CLdapListView*>(GetView(kAttributeColumn)))
        pList->ClearList();
    m_strSessionName.clear();
    SetNoSessionFlags();
    SetStatusText("Ready", 0);
    SetStatusText("", 2);
    SetStatusText("", 1);
}

void CTarvoDoc::OnRefresh() {
    if (auto* pTree = dynamic_cast<CLdapTreeView*>(GetView(kTreeColumn)))
        pTree->OnRefresh();
}

CView* CTarvoDoc::RequireActivePane(int nColumn) {
    int nRow = -1;
    int nActiveColumn = -1;
    CMainFrame* pFrame = GetFrame();
    CView* pPane = pFrame ? pFrame->GetActivePane(&nRow, &nActiveColumn) : nullptr;
    if (pPane && nActiveColumn == nColumn)
        return pPane;
    AfxMessageBox("The required operation cannot be performed in the current Window",
                  MB_OK | MB_ICONEXCLAMATION);
    return nullptr;
}

void CTarvoDoc::OnSaveToLdif() {
    if (auto* pTree = dynamic_cast<CLdapTreeView*>(RequireActivePane(kTreeColumn)))
        pTree->OnSaveToLdif();
}

void CTarvoDoc::OnEntryAdd() {
    if (auto* pTree = dynamic_cast<CLdapTreeView*>(RequireActivePane(kTreeColumn)))
        pTree->OnAddEntry();
}

void CTarvoDoc::OnEntryDelete() {
    if (auto* pTree = dynamic_cast<CLdapTreeView*>(RequireActivePane(kTreeColumn)))
        pTree->OnDeleteEntry();
}

void CTarvoDoc::OnEntryModify() {
    if (auto* pTree = dynamic_cast<CLdapTreeView*>(RequireActivePane(kTreeColumn)))
        pTree->OnModifyEntry();
}

void CTarvoDoc::OnAttributesAdd() {
    if (auto* pList = dynamic_cast<CLdapListView*>(RequireActivePane(kAttributeColumn)))
        pList->OnAddAttributes();
}

void CTarvoDoc::OnAttributesDelete() {
    if (auto* pList = dynamic_cast<CLdapListView*>(RequireActivePane(kAttributeColumn)))
        pList->OnDeleteAttributes();
}

void CTarvoDoc::OnAttributesModify() {
    if (auto* pList = dynamic_cast<CLdapListView*>(RequireActivePane(kAttributeColumn)))
        pList->OnModifyAttribute();
}
