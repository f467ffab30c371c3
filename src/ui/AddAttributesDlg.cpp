#include "ui/AddAttributesDlg.h"

#include "platform/Services.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

CAddAttributesDlg::CAddAttributesDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle("Add Attributes");
    CDialogUnits units(this);
    auto* pLayout = new QVBoxLayout(this);

    // Empty names and values are taken as typed here.
    m_pEditor = new CAttributeListEditor(this, false);
    pLayout->addWidget(m_pEditor->CreateGroup("&Name:", "&Value:", 119), 1);

    auto* pOK = new QPushButton("&OK", this);
    pOK->setDefault(true);
    auto* pCancel = new QPushButton("&Cancel", this);
    pCancel->setAutoDefault(false);
    pLayout->addLayout(MakeButtonRow(units, pOK, pCancel));
    connect(pOK, &QPushButton::clicked, this, &CAddAttributesDlg::OnOK);
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);

    m_pEditor->ChainTabOrder(nullptr, pOK);
    setTabOrder(pOK, pCancel);
    m_pEditor->SetUpColumns();
}

CAddAttributesDlg::~CAddAttributesDlg() {
    DeleteAttributes(m_attributes);
}

int CAddAttributesDlg::DoModal() {
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CAddAttributesDlg::showEvent(QShowEvent* pEvent) {
    m_pEditor->SetUpColumns();
    QDialog::showEvent(pEvent);
}

void CAddAttributesDlg::OnOK() {
    // A typed row whose name was refused keeps the dialog open.
    if (!m_pEditor->AddTypedRow())
        return;
    if (m_pEditor->GetRowCount() == 0) {
        reject();
        return;
    }
    DeleteAttributes(m_attributes);
    m_pEditor->CollectAttributes(m_attributes);
    accept();
}
