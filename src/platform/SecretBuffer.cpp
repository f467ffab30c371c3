#include "platform/SecretBuffer.h"

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

void WipeString(CString& text) {
    std::string& bytes = text.Str();
    if (!bytes.empty())
        ::explicit_bzero(bytes.data(), bytes.size());
    bytes.clear();
}

CSecretBuffer::~CSecretBuffer() {
    Release();
}

void CSecretBuffer::Assign(std::string_view text) {
    Wipe();
    if (text.empty())
        return;
    if (text.size() > m_nCapacity) {
        Release();
        const auto nPage = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        const size_t nSize = (text.size() + nPage) / nPage * nPage;
        // Pages of its own: nothing else shares them, so excluding them from
        // dumps and locking them hides nothing else and leaks nothing else.
        void* p = ::mmap(nullptr, nSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return;
        m_pData = static_cast<char*>(p);
        m_nCapacity = nSize;
        m_bExcluded = ::madvise(p, nSize, MADV_DONTDUMP) == 0;
        // Kept out of swap where the limit allows it; without, it still works.
        (void)::mlock(p, nSize);
    }
    std::memcpy(m_pData, text.data(), text.size());
    m_nLength = text.size();
}

void CSecretBuffer::Wipe() {
    if (m_pData)
        ::explicit_bzero(m_pData, m_nCapacity);
    m_nLength = 0;
}

void CSecretBuffer::Release() {
    if (!m_pData)
        return;
    Wipe();
    ::munlock(m_pData, m_nCapacity);
    ::munmap(m_pData, m_nCapacity);
    m_pData = nullptr;
    m_nCapacity = 0;
    m_bExcluded = false;
}
