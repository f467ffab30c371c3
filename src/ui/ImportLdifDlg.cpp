#include "ui/ImportLdifDlg.h"

#include "platform/SecretBuffer.h"
#include "platform/Services.h"
#include "platform/qt/PlainText.h"
#include "source/LdapSource.h"
#include "ui/AttributeListEditor.h"
#include "ui/DialogUnits.h"
#include "ui/LdapTreeView.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>
#include <thread>

namespace {

const char* const kLdifFilter = "LDIF Files (*.ldif) | *.ldif|All Files (*.*) | *.*||";
constexpr int kTickMs = 200;
// How long a close waits for the import to give up before breaking its connection.
constexpr int kCloseWaitMs = 1500;

CString FromEdit(const QLineEdit* pEdit) {
    return CString(pEdit->text().toStdString());
}

bool SameFile(const CString& a, const CString& b) {
    std::error_code error;
    return a == b || std::filesystem::equivalent(a.GetString(), b.GetString(), error);
}

} // namespace

const char* const CImportLdifDlg::kNoFileText = "Choose the LDIF file to import.";
const char* const CImportLdifDlg::kNoRejectsText =
    "Choose the file that takes the records the server refuses.";
const char* const CImportLdifDlg::kRejectsIsInputText = CLdifImporter::kRejectsIsInputText;

// What the import thread and the dialog share; the thread holds it too, so
// a thread left to end alone never reaches a dialog that is gone.
struct CImportLdifDlg::CRun {
    CLdifImporter importer;
    CImportOptions options;
    CImportReport report;
    std::atomic<bool> bFinished{false};
    std::chrono::steady_clock::time_point tStart = std::chrono::steady_clock::now();
};

CImportLdifDlg::CImportLdifDlg(const CConnectionParams& params, QWidget* pParent)
    : QDialog(pParent), m_params(params) {
    setWindowTitle(QStringLiteral("Import LDIF"));
    CDialogUnits units(this);
    auto* pLayout = new QVBoxLayout(this);
    auto* pForm = new QFormLayout;
    auto browseRow = [&](QLineEdit*& pEdit, const char* pszTitle, bool bOpen) {
        pEdit = new QLineEdit(this);
        units.MinimumWidth(pEdit, 150);
        auto* pBrowse = new QPushButton(QStringLiteral("Browse..."), this);
        pBrowse->setAutoDefault(false);
        connect(pBrowse, &QPushButton::clicked, this, [this, pEdit, pszTitle, bOpen] {
            CString path = FromEdit(pEdit);
            if (CServices::FileDialogs().ChooseFile(bOpen, pszTitle, path, kLdifFilter, bOpen, path))
                pEdit->setText(QString::fromStdString(path.Str()));
        });
        auto* pRow = new QHBoxLayout;
        pRow->addWidget(pEdit, 1);
        pRow->addWidget(pBrowse);
        return pRow;
    };
    pForm->addRow(QStringLiteral("LDIF &file:"), browseRow(m_pFile, "Import LDIF", true));
    pLayout->addLayout(pForm);
    m_pContinue =
        new QCheckBox(QStringLiteral("&Continue after a failure, writing the failed records to:"), this);
    pLayout->addWidget(m_pContinue);
    pLayout->addLayout(browseRow(m_pRejects, "Rejected Records", false));
    m_pDryRun = new QCheckBox(QStringLiteral("&Dry run: read and check the whole file, send nothing"), this);
    pLayout->addWidget(m_pDryRun);
    connect(m_pFile, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!m_pRejects->isModified())
            m_pRejects->setText(text.isEmpty() ? QString() : text + QStringLiteral(".rejects.ldif"));
    });

    m_pBar = new QProgressBar(this);
    m_pBar->setRange(0, 1000);
    m_pBar->setValue(0);
    pLayout->addWidget(m_pBar);
    m_pProgress = new QLabel(this);
    m_pProgress->setTextFormat(Qt::PlainText);
    pLayout->addWidget(m_pProgress);
    m_pReport = new QLabel(this);
    m_pReport->setTextFormat(Qt::PlainText);
    m_pReport->setWordWrap(true);
    m_pReport->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pLayout->addWidget(m_pReport);

    m_pStart = new QPushButton(QStringLiteral("&Import"), this);
    m_pStart->setDefault(true);
    m_pStop = new QPushButton(QStringLiteral("&Stop"), this);
    m_pStop->setAutoDefault(false);
    m_pStop->setEnabled(false);
    m_pClose = new QPushButton(QStringLiteral("Close"), this);
    m_pClose->setAutoDefault(false);
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    pButtons->addWidget(m_pStart);
    pButtons->addWidget(m_pStop);
    pButtons->addWidget(m_pClose);
    pLayout->addLayout(pButtons);
    connect(m_pStart, &QPushButton::clicked, this, &CImportLdifDlg::OnStart);
    connect(m_pStop, &QPushButton::clicked, this, &CImportLdifDlg::OnStop);
    connect(m_pClose, &QPushButton::clicked, this, &CImportLdifDlg::reject);

    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(kTickMs);
    connect(m_pTimer, &QTimer::timeout, this, &CImportLdifDlg::OnTick);
}

CImportLdifDlg::~CImportLdifDlg() {
    m_fnFinished = nullptr; // whoever wanted to know may be gone already
    EndRunForClose();
    WipeString(m_params.m_strPassword);
}

void CImportLdifDlg::OnStart() {
    if (m_pRun)
        return;
    CImportOptions options;
    options.m_strFile = FromEdit(m_pFile);
    options.m_bContinueOnError = m_pContinue->isChecked();
    options.m_strRejectsFile = FromEdit(m_pRejects);
    options.m_bDryRun = m_pDryRun->isChecked();
    const char* pszFault = nullptr;
    if (options.m_strFile.IsEmpty())
        pszFault = kNoFileText;
    else if (options.m_bContinueOnError && !options.m_bDryRun && options.m_strRejectsFile.IsEmpty())
        pszFault = kNoRejectsText;
    else if (options.m_bContinueOnError && !options.m_bDryRun &&
             SameFile(options.m_strFile, options.m_strRejectsFile))
        pszFault = kRejectsIsInputText;
    if (pszFault) {
        m_pReport->setText(QString::fromUtf8(pszFault));
        return;
    }
    if (options.m_bDryRun)
        options.m_strRejectsFile.Empty(); // a dry run writes nothing
    m_pRun = std::make_shared<CRun>();
    m_pRun->options = options;
    m_pReport->clear();
    m_pProgress->clear();
    m_pBar->setValue(0);
    m_pStart->setEnabled(false);
    m_pStop->setEnabled(true);
    std::thread([run = m_pRun, params = m_params]() mutable {
        run->report = run->importer.Run(params, run->options);
        WipeString(params.m_strPassword);
        run->bFinished = true;
    }).detach();
    m_pTimer->start();
}

void CImportLdifDlg::OnStop() {
    if (m_pRun)
        m_pRun->importer.Stop();
}

void CImportLdifDlg::OnTick() {
    if (!m_pRun)
        return;
    if (m_pRun->bFinished)
        Finish();
    else
        ShowProgress();
}

void CImportLdifDlg::ShowProgress() {
    const CLdifImporter& importer = m_pRun->importer;
    const double dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_pRun->tStart).count();
    const long long nSize = importer.FileSize(), nRead = importer.BytesRead();
    const long nDone = importer.RecordsDone(), nFailed = importer.RecordsFailed();
    if (nSize > 0)
        m_pBar->setValue(static_cast<int>(nRead * 1000 / nSize));
    QString text = QStringLiteral("%1 records done, %2 failed").arg(nDone).arg(nFailed);
    if (dSeconds > 0.5)
        text += QStringLiteral(", %1 records/s").arg(static_cast<long>((nDone + nFailed) / dSeconds));
    if (nRead > 0 && nSize > nRead && dSeconds > 1)
        text += QStringLiteral(", about %1 s left")
                    .arg(static_cast<long>(dSeconds * (nSize - nRead) / nRead) + 1);
    m_pProgress->setText(text);
}

void CImportLdifDlg::Finish() {
    m_pTimer->stop();
    ShowProgress();
    std::shared_ptr<CRun> pRun = std::move(m_pRun);
    const CImportReport& report = pRun->report;
    m_pBar->setValue(report.m_strError.IsEmpty() && !report.m_bStopped ? 1000 : m_pBar->value());
    QString text = QString::fromStdString(report.Summary(pRun->options.m_bDryRun).Str());
    if (!report.m_strError.IsEmpty())
        text += QLatin1Char('\n') + QString::fromStdString(report.m_strError.Str());
    else if (!report.m_strFirstFailure.IsEmpty())
        text += QStringLiteral("\nFirst failure: ") + QString::fromStdString(report.m_strFirstFailure.Str());
    if (report.m_nFailed > 0 && !pRun->options.m_strRejectsFile.IsEmpty() && pRun->options.m_bContinueOnError)
        text += QStringLiteral("\nThe failed records are in ") +
                QString::fromStdString(pRun->options.m_strRejectsFile.Str());
    // The reasons carry the server's words and the file's DNs.
    SetPlainLabel(m_pReport, text);
    m_pStart->setEnabled(true);
    m_pStop->setEnabled(false);
    if (!pRun->options.m_bDryRun && m_fnFinished)
        m_fnFinished(report);
}

bool CImportLdifDlg::WaitFinished(int nTimeoutMs) {
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (m_pRun && !m_pRun->bFinished) {
        if (std::chrono::steady_clock::now() >= tEnd)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (m_pRun)
        Finish();
    return true;
}

void CImportLdifDlg::EndRunForClose() {
    if (!m_pRun)
        return;
    m_pRun->importer.Stop();
    if (!WaitFinished(kCloseWaitMs)) {
        m_pRun->importer.Break();
        WaitFinished(kCloseWaitMs / 3);
    }
    // Still in its login to a silent server: it ends on its own time-out,
    // holding only what it shares with nobody else now.
    m_pTimer->stop();
    m_pRun.reset();
}

void CImportLdifDlg::reject() {
    EndRunForClose();
    QDialog::reject();
}

void RunImportLdif(CLdapSource& source, CLdapTreeView* pTree, QWidget* pParent) {
    CConnectionParams params = source.LoginParams();
    CImportLdifDlg dlg(params, pParent);
    WipeString(params.m_strPassword);
    dlg.SetFinishedHandler([pTree](const CImportReport& report) {
        if (pTree && (report.m_bAffectedAll || !report.m_affectedParents.empty()))
            pTree->RefreshLoadedLevels(report.m_affectedParents, report.m_bAffectedAll);
    });
    dlg.exec();
}
