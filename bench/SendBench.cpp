// Cost of one synchronous cross-thread notification into the UI thread (a
// typed listener call, as the sources make them), against a Qt blocking
// queued call measured in the same run.

#include "platform/Dispatcher.h"
#include "source/SourceEvents.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#ifdef TARVO_BENCH_WITH_QT
#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QTimer>
#endif

using Clock = std::chrono::steady_clock;

namespace {

class CCounter : public CWnd, public ISourceEvents {
public:
    ~CCounter() override { DestroyWindowHandle(); }
    void ClearAttributes(CEntryNode*) override { ++m_nCount; }
    long m_nCount = 0;
};

double MicrosPer(Clock::duration d, int n) {
    return std::chrono::duration<double, std::micro>(d).count() / n;
}

// Our queue with the UI thread waiting in its own loop.
double BenchOwnLoop(int n) {
    CCounter wnd;
    std::atomic<bool> done{false};
    auto t0 = Clock::now();
    std::thread worker([&] {
        for (int i = 0; i < n; ++i)
            Notify(wnd.m_hWnd, &ISourceEvents::ClearAttributes, nullptr);
        done = true;
    });
    CMessageDispatcher::Instance().WaitDispatching([&] { return done.load(); }, INFINITE);
    auto t1 = Clock::now();
    worker.join();
    return MicrosPer(t1 - t0, n);
}

} // namespace

int main(int argc, char** argv) {
    int n = argc > 1 ? std::atoi(argv[1]) : 20000;
    double own = BenchOwnLoop(n);
    std::printf("send own loop: %.2f us per send (%d sends)\n", own, n);
#ifdef TARVO_BENCH_WITH_QT
    QCoreApplication app(argc, argv);
    QObject receiver;

    // Our queue woken by the Qt event loop, as in the desktop program.
    CMessageDispatcher::Instance().SetWakeup([&receiver] {
        QMetaObject::invokeMethod(
            &receiver, [] { CMessageDispatcher::Instance().DrainPendingSends(); }, Qt::QueuedConnection);
    });
    double viaQt = 0;
    {
        CCounter wnd;
        auto t0 = Clock::now();
        std::thread worker([&] {
            for (int i = 0; i < n; ++i)
                Notify(wnd.m_hWnd, &ISourceEvents::ClearAttributes, nullptr);
            QMetaObject::invokeMethod(
                &receiver, [&app] { app.quit(); }, Qt::QueuedConnection);
        });
        app.exec();
        viaQt = MicrosPer(Clock::now() - t0, n);
        worker.join();
    }
    CMessageDispatcher::Instance().SetWakeup(nullptr);

    // The peer: Qt's own blocking queued call.
    double qt = 0;
    {
        long count = 0;
        auto t0 = Clock::now();
        std::thread worker([&] {
            for (int i = 0; i < n; ++i)
                QMetaObject::invokeMethod(
                    &receiver, [&count] { ++count; }, Qt::BlockingQueuedConnection);
            QMetaObject::invokeMethod(
                &receiver, [&app] { app.quit(); }, Qt::QueuedConnection);
        });
        app.exec();
        qt = MicrosPer(Clock::now() - t0, n);
        worker.join();
    }
    std::printf("send via Qt event loop: %.2f us per send\n", viaQt);
    std::printf("qt blocking queued call: %.2f us per call\n", qt);
    std::printf("send ratio %.2f\n", viaQt / qt);
#endif
    return 0;
}
