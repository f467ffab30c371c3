#pragma once
// Dialog units, the measure the dialogs' minimum sizes are given in: a
// horizontal unit is a quarter of the font's mean letter width (measured
// over the alphabet, rounded up, as the dialog resources assume), a
// vertical unit an eighth of its height. The layouts place the controls;
// these only keep the fields and lists as roomy as they were designed.

#include <QFontMetrics>
#include <QWidget>

class QHBoxLayout;
class QPushButton;

class CDialogUnits {
public:
    explicit CDialogUnits(const QWidget* pDialog) {
        QFontMetrics metrics(pDialog->font());
        // A font's own "average" width is often the mean over all its
        // glyphs, narrower than text; sizes built on it came out too small.
        const int nAlphabet =
            metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
        m_nBaseX = qMax(1, (nAlphabet / 26 + 1) / 2);
        m_nBaseY = qMax(1, metrics.height());
    }
    int X(int nUnits) const { return nUnits * m_nBaseX / 4; }
    int Y(int nUnits) const { return nUnits * m_nBaseY / 8; }
    void MinimumSize(QWidget* pControl, int cx, int cy) const { pControl->setMinimumSize(X(cx), Y(cy)); }
    void MinimumWidth(QWidget* pControl, int cx) const { pControl->setMinimumWidth(X(cx)); }

private:
    int m_nBaseX;
    int m_nBaseY;
};

// The dialogs' OK and Cancel, at the right end of their own row, each at
// least as wide as the dialogs have always had them.
QHBoxLayout* MakeButtonRow(const CDialogUnits& units, QPushButton* pOK, QPushButton* pCancel);

class QLineEdit;
// A field that shows what cannot be changed here: read-only, out of the
// Tab chain, and painted on the dialog's own background so that it does
// not look like a place to type.
void MakeReadOnlyField(QLineEdit* pEdit);
