// Opens a StartTLS connection through CLdapSource (the certificate checked
// against the test CA, an anonymous bind) and times ldapsearch -ZZ reading
// the root DSE from the same server in the same run.

#include "../common/BenchStats.h"
#include "SlapdFixture.h"
#include "source/ConnectionParams.h"
#include "source/LdapSource.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = BenchClock;
constexpr auto Median = BenchMedian;

} // namespace

int main(int argc, char** argv) {
    const int nRuns = argc > 1 ? std::atoi(argv[1]) : 21;

    CSlapdServer server;
    server.EnableTls();
    if (!server.Start()) {
        std::fprintf(stderr, "connect: %s\n", server.LastError().c_str());
        return 1;
    }
    CConnectionParams params;
    params.m_strServer = server.Host();
    params.m_nPort = server.Port();
    params.m_eSecurity = ESecurity::StartTLS;
    params.m_strCACertFile = CSlapdServer::CACertFile();

    // The peer reads the same CA and nothing from the machine's ldap.conf.
    const std::string command =
        "env -u LDAPNOINIT LDAPCONF=/dev/null LDAPRC=/dev/null LDAPTLS_REQCERT=demand "
        "LDAPTLS_CACERT='" +
        CSlapdServer::CACertFile() + "' ldapsearch -ZZ -x -H '" + server.Url() + "' -b '' -s base >/dev/null";
    std::vector<double> tarvoTimes, peerTimes;
    for (int nRun = 0; nRun < nRuns + 1; ++nRun) {
        // Alternating, run 0 warms both.
        auto t0 = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "connect: ldapsearch failed\n");
            return 1;
        }
        double dPeer = std::chrono::duration<double>(Clock::now() - t0).count();

        t0 = Clock::now();
        bool bProtected = false;
        {
            CLdapSource source;
            CConnectionParams attempt = params;
            if (!source.Open(attempt)) {
                std::fprintf(stderr, "connect: cannot open the source\n");
                return 1;
            }
            bProtected = source.GetConnectionInfo().m_tls.m_bProtected;
        }
        double dTarvo = std::chrono::duration<double>(Clock::now() - t0).count();
        if (!bProtected) {
            std::fprintf(stderr, "connect: the connection is not protected\n");
            return 1;
        }
        if (nRun == 0)
            continue;
        tarvoTimes.push_back(dTarvo);
        peerTimes.push_back(dPeer);
    }
    const double dTarvo = Median(tarvoTimes), dPeer = Median(peerTimes);
    std::printf("connect StartTLS (median of %d): tarvo %.4f s, ldapsearch -ZZ %.4f s\n", nRuns, dTarvo,
                dPeer);
    std::printf("connect-tls ratio %.2f\n", dTarvo / dPeer);
    return 0;
}
