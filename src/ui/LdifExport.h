#pragma once
// Save to LDIF: writes an entry and the entries below it that are already
// in the tree (nothing is fetched) into the file the settings name, in the
// written LDIF form, choosing entries by the save option.

#include "platform/String.h"
#include "platform/Types.h"

#include <vector>

class CEntryNode;
class CTarvoDoc;
class CView;

class CLdifExport {
public:
    CLdifExport(CTarvoDoc* pDocument, CView* pTreePane);

    // TRUE when the file was written. Reports its own failures.
    BOOL Run(CEntryNode* pEntry);
    int GetWrittenCount() const { return m_nWritten; }
    CString GetPath() const { return m_strPath; }

private:
    // Reads a missing attribute set and waits for it, keeping the window
    // painted. FALSE when the pane or the source went away meanwhile.
    BOOL ReadMissingAttributes(CEntryNode* pEntry);
    void Status(const CString& text);

    CTarvoDoc* m_pDocument;
    CView* m_pTreePane;
    int m_nWritten = 0;
    CString m_strPath;
};

// Depth first from pEntry over the children lists as they stand.
std::vector<CEntryNode*> CollectSubtree(CEntryNode* pEntry);
