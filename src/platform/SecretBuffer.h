#pragma once
// A secret (a password) held in memory for a while: on pages of its own,
// left out of core dumps, and overwritten with zeros when it is dropped,
// so that it survives neither in a dump nor in freed memory.

#include "platform/String.h"

#include <cstddef>
#include <string_view>

// Zeros a string's bytes where they lie (explicit_bzero, which the compiler
// may not leave out), then empties it.
void WipeString(CString& text);

class CSecretBuffer {
public:
    CSecretBuffer() = default;
    ~CSecretBuffer();
    CSecretBuffer(const CSecretBuffer&) = delete;
    CSecretBuffer& operator=(const CSecretBuffer&) = delete;

    // Replaces the secret by a copy of text; the old one is wiped first.
    void Assign(std::string_view text);
    // Zeros every byte of the secret; the buffer is then empty.
    void Wipe();

    std::string_view View() const { return {m_pData, m_nLength}; }
    bool IsEmpty() const { return m_nLength == 0; }

    // For the tests: where the bytes live, how much room the pages give and
    // whether the kernel agreed to leave them out of core dumps.
    const char* Data() const { return m_pData; }
    size_t Capacity() const { return m_nCapacity; }
    bool IsExcludedFromDumps() const { return m_bExcluded; }

private:
    void Release();

    char* m_pData = nullptr;
    size_t m_nCapacity = 0;
    size_t m_nLength = 0;
    bool m_bExcluded = false;
};
