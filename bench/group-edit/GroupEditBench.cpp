// Changes one member of a group with 100,000 members through CLdapSource as
// the attribute pane does (the entry read once, then one value modified),
// and times ldapmodify sending the same delete and add in the same run.
// What our change puts on the wire is counted on the connection's socket.
//   tarvo_bench_group_edit [members [runs]]

#include "../common/BenchStats.h"
#include "SlapdFixture.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Memory.h"
#include "platform/Thread.h"
#include "source/ConnectionParams.h"
#include "source/LdapSource.h"
#include "source/Requests.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace {

using Clock = BenchClock;
constexpr auto Median = BenchMedian;

const std::string kGroup = "cn=big,ou=Empty,dc=example,dc=com";

std::string Member(const char* pszPrefix, int i) {
    char text[64];
    std::snprintf(text, sizeof text, "uid=%s%06d,ou=People,dc=example,dc=com", pszPrefix, i);
    return text;
}

class CEditWindow : public CWnd, public ISourceEvents {
public:
    ~CEditWindow() override { DestroyWindowHandle(); }
    void AttributeModified(CModifyAttributeRequest& request) override {
        m_bModified = request.bSucceeded != FALSE;
        m_bDone = true;
    }
    void OperationFailed(const COperationFailure& failure) override {
        std::fprintf(stderr, "group-edit: %s\n", failure.strText.GetString());
        m_bDone = true;
    }
    bool m_bModified = false;
    bool m_bDone = false;
};

void WaitForWorkers(CLdapSource& source) {
    while (!source.m_workerThreads.IsEmpty()) {
        HANDLE h = DWordToHandle(source.m_workerThreads[0]);
        WaitForThreadDispatching(h, INFINITE);
        CloseHandle(h);
        source.m_workerThreads.RemoveAt(0);
    }
}

// The connection of this process to the server's port (the source's only one).
int ServerSocket(int nPort) {
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        int n = std::atoi(fd.path().filename().c_str());
        sockaddr_in peer{};
        socklen_t nLength = sizeof peer;
        if (getpeername(n, reinterpret_cast<sockaddr*>(&peer), &nLength) == 0 && peer.sin_family == AF_INET &&
            ntohs(peer.sin_port) == nPort)
            return n;
    }
    return -1;
}

// Payload bytes the kernel has sent on the socket so far.
long long BytesSent(int fd) {
    tcp_info info{};
    socklen_t nLength = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &nLength) != 0)
        return -1;
    return static_cast<long long>(info.tcpi_bytes_sent);
}

} // namespace

int main(int argc, char** argv) {
    TuneAllocator(); // as the program does at start
    const int nMembers = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int nRuns = argc > 2 ? std::atoi(argv[2]) : 7;

    std::string seed =
        CSlapdServer::DefaultSeed() + "\ndn: " + kGroup + "\nobjectClass: groupOfNames\ncn: big\n";
    for (int i = 0; i < nMembers; ++i)
        seed += "member: " + Member("member", i) + "\n";
    CSlapdServer server(seed);
    if (!server.Start()) {
        std::fprintf(stderr, "group-edit: %s\n", server.LastError().c_str());
        return 1;
    }
    CConnectionParams params = ParamsFor(server, server.Base(), true);
    CLdapSource source;
    if (!source.Open(params)) {
        std::fprintf(stderr, "group-edit: cannot open the source\n");
        return 1;
    }
    CEditWindow window;
    source.SetReportWindow(SafeHwnd(&window));

    // The attribute pane shows the entry first: its values are read once.
    CEntryNode group;
    group.SetDN(kGroup);
    group.BeginOperation(OP_READ_ATTRIBUTES);
    source.ReadAttributes(&group, &group.m_attributes, &window, TRUE);
    WaitForWorkers(source);
    const CAttribute* pMembers = group.FindAttribute("member");
    if (!pMembers || pMembers->GetSize() != nMembers) {
        std::fprintf(stderr, "group-edit: read %d members\n", pMembers ? pMembers->GetSize() : 0);
        return 1;
    }
    const int fd = ServerSocket(server.Port());

    const std::string ldif = (server.Folder() / "change.ldif").string();
    std::vector<double> tarvoTimes, peerTimes;
    long long nBytes = -1;
    for (int nRun = 0; nRun < nRuns + 1; ++nRun) {
        // Each side changes a member of its own; run 0 warms both.
        const int nPeer = 2 * nRun, nOurs = 2 * nRun + 1;
        std::ofstream(ldif) << "dn: " << kGroup
                            << "\nchangetype: modify\ndelete: member\nmember: " << Member("member", nPeer)
                            << "\n-\nadd: member\nmember: " << Member("changed", nPeer) << "\n";
        auto t0 = Clock::now();
        const std::string command = "ldapmodify -x -H '" + server.Url() + "' -D '" + server.AdminDN() +
                                    "' -w '" + server.Password() + "' -f '" + ldif + "' >/dev/null";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "group-edit: ldapmodify failed\n");
            return 1;
        }
        double dPeer = std::chrono::duration<double>(Clock::now() - t0).count();

        CAttribute change;
        change.SetName("member");
        change.Add(Member("changed", nOurs).c_str());
        change.Add(Member("member", nOurs).c_str());
        window.m_bDone = window.m_bModified = false;
        const long long nBefore = BytesSent(fd);
        t0 = Clock::now();
        source.ModifyAttribute(&group, &change, nOurs, &window);
        CMessageDispatcher::Instance().WaitDispatching([&] { return window.m_bDone; }, INFINITE);
        double dTarvo = std::chrono::duration<double>(Clock::now() - t0).count();
        WaitForWorkers(source);
        const long long nAfter = BytesSent(fd);
        if (!window.m_bModified) {
            std::fprintf(stderr, "group-edit: the change failed\n");
            return 1;
        }
        if (nRun == 0)
            continue;
        tarvoTimes.push_back(dTarvo);
        peerTimes.push_back(dPeer);
        nBytes = fd >= 0 && nBefore >= 0 && nAfter >= 0 ? nAfter - nBefore : -1;
    }

    // Both sides' last changes are on the server, and nothing else went.
    const int nLast = 2 * nRuns;
    for (const std::string& value :
         {Member("changed", nLast), Member("changed", nLast + 1), Member("member", nLast + 2)}) {
        if (server.SearchDNs(kGroup, "base", "(member=" + value + ")").empty()) {
            std::fprintf(stderr, "group-edit: the server lacks %s\n", value.c_str());
            return 1;
        }
    }

    const double dTarvo = Median(tarvoTimes), dPeer = Median(peerTimes);
    std::printf("group-edit %d members, one changed: tarvo %.1f ms, ldapmodify %.1f ms (median of %d runs)\n",
                nMembers, dTarvo * 1000, dPeer * 1000, nRuns);
    std::printf("group-edit bytes %lld\n", nBytes);
    std::printf("group-edit ratio %.2f\n", dTarvo / dPeer);
    source.Close();
    return 0;
}
