// One ReportState tick of a bound main window against an in-process simulator: the time the GUI
// thread is blocked, next to the bare exchanges of the very same requests (platformExchange, no
// reply handling, no widgets). The difference is what the client adds to the network time:
// reading the replies, rebuilding the gateway tree and replacing the device status cells.
//
// Usage: bench_reporttick [ticks]   (default 60)

#include "bench/benchsupport.h"
#include "api/operations.h"
#include "api/platformendpoint.h"
#include "api/platformexchange.h"
#include "api/sessiontoken.h"
#include "mainwindow/mainwindow.h"
#include "sim/platformsimulator.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const QString kUser = QStringLiteral("demo");
const QString kPassword = QStringLiteral("Demo@2026");
const QString kTap = QStringLiteral("TAP-DEMO-0001");
const QString kTapPassword = QStringLiteral("Tap@0001");
const QString kBusyGateway = QStringLiteral("KV2410A0001"); // a full device page of 25

QTreeWidgetItem *gatewayItem(MainWindow &window, const QString &serial)
{
    for (int i = 0; window.rootItem && i < window.rootItem->childCount(); ++i) {
        if (window.rootItem->child(i)->text(0) == serial)
            return window.rootItem->child(i);
    }
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    bench::GuiBench environment(argc, argv);
    const int ticks = bench::countArgument(argc, argv, 60, 5);
    sim::PlatformSimulator platform(sim::demoWorld(), sim::demoServerCertificatePem(), sim::demoServerKeyPem());
    if (!environment.ready || !bench::startDemoPlatform(platform))
        return 2;

    // Signed in and bound through the bind page, one gateway chosen: 30 gateways in the tree and
    // 25 devices in the table, as a user sees them.
    MainWindow window;
    const TokenReply token = requestToken(kUser, kPassword);
    if (!token.token) {
        std::fprintf(stderr, "no session token\n");
        return 2;
    }
    window.sessionToken = *token.token;
    window.userName = kUser;
    window.userPassword = kPassword;
    window.ui->b_tap_LineEdit->setText(kTap);
    window.ui->b_tap_pswd_lineEdit->setText(kTapPassword);
    window.on_btn_bound_tap_clicked();
    window.watchdogTimer->stop();
    window.reportTimer->stop();
    window.show();
    QCoreApplication::processEvents();
    QTreeWidgetItem *busy = gatewayItem(window, kBusyGateway);
    if (window.tapSerial != kTap.toUtf8() || !busy) {
        std::fprintf(stderr, "the binding failed\n");
        return 2;
    }
    emit window.ui->treeWidget->itemClicked(busy, 0);
    if (window.deviceIdList.size() != 25) {
        std::fprintf(stderr, "the device table was not filled\n");
        return 2;
    }
    window.tunnelConnected = true;

    // The requests of one tick, taken from what the simulator receives.
    platform.clearRequests();
    window.ReportState();
    std::vector<PlatformRequest> tickRequests;
    QStringList operations;
    for (const sim::RecordedRequest &recorded : platform.requests()) {
        PlatformRequest request;
        request.operation = recorded.operation.toUtf8();
        request.query = "?" + recorded.rawQuery;
        tickRequests.push_back(request);
        operations.append(recorded.operation);
    }

    std::vector<double> tickSeconds;
    std::vector<double> bareSeconds;
    QElapsedTimer timer;
    for (int i = 0; i < ticks; ++i) {
        platform.clearRequests();
        timer.start();
        window.ReportState();
        tickSeconds.push_back(double(timer.nsecsElapsed()) / 1e9);
        QCoreApplication::processEvents();

        timer.start();
        for (const PlatformRequest &request : tickRequests) {
            if (!platformExchange(request)) {
                std::fprintf(stderr, "a bare exchange failed\n");
                return 2;
            }
        }
        bareSeconds.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    if (window.rootItem->childCount() != 30) {
        std::fprintf(stderr, "the refreshed tree shows %d gateways\n", window.rootItem->childCount());
        return 2;
    }

    const double tickMedian = bench::percentile(tickSeconds, 0.5);
    const double bareMedian = bench::percentile(bareSeconds, 0.5);
    std::printf("ReportState tick against the in-process simulator, %d ticks (30 gateways, 25 devices)\n", ticks);
    std::printf("  exchanges per tick: %d (%s)\n\n", int(tickRequests.size()),
                qPrintable(operations.join(QStringLiteral(", "))));
    std::printf("  %-36s %10s %10s %10s\n", "", "median", "p90", "max");
    std::printf("  %-36s %7.2f ms %7.2f ms %7.2f ms\n", "ReportState (GUI thread blocked)", tickMedian * 1e3,
                bench::percentile(tickSeconds, 0.9) * 1e3, bench::percentile(tickSeconds, 1.0) * 1e3);
    std::printf("  %-36s %7.2f ms %7.2f ms %7.2f ms\n", "bare platformExchange, same requests", bareMedian * 1e3,
                bench::percentile(bareSeconds, 0.9) * 1e3, bench::percentile(bareSeconds, 1.0) * 1e3);
    std::printf("\n  added by the client per tick (median difference): %.2f ms (%.0f%% of the bare time)\n",
                (tickMedian - bareMedian) * 1e3, bareMedian > 0 ? (tickMedian - bareMedian) / bareMedian * 100 : 0.0);
    platform.stop();
    return 0;
}
