#include "ui/ShownTextDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QRegularExpression>

namespace {
const QRegularExpression& MarkPattern() {
    static const QRegularExpression pattern(QString::fromUtf8("\xE2\x9F\xA8U\\+[0-9A-F]{4,6}\xE2\x9F\xA9"));
    return pattern;
}
} // namespace

CShownTextDelegate::CShownTextDelegate(QObject* pParent) : QStyledItemDelegate(pParent) {}

QColor CShownTextDelegate::MarkColor() {
    return QColor(0xC0, 0x00, 0x00);
}

void CShownTextDelegate::paint(QPainter* pPainter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if (!opt.text.contains(MarkPattern())) {
        QStyledItemDelegate::paint(pPainter, option, index);
        return;
    }
    const QWidget* pWidget = opt.widget;
    QStyle* pStyle = pWidget ? pWidget->style() : QApplication::style();
    // Where the style would put the text, then everything but the text.
    QRect textRect = pStyle->subElementRect(QStyle::SE_ItemViewItemText, &opt, pWidget);
    const int nMargin = pStyle->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, pWidget) + 1;
    textRect.adjust(nMargin, 0, -nMargin, 0);
    const QString text = opt.text;
    opt.text.clear();
    pStyle->drawControl(QStyle::CE_ItemViewItem, &opt, pPainter, pWidget);

    const bool bSelected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup eGroup = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                        : (opt.state & QStyle::State_Active) ? QPalette::Active
                                                                             : QPalette::Inactive;
    const QColor normal = opt.palette.color(eGroup, bSelected ? QPalette::HighlightedText : QPalette::Text);
    const QColor mark = bSelected ? normal : MarkColor();
    const QString shown = opt.fontMetrics.elidedText(text, opt.textElideMode, textRect.width());

    pPainter->save();
    pPainter->setClipRect(textRect);
    pPainter->setFont(opt.font);
    // Left to right, one run at a time: nothing a mark stands for reorders it.
    pPainter->setLayoutDirection(Qt::LeftToRight);
    const int nBaseline =
        textRect.top() + (textRect.height() - opt.fontMetrics.height()) / 2 + opt.fontMetrics.ascent();
    int nX = textRect.left();
    qsizetype nAt = 0;
    auto drawRun = [&](const QString& run, const QColor& colour) {
        if (run.isEmpty())
            return;
        pPainter->setPen(colour);
        pPainter->drawText(QPoint(nX, nBaseline), run);
        nX += opt.fontMetrics.horizontalAdvance(run);
    };
    for (auto it = MarkPattern().globalMatch(shown); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        drawRun(shown.mid(nAt, match.capturedStart() - nAt), normal);
        drawRun(match.captured(), mark);
        nAt = match.capturedEnd();
    }
    drawRun(shown.mid(nAt), normal);
    pPainter->restore();
}
