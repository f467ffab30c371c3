#include "ui/DialogUnits.h"

#include <QHBoxLayout>
#include <QLineEdit>
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

void MakeReadOnlyField(QLineEdit* pEdit) {
    pEdit->setReadOnly(true);
    pEdit->setFocusPolicy(Qt::ClickFocus);
    QPalette palette = pEdit->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
    pEdit->setPalette(palette);
}
