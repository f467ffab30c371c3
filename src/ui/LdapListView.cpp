#include "ui/LdapListView.h"

#include "platform/qt/PlainText.h"

#include "ldif/LdifWriter.h"
#include "model/BinaryValue.h"
#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/Services.h"
#include "session/TarvoDoc.h"
#include "source/DataSource.h"
#include "source/EntryCheck.h"
#include "source/Requests.h"
#include "source/Schema.h"
#include "ui/AddAttributesDlg.h"
#include "ui/AttributeListEditor.h"
#include "ui/AttributeRowModel.h"
#include "ui/BinaryValueDlg.h"
#include "ui/LdapTreeView.h"
#include "ui/LdifExport.h"
#include "ui/ModifyAttributeDlg.h"
#include "ui/ShownTextDelegate.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

namespace {

// Ascending at first; every attribute pane shares them.
bool s_bSortAscending[2] = {true, true};

// The list control: the pane's menu after the control's own right-button
// handling, and Tab to the other pane.
class CAttributeListControl : public QTreeView {
public:
    CAttributeListControl(CLdapListView* pPane, QWidget* pParent) : QTreeView(pParent), m_pPane(pPane) {}

protected:
    void mousePressEvent(QMouseEvent* pEvent) override {
        QTreeView::mousePressEvent(pEvent);
        if (pEvent->button() == Qt::RightButton)
            m_pPane->OnRightButtonDown(pEvent->position().toPoint());
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
    CLdapListView* m_pPane;
};

// "Delete 2 values of mail from cn=Ann,dc=x?": what goes, and from where.
CString DeleteValuesQuestion(const CEntryNode* pEntry, const std::vector<CAttributeRow>& rows) {
    std::vector<CString> names;
    for (const CAttributeRow& row : rows)
        if (std::find(names.begin(), names.end(), row.strName) == names.end())
            names.push_back(row.strName);
    CString question;
    question.Format("Delete %d value%s of ", static_cast<int>(rows.size()), rows.size() == 1 ? "" : "s");
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            question += i + 1 == names.size() ? " and " : ", ";
        question += names[i];
    }
    return question + " from " + DnForDisplay(pEntry->GetDN()) + "?";
}

} // namespace

CLdapListView::CLdapListView(CTarvoDoc* pDocument, QWidget* pParent) : CView(pDocument, pParent) {
    m_pModel = new CAttributeRowModel(this);
    m_pList = new CAttributeListControl(this, this);
    m_pList->setModel(m_pModel);
    m_pList->setItemDelegate(new CShownTextDelegate(m_pList));
    m_pList->setRootIsDecorated(false);
    m_pList->setItemsExpandable(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setAllColumnsShowFocus(true);
    m_pList->header()->setSectionsClickable(true);
    // The arrow shows the last sort; none before the first.
    m_pList->header()->setSortIndicatorShown(true);
    m_pList->header()->setSortIndicator(-1, Qt::AscendingOrder);
    // The values take the room there is: binary summaries and long values
    // are not cut while the pane has space.
    m_pList->header()->setStretchLastSection(true);
    m_pList->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pList->setColumnWidth(0, 192);
    m_pList->setColumnWidth(1, 192);
    // Where the rows would be: why an entry's attributes could not be read.
    m_pUnavailable = new QLabel(m_pList->viewport());
    m_pUnavailable->setTextFormat(Qt::PlainText);
    m_pUnavailable->setWordWrap(true);
    m_pUnavailable->setMargin(8);
    m_pUnavailable->hide();
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pList);
    setFocusProxy(m_pList);
    connect(m_pList->header(), &QHeaderView::sectionClicked, this, &CLdapListView::OnColumnClick);

    m_pMenu = new QMenu(this);
    m_pAddAction = m_pMenu->addAction("&Add ");
    m_pDeleteAction = m_pMenu->addAction("&Delete");
    m_pModifyAction = m_pMenu->addAction("&Modify");
    m_pMenu->addSeparator();
    m_pRefreshAction = m_pMenu->addAction("&Refresh");
    m_pMenu->addSeparator();
    m_pGoToAction = m_pMenu->addAction("&Go to Entry");
    m_pShowPasswordsAction = m_pMenu->addAction("Show &Passwords");
    m_pShowPasswordsAction->setCheckable(true);
    connect(m_pShowPasswordsAction, &QAction::toggled, m_pModel, &CAttributeRowModel::SetShowPasswords);
    // Shown beside the items only: the main window's commands take the keys
    // (a popup menu's own shortcuts never fire).
    m_pDeleteAction->setShortcut(QKeySequence::Delete);
    m_pRefreshAction->setShortcut(QKeySequence::Refresh);
    connect(m_pAddAction, &QAction::triggered, this, &CLdapListView::OnAddAttributes);
    connect(m_pDeleteAction, &QAction::triggered, this, &CLdapListView::OnDeleteAttributes);
    connect(m_pModifyAction, &QAction::triggered, this, &CLdapListView::OnModifyAttribute);
    connect(m_pRefreshAction, &QAction::triggered, this, &CLdapListView::OnRefresh);
    connect(m_pGoToAction, &QAction::triggered, this, &CLdapListView::OnGoToEntry);
    // A DN is followed where it is shown; other values are read in place.
    connect(m_pList, &QAbstractItemView::doubleClicked, this, [this] {
        if (CanGoToEntry())
            OnGoToEntry();
    });
}

bool CLdapListView::CanGoToEntry() const {
    const int nRow = GetFocusedRow();
    return m_pCurrentEntry && nRow >= 0 && nRow < GetRowCount() &&
           IsDnValued(m_pModel->GetSchema(), GetRowName(nRow)) && !GetRowValue(nRow).IsEmpty();
}

void CLdapListView::OnGoToEntry() {
    if (!CanGoToEntry())
        return;
    auto* pTree = dynamic_cast<CLdapTreeView*>(m_pDocument ? m_pDocument->GetView(0) : nullptr);
    if (!pTree)
        return;
    // The value as stored: the server's form of the DN is what is looked up.
    pTree->GoToEntry(GetRowValue(GetFocusedRow()));
}

CLdapListView::~CLdapListView() {
    DestroyWindowHandle();
    ClearList();
}

QAction* CLdapListView::GetMenuAction(int nCommand) const {
    switch (nCommand) {
    case ID_ATTRIBUTE_ADD:
        return m_pAddAction;
    case ID_ATTRIBUTE_DELETE:
        return m_pDeleteAction;
    case ID_ATTRIBUTE_MODIFY:
        return m_pModifyAction;
    case ID_ATTRIBUTE_REFRESH:
        return m_pRefreshAction;
    default:
        return nullptr;
    }
}

bool CLdapListView::IsSortAscending(int nColumn) {
    return s_bSortAscending[nColumn == 0 ? 0 : 1];
}

void CLdapListView::ResetSortDirections() {
    s_bSortAscending[0] = s_bSortAscending[1] = true;
}

CDataSource* CLdapListView::Source() const {
    return m_pDocument ? m_pDocument->GetDataSource() : nullptr;
}

void CLdapListView::SetStatus(const CString& text) {
    if (m_pDocument)
        m_pDocument->SetStatusText(text, 2);
}

int CLdapListView::GetRowCount() const {
    return m_pModel->GetRowCount();
}

CString CLdapListView::GetRowName(int nRow) const {
    return nRow >= 0 && nRow < GetRowCount() ? m_pModel->Row(nRow).strName : CString();
}

CString CLdapListView::GetRowValue(int nRow) const {
    return nRow >= 0 && nRow < GetRowCount() ? m_pModel->Row(nRow).strValue : CString();
}

std::vector<int> CLdapListView::GetSelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : m_pList->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CLdapListView::SelectRows(const std::vector<int>& rows) {
    QItemSelection selection;
    for (int nRow : rows)
        selection.select(m_pModel->index(nRow, 0), m_pModel->index(nRow, 1));
    m_pList->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

int CLdapListView::GetFocusedRow() const {
    QModelIndex current = m_pList->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

// ---------------------------------------------------------------- rows

void CLdapListView::ClearList() {
    m_pModel->DeleteAllRows();
    m_pUnavailable->hide();
}

CString CLdapListView::GetUnavailableText() const {
    return m_pUnavailable->isHidden() ? CString() : CString(m_pUnavailable->text().toStdString());
}

BOOL CLdapListView::InsertRow(int nRow, const CString& name, const CString& value) {
    if (!m_pModel->InsertRow(nRow, name, value))
        return FALSE;
    m_pUnavailable->hide();
    ShowRowCount();
    return TRUE;
}

void CLdapListView::ShowRowCount() {
    CString text;
    text.Format("%d Attributes Found.", GetRowCount());
    SetStatus(text);
}

bool CLdapListView::CanCopy(bool bAsLdif) const {
    return bAsLdif ? m_pCurrentEntry != nullptr : !GetSelectedRows().empty();
}

void CLdapListView::OnCopy(bool bAsLdif) {
    std::string text;
    int nSkipped = 0;
    if (bAsLdif) {
        if (!m_pCurrentEntry)
            return;
        nSkipped = AppendEntryText(text, m_pCurrentEntry, "\n");
    } else {
        // A password is never put on the clipboard.
        for (int nRow : GetSelectedRows())
            if (!CAttributeRowModel::IsPasswordAttribute(GetRowName(nRow)))
                text += GetRowValue(nRow).Str() + "\n";
    }
    if (!text.empty())
        QApplication::clipboard()->setText(BytesToText(CString(text)));
    if (nSkipped > 0)
        SetStatus(SkippedNamesText(nSkipped));
}

void CLdapListView::SchemaLoaded() {
    m_pModel->SetSchema(Source() ? Source()->GetSchema() : nullptr);
}

void CLdapListView::Fill(const CAttributeArray& attributes) {
    // The schema read since the last fill decorates the rows.
    m_pModel->SetSchema(Source() ? Source()->GetSchema() : nullptr);
    int nBase = GetRowCount();
    bool bInserted = false;
    for (const CAttribute* pAttribute : attributes) {
        // Each attribute's values in one insertion, and the count shown once
        // per fill: a 100,000-value attribute must not repaint the status
        // bar 100,000 times.
        if (pAttribute && m_pModel->InsertRows(nBase, pAttribute->m_strName, *pAttribute))
            bInserted = true;
    }
    if (bInserted) {
        m_pUnavailable->hide();
        ShowRowCount();
    }
}

void CLdapListView::OnColumnClick(int nColumn) {
    int nFlag = nColumn == 0 ? 0 : 1;
    s_bSortAscending[nFlag] = !s_bSortAscending[nFlag];
    m_pModel->Sort(nFlag, s_bSortAscending[nFlag]);
    m_pList->header()->setSortIndicator(nFlag,
                                        s_bSortAscending[nFlag] ? Qt::AscendingOrder : Qt::DescendingOrder);
}

// ---------------------------------------------------------------- events

void CLdapListView::OnUpdate(CView*, LPARAM lHint, CObject* pHint) {
    auto* pEntry = lHint == HINT_SHOW_ENTRY ? dynamic_cast<CEntryNode*>(pHint) : nullptr;
    if (!pEntry) {
        m_pCurrentEntry = nullptr;
        ClearList();
        return;
    }
    m_pCurrentEntry = pEntry;
    SetStatus("Finding Attributes for - " + DnForDisplay(pEntry->GetDN()));
    ClearList();
    Fill(pEntry->m_attributes);
    // No read under way (a file's entry, read inside the call): the count
    // replaces "Finding", which would otherwise stay for an entry without rows.
    if (pEntry->CanRefreshAttributes())
        ShowRowCount();
}

void CLdapListView::ShowEntryPending(CEntryNode* pEntry) {
    m_pCurrentEntry = pEntry;
    if (pEntry)
        SetStatus("Finding Attributes for - " + DnForDisplay(pEntry->GetDN()));
    ClearList();
}

void CLdapListView::OnActivateView() {
    if (m_pDocument) {
        m_pDocument->m_bAttributeCommandsEnabled = m_pDocument->m_bRefreshEnabled;
        m_pDocument->m_bEntryCommandsEnabled = false;
    }
    if (GetRowCount() > 0 && !m_pList->selectionModel()->hasSelection() &&
        !m_pList->selectionModel()->currentIndex().isValid())
        m_pList->selectionModel()->setCurrentIndex(m_pModel->index(0, 0), QItemSelectionModel::NoUpdate);
}

void CLdapListView::OnRightButtonDown(const QPoint& point) {
    if (GetRowCount() == 0 || !m_pCurrentEntry)
        return;
    bool bSelected = m_pList->selectionModel()->hasSelection();
    m_pAddAction->setEnabled(m_pCurrentEntry->CanAddAttribute());
    m_pDeleteAction->setEnabled(m_pCurrentEntry->CanDeleteAttribute() && bSelected);
    m_pModifyAction->setEnabled(m_pCurrentEntry->CanModifyAttribute() && bSelected);
    m_pRefreshAction->setEnabled(m_pCurrentEntry->CanRefreshAttributes());
    m_pGoToAction->setEnabled(CanGoToEntry());
    m_pMenu->popup(m_pList->viewport()->mapToGlobal(point));
}

void CLdapListView::OnTabKey() {
    if (m_pDocument)
        m_pDocument->ActivatePane(0);
}

// ---------------------------------------------------------------- commands

void CLdapListView::OnAddAttributes() {
    CEntryNode* pEntry = m_pCurrentEntry;
    // Another attribute operation on the entry would fill its cache from a
    // second thread.
    if (!pEntry || !Source() || !pEntry->CanAddAttribute())
        return;
    CAddAttributesDlg dlg(this);
    dlg.SetSchema(Source()->GetSchema(), pEntry->m_attributes);
    if (dlg.DoModal() != IDOK)
        return;
    // The dialog ran the event loop: the entry may have gone meanwhile.
    CDataSource* pSource = Source();
    if (m_pCurrentEntry != pEntry || !pSource || !pEntry->CanAddAttribute())
        return;
    pEntry->BeginOperation(OP_ADD_ATTRIBUTE);
    pSource->AddAttributes(pEntry, &dlg.GetAttributes(), this);
}

void CLdapListView::OnModifyAttribute() {
    CEntryNode* pEntry = m_pCurrentEntry;
    std::vector<int> selected = GetSelectedRows();
    if (!pEntry || !Source() || selected.empty() || !pEntry->CanModifyAttribute())
        return;
    int nRow = selected.front();
    CString name = GetRowName(nRow);
    CString oldValue = GetRowValue(nRow);
    CString newValue;
    if (RefusedBySchema(name, CString(), false))
        return;
    if (IsBinaryValue(name, oldValue)) {
        // Bytes that are not text cannot be edited as text: they go to and
        // come from files.
        CBinaryValueDlg dlg(name, oldValue, this);
        if (dlg.DoModal() != IDOK)
            return;
        newValue = dlg.GetNewValue();
    } else {
        // A value the schema refuses is offered again for correction.
        newValue = oldValue;
        do {
            CModifyAttributeDlg dlg(CModifyAttributeDlg::MODE_ATTRIBUTE, this);
            dlg.SetReadOnlyText(name);
            dlg.SetEditText(newValue);
            if (dlg.DoModal() != IDOK)
                return;
            newValue = dlg.GetEditText();
        } while (RefusedBySchema(name, newValue, true));
    }
    CDataSource* pSource = Source();
    if (m_pCurrentEntry != pEntry || !pSource || !pEntry->CanModifyAttribute() || GetRowName(nRow) != name ||
        GetRowValue(nRow) != oldValue || nRow >= GetRowCount())
        return;
    CAttribute attribute;
    attribute.SetName(name);
    attribute.Add(newValue);
    attribute.Add(oldValue);
    // The LDIF source answers inside the call: the record is in place first.
    m_pendingModifies.push_back({pEntry, nRow, name, oldValue, newValue});
    pSource->ModifyAttribute(pEntry, &attribute, nRow, this);
}

bool CLdapListView::RefusedBySchema(const CString& name, const CString& value, bool bCheckValue) {
    CDataSource* pSource = Source();
    std::shared_ptr<const CSchema> pSchema = pSource ? pSource->GetSchema() : nullptr;
    if (!pSchema)
        return false;
    const CSchemaAttributeType* pType = pSchema->FindAttributeType(name);
    CString why;
    if (pType && pType->m_bResolvedNoUserModification)
        why = "is set by the server, not by the user";
    else if (bCheckValue)
        why = CheckNewValue(*pSchema, name, value, 0);
    if (why.IsEmpty())
        return false;
    AfxMessageBox(name + ": " + why, MB_OK | MB_ICONEXCLAMATION);
    return true;
}

void CLdapListView::OnDeleteAttributes() {
    CEntryNode* pEntry = m_pCurrentEntry;
    std::vector<int> selected = GetSelectedRows();
    if (!pEntry || !Source() || !pEntry->CanDeleteAttribute() || selected.empty())
        return;
    for (int nRow : selected)
        if (RefusedBySchema(GetRowName(nRow), CString(), false))
            return;
    // Remember what was asked about, to check it still stands after the box.
    std::vector<CAttributeRow> rows;
    for (int nRow : selected)
        rows.push_back(m_pModel->Row(nRow));
    if (AfxMessageBox(DeleteValuesQuestion(pEntry, rows), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) !=
        IDYES)
        return;
    CDataSource* pSource = Source();
    if (m_pCurrentEntry != pEntry || !pSource || !pEntry->CanDeleteAttribute())
        return;
    for (size_t i = 0; i < selected.size(); ++i) {
        if (selected[i] >= GetRowCount() || GetRowName(selected[i]) != rows[i].strName ||
            GetRowValue(selected[i]) != rows[i].strValue)
            return;
    }
    // One attribute per name with its selected values, in row order.
    CAttributeArray attributes;
    CDWordArray indices;
    for (size_t i = 0; i < selected.size(); ++i) {
        CAttribute* pFound = nullptr;
        for (CAttribute* pAttribute : attributes)
            if (pAttribute->m_strName == rows[i].strName)
                pFound = pAttribute;
        if (!pFound) {
            pFound = new CAttribute;
            pFound->SetName(rows[i].strName);
            attributes.Add(pFound);
        }
        pFound->Add(rows[i].strValue);
        indices.Add(static_cast<DWORD>(selected[i]));
    }
    pEntry->BeginOperation(OP_DELETE_ATTRIBUTE);
    pSource->DeleteAttributes(pEntry, &attributes, &indices, this);
    // The source keeps its own copies.
    DeleteAttributes(attributes);
}

void CLdapListView::OnRefresh() {
    CEntryNode* pEntry = m_pCurrentEntry;
    CDataSource* pSource = Source();
    if (!pEntry || !pSource || !pEntry->CanRefreshAttributes())
        return;
    DeleteAttributes(pEntry->m_attributes);
    pSource->ReadAttributes(pEntry, &pEntry->m_attributes, this, TRUE);
}

// ---------------------------------------------------------------- notifications

void CLdapListView::ClearAttributes(CEntryNode* pFor) {
    if (!pFor || pFor == m_pCurrentEntry)
        ClearList();
}

void CLdapListView::AttributesUnavailable(CEntryNode* pFor, const CString& strText) {
    if (pFor && pFor != m_pCurrentEntry)
        return;
    // It may hold the server's diagnostic: plain, hidden characters spelt out.
    SetPlainLabel(m_pUnavailable, BytesToText(strText));
    m_pUnavailable->resize(m_pList->viewport()->width(),
                           m_pUnavailable->heightForWidth(m_pList->viewport()->width()));
    m_pUnavailable->show();
    // In place of "Finding Attributes for - ...", which would outlive the read.
    SetStatus(strText);
}

void CLdapListView::ShowAttributes(const CAttributeArray& attributes, CEntryNode* pFor) {
    if (pFor && pFor != m_pCurrentEntry)
        return;
    Fill(attributes);
    // An entry without attributes: the read is over all the same.
    if (attributes.IsEmpty())
        ShowRowCount();
}

void CLdapListView::AttributeAdded(CAddAttributesRequest& request) {
    // The rows are another entry's once the user has moved on.
    if (request.bSucceeded && request.pEntry == m_pCurrentEntry)
        Fill(request.attributes);
    DeleteAttributes(request.attributes);
}

void CLdapListView::AttributeDeleted(CDeleteAttributesRequest& request) {
    if (request.bSucceeded && request.pEntry == m_pCurrentEntry) {
        RemoveDeletedRows(request);
        // The count shown must not stay at the rows that are gone.
        ShowRowCount();
    }
    DeleteAttributes(request.attributes);
    request.rowIndices.RemoveAll();
}

int CLdapListView::FindRow(const CString& name, const CString& value, int nHint) const {
    if (nHint >= 0 && nHint < GetRowCount() && GetRowName(nHint) == name && GetRowValue(nHint) == value)
        return nHint;
    for (int nRow = 0; nRow < GetRowCount(); ++nRow)
        if (GetRowName(nRow) == name && GetRowValue(nRow) == value)
            return nRow;
    return -1;
}

void CLdapListView::RemoveDeletedRows(const CDeleteAttributesRequest& request) {
    // Rows are found by what they show: a header click may have sorted them
    // since the indices were taken. Two rows that show the same are alike.
    for (const CAttribute* pAttribute : request.attributes) {
        for (const CString& value : *pAttribute) {
            int nRow = FindRow(pAttribute->m_strName, value, -1);
            if (nRow >= 0)
                m_pModel->DeleteRow(nRow);
        }
    }
}

void CLdapListView::AttributeModified(CModifyAttributeRequest& request) {
    const CString newValue = request.attribute.GetSize() > 0 ? request.attribute.GetAt(0) : CString();
    // The newest record that matches; older equal ones are modifies the
    // server refused (no answer comes for those).
    std::optional<CPendingModify> pending;
    for (auto it = m_pendingModifies.begin(); it != m_pendingModifies.end();) {
        if (it->pEntry == request.pEntry && it->nRow == request.nRowIndex &&
            it->strName == request.attribute.m_strName && it->strNewValue == newValue) {
            pending = *it;
            it = m_pendingModifies.erase(it);
        } else {
            ++it;
        }
    }
    if (!pending || !request.bSucceeded || request.pEntry != m_pCurrentEntry)
        return;
    int nRow = FindRow(pending->strName, pending->strOldValue, pending->nRow);
    if (nRow < 0)
        return;
    m_pModel->DeleteRow(nRow);
    InsertRow(nRow, request.attribute.m_strName, newValue);
}
