#include "ui/EntryDlg.h"

#include "model/DnHelper.h"
#include "platform/Services.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

CEntryDlg::CEntryDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle("Add Entry");
    CDialogUnits units(this);
    units.Size(this, 287, 196);

    units.Place(new QGroupBox("Entry", this), 7, 7, 273, 42);
    auto* pNameLabel = new QLabel("Na&me (Relative DN Only):", this);
    units.Place(pNameLabel, 15, 16, 82, 8);
    m_pRelativeName = new QLineEdit(this);
    units.Place(m_pRelativeName, 15, 27, 168, 14);
    pNameLabel->setBuddy(m_pRelativeName);

    units.Place(new QGroupBox("Attributes", this), 7, 53, 273, 117);
    m_pEditor = new CAttributeListEditor(this, true);
    auto* pAttrName = new QLabel("&Name :", this);
    units.Place(pAttrName, 15, 66, 24, 8);
    units.Place(m_pEditor->NameEdit(), 15, 77, 92, 14);
    pAttrName->setBuddy(m_pEditor->NameEdit());
    auto* pAttrValue = new QLabel("&Value :", this);
    units.Place(pAttrValue, 15, 97, 23, 8);
    units.Place(m_pEditor->ValueEdit(), 15, 109, 92, 14);
    pAttrValue->setBuddy(m_pEditor->ValueEdit());
    units.Place(m_pEditor->AddButton(), 83, 129, 24, 14);
    units.Place(m_pEditor->RemoveButton(), 83, 148, 24, 14);
    auto* pListLabel = new QLabel("&Attribute list:", this);
    units.Place(pListLabel, 118, 65, 39, 8);
    units.Place(m_pEditor->List(), 118, 77, 155, 85);
    pListLabel->setBuddy(m_pEditor->List());

    auto* pOK = new QPushButton("&OK", this);
    pOK->setDefault(true);
    units.Place(pOK, 175, 175, 50, 14);
    auto* pCancel = new QPushButton("&Cancel", this);
    pCancel->setAutoDefault(false);
    units.Place(pCancel, 230, 175, 50, 14);
    connect(pOK, &QPushButton::clicked, this, &CEntryDlg::OnOK);
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(m_pRelativeName, m_pEditor->NameEdit());
    setTabOrder(m_pEditor->NameEdit(), m_pEditor->ValueEdit());
    setTabOrder(m_pEditor->ValueEdit(), m_pEditor->AddButton());
    setTabOrder(m_pEditor->AddButton(), m_pEditor->RemoveButton());
    setTabOrder(m_pEditor->RemoveButton(), m_pEditor->List());
    setTabOrder(m_pEditor->List(), pOK);
    setTabOrder(pOK, pCancel);
    m_pEditor->SetUpColumns();
}

CEntryDlg::~CEntryDlg() {
    DeleteAttributes(m_attributes);
}

int CEntryDlg::DoModal() {
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CEntryDlg::showEvent(QShowEvent* pEvent) {
    m_pEditor->SetUpColumns();
    QDialog::showEvent(pEvent);
}

void CEntryDlg::OnOK() {
    CString typed = TextToBytes(m_pRelativeName->text());
    if (typed.IsEmpty() || m_pEditor->GetRowCount() == 0) {
        reject();
        return;
    }
    // What is typed becomes an RDN: a comma in "cn=Smith, J" is part of the
    // value, never a separator that would put the entry elsewhere.
    m_strRelativeName = DnRdnFromTyped(typed.View());
    if (m_strRelativeName.IsEmpty()) {
        AfxMessageBox(RelativeNameMessage("Name (Relative DN Only)", typed), MB_OK | MB_ICONEXCLAMATION);
        m_pRelativeName->setFocus();
        return;
    }
    DeleteAttributes(m_attributes);
    m_pEditor->CollectAttributes(m_attributes);
    accept();
}

void CEntryDlg::TakeAttributes(CAttributeArray& destination) {
    destination.Append(m_attributes);
    m_attributes.RemoveAll();
}
