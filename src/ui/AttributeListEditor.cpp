#include "ui/AttributeListEditor.h"

#include "model/DnHelper.h"

#include "platform/Services.h"
#include "ui/DialogUnits.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <iterator>

QString BytesToText(const CString& bytes) {
    return QString::fromUtf8(bytes.Str().data(), static_cast<qsizetype>(bytes.Str().size()));
}

CString TextToBytes(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    return CString(std::string(utf8.constData(), static_cast<size_t>(utf8.size())));
}

namespace {
// The row's original bytes, kept beside the shown text.
constexpr int kBytesRole = Qt::UserRole + 1;
} // namespace

CAttributeListEditor::CAttributeListEditor(QWidget* pDialog, bool bRefuseEmpty)
    : QObject(pDialog), m_bRefuseEmpty(bRefuseEmpty), m_pName(new QLineEdit(pDialog)),
      m_pValue(new QLineEdit(pDialog)), m_pAdd(new QPushButton(">>", pDialog)),
      m_pRemove(new QPushButton("<<", pDialog)), m_pList(new QTreeWidget(pDialog)) {
    m_pAdd->setAutoDefault(false);
    m_pRemove->setAutoDefault(false);
    m_pList->setColumnCount(2);
    m_pList->setHeaderLabels({"Attribute Name", "Attribute Value"});
    m_pList->setRootIsDecorated(false);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setUniformRowHeights(true);
    m_pValue->installEventFilter(this);
    // Only rows made editable take a value in place, and only in the value
    // column; the typed text is the value.
    auto editValue = [this](QTreeWidgetItem* pRow) {
        if (pRow && (pRow->flags() & Qt::ItemIsEditable))
            m_pList->editItem(pRow, 1);
    };
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, editValue);
    m_pList->installEventFilter(this);
    connect(m_pList, &QTreeWidget::itemChanged, this, [](QTreeWidgetItem* pRow, int nColumn) {
        if (nColumn != 1 || !(pRow->flags() & Qt::ItemIsEditable))
            return;
        const QByteArray bytes = pRow->text(1).toUtf8();
        if (pRow->data(1, kBytesRole).toByteArray() != bytes)
            pRow->setData(1, kBytesRole, bytes);
    });
    connect(m_pAdd, &QPushButton::clicked, this, &CAttributeListEditor::OnAddRow);
    connect(m_pRemove, &QPushButton::clicked, this, &CAttributeListEditor::OnRemoveRow);
}

QGroupBox* CAttributeListEditor::CreateGroup(const QString& nameLabel, const QString& valueLabel,
                                             int nListHeight) {
    auto* pDialog = static_cast<QWidget*>(parent());
    CDialogUnits units(pDialog);
    auto* pGroup = new QGroupBox(QStringLiteral("Attributes"), pDialog);
    auto* pGrid = new QGridLayout(pGroup);
    auto* pName = new QLabel(nameLabel, pGroup);
    pName->setBuddy(m_pName);
    auto* pValue = new QLabel(valueLabel, pGroup);
    pValue->setBuddy(m_pValue);
    auto* pList = new QLabel(QStringLiteral("&Attribute list:"), pGroup);
    pList->setBuddy(m_pList);
    units.MinimumWidth(m_pName, 92);
    units.MinimumWidth(m_pValue, 92);
    units.MinimumSize(m_pList, 155, nListHeight);
    pGrid->addWidget(pName, 0, 0);
    pGrid->addWidget(m_pName, 1, 0);
    pGrid->addWidget(pValue, 2, 0);
    pGrid->addWidget(m_pValue, 3, 0);
    pGrid->setRowStretch(4, 1);
    pGrid->addWidget(m_pAdd, 5, 0, Qt::AlignRight);
    pGrid->addWidget(m_pRemove, 6, 0, Qt::AlignRight);
    pGrid->addWidget(pList, 0, 1);
    pGrid->addWidget(m_pList, 1, 1, 6, 1);
    pGrid->setColumnStretch(1, 1);
    return pGroup;
}

void CAttributeListEditor::ChainTabOrder(QWidget* pBefore, QWidget* pAfter) {
    QWidget* chain[] = {pBefore, NameEdit(), ValueEdit(), AddButton(), RemoveButton(), List(), pAfter};
    for (size_t i = pBefore ? 0 : 1; i + 1 < std::size(chain); ++i)
        QWidget::setTabOrder(chain[i], chain[i + 1]);
}

void CAttributeListEditor::SetUpColumns() {
    // The list's inside, so that the two columns need no scroll bar.
    int nHalf = m_pList->viewport()->width() / 2;
    m_pList->setColumnWidth(0, nHalf);
    m_pList->setColumnWidth(1, nHalf);
}

CString AttributeNameMessage(const CString& name) {
    if (name.CompareNoCase("dn") == 0)
        return "Name: \"" + name +
               "\" is not an attribute name: the DN of an entry is set by its relative name.";
    return "Name: \"" + name +
           "\" is not an attribute name. Use a letter followed by letters, digits and hyphens (options after "
           "a "
           "semicolon, as in description;lang-de), or a numeric OID.";
}

CString RelativeNameMessage(const CString& field, const CString& typed) {
    return field + ": \"" + typed +
           "\" is not a relative DN. Type it as attribute=value, for example cn=Smith.";
}

CString MoveRefusedMessage(const CString& field, const CString& typedParent, const CString& parentDN) {
    return field + ": the DN typed names another parent (" + DnForDisplay(typedParent) +
           "). An entry cannot be moved here: type its new name alone, to keep it under " +
           (parentDN.IsEmpty() ? CString("the top") : DnForDisplay(parentDN)) + ".";
}

bool CAttributeListEditor::OnAddRow() {
    CString name = TextToBytes(m_pName->text());
    CString value = TextToBytes(m_pValue->text());
    if (m_bRefuseEmpty && (name.IsEmpty() || value.IsEmpty()))
        return false;
    // A name that is not an attribute description would be refused by a
    // server and would break the record in an LDIF file.
    if (!IsAttributeDescription(name.View())) {
        AfxMessageBox(AttributeNameMessage(name), MB_OK | MB_ICONEXCLAMATION);
        m_pName->setFocus();
        m_pName->selectAll();
        return false;
    }
    AppendRow(name, value);
    m_pName->clear();
    m_pValue->clear();
    return true;
}

QTreeWidgetItem* CAttributeListEditor::AppendRow(const CString& name, const CString& value) {
    auto* pRow = new QTreeWidgetItem(m_pList);
    pRow->setText(0, BytesToText(name));
    pRow->setText(1, BytesToText(value));
    pRow->setData(0, kBytesRole, QByteArray(name.Str().data(), static_cast<qsizetype>(name.Str().size())));
    pRow->setData(1, kBytesRole, QByteArray(value.Str().data(), static_cast<qsizetype>(value.Str().size())));
    return pRow;
}

void CAttributeListEditor::SetValueEditable(QTreeWidgetItem* pRow) {
    pRow->setFlags(pRow->flags() | Qt::ItemIsEditable);
}

void CAttributeListEditor::RemoveRowAt(int nRow) {
    delete m_pList->takeTopLevelItem(nRow);
}

bool CAttributeListEditor::HasTypedRow() const {
    return !m_pName->text().isEmpty() && !m_pValue->text().isEmpty();
}

bool CAttributeListEditor::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pList && pEvent->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(pEvent)->key() == Qt::Key_F2) {
        QTreeWidgetItem* pRow = m_pList->currentItem();
        if (pRow && (pRow->flags() & Qt::ItemIsEditable))
            m_pList->editItem(pRow, 1);
        return true;
    }
    if (pWatched == m_pValue && pEvent->type() == QEvent::KeyPress) {
        const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
        if ((nKey == Qt::Key_Return || nKey == Qt::Key_Enter) && HasTypedRow()) {
            OnAddRow();
            m_pName->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QObject::eventFilter(pWatched, pEvent);
}

bool CAttributeListEditor::AddTypedRow() {
    if (!HasTypedRow())
        return true;
    const CString name = TextToBytes(m_pName->text());
    const CString value = TextToBytes(m_pValue->text());
    for (int nRow = 0; nRow < GetRowCount(); ++nRow)
        if (GetRowName(nRow) == name && GetRowValue(nRow) == value)
            return true;
    return OnAddRow();
}

void CAttributeListEditor::OnRemoveRow() {
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
        if (m_pList->topLevelItem(i)->isSelected()) {
            delete m_pList->takeTopLevelItem(i);
            return;
        }
    }
}

int CAttributeListEditor::GetRowCount() const {
    return m_pList->topLevelItemCount();
}

CString CAttributeListEditor::GetRowName(int nRow) const {
    QByteArray bytes = m_pList->topLevelItem(nRow)->data(0, kBytesRole).toByteArray();
    return CString(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
}

CString CAttributeListEditor::GetRowValue(int nRow) const {
    QByteArray bytes = m_pList->topLevelItem(nRow)->data(1, kBytesRole).toByteArray();
    return CString(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
}

void CAttributeListEditor::CollectAttributes(CAttributeArray& attributes) const {
    for (int nRow = 0; nRow < GetRowCount(); ++nRow) {
        CString name = GetRowName(nRow);
        CString value = GetRowValue(nRow);
        CAttribute* pFound = nullptr;
        for (CAttribute* pAttribute : attributes) {
            if (pAttribute->m_strName == name) {
                pFound = pAttribute;
                break;
            }
        }
        if (pFound) {
            pFound->Add(value);
        } else {
            auto* pNew = new CAttribute;
            pNew->SetName(name);
            pNew->Add(value);
            attributes.Add(pNew);
        }
    }
}
