#include "ui/LdifExport.h"

#include "ldif/LdifSource.h"
#include "ldif/LdifWriter.h"
#include "ldif/SubtreeReader.h"
#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Services.h"
#include "platform/Thread.h"
#include "session/TarvoDoc.h"
#include "session/View.h"
#include "source/DataSource.h"
#include "source/Search.h"
#include "ui/ClipboardPaste.h"
#include "ui/ExportSettings.h"
#include "ui/SettingsDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QMimeData>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <algorithm>
#include <functional>
#include <unordered_map>
#include <unordered_set>

std::vector<CEntryNode*> CollectSubtree(CEntryNode* pEntry) {
    std::vector<CEntryNode*> entries;
    std::vector<CEntryNode*> stack{pEntry};
    while (!stack.empty()) {
        CEntryNode* pNext = stack.back();
        stack.pop_back();
        entries.push_back(pNext);
        std::vector<CEntryNode*> children = pNext->GetChildren();
        // Pushed in reverse so that they come off in list order.
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back(*it);
    }
    return entries;
}

CString SkippedNamesText(int nSkipped) {
    CString text;
    if (nSkipped == 1)
        text = "1 attribute with an invalid name was skipped";
    else
        text.Format("%d attributes with invalid names were skipped", nSkipped);
    return text;
}

const char* const CLdifExport::kCancelledText = "Save to LDIF stopped; this file was left as it was: ";
const char* const CLdifExport::kCopiedText = "%d entries copied to the clipboard as LDIF";
const char* const CLdifExport::kCopyStoppedText = "Copy stopped; the clipboard was left as it was";
const char* const CLdifExport::kLoadedOnlyText = " (only entries loaded in the tree were included)";

std::unique_ptr<QProgressDialog> ShowModalProgress(const QString& label, const QString& button, int nMaximum,
                                                   QWidget* pParent) {
    // Window-modal: only its button takes input, so no command can remove
    // entries the running walk still holds.
    auto pProgress = std::make_unique<QProgressDialog>(label, button, 0, nMaximum, pParent);
    pProgress->setWindowModality(Qt::WindowModal);
    pProgress->setMinimumDuration(0);
    pProgress->setAutoClose(false);
    pProgress->setAutoReset(false);
    pProgress->show();
    return pProgress;
}

CLdifExport::CLdifExport(CTarvoDoc* pDocument, CView* pTreePane)
    : m_pDocument(pDocument), m_pTreePane(pTreePane) {}

CLdifExport::~CLdifExport() = default;

BOOL CLdifExport::UpdateProgress() {
    if (!m_pProgress && m_started.elapsed() >= kProgressDelayMs) {
        m_pProgress = ShowModalProgress(QStringLiteral("Saving entries to LDIF"), QStringLiteral("Cancel"),
                                        m_nTotal, m_pTreePane);
    }
    if (m_pProgress) {
        // A subtree read from the source has no total until it ends.
        if (m_nTotal > 0) {
            m_pProgress->setValue(m_nWritten);
            m_pProgress->setLabelText(
                QString("Saving entries to LDIF: %1 of %2 written").arg(m_nWritten).arg(m_nTotal));
        } else {
            m_pProgress->setRange(0, 0);
            m_pProgress->setLabelText(QString("Saving entries to LDIF: %1 written").arg(m_nWritten));
        }
        if (m_pProgress->wasCanceled())
            m_bCancelled = TRUE;
    }
    // The Stop command while the save runs.
    if (!m_bStopAtStart && CEntryNode::IsStopRequested())
        m_bCancelled = TRUE;
    return m_bCancelled;
}

void CLdifExport::Status(const CString& text) {
    m_pDocument->SetStatusText(text, 1);
}

BOOL CLdifExport::ReadMissingAttributes(CEntryNode* pEntry) {
    CDataSource* pSource = m_pDocument->GetDataSource();
    if (!pSource)
        return TRUE;
    QPointer<CView> pPane(m_pTreePane);
    // One turn of waiting; false when the save must end.
    auto waitTurn = [&]() {
        // Paint and run timers, but take no input but the progress
        // window's: a command now could remove entries this walk holds.
        QCoreApplication::processEvents(
            m_pProgress ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 20);
        // A window closed meanwhile took the source and its entries along.
        if (!pPane || m_pDocument->GetDataSource() != pSource)
            return false;
        if (UpdateProgress()) {
            // The read is abandoned; the entry's operation ends with it.
            if (!m_bStopAtStart && !CEntryNode::IsStopRequested())
                CEntryNode::RequestStop();
            pSource->Stop();
            return false;
        }
        return true;
    };
    // An attribute operation still running on the entry (the pane's read)
    // fills the cache itself, and a second read would write it from two
    // threads: the save waits for it rather than write the entry without
    // its attributes.
    while (!pEntry->CanRefreshAttributes()) {
        QThread::msleep(5);
        if (!waitTurn())
            return FALSE;
    }
    if (!pEntry->m_attributes.IsEmpty())
        return TRUE;
    pEntry->BeginOperation(OP_READ_ATTRIBUTES);
    std::uintptr_t nStarted =
        pSource->ReadAttributes(pEntry, &pEntry->m_attributes, m_pDocument->GetView(1), FALSE);
    // A source that starts a worker lists its handle; one that works inside
    // the call has finished already.
    DWORD dwHandle = static_cast<DWORD>(nStarted);
    const CDWordArray& workers = pSource->m_workerThreads;
    if (nStarted == 0 || std::find(workers.begin(), workers.end(), dwHandle) == workers.end())
        return TRUE;
    HANDLE hThread = DWordToHandle(dwHandle);
    while (WaitForThreadDispatching(hThread, 20) == WAIT_TIMEOUT)
        if (!waitTurn())
            return FALSE;
    return pPane && m_pDocument->GetDataSource() == pSource;
}

void CLdifExport::ShowSaved(bool bLoadedOnly) {
    CString done;
    done.Format("%d entries saved to ", m_nWritten);
    done += m_strPath;
    if (bLoadedOnly)
        done += kLoadedOnlyText;
    if (m_nSkipped > 0)
        done += "; " + SkippedNamesText(m_nSkipped);
    Status(done);
}

BOOL CLdifExport::RunWholeSubtree(CEntryNode* pEntry) {
    return RunQuery(SubtreeQuery(pEntry->GetDN()), nullptr);
}

BOOL CLdifExport::RunQuery(const CSearchQuery& query, std::string* pClipboard) {
    CDataSource* pSource = m_pDocument->GetDataSource();
    if (!pSource)
        return FALSE;
    QPointer<CView> pPane(m_pTreePane);
    m_nWritten = 0;
    m_nSkipped = 0;
    m_nTotal = 0;
    m_started.start();
    m_bStopAtStart = CEntryNode::IsStopRequested() != FALSE;
    m_bCancelled = FALSE;
    Status((pClipboard ? "Copying " : "Saving the subtree of ") + query.strBase);
    auto onIdle = [&](int nWritten) {
        m_nWritten = nWritten;
        const bool bStop = UpdateProgress();
        QCoreApplication::processEvents(
            m_pProgress ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 20);
        // A window closed meanwhile took the source along.
        if (!pPane || m_pDocument->GetDataSource() != pSource)
            return ESubtreeIdle::Gone;
        return bStop ? ESubtreeIdle::Stop : ESubtreeIdle::Continue;
    };
    CSubtreeReadResult read;
    auto readInto = [&](CFileSink& sink) { read = ReadSubtreeAsLdif(*pSource, query, sink, onIdle); };
    CResult written;
    if (pClipboard) {
        CFileSink sink(pClipboard);
        readInto(sink);
        if (sink.Abandoned())
            written = CResult::Failure(sink.AbandonReason());
    } else {
        written = WriteFileReplacing(m_strPath, readInto);
    }
    m_pProgress.reset();
    m_nWritten = read.nWritten;
    m_nSkipped = read.nSkipped;
    if (read.eEnd == ESubtreeRead::Stopped)
        m_bCancelled = TRUE;
    if (!written) {
        if (m_bCancelled) {
            Status(pClipboard ? CString(kCopyStoppedText) : kCancelledText + m_strPath);
        } else if (pClipboard) {
            AfxMessageBox("Nothing was copied.\n" + written.Reason(), MB_OK | MB_ICONSTOP);
            Status(CString());
        } else {
            AfxMessageBox("The subtree was not saved; this file was left as it was: " + m_strPath + "\n" +
                              written.Reason(),
                          MB_OK | MB_ICONSTOP);
            Status(CString());
        }
        return FALSE;
    }
    if (!pClipboard)
        ShowSaved(false);
    return TRUE;
}

BOOL CLdifExport::Copy(CEntryNode* pEntry, bool bSubtree) {
    return ExportQuery(SubtreeQuery(pEntry->GetDN(), bSubtree ? SEARCH_SCOPE_SUBTREE : SEARCH_SCOPE_BASE),
                       CString());
}

BOOL CLdifExport::Export(CEntryNode* pEntry, const CString& filter, const CString& path) {
    return ExportQuery(SubtreeQuery(pEntry->GetDN(), SEARCH_SCOPE_SUBTREE, filter), path);
}

BOOL CLdifExport::ExportQuery(const CSearchQuery& query, const CString& path) {
    if (!path.IsEmpty()) {
        m_strPath = path;
        return RunQuery(query, nullptr);
    }
    std::string text;
    if (!RunQuery(query, &text))
        return FALSE;
    auto* pData = new QMimeData;
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    pData->setData(CClipboardPaste::kLdifMimeType, bytes);
    // Plain text too, for editors; LDIF is UTF-8 or base 64 throughout.
    pData->setText(QString::fromUtf8(bytes));
    QApplication::clipboard()->setMimeData(pData);
    CString done;
    done.Format(kCopiedText, m_nWritten);
    if (m_nSkipped > 0)
        done += "; " + SkippedNamesText(m_nSkipped);
    Status(done);
    return TRUE;
}

BOOL CLdifExport::Run(CEntryNode* pEntry) {
    CExportSettings& settings = m_pDocument->GetExportSettings();
    m_strPath = settings.GetFilename();
    if (m_strPath.IsEmpty() && !ChooseLdifFile(m_strPath, ProposedLdifName(pEntry->GetDN())))
        return FALSE;
    int nOption = settings.GetSaveOption();
    // An LDIF file's entries are all in memory with their attributes: each
    // option writes the whole subtree, parents before children.
    const bool bInMemory = dynamic_cast<CLdifSource*>(m_pDocument->GetDataSource()) != nullptr;
    if (bInMemory)
        nOption = SAVE_ALL;
    else if (nOption == SAVE_WHOLE_SUBTREE)
        return RunWholeSubtree(pEntry);
    std::vector<CEntryNode*> entries = CollectSubtree(pEntry);
    std::string text;
    m_nWritten = 0;
    m_nSkipped = 0;
    m_nTotal = static_cast<int>(entries.size());
    m_started.start();
    m_bStopAtStart = CEntryNode::IsStopRequested() != FALSE;
    m_bCancelled = FALSE;
    CString progress;
    progress.Format("Saving %d entries", static_cast<int>(entries.size()));
    Status(progress);
    for (CEntryNode* pNext : entries) {
        // The synthetic top of an LDIF file, or the empty base of a server,
        // is no entry any tool could import.
        if (pNext->IsRoot() || pNext->m_strDN.IsEmpty())
            continue;
        if (nOption == SAVE_ALL_READING && pNext->m_attributes.IsEmpty()) {
            if (!ReadMissingAttributes(pNext)) {
                // Nothing was written: the file is as it was.
                if (m_bCancelled)
                    Status(kCancelledText + m_strPath);
                m_pProgress.reset();
                return FALSE;
            }
            progress.Format("Saving %d of %d entries", m_nWritten + 1, static_cast<int>(entries.size()));
            Status(progress);
        }
        // Any other option writes only entries whose attributes were read.
        if (nOption != SAVE_ALL && nOption != SAVE_ALL_READING && pNext->m_attributes.IsEmpty())
            continue;
        m_nSkipped += AppendEntryText(text, pNext, "\r\n");
        ++m_nWritten;
    }
    m_pProgress.reset();
    if (const CResult written = WriteFileReplacing(m_strPath, text); !written) {
        AfxMessageBox("Write Access Denied to LDIF file " + m_strPath + "\n" + written.Reason(),
                      MB_OK | MB_ICONSTOP);
        Status(CString());
        return FALSE;
    }
    ShowSaved(!bInMemory);
    return TRUE;
}
