#pragma once
// Streams a file's lines without holding the whole file: a line ends at LF,
// and a CR right before that LF belongs to the break. A CR anywhere else is
// part of the line. The last line needs no break.

#include <string>
#include <string_view>

class CLdifLineReader {
public:
    CLdifLineReader() = default;
    ~CLdifLineReader();
    CLdifLineReader(const CLdifLineReader&) = delete;
    CLdifLineReader& operator=(const CLdifLineReader&) = delete;

    // Opens a regular file for reading; FALSE for a missing or unreadable
    // path and for anything that is not a regular file (a folder, a pipe).
    bool Open(const char* pszPath);
    // The next line, valid until the following call; false at the end of
    // the file or after a read error (see Failed).
    bool NextLine(std::string_view& line);
    bool Failed() const { return m_bFailed; }
    // The break that ended the line last returned: "\r\n", "\n", or empty
    // for a last line without one.
    std::string_view LastBreak() const { return m_lastBreak; }
    // The size the file had when it was opened.
    long long FileSize() const { return m_nFileSize; }
    void Close();

private:
    bool Fill();

    int m_fd = -1;
    long long m_nFileSize = 0;
    bool m_bEof = false;
    bool m_bFailed = false;
    std::string m_buffer;
    size_t m_nPos = 0;
    size_t m_nEnd = 0;
    // A line that runs over the end of the buffer is gathered here.
    std::string m_carry;
    std::string_view m_lastBreak;
};
