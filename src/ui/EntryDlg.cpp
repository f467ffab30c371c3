#include "ui/EntryDlg.h"

#include "model/DnHelper.h"
#include "platform/Services.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"
#include "ui/EntryClassesPanel.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

CEntryDlg::CEntryDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle("Add Entry");
    CDialogUnits units(this);
    auto* pLayout = new QVBoxLayout(this);

    auto* pEntryGroup = new QGroupBox("Entry", this);
    auto* pEntryLayout = new QVBoxLayout(pEntryGroup);
    auto* pNameLabel = new QLabel("Na&me (Relative DN Only):", pEntryGroup);
    m_pRelativeName = new QLineEdit(pEntryGroup);
    units.MinimumWidth(m_pRelativeName, 168);
    pNameLabel->setBuddy(m_pRelativeName);
    pEntryLayout->addWidget(pNameLabel);
    pEntryLayout->addWidget(m_pRelativeName);
    pLayout->addWidget(pEntryGroup);

    m_pEditor = new CAttributeListEditor(this, true);
    pLayout->addWidget(m_pEditor->CreateGroup("&Name :", "&Value :", 85), 1);

    auto* pOK = new QPushButton("&OK", this);
    pOK->setDefault(true);
    auto* pCancel = new QPushButton("&Cancel", this);
    pCancel->setAutoDefault(false);
    pLayout->addLayout(MakeButtonRow(units, pOK, pCancel));
    connect(pOK, &QPushButton::clicked, this, &CEntryDlg::OnOK);
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);

    m_pEditor->ChainTabOrder(m_pRelativeName, pOK);
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
    // A typed row whose name was refused keeps the dialog open.
    if (!m_pEditor->AddTypedRow())
        return;
    CString typed = TextToBytes(m_pRelativeName->text());
    if (m_pClasses) {
        // What the user chose and typed is kept: an empty name is asked for.
        if (typed.IsEmpty()) {
            AfxMessageBox(kNameMissingText, MB_OK | MB_ICONEXCLAMATION);
            m_pRelativeName->setFocus();
            return;
        }
        if (!m_pClasses->Prepare(typed, m_strRelativeName))
            return;
        DeleteAttributes(m_attributes);
        m_pEditor->CollectAttributes(m_attributes);
        accept();
        return;
    }
    if (typed.IsEmpty() || m_pEditor->GetRowCount() == 0) {
        reject();
        return;
    }
    // What is typed becomes an RDN: a comma in "cn=Smith, J" is part of the
    // value, never a separator that would put the entry elsewhere. A whole
    // DN is taken for what it says, and must name the parent.
    const CTypedName name = DnNameFromTyped(typed.View(), m_strParentDN);
    m_strRelativeName = name.strRdn;
    CString refusal;
    if (m_strRelativeName.IsEmpty())
        refusal = RelativeNameMessage("Name (Relative DN Only)", typed);
    else if (name.bOtherParent)
        refusal = MoveRefusedMessage("Name (Relative DN Only)", name.strParent, m_strParentDN);
    if (!refusal.IsEmpty()) {
        AfxMessageBox(refusal, MB_OK | MB_ICONEXCLAMATION);
        m_pRelativeName->setFocus();
        return;
    }
    DeleteAttributes(m_attributes);
    m_pEditor->CollectAttributes(m_attributes);
    accept();
}

const char* const CEntryDlg::kNameMissingText = "Type the new entry's name: a value of its naming attribute.";

void CEntryDlg::SetSchema(std::shared_ptr<const CSchema> pSchema) {
    if (!pSchema || m_pClasses)
        return;
    m_pClasses = new CEntryClassesPanel(std::move(pSchema), m_pEditor, this);
    static_cast<QBoxLayout*>(layout())->insertWidget(0, m_pClasses);
    setTabOrder(m_pClasses->NamingCombo(), m_pRelativeName);
}

void CEntryDlg::TakeAttributes(CAttributeArray& destination) {
    destination.Append(m_attributes);
    m_attributes.RemoveAll();
}
