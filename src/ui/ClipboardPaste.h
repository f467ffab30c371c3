#pragma once
// Paste: the LDIF text on the clipboard (copied here or in any other
// program) added below an entry of this window's source, with a question
// for each entry that exists, progress and Stop, and a report at the end.

#include "ldif/LdifPaste.h"
#include "platform/String.h"
#include "platform/Window.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <memory>

class CEntryNode;
class CTarvoDoc;
class CView;
class QProgressDialog;

class CClipboardPaste : public CWnd, public IPasteHost {
public:
    CClipboardPaste(CTarvoDoc* pDocument, CView* pTreePane);
    ~CClipboardPaste() override;
    CClipboardPaste(const CClipboardPaste&) = delete;
    CClipboardPaste& operator=(const CClipboardPaste&) = delete;

    // The clipboard's LDIF below pTarget; TRUE when anything was sent. The
    // pane refreshes the target afterwards.
    BOOL Run(CEntryNode* pTarget);
    // The same for given text (what the clipboard held).
    BOOL RunText(const QByteArray& text, CEntryNode* pTarget);
    const CPasteReport& Report() const { return m_paste.Report(); }

    // IPasteHost: on the thread the source runs the paste on.
    EPasteAnswer AskExisting(const CString& dn) override;
    void Progress(int nDone, int nTotal) override;

    // The LDIF the clipboard holds: its LDIF type, else its plain text.
    static QByteArray ClipboardLdif();
    // The MIME type LDIF travels under.
    static const char* const kLdifMimeType;
    // Shown once a paste has taken this long (milliseconds).
    static constexpr int kProgressDelayMs = 1000;
    static const char* const kNothingText;
    static const char* const kUnreadableText;
    static const char* const kExistsQuestion;

private:
    // Waits for the paste's worker, keeping the window painted and the
    // progress shown; FALSE when the session went away meanwhile.
    bool WaitForEnd(const std::atomic<bool>& bDone);
    void ShowReport(const CString& targetDN);

    CTarvoDoc* m_pDocument;
    CView* m_pTreePane;
    CLdifPaste m_paste;
    std::atomic<int> m_nDone{0};
    int m_nTotal = 0;
    std::unique_ptr<QProgressDialog> m_pProgress;
    QElapsedTimer m_started;
};
