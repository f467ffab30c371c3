#include "ldif/LdifWriter.h"

#include "model/EntryNode.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CString FormatEntry(const CEntryNode* pEntry) {
    std::string text;
    text.reserve(64);
    text += "dn: ";
    text += pEntry->m_strDN.Str();
    text += '\n';
    for (const CAttribute* pAttribute : pEntry->m_attributes) {
        for (const CString& value : *pAttribute) {
            text += pAttribute->m_strName.Str();
            text += ": ";
            text += value.Str();
            text += '\n';
        }
    }
    text += '\n';
    return CString(std::move(text));
}

std::string ToFileLineEnds(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

namespace {

bool WriteAll(int fd, const std::string& contents) {
    const char* p = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// The file a path names, following symbolic links; the path itself when it
// does not exist yet (or a dangling link's target).
std::string ResolveTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target;
        char buf[PATH_MAX];
        ssize_t n = ::readlink(target.c_str(), buf, sizeof buf - 1);
        if (n < 0)
            return target;
        std::string link(buf, static_cast<size_t>(n));
        if (!link.empty() && link[0] == '/') {
            target = link;
        } else {
            size_t slash = target.rfind('/');
            target = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
        }
    }
    return target;
}

bool WriteInPlace(const std::string& target, const std::string& contents) {
    int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, contents) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    return ok;
}

} // namespace

BOOL WriteFileReplacing(const CString& path, const std::string& contents) {
    if (path.IsEmpty())
        return FALSE;
    const std::string target = ResolveTarget(path.Str());
    struct stat st;
    const bool bExists = ::stat(target.c_str(), &st) == 0;
    if (bExists && !S_ISREG(st.st_mode))
        return FALSE; // a folder or a device is never replaced

    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    std::string tmpl = (slash == std::string::npos ? std::string() : folder) + ".tarvo-XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        // No room for a temporary file beside it (a read-only folder): write
        // in place, but only over a file we may write.
        if (bExists && ::access(target.c_str(), W_OK) == 0)
            return WriteInPlace(target, contents) ? TRUE : FALSE;
        return FALSE;
    }
    mode_t mode = bExists ? (st.st_mode & 07777) : (0666 & ~[] {
        mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }());
    bool ok = WriteAll(fd, contents) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(tmpl.c_str(), target.c_str()) == 0)
        return TRUE;
    ::unlink(tmpl.c_str());
    return FALSE;
}
