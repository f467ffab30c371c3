#pragma once
// Places a dialog's controls by dialog units, the way the dialog resources
// describe them: a horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its height.

#include <QFontMetrics>
#include <QWidget>

class CDialogUnits {
public:
    explicit CDialogUnits(const QWidget* pDialog) {
        QFontMetrics metrics(pDialog->font());
        m_nBaseX = qMax(1, metrics.averageCharWidth());
        m_nBaseY = qMax(1, metrics.height());
    }
    int X(int nUnits) const { return nUnits * m_nBaseX / 4; }
    int Y(int nUnits) const { return nUnits * m_nBaseY / 8; }
    void Place(QWidget* pControl, int x, int y, int cx, int cy) const {
        pControl->setGeometry(X(x), Y(y), X(cx), Y(cy));
    }
    void Size(QWidget* pDialog, int cx, int cy) const { pDialog->setFixedSize(X(cx), Y(cy)); }

private:
    int m_nBaseX;
    int m_nBaseY;
};
