#include "ui/ModifyAttributeDlg.h"

#include "model/DnHelper.h"
#include "platform/Services.h"
#include "platform/qt/PlainText.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CModifyAttributeDlg::CModifyAttributeDlg(int nMode, QWidget* pParent) : QDialog(pParent), m_nMode(nMode) {
    CDialogUnits units(this);
    auto* pLayout = new QVBoxLayout(this);
    auto* pGroup = new QGroupBox(this);
    auto* pGrid = new QGridLayout(pGroup);
    m_pFirstLabel = new QLabel("&Name:", pGroup);
    m_pReadOnly = new QLineEdit(pGroup);
    MakeReadOnlyField(m_pReadOnly);
    units.MinimumWidth(m_pReadOnly, 144);
    m_pSecondLabel = new QLabel("&Value:", pGroup);
    m_pEdit = new QLineEdit(pGroup);
    units.MinimumWidth(m_pEdit, 144);
    pGrid->addWidget(m_pFirstLabel, 0, 0);
    pGrid->addWidget(m_pReadOnly, 0, 1);
    pGrid->addWidget(m_pSecondLabel, 1, 0);
    pGrid->addWidget(m_pEdit, 1, 1);
    m_pDeleteOldRdn = new QCheckBox("Remove the old name's value", pGroup);
    m_pDeleteOldRdn->setVisible(nMode == MODE_ENTRY);
    pGrid->addWidget(m_pDeleteOldRdn, 2, 1);
    pGrid->setColumnStretch(1, 1);
    pLayout->addWidget(pGroup);
    auto* pOK = new QPushButton("&OK", this);
    pOK->setDefault(true);
    auto* pCancel = new QPushButton("&Cancel", this);
    pCancel->setAutoDefault(false);
    pLayout->addLayout(MakeButtonRow(units, pOK, pCancel));
    // Only the value grows with the dialog.
    pLayout->addStretch(1);
    connect(pOK, &QPushButton::clicked, this, &CModifyAttributeDlg::OnOK);
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

int CModifyAttributeDlg::DoModal() {
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CModifyAttributeDlg::showEvent(QShowEvent* pEvent) {
    if (!m_bInitialised)
        InitDialog();
    QDialog::showEvent(pEvent);
}

void CModifyAttributeDlg::InitDialog() {
    m_bInitialised = true;
    // A new value and a new name are different acts.
    setWindowTitle(m_nMode == MODE_ENTRY ? "Rename Entry" : "Modify Value");
    if (m_nMode == MODE_ENTRY) {
        m_pFirstLabel->setText("Old");
        m_pSecondLabel->setText("New");
    } else {
        m_pFirstLabel->setText("Name");
        m_pSecondLabel->setText("Value");
    }
    // Shown only, a DN as the tree shows it: the bytes themselves are kept
    // in m_strReadOnly and are what is sent.
    m_pReadOnly->setText(ShownText(m_nMode == MODE_ENTRY ? DnForDisplay(m_strReadOnly) : m_strReadOnly));
    // The start of a long DN is its name: shown first.
    m_pReadOnly->setCursorPosition(0);
    const QString warning = LookAlikeWarning(BytesToText(m_strReadOnly));
    m_pReadOnly->setToolTip(warning.isEmpty() ? QString() : PlainToolTip(warning));
    m_pEdit->setText(BytesToText(m_strEdit));
    m_pDeleteOldRdn->setChecked(m_bDeleteOldRdn);
    m_pEdit->setFocus();
}

void CModifyAttributeDlg::OnOK() {
    // The read-only field keeps the bytes it was given; only the typed
    // field is taken from the control.
    // An untouched value keeps its bytes even when they are not valid UTF-8.
    if (m_pEdit->text() != BytesToText(m_strEdit))
        m_strEdit = TextToBytes(m_pEdit->text());
    if (m_strReadOnly.IsEmpty() || m_strEdit.IsEmpty()) {
        reject();
        return;
    }
    if (m_nMode == MODE_ENTRY) {
        const CString parentDN = DnParent(m_strReadOnly);
        const CTypedName name = DnNameFromTyped(m_strEdit.View(), parentDN);
        CString refusal;
        if (name.strRdn.IsEmpty())
            refusal = RelativeNameMessage("New", m_strEdit);
        else if (name.bOtherParent)
            refusal = MoveRefusedMessage("New", name.strParent, parentDN);
        if (!refusal.IsEmpty()) {
            AfxMessageBox(refusal, MB_OK | MB_ICONEXCLAMATION);
            m_pEdit->setFocus();
            return;
        }
        m_bDeleteOldRdn = m_pDeleteOldRdn->isChecked();
    }
    accept();
}
