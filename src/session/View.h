#pragma once
// A pane of the main window: a Qt widget that is also a message window and
// a view of the one document.

#include "platform/Window.h"

#include <QWidget>

class CTarvoDoc;

class CView : public QWidget, public CWnd {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CView)

public:
    explicit CView(CTarvoDoc* pDocument, QWidget* pParent = nullptr);
    ~CView() override;

    CTarvoDoc* GetDocument() const { return m_pDocument; }

    // A document update broadcast (UpdateAllViews). pSender is the view that
    // sent it (NULL from the document); lHint a number (a tree item id or 0);
    // pHint an object (an entry) or NULL.
    virtual void OnUpdate(CView* pSender, LPARAM lHint, CObject* pHint);

    // This pane has become the active one.
    virtual void OnActivateView();

protected:
    CTarvoDoc* m_pDocument;
};
