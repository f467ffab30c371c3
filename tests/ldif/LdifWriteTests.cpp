// Writing the file back: the replacement never destroys the original, a
// failed write at Close is kept in a recovery file, and the record form.

#include "LdifFixture.h"
#include "ldif/EntryStore.h"
#include "ldif/LdifWriter.h"

#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Points the user's data folder at a test folder while it lives.
class CDataHome {
public:
    explicit CDataHome(const std::string& path) {
        if (const char* pszOld = std::getenv("XDG_DATA_HOME"))
            m_old = pszOld;
        ::setenv("XDG_DATA_HOME", path.c_str(), 1);
    }
    ~CDataHome() { m_old ? ::setenv("XDG_DATA_HOME", m_old->c_str(), 1) : ::unsetenv("XDG_DATA_HOME"); }

private:
    std::optional<std::string> m_old;
};

// Makes every write past a few bytes fail, as a full disk does (root is not
// exempt from a file size limit, as it is from permission bits).
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t nBytes) : m_oldHandler(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        const struct rlimit limit = {nBytes, m_old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~CFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    void (*m_oldHandler)(int);
    struct rlimit m_old {};
};

// Runs as an ordinary user for a while when the tests run as root.
class CUnprivileged {
public:
    CUnprivileged() : m_bSwitched(::geteuid() == 0 && ::seteuid(65534) == 0) {}
    ~CUnprivileged() {
        if (m_bSwitched && ::seteuid(0) != 0)
            std::abort();
    }

private:
    bool m_bSwitched;
};

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::exists(folder)) {
        for (const auto& item : std::filesystem::directory_iterator(folder))
            files.push_back(item.path());
    }
    return files;
}

} // namespace

TEST(LdifFormatEntry, RecordForm) {
    CEntryNode entry;
    entry.m_strDN = "cn=a,o=x";
    EXPECT_EQ(FormatEntry(&entry), "dn: cn=a,o=x\n\n");
    entry.AddValue("cn", "a");
    entry.AddValue("empty", "");
    entry.AddValue("cn", "b");
    entry.AddValue("gone", "x");
    entry.RemoveValue("gone", "x");
    EXPECT_EQ(FormatEntry(&entry), "dn: cn=a,o=x\ncn: a\ncn: b\nempty: \n\n");
    // What would break the record, or be cut or trimmed, goes in base 64.
    entry.m_strDN = "cn=a\r\nb";
    entry.AddValue("description", "line1\ncn: injected");
    entry.AddValue("jpegPhoto", CString(std::string("\xff\xd8\0\x01", 4)));
    EXPECT_EQ(FormatEntry(&entry), "dn:: Y249YQ0KYg==\ncn: a\ncn: b\nempty: \n"
                                   "description:: bGluZTEKY246IGluamVjdGVk\njpegPhoto:: /9gAAQ==\n\n");
}

TEST(LdifFormatEntry, NamesThatAreNoAttributeDescriptionsAreLeftOutAndCounted) {
    CEntryNode entry;
    entry.m_strDN = "cn=a,o=x";
    entry.AddValue("cn", "a");
    entry.AddValue("description\ndn: cn=x,o=x\nchangetype: delete", "forged");
    entry.AddValue("dn", "cn=y,o=x");
    entry.AddValue("mail;lang-en", "a@x");
    std::string text;
    EXPECT_EQ(AppendEntryText(text, &entry, "\n"), 2);
    EXPECT_EQ(text, "dn: cn=a,o=x\ncn: a\nmail;lang-en: a@x\n\n");
}

TEST(LdifFormatEntry, AnEditedRecordKeepsItsComments) {
    const std::string original = "dn: cn=a,o=x\n"
                                 "# who\n"
                                 "objectClass: person\n"
                                 "objectClass: extensibleObject\n"
                                 "# the work address,\n"
                                 "  folded\n"
                                 "mail: a@x\n"
                                 "# gone with its attribute\n"
                                 "telephoneNumber: 1\n"
                                 "cn: Ann\n"
                                 "# the second name\n"
                                 "cn: Bob Smith\n";
    // mail changed, telephoneNumber deleted, description added.
    CEntryNode entry;
    entry.AddValue("objectClass", "person");
    entry.AddValue("objectClass", "extensibleObject");
    entry.AddValue("MAIL", "b@x");
    entry.AddValue("cn", "Ann");
    entry.AddValue("cn", "Bob Smith");
    entry.AddValue("description", "new");
    std::string out;
    AppendPlainRecord(out, "cn=a,o=x", CEntryStore::Serialize(entry.m_attributes), nullptr, "\n", original);
    EXPECT_EQ(out, "dn: cn=a,o=x\n"
                   "# who\n"
                   "objectClass: person\n"
                   "objectClass: extensibleObject\n"
                   "# the work address,\n"
                   "  folded\n"
                   "MAIL: b@x\n"
                   "cn: Ann\n"
                   "# the second name\n"
                   "cn: Bob Smith\n"
                   "description: new\n"
                   "# gone with its attribute\n");
}

TEST(LdifWriteFileReplacing, KeepsModeAndOwnerFollowsLinksAndRefusesFolders) {
    CTempDir dir;
    const std::string target = dir.File("real.ldif");
    WriteWholeFile(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const std::string link = dir.File("link.ldif");
    std::filesystem::create_symlink("real.ldif", link);

    EXPECT_TRUE(WriteFileReplacing(CString(link), std::string("new contents")));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(target), "new contents");
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // No temporary file is left behind.
    EXPECT_EQ(FilesIn(dir.Path()).size(), 2u);

    std::filesystem::create_directory(dir.File("folder"));
    EXPECT_FALSE(WriteFileReplacing(CString(dir.File("folder")), std::string("x")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder")));
    EXPECT_FALSE(WriteFileReplacing(CString(dir.File("missing/x.ldif")), std::string("x")));
    EXPECT_FALSE(WriteFileReplacing(CString(""), std::string("x")));
    EXPECT_EQ(FilesIn(dir.Path()).size(), 3u);

    // The owner is kept where allowed (only root can give a file away).
    if (::chown(target.c_str(), 65534, 65534) == 0) {
        EXPECT_TRUE(WriteFileReplacing(CString(target), std::string("new")));
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
}

TEST(LdifWriteFileReplacing, FailedWriteLeavesTheOriginalAsItWas) {
    CTempDir dir;
    const std::string target = dir.File("data.ldif");
    WriteWholeFile(target, "original contents");
    {
        CFileSizeLimit limit(64);
        EXPECT_FALSE(WriteFileReplacing(CString(target), std::string(4096, 'x')));
    }
    EXPECT_EQ(ReadWholeFile(target), "original contents");
    EXPECT_EQ(FilesIn(dir.Path()).size(), 1u);

    // A writable file in a folder that takes no temporary file is not
    // written in place either: a failing write would leave it cut short.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0666), 0);
    {
        CUnprivileged user; // root would make the temporary file anyway
        CFileSizeLimit limit(64);
        EXPECT_FALSE(WriteFileReplacing(CString(target), std::string(4096, 'x')));
    }
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(ReadWholeFile(target), "original contents");
}

TEST_F(CLdifTest, DiskFullOrNoRecoveryPlaceAtCloseKeepsTheFileAndReportsBoth) {
    CTempDir home;
    CDataHome dataHome(home.Path().string());
    std::string text = "dn: o=x\nobjectclass: top\n";
    for (int i = 0; i < 100; ++i)
        text += "description: line " + std::to_string(i) + "\n";
    ASSERT_TRUE(OpenText(text));
    EditFirst();
    const std::string before = ReadWholeFile(Path());
    m_services.m_boxes.Clear();
    {
        CFileSizeLimit limit(256);
        EXPECT_TRUE(m_pSource->Close());
    }
    EXPECT_EQ(ReadWholeFile(Path()), before);
    ASSERT_EQ(m_services.m_boxes.Count(), 2);
    // The box says why, in the system's words.
    EXPECT_EQ(m_services.m_boxes.Boxes()[0].text,
              CString("Write Access Denied to LDIF file " + Path() + "\nFile too large"));
    EXPECT_EQ(m_services.m_boxes.Boxes()[1].text, "The changes could not be saved anywhere else either.");
    // Nothing half-written is left behind in either place.
    EXPECT_EQ(FilesIn(m_dir.Path()).size(), 1u);
    EXPECT_TRUE(FilesIn(home.Path() / "Tarvo" / "recovered").empty());

    // The same when the data folder is a file: no recovery folder can be made.
    ASSERT_TRUE(OpenText("dn: o=x\nobjectclass: top\n\n"));
    EditFirst();
    WriteWholeFile(home.File("data"), "");
    CDataHome fileHome(home.File("data"));
    std::filesystem::remove(Path());
    std::filesystem::create_directory(Path());
    m_services.m_boxes.Clear();
    EXPECT_TRUE(m_pSource->Close());
    ASSERT_EQ(m_services.m_boxes.Count(), 2);
    EXPECT_EQ(m_services.m_boxes.Boxes()[1].text, "The changes could not be saved anywhere else either.");
}

TEST_F(CLdifTest, WriteAtCloseKeepsPermissionsOrWhenItFailsKeepsChangesInRecoveryFile) {
    // A write that may replace the file keeps its permissions and says nothing.
    ASSERT_TRUE(OpenText("dn: o=x\nobjectclass: top\n"));
    EditFirst();
    ASSERT_EQ(::chmod(Path().c_str(), 0600), 0);
    const std::string written = CloseAndRead();
    EXPECT_EQ(written, "dn: o=x\nobjectclass: top\ndescription: typed by the user\n");
    struct stat st;
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(m_services.m_boxes.Count(), 0);

    // When the file may not be replaced: it is read-only (also for root), its
    // folder vanished, or a folder took its name. Nothing is written there;
    // the changes go to a recovery file.
    const std::string original = "dn: o=x\nobjectclass: top\n\n";
    const std::pair<std::function<void(const std::string&)>, const char*> spoil[] = {
        {[](const std::string& path) { ::chmod(path.c_str(), 0444); }, "Permission denied"},
        {[](const std::string& path) {
             std::filesystem::remove_all(std::filesystem::path(path).parent_path());
         },
         "No such file or directory"},
        {[](const std::string& path) {
             std::filesystem::remove(path);
             std::filesystem::create_directory(path);
         },
         "Is a directory"},
    };
    for (const auto& [spoilIt, pszWhy] : spoil) {
        CTempDir home;
        CDataHome dataHome(home.Path().string());
        // A recovery folder left open to others by an older version.
        const auto folder = home.Path() / "Tarvo" / "recovered";
        std::filesystem::create_directories(folder);
        ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
        std::filesystem::create_directory(Path("sub"));
        const std::string path = Path("sub") + "/people.ldif";
        WriteWholeFile(path, original);
        ASSERT_TRUE(OpenPath(path));
        EditFirst();
        spoilIt(path);
        const bool bFileLeft = std::filesystem::is_regular_file(path);
        m_services.m_boxes.Clear();

        m_pSource.reset(); // Close from the destructor
        const auto boxes = m_services.m_boxes.Boxes();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].text, CString("Write Access Denied to LDIF file " + path + "\n" + pszWhy));
        EXPECT_EQ(boxes[0].nType, MB_OK | MB_ICONSTOP);
        const auto recovered = FilesIn(home.Path() / "Tarvo" / "recovered");
        ASSERT_EQ(recovered.size(), 1u);
        EXPECT_EQ(recovered[0].filename().string().rfind("people-", 0), 0u);
        EXPECT_EQ(recovered[0].extension(), ".ldif");
        EXPECT_EQ(boxes[1].text,
                  "The changes were not lost: they were saved to the file " + recovered[0].string());
        EXPECT_EQ(ReadWholeFile(recovered[0].string()),
                  "dn: o=x\nobjectclass: top\ndescription: typed by the user\n\n");
        // The user's records, for the user's eyes only whatever the umask.
        ASSERT_EQ(::stat(recovered[0].c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        if (bFileLeft) {
            EXPECT_EQ(ReadWholeFile(path), original);
        }
        std::filesystem::remove_all(Path("sub"));
    }
}

TEST_F(CLdifTest, SaveOfUnshownEntryWritesItsAttributes) {
    // The tree pane's Save to LDIF formats entries below the selection,
    // also ones whose items were never expanded.
    ASSERT_TRUE(OpenText("dn: o=x\nobjectclass: top\n\ndn: ou=a,o=x\nobjectclass: top\nou: a\n\n", "o=x"));
    CEntryNode* pChild = m_pRoot->GetChildren().front();
    EXPECT_EQ(FormatEntry(pChild), "dn: ou=a,o=x\nobjectclass: top\nou: a\n\n");
    EXPECT_EQ(FormatEntry(m_pRoot), "dn: o=x\nobjectclass: top\n\n");
    // Its cache fills when asked without notice; the attribute pane, still
    // showing another entry, hears nothing.
    EXPECT_TRUE(pChild->m_attributes.IsEmpty());
    EXPECT_EQ(m_pSource->ReadAttributes(pChild, &pChild->m_attributes, &m_list, FALSE), 2u);
    EXPECT_EQ(pChild->m_attributes.GetSize(), 2);
    EXPECT_EQ(m_list.Count(EEvent::ShowAttributes), 0);
    EXPECT_EQ(FormatEntry(pChild), "dn: ou=a,o=x\nobjectclass: top\nou: a\n\n");
}
