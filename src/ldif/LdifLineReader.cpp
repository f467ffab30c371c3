#include "ldif/LdifLineReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kReadChunk = size_t{256} * 1024;

std::string_view WithoutBreak(std::string_view line, std::string_view& lineBreak) {
    lineBreak = "\n";
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
        lineBreak = "\r\n";
    }
    return line;
}

} // namespace

CLdifLineReader::~CLdifLineReader() {
    Close();
}

bool CLdifLineReader::Open(const char* pszPath) {
    Close();
    m_bEof = m_bFailed = false;
    m_nPos = m_nEnd = 0;
    m_carry.clear();
    // Non-blocking so that opening a pipe cannot hang; refused below anyway.
    m_fd = ::open(pszPath, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (m_fd < 0)
        return false;
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return false;
    }
    int flags = ::fcntl(m_fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK);
    m_nFileSize = static_cast<long long>(st.st_size);
    // A small file needs no large buffer.
    const size_t nWanted = static_cast<size_t>(st.st_size) + 1;
    m_buffer.resize(nWanted < 4096 ? 4096 : (nWanted > kReadChunk ? kReadChunk : nWanted));
    return true;
}

void CLdifLineReader::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool CLdifLineReader::Fill() {
    if (m_bEof || m_bFailed || m_fd < 0)
        return false;
    for (;;) {
        ssize_t n = ::read(m_fd, m_buffer.data(), m_buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_bFailed = true;
            return false;
        }
        if (n == 0) {
            m_bEof = true;
            return false;
        }
        m_nPos = 0;
        m_nEnd = static_cast<size_t>(n);
        return true;
    }
}

bool CLdifLineReader::NextLine(std::string_view& line) {
    m_carry.clear();
    bool bCarrying = false;
    for (;;) {
        if (m_nPos < m_nEnd) {
            const char* pStart = m_buffer.data() + m_nPos;
            const void* pLf = std::memchr(pStart, '\n', m_nEnd - m_nPos);
            if (pLf) {
                size_t nLen = static_cast<const char*>(pLf) - pStart;
                m_nPos += nLen + 1;
                if (!bCarrying) {
                    line = WithoutBreak(std::string_view(pStart, nLen), m_lastBreak);
                    return true;
                }
                m_carry.append(pStart, nLen);
                line = WithoutBreak(m_carry, m_lastBreak);
                return true;
            }
            m_carry.append(pStart, m_nEnd - m_nPos);
            bCarrying = true;
            m_nPos = m_nEnd;
        }
        if (!Fill()) {
            if (m_bFailed)
                return false;
            // End of file: a last line without a break still counts. A CR
            // there is no break (there is no LF after it), so it stays.
            if (bCarrying) {
                line = m_carry;
                m_lastBreak = std::string_view();
                return true;
            }
            return false;
        }
    }
}
