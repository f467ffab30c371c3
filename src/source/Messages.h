#pragma once
// Notifications by which the sources report to the panes. All are sent
// synchronously; no sender uses the value a handler returns.

#include "platform/Types.h"

constexpr UINT WM_SEARCH_DONE = WM_USER + 1; // wParam: count, -1 failed, -100 stopped; lParam: HTREEITEM
constexpr UINT WM_ENTRY_ADDED = WM_USER + 4; // wParam: CEntryNode* or 0; lParam: HTREEITEM* of the parent
constexpr UINT WM_ENTRY_FOUND = WM_USER + 5; // wParam: CEntryNode*; lParam: HTREEITEM* of the parent
constexpr UINT WM_REMOVE_PLACEHOLDER = WM_USER + 6; // wParam: HTREEITEM being expanded
constexpr UINT WM_LOADING_ENTRIES = WM_USER + 7;    // wParam: HTREEITEM* being expanded
constexpr UINT WM_ENTRIES_FOUND = WM_USER + 8; // wParam: CPtrList* of CEntryNode*; lParam: HTREEITEM parent
constexpr UINT WM_CLEAR_ATTRIBUTES = WM_USER + 9;
constexpr UINT WM_SHOW_ATTRIBUTES = WM_USER + 10;    // wParam: CAttributeArray*
constexpr UINT WM_ENTRY_MODIFIED = WM_USER + 12;     // wParam: CModifyEntryRequest*
constexpr UINT WM_ATTRIBUTE_ADDED = WM_USER + 13;    // wParam: CAddAttributesRequest*
constexpr UINT WM_ATTRIBUTE_DELETED = WM_USER + 14;  // wParam: CDeleteAttributesRequest*
constexpr UINT WM_ATTRIBUTE_MODIFIED = WM_USER + 15; // wParam: CModifyAttributeRequest*
constexpr UINT WM_ENTRY_DELETED = WM_USER + 16;      // wParam: CDeleteEntryRequest*
constexpr UINT WM_ENTRY_REFRESHED = WM_USER + 17;    // wParam: CEntryNode* being refreshed
// Sent just before WM_SEARCH_DONE when the server cut the level short.
constexpr UINT WM_LEVEL_LIMITED = WM_USER + 20; // wParam: result code 3, 4 or 11; lParam: HTREEITEM

// Values carried in WM_SEARCH_DONE's wParam besides a count.
constexpr int SEARCH_FAILED = -1;
constexpr int SEARCH_STOPPED = -100;
