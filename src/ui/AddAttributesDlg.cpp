#include "ui/AddAttributesDlg.h"

#include "platform/Services.h"
#include "source/EntryCheck.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"

#include <QCompleter>
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
    DeleteAttributes(m_existing);
}

const char* const CAddAttributesDlg::kRefusedText = "The values cannot be added yet:";

void CAddAttributesDlg::SetSchema(std::shared_ptr<const CSchema> pSchema, const CAttributeArray& existing) {
    if (!pSchema)
        return;
    m_pSchema = std::move(pSchema);
    DeleteAttributes(m_existing);
    CopyAttributes(m_existing, existing);
    std::vector<CString> classes;
    for (const CAttribute* pAttribute : m_existing)
        if (pAttribute->m_strName.CompareNoCase("objectClass") == 0)
            for (int i = 0; i < pAttribute->GetSize(); ++i)
                classes.push_back(pAttribute->GetAt(i));
    QStringList names;
    for (const CString& name : CompletionNames(*m_pSchema, classes, true))
        names << BytesToText(name);
    auto* pCompleter = new QCompleter(names, this);
    pCompleter->setCaseSensitivity(Qt::CaseInsensitive);
    pCompleter->setModelSorting(QCompleter::UnsortedModel);
    m_pEditor->NameEdit()->setCompleter(pCompleter);
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
    if (m_pSchema) {
        std::vector<CEntryRow> rows;
        for (int nRow = 0; nRow < m_pEditor->GetRowCount(); ++nRow)
            rows.push_back({m_pEditor->GetRowName(nRow), m_pEditor->GetRowValue(nRow)});
        const std::vector<CString> findings = CheckEntryRows(*m_pSchema, rows, &m_existing);
        if (!findings.empty()) {
            CString text = kRefusedText;
            for (const CString& finding : findings)
                text += "\n" + finding;
            AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
            return;
        }
    }
    DeleteAttributes(m_attributes);
    m_pEditor->CollectAttributes(m_attributes);
    accept();
}
