// A file larger than the memory the process can get: refused with a message
// before it is read, or when the memory runs out while it is read; the file
// is left as it was and the program goes on. Each such case runs in a child
// process whose address space is limited. And a large file, kept in
// compressed blocks, written back exactly.

#include "LdifFixture.h"
#include "LdifRoundTrip.h"

#include <algorithm>
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
#if defined(__SANITIZE_ADDRESS__)
    // Its allocator ends the program when memory runs out instead of failing
    // the allocation; the plain build runs this.
    GTEST_SKIP() << "not under AddressSanitizer";
#endif
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

TEST_F(CLdifTest, ALargeFileKeptInBlocksReadsEditsAndWritesBackExactly) {
    // Large enough to be kept compressed in many blocks; every record has a
    // value after an empty line, so some records run over the end of a block.
    std::string text = "version: 1\r\n\r\n";
    for (int i = 0; text.size() < (3 << 20); ++i) {
        const std::string n = std::to_string(i);
        text += "dn: cn=e" + n + ",o=x\r\nobjectclass: top\r\n# note\r\ncn: e" + n +
                "\r\n\r\ndescription: after the empty line " + n + "\r\n  and folded\r\n\r\n";
    }
    ASSERT_TRUE(OpenText(text));
    EXPECT_EQ(m_pSource->FormatContents(), text);
    std::vector<CLdifTriple> expected = LdifTriples(*m_pSource);
    ASSERT_GT(expected.size(), 60000u);
    EXPECT_EQ(std::count_if(expected.begin(), expected.end(),
                            [](const CLdifTriple& t) { return std::get<1>(t) == "description"; }),
              m_pSource->GetEntries().GetSize());
    // Edit records all over the file: each is written anew, the rest as read.
    for (int i = 0; i < m_pSource->GetEntries().GetSize(); i += 997) {
        CEntryNode* pEntry = m_pSource->GetEntries()[i];
        AddValue(pEntry, "mail", {"m" + std::to_string(i)});
        expected.emplace_back(pEntry->m_strDN.Str(), "mail", "m" + std::to_string(i));
    }
    std::sort(expected.begin(), expected.end());
    const std::string written = CloseAndRead();
    EXPECT_NE(written.find("dn: cn=e1,o=x\r\nobjectclass: top\r\n# note\r\ncn: e1\r\n\r\n"
                           "description: after the empty line 1\r\n  and folded\r\n\r\n"),
              std::string::npos);
    ASSERT_TRUE(OpenPath(Path()));
    EXPECT_EQ(LdifTriples(*m_pSource), expected);
    EXPECT_EQ(m_pSource->FormatContents(), written);
}
