#pragma once
// The right pane: the attributes of the current entry, one row per value,
// with the attribute commands.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "model/Attribute.h"
#include "session/View.h"
#include "source/SourceEvents.h"
#endif

#include <vector>

class CAttributeRowModel;
class CDataSource;
class CEntryNode;
struct CDeleteAttributesRequest;
struct CModifyAttributeRequest;
class QAction;
class QLabel;
class QMenu;
class QModelIndex;
class QTreeView;

constexpr int ID_ATTRIBUTE_ADD = 32797;
constexpr int ID_ATTRIBUTE_DELETE = 32798;
constexpr int ID_ATTRIBUTE_MODIFY = 32799;
constexpr int ID_ATTRIBUTE_REFRESH = 32784;

class CLdapListView : public CView, public ISourceEvents {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLdapListView)

public:
    explicit CLdapListView(CTarvoDoc* pDocument, QWidget* pParent = nullptr);
    ~CLdapListView() override;

    void ClearList();
    void OnAddAttributes();
    void OnDeleteAttributes();
    void OnModifyAttribute();
    void OnRefresh();
    // Opens the tree at the entry the focused row's value names, when it is
    // a DN (the value of member, manager, seeAlso and the like).
    void OnGoToEntry();
    bool CanGoToEntry() const;
    // Copy: the selected values as text, one a line; as LDIF: the current
    // entry's record.
    bool CanCopy(bool bAsLdif) const;
    void OnCopy(bool bAsLdif);

    // What the source reports about the attributes. A read's rows belong to
    // the entry it reads (pFor); the user may have moved on since it began.
    void ClearAttributes(CEntryNode* pFor) override;
    void ShowAttributes(const CAttributeArray& attributes, CEntryNode* pFor) override;
    void AttributesUnavailable(CEntryNode* pFor, const CString& strText) override;
    // The text shown in the rows' place, "" when none is.
    CString GetUnavailableText() const;
    void AttributeAdded(CAddAttributesRequest& request) override;
    void AttributeDeleted(CDeleteAttributesRequest& request) override;
    void AttributeModified(CModifyAttributeRequest& request) override;
    // The rows shown take the schema's tooltips and greying at once.
    void SchemaLoaded() override;

    void OnUpdate(CView* pSender, LPARAM lHint, CObject* pHint) override;
    void OnActivateView() override;
    // Makes pEntry the current entry with no rows: its cache is still being
    // changed by a worker, and the read the tree pane queued fills the rows.
    void ShowEntryPending(CEntryNode* pEntry);

    // Appends rows for the attributes (each fill's attributes come out in
    // reverse array order, values in order).
    void Fill(const CAttributeArray& attributes);
    // A click on a column header.
    void OnColumnClick(int nColumn);
    // The sort direction flags, shared by every attribute pane.
    static bool IsSortAscending(int nColumn);
    static void ResetSortDirections();

    CEntryNode* GetCurrentEntry() const { return m_pCurrentEntry; }
    int GetRowCount() const;
    CString GetRowName(int nRow) const;
    CString GetRowValue(int nRow) const;
    std::vector<int> GetSelectedRows() const;
    void SelectRows(const std::vector<int>& rows);
    int GetFocusedRow() const;

    QTreeView* GetListControl() const { return m_pList; }
    CAttributeRowModel* GetModel() const { return m_pModel; }
    QMenu* GetContextMenu() const { return m_pMenu; }
    QAction* GetMenuAction(int nCommand) const;
    // Context menu "Show Passwords": userPassword values in full, not masked.
    QAction* GetShowPasswordsAction() const { return m_pShowPasswordsAction; }

    void OnRightButtonDown(const QPoint& point);
    void OnTabKey();

private:
    // A modify sent and not yet answered: its result names a row by index,
    // which a sort may have moved meanwhile.
    struct CPendingModify {
        CEntryNode* pEntry;
        int nRow;
        CString strName;
        CString strOldValue;
        CString strNewValue;
    };

    CDataSource* Source() const;
    // The schema forbids the change: the attribute is set by the server
    // (any change), or with bCheckValue the new value does not fit. Says
    // why in a box.
    bool RefusedBySchema(const CString& name, const CString& value, bool bCheckValue);
    BOOL InsertRow(int nRow, const CString& name, const CString& value);
    // The row showing name and value: nHint when it does, else the first.
    int FindRow(const CString& name, const CString& value, int nHint) const;
    void RemoveDeletedRows(const CDeleteAttributesRequest& request);
    void SetStatus(const CString& text);
    // "%d Attributes Found." with the rows there are now.
    void ShowRowCount();

    CAttributeRowModel* m_pModel;
    QTreeView* m_pList;
    QLabel* m_pUnavailable;
    QMenu* m_pMenu;
    QAction* m_pAddAction;
    QAction* m_pDeleteAction;
    QAction* m_pModifyAction;
    QAction* m_pRefreshAction;
    QAction* m_pShowPasswordsAction;
    QAction* m_pGoToAction;
    CEntryNode* m_pCurrentEntry = nullptr; // not owned
    std::vector<CPendingModify> m_pendingModifies;
};
