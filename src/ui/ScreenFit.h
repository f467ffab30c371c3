#pragma once
// Keeps every window and dialog of the program on its screen: one that
// would come up larger than the screen's available area (a large scale
// factor, a large font, a small screen) is shrunk to it, and one that
// would reach past an edge is moved back inside; a dialog stays centred
// on its own window where there is room.

#include <QObject>
#include <QScrollArea>

class QWidget;

// pContent in a frameless scroll area that asks for the content's whole
// size, so it scrolls only where the screen is too small for it.
QScrollArea* MakeScrollingPage(QWidget* pContent, QWidget* pParent = nullptr);

class CScreenFit : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CScreenFit)

public:
    // Installs one on the application (once; later calls do nothing).
    static void Install();
    // Shrinks and moves pWindow into its screen's available area.
    static void Fit(QWidget* pWindow);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    explicit CScreenFit(QObject* pParent) : QObject(pParent) {}
};
