#pragma once
// A pane of the main window: a Qt widget that is also a window the sources
// report to, and a view of the one document.

#include "platform/Window.h"

#include <QWidget>

class CTarvoDoc;

// What a document update broadcast says (UpdateAllViews' lHint).
constexpr LPARAM HINT_NONE = 0;       // pHint: the new root entry, or NULL to clear
constexpr LPARAM HINT_SHOW_ENTRY = 1; // pHint: the entry whose attributes to show

class CView : public QWidget, public CWnd {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CView)

public:
    explicit CView(CTarvoDoc* pDocument, QWidget* pParent = nullptr);
    ~CView() override;

    CTarvoDoc* GetDocument() const { return m_pDocument; }

    // A document update broadcast (UpdateAllViews). pSender is the view that
    // sent it (NULL from the document); lHint one of the HINT_ values; pHint
    // an object (an entry) or NULL.
    virtual void OnUpdate(CView* pSender, LPARAM lHint, CObject* pHint);

    // This pane has become the active one.
    virtual void OnActivateView();

protected:
    CTarvoDoc* m_pDocument;
};
