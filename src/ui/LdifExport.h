#pragma once
// Save to LDIF: writes an entry and the entries below it into the file the
// settings name, in the written LDIF form, choosing entries by the save
// option: the whole subtree read from the source, or what the tree holds.

#include "platform/String.h"
#include "platform/Types.h"

#include <QElapsedTimer>

#include <memory>
#include <string>
#include <vector>

class CEntryNode;
class CTarvoDoc;
class CView;
class QProgressDialog;
class QString;
class QWidget;
struct CSearchQuery;

class CLdifExport {
public:
    CLdifExport(CTarvoDoc* pDocument, CView* pTreePane);
    ~CLdifExport();
    CLdifExport(const CLdifExport&) = delete;
    CLdifExport& operator=(const CLdifExport&) = delete;

    // TRUE when the file was written. Reports its own failures.
    BOOL Run(CEntryNode* pEntry);
    // The entry, or with bSubtree everything below it too, read from the
    // source and put on the clipboard as LDIF.
    BOOL Copy(CEntryNode* pEntry, bool bSubtree);
    // Export Subtree: the entries below pEntry that match the filter, into
    // the file path or, when it is empty, onto the clipboard.
    BOOL Export(CEntryNode* pEntry, const CString& filter, const CString& path);
    int GetWrittenCount() const { return m_nWritten; }
    // Attributes left out for names that are no attribute descriptions.
    int GetSkippedCount() const { return m_nSkipped; }
    CString GetPath() const { return m_strPath; }

    // Shown once a save has taken this long (milliseconds).
    static constexpr int kProgressDelayMs = 500;
    // The status text after Cancel or Stop ended a save (the path follows).
    static const char* const kCancelledText;
    // What the status adds when only loaded entries were written.
    static const char* const kLoadedOnlyText;
    // The status after a copy: "12 entries copied to the clipboard as LDIF".
    static const char* const kCopiedText;
    // The status text after Stop ended a copy.
    static const char* const kCopyStoppedText;

private:
    // The whole subtree, searched on the source and streamed to the file.
    BOOL RunWholeSubtree(CEntryNode* pEntry);
    // The query's entries, parents first, into the file at m_strPath or
    // (pClipboard) into that text; progress and Stop as for a save.
    BOOL RunQuery(const CSearchQuery& query, std::string* pClipboard);
    // Into the file at path, or onto the clipboard when path is empty.
    BOOL ExportQuery(const CSearchQuery& query, const CString& path);
    // The status after a save: how many entries went where, what was left out.
    void ShowSaved(bool bLoadedOnly);
    // Reads a missing attribute set and waits for it, keeping the window
    // painted. FALSE when the pane or the source went away meanwhile, or
    // the user cancelled or stopped the save.
    BOOL ReadMissingAttributes(CEntryNode* pEntry);
    void Status(const CString& text);
    // Shows the progress window once the save is slow; TRUE when Cancel
    // or Stop asked to end it.
    BOOL UpdateProgress();

    CTarvoDoc* m_pDocument;
    CView* m_pTreePane;
    int m_nWritten = 0;
    int m_nSkipped = 0;
    CString m_strPath;
    // Entries to go through, the progress window (once shown) and whether
    // the user ended the save.
    int m_nTotal = 0;
    std::unique_ptr<QProgressDialog> m_pProgress;
    QElapsedTimer m_started;
    bool m_bStopAtStart = false;
    BOOL m_bCancelled = FALSE;
};

// What the status says when attributes were left out of LDIF for their
// names ("3 attributes with invalid names were skipped").
CString SkippedNamesText(int nSkipped);

// Depth first from pEntry over the children lists as they stand.
std::vector<CEntryNode*> CollectSubtree(CEntryNode* pEntry);

// The progress window of a long save, copy or paste, window-modal.
std::unique_ptr<QProgressDialog> ShowModalProgress(const QString& label, const QString& button, int nMaximum,
                                                   QWidget* pParent);
