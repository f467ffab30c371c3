// The real tree pane, offscreen, expanding an entry with 20,000 children
// through CLdapSource; ldapsearch fetches the same children in the same run.
// Reported: time until SearchDone is handled with every child in the
// tree, time until the first child is in the view, and the longest time the
// UI thread went without turning its event loop during the expansion.
//   tarvo_bench_expand_gui [children [runs [million]]]: "million" browses as
//   the administrator in pages of 1,000 against "ldapsearch -E pr=1000" and
//   also reports the process's growth per child shown.

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
#include "ui/EntryTreeModel.h"
#include "ui/LdapListView.h"
#include "ui/LdapTreeView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = BenchClock;
constexpr auto Ms = BenchMs;
constexpr auto Median = BenchMedian;

// Notes when the pane reports the end of the search.
class CDoneStatusBar : public IStatusBarService {
public:
    void SetPaneText(int nPane, const CString& text) override {
        if (nPane == 1 && text.Str().rfind("Search ", 0) == 0) {
            m_bDone = true;
            m_text = text.Str();
            m_done = Clock::now();
        }
    }
    bool m_bDone = false;
    std::string m_text;
    Clock::time_point m_done;
};

struct CRun {
    double dTotalMs = 0;
    double dFirstMs = 0;
    double dStallMs = 0;
    double dScrollEndMs = 0; // from the top to the last row painted, once the level is in
    int nItems = 0;
    double dRssGrowth = 0; // bytes
};

// The administrator, pages of 1,000 (set by main for "million").
bool s_bAdmin = false;

double ResidentBytes() {
    long nPages = 0, nResident = 0;
    if (FILE* pFile = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(pFile, "%ld %ld", &nPages, &nResident) != 2)
            nResident = 0;
        std::fclose(pFile);
    }
    return static_cast<double>(nResident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// The two panes on a document with a source opened on parent, shown.
struct CBenchSession {
    CBenchSession(const CSlapdServer& server, const std::string& parent) {
        pTree = new CLdapTreeView(&doc, &host);
        pList = new CLdapListView(&doc, &host);
        host.addWidget(pTree);
        host.addWidget(pList);
        doc.AddView(pTree);
        doc.AddView(pList);
        host.resize(1000, 700);
        host.show();
        pSource = new CLdapSource;
        CConnectionParams params = ParamsFor(server, parent, s_bAdmin);
        if (!pSource->Open(params)) {
            std::fprintf(stderr, "expand-gui: cannot open the source\n");
            std::exit(1);
        }
        pSource->SetPageSize(s_bAdmin ? 1000 : doc.m_exportSettings.GetEntriesPerPage());
        doc.m_pDataSource = pSource;
        doc.m_bRefreshEnabled = true;
        doc.UpdateAllViews(nullptr, 0, params.m_pRoot);
        QApplication::processEvents();
        hRoot = pTree->GetRootItem();
        pRootItem = pTree->GetModel()->Find(hRoot);
    }
    ~CBenchSession() {
        pSource->ShutdownWorkers(FALSE);
        pTree->DeleteAllItems();
        pList->ClearList();
        delete pSource;
        doc.m_pDataSource = nullptr;
    }
    CBenchSession(const CBenchSession&) = delete;
    CBenchSession& operator=(const CBenchSession&) = delete;

    CTarvoDoc doc;
    QSplitter host;
    CLdapTreeView* pTree = nullptr;
    CLdapListView* pList = nullptr;
    CLdapSource* pSource = nullptr;
    HTREEITEM hRoot;
    CTreeItem* pRootItem = nullptr;
};

CRun ExpandOnce(const CSlapdServer& server, const std::string& parent) {
    CDoneStatusBar status;
    CServices::SetStatusBar(&status);
    CRun run;
    const double dRssBefore = ResidentBytes();
    {
        CBenchSession session(server, parent);
        CLdapTreeView* pTree = session.pTree;
        HTREEITEM hRoot = session.hRoot;
        CEntryTreeModel* pModel = pTree->GetModel();
        CTreeItem* pRootItem = session.pRootItem;
        QSplitter& host = session.host;

        // The first entry item linked below the root is the first visible child.
        bool bFirst = false;
        Clock::time_point first;
        QObject::connect(pModel, &QAbstractItemModel::rowsInserted, &host,
                         [&](const QModelIndex& parentIndex, int nRow, int) {
                             if (bFirst || pModel->ItemOf(parentIndex) != pRootItem)
                                 return;
                             if (pRootItem->children[static_cast<size_t>(nRow)]->pEntry) {
                                 bFirst = true;
                                 first = Clock::now();
                             }
                         });
        // Every event the UI thread delivers marks a turn of its loop; a timer
        // due every millisecond keeps events coming while it is idle. The
        // longest time between two deliveries is the longest stall.
        Clock::time_point lastTick = Clock::now();
        Clock::time_point start = lastTick;
        double dLongestGap = 0;
        CEventGapFilter filter([&]() {
            Clock::time_point now = Clock::now();
            double dGap = Ms(lastTick, now);
            if (getenv("EXPAND_GUI_TRACE") && dGap > 10)
                std::fprintf(stderr, "gap %.1f ms at %.1f ms, %d items\n", dGap, Ms(start, now),
                             static_cast<int>(pRootItem->children.size()));
            dLongestGap = std::max(dLongestGap, dGap);
            lastTick = now;
        });
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, &host, []() {});
        ticker.start();
        QApplication::processEvents();
        qApp->installEventFilter(&filter);

        start = Clock::now();
        lastTick = start;
        pTree->ExpandItem(hRoot);
        while (!status.m_bDone)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        run.dTotalMs = Ms(start, status.m_done);
        run.dFirstMs = bFirst ? Ms(start, first) : run.dTotalMs;
        run.dStallMs = dLongestGap;
        run.nItems = static_cast<int>(pRootItem->children.size());
        run.dRssGrowth = ResidentBytes() - dRssBefore;
        if (status.m_text.find("Completed") == std::string::npos) {
            std::fprintf(stderr, "expand-gui: %s\n", status.m_text.c_str());
            std::exit(1);
        }
        qApp->removeEventFilter(&filter);
        ticker.stop();
        // What the user sees next: the level, then a jump to its end.
        QTreeView* pControl = pTree->GetTreeControl();
        QApplication::processEvents();
        pControl->viewport()->repaint();
        const Clock::time_point scrollStart = Clock::now();
        pControl->scrollToBottom();
        pControl->viewport()->repaint();
        run.dScrollEndMs = Ms(scrollStart, Clock::now());
    }
    CServices::SetStatusBar(nullptr);
    return run;
}

// Refreshes the entry while its children stream in, nRounds times, and
// counts the items that do not match the server's children once each
// stream has ended: items of nodes no longer among the entry's children,
// and children missing or shown twice.
int RefreshDuringStream(const CSlapdServer& server, const std::string& parent, int nChildren, int nRounds) {
    CDoneStatusBar status;
    CServices::SetStatusBar(&status);
    int nWrong = 0;
    {
        CBenchSession session(server, parent);
        CLdapTreeView* pTree = session.pTree;
        CLdapSource* pSource = session.pSource;
        HTREEITEM hRoot = session.hRoot;
        CTreeItem* pRootItem = session.pRootItem;
        CEntryNode* pEntry = pTree->GetItemEntry(hRoot);
        pTree->SelectItem(hRoot);
        pTree->ExpandItem(hRoot);
        auto waitFor = [&](const std::function<bool()>& pred) {
            while (!pred())
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        };
        for (int nRound = 0; nRound < nRounds; ++nRound) {
            waitFor([&] { return pRootItem->children.size() > 1 || status.m_bDone; });
            status.m_bDone = false;
            // What a finished read of the selected entry does while it streams:
            // Refresh becomes available again.
            pEntry->EndOperation(OP_READ_ATTRIBUTES);
            pTree->OnRefresh();
            waitFor([&] { return status.m_bDone && pSource->GetRunning() == 0; });
            pTree->FlushPendingItems();
            std::vector<CEntryNode*> now = pEntry->GetChildren();
            std::set<CEntryNode*> children(now.begin(), now.end());
            std::set<CEntryNode*> shown;
            for (CTreeItem* pItem : pRootItem->children)
                if (pItem->pEntry && (!children.count(pItem->pEntry) || !shown.insert(pItem->pEntry).second))
                    ++nWrong;
            nWrong += std::abs(nChildren - static_cast<int>(shown.size()));
            // The next round streams again.
            status.m_bDone = false;
            pEntry->EndOperation(OP_READ_ATTRIBUTES);
            pTree->OnRefresh();
        }
        waitFor([&] { return status.m_bDone && pSource->GetRunning() == 0; });
    }
    CServices::SetStatusBar(nullptr);
    return nWrong;
}

} // namespace

int main(int argc, char** argv) {
    TuneAllocator(); // as the program does at start
    const int nChildren = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int nRuns = argc > 2 ? std::atoi(argv[2]) : 5;
    const bool bMillion = argc > 3 && std::string(argv[3]) == "million";
    s_bAdmin = bMillion;
    const std::string parent = "ou=Empty,dc=example,dc=com";

    CBenchGuiApp app(argc, argv);

    CSlapdServer server;
    server.AddChildren(parent, nChildren);
    if (!server.Start()) {
        std::fprintf(stderr, "expand-gui: %s\n", server.LastError().c_str());
        return 1;
    }
    const std::string command =
        "ldapsearch -x -LLL -H '" + server.Url() + "' -b '" + parent + "' -s one -A " +
        (bMillion ? "-D '" + server.AdminDN() + "' -w '" + server.Password() + "' -E pr=1000/noprompt "
                  : "") +
        "'(objectclass=*)' >/dev/null";

    std::vector<double> tarvo, peer, firsts, stalls, growths, scrolls;
    for (int nRun = 0; nRun < nRuns + 1; ++nRun) {
        auto t0 = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "expand-gui: ldapsearch failed\n");
            return 1;
        }
        double dPeer = Ms(t0, Clock::now());
        CRun run = ExpandOnce(server, parent);
        if (run.nItems != nChildren) {
            std::fprintf(stderr, "expand-gui: %d items in the tree, expected %d\n", run.nItems, nChildren);
            return 1;
        }
        if (nRun == 0) {
            // The first showing of the level is what grows the process;
            // later runs reuse the memory the allocator kept.
            growths.push_back(run.dRssGrowth);
            continue; // warms both
        }
        tarvo.push_back(run.dTotalMs);
        peer.push_back(dPeer);
        firsts.push_back(run.dFirstMs);
        stalls.push_back(run.dStallMs);
        scrolls.push_back(run.dScrollEndMs);
    }
    double dTarvo = Median(tarvo);
    double dPeer = Median(peer);
    double dRatio = dTarvo / dPeer;
    double dFirst = Median(firsts);
    // Per run the longest stall; the median over the runs, since a shared
    // machine now and then deschedules the UI thread for reasons of its own.
    double dStall = Median(stalls);
    double dWorstStall = *std::max_element(stalls.begin(), stalls.end());
    std::printf("expand-gui %d children in the tree pane: tarvo %.3f s, ldapsearch %.3f s, ratio %.2f "
                "(median of %d runs)\n",
                nChildren, dTarvo / 1000, dPeer / 1000, dRatio, nRuns);
    std::printf(
        "first child in the view after %.1f ms (median); longest UI stall %.1f ms (median of the runs' "
        "longest, worst run %.1f ms); scroll to the end %.1f ms (median)\n",
        dFirst, dStall, dWorstStall, Median(scrolls));
    if (bMillion) {
        std::printf("expand-million-gui ratio %.2f\n", dRatio);
        std::printf("expand-million first-ms %.0f\n", dFirst);
        std::printf("expand-million stall-ms %.0f\n", dStall);
        std::printf("expand-million scroll-end-ms %.0f\n", Median(scrolls));
        std::printf("expand-million rss-per-child %.0f\n", Median(growths) / nChildren);
        return 0;
    }
    const int nRefreshRounds = 20;
    int nWrong = RefreshDuringStream(server, parent, nChildren, nRefreshRounds);
    std::printf("refresh while %d children stream, %d rounds: %d items not matching the server's children\n",
                nChildren, nRefreshRounds, nWrong);
    std::printf("expand-gui refresh-during-stream %s\n", nWrong == 0 ? "ok" : "fail");
    std::printf("expand-gui ratio %.2f\n", dRatio);
    std::printf("expand-gui first-ms %.0f\n", dFirst);
    std::printf("expand-gui stall-ms %.0f\n", dStall);
    return 0;
}
