#pragma once
// A data source that does nothing and says it did so: the base of the
// tests' own sources, which override only what they exercise.

#include "source/DataSource.h"

class CStubSource : public CDataSource {
public:
    BOOL Open(CConnectionParams&) override { return TRUE; }
    BOOL Expand(CEntryNode*, CWnd*, HTREEITEM) override { return TRUE; }
    BOOL AddEntry(CEntryNode*, CEntryNode*, HTREEITEM, CWnd*) override { return TRUE; }
    BOOL DeleteEntry(CEntryNode*, CWnd*) override { return TRUE; }
    BOOL ModifyEntry(CEntryNode*, CString, CString, CString, CString, CWnd*, BOOL) override { return TRUE; }
    BOOL AddAttributes(CEntryNode*, CAttributeArray*, CWnd*) override { return TRUE; }
    BOOL DeleteAttributes(CEntryNode*, CAttributeArray*, CDWordArray*, CWnd*) override { return TRUE; }
    BOOL ModifyAttribute(CEntryNode*, CAttribute*, int, CWnd*) override { return TRUE; }
    std::uintptr_t ReadAttributes(CEntryNode*, CAttributeArray*, CWnd*, BOOL) override { return 0; }
    BOOL Stop() override { return TRUE; }
    BOOL Close() override { return TRUE; }
    BOOL Refresh(CEntryNode*, CWnd*, HTREEITEM) override { return TRUE; }
};
