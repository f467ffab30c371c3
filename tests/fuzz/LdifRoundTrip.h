#pragma once
// One read -> write -> read round trip of an LDIF file through the source:
// the second reading must give the same entries (DNs, names, values, in
// order) and the same other lines, and writing it again the same bytes.
// Input: the first byte gives the length (mod 48) of the search base that
// follows it; the rest is the file.

#include <cstddef>
#include <cstdint>
#include <string>

// Empty when the round trip held; otherwise what differed.
std::string CheckLdifRoundTrip(const std::uint8_t* pData, std::size_t nSize);
