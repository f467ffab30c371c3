// Expands an entry with 20,000 children through CLdapSource, with a window
// that only counts what each EntriesFound carries, and times
// ldapsearch on the same entry in the same run.
//   tarvo_bench_expand [children [runs [million]]]: "million" browses as the
//     administrator in pages of 1,000 against "ldapsearch -E pr=1000".
//   tarvo_bench_expand paged: 600 children on a server that caps plain
//     searches but lets pages through, and on one with a plain limit of 500.

#include "../common/BenchStats.h"
#include "SlapdFixture.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Memory.h"
#include "platform/Thread.h"
#include "source/ConnectionParams.h"
#include "source/LdapSource.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

using Clock = BenchClock;
constexpr auto Median = BenchMedian;

class CCountingWindow : public CWnd, public ISourceEvents {
public:
    ~CCountingWindow() override { DestroyWindowHandle(); }
    void EntriesFound(const CPtrList& entries, HTREEITEM) override {
        m_nEntries += entries.GetCount();
        ++m_nMessages;
    }
    void LevelLimited(HTREEITEM, int nResultCode) override { m_nLimitCode = nResultCode; }
    void SearchDone(HTREEITEM, int nCount) override {
        m_nDone = nCount;
        m_bDone = true;
    }
    long long m_nEntries = 0;
    long long m_nMessages = 0;
    long long m_nDone = 0;
    int m_nLimitCode = 0;
    bool m_bDone = false;
};

size_t HeapInUse() {
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void FreeChildren(CEntryNode* pEntry) {
    for (CEntryNode* pChild : pEntry->GetChildren())
        delete pChild;
    pEntry->RemoveAllChildren();
}

// Starts the server with nChildren below parent and opens the source on base.
bool StartAndOpen(CSlapdServer& server, const std::string& parent, int nChildren, bool bAdmin,
                  const std::string& base, CLdapSource& source, CConnectionParams& params) {
    server.AddChildren(parent, nChildren);
    if (!server.Start()) {
        std::fprintf(stderr, "expand: %s\n", server.LastError().c_str());
        return false;
    }
    params = ParamsFor(server, base, bAdmin);
    if (!source.Open(params)) {
        std::fprintf(stderr, "expand: cannot open the source\n");
        return false;
    }
    return true;
}

// 600 children browsed anonymously with the default page size: all of them
// on the capped server, and the marker's message on the plain-limit one.
int RunPaged() {
    const std::string parent = "ou=Empty,dc=example,dc=com";
    const int nChildren = 600;
    struct CCase {
        const char* pszLimits;
        long long nShown = 0;
        int nLimitCode = 0;
    } cases[] = {{"size.soft=500 size.hard=500 size.pr=200 size.prtotal=unlimited"}, {"500"}};
    for (CCase& c : cases) {
        CSlapdServer server;
        server.SetSizeLimits(c.pszLimits);
        CLdapSource source;
        CConnectionParams params;
        if (!StartAndOpen(server, parent, nChildren, false, parent, source, params))
            return 1;
        CCountingWindow window;
        params.m_pRoot->BeginOperation(OP_EXPAND);
        source.Expand(params.m_pRoot, &window, HTREEITEM(1));
        CMessageDispatcher::Instance().WaitDispatching([&] { return window.m_bDone; }, INFINITE);
        source.ShutdownWorkers(FALSE);
        c.nShown = window.m_nEntries;
        c.nLimitCode = window.m_nLimitCode;
        std::printf("%s: %lld of %d shown, limit code %d, paging offered %s\n", c.pszLimits, c.nShown,
                    nChildren, c.nLimitCode, source.OffersPaging() ? "yes" : "no");
        source.Close();
    }
    std::printf("expand-paged shown %lld\n", cases[0].nShown);
    std::printf("expand-paged marker %s\n", cases[1].nLimitCode == 4 ? "yes" : "no");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    TuneAllocator(); // as the program does at start
    if (argc > 1 && std::string(argv[1]) == "paged")
        return RunPaged();
    const int nChildren = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int nRuns = argc > 2 ? std::atoi(argv[2]) : 7;
    const bool bMillion = argc > 3 && std::string(argv[3]) == "million";
    const std::string parent = "ou=Empty,dc=example,dc=com";

    CSlapdServer server;
    CLdapSource source;
    CConnectionParams params;
    if (!StartAndOpen(server, parent, nChildren, bMillion, server.Base(), source, params))
        return 1;
    if (bMillion)
        source.SetPageSize(1000);

    const std::string command =
        "ldapsearch -x -LLL -H '" + server.Url() + "' -b '" + parent + "' -s one -A " +
        (bMillion ? "-D '" + server.AdminDN() + "' -w '" + server.Password() + "' -E pr=1000/noprompt "
                  : "") +
        "'(objectclass=*)' >/dev/null";
    std::vector<double> tarvoTimes, peerTimes;
    size_t nBytes = 0;
    long long nMessages = 0;
    for (int nRun = 0; nRun < nRuns + 1; ++nRun) {
        // The peer first, then ours, alternating through the runs; run 0 warms both.
        auto t0 = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "expand: ldapsearch failed\n");
            return 1;
        }
        double dPeer = std::chrono::duration<double>(Clock::now() - t0).count();

        CEntryNode entry;
        entry.SetDN(parent);
        CCountingWindow window;
        size_t nHeapBefore = HeapInUse();
        entry.BeginOperation(OP_EXPAND);
        t0 = Clock::now();
        source.Expand(&entry, &window, HTREEITEM(1));
        CMessageDispatcher::Instance().WaitDispatching([&] { return window.m_bDone; }, INFINITE);
        double dTarvo = std::chrono::duration<double>(Clock::now() - t0).count();
        size_t nHeapAfter = HeapInUse();
        while (!source.m_workerThreads.IsEmpty()) {
            HANDLE h = DWordToHandle(source.m_workerThreads[0]);
            WaitForThreadDispatching(h, INFINITE);
            CloseHandle(h);
            source.m_workerThreads.RemoveAt(0);
        }
        if (window.m_nDone != nChildren || window.m_nEntries != nChildren) {
            std::fprintf(stderr, "expand: got %lld entries, done %lld\n", window.m_nEntries, window.m_nDone);
            return 1;
        }
        FreeChildren(&entry);
        if (nRun == 0)
            continue;
        tarvoTimes.push_back(dTarvo);
        peerTimes.push_back(dPeer);
        nBytes = nHeapAfter > nHeapBefore ? nHeapAfter - nHeapBefore : 0;
        nMessages = window.m_nMessages;
    }

    // Stop with the server frozen: how long Stop takes and how long until
    // the stopped browse has reported.
    double dStop = 0, dStopped = 0;
    {
        CEntryNode entry;
        entry.SetDN(parent);
        CCountingWindow window;
        server.Pause();
        entry.BeginOperation(OP_EXPAND);
        source.Expand(&entry, &window, HTREEITEM(1));
        CMessageDispatcher::Instance().WaitDispatching([&] { return source.GetRunning() == 1; }, INFINITE);
        auto t0 = Clock::now();
        source.Stop();
        dStop = std::chrono::duration<double>(Clock::now() - t0).count();
        CMessageDispatcher::Instance().WaitDispatching([&] { return window.m_bDone; }, INFINITE);
        dStopped = std::chrono::duration<double>(Clock::now() - t0).count();
        server.Resume();
        source.ShutdownWorkers(FALSE);
        FreeChildren(&entry);
    }

    double dTarvo = Median(tarvoTimes);
    double dPeer = Median(peerTimes);
    double dRatio = dTarvo / dPeer;
    std::printf("expand %d children: tarvo %.3f s, ldapsearch %.3f s, ratio %.2f (median of %d runs)\n",
                nChildren, dTarvo, dPeer, dRatio, nRuns);
    std::printf("EntriesFound calls per expansion: %lld\n", nMessages);
    std::printf("memory of %d nodes: %.1f KB (%.0f bytes per node)\n", nChildren, nBytes / 1024.0,
                static_cast<double>(nBytes) / nChildren);
    std::printf("stop on a silent server: Stop %.1f ms, stopped browse reported after %.1f ms\n",
                dStop * 1000, dStopped * 1000);
    std::printf("expand ratio %.2f\n", dRatio);
    if (bMillion) {
        std::printf("expand-million ratio %.2f\n", dRatio);
        std::printf("expand-million bytes-per-node %.0f\n", static_cast<double>(nBytes) / nChildren);
    }
    source.Close();
    return 0;
}
