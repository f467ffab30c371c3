#pragma once
// The rows of a search: one per entry, the DN first, then one column per
// attribute name met so far (names compared without regard to case).

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "source/Search.h"
#endif

#include <QAbstractTableModel>
#include <QStringList>
#include <unordered_map>
#include <vector>

class CSearchResultModel : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSearchResultModel)

public:
    explicit CSearchResultModel(QObject* pParent = nullptr);

    void Clear();
    // Appends a batch; the results are moved out of it.
    void Append(std::vector<CSearchResult>& batch);

    int GetResultCount() const { return static_cast<int>(m_rows.size()); }
    const CSearchResult& Result(int nRow) const { return m_rows.at(static_cast<size_t>(nRow)); }
    // Column 0 is the DN; column c > 0 is GetColumnName(c).
    int GetColumnCount() const { return 1 + static_cast<int>(m_columns.size()); }
    CString GetColumnName(int nColumn) const;
    // The values of a row's column, in the server's order.
    std::vector<CString> Values(int nRow, int nColumn) const;
    // Values a cell or its tooltip shows; the rest are counted ("... and N more").
    static constexpr size_t kMaxValuesShown = 20;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    int ColumnOf(const CString& name);

    std::vector<CSearchResult> m_rows;
    std::vector<CString> m_columns;
    std::unordered_map<std::string, int> m_columnByKey;  // lower-cased name -> column
    std::unordered_map<std::string, int> m_columnByName; // every spelling met -> column
};
