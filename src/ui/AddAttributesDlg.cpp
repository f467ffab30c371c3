#include "ui/AddAttributesDlg.h"

#include "platform/Services.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

CAddAttributesDlg::CAddAttributesDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle("Add Attributes");
    CDialogUnits units(this);
    units.Size(this, 287, 181);

    units.Place(new QGroupBox("Attributes", this), 7, 7, 273, 146);
    // Empty names and values are taken as typed here.
    m_pEditor = new CAttributeListEditor(this, false);
    auto* pNameLabel = new QLabel("&Name:", this);
    units.Place(pNameLabel, 15, 19, 22, 8);
    units.Place(m_pEditor->NameEdit(), 15, 31, 92, 14);
    pNameLabel->setBuddy(m_pEditor->NameEdit());
    auto* pValueLabel = new QLabel("&Value:", this);
    units.Place(pValueLabel, 15, 51, 21, 8);
    units.Place(m_pEditor->ValueEdit(), 15, 63, 92, 14);
    pValueLabel->setBuddy(m_pEditor->ValueEdit());
    units.Place(m_pEditor->AddButton(), 83, 109, 24, 14);
    units.Place(m_pEditor->RemoveButton(), 83, 128, 24, 14);
    auto* pListLabel = new QLabel("&Attribute list:", this);
    units.Place(pListLabel, 121, 15, 41, 8);
    units.Place(m_pEditor->List(), 118, 25, 155, 119);
    pListLabel->setBuddy(m_pEditor->List());

    auto* pOK = new QPushButton("&OK", this);
    pOK->setDefault(true);
    units.Place(pOK, 175, 160, 50, 14);
    auto* pCancel = new QPushButton("&Cancel", this);
    pCancel->setAutoDefault(false);
    units.Place(pCancel, 230, 160, 50, 14);
    connect(pOK, &QPushButton::clicked, this, &CAddAttributesDlg::OnOK);
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);
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
    if (m_pEditor->GetRowCount() == 0) {
        reject();
        return;
    }
    DeleteAttributes(m_attributes);
    m_pEditor->CollectAttributes(m_attributes);
    accept();
}
