#include "ui/SettingsDlg.h"

#include "platform/Services.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"
#include "ui/ExportSettings.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

BOOL ChooseLdifFile(CString& path) {
    CString chosen;
    if (!CServices::FileDialogs().ChooseFile(TRUE, "Save As", "SaveAsLdif.txt",
                                             "Text File (*.txt) | *.txt|All Files (*.*) | *.*||", FALSE,
                                             chosen))
        return FALSE;
    // The default extension applies to a name typed without one.
    int nSlash = chosen.ReverseFind('/');
    if (chosen.Mid(nSlash + 1).Find('.') < 0)
        chosen += ".txt";
    path = chosen;
    return TRUE;
}

CSettingsDlg::CSettingsDlg(CExportSettings* pSettings, QWidget* pParent)
    : QDialog(pParent), m_pSettings(pSettings) {
    setWindowTitle("Settings");
    CDialogUnits units(this);
    units.Size(this, 232, 165);

    units.Place(new QGroupBox("&Save to LDIF", this), 7, 3, 218, 81);
    m_pSaveGroup = new QButtonGroup(this);
    const char* saveTexts[3] = {"With entries whose attributes have been retrieved",
                                "With all  entries even if attributes have not been retrieved",
                                "With all entries retrieving attributes as neccessary"};
    const int saveGeometry[3][2] = {{16, 172}, {30, 195}, {44, 171}};
    for (int i = 0; i < 3; ++i) {
        auto* pRadio = new QRadioButton(saveTexts[i], this);
        units.Place(pRadio, 17, saveGeometry[i][0], saveGeometry[i][1], 10);
        m_pSaveGroup->addButton(pRadio, i);
    }
    auto* pLabel = new QLabel("&Filename:", this);
    units.Place(pLabel, 17, 62, 31, 8);
    m_pFilename = new QLineEdit(this);
    units.Place(m_pFilename, 53, 62, 138, 12);
    pLabel->setBuddy(m_pFilename);
    auto* pBrowse = new QPushButton("...", this);
    pBrowse->setAutoDefault(false);
    units.Place(pBrowse, 196, 62, 14, 12);

    units.Place(new QGroupBox("&Display entry title as", this), 7, 88, 218, 49);
    m_pTitleGroup = new QButtonGroup(this);
    auto* pDN = new QRadioButton("Distinguished Name (DN)", this);
    units.Place(pDN, 17, 104, 189, 10);
    m_pTitleGroup->addButton(pDN, 0);
    auto* pRDN = new QRadioButton("Relative Distinguished Name (RDN)", this);
    units.Place(pRDN, 17, 118, 129, 10);
    m_pTitleGroup->addButton(pRDN, 1);

    auto* pOK = new QPushButton("&OK", this);
    pOK->setDefault(true);
    units.Place(pOK, 120, 144, 50, 14);
    auto* pCancel = new QPushButton("&Cancel", this);
    pCancel->setAutoDefault(false);
    units.Place(pCancel, 175, 144, 50, 14);
    connect(pBrowse, &QPushButton::clicked, this, &CSettingsDlg::OnBrowse);
    connect(pOK, &QPushButton::clicked, this, &CSettingsDlg::OnOK);
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);

    // Opening: the stored values, an unknown save option as the first one;
    // a stored 3 names no radio, so none is checked.
    m_nTitleChoice = m_pSettings->GetEntryAsRDN();
    int nStored = m_pSettings->GetSaveOption();
    m_nSaveOption = (nStored >= 1 && nStored <= 3) ? nStored : 0;
    m_strFilename = m_pSettings->GetFilename();
    if (QAbstractButton* pSave = m_pSaveGroup->button(m_nSaveOption))
        pSave->setChecked(true);
    if (QAbstractButton* pTitle = m_pTitleGroup->button(m_nTitleChoice))
        pTitle->setChecked(true);
    m_pFilename->setText(BytesToText(m_strFilename));
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

void CSettingsDlg::OnBrowse() {
    CString path;
    if (ChooseLdifFile(path))
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
    accept();
}
