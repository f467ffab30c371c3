#pragma once
// The tree pane's items: entry items (an entry pointer as data, text from
// the entry on demand), placeholder children and loading rows. Each item
// has an HTREEITEM id; a handle of a deleted item finds nothing.
//
// Items found while an expansion streams are created at once (their
// handles are valid) and linked into the visible tree in batches: the view
// lays out an expanded level in full after every change that reaches the
// event loop, so one change per entry would cost quadratic time.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "platform/String.h"
#include "platform/Types.h"
#endif

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class CEntryNode;

struct CTreeItem {
    HTREEITEM hItem;
    CTreeItem* pParent = nullptr;
    std::vector<CTreeItem*> children;
    CEntryNode* pEntry = nullptr; // not owned
    bool bFixedText = false;
    CString strFixedText;
    int nImage = 1;
    int nSelectedImage = 1;
    bool bChildIndicator = false;
    bool bLinked = false;
    // The note at the end of a level the server cut short: not an entry,
    // shown in italics, always last.
    bool bMarker = false;
    // The marker of a level that was stopped or failed: opening the item
    // again reads the level again.
    bool bReadAgain = false;
    // A marker's whole text; the row shows a short form that fits.
    CString strToolTip;
    int nRow = 0; // last known position among its siblings
    // Sort key: the lower-cased display text, and the title mode it was
    // computed for (-1: none yet).
    std::string strKey;
    int nKeyMode = -1;
};

class CEntryTreeModel : public QAbstractItemModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CEntryTreeModel)

public:
    // fnEntryAsRDN reads the title setting each time a text is needed.
    explicit CEntryTreeModel(std::function<int()> fnEntryAsRDN, QObject* pParent = nullptr);
    ~CEntryTreeModel() override;

    // Items
    CTreeItem* Find(HTREEITEM hItem) const;
    CTreeItem* Root() { return &m_root; }
    // A new item, registered but not linked.
    CTreeItem* CreateItem(CEntryNode* pEntry, int nImage, int nSelectedImage, bool bChildIndicator);
    // Links an item under pParent (the root for top-level items), at its
    // sorted place or at the end.
    void LinkSorted(CTreeItem* pParent, CTreeItem* pItem);
    void LinkAt(CTreeItem* pParent, CTreeItem* pItem, int nRow);
    // Queues an item for linking under hParent at the next flush.
    void QueueSorted(HTREEITEM hParent, CTreeItem* pItem);
    // Links every queued item whose parent still exists; drops the others.
    void FlushQueued();
    // Links the queue now when the last batch is long enough ago (a busy
    // stream of messages can keep the flush timer waiting).
    void FlushQueuedIfDue();
    bool HasQueued() const { return !m_queue.empty(); }
    // Unlinks and destroys an item and everything below it.
    void DeleteItem(CTreeItem* pItem);
    void DeleteChildren(CTreeItem* pItem);
    void DeleteAll();

    // Texts and looks
    CString DisplayText(const CTreeItem* pItem) const;
    void SetFixedText(CTreeItem* pItem, const CString& text);
    void SetImages(CTreeItem* pItem, int nImage, int nSelectedImage);
    void SetChildIndicator(CTreeItem* pItem, bool bOn);
    int RowOf(CTreeItem* pItem);
    QModelIndex IndexOf(CTreeItem* pItem);
    CTreeItem* ItemOf(const QModelIndex& index) const;
    // Sorted place of a key among pParent's linked children (after equals).
    int SortedRow(CTreeItem* pParent, const std::string& key);
    std::string SortKey(CTreeItem* pItem);
    int ItemCount() const { return static_cast<int>(m_items.size()); }

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A dragged entry: its item in this model (and its DN as plain text).
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    // The item a drag of this model carries; NULL for anything else (an
    // entry of another window's tree among them).
    HTREEITEM DraggedItem(const QMimeData* pData) const;
    static const char* const kEntryItemMimeType;

signals:
    // Emitted after queued items were linked.
    void Flushed();

private:
    void DestroySubtree(CTreeItem* pItem);
    // Links a batch of new children of pParent at their sorted places.
    void MergeSorted(CTreeItem* pParent, std::vector<CTreeItem*>& batch);
    void ScheduleFlush();
    int FlushIntervalMs() const;
    static std::string LowerKey(const CString& text);

    std::function<int()> m_fnEntryAsRDN;
    CTreeItem m_root;
    std::unordered_map<std::uint64_t, CTreeItem*> m_items;
    struct CQueued {
        HTREEITEM hParent;
        CTreeItem* pItem;
    };
    std::vector<CQueued> m_queue;
    QTimer m_flushTimer;
    QElapsedTimer m_sinceFlush;
};
