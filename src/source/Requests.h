#pragma once
// The request records that update notifications carry as wParam. The source
// owns each record until the source itself is destroyed; a receiver reads
// only these fields and never frees a record. Both sources fill them.

#include "model/Attribute.h"
#include "platform/Collections.h"
#include "platform/Types.h"

class CDataSource;
class CEntryNode;

struct CModifyEntryRequest {
    CDataSource* pSource = nullptr;
    CEntryNode* pEntry = nullptr;
    HWND hNotify;
    CString strNewRDN;
    CString strOldRDN;
    BOOL bSucceeded = FALSE;
    CString strNewDN;
    CString strOldItemText;
    BOOL bAbandoned = FALSE;
    // The old name's value leaves the entry (the server's deleteoldrdn).
    BOOL bDeleteOldRdn = TRUE;
};

struct CDeleteEntryRequest {
    CDataSource* pSource = nullptr;
    // Set to NULL by the receiver once it has disposed of the node.
    CEntryNode* pEntry = nullptr;
    HWND hNotify;
    BOOL bSucceeded = FALSE;
    BOOL bAbandoned = FALSE;
};

struct CAddAttributesRequest {
    CDataSource* pSource = nullptr;
    CEntryNode* pEntry = nullptr;
    HWND hNotify;
    // The source's own copies; the attribute pane deletes them when it
    // handles the notification.
    CAttributeArray attributes;
    BOOL bSucceeded = FALSE;
};

struct CDeleteAttributesRequest {
    CDataSource* pSource = nullptr;
    CEntryNode* pEntry = nullptr;
    HWND hNotify;
    // The source's own copies, deleted by the attribute pane.
    CAttributeArray attributes;
    BOOL bSucceeded = FALSE;
    CDWordArray rowIndices;
    BOOL bAbandoned = FALSE;
};

struct CModifyAttributeRequest {
    CDataSource* pSource = nullptr;
    CEntryNode* pEntry = nullptr;
    HWND hNotify;
    // Its name is the attribute's; the first value is the new value.
    CAttribute attribute;
    BOOL bSucceeded = FALSE;
    int nRowIndex = 0;
    BOOL bAbandoned = FALSE;
};

// A move of an entry with everything below it to another parent.
struct CMoveEntryRequest {
    CDataSource* pSource = nullptr;
    CEntryNode* pEntry = nullptr;
    CEntryNode* pNewParent = nullptr;
    HWND hNotify;
    CString strOldDN;
    CString strNewDN;
    BOOL bSucceeded = FALSE;
    // Entry by entry (copy under the new parent, then delete the old ones)
    // rather than one request the server carries out.
    BOOL bCopyDelete = FALSE;
    // The server would not move the subtree in one request: its result
    // code and text, for an offer to copy and delete instead.
    int nSubtreeRefusal = 0;
    CString strRefusalText;
    // On success: the node now hangs below pNewParent (whose level was
    // loaded); otherwise it was unlinked and handed back to the source.
    BOOL bLinked = FALSE;
    // Entry by entry: what was done, and whether it stopped part way.
    int nEntries = 0;
    int nAdded = 0;
    int nDeleted = 0;
    BOOL bPartial = FALSE;
    BOOL bAbandoned = FALSE;
};
