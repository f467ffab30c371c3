#pragma once
// The pieces of LDIF text as the directory tools read and write it: value
// lines in their plain, base-64 and URL forms, folded lines, comments, and
// which values may be written as they are.

#include <functional>
#include <string>
#include <string_view>

// How the value of a line was written.
enum class ELdifValueForm { Plain, Base64, Url };

std::string Base64Encode(std::string_view bytes);
// False for text that is not base 64; out is then undefined.
bool Base64Decode(std::string_view text, std::string& out);

// Whether a value can be written after "name: " and read back unchanged:
// no leading blank, colon or '<', no trailing blank, no control byte, and
// bytes above 0x7F only as valid UTF-8.
bool IsSafeLdifValue(std::string_view value);

// The split of one logical line: the name is everything before the first
// colon as written; the value everything after it without the white space
// in front (blanks at its end belong to it). A line without a colon has an
// empty name and the whole line, trimmed, as its value.
void SplitLdifLine(std::string_view line, std::string_view& name, std::string_view& value);

// The value a logical line carries, decoded: "name:: data" is base 64 (text
// that is no base 64 is kept as it was written, colon included); "name:<
// url" is kept as written. Returns the form.
ELdifValueForm DecodeLdifValue(std::string_view line, std::string_view& name, std::string& value);

// What a logical line is to a record.
enum class ELdifLineKind { Blank, Comment, Stray, Dn, Attribute };
// A line that begins with a blank here could not be joined to a line above.
ELdifLineKind ClassifyLdifLine(std::string_view line);

// "name: value" or, for a value that is not safe, "name:: base64", then eol.
void AppendLdifValueLine(std::string& out, std::string_view name, std::string_view value,
                         std::string_view eol);
// The URL form "name:< url" of a value read that way ("< url").
void AppendLdifUrlLine(std::string& out, std::string_view name, std::string_view value, std::string_view eol);

// The first line break of a text: CR LF, LF, or CR LF when it has none.
std::string_view FirstLineBreak(std::string_view text);

// Calls visit with each logical line of text (folded lines joined, line
// breaks removed) and where its bytes start and end in text, breaks
// included. A line that begins with one blank continues the line above
// unless that line is empty or there is none.
using CLdifLineVisitor = std::function<void(std::string_view line, size_t nStart, size_t nEnd)>;
void ForEachLdifLine(std::string_view text, const CLdifLineVisitor& visit);
