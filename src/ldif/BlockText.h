#pragma once
// The bytes of an LDIF file, kept once and compressed in blocks: what nobody
// changed is written back from here exactly, and a large file costs a
// fraction of its size in memory. A record is read back by decompressing
// the block it stands in (the last block read is kept at hand).

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CBlockText {
public:
    // Appends the next bytes of the text as one block; bCompress: kept
    // compressed (for large files; a small one is kept as it is).
    void Append(std::string_view bytes, bool bCompress);
    void Clear();
    size_t Size() const { return m_nSize; }

    // The bytes from nOffset on, nLength of them; valid until the next call
    // of View.
    std::string_view View(size_t nOffset, size_t nLength) const;
    // Hands the bytes [nFrom, nTo) to write, piece by piece, in order.
    void ForEachPiece(size_t nFrom, size_t nTo, const std::function<void(std::string_view)>& write) const;

private:
    struct CBlock {
        size_t nOffset = 0;
        size_t nSize = 0;
        bool bCompressed = false;
        std::string bytes;
    };
    // The block's bytes as written; the raw ones, or the cache filled.
    std::string_view Expanded(size_t nBlock) const;
    size_t BlockAt(size_t nOffset) const;

    std::vector<CBlock> m_blocks;
    size_t m_nSize = 0;
    mutable size_t m_nCached = static_cast<size_t>(-1);
    mutable std::string m_cache;
    // A view over more than one block is gathered here.
    mutable std::string m_joined;
};
