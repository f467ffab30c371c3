#include "ui/ExportSubtreeDlg.h"

#include "model/DnHelper.h"
#include "model/SearchFilter.h"
#include "platform/qt/PlainText.h"
#include "platform/qt/QtServices.h"
#include "ui/SettingsDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CExportSubtreeDlg::CExportSubtreeDlg(const CString& baseDN, const CString& path, QWidget* pParent)
    : QDialog(pParent), m_strBaseDN(baseDN) {
    setWindowTitle(QStringLiteral("Export Subtree"));
    auto* pLayout = new QVBoxLayout(this);
    auto* pBase = new QLabel(this);
    SetPlainLabel(pBase, "Entries below " + ToQString(DnForDisplay(baseDN)));
    pLayout->addWidget(pBase);

    auto* pForm = new QFormLayout;
    m_pFilter = new QLineEdit(QStringLiteral("(objectClass=*)"), this);
    pForm->addRow(QStringLiteral("&Filter:"), m_pFilter);
    pLayout->addLayout(pForm);

    m_pToFile = new QRadioButton(QStringLiteral("To an LDIF &file:"), this);
    m_pPath = new QLineEdit(ToQString(path), this);
    auto* pBrowse = new QPushButton(QStringLiteral("..."), this);
    auto* pFileRow = new QHBoxLayout;
    pFileRow->addWidget(m_pToFile);
    pFileRow->addWidget(m_pPath, 1);
    pFileRow->addWidget(pBrowse);
    pLayout->addLayout(pFileRow);
    m_pToClipboard =
        new QRadioButton(QStringLiteral("To the &clipboard (to paste into another window)"), this);
    pLayout->addWidget(m_pToClipboard);
    m_pToFile->setChecked(true);

    m_pError = new QLabel(this);
    m_pError->setTextFormat(Qt::PlainText);
    m_pError->setWordWrap(true);
    pLayout->addWidget(m_pError);

    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    pLayout->addWidget(pButtons);
    connect(pButtons, &QDialogButtonBox::accepted, this, &CExportSubtreeDlg::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &CExportSubtreeDlg::reject);
    connect(pBrowse, &QPushButton::clicked, this, &CExportSubtreeDlg::OnBrowse);
    connect(m_pPath, &QLineEdit::textEdited, this, [this] { m_pToFile->setChecked(true); });
}

CString CExportSubtreeDlg::GetFilter() const {
    return FromQString(m_pFilter->text().trimmed());
}

CString CExportSubtreeDlg::GetPath() const {
    return m_pToFile->isChecked() ? FromQString(m_pPath->text()) : CString();
}

void CExportSubtreeDlg::OnBrowse() {
    CString path = FromQString(m_pPath->text());
    if (ChooseLdifFile(path, ProposedLdifName(m_strBaseDN))) {
        m_pPath->setText(ToQString(path));
        m_pToFile->setChecked(true);
    }
}

void CExportSubtreeDlg::accept() {
    CString error;
    const CString filter = GetFilter();
    if (!filter.IsEmpty() && !CSearchFilter::Parse(filter.View(), error)) {
        m_pError->setText("The filter is not valid: " + ToQString(error));
        m_pFilter->setFocus();
        return;
    }
    if (m_pToFile->isChecked() && m_pPath->text().trimmed().isEmpty()) {
        m_pError->setText(QStringLiteral("Name the file the entries go to, or choose the clipboard."));
        m_pPath->setFocus();
        return;
    }
    QDialog::accept();
}
