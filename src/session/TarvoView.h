#pragma once
// The view class the document template names. The frame builds its panes
// from the tree and attribute views, so this one is never created; it
// draws nothing.

#include "session/View.h"

class CTarvoView : public CView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTarvoView)

public:
    explicit CTarvoView(CTarvoDoc* pDocument, QWidget* pParent = nullptr);
    ~CTarvoView() override;
};
