#pragma once
// The LDIF round trip through the source, for any bytes: what an unchanged
// file would be written as is the file itself; after a marker value was
// added to every record and the file written, reading it again gives the
// same (DN, name, value) triples plus the markers; after the markers were
// taken out again, the triples read; and adding them once more writes the
// same bytes as the first time (a fixed point).
// Input: the first byte gives the length (mod 48) of the search base that
// follows it; the rest is the file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

class CLdifSource;

using CLdifTriple = std::tuple<std::string, std::string, std::string>;
// Every (DN, name, value) of the source's entries, shown or not, sorted.
std::vector<CLdifTriple> LdifTriples(CLdifSource& source);
// Adds the marker value to every entry of the source, or deletes it again,
// so that Close writes each record anew.
void TouchEveryEntry(CLdifSource& source, bool bAdd);

// Empty when the round trip held; otherwise what differed.
std::string CheckLdifRoundTrip(const std::uint8_t* pData, std::size_t nSize);
