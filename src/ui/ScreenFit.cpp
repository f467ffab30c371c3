#include "ui/ScreenFit.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QScreen>
#include <QScrollArea>
#include <QWidget>

namespace {

constexpr int kTitleBarGuess = 32;

class CFullSizeScrollArea : public QScrollArea {
public:
    explicit CFullSizeScrollArea(QWidget* pParent) : QScrollArea(pParent) {}
    // The content's own size: a scroll area's usual hint is capped, which
    // would make even a large screen show scroll bars.
    QSize sizeHint() const override {
        const QWidget* pContent = widget();
        return pContent ? pContent->sizeHint() + QSize(2 * frameWidth(), 2 * frameWidth())
                        : QScrollArea::sizeHint();
    }
};

} // namespace

QScrollArea* MakeScrollingPage(QWidget* pContent, QWidget* pParent) {
    auto* pScroll = new CFullSizeScrollArea(pParent);
    pScroll->setFrameShape(QFrame::NoFrame);
    // Tab goes from field to field, not to the area around them.
    pScroll->setFocusPolicy(Qt::NoFocus);
    pScroll->setWidgetResizable(true);
    pScroll->setWidget(pContent);
    return pScroll;
}

void CScreenFit::Install() {
    if (!qApp || qApp->findChild<CScreenFit*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    qApp->installEventFilter(new CScreenFit(qApp));
}

void CScreenFit::Fit(QWidget* pWindow) {
    QScreen* pScreen = pWindow->screen();
    if (!pScreen)
        return;
    const QRect available = pScreen->availableGeometry();
    // Until the window manager has framed the window its frame is unknown:
    // room is left for a title bar as it commonly is.
    const QRect frameGeometry = pWindow->frameGeometry();
    const QRect geometry = pWindow->geometry();
    const QMargins frame =
        frameGeometry != geometry
            ? QMargins(geometry.left() - frameGeometry.left(), geometry.top() - frameGeometry.top(),
                       frameGeometry.right() - geometry.right(), frameGeometry.bottom() - geometry.bottom())
            : QMargins(0, kTitleBarGuess, 0, 0);
    const QRect room = available.marginsRemoved(frame);
    const QSize before = pWindow->size();
    // A window sized by Qt alone is held to two thirds of the screen; one
    // whose content scrolls would then scroll even where there is room.
    QSize wanted = before;
    if (!pWindow->testAttribute(Qt::WA_Resized))
        wanted = wanted.expandedTo(pWindow->sizeHint());
    wanted = wanted.boundedTo(room.size());
    if (wanted != before)
        pWindow->resize(wanted);
    QRect fitted = pWindow->geometry();
    // A dialog is centred on its own window: here, before Qt would do it,
    // since the move below marks the dialog as placed and Qt then leaves it
    // where it was made (the screen's corner). Also one whose size changed.
    QWidget* pParent = pWindow->parentWidget();
    if ((pWindow->size() != before || !pWindow->testAttribute(Qt::WA_Moved)) &&
        qobject_cast<QDialog*>(pWindow) && pParent && pParent->isVisible())
        fitted.moveCenter(pParent->window()->geometry().center());
    fitted.moveRight(qMin(fitted.right(), room.right()));
    fitted.moveBottom(qMin(fitted.bottom(), room.bottom()));
    fitted.moveLeft(qMax(fitted.left(), room.left()));
    fitted.moveTop(qMax(fitted.top(), room.top()));
    if (fitted.topLeft() != pWindow->geometry().topLeft())
        pWindow->move(fitted.topLeft() - QPoint(frame.left(), frame.top()));
}

bool CScreenFit::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::Show && pWatched->isWidgetType()) {
        auto* pWidget = static_cast<QWidget*>(pWatched);
        const Qt::WindowType eType = pWidget->windowType();
        if (pWidget->isWindow() && eType != Qt::Popup && eType != Qt::ToolTip && eType != Qt::SplashScreen &&
            eType != Qt::Desktop)
            Fit(pWidget);
    }
    return QObject::eventFilter(pWatched, pEvent);
}
