#include "ui/EntryTreeModel.h"

#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/qt/PlainText.h"
#include "platform/qt/QtServices.h"
#include "ui/AttributeListEditor.h"
#include "ui/TreeImages.h"

#include <QFont>
#include <QGuiApplication>
#include <QMimeData>
#include <QPalette>
#include <algorithm>
#include <atomic>

namespace {

// Queued items are linked at most this often while an expansion streams.
constexpr int kFlushIntervalMs = 40;

std::uint64_t NextItemId() {
    static std::atomic<std::uint64_t> nLast{0};
    return ++nLast;
}

} // namespace

CEntryTreeModel::CEntryTreeModel(std::function<int()> fnEntryAsRDN, QObject* pParent)
    : QAbstractItemModel(pParent), m_fnEntryAsRDN(std::move(fnEntryAsRDN)) {
    m_root.bLinked = true;
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &CEntryTreeModel::FlushQueued);
    // Invalid until the first batch: that one is linked at once.
    m_sinceFlush.invalidate();
}

CEntryTreeModel::~CEntryTreeModel() {
    for (const CQueued& queued : m_queue)
        DestroySubtree(queued.pItem);
    m_queue.clear();
    for (CTreeItem* pChild : m_root.children)
        DestroySubtree(pChild);
    m_root.children.clear();
}

CTreeItem* CEntryTreeModel::Find(HTREEITEM hItem) const {
    if (!hItem)
        return nullptr;
    auto it = m_items.find(hItem.GetId());
    return it == m_items.end() ? nullptr : it->second;
}

CTreeItem* CEntryTreeModel::CreateItem(CEntryNode* pEntry, int nImage, int nSelectedImage,
                                       bool bChildIndicator) {
    auto* pItem = new CTreeItem;
    pItem->hItem = HTREEITEM(NextItemId());
    pItem->pEntry = pEntry;
    pItem->nImage = nImage;
    pItem->nSelectedImage = nSelectedImage;
    pItem->bChildIndicator = bChildIndicator;
    m_items.emplace(pItem->hItem.GetId(), pItem);
    return pItem;
}

std::string CEntryTreeModel::LowerKey(const CString& text) {
    std::string key = text.Str();
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

std::string CEntryTreeModel::SortKey(CTreeItem* pItem) {
    if (pItem->bFixedText) {
        if (pItem->nKeyMode != 2) {
            pItem->strKey = LowerKey(pItem->strFixedText);
            pItem->nKeyMode = 2;
        }
    } else if (pItem->pEntry) {
        int nMode = m_fnEntryAsRDN() ? 1 : 0;
        if (pItem->nKeyMode != nMode) {
            pItem->strKey = LowerKey(DisplayText(pItem));
            pItem->nKeyMode = nMode;
        }
    } else {
        pItem->strKey.clear();
    }
    return pItem->strKey;
}

int CEntryTreeModel::SortedRow(CTreeItem* pParent, const std::string& key) {
    std::vector<CTreeItem*>& siblings = pParent->children;
    // A level's marker stays below every entry.
    auto end = siblings.end();
    if (!siblings.empty() && siblings.back()->bMarker)
        --end;
    // The common case while browsing: the new item goes last.
    if (end == siblings.begin() || SortKey(*(end - 1)) <= key)
        return static_cast<int>(end - siblings.begin());
    auto it = std::upper_bound(siblings.begin(), end, key, [this](const std::string& k, CTreeItem* pSibling) {
        return k < SortKey(pSibling);
    });
    return static_cast<int>(it - siblings.begin());
}

void CEntryTreeModel::LinkSorted(CTreeItem* pParent, CTreeItem* pItem) {
    LinkAt(pParent, pItem, SortedRow(pParent, SortKey(pItem)));
}

void CEntryTreeModel::LinkAt(CTreeItem* pParent, CTreeItem* pItem, int nRow) {
    nRow = std::clamp(nRow, 0, static_cast<int>(pParent->children.size()));
    beginInsertRows(IndexOf(pParent), nRow, nRow);
    pItem->pParent = pParent;
    pItem->nRow = nRow;
    pItem->bLinked = true;
    pParent->children.insert(pParent->children.begin() + nRow, pItem);
    endInsertRows();
}

void CEntryTreeModel::QueueSorted(HTREEITEM hParent, CTreeItem* pItem) {
    // The key is taken now, while the entry is certainly alive.
    SortKey(pItem);
    m_queue.push_back({hParent, pItem});
    ScheduleFlush();
}

void CEntryTreeModel::ScheduleFlush() {
    if (m_flushTimer.isActive())
        return;
    qint64 nWait = m_sinceFlush.isValid() ? FlushIntervalMs() - m_sinceFlush.elapsed() : 0;
    m_flushTimer.start(static_cast<int>(std::max<qint64>(0, nWait)));
}

void CEntryTreeModel::FlushQueued() {
    m_flushTimer.stop();
    if (m_queue.empty())
        return;
    std::vector<CQueued> queue;
    queue.swap(m_queue);
    // Items of one parent go in together: a batch is sorted once and merged
    // into the sorted children in one pass, so a level of n children costs
    // O(n log n) however the server orders them.
    std::stable_sort(queue.begin(), queue.end(), [](const CQueued& a, const CQueued& b) {
        return a.hParent.GetId() < b.hParent.GetId();
    });
    std::vector<CTreeItem*> batch;
    for (size_t i = 0; i < queue.size();) {
        size_t j = i;
        batch.clear();
        while (j < queue.size() && queue[j].hParent == queue[i].hParent)
            batch.push_back(queue[j++].pItem);
        CTreeItem* pParent = queue[i].hParent ? Find(queue[i].hParent) : &m_root;
        i = j;
        if (!pParent || !pParent->bLinked) {
            // The parent went away meanwhile (refresh, delete, close).
            for (CTreeItem* pItem : batch)
                DestroySubtree(pItem);
            continue;
        }
        MergeSorted(pParent, batch);
    }
    m_sinceFlush.start();
    emit Flushed();
}

void CEntryTreeModel::MergeSorted(CTreeItem* pParent, std::vector<CTreeItem*>& batch) {
    std::stable_sort(batch.begin(), batch.end(),
                     [](const CTreeItem* a, const CTreeItem* b) { return a->strKey < b->strKey; });
    std::vector<CTreeItem*>& siblings = pParent->children;
    // A level's marker stays below every entry.
    size_t nEnd = siblings.size();
    if (nEnd > 0 && siblings.back()->bMarker)
        --nEnd;
    const int nFirstNew = static_cast<int>(nEnd);
    if (nEnd == 0 || SortKey(siblings[nEnd - 1]) <= batch.front()->strKey) {
        // Everything after the last child: one insertion of rows.
        beginInsertRows(IndexOf(pParent), nFirstNew, nFirstNew + static_cast<int>(batch.size()) - 1);
        for (CTreeItem* pItem : batch) {
            pItem->pParent = pParent;
            pItem->bLinked = true;
        }
        siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(nEnd), batch.begin(), batch.end());
        for (size_t k = nEnd; k < siblings.size(); ++k)
            siblings[k]->nRow = static_cast<int>(k);
        endInsertRows();
        return;
    }
    // New rows among the old ones: one merge under a layout change, the
    // persistent indexes (selection, current item, expanded rows) moved
    // with their items.
    const QModelIndex parentIndex = IndexOf(pParent);
    emit layoutAboutToBeChanged({QPersistentModelIndex(parentIndex)});
    const QModelIndexList persistent = persistentIndexList();
    std::vector<CTreeItem*> merged;
    merged.reserve(siblings.size() + batch.size());
    size_t nOld = 0;
    size_t nNew = 0;
    while (nOld < nEnd || nNew < batch.size()) {
        // Equal keys: the old item first, as a one-by-one insert would do.
        if (nNew == batch.size() || (nOld < nEnd && !(batch[nNew]->strKey < SortKey(siblings[nOld]))))
            merged.push_back(siblings[nOld++]);
        else
            merged.push_back(batch[nNew++]);
    }
    for (size_t k = nEnd; k < siblings.size(); ++k)
        merged.push_back(siblings[k]);
    for (CTreeItem* pItem : batch) {
        pItem->pParent = pParent;
        pItem->bLinked = true;
    }
    siblings.swap(merged);
    for (size_t k = 0; k < siblings.size(); ++k)
        siblings[k]->nRow = static_cast<int>(k);
    QModelIndexList from;
    QModelIndexList to;
    for (const QModelIndex& index : persistent) {
        CTreeItem* pItem = ItemOf(index);
        if (pItem && pItem->pParent == pParent && index.row() != pItem->nRow) {
            from.push_back(index);
            to.push_back(createIndex(pItem->nRow, index.column(), pItem));
        }
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({QPersistentModelIndex(parentIndex)});
}

void CEntryTreeModel::FlushQueuedIfDue() {
    if (!m_queue.empty() && (!m_sinceFlush.isValid() || m_sinceFlush.elapsed() >= FlushIntervalMs()))
        FlushQueued();
}

int CEntryTreeModel::FlushIntervalMs() const {
    // A merge (and the view's layout after it) costs time in proportion to
    // the rows already there, so a large level is linked less often: its
    // batches grow with it and the whole level costs O(n log n).
    return kFlushIntervalMs + static_cast<int>(m_items.size() / 10000);
}

void CEntryTreeModel::DestroySubtree(CTreeItem* pItem) {
    for (CTreeItem* pChild : pItem->children)
        DestroySubtree(pChild);
    m_items.erase(pItem->hItem.GetId());
    delete pItem;
}

void CEntryTreeModel::DeleteItem(CTreeItem* pItem) {
    if (!pItem || pItem == &m_root)
        return;
    if (!pItem->bLinked) {
        auto it = std::find_if(m_queue.begin(), m_queue.end(),
                               [pItem](const CQueued& q) { return q.pItem == pItem; });
        if (it != m_queue.end())
            m_queue.erase(it);
        DestroySubtree(pItem);
        return;
    }
    CTreeItem* pParent = pItem->pParent;
    int nRow = RowOf(pItem);
    beginRemoveRows(IndexOf(pParent), nRow, nRow);
    pParent->children.erase(pParent->children.begin() + nRow);
    pItem->bLinked = false;
    endRemoveRows();
    DestroySubtree(pItem);
}

void CEntryTreeModel::DeleteChildren(CTreeItem* pItem) {
    if (pItem->children.empty())
        return;
    beginRemoveRows(IndexOf(pItem), 0, static_cast<int>(pItem->children.size()) - 1);
    std::vector<CTreeItem*> children;
    children.swap(pItem->children);
    endRemoveRows();
    for (CTreeItem* pChild : children) {
        pChild->bLinked = false;
        DestroySubtree(pChild);
    }
}

void CEntryTreeModel::DeleteAll() {
    beginResetModel();
    for (const CQueued& queued : m_queue)
        DestroySubtree(queued.pItem);
    m_queue.clear();
    for (CTreeItem* pChild : m_root.children)
        DestroySubtree(pChild);
    m_root.children.clear();
    endResetModel();
}

CString CEntryTreeModel::DisplayText(const CTreeItem* pItem) const {
    if (pItem->bFixedText)
        return pItem->strFixedText;
    if (!pItem->pEntry)
        return CString();
    // The server's DN text, with printable hex escapes shown readable.
    CString text = DnForDisplay(m_fnEntryAsRDN() ? pItem->pEntry->GetRDN() : pItem->pEntry->GetDN());
    return text.IsEmpty() ? CString("Root") : text;
}

void CEntryTreeModel::SetFixedText(CTreeItem* pItem, const CString& text) {
    pItem->bFixedText = true;
    pItem->strFixedText = text;
    pItem->nKeyMode = -1;
    if (pItem->bLinked) {
        QModelIndex index = IndexOf(pItem);
        emit dataChanged(index, index, {Qt::DisplayRole});
    }
}

void CEntryTreeModel::SetImages(CTreeItem* pItem, int nImage, int nSelectedImage) {
    pItem->nImage = nImage;
    pItem->nSelectedImage = nSelectedImage;
    if (pItem->bLinked) {
        QModelIndex index = IndexOf(pItem);
        emit dataChanged(index, index, {Qt::DecorationRole});
    }
}

void CEntryTreeModel::SetChildIndicator(CTreeItem* pItem, bool bOn) {
    if (pItem->bChildIndicator == bOn)
        return;
    if (!pItem->bLinked || !pItem->children.empty()) {
        pItem->bChildIndicator = bOn;
        return;
    }
    // The view learns whether a row has children only from structural
    // changes, so the button is redrawn through a layout change.
    emit layoutAboutToBeChanged({IndexOf(pItem->pParent)});
    pItem->bChildIndicator = bOn;
    emit layoutChanged({IndexOf(pItem->pParent)});
}

int CEntryTreeModel::RowOf(CTreeItem* pItem) {
    CTreeItem* pParent = pItem->pParent;
    if (!pParent)
        return 0;
    std::vector<CTreeItem*>& siblings = pParent->children;
    if (pItem->nRow >= 0 && pItem->nRow < static_cast<int>(siblings.size()) && siblings[pItem->nRow] == pItem)
        return pItem->nRow;
    for (size_t i = 0; i < siblings.size(); ++i)
        siblings[i]->nRow = static_cast<int>(i);
    return pItem->nRow;
}

QModelIndex CEntryTreeModel::IndexOf(CTreeItem* pItem) {
    if (!pItem || pItem == &m_root || !pItem->bLinked)
        return QModelIndex();
    return createIndex(RowOf(pItem), 0, pItem);
}

CTreeItem* CEntryTreeModel::ItemOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<CTreeItem*>(index.internalPointer()) : nullptr;
}

QModelIndex CEntryTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const CTreeItem* pParent = parent.isValid() ? ItemOf(parent) : &m_root;
    if (column != 0 || row < 0 || row >= static_cast<int>(pParent->children.size()))
        return QModelIndex();
    CTreeItem* pItem = pParent->children[static_cast<size_t>(row)];
    pItem->nRow = row;
    return createIndex(row, 0, pItem);
}

QModelIndex CEntryTreeModel::parent(const QModelIndex& index) const {
    CTreeItem* pItem = ItemOf(index);
    if (!pItem || !pItem->pParent || pItem->pParent == &m_root)
        return QModelIndex();
    return const_cast<CEntryTreeModel*>(this)->IndexOf(pItem->pParent);
}

int CEntryTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    const CTreeItem* pParent = parent.isValid() ? ItemOf(parent) : &m_root;
    return static_cast<int>(pParent->children.size());
}

int CEntryTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool CEntryTreeModel::hasChildren(const QModelIndex& parent) const {
    const CTreeItem* pParent = parent.isValid() ? ItemOf(parent) : &m_root;
    return !pParent->children.empty() || pParent->bChildIndicator;
}

QVariant CEntryTreeModel::data(const QModelIndex& index, int role) const {
    const CTreeItem* pItem = ItemOf(index);
    if (!pItem)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return ShownText(DisplayText(pItem));
    case Qt::DecorationRole:
        return pItem->bMarker ? QVariant() : TreeItemIcon(pItem->nImage, pItem->nSelectedImage);
    case Qt::FontRole:
        if (pItem->bMarker) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return QVariant();
    case Qt::ForegroundRole:
        // Not greyed out like a disabled row: it is a message, meant to be read.
        return pItem->bMarker ? QGuiApplication::palette().brush(QPalette::Active, QPalette::Text)
                              : QVariant();
    case Qt::ToolTipRole:
        // A narrow pane cuts the text short; a look-alike name is pointed out.
        if (pItem->bMarker)
            return PlainToolTip(
                BytesToText(pItem->strToolTip.IsEmpty() ? DisplayText(pItem) : pItem->strToolTip));
        if (const QString warning = LookAlikeWarning(BytesToText(DisplayText(pItem))); !warning.isEmpty())
            return PlainToolTip(warning);
        return QVariant();
    default:
        return QVariant();
    }
}

Qt::ItemFlags CEntryTreeModel::flags(const QModelIndex& index) const {
    const CTreeItem* pItem = ItemOf(index);
    if (!pItem)
        return Qt::NoItemFlags;
    // An item without an entry can never become the selection; the marker
    // that ends a level cut short is not even a stop for the keyboard's
    // cursor (End goes to the last entry).
    if (pItem->bMarker)
        return Qt::NoItemFlags;
    return pItem->pEntry ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled)
                         : Qt::ItemIsEnabled;
}

const char* const CEntryTreeModel::kEntryItemMimeType = "application/x-tarvo-tree-item";

QStringList CEntryTreeModel::mimeTypes() const {
    return {QString::fromLatin1(kEntryItemMimeType)};
}

QMimeData* CEntryTreeModel::mimeData(const QModelIndexList& indexes) const {
    const CTreeItem* pItem = indexes.isEmpty() ? nullptr : ItemOf(indexes.first());
    if (!pItem || !pItem->pEntry)
        return nullptr;
    auto* pData = new QMimeData;
    // The model names the tree, so a drop on another window's tree is no move.
    pData->setData(QString::fromLatin1(kEntryItemMimeType),
                   QByteArray::number(reinterpret_cast<quintptr>(this)) + ' ' +
                       QByteArray::number(static_cast<qulonglong>(pItem->hItem.GetId())));
    pData->setText(ToQString(pItem->pEntry->GetDN()));
    return pData;
}

HTREEITEM CEntryTreeModel::DraggedItem(const QMimeData* pData) const {
    if (!pData)
        return HTREEITEM();
    const QList<QByteArray> parts = pData->data(QString::fromLatin1(kEntryItemMimeType)).split(' ');
    if (parts.size() != 2 || parts[0] != QByteArray::number(reinterpret_cast<quintptr>(this)))
        return HTREEITEM();
    bool bOk = false;
    const qulonglong nId = parts[1].toULongLong(&bOk);
    return bOk ? HTREEITEM(nId) : HTREEITEM();
}
