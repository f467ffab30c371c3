#include "ui/DialogUnits.h"

#include <QHBoxLayout>
#include <QPushButton>

QHBoxLayout* MakeButtonRow(const CDialogUnits& units, QPushButton* pOK, QPushButton* pCancel) {
    auto* pRow = new QHBoxLayout;
    pRow->addStretch(1);
    for (QPushButton* pButton : {pOK, pCancel}) {
        units.MinimumWidth(pButton, 50);
        pRow->addWidget(pButton);
    }
    return pRow;
}
