#pragma once
// Draws the cells of the panes and the search table with the spelt-out
// marks of hidden characters ("⟨U+202E⟩") in a colour of their own, so that
// they stand apart from the text around them. Cells without marks are drawn
// as any item view draws them.

#include <QStyledItemDelegate>

class CShownTextDelegate : public QStyledItemDelegate {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CShownTextDelegate)

public:
    explicit CShownTextDelegate(QObject* pParent = nullptr);

    void paint(QPainter* pPainter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The colour the marks are drawn in on an unselected row.
    static QColor MarkColor();
};
