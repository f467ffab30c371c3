#include "ui/LdifExport.h"

#include "ldif/LdifSource.h"
#include "ldif/LdifWriter.h"
#include "model/EntryNode.h"
#include "platform/Services.h"
#include "platform/Thread.h"
#include "session/TarvoDoc.h"
#include "session/View.h"
#include "source/DataSource.h"
#include "ui/SettingsDlg.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProgressDialog>
#include <algorithm>

namespace {
constexpr int SAVE_ALL = 1;
constexpr int SAVE_ALL_READING = 2;
} // namespace

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

const char* const CLdifExport::kCancelledText = "Save to LDIF stopped; this file was left as it was: ";

CLdifExport::CLdifExport(CTarvoDoc* pDocument, CView* pTreePane)
    : m_pDocument(pDocument), m_pTreePane(pTreePane) {}

CLdifExport::~CLdifExport() = default;

BOOL CLdifExport::UpdateProgress() {
    if (!m_pProgress && m_started.elapsed() >= kProgressDelayMs) {
        // Window-modal: only its Cancel takes input, so no command can
        // remove entries this walk still holds.
        m_pProgress = std::make_unique<QProgressDialog>(QStringLiteral("Saving entries to LDIF"),
                                                        QStringLiteral("Cancel"), 0, m_nTotal, m_pTreePane);
        m_pProgress->setWindowModality(Qt::WindowModal);
        m_pProgress->setMinimumDuration(0);
        m_pProgress->setAutoClose(false);
        m_pProgress->setAutoReset(false);
        m_pProgress->show();
    }
    if (m_pProgress) {
        m_pProgress->setValue(m_nWritten);
        m_pProgress->setLabelText(
            QString("Saving entries to LDIF: %1 of %2 written").arg(m_nWritten).arg(m_nTotal));
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
    // An attribute operation still running on the entry fills the cache
    // itself; a second read would write it from two threads.
    if (!pSource || !pEntry->CanRefreshAttributes())
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
    QPointer<CView> pPane(m_pTreePane);
    while (WaitForThreadDispatching(hThread, 20) == WAIT_TIMEOUT) {
        // Paint and run timers, but take no input but the progress
        // window's: a command now could remove entries this walk holds.
        QCoreApplication::processEvents(
            m_pProgress ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 20);
        // A window closed meanwhile took the source and its entries along.
        if (!pPane || m_pDocument->GetDataSource() != pSource)
            return FALSE;
        if (UpdateProgress()) {
            // The read is abandoned; the entry's operation ends with it.
            if (!m_bStopAtStart && !CEntryNode::IsStopRequested())
                CEntryNode::RequestStop();
            pSource->Stop();
            return FALSE;
        }
    }
    return pPane && m_pDocument->GetDataSource() == pSource;
}

BOOL CLdifExport::Run(CEntryNode* pEntry) {
    CExportSettings& settings = m_pDocument->GetExportSettings();
    m_strPath = settings.GetFilename();
    if (m_strPath.IsEmpty() && !ChooseLdifFile(m_strPath))
        return FALSE;
    int nOption = settings.GetSaveOption();
    std::vector<CEntryNode*> entries = CollectSubtree(pEntry);
    std::string text;
    m_nWritten = 0;
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
        AppendEntryText(text, pNext, "\r\n");
        ++m_nWritten;
    }
    m_pProgress.reset();
    if (const CResult written = WriteFileReplacing(m_strPath, text); !written) {
        AfxMessageBox("Write Access Denied to LDIF file" + m_strPath + "\n" + written.Reason(),
                      MB_OK | MB_ICONSTOP);
        Status(CString());
        return FALSE;
    }
    CString done;
    done.Format("%d entries saved to ", m_nWritten);
    Status(done + m_strPath);
    return TRUE;
}
