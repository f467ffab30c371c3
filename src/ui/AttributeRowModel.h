#pragma once
// The attribute pane's rows: one (name, value) pair per row, owned here,
// shown as UTF-8 text on demand.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/Types.h"
#endif

#include <QAbstractTableModel>
#include <memory>
#include <vector>

class CSchema;

struct CAttributeRow {
    CString strName;
    CString strValue;
};

class CAttributeRowModel : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CAttributeRowModel)

public:
    explicit CAttributeRowModel(QObject* pParent = nullptr);
    ~CAttributeRowModel() override;

    int GetRowCount() const { return static_cast<int>(m_rows.size()); }
    const CAttributeRow& Row(int nRow) const { return *m_rows.at(static_cast<size_t>(nRow)); }
    // FALSE when the index is out of range (the row is dropped).
    BOOL InsertRow(int nRow, const CString& name, const CString& value);
    // One row per value (one with an empty value when there is none), at nRow in order.
    BOOL InsertRows(int nRow, const CString& name, const CStringArray& values);
    void DeleteRow(int nRow);
    void DeleteAllRows();
    // Sorts by column 0 (names) or 1 (values), ASCII case-insensitive.
    void Sort(int nColumn, bool bAscending);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // userPassword values show as their scheme and dots unless shown.
    void SetShowPasswords(bool bShow);
    bool IsShowingPasswords() const { return m_bShowPasswords; }
    static bool IsPasswordAttribute(const CString& name);
    // With a schema: an attribute's description as the name's tooltip, a
    // time's local time as the value's, and attributes the server keeps
    // (operational or not user-modifiable) greyed.
    void SetSchema(std::shared_ptr<const CSchema> pSchema);
    const CSchema* GetSchema() const { return m_pSchema.get(); }
    // "Local time: ..." for a Generalized Time value; empty for another.
    static QString LocalTimeTip(const CString& value);

private:
    std::shared_ptr<const CSchema> m_pSchema;
    bool m_bShowPasswords = false;
    std::vector<CAttributeRow*> m_rows;
};
