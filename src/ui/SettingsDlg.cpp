#include "ui/SettingsDlg.h"

#include "model/DnHelper.h"
#include "platform/Services.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"
#include "ui/ExportSettings.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

// LDIF files first: they are what users have.
const char* const kLdifFileFilter =
    "LDIF Files (*.ldif)|*.ldif|Text File (*.txt) | *.txt|All Files (*.*) | *.*||";
const char* const kSchemaFileFilter =
    "Schema Files (*.schema *.ldif)|*.schema;*.ldif|All Files (*.*) | *.*||";

BOOL ChooseLdifFile(CString& path, const CString& proposedName) {
    CString chosen;
    if (!CServices::FileDialogs().ChooseFile(FALSE, "Save As", proposedName, kLdifFileFilter, FALSE, chosen))
        return FALSE;
    // The default extension applies to a name typed without one.
    int nSlash = chosen.ReverseFind('/');
    if (chosen.Mid(nSlash + 1).Find('.') < 0)
        chosen += ".ldif";
    path = chosen;
    return TRUE;
}

CSettingsDlg::CSettingsDlg(CExportSettings* pSettings, QWidget* pParent)
    : QDialog(pParent), m_pSettings(pSettings) {
    setWindowTitle("Settings");
    CDialogUnits units(this);
    auto* pLayout = new QVBoxLayout(this);

    auto* pSaveBox = new QGroupBox("&Save to LDIF", this);
    auto* pSaveLayout = new QVBoxLayout(pSaveBox);
    m_pSaveGroup = new QButtonGroup(this);
    auto* pWhole = new QRadioButton("The whole subtree, read from the server", pSaveBox);
    pSaveLayout->addWidget(pWhole);
    m_pSaveGroup->addButton(pWhole, SAVE_WHOLE_SUBTREE);
    const char* saveTexts[3] = {"With entries whose attributes have been retrieved",
                                "With all entries even if attributes have not been retrieved",
                                "With all entries retrieving attributes as necessary"};
    for (int i = 0; i < 3; ++i) {
        auto* pRadio = new QRadioButton(saveTexts[i], pSaveBox);
        pSaveLayout->addWidget(pRadio);
        m_pSaveGroup->addButton(pRadio, i);
    }
    auto* pFileRow = new QHBoxLayout;
    auto* pLabel = new QLabel("&Filename:", pSaveBox);
    m_pFilename = new QLineEdit(pSaveBox);
    units.MinimumWidth(m_pFilename, 138);
    pLabel->setBuddy(m_pFilename);
    auto* pBrowse = new QPushButton("...", pSaveBox);
    pBrowse->setAutoDefault(false);
    pFileRow->addWidget(pLabel);
    pFileRow->addWidget(m_pFilename, 1);
    pFileRow->addWidget(pBrowse);
    pSaveLayout->addLayout(pFileRow);
    pLayout->addWidget(pSaveBox);

    auto* pTitleBox = new QGroupBox("&Display entry title as", this);
    auto* pTitleLayout = new QVBoxLayout(pTitleBox);
    m_pTitleGroup = new QButtonGroup(this);
    auto* pDN = new QRadioButton("Distinguished Name (DN)", pTitleBox);
    pTitleLayout->addWidget(pDN);
    m_pTitleGroup->addButton(pDN, 0);
    auto* pRDN = new QRadioButton("Relative Distinguished Name (RDN)", pTitleBox);
    pTitleLayout->addWidget(pRDN);
    m_pTitleGroup->addButton(pRDN, 1);
    pLayout->addWidget(pTitleBox);

    auto* pPageRow = new QHBoxLayout;
    auto* pPageLabel = new QLabel("Entries per page", this);
    m_pEntriesPerPage = new QSpinBox(this);
    m_pEntriesPerPage->setRange(0, 1000000);
    m_pEntriesPerPage->setSpecialValueText("0 (no paging)");
    pPageLabel->setBuddy(m_pEntriesPerPage);
    pPageRow->addWidget(pPageLabel);
    pPageRow->addWidget(m_pEntriesPerPage);
    pPageRow->addStretch(1);
    pLayout->addLayout(pPageRow);

    auto* pOK = new QPushButton("&OK", this);
    pOK->setDefault(true);
    auto* pCancel = new QPushButton("&Cancel", this);
    pCancel->setAutoDefault(false);
    pLayout->addStretch(1);
    pLayout->addLayout(MakeButtonRow(units, pOK, pCancel));
    connect(pBrowse, &QPushButton::clicked, this, &CSettingsDlg::OnBrowse);
    connect(pOK, &QPushButton::clicked, this, &CSettingsDlg::OnOK);
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);

    // Opening: the stored values, an unknown save option as the first one.
    m_nTitleChoice = m_pSettings->GetEntryAsRDN();
    int nStored = m_pSettings->GetSaveOption();
    m_nSaveOption = (nStored >= 1 && nStored <= 3) ? nStored : 0;
    m_strFilename = m_pSettings->GetFilename();
    if (QAbstractButton* pSave = m_pSaveGroup->button(m_nSaveOption))
        pSave->setChecked(true);
    if (QAbstractButton* pTitle = m_pTitleGroup->button(m_nTitleChoice))
        pTitle->setChecked(true);
    m_pFilename->setText(BytesToText(m_strFilename));
    m_pEntriesPerPage->setValue(m_pSettings->GetEntriesPerPage());
}

int CSettingsDlg::DoModal() {
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

QRadioButton* CSettingsDlg::SaveOptionRadio(int nOption) const {
    return qobject_cast<QRadioButton*>(m_pSaveGroup->button(nOption));
}

QRadioButton* CSettingsDlg::TitleRadio(int nChoice) const {
    return qobject_cast<QRadioButton*>(m_pTitleGroup->button(nChoice));
}

CString ProposedLdifName(const CString& dn) {
    std::string name = DnForDisplay(DnFirstRdn(dn)).Str();
    // The value of the first naming attribute: "ou=People+l=x" gives "People".
    if (size_t nEquals = name.find('='); nEquals != std::string::npos)
        name.erase(0, nEquals + 1);
    if (size_t nPlus = name.find('+'); nPlus != std::string::npos)
        name.erase(nPlus);
    for (char& ch : name)
        if (ch == '/' || static_cast<unsigned char>(ch) < 0x20)
            ch = '_';
    if (name.empty() || name == "." || name == "..")
        name = "export";
    return CString(name + ".ldif");
}

void CSettingsDlg::OnBrowse() {
    CString path;
    const CString current = TextToBytes(m_pFilename->text());
    if (ChooseLdifFile(path, current.IsEmpty() ? CString("export.ldif") : current))
        m_pFilename->setText(BytesToText(path));
}

void CSettingsDlg::OnOK() {
    int nChecked = m_pSaveGroup->checkedId();
    m_nSaveOption = nChecked >= 0 ? nChecked : 0;
    if (m_pFilename->text() != BytesToText(m_strFilename))
        m_strFilename = TextToBytes(m_pFilename->text());
    m_nTitleChoice = m_pTitleGroup->checkedId() == 1 ? 1 : 0;
    m_pSettings->SetSaveOption(m_nSaveOption);
    m_pSettings->SetFilename(m_strFilename);
    m_pSettings->SetEntryAsRDN(m_nTitleChoice);
    m_pSettings->SetEntriesPerPage(m_pEntriesPerPage->value());
    accept();
}
