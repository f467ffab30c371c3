#pragma once
// PLACEHOLDER (to be replaced by the panes work): the API the document and
// the main frame rely on.

#include "session/View.h"
#include "source/EntryItemInserter.h"

class CLdapTreeView : public CView, public IEntryItemInserter {
    Q_OBJECT
public:
    explicit CLdapTreeView(CTarvoDoc* pDocument, QWidget* pParent = nullptr);
    ~CLdapTreeView() override;

    HTREEITEM InsertEntryItem(CEntryNode* pEntry, HTREEITEM hParent) override;
    void DeleteAllItems();
    void OnAddEntry();
    void OnDeleteEntry();
    void OnModifyEntry();
    void OnRefresh();
    void OnSaveToLdif();
};
