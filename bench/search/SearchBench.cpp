// The search panel, offscreen, searching a private slapd for 20,000 of
// 100,000 entries with all their attributes; ldapsearch runs the same search
// in the same run. Reported: time until the panel says the search ended with
// every row in its table, and the longest time the UI thread went without
// turning its event loop meanwhile.

#include "../common/BenchTiming.h"
#include "SlapdFixture.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Memory.h"
#include "platform/Recorders.h"
#include "platform/Services.h"
#include "platform/qt/QtServices.h"
#include "session/TarvoDoc.h"
#include "source/ConnectionParams.h"
#include "source/LdapSource.h"
#include "ui/LdapListView.h"
#include "ui/LdapTreeView.h"
#include "ui/SearchPanel.h"
#include "ui/SearchResultModel.h"

#include <QApplication>
#include <QComboBox>
#include <QSpinBox>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = BenchClock;
constexpr auto Ms = BenchMs;
constexpr auto Median = BenchMedian;

struct CRun {
    double dTotalMs = 0;
    double dStallMs = 0;
    int nRows = 0;
};

CRun SearchOnce(const CSlapdServer& server, const std::string& base, const std::string& filter) {
    CTarvoDoc doc;
    QSplitter host;
    auto* pTree = new CLdapTreeView(&doc, &host);
    auto* pList = new CLdapListView(&doc, &host);
    host.addWidget(pTree);
    host.addWidget(pList);
    doc.AddView(pTree);
    doc.AddView(pList);
    host.resize(1000, 700);
    host.show();
    auto* pSource = new CLdapSource;
    CConnectionParams params = ParamsFor(server, base);
    if (!pSource->Open(params)) {
        std::fprintf(stderr, "search: cannot open the source\n");
        std::exit(1);
    }
    doc.m_pDataSource = pSource;
    doc.UpdateAllViews(nullptr, 0, params.m_pRoot);
    CRun run;
    {
        CSearchPanel panel(&doc, pTree);
        panel.resize(1000, 400);
        panel.show();
        panel.ShowForEntry(base.c_str());
        panel.SizeLimitSpin()->setValue(0);
        panel.FilterCombo()->setEditText(QString::fromStdString(filter));
        QApplication::processEvents();

        Clock::time_point lastTick = Clock::now();
        double dLongestGap = 0;
        CEventGapFilter gaps([&]() {
            Clock::time_point now = Clock::now();
            dLongestGap = std::max(dLongestGap, Ms(lastTick, now));
            lastTick = now;
        });
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, &host, []() {});
        ticker.start();
        qApp->installEventFilter(&gaps);
        Clock::time_point start = Clock::now();
        lastTick = start;
        panel.OnSearch();
        while (panel.IsSearching())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        run.dTotalMs = Ms(start, Clock::now());
        run.dStallMs = dLongestGap;
        run.nRows = panel.Results()->GetResultCount();
        qApp->removeEventFilter(&gaps);
        ticker.stop();
    }
    pSource->ShutdownWorkers(FALSE);
    pTree->DeleteAllItems();
    pList->ClearList();
    delete pSource;
    doc.m_pDataSource = nullptr;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    TuneAllocator(); // as the program does at start
    const int nMatching = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int nOthers = argc > 2 ? std::atoi(argv[2]) : 80000;
    const int nRuns = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::string base = "ou=Empty,dc=example,dc=com";
    const std::string filter = "(cn=match*)";

    CBenchGuiApp app(argc, argv);
    CRecordingStatusBar status;
    CServices::SetStatusBar(&status);

    CSlapdServer server;
    server.AddChildren(base, nMatching, "match");
    server.AddChildren(base, nOthers, "other");
    if (!server.Start()) {
        std::fprintf(stderr, "search: %s\n", server.LastError().c_str());
        return 1;
    }
    const std::string command = "ldapsearch -x -LLL -H '" + server.Url() + "' -D '" + server.AdminDN() +
                                "' -w '" + server.Password() + "' -b '" + base + "' -s sub '" + filter +
                                "' >/dev/null";
    std::vector<double> tarvo, peer, stalls;
    for (int nRun = 0; nRun < nRuns + 1; ++nRun) {
        auto t0 = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "search: ldapsearch failed\n");
            return 1;
        }
        double dPeer = Ms(t0, Clock::now());
        CRun run = SearchOnce(server, base, filter);
        if (run.nRows != nMatching) {
            std::fprintf(stderr, "search: %d rows in the table, expected %d\n", run.nRows, nMatching);
            return 1;
        }
        if (nRun == 0)
            continue; // warms both
        tarvo.push_back(run.dTotalMs);
        peer.push_back(dPeer);
        stalls.push_back(run.dStallMs);
    }
    double dRatio = Median(tarvo) / Median(peer);
    std::printf("search %d of %d entries into the results table: tarvo %.3f s, ldapsearch %.3f s, ratio %.2f "
                "(median of %d runs)\n",
                nMatching, nMatching + nOthers, Median(tarvo) / 1000, Median(peer) / 1000, dRatio, nRuns);
    std::printf("search ratio %.2f\n", dRatio);
    std::printf("search stall-ms %.0f\n", Median(stalls));
    CServices::SetStatusBar(nullptr);
    return 0;
}
