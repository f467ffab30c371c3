#include "ui/SearchResultModel.h"

#include "model/BinaryValue.h"
#include "model/DnHelper.h"
#include "platform/qt/PlainText.h"
#include "ui/AttributeListEditor.h"

#include <algorithm>
#include <cctype>

namespace {
std::string LowerKey(const CString& name) {
    std::string key = name.Str();
    for (char& ch : key)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return key;
}

QString ShownValue(const CString& name, const CString& value) {
    return IsBinaryValue(name, value) ? BytesToText(BinaryValueSummary(value)) : ShownText(value);
}
} // namespace

CSearchResultModel::CSearchResultModel(QObject* pParent) : QAbstractTableModel(pParent) {}

void CSearchResultModel::Clear() {
    beginResetModel();
    m_rows.clear();
    m_columns.clear();
    m_columnByKey.clear();
    m_columnByName.clear();
    endResetModel();
}

int CSearchResultModel::ColumnOf(const CString& name) {
    // Most entries spell their names alike: the exact spelling is looked up
    // first, without making a lower-case copy.
    if (auto exact = m_columnByName.find(name.Str()); exact != m_columnByName.end())
        return exact->second;
    auto [it, bNew] = m_columnByKey.emplace(LowerKey(name), static_cast<int>(m_columns.size()) + 1);
    if (bNew)
        m_columns.push_back(name);
    m_columnByName.emplace(name.Str(), it->second);
    return it->second;
}

void CSearchResultModel::Append(std::vector<CSearchResult>& batch) {
    if (batch.empty())
        return;
    int nOldColumns = GetColumnCount();
    for (const CSearchResult& result : batch)
        for (const CAttribute& attribute : result.attributes)
            ColumnOf(attribute.m_strName);
    // The new names' columns were added to the lookup above; announce them.
    int nNewColumns = GetColumnCount();
    if (nNewColumns > nOldColumns) {
        beginInsertColumns(QModelIndex(), nOldColumns, nNewColumns - 1);
        endInsertColumns();
    }
    int nFirst = GetResultCount();
    beginInsertRows(QModelIndex(), nFirst, nFirst + static_cast<int>(batch.size()) - 1);
    for (CSearchResult& result : batch)
        m_rows.push_back(std::move(result));
    endInsertRows();
}

CString CSearchResultModel::GetColumnName(int nColumn) const {
    if (nColumn <= 0 || nColumn > static_cast<int>(m_columns.size()))
        return "DN";
    return m_columns[static_cast<size_t>(nColumn - 1)];
}

std::vector<CString> CSearchResultModel::Values(int nRow, int nColumn) const {
    const CSearchResult& result = Result(nRow);
    if (nColumn == 0)
        return {result.strDN};
    std::string key = LowerKey(GetColumnName(nColumn));
    std::vector<CString> values;
    for (const CAttribute& attribute : result.attributes)
        if (LowerKey(attribute.m_strName) == key)
            for (const CString& value : attribute)
                values.push_back(value);
    return values;
}

int CSearchResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : GetResultCount();
}

int CSearchResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : GetColumnCount();
}

QVariant CSearchResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= GetResultCount())
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    QStringList shown;
    if (const std::vector<CString>& urls = Result(index.row()).referenceUrls; !urls.empty()) {
        // A marker row: where the server points, never followed.
        if (index.column() == 0)
            for (const CString& url : urls)
                shown << QStringLiteral("Search reference (not followed): ") + ShownText(url);
    } else if (index.column() == 0) {
        shown << ShownText(DnForDisplay(Result(index.row()).strDN));
    } else {
        const CString name = GetColumnName(index.column());
        // A cell or tooltip of a 100,000-value attribute would take seconds
        // to build and be taller than any screen: the first values and a count.
        const std::vector<CString> values = Values(index.row(), index.column());
        const size_t nShown = std::min(values.size(), kMaxValuesShown);
        for (size_t i = 0; i < nShown; ++i)
            shown << ShownValue(name, values[i]);
        if (values.size() > nShown)
            shown
                << QStringLiteral("\u2026 and %1 more").arg(static_cast<qulonglong>(values.size() - nShown));
    }
    if (role == Qt::DisplayRole)
        return shown.join(QStringLiteral("; "));
    // The tooltip has each value on its own line, and the look-alike warning.
    QString tip = shown.join(QStringLiteral("\n"));
    if (const QString warning = LookAlikeWarning(tip); !warning.isEmpty())
        tip = warning + QLatin1Char('\n') + tip;
    return tip.isEmpty() ? QVariant() : QVariant(PlainToolTip(tip));
}

QVariant CSearchResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    return ShownText(GetColumnName(section));
}
