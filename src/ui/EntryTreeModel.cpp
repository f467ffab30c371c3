#include "ui/EntryTreeModel.h"

#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "ui/AttributeListEditor.h"
#include "ui/TreeImages.h"

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
    // The common case while browsing: the new item goes last.
    if (siblings.empty() || SortKey(siblings.back()) <= key)
        return static_cast<int>(siblings.size());
    auto it =
        std::upper_bound(siblings.begin(), siblings.end(), key,
                         [this](const std::string& k, CTreeItem* pSibling) { return k < SortKey(pSibling); });
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
    qint64 nWait = m_sinceFlush.isValid() ? kFlushIntervalMs - m_sinceFlush.elapsed() : 0;
    m_flushTimer.start(static_cast<int>(std::max<qint64>(0, nWait)));
}

void CEntryTreeModel::FlushQueued() {
    m_flushTimer.stop();
    if (m_queue.empty())
        return;
    std::vector<CQueued> queue;
    queue.swap(m_queue);
    for (const CQueued& queued : queue) {
        CTreeItem* pParent = queued.hParent ? Find(queued.hParent) : &m_root;
        if (!pParent || !pParent->bLinked) {
            // The parent went away meanwhile (refresh, delete, close).
            DestroySubtree(queued.pItem);
            continue;
        }
        CTreeItem* pItem = queued.pItem;
        LinkAt(pParent, pItem, SortedRow(pParent, pItem->strKey));
    }
    m_sinceFlush.start();
    emit Flushed();
}

void CEntryTreeModel::FlushQueuedIfDue() {
    if (!m_queue.empty() && (!m_sinceFlush.isValid() || m_sinceFlush.elapsed() >= kFlushIntervalMs))
        FlushQueued();
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
        return BytesToText(DisplayText(pItem));
    case Qt::DecorationRole:
        return TreeItemIcon(pItem->nImage, pItem->nSelectedImage);
    default:
        return QVariant();
    }
}

Qt::ItemFlags CEntryTreeModel::flags(const QModelIndex& index) const {
    const CTreeItem* pItem = ItemOf(index);
    if (!pItem)
        return Qt::NoItemFlags;
    // An item without an entry can never become the selection.
    return pItem->pEntry ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable) : Qt::ItemIsEnabled;
}
