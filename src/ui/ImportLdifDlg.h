#pragma once
// "Import LDIF": a file applied to the open server on a connection of its
// own, with progress, Stop, and a report at the end. The import runs on a
// thread of its own; the dialog only reads its figures, so nothing of the
// session's own connection waits for it.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "ldif/LdifImporter.h"
#include "platform/String.h"
#include "source/ConnectionParams.h"
#endif

#include <QDialog>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class CLdapSource;
class CLdapTreeView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

class CImportLdifDlg : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CImportLdifDlg)

public:
    // params: the session's login (password included; wiped by the dialog).
    CImportLdifDlg(const CConnectionParams& params, QWidget* pParent = nullptr);
    ~CImportLdifDlg() override;

    // Told on the UI thread when an import has ended (not a dry run).
    void SetFinishedHandler(std::function<void(const CImportReport&)> fn) { m_fnFinished = std::move(fn); }

    // Starts the import of what the fields say; the fault is shown instead
    // when they say nothing usable.
    void OnStart();
    void OnStop();
    // Close: a running import is stopped first (its connection broken when
    // it does not end at once).
    void reject() override;
    bool IsRunning() const { return m_pRun != nullptr; }
    // Waits for a running import to end (tests); false after nTimeoutMs.
    bool WaitFinished(int nTimeoutMs);

    QLineEdit* FileEdit() const { return m_pFile; }
    QLineEdit* RejectsEdit() const { return m_pRejects; }
    QCheckBox* ContinueCheck() const { return m_pContinue; }
    QCheckBox* DryRunCheck() const { return m_pDryRun; }
    QPushButton* StartButton() const { return m_pStart; }
    QPushButton* StopButton() const { return m_pStop; }
    QLabel* ProgressLabel() const { return m_pProgress; }
    QLabel* ReportLabel() const { return m_pReport; }

    static const char* const kNoFileText;
    static const char* const kNoRejectsText;
    static const char* const kRejectsIsInputText;

private:
    struct CRun;
    void OnTick();
    void Finish();
    void ShowProgress();
    // Ends a running import for a close: Stop, a short wait, then the
    // connection broken; a thread still in its login is left to end alone.
    void EndRunForClose();

    CConnectionParams m_params;
    std::shared_ptr<CRun> m_pRun;
    std::function<void(const CImportReport&)> m_fnFinished;
    QLineEdit* m_pFile;
    QLineEdit* m_pRejects;
    QCheckBox* m_pContinue;
    QCheckBox* m_pDryRun;
    QPushButton* m_pStart;
    QPushButton* m_pStop;
    QPushButton* m_pClose;
    QProgressBar* m_pBar;
    QLabel* m_pProgress;
    QLabel* m_pReport;
    QTimer* m_pTimer;
};

// The Import LDIF command: the dialog on the session's login, and the loaded
// levels the import touched read again when it ends.
void RunImportLdif(CLdapSource& source, CLdapTreeView* pTree, QWidget* pParent);
