#include "ui/LdifExport.h"

#include "ldif/LdifSource.h"
#include "ldif/LdifWriter.h"
#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Services.h"
#include "platform/Thread.h"
#include "session/TarvoDoc.h"
#include "session/View.h"
#include "source/DataSource.h"
#include "source/Search.h"
#include "ui/ExportSettings.h"
#include "ui/SettingsDlg.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProgressDialog>
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
const char* const CLdifExport::kLoadedOnlyText = " (only entries loaded in the tree were included)";

namespace {

// Takes a subtree search's batches as they come; the export writes them out
// between the turns of its loop.
class CSubtreeReceiver : public CWnd, public ISourceEvents {
public:
    CSubtreeReceiver() = default;
    ~CSubtreeReceiver() override { DestroyWindowHandle(); }
    CSubtreeReceiver(const CSubtreeReceiver&) = delete;
    CSubtreeReceiver& operator=(const CSubtreeReceiver&) = delete;

    void SearchResults(std::vector<CSearchResult>& batch) override {
        for (CSearchResult& result : batch)
            m_pending.push_back(std::move(result));
    }
    void SearchFinished(const CSearchOutcome& outcome) override {
        m_outcome = outcome;
        m_bDone = true;
    }

    std::vector<CSearchResult> m_pending;
    CSearchOutcome m_outcome;
    bool m_bDone = false;
};

// Writes entries so that a parent always comes before its children, which
// a tool reading the file (ldapadd) needs. A server sends parents first as
// a rule; an entry that arrives before its parent waits for it, so what is
// held stays small. Only a key per written entry is kept.
class CParentsFirst {
public:
    CParentsFirst(const CString& baseDN, CFileSink& file)
        : m_strBaseKey(DnCompareKey(baseDN.View())), m_file(file) {}

    void Add(CSearchResult&& result) {
        std::string key = DnCompareKey(result.strDN.View());
        if (key != m_strBaseKey) {
            std::string parentKey = DnCompareKey(DnParent(result.strDN).View());
            if (!m_written.count(std::hash<std::string>()(parentKey))) {
                m_held.emplace(std::move(parentKey), std::move(result));
                return;
            }
        }
        Write(result, key);
    }
    // Entries whose parent never came (not readable, say) go last, a
    // shallower one before a deeper one.
    void Finish() {
        std::vector<CSearchResult> orphans;
        for (auto& [parent, result] : m_held)
            orphans.push_back(std::move(result));
        m_held.clear();
        std::stable_sort(orphans.begin(), orphans.end(), [](const CSearchResult& a, const CSearchResult& b) {
            return a.strDN.GetLength() < b.strDN.GetLength();
        });
        for (CSearchResult& result : orphans)
            Write(result, DnCompareKey(result.strDN.View()));
    }
    int Written() const { return m_nWritten; }
    int Skipped() const { return m_nSkipped; }

private:
    void Write(const CSearchResult& result, const std::string& key) {
        std::string text;
        m_nSkipped += AppendRecordText(text, result.strDN, result.attributes, "\r\n");
        m_file.Write(text);
        ++m_nWritten;
        m_written.insert(std::hash<std::string>()(key));
        // Its children that came early follow it now, and theirs after them.
        auto [first, last] = m_held.equal_range(key);
        std::vector<CSearchResult> children;
        for (auto it = first; it != last; ++it)
            children.push_back(std::move(it->second));
        m_held.erase(first, last);
        for (CSearchResult& child : children)
            Write(child, DnCompareKey(child.strDN.View()));
    }

    std::string m_strBaseKey;
    CFileSink& m_file;
    std::unordered_set<std::size_t> m_written;
    std::unordered_multimap<std::string, CSearchResult> m_held;
    int m_nWritten = 0;
    int m_nSkipped = 0;
};

} // namespace

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
    CDataSource* pSource = m_pDocument->GetDataSource();
    if (!pSource)
        return FALSE;
    CSearchQuery query;
    query.strBase = pEntry->GetDN();
    query.nScope = SEARCH_SCOPE_SUBTREE;
    query.strFilter = "(objectClass=*)";
    CSubtreeReceiver receiver;
    QPointer<CView> pPane(m_pTreePane);
    m_nWritten = 0;
    m_nSkipped = 0;
    m_nTotal = 0;
    m_started.start();
    m_bStopAtStart = CEntryNode::IsStopRequested() != FALSE;
    m_bCancelled = FALSE;
    Status("Saving the subtree of " + pEntry->GetDN());
    const CResult written = WriteFileReplacing(m_strPath, [&](CFileSink& file) {
        CParentsFirst out(query.strBase, file);
        file.Write("version: 1\r\n\r\n");
        if (!pSource->Search(query, &receiver)) {
            file.Abandon(receiver.m_outcome.strMessage);
            return;
        }
        bool bStopSent = false;
        for (;;) {
            std::vector<CSearchResult> batch;
            batch.swap(receiver.m_pending);
            for (CSearchResult& result : batch) {
                // The empty base of a server is no entry any tool could import.
                if (!result.strDN.IsEmpty())
                    out.Add(std::move(result));
            }
            m_nWritten = out.Written();
            // A Cancel pressed as the last entries came still counts.
            if (UpdateProgress() && !bStopSent) {
                pSource->StopSearch();
                bStopSent = true;
            }
            if (receiver.m_bDone)
                break;
            QCoreApplication::processEvents(
                m_pProgress ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 20);
            CMessageDispatcher::Instance().WaitDispatching([&] { return receiver.m_bDone; }, 20);
            // A window closed meanwhile took the source along.
            if (!pPane || m_pDocument->GetDataSource() != pSource) {
                file.Abandon("The session was closed.");
                return;
            }
        }
        const CSearchOutcome& outcome = receiver.m_outcome;
        if (outcome.bStopped || m_bCancelled) {
            m_bCancelled = TRUE;
            file.Abandon(CString());
            return;
        }
        // A backup that holds only part of the subtree is no backup.
        if (outcome.bFailed || LimitOfResult(outcome.nResultCode)) {
            file.Abandon("The source sent only part of the subtree: " + DescribeSearchOutcome(outcome));
            return;
        }
        out.Finish();
        m_nWritten = out.Written();
        m_nSkipped = out.Skipped();
    });
    m_pProgress.reset();
    if (!written) {
        if (m_bCancelled) {
            Status(kCancelledText + m_strPath);
        } else {
            AfxMessageBox("The subtree was not saved; this file was left as it was: " + m_strPath + "\n" +
                              written.Reason(),
                          MB_OK | MB_ICONSTOP);
            Status(CString());
        }
        return FALSE;
    }
    ShowSaved(false);
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
