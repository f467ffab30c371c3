#include "ui/ClipboardPaste.h"

#include "model/DnHelper.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Services.h"
#include "session/TarvoDoc.h"
#include "session/View.h"
#include "source/DataSource.h"
#include "ui/LdifExport.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPointer>
#include <QProgressDialog>

const char* const CClipboardPaste::kLdifMimeType = "text/x-ldif";
const char* const CClipboardPaste::kNothingText = "The clipboard holds no text to paste.";
const char* const CClipboardPaste::kUnreadableText = "The clipboard text cannot be pasted as LDIF entries.\n";
const char* const CClipboardPaste::kExistsQuestion =
    "This entry exists already:\n%s\n\nSkip it, or replace its "
    "attributes with the pasted ones?";

CClipboardPaste::CClipboardPaste(CTarvoDoc* pDocument, CView* pTreePane)
    : m_pDocument(pDocument), m_pTreePane(pTreePane) {}

CClipboardPaste::~CClipboardPaste() {
    DestroyWindowHandle();
}

QByteArray CClipboardPaste::ClipboardLdif() {
    const QMimeData* pData = QApplication::clipboard()->mimeData();
    if (!pData)
        return QByteArray();
    if (pData->hasFormat(kLdifMimeType))
        return pData->data(kLdifMimeType);
    return pData->text().toUtf8();
}

BOOL CClipboardPaste::Run(CEntryNode* pTarget) {
    return RunText(ClipboardLdif(), pTarget);
}

BOOL CClipboardPaste::RunText(const QByteArray& text, CEntryNode* pTarget) {
    CDataSource* pSource = m_pDocument->GetDataSource();
    if (!pSource || !pTarget)
        return FALSE;
    if (text.trimmed().isEmpty()) {
        AfxMessageBox(kNothingText, MB_OK | MB_ICONINFORMATION);
        return FALSE;
    }
    // The synthetic top of a file and a server's empty base keep the DNs.
    const CString targetDN = pTarget->IsRoot() ? CString() : pTarget->GetDN();
    if (CResult prepared = m_paste.Prepare(std::string_view(text.constData(), text.size()), targetDN);
        !prepared) {
        AfxMessageBox(kUnreadableText + prepared.Reason(), MB_OK | MB_ICONSTOP);
        return FALSE;
    }
    m_nTotal = m_paste.GetCount();
    m_nDone = 0;
    m_started.start();
    const bool bStopAtStart = CEntryNode::IsStopRequested() != FALSE;
    m_pDocument->SetStatusText("Pasting below " + targetDN, 1);
    auto pDone = std::make_shared<std::atomic<bool>>(false);
    // The worker (or the call itself, for a source that works inside its
    // calls) runs the paste; this window answers its questions.
    if (!pSource->RunEntryWriter([this](IEntryWriter& writer) { m_paste.Run(writer, *this); },
                                 [pDone] { *pDone = true; })) {
        AfxMessageBox("Entries cannot be pasted into this source.", MB_OK | MB_ICONSTOP);
        return FALSE;
    }
    QPointer<CView> pPane(m_pTreePane);
    while (!*pDone) {
        QCoreApplication::processEvents(
            m_pProgress ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 20);
        CMessageDispatcher::Instance().WaitDispatching([&] { return pDone->load(); }, 20);
        Progress(m_nDone, m_nTotal);
        if ((m_pProgress && m_pProgress->wasCanceled()) || (!bStopAtStart && CEntryNode::IsStopRequested()))
            m_paste.RequestStop();
    }
    m_pProgress.reset();
    if (!pPane || m_pDocument->GetDataSource() != pSource)
        return TRUE;
    ShowReport(targetDN);
    return TRUE;
}

EPasteAnswer CClipboardPaste::AskExisting(const CString& dn) {
    int nAnswer = IDCANCEL;
    CString question;
    question.Format(kExistsQuestion, DnForDisplay(dn).GetString());
    // The box belongs to the UI thread; a worker waits for the answer.
    SendToWindow(m_hWnd, [&](CWnd&) {
        nAnswer = AfxMessageBox(question, MB_SKIPREPLACE | MB_ICONQUESTION);
        return 0;
    });
    switch (nAnswer) {
    case IDREPLACE:
        return EPasteAnswer::Replace;
    case IDSKIPALL:
        return EPasteAnswer::SkipAll;
    case IDCANCEL:
        return EPasteAnswer::Cancel;
    default:
        return EPasteAnswer::Skip;
    }
}

void CClipboardPaste::Progress(int nDone, int nTotal) {
    m_nDone = nDone;
    // Only the UI thread's own calls show it; the worker's just count.
    if (!CMessageDispatcher::Instance().IsUIThread())
        return;
    if (!m_pProgress && m_started.elapsed() >= kProgressDelayMs) {
        m_pProgress =
            ShowModalProgress(QStringLiteral("Pasting entries"), QStringLiteral("Stop"), nTotal, m_pTreePane);
    }
    if (m_pProgress) {
        m_pProgress->setValue(nDone);
        m_pProgress->setLabelText(QString("Pasting entries: %1 of %2").arg(nDone).arg(nTotal));
        // A source that works inside the call is between two entries here.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (m_pProgress->wasCanceled())
            m_paste.RequestStop();
    }
}

void CClipboardPaste::ShowReport(const CString& targetDN) {
    const CPasteReport& report = m_paste.Report();
    CString text = "Paste below " + DnForDisplay(targetDN) + ": " + PasteSummary(report);
    m_pDocument->SetStatusText(text, 1);
    // The first failures with the server's words; the count says the rest.
    constexpr size_t kListed = 20;
    for (size_t i = 0; i < report.failures.size() && i < kListed; ++i)
        text += "\n" + DnForDisplay(report.failures[i].strDN) + ": " + report.failures[i].strMessage;
    if (report.failures.size() > kListed) {
        CString more;
        more.Format("\n... and %d more", static_cast<int>(report.failures.size() - kListed));
        text += more;
    }
    AfxMessageBox(text, MB_OK | (report.nFailed > 0 ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
}
