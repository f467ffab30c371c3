#pragma once
// The left pane: the directory as a tree of entries, fetched one level at a
// time as the user expands it, with the entry commands.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "platform/String.h"
#include "session/View.h"
#include "source/EntryItemInserter.h"
#include "source/SourceEvents.h"
#endif

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class CDataSource;
class CEntryNode;
class CEntryTreeModel;
class QAction;
class CLdifExport;
class QMenu;
class QMimeData;
class QModelIndex;
class QTreeView;
struct CTreeItem;
struct CMoveEntryRequest;

// Command ids of the pane's context menu.
constexpr int ID_ENTRY_ADD = 32780;
constexpr int ID_ENTRY_DELETE = 32778;
constexpr int ID_ENTRY_MODIFY = 32779;
constexpr int ID_REFRESH = 32784;
constexpr int ID_SAVE_TO_LDIF = 32809;
constexpr int ID_SET_PASSWORD = 32843;
constexpr int ID_COPY_ENTRY = 32860;
constexpr int ID_COPY_SUBTREE = 32861;
constexpr int ID_PASTE = 32862;
constexpr int ID_EXPORT_SUBTREE = 32863;
constexpr int ID_CUT = 32864;

class CLdapTreeView : public CView, public IEntryItemInserter, public ISourceEvents {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLdapTreeView)

public:
    explicit CLdapTreeView(CTarvoDoc* pDocument, QWidget* pParent = nullptr);
    ~CLdapTreeView() override;

    // Inserts the entry's item with its placeholder child under hParent
    // (NULL: top level) at its sorted place and returns it.
    HTREEITEM InsertEntryItem(CEntryNode* pEntry, HTREEITEM hParent) override;
    void DeleteAllItems();

    // Commands (context menu, and the document's Tools menu and toolbar).
    void OnAddEntry();
    void OnDeleteEntry();
    void OnModifyEntry();
    void OnRefresh();
    void OnSaveToLdif();
    // Copy: the selected entry's DN; as LDIF: its record.
    bool CanCopy(bool bAsLdif);
    void OnCopy(bool bAsLdif);
    // Copy Entry / Copy Subtree (read from the source, onto the clipboard
    // as LDIF), Paste (the clipboard's LDIF below the selected entry) and
    // Export Subtree; CanTransfer takes those commands' ids.
    bool CanTransfer(UINT nCommand);
    void OnCopyEntries(bool bSubtree);
    void OnPaste();
    void PasteClipboardLdif(CEntryNode* pTarget);
    void OnExportSubtree();
    // The entry of the selected item, or NULL.
    CEntryNode* GetSelectedEntry() { return SelectedEntry(); }

    // What the source reports about the tree.
    void LoadingEntries(HTREEITEM hItem) override;
    void RemovePlaceholder(HTREEITEM hItem) override;
    void EntriesFound(const CPtrList& entries, HTREEITEM hParent) override;
    void LevelLimited(HTREEITEM hItem, int nResultCode) override;
    void LevelIncomplete(HTREEITEM hItem, const CString& strText) override;
    void ReferencesFound(HTREEITEM hItem, const CStringArray& urls) override;
    void EntriesDropped(HTREEITEM hItem, int nDropped) override;
    void SearchDone(HTREEITEM hItem, int nCount) override;
    void EntryRefreshed(CEntryNode* pEntry) override;
    void EntryAdded(CEntryNode* pNewEntry, HTREEITEM hParentItem) override;
    void EntryDeleted(CDeleteEntryRequest& request) override;
    void EntryModified(CModifyEntryRequest& request) override;
    void EntryMoved(CMoveEntryRequest& request) override;

    // Move. Cut marks the selected entry; Paste on another entry moves the
    // cut one below it. Drag and drop does the same (with Shift straight
    // to the confirmation, else after a choice at the drop).
    bool CanCutEntry();
    void OnCutEntry();
    bool IsCutPending();
    // Moves the cut entry below the target item (the one function a Paste
    // of a cut comes to).
    void PasteCutEntry(HTREEITEM hTarget);
    void DropEntry(HTREEITEM hDragged, HTREEITEM hTarget, bool bShift);
    bool AcceptsDrop(const QMimeData* pData, const QModelIndex& target);
    bool AcceptsDrop(const QMimeData* pData);
    void OnDrop(const QMimeData* pData, const QModelIndex& target, bool bShift);
    // Asks the confirmation, then starts the move; FALSE when it did not start.
    BOOL MoveEntryBelow(HTREEITEM hEntry, HTREEITEM hTarget);
    // The confirmation: both places and the entries loaded below.
    static CString MoveQuestion(const CEntryNode* pEntry, const CEntryNode* pTarget);
    static const char* const kCutText;
    static const char* const kMovedText;
    static const char* const kMoveHereText;

    void OnUpdate(CView* pSender, LPARAM lHint, CObject* pHint) override;
    void OnActivateView() override;

    // Tree operations by handle; a stale handle finds nothing.
    HTREEITEM GetRootItem();
    HTREEITEM GetSelectedItem();
    HTREEITEM GetParentItem(HTREEITEM hItem);
    HTREEITEM GetChildItem(HTREEITEM hItem);
    HTREEITEM GetNextSiblingItem(HTREEITEM hItem);
    std::vector<HTREEITEM> GetChildItems(HTREEITEM hItem);
    CEntryNode* GetItemEntry(HTREEITEM hItem);
    CString GetItemText(HTREEITEM hItem);
    BOOL GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage);
    BOOL ItemHasButton(HTREEITEM hItem);
    BOOL ItemHasFixedText(HTREEITEM hItem);
    // The item that shows an entry, or NULL.
    HTREEITEM FindEntryItem(const CEntryNode* pEntry);
    // A selection made by the program: nothing is read.
    BOOL SelectItem(HTREEITEM hItem);
    // What a click on the item does: the selection changes as the user's.
    BOOL ClickItem(HTREEITEM hItem);
    // What a click on the expand button does.
    BOOL ExpandItem(HTREEITEM hItem);
    // What a right click on the item does (selection and context menu).
    void RightClickItem(HTREEITEM hItem);
    // Links the items found by a running expansion now instead of at the
    // next batch.
    void FlushPendingItems();
    // Selects the entry with this DN and shows its attributes, expanding
    // (and fetching) every level on the way; the status tells when the
    // entry cannot be reached. A later call replaces an unfinished one.
    void GoToEntry(const CString& dn);
    // Reads again the loaded levels of the entries whose DnCompareKey is in
    // keys (every loaded level with bAll), and the attribute pane's entry
    // when it is one of them: after changes made behind the source's back.
    void RefreshLoadedLevels(const std::set<std::string>& keys, bool bAll);
    // Whether a GoToEntry is still on its way.
    bool IsGoingToEntry() const { return !m_strGoTo.IsEmpty(); }

    QTreeView* GetTreeControl() const { return m_pTree; }
    CEntryTreeModel* GetModel() const { return m_pModel; }
    QMenu* GetContextMenu() const { return m_pMenu; }
    QAction* GetMenuAction(int nCommand) const;
    // "Set Password..." on the selected entry: the dialog, then the
    // source's change; the status bar then says kPasswordSetText with the DN.
    void OnSetPassword();
    static const char* const kPasswordSetText;

    // Events of the tree control.
    void OnRightButtonDown(const QModelIndex& index, const QPoint& point);
    void OnTabKey();

private:
    class CProgramChange;
    friend class CProgramChange;
    class CNotification;
    friend class CNotification;

    CDataSource* Source() const;
    CTreeItem* SelectedTreeItem();
    CEntryNode* SelectedEntry(CTreeItem** ppItem = nullptr);
    CTreeItem* LiveItemOf(const CEntryNode* pEntry);
    void SelectTreeItem(CTreeItem* pItem, bool bByUser);
    void OnItemExpanded(const QModelIndex& index);
    void ContinueGoTo(int nGeneration);
    void EndGoTo(const CString& status);
    void OnSelectionChanged();
    // Reads the selected entry unless the attribute pane already shows it.
    void ShowSelectedEntry();
    void SetStatus(const CString& text);
    void TurnLeafIntoParent(CEntryNode* pEntry, CTreeItem* pItem);
    // Reads the item's level again (what Refresh does on the selection).
    void RefreshItem(CTreeItem* pItem);
    // After a server refused to move a subtree in one request.
    void OfferCopyThenDelete(HTREEITEM hEntry, HTREEITEM hTarget, const CString& strRefusal);
    // The moved entry's place in the tree: the old item goes, the new one
    // comes where the new parent's level is shown.
    void ShowMovedEntry(CMoveEntryRequest& request);
    CTreeItem* NewEntryItem(CEntryNode* pEntry);
    bool IsAlive(CTreeItem* pItem, const CEntryNode* pEntry, HTREEITEM hItem);

    // Ends a level the server cut short with its marker row.
    void AddLimitMarker(CTreeItem* pItem, int nShown, const char* pszLimit);
    // A marker row at the end of the item's level; bReadAgain: the level
    // is not whole, and opening the item again reads it again.
    void AddMarker(CTreeItem* pItem, const CString& text, const CString& toolTip, bool bReadAgain);
    bool HasReadAgainMarker(const CTreeItem* pItem) const;
    // A failed or stopped expansion: no loading row stays behind.
    void OnExpansionEnded(HTREEITEM hItem);

    CEntryTreeModel* m_pModel;
    QTreeView* m_pTree;
    QMenu* m_pMenu;
    QAction* m_pPasswordAction;
    QAction* m_pAddAction;
    QAction* m_pDeleteAction;
    QAction* m_pModifyAction;
    QAction* m_pRefreshAction;
    QAction* m_pSaveAction;
    // Copy Entry, Copy Subtree, Paste, Export Subtree.
    QAction* m_pCutAction = nullptr;
    QAction* m_pCopyEntryAction;
    QAction* m_pCopySubtreeAction;
    QAction* m_pPasteAction;
    QAction* m_pExportAction;
    // Runs a save, copy or export of the selected entry with the deferred
    // retiring of entries deleted meanwhile.
    void RunExporter(const std::function<void(CLdifExport&, CEntryNode*)>& fnRun);
    // The selected item's text when the rename dialog was opened.
    CString m_strTextAtModify;
    // Non-zero while the program itself changes the tree or its selection.
    int m_nProgramChange = 0;
    // While a Save to LDIF walks the tree, deleted entries are handed back
    // to the source only after it has finished.
    bool m_bExporting = false;
    std::vector<CEntryNode*> m_deferredRetire;
    // The entry GoToEntry is on its way to; empty when none.
    CString m_strGoTo;
    int m_nGoToGeneration = 0;
    int m_nGoToWaits = 0;
    // Limits the server reported for expansions whose SearchDone is
    // still to come (another expansion's messages may come in between).
    std::vector<std::pair<HTREEITEM, int>> m_limitedLevels;
    // The same for levels that are not whole (the marker text) and for
    // entries the server sent that do not belong to the level.
    std::vector<std::pair<HTREEITEM, CString>> m_incompleteLevels;
    std::vector<std::pair<HTREEITEM, int>> m_droppedLevels;
};
