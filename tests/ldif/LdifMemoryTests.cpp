// A file larger than the memory the process can get: refused with a message
// before it is read, or when the memory runs out while it is read; the file
// is left as it was and the program goes on. Each case runs in a child
// process whose address space is limited.

#include "LdifFixture.h"

#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long long MappedBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmSize:") {
            long long nKb = 0;
            status >> nKb;
            return nKb * 1024;
        }
        std::getline(status, key);
    }
    return 0;
}

} // namespace

class CLdifMemoryTest : public CLdifTest {
protected:
    // Opens the file in a child allowed nHeadroom bytes of address space
    // more than it maps now; the child's exit code says whether the open
    // failed with exactly the expected message (0), or how it went wrong.
    int OpenInLimitedChild(const std::string& path, long long nHeadroom, const std::string& expected) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            struct rlimit limit {};
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(MappedBytes() + nHeadroom);
            if (::setrlimit(RLIMIT_AS, &limit) != 0)
                ::_exit(10);
            const BOOL bOpened = OpenPath(path);
            m_pSource.reset();
            if (bOpened)
                ::_exit(11);
            if (m_services.m_boxes.Count() != 1 || m_services.m_boxes.LastText() != CString(expected))
                ::_exit(12);
            ::_exit(0);
        }
        int nStatus = 0;
        ::waitpid(pid, &nStatus, 0);
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 100 + WTERMSIG(nStatus);
    }
};

TEST_F(CLdifMemoryTest, AFileThatCannotFitIsRefusedBeforeItIsReadAndLeftAsItWas) {
    // 2 GB that take no disk: a hole.
    const std::string path = Path("big.ldif");
    {
        std::ofstream out(path, std::ios::binary);
        out << "dn: o=x\nobjectclass: top\n\n";
    }
    ASSERT_EQ(::truncate(path.c_str(), 2048LL << 20), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    EXPECT_EQ(OpenInLimitedChild(path, 256 << 20, "Not enough memory to open " + path + " (2,048 MB)"), 0);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST_F(CLdifMemoryTest, RunningOutOfMemoryWhileReadingIsReportedAndTheFileLeftAsItWas) {
    // Tiny records cost far more memory than their bytes: the check up
    // front lets the file through and the memory runs out while reading.
    std::string text;
    for (int i = 0; text.size() < (12 << 20); ++i)
        text += "dn: cn=" + std::to_string(i) + "\nobjectclass: top\n\n";
    const std::string path = Path("tiny-records.ldif");
    WriteWholeFile(path, text);
    const std::string mb = std::to_string((text.size() + (1 << 20) - 1) >> 20);
    EXPECT_EQ(OpenInLimitedChild(path, 64 << 20, "Not enough memory to open " + path + " (" + mb + " MB)"),
              0);
    EXPECT_EQ(ReadWholeFile(path), text);
}
