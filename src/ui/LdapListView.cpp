// PLACEHOLDER (to be replaced by the panes work).
#include "ui/LdapListView.h"

CLdapListView::CLdapListView(CTarvoDoc* pDocument, QWidget* pParent) : CView(pDocument, pParent) {}
CLdapListView::~CLdapListView() = default;
void CLdapListView::ClearList() {}
void CLdapListView::OnAddAttributes() {}
void CLdapListView::OnDeleteAttributes() {}
void CLdapListView::OnModifyAttribute() {}
void CLdapListView::OnRefresh() {}
