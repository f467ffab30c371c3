#pragma once
// The tree pane's insertion of an entry's item, called by a source that
// works inside the call on the UI thread (the LDIF source's Expand).

#include "platform/Types.h"

class CEntryNode;

class IEntryItemInserter {
public:
    virtual ~IEntryItemInserter() = default;
    // Inserts the entry's item with its placeholder child under hParent and
    // returns the new item.
    virtual HTREEITEM InsertEntryItem(CEntryNode* pEntry, HTREEITEM hParent) = 0;
};
