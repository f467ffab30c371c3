// Imports an LDIF file into an empty slapd with CLdifImporter, and the same
// file into a second empty slapd with ldapadd -f, one after the other in the
// same run; prints both times, their ratio and the importer's peak resident
// memory (the file is streamed: it should not grow with the file).
//   tarvo_bench_import <file.ldif>

#include "../common/BenchStats.h"
#include "SlapdFixture.h"
#include "ldif/LdifImporter.h"
#include "platform/Memory.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using Clock = BenchClock;

double Seconds(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <file.ldif>\n", argv[0]);
        return 2;
    }
    TuneAllocator(); // as the program does at start
    const std::string file = argv[1];
    CSlapdServer ours(""), peer("");
    // Both without a disk sync per write: what is compared is how the two
    // clients feed a server, not how fast this machine's disk syncs.
    ours.SetExtraConfig("dbnosync\n");
    peer.SetExtraConfig("dbnosync\n");
    if (!ours.Start() || !peer.Start()) {
        std::fprintf(stderr, "import: %s%s\n", ours.LastError().c_str(), peer.LastError().c_str());
        return 1;
    }

    auto t0 = Clock::now();
    int nExit = 0;
    peer.RunTool("ldapadd -x -H '" + peer.Url() + "' -D '" + peer.AdminDN() + "' -w '" + peer.Password() +
                     "' -f '" + file + "' >/dev/null",
                 &nExit);
    const double dPeer = Seconds(t0);
    if (nExit != 0) {
        std::fprintf(stderr, "import: ldapadd failed\n");
        return 1;
    }

    CImportOptions options;
    options.m_strFile = file;
    CLdifImporter importer;
    t0 = Clock::now();
    const CImportReport report = importer.Run(ParamsFor(ours, ours.Base()), options);
    const double dOurs = Seconds(t0);
    const long nPeakKb = BenchPeakRssKb(); // before the check below reads the server's entries
    if (!report.m_strError.IsEmpty() || report.m_nFailed != 0) {
        std::fprintf(stderr, "import: %s\n", report.m_strError.GetString());
        return 1;
    }
    const size_t nOurs = ours.SearchDNs(ours.Base(), "sub").size();
    const size_t nPeer = peer.SearchDNs(peer.Base(), "sub").size();
    if (nOurs != nPeer) {
        std::fprintf(stderr, "import: %zu entries, ldapadd %zu\n", nOurs, nPeer);
        return 1;
    }
    std::printf("import %ld records (%zu entries on each server): tarvo %.2f s, ldapadd %.2f s\n",
                report.m_nDone, nOurs, dOurs, dPeer);
    std::printf("import ratio %.2f\n", dOurs / dPeer);
    std::printf("import rss-mb %.1f\n", static_cast<double>(nPeakKb) / 1024);
    return 0;
}
