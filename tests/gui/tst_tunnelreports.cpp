// What the platform learns around a connect, read from the simulator's request log: the traffic of
// the first minute report, the order of the reports after a reconnect, and the watchdog reacting
// again to every new spell of an idle or missing adapter.
#include "support/boundwindow.h"
#include "support/tunnelchecks.h"
#include "tunnel/waitreconnect.h"
#include "ui/resources.h"

#include <QtTest>

namespace {
// The operations of the reports, in the order the platform received them.
QStringList reportOperations(BoundWindow &w)
{
    QStringList operations;
    for (const sim::RecordedRequest &request : w.platform->requests()) {
        if (request.operation == QLatin1String("updateTunnelAndTapState"))
            operations << request.operation + request.value(QStringLiteral("tunnelOnline"));
        else if (request.operation == QLatin1String("tunnelAlarmData"))
            operations << request.operation + request.value(QStringLiteral("warnType"));
    }
    return operations;
}

using Adapters = std::vector<AdapterInfo>;
const Adapters inUse = {{QStringLiteral("TAP-Linux tun korvane0"), {QStringLiteral("10.8.0.6")}}};
const Adapters idle = {{QStringLiteral("TAP-Linux tun korvane0"), {QStringLiteral("0.0.0.0")}}};
} // namespace

class TestTunnelReports : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    // The counter's history before the connect is not this tunnel's traffic.
    void firstMinuteCountsFromTheConnect()
    {
        BoundWindow w;
        w.host.sentBytes = 7000000;
        QVERIFY(w.start());
        w.host.sentBytes = 7000000 + 4096;
        w.window.ReportState();
        const sim::World world = w.platform->world();
        QCOMPARE(world.stateReports.last().tunnelOnline, 1);
        QCOMPARE(world.stateReports.last().flowData, 4096);
    }

    void reportsAfterAReconnect()
    {
        BoundWindow w;
        QVERIFY(w.start());
        w.host.management.setCurrentState(fakeTunnel::waitState);
        w.host.management.send(fakeTunnel::dropNotification);
        QTRY_VERIFY(w.window.reconnectInProgress);
        w.platform->clearRequests();
        w.host.management.setCurrentState(fakeTunnel::connectedState);
        w.window.TryReconnectVPN();
        QTRY_VERIFY(w.window.tunnelConnected);
        // Online first, then the alarm cleared.
        QCOMPARE(reportOperations(w), QStringList({QStringLiteral("updateTunnelAndTapState1"), QStringLiteral("tunnelAlarmData3")}));
    }

    // After "in use" the next idle or missing adapter gets its reaction again, on its first tick.
    void watchdogReactsToEverySpell()
    {
        BoundWindow w;
        QVERIFY(w.start());
        MainWindow &window = w.window;
        for (const Adapters &trouble : {idle, Adapters(), idle}) {
            w.host.management.setCurrentState(fakeTunnel::connectedState);
            w.host.adapterList = inUse;
            if (!window.tunnelConnected) {
                window.reconnectSuppressed = false;
                window.TryReconnectVPN();
                QTRY_VERIFY(window.tunnelConnected);
            }
            window.CheckVpnState();
            w.platform->clearRequests();
            w.host.adapterList = trouble;
            window.CheckVpnState();
            QVERIFY(!window.tunnelConnected);
            QCOMPARE(reportOperations(w).first(), trouble.empty() ? QStringLiteral("updateTunnelAndTapState0")
                                                                    : QStringLiteral("tunnelAlarmData1"));
            QVERIFY(reportOperations(w).contains(QStringLiteral("tunnelAlarmData1")));
        }
    }
};

QTEST_MAIN(TestTunnelReports)
#include "tst_tunnelreports.moc"
