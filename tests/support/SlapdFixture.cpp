#include "SlapdFixture.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// The tools write values that are not plain text as base-64.
std::string CSlapdServer::DecodeBase64(const std::string& text) {
    static const std::string kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned nBits = 0;
    int nHave = 0; // bits in nBits not yet written
    for (char ch : text) {
        size_t v = kDigits.find(ch);
        if (v == std::string::npos)
            continue;
        nBits = (nBits << 6) | static_cast<unsigned>(v);
        if ((nHave += 6) >= 8) {
            nHave -= 8;
            out += static_cast<char>((nBits >> nHave) & 0xFF);
        }
    }
    return out;
}

namespace {

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// Unique names for the LDIF files handed to the tools.
std::string NextFileName() {
    static std::atomic<int> s_nNext{0};
    return "change-" + std::to_string(++s_nNext) + ".ldif";
}

// Runs a shell command; its exit code (-1 when it did not end normally).
int RunShell(const std::string& command, std::string& out) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The start of a tool's command line, bound as the server's administrator.
std::string AdminTool(const CSlapdServer& server, const char* pszTool) {
    return std::string(pszTool) + " -x -H " + ShellQuote(server.Url()) + " -D " +
           ShellQuote(server.AdminDN()) + " -w " + ShellQuote(server.Password());
}

// A new private folder in the temporary one, empty when none could be made.
std::filesystem::path MakeTempDir(const char* pszPrefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / pszPrefix).string() + "-XXXXXX";
    return mkdtemp(pattern.data()) ? std::filesystem::path(pattern) : std::filesystem::path();
}

// The private CAs and every certificate the tests use, made once per process:
// key generation is what makes TLS fixtures slow.
class CTestPki {
public:
    static const CTestPki& Get() {
        static CTestPki s_pki;
        return s_pki;
    }
    std::filesystem::path dir;
    std::string strError;

    std::string File(const std::string& name) const { return (dir / name).string(); }
    static const char* Name(ETlsCert cert) {
        static const char* const kNames[] = {"server", "other", "expired", "mismatch"}; // as ETlsCert
        return kNames[static_cast<int>(cert)];
    }

private:
    CTestPki() {
        dir = MakeTempDir("tarvo-pki");
        if (dir.empty()) {
            strError = "no temporary folder";
            return;
        }
        char szHost[256] = "localhost";
        gethostname(szHost, sizeof szHost - 1);
        // libldap checks a connection to "localhost" against this machine's name.
        const std::string script =
            "set -e; cd " + ShellQuote(dir.string()) +
            "\nnames='DNS:localhost,IP:127.0.0.1,DNS:" + std::string(szHost) + "'\n" +
            R"sh(key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1"; }
ca() { key $1.key; openssl req -x509 -new -key $1.key -out $1.pem -days 3650 -subj "/CN=$2"; }
# cert <name> <ca> <cn> <san> <days> [key]
cert() { k=${6:-$1}; [ -e $k.key ] || key $k.key; openssl req -new -key $k.key -out $1.csr -subj "/CN=$3"
  printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth,clientAuth\n' "$4" >$1.ext
  openssl x509 -req -in $1.csr -CA $2.pem -CAkey $2.key -set_serial 0x$(openssl rand -hex 8) \
    -out $1.pem -days $5 -extfile $1.ext; [ $k = $1 ] || cp $k.key $1.key; }
ca ca 'Tarvo Test CA'; ca otherca 'Another Test CA'
cert server ca localhost "$names" 365; cert other otherca localhost "$names" 365
cert expired ca localhost "$names" -1 server
cert mismatch ca wrong.invalid 'DNS:wrong.invalid' 365 server
cert client ca tarvo-client 'DNS:tarvo-client' 365
for c in server other expired mismatch; do
  printf 'sha256:%s' "$(openssl x509 -in $c.pem -pubkey -noout | openssl pkey -pubin -outform der |
    openssl dgst -sha256 -binary | base64)" >$c.pin
done
chmod 600 *.key
)sh";
        std::string out;
        if (RunShell("bash -c " + ShellQuote(script) + " 2>&1", out) != 0)
            strError = "making the test certificates failed: " + out;
    }
    ~CTestPki() {
        if (!dir.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        }
    }
};

// A path inside an ldapi:// URL: every '/' escaped.
std::string EscapeSocketPath(const std::string& path) {
    std::string out;
    for (char c : path)
        out += c == '/' ? std::string("%2F") : std::string(1, c);
    return out;
}

} // namespace

std::string SlapdScriptPath() {
    // This file lives in tests/support of the source tree. A compiler cache
    // with a base folder makes its name relative to the build folder, which
    // the tests run in or below.
    std::filesystem::path file = __FILE__;
    for (auto dir = std::filesystem::current_path(); file.is_relative() && dir != dir.root_path();
         dir = dir.parent_path())
        if (std::filesystem::exists(dir / file))
            file = dir / file;
    return (file.parent_path().parent_path().parent_path() / "scripts" / "slapd").string();
}

std::string CSlapdServer::DefaultSeed() {
    return "dn: dc=example,dc=com\n"
           "objectClass: dcObject\n"
           "objectClass: organization\n"
           "dc: example\n"
           "o: Example\n"
           "\n"
           "dn: ou=People,dc=example,dc=com\n"
           "objectClass: organizationalUnit\n"
           "ou: People\n"
           "\n"
           "dn: cn=Alice,ou=People,dc=example,dc=com\n"
           "objectClass: inetOrgPerson\n"
           "cn: Alice\n"
           "sn: Smith\n"
           "mail: alice@example.com\n"
           "mail: alice.smith@example.com\n"
           "telephoneNumber: 111\n"
           "\n"
           "dn: cn=Bob,ou=People,dc=example,dc=com\n"
           "objectClass: inetOrgPerson\n"
           "cn: Bob\n"
           "sn: Jones\n"
           "\n"
           "dn: ou=Empty,dc=example,dc=com\n"
           "objectClass: organizationalUnit\n"
           "ou: Empty\n";
}

CSlapdServer::CSlapdServer(std::string seedLdif)
    : m_dir(MakeTempDir("tarvo-slapd")), m_strSeed(std::move(seedLdif)) {}

CSlapdServer::~CSlapdServer() {
    Stop();
    if (!m_dir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
}

std::string CSlapdServer::Url() const {
    return "ldap://127.0.0.1:" + std::to_string(m_nPort) + "/";
}

std::string CSlapdServer::LdapsUrl() const {
    return "ldaps://127.0.0.1:" + std::to_string(m_nTlsPort) + "/";
}

std::string CSlapdServer::LdapiUrl() const {
    return "ldapi://" + EscapeSocketPath((m_dir / "ldapi").string());
}

std::string CSlapdServer::CACertFile() {
    return CTestPki::Get().File("ca.pem");
}

std::string CSlapdServer::ClientCertFile() {
    return CTestPki::Get().File("client.pem");
}

std::string CSlapdServer::ClientKeyFile() {
    return CTestPki::Get().File("client.key");
}

std::string CSlapdServer::KeyPin(ETlsCert cert) {
    std::ifstream in(CTestPki::Get().File(std::string(CTestPki::Name(cert)) + ".pin"));
    std::string pin;
    std::getline(in, pin);
    return pin;
}

bool CSlapdServer::AddChildren(const std::string& parentDn, int nCount, const std::string& prefix) {
    std::string ldif;
    ldif.reserve(static_cast<size_t>(nCount) * 96);
    for (int i = 0; i < nCount; ++i) {
        std::string cn = prefix + std::to_string(i);
        ldif += "\ndn: cn=" + cn + "," + parentDn + "\nobjectClass: person\ncn: " + cn + "\nsn: " + cn + "\n";
    }
    if (!IsRunning()) {
        if (!m_strSeed.empty() && m_strSeed.back() != '\n')
            m_strSeed += '\n';
        m_strSeed += ldif;
        return true;
    }
    return Modify(ldif.substr(1)); // ldapmodify -a takes plain records as adds
}

int CSlapdServer::FreePort() {
    // Below the kernel's range for outgoing connections, so no client socket
    // (ours or another test's) can hold it; random, so that fixtures of
    // tests running in parallel rarely try the same one.
    static std::atomic<unsigned> s_nSeed{static_cast<unsigned>(getpid()) * 2654435761u};
    for (int nTry = 0; nTry < 200; ++nTry) {
        unsigned nRandom = s_nSeed.fetch_add(0x9E3779B9u) * 2246822519u;
        int nPort = 20000 + static_cast<int>((nRandom >> 8) % 12000);
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return 0;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(nPort));
        bool bFree = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        close(fd);
        if (bFree)
            return nPort;
    }
    return 0;
}

bool CSlapdServer::OwnsListeningSocket() const {
    // The inode of the socket listening on 127.0.0.1:port ...
    char szLocal[32];
    std::snprintf(szLocal, sizeof szLocal, "0100007F:%04X", m_nPort);
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    std::string inode;
    while (std::getline(tcp, line)) {
        std::istringstream in(line);
        std::string sl, local, remote, state, queues, timer, retr, uid, timeout;
        if (!(in >> sl >> local >> remote >> state >> queues >> timer >> retr >> uid >> timeout >> inode))
            continue;
        if (local == szLocal && state == "0A")
            break;
        inode.clear();
    }
    if (inode.empty())
        return false;
    // ... must be one of our server's own descriptors, not another test's server.
    const std::string target = "socket:[" + inode + "]";
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(m_pid) + "/fd", ec)) {
        std::error_code ecLink;
        if (std::filesystem::read_symlink(fd.path(), ecLink).string() == target)
            return true;
    }
    return false;
}

bool CSlapdServer::Start() {
    if (IsRunning())
        return true;
    if (m_dir.empty()) {
        m_strLastError = "no temporary folder";
        return false;
    }
    std::string seedFile = (m_dir / "seed.ldif").string();
    std::ofstream(seedFile) << m_strSeed;
    std::string extraFile = (m_dir / "extra.conf").string();
    std::ofstream(extraFile) << m_strExtraConfig;
    std::string globalFile = (m_dir / "global.conf").string();
    {
        std::ofstream global(globalFile);
        global << m_strGlobalConfig;
        if (m_nTimeLimit > 0)
            global << "timelimit " << m_nTimeLimit << "\n";
        if (m_bTls) {
            const CTestPki& pki = CTestPki::Get();
            if (!pki.strError.empty()) {
                m_strLastError = pki.strError;
                return false;
            }
            const std::string name = CTestPki::Name(m_eCert);
            global << "TLSCACertificateFile " << pki.File("ca.pem") << "\n"
                   << "TLSCertificateFile " << pki.File(name + ".pem") << "\n"
                   << "TLSCertificateKeyFile " << pki.File(name + ".key") << "\n"
                   << "TLSVerifyClient try\n"
                   << "authz-regexp \"gidNumber=" << getgid() << "\\\\+uidNumber=" << getuid()
                   << ",cn=peercred,cn=external,cn=auth\" \"" << AdminDN() << "\"\n"
                   << "authz-regexp \"cn=tarvo-client\" \"" << AdminDN() << "\"\n";
        }
    }
    int nExit = 0;
    std::string out = RunTool(ShellQuote(SlapdScriptPath()) + " prepare " + ShellQuote(m_dir.string()) + " " +
                                  ShellQuote(seedFile) + " " + ShellQuote(m_strSizeLimit) + " " +
                                  ShellQuote(extraFile) + " " + ShellQuote(globalFile) + " 2>&1",
                              &nExit);
    if (nExit != 0) {
        m_strLastError = "preparing the server failed: " + out;
        return false;
    }

    // Another process may take the port between the probe and the start.
    for (int nAttempt = 0; nAttempt < 5; ++nAttempt) {
        // A restart after Stop or Kill listens where the clients look.
        if (nAttempt > 0 || m_nPort == 0)
            m_nPort = FreePort();
        std::string conf = (m_dir / "slapd.conf").string();
        std::string url = Url();
        if (m_bTls) {
            do
                m_nTlsPort = FreePort();
            while (m_nTlsPort == m_nPort);
            url += " " + LdapsUrl() + " " + LdapiUrl();
        }
        std::string log = (m_dir / "slapd.log").string();
        const char* argv[] = {"/usr/sbin/slapd", "-f", conf.c_str(), "-h", url.c_str(), "-d", "0", nullptr};
        int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        pid_t pid = fork();
        if (pid == 0) {
            // Dies with the test process, whatever way that ends.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (logFd >= 0) {
                dup2(logFd, 1);
                dup2(logFd, 2);
            }
            execv(argv[0], const_cast<char* const*>(argv));
            _exit(127);
        }
        if (logFd >= 0)
            close(logFd);
        if (pid < 0) {
            m_strLastError = std::string("fork failed: ") + std::strerror(errno);
            return false;
        }
        m_pid = pid;
        if (WaitReady())
            return true;
        Stop();
    }
    std::stringstream ss;
    ss << std::ifstream(m_dir / "slapd.log").rdbuf();
    m_strLastError = "the server did not start: " + ss.str();
    return false;
}

bool CSlapdServer::WaitReady() {
    for (int i = 0; i < 400; ++i) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        if (OwnsListeningSocket())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

void CSlapdServer::Stop() {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGCONT);
    kill(m_pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            m_bPaused = false;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    Kill();
}

void CSlapdServer::Pause() {
    if (m_pid <= 0 || m_bPaused)
        return;
    kill(m_pid, SIGSTOP);
    m_bPaused = true;
    // The stop reaches the server's threads one by one; until every one has
    // stopped, a request sent now could still be answered.
    const std::filesystem::path tasks = "/proc/" + std::to_string(m_pid) + "/task";
    for (int i = 0; i < 2000; ++i) {
        bool bAllStopped = true;
        std::error_code ec;
        for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
            std::ifstream stat(task.path() / "stat");
            std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
            // "pid (comm) S ...": the state follows the last ')'.
            size_t nClose = text.rfind(')');
            if (nClose == std::string::npos || nClose + 2 >= text.size())
                continue;
            char chState = text[nClose + 2];
            if (chState != 'T' && chState != 't')
                bAllStopped = false;
        }
        if (bAllStopped)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void CSlapdServer::Resume() {
    if (m_pid > 0 && m_bPaused) {
        kill(m_pid, SIGCONT);
        m_bPaused = false;
    }
}

void CSlapdServer::Kill() {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    m_bPaused = false;
}

std::string CSlapdServer::RunTool(const std::string& command, int* pExit) const {
    std::string out;
    int nExit = RunShell(command, out);
    if (pExit)
        *pExit = nExit;
    return out;
}

std::vector<std::string> CSlapdServer::SearchDNs(const std::string& base, const std::string& scope,
                                                 const std::string& filter) const {
    std::string out =
        RunTool(AdminTool(*this, "ldapsearch -LLL -o ldif-wrap=no") + " -b " + ShellQuote(base) + " -s " +
                scope + " " + ShellQuote(filter) + " 1.1 2>/dev/null");
    std::vector<std::string> dns;
    for (const std::string& line : Lines(out)) {
        if (line.rfind("dn: ", 0) == 0)
            dns.push_back(line.substr(4));
        else if (line.rfind("dn:: ", 0) == 0)
            dns.push_back(DecodeBase64(line.substr(5)));
    }
    return dns;
}

bool CSlapdServer::Exists(const std::string& dn) const {
    return !SearchDNs(dn, "base").empty();
}

std::vector<std::string> CSlapdServer::Values(const std::string& dn, const std::string& attribute) const {
    std::string out = RunTool(AdminTool(*this, "ldapsearch -LLL -o ldif-wrap=no") + " -b " + ShellQuote(dn) +
                              " -s base '(objectclass=*)' " + ShellQuote(attribute) + " 2>/dev/null");
    std::vector<std::string> values;
    std::string prefix = attribute + ": ";
    std::string prefix64 = attribute + ":: ";
    for (const std::string& line : Lines(out)) {
        if (line.size() >= prefix.size() && strncasecmp(line.c_str(), prefix.c_str(), prefix.size()) == 0)
            values.push_back(line.substr(prefix.size()));
        else if (line.size() >= prefix64.size() &&
                 strncasecmp(line.c_str(), prefix64.c_str(), prefix64.size()) == 0)
            values.push_back(DecodeBase64(line.substr(prefix64.size())));
    }
    return values;
}

bool CSlapdServer::Modify(const std::string& ldif) const {
    std::string file = (m_dir / NextFileName()).string();
    std::ofstream(file) << ldif;
    int nExit = 0;
    RunTool(AdminTool(*this, "ldapmodify -a") + " -f " + ShellQuote(file) + " >/dev/null 2>&1", &nExit);
    return nExit == 0;
}

// LeakSanitizer: libldap 2.5's GnuTLS context keeps no hold on the temporary
// copies it makes while loading a client certificate and key; nothing of ours
// calls GnuTLS directly, so leaks allocated there are the library's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:gnutls_x509_privkey_init\n"
           "leak:gnutls_x509_crt_init\n";
}

CConnectionParams ParamsFor(const CSlapdServer& server, const std::string& base, bool bAdmin) {
    CConnectionParams params;
    params.m_strServer = server.Host();
    params.m_nPort = server.Port();
    params.m_strSearchBase = base;
    params.m_strFilter = "(objectclass=*)";
    if (bAdmin) {
        params.m_strBindDN = server.AdminDN();
        params.m_strPassword = server.Password();
    }
    return params;
}
