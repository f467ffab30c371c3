#pragma once
// The LDAP source's own request records for the operations whose
// notifications carry no record (the others are in Requests.h). A starter
// fills one, the worker reads it; the source keeps it until it is destroyed.

#include "model/Attribute.h"
#include "platform/Collections.h"
#include "platform/Sync.h"
#include "platform/Types.h"
#include "source/Requests.h"

class CLdapSource;
class CEntryNode;

struct CExpandRequest {
    CLdapSource* pSource = nullptr;
    CEntryNode* pEntry = nullptr;
    HTREEITEM hItem;
    HWND hNotify;
    HWND hPane;
    BOOL bAbandoned = FALSE;
    BOOL bWaiting = FALSE;
    // Left empty: the browse filter is then "(objectclass=*)".
    CString strFilter;
    // The worker's lock (Stop's flags, and the fields below).
    CCriticalSection lock;
    // Entries found and not yet sent; a refresh of the entry drops them.
    CPtrList batch;
    // The entry was refreshed: this expansion ends without another word.
    BOOL bRefreshed = FALSE;
    BOOL bFinished = FALSE;
};

struct CReadAttributesRequest {
    CLdapSource* pSource = nullptr;
    CEntryNode* pEntry = nullptr;
    // The entry's own m_attributes.
    CAttributeArray* pTarget = nullptr;
    // NULL when the caller asked for no notification.
    HWND hNotify;
    HWND hPane;
    BOOL bAbandoned = FALSE;
    BOOL bWaiting = FALSE;
};

struct CAddEntryRequest {
    CLdapSource* pSource = nullptr;
    CEntryNode* pNewEntry = nullptr;
    CEntryNode* pParent = nullptr;
    HWND hNotify;
    HTREEITEM hParentItem;
};
