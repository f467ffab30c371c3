#include "ui/LdapTreeView.h"

#include "ldif/LdifSource.h"
#include "ldif/LdifWriter.h"
#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Services.h"
#include "session/Commands.h"
#include "session/TarvoDoc.h"
#include "source/DataSource.h"
#include "source/Requests.h"
#include "source/Search.h"
#include "ui/AttributeListEditor.h"
#include "ui/ClipboardPaste.h"
#include "ui/EntryDlg.h"
#include "ui/EntryTreeModel.h"
#include "ui/ExportSubtreeDlg.h"
#include "ui/LdapListView.h"
#include "ui/LdifExport.h"
#include "ui/ModifyAttributeDlg.h"
#include "ui/SetPasswordDlg.h"
#include "ui/ShownTextDelegate.h"
#include "ui/TreeImages.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const char* const kLoadingText = "loading entries.........";
const char* const kRootDseLabel = "Root DSE";

// The tree control: items without an entry are never selected, the right
// button is the pane's, and Tab goes to the other pane.
class CEntryTreeControl : public QTreeView {
public:
    CEntryTreeControl(CLdapTreeView* pPane, QWidget* pParent) : QTreeView(pParent), m_pPane(pPane) {}

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* pEvent) const override {
        if (index.isValid() && !(index.flags() & Qt::ItemIsSelectable))
            return QItemSelectionModel::NoUpdate;
        return QTreeView::selectionCommand(index, pEvent);
    }

    void mousePressEvent(QMouseEvent* pEvent) override {
        if (pEvent->button() == Qt::RightButton) {
            QPoint point = pEvent->position().toPoint();
            m_pPane->OnRightButtonDown(indexAt(point), point);
            pEvent->accept();
            return;
        }
        QTreeView::mousePressEvent(pEvent);
    }

    // An entry dragged within this tree moves; nothing else is taken.
    void dragEnterEvent(QDragEnterEvent* pEvent) override {
        if (m_pPane->AcceptsDrop(pEvent->mimeData()))
            pEvent->acceptProposedAction();
        else
            pEvent->ignore();
    }
    void dragMoveEvent(QDragMoveEvent* pEvent) override {
        if (m_pPane->AcceptsDrop(pEvent->mimeData(), indexAt(pEvent->position().toPoint())))
            pEvent->acceptProposedAction();
        else
            pEvent->ignore();
    }
    void dropEvent(QDropEvent* pEvent) override {
        m_pPane->OnDrop(pEvent->mimeData(), indexAt(pEvent->position().toPoint()),
                        pEvent->modifiers().testFlag(Qt::ShiftModifier));
        // The move is the pane's, later: the view must not remove the dragged row.
        pEvent->setDropAction(Qt::IgnoreAction);
        pEvent->accept();
    }

    bool event(QEvent* pEvent) override {
        if (pEvent->type() == QEvent::KeyPress) {
            auto* pKey = static_cast<QKeyEvent*>(pEvent);
            // Copy is the pane's (the DN, the values), not one cell's text.
            if (pKey->matches(QKeySequence::Copy)) {
                m_pPane->OnCopy(false);
                return true;
            }
            if (pKey->key() == Qt::Key_Tab &&
                !(pKey->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
                m_pPane->OnTabKey();
                return true;
            }
        }
        return QTreeView::event(pEvent);
    }

private:
    CLdapTreeView* m_pPane;
};

} // namespace

// Marks a change made by the program: selection changes it causes read nothing.
class CLdapTreeView::CProgramChange {
public:
    explicit CProgramChange(CLdapTreeView* pPane) : m_pPane(pPane) { ++m_pPane->m_nProgramChange; }
    ~CProgramChange() { --m_pPane->m_nProgramChange; }
    CProgramChange(const CProgramChange&) = delete;
    CProgramChange& operator=(const CProgramChange&) = delete;

private:
    CLdapTreeView* m_pPane;
};

// Each notification is a change the program makes: the selection changes it
// causes read nothing. Items of a streaming expansion are linked before
// anything else looks at the tree; more found entries just join the batch.
class CLdapTreeView::CNotification {
public:
    explicit CNotification(CLdapTreeView* pPane, bool bFlushQueued = true) : m_change(pPane) {
        if (bFlushQueued)
            pPane->m_pModel->FlushQueued();
    }

private:
    CProgramChange m_change;
};

CLdapTreeView::CLdapTreeView(CTarvoDoc* pDocument, QWidget* pParent) : CView(pDocument, pParent) {
    m_pModel = new CEntryTreeModel(
        [this]() { return m_pDocument ? m_pDocument->GetExportSettings().GetEntryAsRDN() : 1; }, this);
    m_pTree = new CEntryTreeControl(this, this);
    m_pTree->setModel(m_pModel);
    m_pTree->setHeaderHidden(true);
    m_pTree->setUniformRowHeights(true);
    m_pTree->setRootIsDecorated(true);
    m_pTree->setItemsExpandable(true);
    m_pTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTree->setAnimated(false);
    m_pTree->setIconSize(QSize(16, 15));
    m_pTree->setFrameShape(QFrame::StyledPanel);
    // DNs read left to right, whatever letters they hold.
    m_pTree->setLayoutDirection(Qt::LeftToRight);
    m_pTree->setItemDelegate(new CShownTextDelegate(m_pTree));
    m_pTree->setDragEnabled(true);
    m_pTree->setAcceptDrops(true);
    m_pTree->setDropIndicatorShown(true);
    m_pTree->setDragDropMode(QAbstractItemView::DragDrop);
    m_pTree->viewport()->setAcceptDrops(true);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pTree);
    setFocusProxy(m_pTree);

    connect(m_pTree, &QTreeView::expanded, this, &CLdapTreeView::OnItemExpanded);
    connect(m_pTree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CLdapTreeView::OnSelectionChanged);

    m_pMenu = new QMenu(this);
    m_pAddAction = m_pMenu->addAction("&Add");
    m_pDeleteAction = m_pMenu->addAction("&Delete");
    m_pModifyAction = m_pMenu->addAction("&Modify");
    m_pMenu->addSeparator();
    m_pRefreshAction = m_pMenu->addAction("Re&fresh");
    m_pMenu->addSeparator();
    m_pSaveAction = m_pMenu->addAction("&Save to LDIF");
    m_pSaveAction->setStatusTip("Save the LDAP output into the LDIF file");
    m_pExportAction = m_pMenu->addAction("E&xport Subtree...");
    m_pMenu->addSeparator();
    m_pCutAction = m_pMenu->addAction("Cu&t");
    m_pCutAction->setShortcut(QKeySequence::Cut);
    connect(m_pCutAction, &QAction::triggered, this, &CLdapTreeView::OnCutEntry);
    m_pCopyEntryAction = m_pMenu->addAction("Copy &Entry");
    m_pCopySubtreeAction = m_pMenu->addAction("Copy S&ubtree");
    m_pPasteAction = m_pMenu->addAction("&Paste");
    m_pPasteAction->setShortcut(QKeySequence::Paste);
    connect(m_pCopyEntryAction, &QAction::triggered, this, [this] { OnCopyEntries(false); });
    connect(m_pCopySubtreeAction, &QAction::triggered, this, [this] { OnCopyEntries(true); });
    connect(m_pPasteAction, &QAction::triggered, this, &CLdapTreeView::OnPaste);
    connect(m_pExportAction, &QAction::triggered, this, &CLdapTreeView::OnExportSubtree);
    m_pMenu->addSeparator();
    m_pPasswordAction = m_pMenu->addAction("Set &Password...");
    connect(m_pPasswordAction, &QAction::triggered, this, &CLdapTreeView::OnSetPassword);
    // Shown beside the items only: the main window's commands take the keys
    // (a popup menu's own shortcuts never fire).
    m_pDeleteAction->setShortcut(QKeySequence::Delete);
    m_pRefreshAction->setShortcut(QKeySequence::Refresh);
    connect(m_pAddAction, &QAction::triggered, this, &CLdapTreeView::OnAddEntry);
    connect(m_pDeleteAction, &QAction::triggered, this, &CLdapTreeView::OnDeleteEntry);
    connect(m_pModifyAction, &QAction::triggered, this, &CLdapTreeView::OnModifyEntry);
    connect(m_pRefreshAction, &QAction::triggered, this, &CLdapTreeView::OnRefresh);
    connect(m_pSaveAction, &QAction::triggered, this, &CLdapTreeView::OnSaveToLdif);
}

const char* const CLdapTreeView::kPasswordSetText = "Password set for %s";

void CLdapTreeView::OnSetPassword() {
    CDataSource* pSource = m_pDocument ? m_pDocument->GetDataSource() : nullptr;
    CEntryNode* pEntry = GetItemEntry(GetSelectedItem());
    if (!pSource || !pEntry)
        return;
    const CString dn = pEntry->GetDN();
    CSetPasswordDlg dialog(dn, pSource->SchemaCache().ListsExtension(kPasswordModifyOid), this);
    if (dialog.DoModal() != IDOK)
        return;
    CString password = dialog.TakePassword();
    // The dialog ran the event loop: the session or the entry may be gone.
    pEntry = GetItemEntry(GetSelectedItem());
    if (m_pDocument->GetDataSource() != pSource || !pEntry || pEntry->GetDN() != dn) {
        std::fill(password.Str().begin(), password.Str().end(), '\0');
        return;
    }
    std::shared_ptr<CPasswordChange> pChange = pSource->SetPassword(pEntry, password, dialog.GetScheme());
    std::fill(password.Str().begin(), password.Str().end(), '\0');
    {
        CWaitCursor wait;
        CMessageDispatcher::Instance().WaitDispatching([&] { return pChange->bDone.load(); }, INFINITE);
    }
    if (!pChange->bChanged) {
        AfxMessageBox(pChange->strMessage, MB_OK | MB_ICONSTOP);
        return;
    }
    CString text;
    text.Format(kPasswordSetText, dn.GetString());
    m_pDocument->SetStatusText(text, 0);
    // The attribute pane shows the entry's userPassword as it is now.
    auto* pList = dynamic_cast<CLdapListView*>(m_pDocument->GetView(1));
    CEntryNode* pShown = pList ? pList->GetCurrentEntry() : nullptr;
    if (pShown && pShown->GetDN() == dn)
        pList->OnRefresh();
}

CLdapTreeView::~CLdapTreeView() {
    DestroyWindowHandle();
    DeleteAllItems();
}

QAction* CLdapTreeView::GetMenuAction(int nCommand) const {
    switch (nCommand) {
    case ID_ENTRY_ADD:
        return m_pAddAction;
    case ID_ENTRY_DELETE:
        return m_pDeleteAction;
    case ID_ENTRY_MODIFY:
        return m_pModifyAction;
    case ID_REFRESH:
        return m_pRefreshAction;
    case ID_SAVE_TO_LDIF:
        return m_pSaveAction;
    case ID_SET_PASSWORD:
        return m_pPasswordAction;
    case ID_CUT:
        return m_pCutAction;
    case ID_COPY_ENTRY:
        return m_pCopyEntryAction;
    case ID_COPY_SUBTREE:
        return m_pCopySubtreeAction;
    case ID_PASTE:
        return m_pPasteAction;
    case ID_EXPORT_SUBTREE:
        return m_pExportAction;
    default:
        return nullptr;
    }
}

CDataSource* CLdapTreeView::Source() const {
    return m_pDocument ? m_pDocument->GetDataSource() : nullptr;
}

void CLdapTreeView::SetStatus(const CString& text) {
    if (m_pDocument)
        m_pDocument->SetStatusText(text, 1);
}

void CLdapTreeView::FlushPendingItems() {
    CProgramChange change(this);
    m_pModel->FlushQueued();
}

// ---------------------------------------------------------------- items

CTreeItem* CLdapTreeView::NewEntryItem(CEntryNode* pEntry) {
    if (pEntry->IsReferral()) {
        // It points elsewhere (its "ref" URLs are among its attributes);
        // nothing below it is fetched and it is not followed.
        CTreeItem* pReferral = m_pModel->CreateItem(pEntry, TREE_IMAGE_REFERRAL, TREE_IMAGE_REFERRAL, false);
        pEntry->SetTreeItem(pReferral->hItem);
        return pReferral;
    }
    if (pEntry->IsLeaf() && !pEntry->GetTreeItem()) {
        // A new entry the server said has no children: no button, nothing
        // to fetch. One shown before starts over like any other.
        CTreeItem* pLeaf = m_pModel->CreateItem(pEntry, TREE_IMAGE_LEAF, TREE_IMAGE_LEAF, false);
        pEntry->SetTreeItem(pLeaf->hItem);
        return pLeaf;
    }
    pEntry->MarkUnexpanded();
    CTreeItem* pItem = m_pModel->CreateItem(pEntry, TREE_IMAGE_CLOSED_FOLDER, TREE_IMAGE_OPEN_FOLDER, true);
    CTreeItem* pPlaceholder =
        m_pModel->CreateItem(nullptr, TREE_IMAGE_CLOSED_FOLDER, TREE_IMAGE_CLOSED_FOLDER, true);
    pPlaceholder->pParent = pItem;
    pPlaceholder->bLinked = true;
    pItem->children.push_back(pPlaceholder);
    pEntry->SetTreeItem(pItem->hItem);
    return pItem;
}

HTREEITEM CLdapTreeView::InsertEntryItem(CEntryNode* pEntry, HTREEITEM hParent) {
    if (!pEntry)
        return HTREEITEM();
    CProgramChange change(this);
    m_pModel->FlushQueued();
    CTreeItem* pParent = hParent ? m_pModel->Find(hParent) : m_pModel->Root();
    if (!pParent || !pParent->bLinked)
        return HTREEITEM();
    CTreeItem* pItem = NewEntryItem(pEntry);
    m_pModel->LinkSorted(pParent, pItem);
    return pItem->hItem;
}

void CLdapTreeView::DeleteAllItems() {
    CProgramChange change(this);
    m_pModel->DeleteAll();
}

bool CLdapTreeView::IsAlive(CTreeItem* pItem, const CEntryNode* pEntry, HTREEITEM hItem) {
    CTreeItem* pFound = m_pModel->Find(hItem);
    return pFound && pFound == pItem && pFound->pEntry == pEntry && pFound->bLinked;
}

CTreeItem* CLdapTreeView::LiveItemOf(const CEntryNode* pEntry) {
    CTreeItem* pItem = m_pModel->Find(pEntry->GetTreeItem());
    return pItem && pItem->pEntry == pEntry && pItem->bLinked ? pItem : nullptr;
}

CTreeItem* CLdapTreeView::SelectedTreeItem() {
    QModelIndexList selected = m_pTree->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? nullptr : m_pModel->ItemOf(selected.first());
}

CEntryNode* CLdapTreeView::SelectedEntry(CTreeItem** ppItem) {
    CTreeItem* pItem = SelectedTreeItem();
    if (ppItem)
        *ppItem = pItem;
    return pItem ? pItem->pEntry : nullptr;
}

void CLdapTreeView::SelectTreeItem(CTreeItem* pItem, bool bByUser) {
    QModelIndex index = m_pModel->IndexOf(pItem);
    if (!index.isValid())
        return;
    if (bByUser) {
        m_pTree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    } else {
        CProgramChange change(this);
        m_pTree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
}

void CLdapTreeView::TurnLeafIntoParent(CEntryNode* pEntry, CTreeItem* pItem) {
    if (!pEntry->IsLeaf())
        return;
    pEntry->ClearLeaf();
    m_pModel->SetImages(pItem, TREE_IMAGE_CLOSED_FOLDER, TREE_IMAGE_OPEN_FOLDER);
    m_pModel->SetChildIndicator(pItem, true);
}

// ---------------------------------------------------------------- handle-based access

HTREEITEM CLdapTreeView::GetRootItem() {
    FlushPendingItems();
    CTreeItem* pRoot = m_pModel->Root();
    return pRoot->children.empty() ? HTREEITEM() : pRoot->children.front()->hItem;
}

HTREEITEM CLdapTreeView::GetSelectedItem() {
    CTreeItem* pItem = SelectedTreeItem();
    return pItem ? pItem->hItem : HTREEITEM();
}

HTREEITEM CLdapTreeView::GetParentItem(HTREEITEM hItem) {
    CTreeItem* pItem = m_pModel->Find(hItem);
    return pItem && pItem->pParent && pItem->pParent != m_pModel->Root() ? pItem->pParent->hItem
                                                                         : HTREEITEM();
}

HTREEITEM CLdapTreeView::GetChildItem(HTREEITEM hItem) {
    FlushPendingItems();
    CTreeItem* pItem = m_pModel->Find(hItem);
    return pItem && !pItem->children.empty() ? pItem->children.front()->hItem : HTREEITEM();
}

HTREEITEM CLdapTreeView::GetNextSiblingItem(HTREEITEM hItem) {
    FlushPendingItems();
    CTreeItem* pItem = m_pModel->Find(hItem);
    if (!pItem || !pItem->pParent || !pItem->bLinked)
        return HTREEITEM();
    size_t nNext = static_cast<size_t>(m_pModel->RowOf(pItem)) + 1;
    return nNext < pItem->pParent->children.size() ? pItem->pParent->children[nNext]->hItem : HTREEITEM();
}

std::vector<HTREEITEM> CLdapTreeView::GetChildItems(HTREEITEM hItem) {
    FlushPendingItems();
    std::vector<HTREEITEM> items;
    CTreeItem* pItem = hItem ? m_pModel->Find(hItem) : m_pModel->Root();
    if (pItem)
        for (CTreeItem* pChild : pItem->children)
            items.push_back(pChild->hItem);
    return items;
}

CEntryNode* CLdapTreeView::GetItemEntry(HTREEITEM hItem) {
    CTreeItem* pItem = m_pModel->Find(hItem);
    return pItem ? pItem->pEntry : nullptr;
}

CString CLdapTreeView::GetItemText(HTREEITEM hItem) {
    CTreeItem* pItem = m_pModel->Find(hItem);
    return pItem ? m_pModel->DisplayText(pItem) : CString();
}

BOOL CLdapTreeView::GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) {
    CTreeItem* pItem = m_pModel->Find(hItem);
    if (!pItem)
        return FALSE;
    nImage = pItem->nImage;
    nSelectedImage = pItem->nSelectedImage;
    return TRUE;
}

BOOL CLdapTreeView::ItemHasButton(HTREEITEM hItem) {
    CTreeItem* pItem = m_pModel->Find(hItem);
    return pItem && m_pModel->hasChildren(m_pModel->IndexOf(pItem)) ? TRUE : FALSE;
}

BOOL CLdapTreeView::ItemHasFixedText(HTREEITEM hItem) {
    CTreeItem* pItem = m_pModel->Find(hItem);
    return pItem && pItem->bFixedText ? TRUE : FALSE;
}

HTREEITEM CLdapTreeView::FindEntryItem(const CEntryNode* pEntry) {
    FlushPendingItems();
    CTreeItem* pItem = pEntry ? LiveItemOf(pEntry) : nullptr;
    return pItem ? pItem->hItem : HTREEITEM();
}

BOOL CLdapTreeView::SelectItem(HTREEITEM hItem) {
    FlushPendingItems();
    CTreeItem* pItem = m_pModel->Find(hItem);
    if (!pItem || !pItem->pEntry || !pItem->bLinked)
        return FALSE;
    SelectTreeItem(pItem, false);
    return TRUE;
}

BOOL CLdapTreeView::ClickItem(HTREEITEM hItem) {
    FlushPendingItems();
    CTreeItem* pItem = m_pModel->Find(hItem);
    if (!pItem || !pItem->bLinked)
        return FALSE;
    QModelIndex index = m_pModel->IndexOf(pItem);
    m_pTree->scrollTo(index);
    QPoint point = m_pTree->visualRect(index).center();
    // Press and release on the row, as the mouse does.
    QMouseEvent press(QEvent::MouseButtonPress, point, m_pTree->viewport()->mapToGlobal(point),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_pTree->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, point, m_pTree->viewport()->mapToGlobal(point),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_pTree->viewport(), &release);
    return SelectedTreeItem() == pItem ? TRUE : FALSE;
}

BOOL CLdapTreeView::ExpandItem(HTREEITEM hItem) {
    FlushPendingItems();
    CTreeItem* pItem = m_pModel->Find(hItem);
    if (!pItem || !pItem->bLinked)
        return FALSE;
    m_pTree->expand(m_pModel->IndexOf(pItem));
    return TRUE;
}

void CLdapTreeView::RightClickItem(HTREEITEM hItem) {
    FlushPendingItems();
    CTreeItem* pItem = m_pModel->Find(hItem);
    QModelIndex index = pItem ? m_pModel->IndexOf(pItem) : QModelIndex();
    m_pTree->scrollTo(index);
    OnRightButtonDown(index, m_pTree->visualRect(index).center());
}

// ---------------------------------------------------------------- events

void CLdapTreeView::OnItemExpanded(const QModelIndex& index) {
    CProgramChange change(this);
    m_pModel->FlushQueued();
    CTreeItem* pItem = m_pModel->ItemOf(index);
    if (!pItem || !pItem->pEntry)
        return;
    CEntryNode* pEntry = pItem->pEntry;
    if (!pEntry->IsUnexpanded()) {
        // A level that was stopped or failed is read again when opened again.
        if (HasReadAgainMarker(pItem) && pEntry->CanRefresh() && Source()) {
            SetStatus("Searching  " + DnForDisplay(pEntry->GetDN()));
            pEntry->BeginOperation(OP_REFRESH);
            Source()->Refresh(pEntry, this, pItem->hItem);
        }
        // Nothing is fetched: no "Searching" that nothing would end.
        return;
    }
    SetStatus("Searching  " + DnForDisplay(pEntry->GetDN()));
    pEntry->ToggleUnexpanded();
    if (!pItem->children.empty())
        m_pModel->DeleteItem(pItem->children.front());
    CDataSource* pSource = Source();
    if (!pSource)
        return;
    pEntry->BeginOperation(OP_EXPAND);
    pSource->Expand(pEntry, this, pItem->hItem);
}

void CLdapTreeView::ShowSelectedEntry() {
    CEntryNode* pEntry = SelectedEntry();
    auto* pList = dynamic_cast<CLdapListView*>(m_pDocument ? m_pDocument->GetView(1) : nullptr);
    if (pEntry && pList && pList->GetCurrentEntry() != pEntry)
        OnSelectionChanged();
}

void CLdapTreeView::OnSelectionChanged() {
    if (m_nProgramChange)
        return;
    CEntryNode* pEntry = SelectedEntry();
    CDataSource* pSource = Source();
    if (!pEntry || !pSource)
        return;
    CView* pAttributePane = m_pDocument->GetView(1);
    auto* pList = dynamic_cast<CLdapListView*>(pAttributePane);
    if (!pEntry->CanRefreshAttributes() && pList) {
        // A worker still reads or changes this entry's cache: the pane
        // shows the entry without reading the cache now, and this read,
        // which the source runs after the other one, fills it.
        pList->ShowEntryPending(pEntry);
        pEntry->BeginOperation(OP_READ_ATTRIBUTES);
        pSource->ReadAttributes(pEntry, &pEntry->m_attributes, pAttributePane, TRUE);
        return;
    }
    pEntry->BeginOperation(OP_READ_ATTRIBUTES);
    pSource->ReadAttributes(pEntry, &pEntry->m_attributes, pAttributePane, TRUE);
    m_pDocument->UpdateAllViews(this, HINT_SHOW_ENTRY, pEntry);
}

void CLdapTreeView::OnRightButtonDown(const QModelIndex& index, const QPoint& point) {
    CTreeItem* pItem = m_pModel->ItemOf(index);
    if (!pItem || !pItem->pEntry)
        return;
    SelectTreeItem(pItem, false);
    CEntryNode* pEntry = pItem->pEntry;
    m_pAddAction->setEnabled(pEntry->CanAddEntry());
    m_pModifyAction->setEnabled(pEntry->CanModifyEntry());
    m_pDeleteAction->setEnabled(pEntry->CanDeleteEntry());
    m_pRefreshAction->setEnabled(pEntry->CanRefresh());
    m_pSaveAction->setEnabled(pEntry->CanSaveToLdif());
    for (int nCommand : {ID_COPY_ENTRY, ID_COPY_SUBTREE, ID_PASTE, ID_EXPORT_SUBTREE})
        GetMenuAction(nCommand)->setEnabled(CanTransfer(nCommand));
    m_pCutAction->setEnabled(CanCutEntry());
    // A cut entry waiting is moved by Paste.
    if (IsCutPending())
        m_pPasteAction->setEnabled(true);
    m_pMenu->popup(m_pTree->viewport()->mapToGlobal(point));
}

void CLdapTreeView::OnTabKey() {
    if (m_pDocument)
        m_pDocument->ActivatePane(1);
}

void CLdapTreeView::OnUpdate(CView*, LPARAM lHint, CObject* pHint) {
    // A new root; the other hints are the attribute pane's.
    auto* pEntry = dynamic_cast<CEntryNode*>(pHint);
    if (lHint != HINT_NONE || !pEntry)
        return;
    const HTREEITEM hItem = InsertEntryItem(pEntry, HTREEITEM());
    // A server's entry without a name is its root DSE, and is called so.
    if (pEntry->GetDN().IsEmpty() && !dynamic_cast<CLdifSource*>(Source()))
        if (CTreeItem* pItem = m_pModel->Find(hItem))
            m_pModel->SetFixedText(pItem, kRootDseLabel);
    // A new session's top entry is the selection, and its attributes show
    // as if the user had chosen it (once the attribute pane has cleared
    // itself for the new session).
    if (!SelectedEntry()) {
        if (CTreeItem* pItem = m_pModel->Find(hItem)) {
            SelectTreeItem(pItem, false);
            QMetaObject::invokeMethod(this, &CLdapTreeView::ShowSelectedEntry, Qt::QueuedConnection);
        }
    }
}

void CLdapTreeView::OnActivateView() {
    if (!m_pDocument)
        return;
    m_pDocument->m_bAttributeCommandsEnabled = false;
    m_pDocument->m_bEntryCommandsEnabled = m_pDocument->m_bRefreshEnabled;
}

// ---------------------------------------------------------------- commands

void CLdapTreeView::OnAddEntry() {
    FlushPendingItems();
    CTreeItem* pItem = nullptr;
    CEntryNode* pParent = SelectedEntry(&pItem);
    CDataSource* pSource = Source();
    // The menu offers Add only while the entry allows it; the Tools menu
    // reaches here without that check.
    if (!pParent || !pSource || !pParent->CanAddEntry())
        return;
    HTREEITEM hItem = pItem->hItem;
    pParent->BeginOperation(OP_ADD_ENTRY);
    {
        CProgramChange change(this);
        TurnLeafIntoParent(pParent, pItem);
    }
    CEntryDlg dlg(this);
    dlg.SetSchema(pSource->WaitForSchema(kSchemaWaitMs));
    dlg.SetParentDN(pParent->GetDN());
    int nResult = dlg.DoModal();
    FlushPendingItems();
    // The dialog ran the event loop: the parent may have gone meanwhile.
    if (!IsAlive(pItem, pParent, hItem) || Source() != pSource) {
        return;
    }
    if (nResult != IDOK) {
        pParent->EndOperation(OP_ADD_ENTRY);
        return;
    }
    auto* pNew = new CEntryNode;
    CString parentDN = pParent->GetDN();
    // Below an empty DN the relative name is the whole DN.
    pNew->SetDN(parentDN.IsEmpty() ? dlg.GetRelativeName() : dlg.GetRelativeName() + "," + parentDN);
    pNew->SetParent(pParent);
    dlg.TakeAttributes(pNew->m_attributes);
    pSource->AddEntry(pParent, pNew, hItem, this);
}

void CLdapTreeView::OnModifyEntry() {
    FlushPendingItems();
    CTreeItem* pItem = nullptr;
    CEntryNode* pEntry = SelectedEntry(&pItem);
    if (!pEntry || !pEntry->CanModifyEntry())
        return;
    HTREEITEM hItem = pItem->hItem;
    m_strTextAtModify = m_pModel->DisplayText(pItem);
    CString oldDN = pEntry->GetDN();
    if (oldDN.IsEmpty())
        return;
    CModifyAttributeDlg dlg(CModifyAttributeDlg::MODE_ENTRY, this);
    dlg.SetReadOnlyText(oldDN);
    dlg.SetEditText(CString());
    CExportSettings& settings = m_pDocument->GetExportSettings();
    dlg.SetDeleteOldRdn(settings.GetDeleteOldRdn());
    int nResult = dlg.DoModal();
    FlushPendingItems();
    CDataSource* pSource = Source();
    if (nResult != IDOK || !pSource || !IsAlive(pItem, pEntry, hItem) || !pEntry->CanModifyEntry())
        return;
    CString parentDN = DnParent(oldDN);
    // The dialog let only a new name under the same parent through.
    CTypedName name = DnNameFromTyped(dlg.GetEditText().View(), parentDN);
    if (name.strRdn.IsEmpty() || name.bOtherParent)
        return;
    CString newRDN = name.strRdn;
    CString oldRDN = pEntry->GetRDN();
    CString newDN = parentDN.IsEmpty() ? newRDN : newRDN + "," + parentDN;
    settings.SetDeleteOldRdn(dlg.GetDeleteOldRdn());
    pEntry->BeginOperation(OP_MODIFY_ENTRY);
    pSource->ModifyEntry(pEntry, newRDN, oldRDN, newDN, m_strTextAtModify, this, dlg.GetDeleteOldRdn());
}

bool CLdapTreeView::CanCopy(bool) {
    return SelectedEntry() != nullptr;
}

void CLdapTreeView::OnCopy(bool bAsLdif) {
    CEntryNode* pEntry = SelectedEntry();
    if (!pEntry)
        return;
    std::string text;
    int nSkipped = 0;
    if (bAsLdif)
        nSkipped = AppendEntryText(text, pEntry, "\n");
    else
        text = pEntry->GetDN().Str();
    QApplication::clipboard()->setText(BytesToText(CString(text)));
    if (nSkipped > 0)
        SetStatus(SkippedNamesText(nSkipped));
}

void CLdapTreeView::OnDeleteEntry() {
    FlushPendingItems();
    CTreeItem* pItem = nullptr;
    CEntryNode* pEntry = SelectedEntry(&pItem);
    if (!pEntry || !Source() || !pEntry->CanDeleteEntry())
        return;
    HTREEITEM hItem = pItem->hItem;
    CString question = "Delete the entry " + DnForDisplay(pEntry->GetDN()) + " from the directory?";
    if (AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    FlushPendingItems();
    CDataSource* pSource = Source();
    if (!pSource || !IsAlive(pItem, pEntry, hItem) || !pEntry->CanDeleteEntry())
        return;
    pEntry->BeginOperation(OP_DELETE_ENTRY);
    pSource->DeleteEntry(pEntry, this);
}

void CLdapTreeView::OnRefresh() {
    FlushPendingItems();
    CTreeItem* pItem = nullptr;
    SelectedEntry(&pItem);
    RefreshItem(pItem);
}

void CLdapTreeView::RefreshItem(CTreeItem* pItem) {
    CEntryNode* pEntry = pItem ? pItem->pEntry : nullptr;
    CDataSource* pSource = Source();
    if (!pEntry || !pSource || !pEntry->CanRefresh())
        return;
    CProgramChange change(this);
    pEntry->BeginOperation(OP_REFRESH);
    TurnLeafIntoParent(pEntry, pItem);
    pSource->Refresh(pEntry, this, pItem->hItem);
    if (pEntry->IsUnexpanded())
        pEntry->ToggleUnexpanded();
}

void CLdapTreeView::RefreshLoadedLevels(const std::set<std::string>& keys, bool bAll) {
    FlushPendingItems();
    CDataSource* pSource = Source();
    if (!pSource)
        return;
    auto isAffected = [&](const CEntryNode* pEntry) {
        return bAll || keys.count(DnCompareKey(pEntry->GetDN().View())) > 0;
    };
    // The highest affected levels only: a refresh reads everything loaded below it.
    std::vector<CTreeItem*> pending(m_pModel->Root()->children);
    std::vector<CTreeItem*> levels;
    while (!pending.empty()) {
        CTreeItem* pItem = pending.back();
        pending.pop_back();
        CEntryNode* pEntry = pItem->pEntry;
        if (!pEntry || pItem->bMarker || pEntry->IsUnexpanded())
            continue;
        if (isAffected(pEntry) && pEntry->CanRefresh())
            levels.push_back(pItem);
        else
            pending.insert(pending.end(), pItem->children.begin(), pItem->children.end());
    }
    CProgramChange change(this);
    for (CTreeItem* pItem : levels) {
        pItem->pEntry->BeginOperation(OP_REFRESH);
        TurnLeafIntoParent(pItem->pEntry, pItem);
        pSource->Refresh(pItem->pEntry, this, pItem->hItem);
    }
    auto* pList = dynamic_cast<CLdapListView*>(m_pDocument ? m_pDocument->GetView(1) : nullptr);
    if (pList && pList->GetCurrentEntry() && isAffected(pList->GetCurrentEntry()))
        pList->OnRefresh();
}

void CLdapTreeView::GoToEntry(const CString& dn) {
    m_strGoTo = dn;
    m_nGoToWaits = 0;
    ContinueGoTo(++m_nGoToGeneration);
}

void CLdapTreeView::EndGoTo(const CString& status) {
    m_strGoTo.Empty();
    if (!status.IsEmpty())
        SetStatus(status);
}

void CLdapTreeView::ContinueGoTo(int nGeneration) {
    if (nGeneration != m_nGoToGeneration || m_strGoTo.IsEmpty())
        return;
    // Levels are fetched as needed; each wait comes back here a little later.
    constexpr int kWaitMs = 20;
    constexpr int kMaxWaits = 60000 / kWaitMs;
    auto waitAndRetry = [this, nGeneration]() {
        if (++m_nGoToWaits > kMaxWaits) {
            EndGoTo("The entry " + DnForDisplay(m_strGoTo) + " could not be reached in time.");
            return;
        }
        QTimer::singleShot(kWaitMs, this, [this, nGeneration]() { ContinueGoTo(nGeneration); });
    };
    FlushPendingItems();
    const std::string target = DnCompareKey(m_strGoTo.View());
    auto isBelow = [&](const std::string& key) {
        return key.empty() || key == target ||
               (target.size() > key.size() + 1 &&
                target.compare(target.size() - key.size(), key.size(), key) == 0 &&
                target[target.size() - key.size() - 1] == ',');
    };
    // Of several top entries (a server's naming contexts), the one the
    // entry is below.
    CTreeItem* pRoot = m_pModel->Root();
    CTreeItem* pItem = pRoot->children.empty() ? nullptr : pRoot->children.front();
    size_t nBest = 0;
    for (CTreeItem* pTop : pRoot->children) {
        const std::string key = pTop->pEntry ? DnCompareKey(pTop->pEntry->GetDN().View()) : std::string();
        if (!key.empty() && isBelow(key) && key.size() > nBest) {
            pItem = pTop;
            nBest = key.size();
        }
    }
    while (pItem && pItem->pEntry) {
        CEntryNode* pEntry = pItem->pEntry;
        std::string key = DnCompareKey(pEntry->GetDN().View());
        if (key == target) {
            m_strGoTo.Empty();
            m_pTree->scrollTo(m_pModel->IndexOf(pItem));
            // Selected as by the user, so its attributes are read and shown.
            if (SelectedTreeItem() == pItem)
                OnSelectionChanged();
            else
                SelectTreeItem(pItem, true);
            m_pTree->setFocus();
            return;
        }
        if (!isBelow(key) && !pEntry->IsRoot()) {
            EndGoTo("The entry " + DnForDisplay(m_strGoTo) + " is not below " +
                    DnForDisplay(pEntry->GetDN()) + ".");
            return;
        }
        if (pEntry->IsUnexpanded()) {
            ExpandItem(pItem->hItem);
            waitAndRetry();
            return;
        }
        if (!pEntry->CanRefresh()) {
            waitAndRetry(); // its level is still being read
            return;
        }
        m_pTree->expand(m_pModel->IndexOf(pItem));
        CTreeItem* pNext = nullptr;
        for (CTreeItem* pChild : pItem->children) {
            if (pChild->pEntry && isBelow(DnCompareKey(pChild->pEntry->GetDN().View())) &&
                !DnCompareKey(pChild->pEntry->GetDN().View()).empty()) {
                pNext = pChild;
                break;
            }
        }
        if (!pNext) {
            // A level read whole without it: there is no such entry. A level
            // cut short by a limit may just not show it.
            const bool bCut = !pItem->children.empty() && pItem->children.back()->bMarker;
            EndGoTo("The entry " + DnForDisplay(m_strGoTo) +
                    (bCut ? " is not among the entries shown." : " does not exist."));
            return;
        }
        pItem = pNext;
    }
    EndGoTo("The entry " + DnForDisplay(m_strGoTo) + " is not in the tree.");
}

void CLdapTreeView::OnSaveToLdif() {
    RunExporter([](CLdifExport& exporter, CEntryNode* pEntry) { exporter.Run(pEntry); });
}

void CLdapTreeView::RunExporter(const std::function<void(CLdifExport&, CEntryNode*)>& fnRun) {
    FlushPendingItems();
    CEntryNode* pEntry = SelectedEntry();
    if (!pEntry || !Source() || !pEntry->CanSaveToLdif())
        return;
    QPointer<CLdapTreeView> pAlive(this);
    CDataSource* pStartSource = Source();
    m_bExporting = true;
    CLdifExport exporter(m_pDocument, this);
    fnRun(exporter, pEntry);
    if (!pAlive)
        return;
    m_bExporting = false;
    std::vector<CEntryNode*> deferred;
    deferred.swap(m_deferredRetire);
    // A source closed meanwhile has no worker left that could reach them.
    CDataSource* pSource = Source();
    for (CEntryNode* pDeleted : deferred) {
        if (pSource && pSource == pStartSource)
            pSource->RetireEntry(pDeleted);
        else
            delete pDeleted;
    }
}

bool CLdapTreeView::CanTransfer(UINT nCommand) {
    CEntryNode* pEntry = SelectedEntry();
    if (!pEntry || !Source())
        return false;
    if (nCommand == ID_EDIT_PASTE || nCommand == ID_PASTE)
        return pEntry->CanAddEntry() != FALSE;
    // The synthetic top of a file is no entry to copy; its file is.
    return pEntry->CanSaveToLdif() &&
           !(pEntry->IsRoot() && nCommand != ID_FILE_EXPORT_SUBTREE && nCommand != ID_EXPORT_SUBTREE);
}

void CLdapTreeView::OnCopyEntries(bool bSubtree) {
    RunExporter([bSubtree](CLdifExport& exporter, CEntryNode* pEntry) { exporter.Copy(pEntry, bSubtree); });
}

void CLdapTreeView::OnExportSubtree() {
    CEntryNode* pEntry = SelectedEntry();
    if (!pEntry || !Source())
        return;
    const CString dn = pEntry->GetDN();
    CExportSubtreeDlg dialog(dn, m_pDocument->GetExportSettings().GetFilename(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The dialog ran the event loop: the entry may be gone.
    if (!SelectedEntry() || SelectedEntry()->GetDN() != dn)
        return;
    const CString filter = dialog.GetFilter();
    const CString path = dialog.GetPath();
    RunExporter(
        [&](CLdifExport& exporter, CEntryNode* pSelected) { exporter.Export(pSelected, filter, path); });
}

void CLdapTreeView::OnPaste() {
    FlushPendingItems();
    // A cut entry waiting is moved here; the clipboard's text stays for later.
    if (IsCutPending()) {
        PasteCutEntry(GetSelectedItem());
        return;
    }
    if (CEntryNode* pEntry = SelectedEntry(); pEntry && Source() && pEntry->CanAddEntry())
        PasteClipboardLdif(pEntry);
}

void CLdapTreeView::PasteClipboardLdif(CEntryNode* pTarget) {
    CTreeItem* pItem = LiveItemOf(pTarget);
    if (!pItem)
        return;
    const HTREEITEM hItem = pItem->hItem;
    QPointer<CLdapTreeView> pAlive(this);
    CDataSource* pSource = Source();
    CClipboardPaste paste(m_pDocument, this);
    pTarget->BeginOperation(OP_ADD_ENTRY);
    const BOOL bSent = paste.Run(pTarget);
    if (!pAlive || Source() != pSource)
        return;
    pItem = LiveItemOf(pTarget);
    if (!pItem || pItem->hItem != hItem)
        return;
    pTarget->EndOperation(OP_ADD_ENTRY);
    // The entries added show below the target (and below its loaded
    // children) as the source now has them.
    const CPasteReport& report = paste.Report();
    if (bSent && report.nAdded + report.nReplaced > 0 && SelectedEntry() == pTarget)
        OnRefresh();
    // A replaced entry may be the one the attribute pane shows.
    auto* pList = dynamic_cast<CLdapListView*>(m_pDocument->GetView(1));
    if (report.nReplaced > 0 && pList && pList->GetCurrentEntry())
        pList->OnRefresh();
}

// ---------------------------------------------------------------- notifications

void CLdapTreeView::LevelLimited(HTREEITEM hItem, int nResultCode) {
    CNotification notification(this);
    m_limitedLevels.emplace_back(hItem, nResultCode);
}

void CLdapTreeView::LevelIncomplete(HTREEITEM hItem, const CString& strText) {
    CNotification notification(this);
    m_incompleteLevels.emplace_back(hItem, strText);
}

void CLdapTreeView::EntriesDropped(HTREEITEM hItem, int nDropped) {
    CNotification notification(this);
    m_droppedLevels.emplace_back(hItem, nDropped);
}

void CLdapTreeView::ReferencesFound(HTREEITEM hItem, const CStringArray& urls) {
    CNotification notification(this);
    CTreeItem* pItem = m_pModel->Find(hItem);
    if (!pItem || !pItem->pEntry || !pItem->bLinked)
        return;
    for (const CString& url : urls) {
        const CString text = "Search reference (not followed): " + url;
        AddMarker(pItem, text, text, false);
    }
}

void CLdapTreeView::SearchDone(HTREEITEM hItem, int nCount) {
    CNotification notification(this);
    const char* pszLimit = nullptr;
    auto limited = std::find_if(m_limitedLevels.begin(), m_limitedLevels.end(),
                                [hItem](const auto& level) { return level.first == hItem; });
    if (limited != m_limitedLevels.end()) {
        pszLimit = LimitOfResult(limited->second);
        m_limitedLevels.erase(limited);
    }
    CString incomplete;
    auto cut = std::find_if(m_incompleteLevels.begin(), m_incompleteLevels.end(),
                            [hItem](const auto& level) { return level.first == hItem; });
    if (cut != m_incompleteLevels.end()) {
        incomplete = cut->second;
        m_incompleteLevels.erase(cut);
    }
    CString dropped;
    auto outside = std::find_if(m_droppedLevels.begin(), m_droppedLevels.end(),
                                [hItem](const auto& level) { return level.first == hItem; });
    if (outside != m_droppedLevels.end()) {
        dropped.Format(" (%d entries the server sent are not below this entry and are not shown)",
                       outside->second);
        m_droppedLevels.erase(outside);
    }
    // A stop says so plainly (the marker row has the count); a level that
    // failed or would not end says why.
    if (nCount == SEARCH_STOPPED) {
        SetStatus("Search Abandoned" + dropped);
    } else if (!incomplete.IsEmpty()) {
        SetStatus(incomplete + dropped);
    } else if (nCount == SEARCH_FAILED) {
        SetStatus("Error in search operation" + dropped);
    } else {
        CString text;
        text.Format("Search Completed  -  %d entries found", nCount);
        if (pszLimit)
            text += CString(" (") + pszLimit + " reached)";
        SetStatus(text + dropped);
    }
    if (nCount == SEARCH_FAILED || nCount == SEARCH_STOPPED) {
        OnExpansionEnded(hItem);
        // What came stays, and the level says it is not whole; opening it
        // again or Refresh reads it again.
        CTreeItem* pItem = m_pModel->Find(hItem);
        if (!incomplete.IsEmpty() && pItem && pItem->pEntry && pItem->bLinked &&
            !pItem->pEntry->IsUnexpanded())
            AddMarker(pItem, incomplete, incomplete, true);
        return;
    }
    if (pszLimit) {
        // Never a level that looks complete when the server held some back,
        // and never a leaf for one that showed nothing.
        if (CTreeItem* pItem = m_pModel->Find(hItem); pItem && pItem->pEntry && pItem->bLinked)
            AddLimitMarker(pItem, nCount, pszLimit);
        return;
    }
    if (nCount != 0)
        return;
    CTreeItem* pOld = m_pModel->Find(hItem);
    if (!pOld || !pOld->pEntry || !pOld->bLinked)
        return;
    // No children: the entry becomes a leaf, shown by a new item without an
    // expand button in the old one's place.
    CEntryNode* pEntry = pOld->pEntry;
    pEntry->MarkLeaf();
    CString text =
        DnForDisplay(m_pDocument->GetExportSettings().GetEntryAsRDN() ? pEntry->GetRDN() : pEntry->GetDN());
    if (text.IsEmpty() && pOld->bFixedText)
        text = pOld->strFixedText; // "Root DSE"
    CTreeItem* pNew = m_pModel->CreateItem(pEntry, TREE_IMAGE_LEAF, TREE_IMAGE_LEAF, false);
    pNew->bFixedText = true;
    pNew->strFixedText = text;
    m_pModel->LinkAt(pOld->pParent, pNew, m_pModel->RowOf(pOld));
    pEntry->SetTreeItem(pNew->hItem);
    SelectTreeItem(pNew, false);
    m_pModel->DeleteItem(pOld);
    return;
}

void CLdapTreeView::AddLimitMarker(CTreeItem* pItem, int nShown, const char* pszLimit) {
    CString text;
    text.Format("Only %d entries shown: the server's %s was reached.", nShown, pszLimit);
    // Short enough for a narrow pane at any depth; the sentence is the tooltip.
    CString shortText;
    shortText.Format("%d shown (%s)", nShown, pszLimit);
    AddMarker(pItem, shortText, text, false);
}

void CLdapTreeView::AddMarker(CTreeItem* pItem, const CString& text, const CString& toolTip,
                              bool bReadAgain) {
    CTreeItem* pMarker = m_pModel->CreateItem(nullptr, TREE_IMAGE_LEAF, TREE_IMAGE_LEAF, false);
    pMarker->bMarker = true;
    pMarker->bReadAgain = bReadAgain;
    pMarker->bFixedText = true;
    pMarker->strFixedText = text;
    pMarker->strToolTip = toolTip;
    m_pModel->LinkAt(pItem, pMarker, static_cast<int>(pItem->children.size()));
}

bool CLdapTreeView::HasReadAgainMarker(const CTreeItem* pItem) const {
    return std::any_of(pItem->children.begin(), pItem->children.end(),
                       [](const CTreeItem* pChild) { return pChild->bMarker && pChild->bReadAgain; });
}

void CLdapTreeView::OnExpansionEnded(HTREEITEM hItem) {
    CTreeItem* pItem = m_pModel->Find(hItem);
    if (!pItem || !pItem->pEntry || !pItem->bLinked)
        return;
    // A loading row left by a search that failed before its first entry;
    // the level's markers (references) stay.
    for (size_t i = pItem->children.size(); i-- > 0;)
        if (!pItem->children[i]->pEntry && !pItem->children[i]->bMarker)
            m_pModel->DeleteItem(pItem->children[i]);
    CEntryNode* pEntry = pItem->pEntry;
    if (!pItem->children.empty() || pEntry->GetChildCount() != 0) {
        // What came stays; fetching again on the next click would show it
        // twice, so only Refresh fetches again.
        if (pEntry->IsUnexpanded())
            pEntry->ToggleUnexpanded();
        return;
    }
    // Nothing came: the entry looks as before its expansion, and the next
    // click on its button fetches again.
    m_pTree->collapse(m_pModel->IndexOf(pItem));
    CTreeItem* pPlaceholder =
        m_pModel->CreateItem(nullptr, TREE_IMAGE_CLOSED_FOLDER, TREE_IMAGE_CLOSED_FOLDER, true);
    m_pModel->LinkAt(pItem, pPlaceholder, 0);
    m_pModel->SetChildIndicator(pItem, true);
    pEntry->MarkUnexpanded();
}

void CLdapTreeView::EntryAdded(CEntryNode* pEntry, HTREEITEM hParentItem) {
    CNotification notification(this);
    if (!pEntry)
        return;
    SetStatus("Node successfully added: " + DnForDisplay(pEntry->GetDN()));
    CTreeItem* pParent = m_pModel->Find(hParentItem);
    if (!pParent || !pParent->pEntry || !pParent->bLinked)
        return;
    // Children never fetched: the expansion will bring the new entry too.
    if (pParent->pEntry->IsUnexpanded())
        return;
    InsertEntryItem(pEntry, pParent->hItem);
    return;
}

void CLdapTreeView::EntriesFound(const CPtrList& entries, HTREEITEM hParent) {
    CNotification notification(this, false);
    CTreeItem* pParent = m_pModel->Find(hParent);
    if (pParent && !pParent->bLinked)
        m_pModel->FlushQueued(); // the parent itself still waits in the batch
    // A parent item removed meanwhile (refresh, delete, close): its entries
    // are not shown.
    if (!pParent || !pParent->bLinked)
        return;
    CEntryNode* pLast = nullptr;
    POSITION pos = entries.GetHeadPosition();
    while (pos) {
        auto* pEntry = static_cast<CEntryNode*>(entries.GetNext(pos));
        if (!pEntry)
            continue;
        m_pModel->QueueSorted(hParent, NewEntryItem(pEntry));
        pLast = pEntry;
    }
    // One status text per message: the last DN is what the user would see.
    if (pLast)
        SetStatus(DnForDisplay(pLast->GetDN()));
    m_pModel->FlushQueuedIfDue();
    return;
}

void CLdapTreeView::LoadingEntries(HTREEITEM hItem) {
    CNotification notification(this);
    CTreeItem* pItem = m_pModel->Find(hItem);
    if (!pItem || !pItem->bLinked)
        return;
    CTreeItem* pLoading =
        m_pModel->CreateItem(nullptr, TREE_IMAGE_OPEN_FOLDER, TREE_IMAGE_OPEN_FOLDER, false);
    pLoading->bFixedText = true;
    pLoading->strFixedText = kLoadingText;
    m_pModel->LinkAt(pItem, pLoading, static_cast<int>(pItem->children.size()));
    return;
}

void CLdapTreeView::RemovePlaceholder(HTREEITEM hItem) {
    CNotification notification(this);
    CTreeItem* pItem = m_pModel->Find(hItem);
    if (pItem && pItem->bLinked && !pItem->children.empty())
        m_pModel->DeleteItem(pItem->children.front());
    return;
}

void CLdapTreeView::EntryModified(CModifyEntryRequest& request) {
    CNotification notification(this);
    if (!request.bSucceeded || !request.pEntry)
        return;
    CEntryNode* pEntry = request.pEntry;
    pEntry->SetDN(request.strNewDN);
    if (CTreeItem* pItem = LiveItemOf(pEntry)) {
        CString text = DnForDisplay(m_pDocument->GetExportSettings().GetEntryAsRDN() ? pEntry->GetRDN()
                                                                                     : pEntry->GetDN());
        m_pModel->SetFixedText(pItem, text);
    }
    // The naming values changed on the server (or in the file): the
    // attribute pane shows what is stored now, not what it showed before.
    auto* pList = dynamic_cast<CLdapListView*>(m_pDocument->GetView(1));
    CDataSource* pSource = Source();
    if (pList && pSource && pList->GetCurrentEntry() == pEntry) {
        pList->ShowEntryPending(pEntry);
        pEntry->BeginOperation(OP_READ_ATTRIBUTES);
        pSource->ReadAttributes(pEntry, &pEntry->m_attributes, pList, TRUE);
    }
}

void CLdapTreeView::EntryDeleted(CDeleteEntryRequest& request) {
    CNotification notification(this);
    if (!request.bSucceeded || !request.pEntry)
        return;
    CEntryNode* pEntry = request.pEntry;
    CTreeItem* pItem = LiveItemOf(pEntry);
    if (!pItem) {
        // Its item went with a refresh of an ancestor, which also handed the
        // node back to the source. The server did delete it: nothing failed.
        auto* pList = dynamic_cast<CLdapListView*>(m_pDocument->GetView(1));
        if (pList && pList->GetCurrentEntry() == pEntry)
            m_pDocument->UpdateAllViews(this, 0, nullptr);
        return;
    }
    const QPersistentModelIndex parent = m_pModel->IndexOf(pItem).parent();
    {
        // The control moves its selection on by itself; that reads nothing.
        CProgramChange change(this);
        m_pModel->DeleteItem(pItem);
    }
    pEntry->EndOperation(OP_DELETE_ENTRY);
    SetStatus("Node successfully deleted: " + DnForDisplay(pEntry->GetDN()));
    m_pDocument->UpdateAllViews(this, 0, nullptr);
    // The item the control moved to (or the parent) becomes the selection
    // and, once this call is done, is read as if the user had chosen it,
    // so that its attributes show and a click on it is not a no-op.
    CTreeItem* pNext = m_pModel->ItemOf(m_pTree->currentIndex());
    if (!pNext || !pNext->pEntry)
        pNext = m_pModel->ItemOf(parent);
    if (pNext && pNext->pEntry) {
        if (SelectedTreeItem() != pNext)
            SelectTreeItem(pNext, false);
        QMetaObject::invokeMethod(this, &CLdapTreeView::ShowSelectedEntry, Qt::QueuedConnection);
    }
    request.pEntry = nullptr;
    // The source frees the node once none of its workers can reach it.
    if (m_bExporting)
        m_deferredRetire.push_back(pEntry);
    else if (CDataSource* pSource = Source())
        pSource->RetireEntry(pEntry);
    else
        delete pEntry;
    return;
}

void CLdapTreeView::EntryRefreshed(CEntryNode* pEntry) {
    CNotification notification(this);
    if (!pEntry)
        return;
    m_pDocument->UpdateAllViews(this, HINT_SHOW_ENTRY, pEntry);
    if (CTreeItem* pItem = LiveItemOf(pEntry))
        m_pModel->DeleteChildren(pItem);
    return;
}
