#include "ui/AttributeRowModel.h"

#include "model/BinaryValue.h"
#include "model/DnHelper.h"
#include "model/ValueSyntax.h"
#include "platform/qt/PlainText.h"
#include "source/PasswordHash.h"
#include "source/Schema.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QPalette>

#include "ui/AttributeListEditor.h"
#include <algorithm>
#include <cstring>

#include <algorithm>

CAttributeRowModel::CAttributeRowModel(QObject* pParent) : QAbstractTableModel(pParent) {}

CAttributeRowModel::~CAttributeRowModel() {
    for (CAttributeRow* pRow : m_rows)
        delete pRow;
}

BOOL CAttributeRowModel::InsertRow(int nRow, const CString& name, const CString& value) {
    if (nRow < 0 || nRow > GetRowCount())
        return FALSE;
    beginInsertRows(QModelIndex(), nRow, nRow);
    m_rows.insert(m_rows.begin() + nRow, new CAttributeRow{name, value});
    endInsertRows();
    return TRUE;
}

BOOL CAttributeRowModel::InsertRows(int nRow, const CString& name, const CStringArray& values) {
    if (nRow < 0 || nRow > GetRowCount())
        return FALSE;
    const int nCount = values.IsEmpty() ? 1 : values.GetSize();
    std::vector<CAttributeRow*> rows;
    rows.reserve(static_cast<size_t>(nCount));
    if (values.IsEmpty())
        rows.push_back(new CAttributeRow{name, CString()});
    for (const CString& value : values)
        rows.push_back(new CAttributeRow{name, value});
    // One insertion for the whole attribute: the view lays out once.
    beginInsertRows(QModelIndex(), nRow, nRow + nCount - 1);
    m_rows.insert(m_rows.begin() + nRow, rows.begin(), rows.end());
    endInsertRows();
    return TRUE;
}

void CAttributeRowModel::DeleteRow(int nRow) {
    if (nRow < 0 || nRow >= GetRowCount())
        return;
    beginRemoveRows(QModelIndex(), nRow, nRow);
    delete m_rows[static_cast<size_t>(nRow)];
    m_rows.erase(m_rows.begin() + nRow);
    endRemoveRows();
}

void CAttributeRowModel::DeleteAllRows() {
    beginResetModel();
    for (CAttributeRow* pRow : m_rows)
        delete pRow;
    m_rows.clear();
    endResetModel();
}

void CAttributeRowModel::Sort(int nColumn, bool bAscending) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QModelIndexList before = persistentIndexList();
    std::vector<CAttributeRow*> rowsBefore = m_rows;
    std::stable_sort(m_rows.begin(), m_rows.end(), [nColumn, bAscending](CAttributeRow* a, CAttributeRow* b) {
        const CString& left = nColumn == 0 ? a->strName : a->strValue;
        const CString& right = nColumn == 0 ? b->strName : b->strValue;
        int nResult = left.CompareNoCase(right);
        return bAscending ? nResult < 0 : nResult > 0;
    });
    // Selection and focus follow their rows.
    QModelIndexList after;
    for (const QModelIndex& index : before) {
        CAttributeRow* pRow = rowsBefore[static_cast<size_t>(index.row())];
        int nNewRow = static_cast<int>(std::find(m_rows.begin(), m_rows.end(), pRow) - m_rows.begin());
        after.append(this->index(nNewRow, index.column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int CAttributeRowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : GetRowCount();
}

int CAttributeRowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

namespace {
// A NUL a server put in an attribute's name is shown as \00, not taken for
// the end of the name.
CString NameForDisplay(const CString& name) {
    if (name.View().find('\0') == std::string_view::npos)
        return name;
    std::string text;
    for (char ch : name.View())
        text += ch == '\0' ? std::string("\\00") : std::string(1, ch);
    return CString(text);
}
} // namespace

QVariant CAttributeRowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= GetRowCount())
        return QVariant();
    const CAttributeRow& row = Row(index.row());
    // Bytes that are not text are named, never shown raw: the row keeps the
    // server's bytes, so what is sent back is exact.
    bool bBinary = index.column() == 1 && IsBinaryValue(row.strName, row.strValue);
    const bool bMasked = index.column() == 1 && !m_bShowPasswords && IsPasswordAttribute(row.strName);
    if (bMasked && (role == Qt::DisplayRole || role == Qt::ToolTipRole))
        return role == Qt::DisplayRole ? BytesToText(MaskPasswordValue(row.strValue)) : QVariant();
    if (role == Qt::DisplayRole) {
        if (bBinary)
            return BytesToText(BinaryValueSummary(row.strValue));
        if (index.column() == 0)
            return ShownText(NameForDisplay(row.strName));
        // A DN reads as it does in the tree; the bytes stay what is sent.
        return ShownText(IsDnValued(m_pSchema.get(), row.strName) ? DnForDisplay(row.strValue)
                                                                  : row.strValue);
    }
    const CSchemaAttributeType* pType = m_pSchema ? m_pSchema->FindAttributeType(row.strName) : nullptr;
    if (role == Qt::ToolTipRole) {
        if (bBinary)
            return PlainToolTip(BytesToText(DescribeBinaryValue(row.strName, row.strValue)));
        const QString warning =
            LookAlikeWarning(BytesToText(index.column() == 0 ? row.strName : row.strValue));
        if (!warning.isEmpty())
            return QVariant(PlainToolTip(warning));
        // The schema's description of the attribute, a time's local time.
        if (pType && index.column() == 0 && !pType->m_strDesc.IsEmpty())
            return PlainToolTip(BytesToText(pType->m_strDesc));
        if (pType && index.column() == 1 &&
            pType->m_strResolvedSyntax.Left(static_cast<int>(strlen(ValueSyntax::kGeneralizedTime))) ==
                ValueSyntax::kGeneralizedTime)
            return LocalTimeTip(row.strValue);
        return QVariant();
    }
    if (pType && role == Qt::ForegroundRole &&
        (pType->IsOperational() || pType->m_bResolvedNoUserModification))
        return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return QVariant();
}

QVariant CAttributeRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::DisplayRole)
        return section == 0 ? QString("Attributes") : QString("Values");
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return QVariant();
}

void CAttributeRowModel::SetSchema(std::shared_ptr<const CSchema> pSchema) {
    if (pSchema == m_pSchema)
        return;
    m_pSchema = std::move(pSchema);
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(GetRowCount() - 1, 1));
}

QString CAttributeRowModel::LocalTimeTip(const CString& value) {
    CGeneralizedTime time;
    if (!ParseGeneralizedTime(value, time))
        return QString();
    QDateTime utc(QDate(time.nYear, time.nMonth, time.nDay),
                  QTime(time.nHour, time.nMinute, std::min(time.nSecond, 59)), Qt::UTC);
    utc = utc.addSecs(-60LL * time.nOffsetMinutes);
    return QStringLiteral("Local time: ") +
           utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t"));
}

bool CAttributeRowModel::IsPasswordAttribute(const CString& name) {
    return name.CompareNoCase("userPassword") == 0 || name.Left(13).CompareNoCase("userPassword;") == 0;
}

void CAttributeRowModel::SetShowPasswords(bool bShow) {
    if (bShow == m_bShowPasswords)
        return;
    m_bShowPasswords = bShow;
    if (!m_rows.empty())
        emit dataChanged(index(0, 1), index(GetRowCount() - 1, 1));
}

Qt::ItemFlags CAttributeRowModel::flags(const QModelIndex& index) const {
    return index.isValid() ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable) : Qt::NoItemFlags;
}
