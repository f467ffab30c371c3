// The tree pane's move: Cut and Paste, drag and drop, the confirmation, and
// the tree following the entry to its new place.

#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/Services.h"
#include "platform/qt/QtServices.h"
#include "session/TarvoDoc.h"
#include "source/DataSource.h"
#include "source/Requests.h"
#include "ui/EntryTreeModel.h"
#include "ui/LdapListView.h"
#include "ui/LdapTreeView.h"

#include <QCursor>
#include <QMenu>
#include <QTimer>
#include <QTreeView>

const char* const CLdapTreeView::kCutText =
    "Cut: %s. Select the new parent and choose Paste to move it there.";
const char* const CLdapTreeView::kMovedText = "Entry moved: %s";
const char* const CLdapTreeView::kMoveHereText = "&Move Here";

namespace {
// What the pane's own change guard does, for this file: while the program
// changes the tree, selection changes read nothing.
class CMoveChange {
public:
    explicit CMoveChange(int& nCounter) : m_nCounter(nCounter) { ++m_nCounter; }
    ~CMoveChange() { --m_nCounter; }
    CMoveChange(const CMoveChange&) = delete;
    CMoveChange& operator=(const CMoveChange&) = delete;

private:
    int& m_nCounter;
};

CString Filled(const char* pszFormat, const CString& value) {
    CString text(pszFormat);
    text.Replace("%s", value);
    return text;
}
} // namespace

CString CLdapTreeView::MoveQuestion(const CEntryNode* pEntry, const CEntryNode* pTarget) {
    const int nBelow = CDataSource::CountLoadedBelow(pEntry);
    const CString below = nBelow == 0 ? CString("with no entries loaded below it")
                          : nBelow == 1
                              ? CString("with the 1 entry loaded below it")
                              : "with the " + CString(std::to_string(nBelow)) + " entries loaded below it";
    const CEntryNode* pFrom = pEntry->GetParent();
    return "Move the entry " + DnForDisplay(pEntry->GetDN()) + "\n" + below + "\nfrom " +
           DnForDisplay(pFrom ? pFrom->GetDN() : DnParent(pEntry->GetDN())) + "\nto " +
           DnForDisplay(pTarget->GetDN()) + "?";
}

bool CLdapTreeView::CanCutEntry() {
    CEntryNode* pEntry = SelectedEntry();
    return pEntry && Source() && pEntry->GetParent() && pEntry->CanModifyEntry();
}

void CLdapTreeView::OnCutEntry() {
    CTreeItem* pItem = nullptr;
    CEntryNode* pEntry = SelectedEntry(&pItem);
    if (!pEntry || !CanCutEntry())
        return;
    m_pDocument->m_hCutItem = pItem->hItem;
    SetStatus(Filled(kCutText, DnForDisplay(pEntry->GetDN())));
}

bool CLdapTreeView::IsCutPending() {
    const CTreeItem* pCut = m_pModel->Find(m_pDocument->m_hCutItem);
    return pCut && pCut->pEntry && pCut->bLinked;
}

void CLdapTreeView::PasteCutEntry(HTREEITEM hTarget) {
    const HTREEITEM hCut = m_pDocument->m_hCutItem;
    if (MoveEntryBelow(hCut, hTarget))
        m_pDocument->m_hCutItem = HTREEITEM();
}

BOOL CLdapTreeView::MoveEntryBelow(HTREEITEM hEntry, HTREEITEM hTarget) {
    FlushPendingItems();
    CTreeItem* pItem = m_pModel->Find(hEntry);
    CTreeItem* pTargetItem = m_pModel->Find(hTarget);
    CEntryNode* pEntry = pItem && pItem->bLinked ? pItem->pEntry : nullptr;
    CEntryNode* pTarget = pTargetItem && pTargetItem->bLinked ? pTargetItem->pEntry : nullptr;
    if (!Source() || !pEntry || !pTarget)
        return FALSE;
    const CString refusal = CDataSource::MoveRefusal(pEntry, pTarget);
    if (!refusal.IsEmpty()) {
        AfxMessageBox(refusal, MB_OK | MB_ICONSTOP);
        return FALSE;
    }
    if (AfxMessageBox(MoveQuestion(pEntry, pTarget), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return FALSE;
    // The box let other things run: both must still be there, and free.
    FlushPendingItems();
    CDataSource* pSource = Source();
    if (!pSource || !IsAlive(pItem, pEntry, hEntry) || !IsAlive(pTargetItem, pTarget, hTarget))
        return FALSE;
    if (!pEntry->CanModifyEntry() || !pTarget->CanAddEntry()) {
        SetStatus("The entry or its new parent is busy; try the move again when it has finished.");
        return FALSE;
    }
    SetStatus("Moving " + DnForDisplay(pEntry->GetDN()));
    pEntry->BeginOperation(OP_MODIFY_ENTRY);
    pTarget->BeginOperation(OP_ADD_ENTRY);
    pSource->MoveEntry(pEntry, pTarget, this);
    return TRUE;
}

bool CLdapTreeView::AcceptsDrop(const QMimeData* pData) {
    return static_cast<bool>(m_pModel->DraggedItem(pData));
}

bool CLdapTreeView::AcceptsDrop(const QMimeData* pData, const QModelIndex& target) {
    const CTreeItem* pTarget = m_pModel->ItemOf(target);
    const CTreeItem* pDragged = m_pModel->Find(m_pModel->DraggedItem(pData));
    return pTarget && pTarget->pEntry && pDragged && pDragged->pEntry &&
           CDataSource::MoveRefusal(pDragged->pEntry, pTarget->pEntry).IsEmpty();
}

void CLdapTreeView::OnDrop(const QMimeData* pData, const QModelIndex& target, bool bShift) {
    const CTreeItem* pTarget = m_pModel->ItemOf(target);
    const HTREEITEM hDragged = m_pModel->DraggedItem(pData);
    if (pTarget && hDragged)
        DropEntry(hDragged, pTarget->hItem, bShift);
}

void CLdapTreeView::DropEntry(HTREEITEM hDragged, HTREEITEM hTarget, bool bShift) {
    // After the drop has ended: the questions are modal.
    const QPoint at = QCursor::pos();
    QTimer::singleShot(0, this, [this, hDragged, hTarget, bShift, at] {
        if (!bShift) {
            QMenu menu(this);
            QAction* pMove = menu.addAction(QString::fromLatin1(kMoveHereText));
            menu.addSeparator();
            menu.addAction(QStringLiteral("Cancel"));
            if (menu.exec(at) != pMove)
                return;
        }
        MoveEntryBelow(hDragged, hTarget);
    });
}

void CLdapTreeView::EntryMoved(CMoveEntryRequest& request) {
    CMoveChange change(m_nProgramChange);
    m_pModel->FlushQueued();
    if (request.bSucceeded) {
        ShowMovedEntry(request);
        return;
    }
    const HTREEITEM hEntry = request.pEntry->GetTreeItem();
    const HTREEITEM hTarget = request.pNewParent->GetTreeItem();
    if (request.nSubtreeRefusal != 0 && !request.bCopyDelete) {
        const CString refusal = request.strRefusalText;
        QTimer::singleShot(
            0, this, [this, hEntry, hTarget, refusal] { OfferCopyThenDelete(hEntry, hTarget, refusal); });
        return;
    }
    if (request.bPartial) {
        // Part of it is at each place: both are read again.
        if (CTreeItem* pTargetItem = m_pModel->Find(hTarget);
            pTargetItem && !request.pNewParent->IsUnexpanded())
            RefreshItem(pTargetItem);
        if (CTreeItem* pItem = m_pModel->Find(hEntry))
            RefreshItem(pItem);
    }
}

void CLdapTreeView::OfferCopyThenDelete(HTREEITEM hEntry, HTREEITEM hTarget, const CString& strRefusal) {
    CTreeItem* pItem = m_pModel->Find(hEntry);
    CTreeItem* pTargetItem = m_pModel->Find(hTarget);
    if (!pItem || !pItem->pEntry || !pTargetItem || !pTargetItem->pEntry || !Source())
        return;
    CEntryNode* pEntry = pItem->pEntry;
    CEntryNode* pTarget = pTargetItem->pEntry;
    const CString question = "The server would not move " + DnForDisplay(pEntry->GetDN()) +
                             " with everything below it in one step:\n" + strRefusal +
                             "\n\nCopy each entry below " + DnForDisplay(pTarget->GetDN()) +
                             " and then delete the old ones, one by one?";
    if (AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    FlushPendingItems();
    if (!IsAlive(pItem, pEntry, hEntry) || !IsAlive(pTargetItem, pTarget, hTarget) || !Source() ||
        !pEntry->CanModifyEntry() || !pTarget->CanAddEntry())
        return;
    SetStatus("Moving " + DnForDisplay(pEntry->GetDN()) + " entry by entry");
    pEntry->BeginOperation(OP_MODIFY_ENTRY);
    pTarget->BeginOperation(OP_ADD_ENTRY);
    Source()->MoveEntry(pEntry, pTarget, this, TRUE);
}

void CLdapTreeView::ShowMovedEntry(CMoveEntryRequest& request) {
    CEntryNode* pEntry = request.pEntry;
    CEntryNode* pNewParent = request.pNewParent;
    auto* pList = dynamic_cast<CLdapListView*>(m_pDocument->GetView(1));
    const bool bShown = (pList && pList->GetCurrentEntry() == pEntry) || SelectedEntry() == pEntry;
    if (CTreeItem* pItem = LiveItemOf(pEntry)) {
        CMoveChange change(m_nProgramChange);
        m_pModel->DeleteItem(pItem);
    }
    // The attribute pane lets go of it (and of anything below it) first.
    m_pDocument->UpdateAllViews(this, 0, nullptr);
    if (CTreeItem* pParentItem = LiveItemOf(pNewParent)) {
        if (pNewParent->IsLeaf()) {
            // No level was shown: it is read, the moved entry with it.
            RefreshItem(pParentItem);
        } else if (request.bLinked && !pNewParent->IsUnexpanded()) {
            InsertEntryItem(pEntry, pParentItem->hItem);
        }
    }
    SetStatus(Filled(kMovedText, DnForDisplay(request.strNewDN)));
    // The entry that was shown is shown at its new place, opening the
    // levels on the way.
    if (bShown)
        GoToEntry(request.strNewDN);
}
