#include "ldif/LdifWriter.h"

#include "ldif/LdifSyntax.h"
#include "model/EntryNode.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::mutex g_storesMutex;
std::vector<const IAttributeStore*> g_stores;

} // namespace

void RegisterAttributeStore(const IAttributeStore* pStore) {
    std::lock_guard lock(g_storesMutex);
    g_stores.push_back(pStore);
}

void UnregisterAttributeStore(const IAttributeStore* pStore) {
    std::lock_guard lock(g_storesMutex);
    std::erase(g_stores, pStore);
}

namespace {

const CAttribute& AttributeOf(const CAttribute& attribute) {
    return attribute;
}
const CAttribute& AttributeOf(const CAttribute* pAttribute) {
    return *pAttribute;
}

// A name that is no attribute description (a broken or hostile server's)
// could carry lines of its own into the file: it is left out and counted.
template <class TAttributes>
int AppendAttributeLines(std::string& out, const TAttributes& attributes, std::string_view eol) {
    int nSkipped = 0;
    for (const auto& element : attributes) {
        const CAttribute& attribute = AttributeOf(element);
        if (!IsAttributeDescription(attribute.m_strName.View())) {
            ++nSkipped;
            continue;
        }
        for (const CString& value : attribute)
            AppendLdifValueLine(out, attribute.m_strName.View(), value.View(), eol);
    }
    return nSkipped;
}

} // namespace

int AppendEntryText(std::string& out, const CEntryNode* pEntry, std::string_view eol) {
    AppendLdifValueLine(out, "dn", pEntry->m_strDN.View(), eol);
    int nSkipped = 0;
    {
        std::lock_guard lock(g_storesMutex);
        for (const IAttributeStore* pStore : g_stores) {
            if (pStore->AppendAttributeLines(pEntry, out, eol, nSkipped)) {
                out += eol;
                return nSkipped;
            }
        }
    }
    nSkipped += AppendAttributeLines(out, pEntry->m_attributes, eol);
    out += eol;
    return nSkipped;
}

int AppendRecordText(std::string& out, const CString& dn, const std::vector<CAttribute>& attributes,
                     std::string_view eol) {
    AppendLdifValueLine(out, "dn", dn.View(), eol);
    const int nSkipped = AppendAttributeLines(out, attributes, eol);
    out += eol;
    return nSkipped;
}

CString FormatEntry(const CEntryNode* pEntry) {
    std::string text;
    text.reserve(64);
    AppendEntryText(text, pEntry, "\n");
    return CString(std::move(text));
}

namespace {

constexpr size_t kSinkBuffer = 1 << 20;

bool WriteAll(int fd, const char* p, size_t left) {
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
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

// An abandoned write fails with the producer's reason, which errno lacks.
bool ProduceInto(int fd, const CContentsWriter& writeContents, CString& abandonReason, bool& bAbandoned) {
    CFileSink sink(fd);
    writeContents(sink);
    bAbandoned = sink.Abandoned();
    abandonReason = sink.AbandonReason();
    return !bAbandoned && sink.Flush();
}

// Whether we may replace this file: the system says so and its permission
// bits give us write access. Root passes every access check, so for root a
// file that nobody may write (mode 0444) counts as read-only as well.
bool MayWrite(const std::string& target, const struct stat& st) {
    if (::access(target.c_str(), W_OK) != 0)
        return false;
    const uid_t uid = ::geteuid();
    if (uid == 0)
        return (st.st_mode & 0222) != 0;
    if (uid == st.st_uid)
        return (st.st_mode & S_IWUSR) != 0;
    bool bInGroup = ::getegid() == st.st_gid;
    if (!bInGroup) {
        std::vector<gid_t> groups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
        const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
        for (int i = 0; i < n && !bInGroup; ++i)
            bInGroup = groups[static_cast<size_t>(i)] == st.st_gid;
    }
    return (st.st_mode & (bInGroup ? S_IWGRP : S_IWOTH)) != 0;
}

mode_t CurrentUmask() {
    mode_t m = ::umask(0);
    ::umask(m);
    return m;
}

// Makes the rename itself durable; a folder that cannot be synced (some
// file systems refuse) does not make the write fail.
void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool MakeFolders(const std::string& path) {
    std::string partial;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        partial = path.substr(0, slash);
        pos = slash + 1;
        if (partial.empty())
            continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

CFileSink::CFileSink(int fd) : m_fd(fd) {}

CFileSink::CFileSink(std::string* pText) : m_fd(-1), m_pText(pText) {}

void CFileSink::Abandon(const CString& reason) {
    m_bAbandoned = true;
    m_strAbandonReason = reason;
}

void CFileSink::Write(std::string_view text) {
    if (m_pText) {
        m_pText->append(text);
        return;
    }
    if (m_bFailed)
        return;
    if (m_buffer.size() + text.size() > kSinkBuffer) {
        if (!Flush())
            return;
        if (text.size() >= kSinkBuffer) {
            m_bFailed = !WriteAll(m_fd, text.data(), text.size());
            return;
        }
    }
    m_buffer.append(text);
}

bool CFileSink::Flush() {
    if (!m_bFailed && !m_buffer.empty())
        m_bFailed = !WriteAll(m_fd, m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return !m_bFailed;
}

CResult WriteFileReplacing(const CString& path, const std::string& contents) {
    return WriteFileReplacing(path, [&contents](CFileSink& sink) { sink.Write(contents); });
}

namespace {

CResult SystemFailure(int nErrno) {
    return CResult::Failure(CString(std::strerror(nErrno)), nErrno);
}

} // namespace

CResult WriteFileReplacing(const CString& path, const CContentsWriter& writeContents, bool bPrivate) {
    if (path.IsEmpty() || path.Find('\0') >= 0)
        return CResult::Failure("The file name is empty or not valid.");
    const std::string target = ResolveTarget(path.Str());
    struct stat st;
    const bool bExists = ::stat(target.c_str(), &st) == 0;
    if (bExists && S_ISDIR(st.st_mode))
        return SystemFailure(EISDIR); // a folder or a device is never replaced
    if (bExists && !S_ISREG(st.st_mode))
        return CResult::Failure("It is not a regular file.");
    if (bExists && !MayWrite(target, st))
        return SystemFailure(EACCES);

    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    std::string tmpl = (slash == std::string::npos ? std::string() : folder) + ".tarvo-XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    // Without a temporary file beside it (a read-only folder) nothing is
    // written: writing the original in place could leave it cut short.
    if (fd < 0)
        return SystemFailure(errno);
    mode_t mode = bExists ? (st.st_mode & 07777) : bPrivate ? 0600 : (0666 & ~CurrentUmask());
    // Keep the owner as well where that is allowed (root saving a user's
    // file); otherwise the new file is the writer's, as after any save.
    if (bExists) {
        const int nIgnored = ::fchown(fd, st.st_uid, st.st_gid);
        (void)nIgnored;
    }
    errno = 0;
    CString abandonReason;
    bool bAbandoned = false;
    bool ok = ProduceInto(fd, writeContents, abandonReason, bAbandoned) && ::fchmod(fd, mode) == 0 &&
              ::fsync(fd) == 0;
    int nErrno = errno;
    ok = (::close(fd) == 0) && ok;
    if (nErrno == 0)
        nErrno = errno;
    if (ok && ::rename(tmpl.c_str(), target.c_str()) == 0) {
        SyncFolder(folder);
        return CResult();
    }
    if (ok)
        nErrno = errno;
    ::unlink(tmpl.c_str());
    if (bAbandoned)
        return CResult::Failure(abandonReason);
    return SystemFailure(nErrno != 0 ? nErrno : EIO);
}

CString MakeRecoveryFilePath(const CString& originalPath) {
    std::string base;
    if (const char* pszData = std::getenv("XDG_DATA_HOME"); pszData && pszData[0] == '/') {
        base = pszData;
    } else {
        const char* pszHome = std::getenv("HOME");
        if (!pszHome || !pszHome[0])
            return CString();
        base = std::string(pszHome) + "/.local/share";
    }
    const std::string folder = base + "/Tarvo/recovered";
    // The user's records: for the user's eyes only, even in a folder that
    // was made before with a wider mode.
    if (!MakeFolders(folder) || ::chmod(folder.c_str(), 0700) != 0)
        return CString();

    std::string name = originalPath.Str();
    size_t slash = name.rfind('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".ldif") == 0)
        name.resize(name.size() - 5);
    for (char& c : name) {
        if (c == '\0')
            c = '_';
    }
    if (name.empty())
        name = "ldif";

    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);

    for (int n = 0; n < 1000; ++n) {
        std::string candidate = folder + "/" + name + "-" + stamp;
        if (n > 0)
            candidate += "-" + std::to_string(n);
        candidate += ".ldif";
        struct stat st;
        if (::lstat(candidate.c_str(), &st) != 0)
            return CString(candidate);
    }
    return CString();
}
