#include "session/TarvoView.h"

CTarvoView::CTarvoView(CTarvoDoc* pDocument, QWidget* pParent) : CView(pDocument, pParent) {}

CTarvoView::~CTarvoView() = default;
