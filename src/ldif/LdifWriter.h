#pragma once
// The written form of an LDIF record, and a file write that never destroys
// the file it replaces.

#include "platform/String.h"
#include "platform/Types.h"

#include <string>

class CEntryNode;

// "dn: <DN>\n", one "<name>: <value>\n" per value, then "\n". Bytes as held;
// no line is folded.
CString FormatEntry(const CEntryNode* pEntry);

// Turns every "\n" into "\r\n", as the text files are written.
std::string ToFileLineEnds(const std::string& text);

// Writes contents to path through a temporary file in the same folder,
// flushed and renamed over the original (its permission bits kept; a
// symbolic link's target is replaced, not the link). When no temporary file
// can be made beside a writable file, the file is written in place. FALSE
// when nothing could be written; the original is then untouched.
BOOL WriteFileReplacing(const CString& path, const std::string& contents);
