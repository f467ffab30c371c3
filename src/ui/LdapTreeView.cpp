// PLACEHOLDER (to be replaced by the panes work).
#include "ui/LdapTreeView.h"

CLdapTreeView::CLdapTreeView(CTarvoDoc* pDocument, QWidget* pParent) : CView(pDocument, pParent) {}
CLdapTreeView::~CLdapTreeView() = default;
HTREEITEM CLdapTreeView::InsertEntryItem(CEntryNode*, HTREEITEM) {
    return HTREEITEM();
}
void CLdapTreeView::DeleteAllItems() {}
void CLdapTreeView::OnAddEntry() {}
void CLdapTreeView::OnDeleteEntry() {}
void CLdapTreeView::OnModifyEntry() {}
void CLdapTreeView::OnRefresh() {}
void CLdapTreeView::OnSaveToLdif() {}
