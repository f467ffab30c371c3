#include "ui/BinaryValueDlg.h"

#include "model/BinaryValue.h"
#include "platform/Services.h"
#include "platform/qt/PlainText.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {
// Larger files are refused rather than sent as one value.
constexpr qint64 kMaxValueBytes = 64 * 1024 * 1024;
const char* const kAnyFileFilter = "All Files (*.*) | *.*||";

void ShowValue(QLabel* pLabel, const CString& name, const CString& value) {
    SetPlainLabel(pLabel, BytesToText(BinaryValueSummary(value)));
    pLabel->setToolTip(PlainToolTip(BytesToText(DescribeBinaryValue(name, value))));
}
} // namespace

CBinaryValueDlg::CBinaryValueDlg(const CString& name, const CString& value, QWidget* pParent)
    : QDialog(pParent), m_strName(name), m_strValue(value) {
    setWindowTitle("Modify Value");
    auto* pName = new QLineEdit(ShownText(name), this);
    MakeReadOnlyField(pName);
    m_pCurrent = new QLabel(this);
    ShowValue(m_pCurrent, name, value);
    m_pNew = new QLabel("(unchanged)", this);
    m_pNew->setTextFormat(Qt::PlainText);
    m_pSave = new QPushButton("&Save Value to File...", this);
    m_pLoad = new QPushButton("&Load New Value from File...", this);
    m_pSave->setAutoDefault(false);
    m_pLoad->setAutoDefault(false);

    auto* pForm = new QFormLayout;
    pForm->addRow("Name", pName);
    pForm->addRow("Value", m_pCurrent);
    pForm->addRow("New value", m_pNew);
    auto* pFileButtons = new QHBoxLayout;
    pFileButtons->addWidget(m_pSave);
    pFileButtons->addWidget(m_pLoad);
    pFileButtons->addStretch();
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    pButtons->button(QDialogButtonBox::Ok)->setText("&OK");
    pButtons->button(QDialogButtonBox::Cancel)->setText("&Cancel");
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pForm);
    pLayout->addLayout(pFileButtons);
    pLayout->addWidget(pButtons);

    connect(m_pSave, &QPushButton::clicked, this, &CBinaryValueDlg::OnSave);
    connect(m_pLoad, &QPushButton::clicked, this, &CBinaryValueDlg::OnLoad);
    connect(pButtons, &QDialogButtonBox::accepted, this, &CBinaryValueDlg::OnOK);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int CBinaryValueDlg::DoModal() {
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CBinaryValueDlg::OnLoad() {
    CString path;
    if (!CServices::FileDialogs().ChooseFile(TRUE, "Load New Value", "", kAnyFileFilter, TRUE, path))
        return;
    QFile file(BytesToText(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxValueBytes) {
        AfxMessageBox(file.size() > kMaxValueBytes ? "The file " + path + " is too large for one value."
                                                   : "Cannot read the file " + path + ".",
                      MB_OK | MB_ICONSTOP);
        return;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        AfxMessageBox("Cannot read the file " + path + ".", MB_OK | MB_ICONSTOP);
        return;
    }
    m_strNewValue = CString(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
    m_bLoaded = true;
    ShowValue(m_pNew, m_strName, m_strNewValue);
}

void CBinaryValueDlg::OnSave() {
    CString path;
    if (!CServices::FileDialogs().ChooseFile(FALSE, "Save Value", "", kAnyFileFilter, FALSE, path))
        return;
    // Written whole or not at all.
    QSaveFile file(BytesToText(path));
    const std::string& bytes = m_strValue.Str();
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
        !file.commit()) {
        AfxMessageBox("Cannot write the file " + path + ".", MB_OK | MB_ICONSTOP);
    }
}

void CBinaryValueDlg::OnOK() {
    if (!m_bLoaded) {
        reject();
        return;
    }
    accept();
}
