// The management channel: judging notifications, the time from a CONNECTED notification on the
// wire to the tunnel shown as up (the platform exchanges that follow are not counted), and floods
// of 10,000 lines: the platform calls they cause and the longest the event loop stood still.
#include "api/sessiontoken.h"
#include "bench/benchsupport.h"
#include "mainwindow/mainwindow.h"
#include "support/fakehostsystem.h"
#include "tunnel/logic/managementchunk.h"
#include "ui_mainwindow.h"

#include <QEventLoop>
#include <QLabel>
#include <QTimer>

#include <chrono>

namespace {
using Clock = std::chrono::steady_clock;

void judgeMillion()
{
    const QByteArrayList chunks = {
        ">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.6,10.213.0.1,1194,,,\r\n",
        ">STATE:1700000001,RECONNECTING,connection-reset,,,,,\r\n",
        ">STATE:1700000002,TCP_CONNECT,,,,,,\r\n>STATE:1700000002,RECONNECTING,connection-failed,,,,,\r\n",
        ">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n"
        "SUCCESS: real-time state notification set to ON\r\n1700000000,WAIT,,,,,,\r\nEND\r\n",
        ">LOG:1700000003,,MANAGEMENT: Client connected from [AF_INET]127.0.0.1:25341\r\n",
    };
    constexpr int rounds = 1000000;
    int events = 0;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        for (const ManagementChunk &line : judgeManagementRead(chunks.at(i % chunks.size())))
            events += line.connected() + line.reconnecting();
    }
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    std::printf("judging: %d reads in %.1f ms, %.0f ns per read (%d events)\n", rounds, ns / 1e6,
                ns / rounds, events);
}

// Time of the status report's log line: the connected transition writes it after the picture,
// the file and the meter step, right before the report's exchange.
Clock::time_point reportLoggedAt;
QEventLoop *waiting = nullptr;

void onMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message == QStringLiteral("网关在线，TAP在线")) {
        reportLoggedAt = Clock::now();
        if (waiting)
            waiting->quit();
    }
}
// Sends 10,000 lines cycling through kinds, then last, and turns the event loop until done() holds:
// prints the platform calls made meanwhile and the longest gap between two turns of the loop.
template <typename Done>
bool flood(MainWindow &window, FakeHostSystem &host, sim::PlatformSimulator &platform, const char *name,
           const QByteArrayList &kinds, const QByteArray &last, Done done)
{
    (void)window;
    constexpr int lines = 10000;
    QByteArray bytes;
    for (int i = 0; i < lines; ++i)
        bytes += kinds.at(i % kinds.size());
    const int callsBefore = platform.requests().size();
    QEventLoop loop;
    double longestGapMs = 0;
    Clock::time_point lastTurn = Clock::now();
    const Clock::time_point start = lastTurn;
    QTimer turns;
    turns.setInterval(1);
    QObject::connect(&turns, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        longestGapMs = std::max(longestGapMs, std::chrono::duration<double, std::milli>(now - lastTurn).count());
        lastTurn = now;
        if (done())
            loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    turns.start();
    host.management.send(bytes + last);
    loop.exec();
    if (!done()) {
        std::fprintf(stderr, "%s: the flood was not worked off\n", name);
        return false;
    }
    QStringList calls;
    const QList<sim::RecordedRequest> requests = platform.requests();
    for (int i = callsBefore; i < requests.size(); ++i)
        calls << requests.at(i).operation;
    std::printf("flood of %d lines + 1 at a %s: %.0f ms to work off, longest event-loop gap %.1f ms (goal < 200 ms),\n"
                "  %d platform calls: %s\n",
                lines, name, std::chrono::duration<double, std::milli>(Clock::now() - start).count(), longestGapMs,
                int(calls.size()), qPrintable(calls.join(QLatin1Char(' '))));
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    const int rounds = bench::countArgument(argc, argv, 200, 10);
    judgeMillion();

    bench::GuiBench gui(argc, argv);
    sim::PlatformSimulator platform(sim::demoWorld(), sim::demoServerCertificatePem(), sim::demoServerKeyPem());
    if (!gui.ready || !bench::startDemoPlatform(platform))
        return 1;
    FakeHostSystem host;
    host.management.setCurrentState("1700000000,WAIT,,,,,,");
    MainWindow window;
    window.tapSerial = "TAP-DEMO-0001";
    window.tapPassword = "Tap@0001";
    // Reconnect attempts check the demo customer's project switch in a session of their own.
    window.customerId = 1001;
    window.sessionToken = requestToken(QStringLiteral("demo"), QStringLiteral("Demo@2026")).token.value_or(QByteArray());
    window.lastProfileSerial = window.tapSerial;
    window.lastProfileText = "client\r\n";
    if (!window.launchTunnel(window.tapSerial, window.tapPassword)) {
        std::fprintf(stderr, "the fake tunnel program did not answer\n");
        return 1;
    }
    qInstallMessageHandler(onMessage);

    std::vector<double> latencies;
    for (int i = 0; i < rounds; ++i) {
        window.tunnelConnected = false;
        window.tunnelTapList.clear();
        window.tunnelInfoList.clear();
        window.tunnelPidList.clear();
        window.ui->siteRunstatus->clear();
        QEventLoop loop;
        waiting = &loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        host.management.send(">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.6,127.0.0.1,1194,,,\r\n");
        loop.exec();
        waiting = nullptr;
        if (!window.tunnelConnected || window.ui->siteRunstatus->pixmap(Qt::ReturnByValue).isNull()) {
            std::fprintf(stderr, "round %d: no connected transition\n", i);
            return 1;
        }
        latencies.push_back(std::chrono::duration<double, std::micro>(reportLoggedAt - host.management.lastSentAt()).count());
    }
    std::printf("CONNECTED on the wire to the tunnel shown up (before the report's exchange), %d rounds:\n"
                "  median %.0f us, p90 %.0f us, max %.0f us (goal < 1000 us)\n",
                rounds, bench::percentile(latencies, 0.5), bench::percentile(latencies, 0.9),
                bench::percentile(latencies, 1.0));

    // A connected tunnel gets 10,000 lines that change nothing, then its fall.
    const QByteArrayList running = {">PASSWORD:Auth-Token:c2Vzc2lvbg==\r\n", ">LOG:1700000005,I,TLS: soft reset\r\n",
                                    ">STATE:1700000005,CONNECTED,SUCCESS,10.8.0.6,127.0.0.1,1194,,,\r\n",
                                    ">STATE:1700000005,GET_CONFIG,,,,,,\r\n", ">BYTECOUNT:1024,2048\r\n"};
    if (!flood(window, host, platform, "connected tunnel", running,
               ">STATE:1700000006,RECONNECTING,ping-restart,,,,,\r\n", [&] { return !window.tunnelConnected; }))
        return 1;
    // A reconnect attempt against a dead server: its tunnel program's tries and failures, then CONNECTED.
    window.TryReconnectVPN();
    const QByteArrayList retrying = {">STATE:1700000007,TCP_CONNECT,,,,,,\r\n",
                                     ">STATE:1700000007,RECONNECTING,connection-failed,,,,,\r\n",
                                     ">STATE:1700000007,WAIT,,,,,,\r\n",
                                     ">LOG:1700000007,W,TCP: connect to [AF_INET]10.0.0.1:1194 failed\r\n"};
    if (!flood(window, host, platform, "reconnect attempt", retrying,
               ">STATE:1700000008,CONNECTED,SUCCESS,10.8.0.6,127.0.0.1,1194,,,\r\n", [&] { return window.tunnelConnected; }))
        return 1;
    return 0;
}
