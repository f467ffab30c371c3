#include "ui/ModifyAttributeDlg.h"

#include "model/DnHelper.h"
#include "platform/Services.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CModifyAttributeDlg::CModifyAttributeDlg(int nMode, QWidget* pParent) : QDialog(pParent), m_nMode(nMode) {
    CDialogUnits units(this);
    units.Size(this, 198, 86);
    units.Place(new QGroupBox(this), 7, 3, 184, 54);
    m_pFirstLabel = new QLabel("&Name:", this);
    units.Place(m_pFirstLabel, 17, 17, 22, 8);
    m_pReadOnly = new QLineEdit(this);
    m_pReadOnly->setReadOnly(true);
    m_pReadOnly->setFocusPolicy(Qt::ClickFocus);
    units.Place(m_pReadOnly, 39, 16, 144, 13);
    m_pSecondLabel = new QLabel("&Value:", this);
    units.Place(m_pSecondLabel, 17, 39, 22, 8);
    m_pEdit = new QLineEdit(this);
    units.Place(m_pEdit, 39, 36, 144, 13);
    auto* pOK = new QPushButton("&OK", this);
    pOK->setDefault(true);
    units.Place(pOK, 86, 65, 50, 14);
    auto* pCancel = new QPushButton("&Cancel", this);
    pCancel->setAutoDefault(false);
    units.Place(pCancel, 141, 65, 50, 14);
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
    setWindowTitle("Modify Entry");
    if (m_nMode == MODE_ENTRY) {
        m_pFirstLabel->setText("Old");
        m_pSecondLabel->setText("New");
    } else {
        m_pFirstLabel->setText("Name");
        m_pSecondLabel->setText("Value");
    }
    m_pReadOnly->setText(BytesToText(m_strReadOnly));
    m_pEdit->setText(BytesToText(m_strEdit));
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
    if (m_nMode == MODE_ENTRY && DnRdnFromTyped(m_strEdit.View()).IsEmpty()) {
        AfxMessageBox(RelativeNameMessage("New", m_strEdit), MB_OK | MB_ICONEXCLAMATION);
        m_pEdit->setFocus();
        return;
    }
    accept();
}
