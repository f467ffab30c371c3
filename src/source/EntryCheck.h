#pragma once
// What the schema says about a new entry before it is sent: every required
// attribute present, one value for a single-valued attribute, nothing
// outside the classes' attributes (unless extensibleObject), values that fit
// their syntax. Each finding names its field and row, so the user can find it.

#include "model/Attribute.h"
#include "source/Schema.h"

#include <vector>

struct CEntryRow {
    CString m_strName;
    CString m_strValue; // empty: a required row still to be filled in
};

// The findings in row order, then the required attributes missing; empty
// when the entry may be sent. Rows count from 1, as the dialog shows them.
// With pExisting the rows are values added to an entry that holds these
// attributes: its classes and values count, and nothing is required.
std::vector<CString> CheckEntryRows(const CSchema& schema, const std::vector<CEntryRow>& rows,
                                    const CAttributeArray* pExisting = nullptr);

// Attribute names to offer as the user types: those the classes allow
// (MUST first), then with bAll every other type a user may set.
std::vector<CString> CompletionNames(const CSchema& schema, const std::vector<CString>& classes, bool bAll);

// Why a value may not be added to an attribute that already holds
// nExisting values: the attribute is single-valued or set by the server
// only, or the value does not fit its syntax. Empty when it may.
CString CheckNewValue(const CSchema& schema, const CString& name, const CString& value, int nExisting);
