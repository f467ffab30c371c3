#pragma once
// PLACEHOLDER (to be replaced by the panes work): the API the document and
// the main frame rely on.

#include "session/View.h"

class CEntryNode;

class CLdapListView : public CView {
    Q_OBJECT
public:
    explicit CLdapListView(CTarvoDoc* pDocument, QWidget* pParent = nullptr);
    ~CLdapListView() override;

    void ClearList();
    void OnAddAttributes();
    void OnDeleteAttributes();
    void OnModifyAttribute();
    void OnRefresh();
};
