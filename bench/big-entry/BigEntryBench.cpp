// Reads one entry with 100,000 member values into the attribute pane of the
// real main window (offscreen, its real status bar), and times ldapsearch
// fetching the same entry to /dev/null in the same run. Reported: the ratio
// of the medians, and the longest time the UI thread went without turning
// its event loop while the read ran.
//   tarvo_bench_big_entry [values [runs]]

#include "../common/BenchTiming.h"
#include "SlapdFixture.h"
#include "model/EntryNode.h"
#include "platform/Dispatcher.h"
#include "platform/Memory.h"
#include "platform/Recorders.h"
#include "platform/Services.h"
#include "platform/qt/QtServices.h"
#include "session/MainFrame.h"
#include "session/TarvoDoc.h"
#include "source/ConnectionParams.h"
#include "source/LdapSource.h"
#include "ui/LdapListView.h"
#include "ui/LdapTreeView.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string kGroup = "cn=big,ou=Empty,dc=example,dc=com";

std::string Member(int i) {
    char text[64];
    std::snprintf(text, sizeof text, "uid=member%06d,ou=People,dc=example,dc=com", i);
    return text;
}

struct CRun {
    double dMs = 0;
    double dStallMs = 0;
    int nRows = 0;
};

CRun ReadOnce(CLdapSource& source, CLdapListView& pane) {
    CRun run;
    CEntryNode group;
    group.SetDN(kGroup);
    pane.ShowEntryPending(&group);
    QApplication::processEvents();

    // Every event delivered marks a turn of the UI thread's loop; a timer due
    // every millisecond keeps events coming while it is idle.
    BenchClock::time_point lastTick = BenchClock::now();
    double dLongestGap = 0;
    CEventGapFilter filter([&]() {
        const BenchClock::time_point now = BenchClock::now();
        dLongestGap = std::max(dLongestGap, BenchMs(lastTick, now));
        lastTick = now;
    });
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &pane, []() {});
    ticker.start();
    qApp->installEventFilter(&filter);

    const BenchClock::time_point start = BenchClock::now();
    lastTick = start;
    group.BeginOperation(OP_READ_ATTRIBUTES);
    source.ReadAttributes(&group, &group.m_attributes, &pane, TRUE);
    while (!group.CanRefreshAttributes())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QApplication::processEvents();
    run.dMs = BenchMs(start, BenchClock::now());
    run.dStallMs = dLongestGap;
    run.nRows = pane.GetRowCount();

    qApp->removeEventFilter(&filter);
    ticker.stop();
    pane.ShowEntryPending(nullptr);
    ::DeleteAttributes(group.m_attributes);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    TuneAllocator(); // as the program does at start
    const int nValues = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int nRuns = argc > 2 ? std::atoi(argv[2]) : 5;

    CBenchGuiApp app(argc, argv);
    CRecordingMessageBoxes boxes;
    CServices::SetMessageBoxes(&boxes);

    std::string seed =
        CSlapdServer::DefaultSeed() + "\ndn: " + kGroup + "\nobjectClass: groupOfNames\ncn: big\n";
    for (int i = 0; i < nValues; ++i)
        seed += "member: " + Member(i) + "\n";
    CSlapdServer server(seed);
    if (!server.Start()) {
        std::fprintf(stderr, "big-entry: %s\n", server.LastError().c_str());
        return 1;
    }

    // The main window as the program shows it, its status bar the real one.
    CTarvoDoc doc;
    CMainFrame frame(&doc);
    CQtStatusBar status;
    status.SetTarget(&frame, [&frame](int nPane, const QString& text) { frame.SetPaneText(nPane, text); });
    CServices::SetStatusBar(&status);
    frame.resize(1000, 700);
    frame.show();
    auto* pSource = new CLdapSource;
    CConnectionParams params = ParamsFor(server, server.Base(), true);
    if (!pSource->Open(params)) {
        std::fprintf(stderr, "big-entry: cannot open the source\n");
        return 1;
    }
    doc.m_pDataSource = pSource;
    doc.UpdateAllViews(nullptr, 0, params.m_pRoot);
    QApplication::processEvents();
    CLdapListView& pane = *frame.GetListView();

    const std::string command = "ldapsearch -x -LLL -H '" + server.Url() + "' -D '" + server.AdminDN() +
                                "' -w '" + server.Password() + "' -b '" + kGroup + "' -s base >/dev/null";
    std::vector<double> ours, peer, stalls;
    for (int nRun = 0; nRun < nRuns + 1; ++nRun) {
        const BenchClock::time_point t0 = BenchClock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "big-entry: ldapsearch failed\n");
            return 1;
        }
        const double dPeer = BenchMs(t0, BenchClock::now());
        const CRun run = ReadOnce(*pSource, pane);
        // The group's objectClass and cn besides its members.
        if (run.nRows < nValues) {
            std::fprintf(stderr, "big-entry: %d rows in the pane, expected %d values\n", run.nRows, nValues);
            return 1;
        }
        if (nRun == 0)
            continue; // warms both
        ours.push_back(run.dMs);
        peer.push_back(dPeer);
        stalls.push_back(run.dStallMs);
    }
    const double dOurs = BenchMedian(ours), dPeer = BenchMedian(peer);
    std::printf(
        "big-entry %d values into the attribute pane: tarvo %.1f ms, ldapsearch %.1f ms (median of %d "
        "runs); longest UI stall %.1f ms (median), worst %.1f ms\n",
        nValues, dOurs, dPeer, nRuns, BenchMedian(stalls), *std::max_element(stalls.begin(), stalls.end()));
    std::printf("big-entry ratio %.2f\n", dOurs / dPeer);
    std::printf("big-entry stall-ms %.0f\n", BenchMedian(stalls));

    pSource->ShutdownWorkers(FALSE);
    doc.m_pDataSource = nullptr;
    frame.GetTreeView()->DeleteAllItems();
    pane.ClearList();
    delete pSource;
    CServices::SetStatusBar(nullptr);
    CServices::SetMessageBoxes(nullptr);
    return 0;
}
