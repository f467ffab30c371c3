// Copies a subtree of 10,000 entries from one private slapd to a fresh one
// through the copy and paste core, as Copy Subtree and Paste do, and times
// ldapsearch piped into ldapadd doing the same between the same source and
// another fresh server. Each run starts both targets empty.
//   tarvo_bench_copy [entries [runs]]

#include "../common/BenchStats.h"
#include "SlapdFixture.h"
#include "ldif/LdifPaste.h"
#include "ldif/LdifSyntax.h"
#include "ldif/LdifWriter.h"
#include "ldif/SubtreeReader.h"
#include "platform/Dispatcher.h"
#include "platform/Memory.h"
#include "source/ConnectionParams.h"
#include "source/LdapSource.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = BenchClock;
constexpr auto Median = BenchMedian;

const std::string kTop = "ou=Big,dc=example,dc=com";

// Teams of 100 people with a few values each and a small binary one.
std::string Seed(int nEntries) {
    std::string ldif =
        CSlapdServer::DefaultSeed() + "\ndn: " + kTop + "\nobjectClass: organizationalUnit\nou: Big\n";
    int n = 1;
    for (int nTeam = 0; n < nEntries; ++nTeam) {
        const std::string team = "ou=T" + std::to_string(nTeam) + "," + kTop;
        ldif += "\ndn: " + team + "\nobjectClass: organizationalUnit\nou: T" + std::to_string(nTeam) + "\n";
        ++n;
        for (int i = 0; i < 99 && n < nEntries; ++i, ++n) {
            const std::string id = std::to_string(n);
            ldif += "\ndn: uid=u" + id + "," + team + "\nobjectClass: inetOrgPerson\nuid: u" + id +
                    "\ncn: Person " + id + "\nsn: P" + id + "\nmail: u" + id +
                    "@example.com\ntelephoneNumber: +1 555 " + id +
                    "\njpegPhoto:: " + Base64Encode(std::string("\xFF\xD8\0", 3) + id) + "\n";
        }
    }
    return ldif;
}

class CNoQuestions : public IPasteHost {
public:
    EPasteAnswer AskExisting(const CString&) override { return EPasteAnswer::Skip; }
};

} // namespace

int main(int argc, char** argv) {
    TuneAllocator(); // as the program does at start
    const int nEntries = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int nRuns = argc > 2 ? std::atoi(argv[2]) : 3;
    CMessageDispatcher::Instance().SetUIThread();

    CSlapdServer source(Seed(nEntries));
    if (!source.Start()) {
        std::fprintf(stderr, "copy: %s\n", source.LastError().c_str());
        return 1;
    }
    CConnectionParams sourceParams = ParamsFor(source, source.Base(), true);
    CLdapSource from;
    from.SetPageSize(1000);
    if (!from.Open(sourceParams)) {
        std::fprintf(stderr, "copy: cannot open the source\n");
        return 1;
    }

    std::vector<double> tarvoTimes, peerTimes;
    for (int nRun = 0; nRun < nRuns; ++nRun) {
        CSlapdServer ours, peers;
        if (!ours.Start() || !peers.Start()) {
            std::fprintf(stderr, "copy: a target did not start\n");
            return 1;
        }
        CConnectionParams params = ParamsFor(ours, ours.Base(), true);
        CLdapSource to;
        if (!to.Open(params)) {
            std::fprintf(stderr, "copy: cannot open the target\n");
            return 1;
        }

        auto t0 = Clock::now();
        const CSearchQuery query = SubtreeQuery(kTop.c_str());
        std::string text;
        CFileSink sink(&text);
        const CSubtreeReadResult read =
            ReadSubtreeAsLdif(from, query, sink, [](int) { return ESubtreeIdle::Continue; });
        CLdifPaste paste;
        CNoQuestions host;
        std::atomic<bool> bDone{false};
        if (read.eEnd != ESubtreeRead::Done || !paste.Prepare(text, ours.Base().c_str()) ||
            !to.RunEntryWriter([&](IEntryWriter& writer) { paste.Run(writer, host); },
                               [&] { bDone = true; })) {
            std::fprintf(stderr, "copy: the copy did not run\n");
            return 1;
        }
        CMessageDispatcher::Instance().WaitDispatching([&] { return bDone.load(); }, INFINITE);
        const double dTarvo = std::chrono::duration<double>(Clock::now() - t0).count();
        to.ShutdownWorkers(FALSE);
        to.Close();
        if (paste.Report().nAdded != nEntries) {
            std::fprintf(stderr, "copy: %s\n", PasteSummary(paste.Report()).GetString());
            return 1;
        }

        t0 = Clock::now();
        const std::string command = "ldapsearch -LLL -x -H '" + source.Url() + "' -D '" + source.AdminDN() +
                                    "' -w '" + source.Password() + "' -b '" + kTop +
                                    "' '(objectClass=*)' | ldapadd -x -H '" + peers.Url() + "' -D '" +
                                    peers.AdminDN() + "' -w '" + peers.Password() + "' >/dev/null";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "copy: ldapsearch | ldapadd failed\n");
            return 1;
        }
        const double dPeer = std::chrono::duration<double>(Clock::now() - t0).count();

        const size_t nOurs = ours.SearchDNs(kTop, "sub").size();
        const size_t nPeers = peers.SearchDNs(kTop, "sub").size();
        if (nOurs != static_cast<size_t>(nEntries) || nPeers != nOurs) {
            std::fprintf(stderr, "copy: %zu entries copied, the tools %zu\n", nOurs, nPeers);
            return 1;
        }
        tarvoTimes.push_back(dTarvo);
        peerTimes.push_back(dPeer);
    }
    from.ShutdownWorkers(FALSE);
    from.Close();

    const double dTarvo = Median(tarvoTimes), dPeer = Median(peerTimes);
    std::printf("copy %d entries: tarvo %.2f s, ldapsearch | ldapadd %.2f s (median of %d runs)\n", nEntries,
                dTarvo, dPeer, nRuns);
    std::printf("copy ratio %.2f\n", dTarvo / dPeer);
    return 0;
}
