// PLACEHOLDER (to be replaced by the desktop-application work).
#include "session/TarvoDoc.h"

#include "platform/Services.h"
#include "session/View.h"
#include "source/DataSource.h"

CTarvoDoc::CTarvoDoc() = default;

CTarvoDoc::~CTarvoDoc() {
    delete m_pDataSource;
}

void CTarvoDoc::SetStatusText(const CString& text, int nPane) {
    ::SetStatusText(text, nPane);
}

void CTarvoDoc::UpdateAllViews(CView* pSender, LPARAM lHint, CObject* pHint) {
    for (CView* pView : m_views)
        if (pView != pSender)
            pView->OnUpdate(pSender, lHint, pHint);
}

void CTarvoDoc::AddView(CView* pView) {
    m_views.push_back(pView);
}

CView* CTarvoDoc::GetView(int nIndex) const {
    return nIndex >= 0 && nIndex < static_cast<int>(m_views.size()) ? m_views[static_cast<size_t>(nIndex)] : nullptr;
}

void CTarvoDoc::ActivatePane(int) {}
