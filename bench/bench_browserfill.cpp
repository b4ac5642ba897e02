// Filling the browser's widgets from replies already received: the gateway tree from a gateway
// page (parse included, as fillGatewayTree takes the reply text) and the device table from a
// parsed devicesList reply. Medians over many runs on a shown main window (offscreen platform
// unless QT_QPA_PLATFORM says otherwise), then the tree fill for 1,000 / 5,000 / 10,000 gateways
// to show that it grows linearly. The 10,000-gateway fill must stay under 0.5 s.
//
// Usage: bench_browserfill [runs]   (default 200 for the page-sized fills)

#include "bench/benchsupport.h"
#include "api/platformreply.h"
#include "mainwindow/mainwindow.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

constexpr double kLimitSeconds = 0.5;

QByteArray gatewayPage(int rows)
{
    QByteArray reply = "{\"code\":100,\"msg\":\"ok\",\"page\":{\"size\":30,\"count\":" + QByteArray::number(rows) +
                       ",\"index\":1},\"data\":[";
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            reply += ',';
        reply += "{\"gatewaySn\":\"KV2410A" + QByteArray::number(i).rightJustified(5, '0') +
                 "\",\"tunnelOnline\":" + QByteArray::number(i % 3 ? 1 : 0) +
                 ",\"customerId\":1001,\"gatewayName\":\"泵站网关-" + QByteArray::number(i) +
                 "\",\"gatewayOnline\":1,\"siteName\":\"苏州工业园区" + QByteArray::number(i) + "号泵站\"}";
    }
    return reply + "]}";
}

QByteArray devicePage(int rows)
{
    QByteArray reply = "{\"code\":100,\"msg\":\"ok\",\"page\":{\"size\":25,\"count\":" + QByteArray::number(rows) +
                       ",\"index\":1},\"data\":[";
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            reply += ',';
        reply += "{\"deviceId\":" + QByteArray::number(10001 + i) + ",\"deviceName\":\"PLC控制柜-" +
                 QByteArray::number(i) + "\",\"deviceClassify\":" + QByteArray::number(i % 7) +
                 ",\"realIp\":\"192.168.1." + QByteArray::number(10 + i) + "\",\"virtualIp\":\"10.8.11." +
                 QByteArray::number(10 + i) + "\",\"deviceOnline\":" + QByteArray::number(i % 5 == 3 ? 0 : 1) + "}";
    }
    return reply + "]}";
}

double median(const std::vector<double> &values)
{
    return bench::percentile(values, 0.5);
}

// Seconds of each run of fn; prepare runs before each, untimed.
std::vector<double> timeRuns(int runs, const std::function<void()> &prepare, const std::function<void()> &fn)
{
    std::vector<double> seconds;
    seconds.reserve(size_t(runs));
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        prepare();
        timer.start();
        fn();
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
        // Let the window catch up (paint, deferred deletes) outside the measurement.
        QCoreApplication::processEvents();
    }
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    bench::GuiBench environment(argc, argv);
    if (!environment.ready)
        return 2;
    const int runs = bench::countArgument(argc, argv, 200, 5);
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();

    const QByteArray gateways30 = gatewayPage(30);
    const QByteArray devices25 = devicePage(25);
    const JsonDocument devicesDocument = JsonDocument::parse(devices25);
    auto nothing = [] {};

    const double tree30 = median(timeRuns(runs, nothing, [&] { window.fillGatewayTree(gateways30); }));
    const double table25 = median(timeRuns(
        runs,
        [&] {
            window.deviceIdList.clear();
            window.ui->tableWidget->clearContents();
        },
        [&] { window.fillDeviceTable(devicesDocument.root(), 1); }));
    if (window.rootItem->childCount() != 30 || window.deviceIdList.size() != 25) {
        std::fprintf(stderr, "the fills did not show the replies\n");
        return 2;
    }

    std::printf("Browser fills, median of %d runs (window shown, %s platform)\n", runs,
                qPrintable(QGuiApplication::platformName()));
    std::printf("  %-44s %10s %14s\n", "fill", "median", "per row");
    std::printf("  %-44s %8.3f ms %11.2f us\n", "fillGatewayTree, 30 gateways (incl. parse)", tree30 * 1e3,
                tree30 * 1e6 / 30);
    std::printf("  %-44s %8.3f ms %11.2f us\n", "fillDeviceTable, 25 devices (parsed reply)", table25 * 1e3,
                table25 * 1e6 / 25);

    std::printf("\nGateway tree from one large reply (median of 9 runs)\n");
    std::printf("  %-12s %12s %14s %10s %15s\n", "gateways", "median", "per gateway", "vs 1,000", "with repaint");
    double perRowAtThousand = 0.0;
    double atTenThousand = 0.0;
    double worstRatio = 0.0;
    for (const int rows : {1000, 5000, 10000}) {
        const QByteArray reply = gatewayPage(rows);
        const double seconds = median(timeRuns(9, nothing, [&] { window.fillGatewayTree(reply); }));
        if (window.rootItem->childCount() != rows) {
            std::fprintf(stderr, "the tree shows %d of %d gateways\n", window.rootItem->childCount(), rows);
            return 2;
        }
        const double perRow = seconds / rows;
        if (rows == 1000)
            perRowAtThousand = perRow;
        const double ratio = perRow / perRowAtThousand;
        worstRatio = std::max(worstRatio, ratio);
        if (rows == 10000)
            atTenThousand = seconds;
        // What the user waits for: the fill and the first layout and paint of the tree.
        const double shown = median(timeRuns(9, nothing, [&] {
            window.fillGatewayTree(reply);
            window.ui->treeWidget->viewport()->repaint();
            QCoreApplication::processEvents();
        }));
        std::printf("  %-12d %9.2f ms %11.2f us %9.2fx %12.2f ms\n", rows, seconds * 1e3, perRow * 1e6, ratio,
                    shown * 1e3);
    }

    // Linear: the cost per gateway at 10,000 stays within twice that at 1,000.
    const bool linear = worstRatio < 2.0;
    const bool fast = atTenThousand < kLimitSeconds;
    std::printf("\n  linear (per-gateway cost within 2x of the 1,000 figure): %s\n", linear ? "yes" : "NO");
    std::printf("  10,000 gateways under %.1f s: %s (%.3f s)\n", kLimitSeconds, fast ? "yes" : "NO", atTenThousand);
    return linear && fast ? 0 : 1;
}
