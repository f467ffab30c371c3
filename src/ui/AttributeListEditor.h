#pragma once
// The attribute-list editor shared by the Add Entry and Add Attributes
// dialogs: a name and a value edit, ">>" that moves them into a two-column
// list, "<<" that removes the first selected row, and the grouping of the
// rows into attributes.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "model/Attribute.h"
#endif

#include <QObject>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

class CAttributeListEditor : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CAttributeListEditor)

public:
    // bRefuseEmpty: ">>" ignores a row whose name or value is empty.
    CAttributeListEditor(QWidget* pDialog, bool bRefuseEmpty);

    QLineEdit* NameEdit() const { return m_pName; }
    QLineEdit* ValueEdit() const { return m_pValue; }
    QPushButton* AddButton() const { return m_pAdd; }
    QPushButton* RemoveButton() const { return m_pRemove; }
    QTreeWidget* List() const { return m_pList; }

    // ">>" (1010) and "<<" (1011). false when no row was added (an empty
    // field where refused, or a name that is not an attribute name).
    bool OnAddRow();
    void OnRemoveRow();
    // OK's first step: a name and value typed but not yet moved into the
    // list are added, unless that very row is there already. false when the
    // typed row was refused (the dialog stays open).
    bool AddTypedRow();

    // A row as it is, without the checks of ">>"; the edits keep their text.
    QTreeWidgetItem* AppendRow(const CString& name, const CString& value);
    // The row's value can then be typed in place (double-click or F2).
    static void SetValueEditable(QTreeWidgetItem* pRow);
    void RemoveRowAt(int nRow);

    int GetRowCount() const;
    CString GetRowName(int nRow) const;
    CString GetRowValue(int nRow) const;
    // Two columns, each half as wide as the list; called when the dialog opens.
    void SetUpColumns();
    // Tab goes from pBefore (when given) through the name, value, ">>", "<<"
    // and the list to pAfter.
    void ChainTabOrder(QWidget* pBefore, QWidget* pAfter);
    // The "Attributes" group: the labelled name and value edits above ">>"
    // and "<<" on the left, the labelled list on the right.
    QGroupBox* CreateGroup(const QString& nameLabel, const QString& valueLabel, int nListHeight);

    // One attribute per distinct name (byte for byte, case-sensitive), in
    // order of first appearance, values in row order. The caller owns them.
    void CollectAttributes(CAttributeArray& attributes) const;

protected:
    // Enter in the value edit with a name and value typed is ">>".
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    bool HasTypedRow() const;

    bool m_bRefuseEmpty;
    QLineEdit* m_pName;
    QLineEdit* m_pValue;
    QPushButton* m_pAdd;
    QPushButton* m_pRemove;
    QTreeWidget* m_pList;
};

// Why a typed name cannot be an attribute name, and why typed text cannot
// be a relative DN (field names the control).
CString AttributeNameMessage(const CString& name);
CString RelativeNameMessage(const CString& field, const CString& typed);
// The refusal of a whole DN whose parent is not the one the entry is under.
CString MoveRefusedMessage(const CString& field, const CString& typedParent, const CString& parentDN);

// Conversions between the model's bytes and the widgets' text (UTF-8).
QString BytesToText(const CString& bytes);
CString TextToBytes(const QString& text);
