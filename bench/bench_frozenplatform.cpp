// A bound, connected client while the platform is frozen (connections accepted, never answered):
// the longest gap between two turns of the GUI thread's event loop, measured by a 5 ms probe timer.
// The minute timers run as in the field (the watchdog's probe and the status tick each wait for the
// platform up to the production time-out of 30 s). Goal: under 100 ms.
//
// Usage: bench_frozenplatform [seconds [tick-seconds]]   (default 180 s, ticks every 60 s as in the
// field; shorter ticks put more waits into a shorter run)

#include "bench/benchsupport.h"
#include "support/boundwindow.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    bench::GuiBench environment(argc, argv);
    const int seconds = bench::countArgument(argc, argv, 180, 5);
    if (!environment.ready)
        return 2;

    BoundWindow bound;
    if (!bound.start()) {
        std::fprintf(stderr, "the window did not bind and connect\n");
        return 2;
    }
    // The field's time-outs, not the tests' short ones.
    PlatformEndpoint endpoint = platformEndpoint();
    endpoint.connectTimeoutMs = builtInPlatformEndpoint().connectTimeoutMs;
    endpoint.totalTimeoutMs = builtInPlatformEndpoint().totalTimeoutMs;
    installPlatformEndpoint(endpoint);

    const int tickSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    // Settled first: the window's first paints are not the platform's doing.
    QTest::qWait(1000);

    // The probe: the time between two of its turns, over a period of the event loop.
    const auto measureGaps = [](int milliseconds) {
        std::vector<double> gaps;
        QElapsedTimer clock;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(5);
        qint64 last = -1;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            if (last >= 0)
                gaps.push_back(double(now - last) / 1e6);
            last = now;
        });
        QEventLoop period;
        QTimer::singleShot(milliseconds, &period, &QEventLoop::quit);
        clock.start();
        probe.start();
        period.exec();
        return gaps;
    };

    // The same window with an answering platform and no ticks: what the machine itself adds.
    const std::vector<double> idle = measureGaps(10000);
    bound.platform->setFrozen(true);
    bound.window.watchdogTimer->start(tickSeconds * 1000);
    bound.window.reportTimer->start(tickSeconds * 1000);
    const std::vector<double> gaps = measureGaps(seconds * 1000);
    bound.platform->setFrozen(false);

    const QList<sim::RecordedRequest> held = bound.platform->requests();
    const auto slow = std::count_if(gaps.begin(), gaps.end(), [](double gap) { return gap > 50; });
    std::printf("Frozen platform for %d s, bound and connected, minute ticks every %d s; event-loop probe every 5 ms\n",
                seconds, tickSeconds);
    QStringList operations;
    for (const sim::RecordedRequest &request : held)
        operations << request.operation;
    std::printf("  platform requests held unanswered: %d (%s)\n", int(held.size()),
                qPrintable(operations.join(QStringLiteral(", "))));
    std::printf("  gaps over 50 ms: %d of %d\n", int(slow), int(gaps.size()));
    std::printf("  gaps between probe turns: median %.2f ms, p99 %.2f ms, max %.2f ms (goal: max < 100 ms)\n",
                bench::percentile(gaps, 0.5), bench::percentile(gaps, 0.99), bench::percentile(gaps, 1.0));
    std::printf("  baseline, platform answering, no ticks (10 s): median %.2f ms, max %.2f ms\n",
                bench::percentile(idle, 0.5), bench::percentile(idle, 1.0));
    return bench::percentile(gaps, 1.0) < 100 ? 0 : 1;
}
