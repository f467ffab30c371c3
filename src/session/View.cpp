#include "session/View.h"

CView::CView(CTarvoDoc* pDocument, QWidget* pParent) : QWidget(pParent), m_pDocument(pDocument) {}

CView::~CView() {
    // No message may reach a pane that is being torn down.
    DestroyWindowHandle();
}

void CView::OnUpdate(CView*, LPARAM, CObject*) {}

void CView::OnActivateView() {}
