#include "ldif/BlockText.h"

#include <algorithm>
#include <new>
#include <zlib.h>

void CBlockText::Append(std::string_view bytes, bool bCompress) {
    if (bytes.empty())
        return;
    CBlock block;
    block.nOffset = m_nSize;
    block.nSize = bytes.size();
    if (bCompress) {
        uLongf nCompressed = compressBound(static_cast<uLong>(bytes.size()));
        block.bytes.resize(nCompressed);
        const int nResult =
            compress2(reinterpret_cast<Bytef*>(block.bytes.data()), &nCompressed,
                      reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()), 1);
        if (nResult == Z_MEM_ERROR)
            throw std::bad_alloc();
        block.bCompressed = nResult == Z_OK && nCompressed < bytes.size();
        if (block.bCompressed) {
            block.bytes.resize(nCompressed);
            block.bytes.shrink_to_fit();
        }
    }
    if (!block.bCompressed)
        block.bytes.assign(bytes);
    m_nSize += bytes.size();
    m_blocks.push_back(std::move(block));
}

void CBlockText::Clear() {
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_nSize = 0;
    m_nCached = static_cast<size_t>(-1);
    m_cache.clear();
    m_cache.shrink_to_fit();
    m_joined.clear();
    m_joined.shrink_to_fit();
}

size_t CBlockText::BlockAt(size_t nOffset) const {
    auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), nOffset,
                               [](size_t n, const CBlock& block) { return n < block.nOffset; });
    return static_cast<size_t>(it - m_blocks.begin()) - 1;
}

std::string_view CBlockText::Expanded(size_t nBlock) const {
    const CBlock& block = m_blocks[nBlock];
    if (!block.bCompressed)
        return block.bytes;
    if (m_nCached != nBlock) {
        m_nCached = static_cast<size_t>(-1);
        m_cache.resize(block.nSize);
        uLongf nSize = static_cast<uLongf>(block.nSize);
        const int nResult = uncompress(reinterpret_cast<Bytef*>(m_cache.data()), &nSize,
                                       reinterpret_cast<const Bytef*>(block.bytes.data()),
                                       static_cast<uLong>(block.bytes.size()));
        // What was compressed here decompresses; only memory can fail.
        if (nResult != Z_OK || nSize != block.nSize)
            throw std::bad_alloc();
        m_nCached = nBlock;
    }
    return m_cache;
}

std::string_view CBlockText::View(size_t nOffset, size_t nLength) const {
    if (nLength == 0 || nOffset >= m_nSize)
        return std::string_view();
    nLength = std::min(nLength, m_nSize - nOffset);
    const size_t nBlock = BlockAt(nOffset);
    const CBlock& block = m_blocks[nBlock];
    if (nOffset + nLength <= block.nOffset + block.nSize)
        return Expanded(nBlock).substr(nOffset - block.nOffset, nLength);
    m_joined.clear();
    ForEachPiece(nOffset, nOffset + nLength, [this](std::string_view piece) { m_joined.append(piece); });
    return m_joined;
}

void CBlockText::ForEachPiece(size_t nFrom, size_t nTo,
                              const std::function<void(std::string_view)>& write) const {
    nTo = std::min(nTo, m_nSize);
    while (nFrom < nTo) {
        const size_t nBlock = BlockAt(nFrom);
        const CBlock& block = m_blocks[nBlock];
        const size_t nEnd = std::min(nTo, block.nOffset + block.nSize);
        write(Expanded(nBlock).substr(nFrom - block.nOffset, nEnd - nFrom));
        nFrom = nEnd;
    }
}
