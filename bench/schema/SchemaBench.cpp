// Times CLdapSource reading the subschema entry and resolving it into a
// usable model (request to settled) against ldapsearch reading the same
// entry, and measures the resident memory the model adds.

#include "../common/BenchStats.h"
#include "SlapdFixture.h"
#include "platform/Dispatcher.h"
#include "source/LdapSource.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = BenchClock;
constexpr auto Median = BenchMedian;

long RssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

// nTypes attribute types and nClasses classes under a private arc: chains of
// four structural classes and an auxiliary one, each with one required and
// eleven optional attributes.
std::string GeneratedSchema(int nTypes, int nClasses) {
    std::string text = "objectidentifier BenchRoot 1.3.6.1.4.1.99999.7\n";
    for (int i = 0; i < nTypes; ++i) {
        text += "attributetype ( BenchRoot:1." + std::to_string(i) + " NAME 'benchAttr" + std::to_string(i) +
                "' DESC 'Generated attribute " + std::to_string(i) + "' ";
        text += i % 3 == 0 ? "SUP name )\n"
                           : "EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch "
                             "SYNTAX 1.3.6.1.4.1.1466.115.121.1.15" +
                                 std::string(i % 3 == 1 ? " SINGLE-VALUE" : "") + " )\n";
    }
    for (int i = 0; i < nClasses; ++i) {
        const std::string sup = i % 5 == 0 || i % 5 == 4 ? "top" : "benchClass" + std::to_string(i - 1);
        text += "objectclass ( BenchRoot:2." + std::to_string(i) + " NAME 'benchClass" + std::to_string(i) +
                "' SUP " + sup + (i % 5 == 4 ? " AUXILIARY" : " STRUCTURAL") + " MUST benchAttr" +
                std::to_string((i * 4) % nTypes) + " MAY ( ";
        for (int j = 1; j < 12; ++j)
            text += (j > 1 ? " $ benchAttr" : "benchAttr") + std::to_string((i * 4 + j) % nTypes);
        text += " ) )\n";
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const int nRuns = argc > 1 ? std::atoi(argv[1]) : 15;
    CMessageDispatcher::Instance().SetUIThread();

    CSlapdServer server;
    const std::string schemaFile = (server.Folder() / "bench.schema").string();
    std::ofstream(schemaFile) << GeneratedSchema(2000, 500);
    server.SetGlobalConfig("include " + schemaFile + "\n");
    if (!server.Start()) {
        std::fprintf(stderr, "schema: %s\n", server.LastError().c_str());
        return 1;
    }
    const std::string command =
        "env -u LDAPNOINIT LDAPCONF=/dev/null LDAPRC=/dev/null ldapsearch -x -LLL -H '" + server.Url() +
        "' -b cn=Subschema -s base + >/dev/null";

    std::vector<double> tarvoTimes, peerTimes;
    long nRssKb = 0;
    size_t nTypes = 0, nClasses = 0;
    for (int nRun = 0; nRun < nRuns + 1; ++nRun) {
        // Alternating, run 0 warms both.
        auto t0 = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "schema: ldapsearch failed\n");
            return 1;
        }
        const double dPeer = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();

        CLdapSource source;
        CConnectionParams params = ParamsFor(server, server.Base());
        if (!source.Open(params)) {
            std::fprintf(stderr, "schema: cannot open the source\n");
            return 1;
        }
        const long nRssBefore = RssKb();
        t0 = Clock::now();
        source.LoadSchema(nullptr);
        std::shared_ptr<const CSchema> pSchema = source.WaitForSchema(60000);
        const double dTarvo = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (!pSchema) {
            std::fprintf(stderr, "schema: no schema read\n");
            return 1;
        }
        nRssKb = std::max(nRssKb, RssKb() - nRssBefore);
        nTypes = pSchema->AttributeTypes().size();
        nClasses = pSchema->ObjectClasses().size();
        source.ShutdownWorkers(FALSE);
        if (nRun == 0)
            continue;
        tarvoTimes.push_back(dTarvo);
        peerTimes.push_back(dPeer);
    }
    const double dTarvo = Median(tarvoTimes), dPeer = Median(peerTimes);
    std::printf("schema load (median of %d; %zu attribute types, %zu classes): tarvo %.1f ms, "
                "ldapsearch %.1f ms\n",
                nRuns, nTypes, nClasses, dTarvo, dPeer);
    std::printf("schema-load-ms %.1f\n", dTarvo);
    std::printf("schema-load ratio %.2f\n", dTarvo / dPeer);
    std::printf("schema-rss-kb %ld\n", nRssKb);
    return 0;
}
