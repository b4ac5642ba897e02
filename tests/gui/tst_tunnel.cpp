// The tunnel of the bound TAP against a fake tunnel program: opening it (checks, files, launch,
// management hand-shake), the connected transition, drops and reconnects, the connect time-out,
// cancelling, the switch, the watchdog, and stopping it on close.
#include "tunnel/logic/failureadvice.h"
#include "support/bindinghelpers.h"
#include "support/boundwindow.h"
#include "support/tunnelchecks.h"
#include "tunnel/logic/managementendpoint.h"
#include "tunnel/logic/startfailure.h"
#include "tunnel/waitreconnect.h"
#include "tunnel/waittingwidget.h"
#include "ui/resources.h"
#include "ui_waitreconnect.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>


using bindingtest::fileBytes;

namespace {
const QString switchOn = QStringLiteral(":/image/开.png");
const QString switchOff = QStringLiteral(":/image/关.png");





// The tunnel switch as the user reaches it: on the TAP's own center-site page.
bool pressSwitch(BoundWindow &w)
{
    if (w.ui->gatewaySn_2->text() != demo::tap && !w.click(demo::tap))
        return false;
    QTest::mouseClick(w.ui->VpnControl, Qt::LeftButton);
    return true;
}

// The launch's "state on" and "state" were answered: what the test sends next follows them.
bool launchAnswered(BoundWindow &w, int commandsBefore)
{
    return QTest::qWaitFor([&] { return w.host.management.commands().size() >= commandsBefore + 2; });
}

// The connected tunnel falls: the reconnect cycle starts, its attempts meet a tunnel program that
// does not connect.
bool fallIntoCycle(BoundWindow &w)
{
    w.host.management.setCurrentState(fakeTunnel::waitState);
    w.host.management.send(fakeTunnel::dropNotification);
    return QTest::qWaitFor([&] { return w.window.reconnectInProgress; });
}

bool isDown(BoundWindow &w)
{
    return !w.window.tunnelConnected && w.window.tunnelTapList.isEmpty() &&
           showsPicture(w.ui->siteRunstatus, picture::off) && isIcon(w.ui->VpnControl->icon(), switchOff);
}
} // namespace

class TestTunnel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void bindingOpensAndConnects()
    {
        BoundWindow w;
        QVERIFY(w.start());
        MainWindow &window = w.window;
        const FakeHostSystem::InterpreterStart start = w.host.startedInterpreters.value(0);
        QCOMPARE(w.host.startedInterpreters.size(), 1);
        QCOMPARE(start.tapSerial, demo::tap);
        QVERIFY(!start.managementPasswordFile.isEmpty() && fileMode(start.managementPasswordFile) == 0600);
        // The tunnel was up before "state on" took effect: only the state query tells.
        QCOMPARE(w.host.management.commands(), QByteArrayList({"state on", "state"}));
        QCOMPARE(w.host.management.passwordsRejected(), 0);

        QCOMPARE(fileBytes(QStringLiteral("TAP-DEMO-0001.ovpn")),
                 QByteArray("client\r\ndev tun\r\nproto udp\r\nremote 127.0.0.1 1194\r\nresolv-retry infinite\r\n"
                            "nobind\r\npersist-key\r\npersist-tun\r\nca ca.crt\r\nauth-user-pass vpnconfig.ini\r\n"
                            "remote-cert-tls server\r\ncomp-lzo\r\nverb 3\r\nlog-append logs/openvpn.log\r\n"));
        QCOMPARE(fileBytes(QStringLiteral("ca.crt")), sim::demoCaPem());
        QCOMPARE(fileBytes(QStringLiteral("vpnconfig.ini")), QByteArray("1"));
        for (const char *name : {"TAP-DEMO-0001.ovpn", "ca.crt", "vpnconfig.ini"})
            QCOMPARE(fileMode(QString::fromLatin1(name)), 0600);
        QVERIFY(QFileInfo(QStringLiteral("logs")).isDir());

        const QString pid = QString::number(window.tunnelProcess->processId());
        QCOMPARE(window.tunnelTapList + window.tunnelInfoList + window.tunnelPidList,
                 QStringList({demo::tap, QStringLiteral("Tap@0001"), pid}));
        QVERIFY(showsPicture(w.ui->siteRunstatus, picture::on) && isIcon(w.ui->VpnControl->icon(), switchOn));
        QVERIFY(!window.waitWidget->isVisible() && !window.connectTimeoutTimer->isActive());
        QCOMPARE(reportedTunnelStates(w.platform.simulator()), QList<int>{1});
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>()); // no alarm was open

        // A second launch of the connected TAP refuses and leaves no password behind.
        QVERIFY(!window.launchTunnel(window.tapSerial, window.tapPassword));
        QCOMPARE(w.boxes.texts(), QStringList(QStringLiteral("该通道已连接")));
        QCOMPARE(fileBytes(QStringLiteral("vpnconfig.ini")), QByteArray("1"));
        QCOMPARE(w.host.startedInterpreters.size(), 1);
    }

    void openRefusals_data()
    {
        QTest::addColumn<QString>("operation"); // faulted operation ("site": the site shows 否)
        QTest::addColumn<sim::Fault>("trouble");
        QTest::addColumn<QString>("text");      // the box; empty: the launch was reached
        QTest::addColumn<QStringList>("sent");  // tunnel operations sent

        const QStringList all{QStringLiteral("getCustomerInfo"), QStringLiteral("getConfigParam"),
                              QStringLiteral("getDownload")};
        const QString failed = QStringLiteral("请求失败，请重试");
        QTest::newRow("site off") << QStringLiteral("site") << sim::Fault() << QStringLiteral("该站点尚未开启，请先开启站点")
                                  << QStringList();
        QTest::newRow("customer off") << QStringLiteral("getCustomerInfo")
                                      << replyBody(R"({"code":100,"data":{"enabled":0}})")
                                      << QStringLiteral("该项目尚未开启，请先开启项目") << QStringList(all.mid(0, 1));
        QTest::newRow("customer unreachable") << QStringLiteral("getCustomerInfo") << droppedConnection()
                                              << QStringLiteral("网络连接失败，请检测您的网络状态后重试")
                                              << QStringList(all.mid(0, 1));
        QTest::newRow("no requestWay") << QStringLiteral("getConfigParam")
                                       << replyBody(R"({"code":100,"data":{"port":1194,"ip":"10.0.0.1"}})") << failed
                                       << QStringList(all.mid(0, 2));
        QTest::newRow("session expired") << QStringLiteral("getConfigParam") << fault(10002) << failed
                                         << QStringList(all.mid(0, 2) << QStringLiteral("getLintraToken") << all.at(1));
        QTest::newRow("download fails") << QStringLiteral("getDownload") << droppedConnection() << failed << all;
        QTest::newRow("download error page") << QStringLiteral("getDownload")
                                             << replyBody("{\"code\":500,\"msg\":\"error\"}") << QString() << all;
    }

    void openRefusals()
    {
        QFETCH(QString, operation);
        QFETCH(sim::Fault, trouble);
        QFETCH(QString, text);
        QFETCH(QStringList, sent);
        BoundWindow w;
        QVERIFY(w.start());
        const QByteArray profile = fileBytes(QStringLiteral("TAP-DEMO-0001.ovpn"));
        if (operation == QLatin1String("site"))
            w.ui->siteEnabled->setText(QStringLiteral("否"));
        else
            w.platform->setFault(operation, trouble);
        w.window.reconnectSuppressed = true;

        w.window.openTunnel();
        QStringList requested;
        for (const sim::RecordedRequest &request : w.platform->requests())
            requested << request.operation;
        QCOMPARE(requested, sent);
        // Reaching the launch shows itself by the refusal of the connected TAP.
        QCOMPARE(w.boxes.texts(), QStringList(text.isEmpty() ? QStringLiteral("该通道已连接") : text));
        const bool failure = text.isEmpty() || text.startsWith(QStringLiteral("网络连接失败"));
        QCOMPARE(w.boxes.titles(), QStringList(failure ? QStringLiteral("错误") : QStringLiteral("提示")));
        // Refused, the switch-off mark is set: nothing relaunches until the user switches on.
        QCOMPARE(w.window.reconnectSuppressed, !text.isEmpty());
        if (text.isEmpty())
            QCOMPARE(fileBytes(QStringLiteral("ca.crt")), QByteArray("{\"code\":500,\"msg\":\"error\"}"));
        else if (sent.size() < 3)
            QCOMPARE(fileBytes(QStringLiteral("TAP-DEMO-0001.ovpn")), profile);
    }

    void hostileSerialNeverReachesAFileName()
    {
        BoundWindow w;
        QVERIFY(w.start());
        for (const char *serial : {"../../.bashrc", "-config", "a\nb"}) {
            w.window.tapSerial = serial;
            w.window.openTunnel();
            QCOMPARE(w.boxes.last().text, QStringLiteral("请求失败，请重试"));
        }
        QCOMPARE(w.requestCount(QStringLiteral("getConfigParam")), 0);
        QCOMPARE(w.host.startedInterpreters.size(), 1);
    }

    void dropReconnectAndRestartRequest()
    {
        BoundWindow w;
        QVERIFY(w.start());
        MainWindow &window = w.window;
        const QString firstPid = window.tunnelPidList.value(0);
        w.host.management.setCurrentState(fakeTunnel::waitState);

        w.host.management.send(fakeTunnel::dropNotification);
        QTRY_VERIFY(isDown(w));
        QCOMPARE(w.host.killedProcessIds, QStringList(firstPid));
        QVERIFY(window.reconnectTimer->isActive() && window.reconnectTimer->interval() == 60000 &&
                window.reconnectInProgress && window.waitReconnect->isVisible());
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>{1});
        QCOMPARE(window.tunnelStateCode, 2);

        // Ten attempts, each a fresh launch that does not connect; the dialog counts from 1. Each
        // attempt's tunnel program gives up tries of its own: one probe per attempt, no more alarms,
        // and the far end is asked once, when the tenth fails.
        const auto failTries = [&] {
            const int probes = w.requestCount(QStringLiteral("getLintraToken"));
            w.host.management.send(QByteArray(">STATE:1,TCP_CONNECT,,,,,,\r\n>STATE:1,RECONNECTING,connection-failed,,,,,\r\n")
                                       .repeated(3));
            QTRY_COMPARE(w.requestCount(QStringLiteral("getLintraToken")), probes + 1);
        };
        for (int attempt = 1; attempt <= 10; ++attempt) {
            window.TryReconnectVPN();
            const Ui::WaitReConnect *dialog = window.waitReconnect->ui;
            QCOMPARE(dialog->Wait_1->text() + dialog->Wait_Num->text() + dialog->Wait_2->text(),
                     QStringLiteral("尝试第 %1次重连中...").arg(attempt));
            QTRY_VERIFY(w.host.management.clientAuthenticated());
            if (attempt >= 9)
                failTries();
            QCOMPARE(w.requestCount(QStringLiteral("clientRestartProject")), attempt == 10 ? 1 : 0);
        }
        QCOMPARE(window.reconnectCount, 10);
        QCOMPARE(w.host.startedInterpreters.size(), 11);
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>{1});
        window.TryReconnectVPN(); // the eleventh: the far end was asked in this cycle already
        QCOMPARE(w.requestCount(QStringLiteral("clientRestartProject")), 1);
        QVERIFY(!window.waitWidget->isVisible() && !window.connectTimeoutTimer->isActive());

        // The far end is back: the next attempt connects (announced in one write behind two other
        // states, as OpenVPN does) and closes the alarm.
        window.TryReconnectVPN();
        QTRY_VERIFY(w.host.management.clientAuthenticated());
        w.host.management.send(">STATE:1,ASSIGN_IP,,10.8.0.6,,,,\r\n>STATE:1,ADD_ROUTES,,,,,,\r\n>STATE:1," +
                               fakeTunnel::connectedState.mid(11) + "\r\n");
        QTRY_VERIFY(window.tunnelConnected);
        QCOMPARE(alarmTypes(w.platform.simulator()).last(), 3);
        QVERIFY(!window.reconnectTimer->isActive() && !window.reconnectInProgress &&
                !window.waitReconnect->isVisible() && window.reconnectCount == 0 && window.tunnelStateCode == 0);
        QCOMPARE(window.tunnelTapList, QStringList(demo::tap));
    }

    // The tunnel program is stopped before the box, so the drops behind the first in the same write
    // bring no second box.
    void dropWithPlatformUnreachable()
    {
        BoundWindow w;
        QVERIFY(w.start());
        int killsAtBox = -1;
        w.boxes.setOnPresent([&](const MessageBoxes::Request &) { killsAtBox = w.host.killedProcessIds.size(); });
        w.platform->setFault(QStringLiteral("getLintraToken"), droppedConnection());
        w.host.management.send(fakeTunnel::dropNotification.repeated(3));
        QTRY_VERIFY(isDown(w));
        QCOMPARE(w.boxes.titles() + w.boxes.texts(),
                 QStringList({QStringLiteral("错误"), QStringLiteral("网络连接失败，请检测您的网络状态后重试")}));
        QCOMPARE(killsAtBox, 1);
        QVERIFY(!w.window.reconnectTimer->isActive() && !w.window.reconnectInProgress && w.window.reconnectCount == 0);
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>{1});
    }

    // A connected tunnel stays up through what OpenVPN says while it runs: renegotiations with
    // session tokens, holds, notes, states cut by read boundaries, a second CONNECTED. Only a
    // RECONNECTING, whatever its reason, is its fall.
    void connectedTunnelStaysUp()
    {
        BoundWindow w;
        QVERIFY(w.start());
        MainWindow &window = w.window;
        const QStringList lists = window.tunnelTapList + window.tunnelInfoList + window.tunnelPidList;
        w.host.management.send(">PASSWORD:Auth-Token:c2Vzc2lvbi10b2tlbg==\r\n>HOLD:Waiting for hold release:0\r\n"
                               ">INFO:renegotiation\r\n>NOTIFY:info,remote-exit,EXIT\r\n>STATE:2,GET_CONFIG,,,,,,\r\n"
                               ">STATE:2,CONNECTED,SUC");
        QTRY_VERIFY(window.managementLines.pendingBytes() > 0);
        QVERIFY(!window.waitWidget->isVisible() && !window.connectTimeoutTimer->isActive());
        w.host.management.send("CESS,10.8.0.6,127.0.0.1,1194,,,\r\n" + QByteArray("1,CONNECTED,SUCCESS,10.8.0.6,,,,\r\n"));
        QTRY_COMPARE(window.managementLines.pendingBytes(), 0);
        QVERIFY(!window.waitWidget->isVisible() && !window.connectTimeoutTimer->isActive());
        QCOMPARE(window.tunnelTapList + window.tunnelInfoList + window.tunnelPidList, lists);
        QCOMPARE(reportedTunnelStates(w.platform.simulator()), QList<int>{1});

        // A dead server over UDP: ping-restart.
        w.host.management.setCurrentState(fakeTunnel::waitState);
        w.host.management.send(">STATE:3,RECONNECTING,ping-restart,,,,,\r\n");
        QTRY_VERIFY(isDown(w) && window.reconnectInProgress && window.waitReconnect->isVisible());
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>{1});

        // A line cut in two by a read boundary counts when its end arrives.
        const int commands = w.host.management.commands().size();
        window.TryReconnectVPN();
        QVERIFY(launchAnswered(w, commands));
        w.host.management.send(">STATE:4,CONNEC");
        QTRY_VERIFY(window.managementLines.pendingBytes() > 0);
        w.host.management.send("TED,SUCCESS,10.8.0.6,127.0.0.1,1194,,,\r\n");
        QTRY_VERIFY(window.tunnelConnected);
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>({1, 3}));

        // A flood: one fall, one probe, one alarm.
        const int probes = w.requestCount(QStringLiteral("getLintraToken"));
        w.host.management.send(QByteArray(">STATE:5,CONNECTED,SUCCESS,10.8.0.6,,,,\r\n").repeated(5000) +
                               QByteArray(">STATE:6,RECONNECTING,connection-reset,,,,,\r\n").repeated(5000));
        QTRY_VERIFY(isDown(w));
        QCOMPARE(w.requestCount(QStringLiteral("getLintraToken")), probes + 1);
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>({1, 3, 1}));
    }

    // What the tunnel program says while a handler waits for the platform is handled afterwards,
    // in order: a CONNECTED that arrives during an attempt's reachability probe is not lost.
    void linesDuringAPlatformWait()
    {
        BoundWindow w;
        QVERIFY(w.start());
        MainWindow &window = w.window;
        QVERIFY(fallIntoCycle(w));
        const int commands = w.host.management.commands().size();
        window.TryReconnectVPN();
        QVERIFY(launchAnswered(w, commands));

        // The probe of the failed try waits for a slow platform; the connection comes meanwhile.
        sim::Fault slow;
        slow.delayMs = 1500;
        slow.times = 1;
        w.platform->setFault(QStringLiteral("getLintraToken"), slow);
        QTimer during;
        QObject::connect(&during, &QTimer::timeout, [&] {
            if (window.attemptFailureHandled) {
                during.stop();
                w.host.management.send(">STATE:2," + fakeTunnel::connectedState.mid(11) + "\r\n");
            }
        });
        during.start(5);
        w.host.management.send(">STATE:1,RECONNECTING,connection-failed,,,,,\r\n");
        QTRY_VERIFY(window.tunnelConnected);
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>({1, 3}));
    }

    // A cycle starts at a fall with a fresh restart latch and ends with a cancel; after the tenth
    // silent attempt the far end is asked once. The platform's switches hold for every attempt, and
    // a refused start leaves the switch off for good.
    void reconnectCycleRules()
    {
        BoundWindow w;
        QVERIFY(w.start());
        MainWindow &window = w.window;
        QVERIFY(fallIntoCycle(w));
        for (int tick = 1; tick <= 12; ++tick) {
            window.TryReconnectVPN();
            QCOMPARE(w.requestCount(QStringLiteral("clientRestartProject")), tick > 10 ? 1 : 0);
        }
        const int launches = w.host.startedInterpreters.size();
        QTest::mouseClick(window.waitReconnect->ui->toolButton, Qt::LeftButton);
        QVERIFY(!window.reconnectTimer->isActive() && !window.reconnectInProgress && window.reconnectSuppressed);
        window.TryReconnectVPN();
        QCOMPARE(w.host.startedInterpreters.size(), launches);

        // Switched on against a project switched off: refused, the switch stays off, the watchdog
        // finds the adapter idle and starts nothing.
        const sim::Fault projectOff = replyBody(R"({"code":100,"data":{"enabled":0}})");
        w.platform->setFault(QStringLiteral("getCustomerInfo"), projectOff);
        QVERIFY(pressSwitch(w));
        QCOMPARE(w.boxes.texts().last(), QStringLiteral("该项目尚未开启，请先开启项目"));
        QVERIFY(isDown(w) && window.reconnectSuppressed);
        w.host.adapterList = {{QStringLiteral("TAP-Linux tun korvane0"), {QStringLiteral("0.0.0.0")}}};
        for (int tick = 0; tick < 2; ++tick) {
            window.CheckVpnState();
            window.TryReconnectVPN();
        }
        QCOMPARE(w.host.startedInterpreters.size(), launches);

        // Up again, down again: a fresh cycle whose attempt finds the project switched off.
        w.platform->clearFaults();
        w.host.management.setCurrentState(fakeTunnel::connectedState);
        QVERIFY(pressSwitch(w));
        QTRY_VERIFY(window.tunnelConnected);
        w.host.management.setCurrentState(fakeTunnel::waitState);
        w.host.management.send(fakeTunnel::dropNotification);
        QTRY_VERIFY(window.reconnectInProgress && window.reconnectCount == 0 && !window.serverRestartRequested);
        w.platform->setFault(QStringLiteral("getCustomerInfo"), projectOff);
        window.TryReconnectVPN();
        QCOMPARE(w.host.startedInterpreters.size(), launches + 1);
        QVERIFY(isDown(w) && !window.reconnectInProgress && window.reconnectSuppressed);
        QCOMPARE(w.boxes.texts().last(), QStringLiteral("该项目尚未开启，请先开启项目"));

        // A platform that does not answer the check is no refusal: the cycle ends as at a fall,
        // and the switch-off mark stays clear for the watchdog to start anew.
        window.reconnectSuppressed = false;
        window.startReconnectCycle();
        w.platform->setFault(QStringLiteral("getCustomerInfo"), droppedConnection());
        window.TryReconnectVPN();
        QCOMPARE(w.host.startedInterpreters.size(), launches + 1);
        QVERIFY(!window.reconnectInProgress && !window.reconnectSuppressed);
        QCOMPARE(w.boxes.texts().last(), QStringLiteral("网络连接失败，请检测您的网络状态后重试"));
    }

    void switchTimeoutAndCancel()
    {
        BoundWindow w;
        QVERIFY(w.start());
        MainWindow &window = w.window;
        w.platform->clearRequests();
        // Off from the tray while the panel shows another gateway: the bound TAP's tunnel goes.
        QVERIFY(w.click(QStringLiteral("KV2410A0001")));
        window.on_VpnControl_clicked();
        QVERIFY(isDown(w) && window.reconnectSuppressed && window.tunnelStateCode == 2);
        QCOMPARE(w.host.killedProcessIds.size(), 1);
        QCOMPARE(reportedTunnelStates(w.platform.simulator()).last(), 0);
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>{1});

        // Switched off stays off: reconnect ticks and the watchdog start nothing.
        window.TryReconnectVPN();
        window.CheckVpnState();
        QCOMPARE(w.host.startedInterpreters.size(), 1);
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>({1, 2}));

        // On again, but the tunnel never connects: the time-out runs from the launch, and what the
        // tunnel program says on its way (connects, failed tries) neither extends it nor starts a cycle.
        w.host.management.setCurrentState(fakeTunnel::waitState);
        const int commands = w.host.management.commands().size();
        QVERIFY(pressSwitch(w) && launchAnswered(w, commands));
        QVERIFY(window.waitWidget->isVisible() && window.connectTimeoutTimer->isActive() &&
                window.connectTimeoutTimer->interval() == 30000 && !window.reconnectSuppressed &&
                isIcon(w.ui->VpnControl->icon(), switchOn));
        const int probes = w.requestCount(QStringLiteral("getLintraToken"));
        const int remaining = window.connectTimeoutTimer->remainingTime();
        QTest::qWait(30);
        w.host.management.send(QByteArray(">STATE:1,TCP_CONNECT,,,,,,\r\n>STATE:1,RECONNECTING,connection-failed,,,,,\r\n")
                                   .repeated(3) + ">STATE:1,WAIT,,,,");
        QTRY_VERIFY(window.managementLines.pendingBytes() > 0); // everything before it was judged
        QVERIFY(window.connectTimeoutTimer->remainingTime() < remaining && !window.waitReconnect->isVisible());
        QCOMPARE(w.requestCount(QStringLiteral("getLintraToken")), probes);
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>({1, 2}));
        const QString launched = QString::number(window.tunnelProcess->processId());
        window.Vpn_Timeout();
        QCOMPARE(w.boxes.texts(), QStringList(QStringLiteral("    连接超时   ")));
        QCOMPARE(w.host.killedProcessIds.last(), launched);
        QVERIFY(isDown(w) && !window.waitWidget->isVisible() && !window.connectTimeoutTimer->isActive() &&
                !window.tunnelProcessStarted && !window.reconnectInProgress);
        // What the stopped program still says is not read; the watchdog starts no cycle.
        w.host.management.send(",,,\r\n>STATE:1,EXITING,SIGTERM,,,,,\r\n");
        w.host.adapterList = {{QStringLiteral("TAP-Linux tun korvane0"), {QStringLiteral("0.0.0.0")}}};
        window.CheckVpnState();
        QTest::qWait(50);
        QVERIFY(!window.connectTimeoutTimer->isActive() && !window.reconnectInProgress && w.boxes.count() == 1);
    }

    void watchdog()
    {
        BoundWindow w;
        QVERIFY(w.start());
        MainWindow &window = w.window;
        w.platform->clearRequests();

        // A connected tunnel's device has its address; nothing happens.
        w.host.adapterList = {{QStringLiteral("TAP-Linux tun korvane0"), {QStringLiteral("10.8.0.6")}}};
        window.CheckVpnState();
        QVERIFY(window.tunnelConnected && alarmTypes(w.platform.simulator()).isEmpty());

        // Platform unreachable: nothing more is sent or changed.
        w.platform->clearRequests();
        w.platform->setFault(QStringLiteral("getLintraToken"), droppedConnection());
        window.CheckVpnState();
        QCOMPARE(w.platform->requests().size(), 1);
        QVERIFY(window.tunnelConnected);
        w.platform->clearFaults();

        // The tunnel program was killed from outside: the adapter is idle.
        w.host.adapterList = {{QStringLiteral("TAP-Linux tun (created when the tunnel starts)"), {QStringLiteral("0.0.0.0")}}};
        w.host.management.setCurrentState(fakeTunnel::waitState);
        window.CheckVpnState(); // the recovery reloads page 1 as well
        QVERIFY(isDown(w) && window.reconnectInProgress && window.reconnectTimer->isActive() &&
                window.waitReconnect->isVisible());
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>({1, 2}));
        QCOMPARE(reportedTunnelStates(w.platform.simulator()).last(), 0);
        window.CheckVpnState(); // every second tick reacts
        QCOMPARE(w.host.killedProcessIds.size(), 1);
        QCOMPARE(alarmTypes(w.platform.simulator()), QList<int>({1, 2, 2}));

        // The adapter disappears: a box on the first, third, ... tick.
        w.host.adapterList.clear();
        for (int tick = 0; tick < 3; ++tick)
            window.CheckVpnState();
        QCOMPARE(w.boxes.texts(), QStringList({QStringLiteral("请检查TAP虚拟网卡是否存在并启用"), QStringLiteral("请检查TAP虚拟网卡是否存在并启用")}));
        // With the right to create the device the adapter text stands alone; without it the box
        // says how to get the right.
        QCOMPARE(w.boxes.last().informativeText, QString());
        w.host.tunRights = false;
        window.CheckVpnState();
        window.CheckVpnState();
        QCOMPARE(w.boxes.count(), 3);
        QCOMPARE(w.boxes.last().informativeText, tunRightsAdvice());
        // Switching on without an adapter only tells.
        window.on_VpnControl_clicked();
        QCOMPARE(w.boxes.titles().last() + w.boxes.texts().last(), QStringLiteral("网卡检测虚拟网卡不存在或禁用"));
        QCOMPARE(w.host.startedInterpreters.size(), 1);
    }

    void launchFailures()
    {
        BoundWindow w;
        QVERIFY(w.start());
        MainWindow &window = w.window;
        QVERIFY(pressSwitch(w));

        // No tunnel program installed: said at once, not after a time-out.
        w.host.interpreterExitOutput = "sh: 1: openvpn: not found\n";
        w.host.management.setCurrentState(fakeTunnel::waitState);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(pressSwitch(w));
        QTRY_COMPARE(w.boxes.texts(), QStringList(tunnelStartFailureText(TunnelStartFailure::ProgramMissing)));
        QVERIFY(clock.elapsed() < 4000 && !window.waitWidget->isVisible() && !window.connectTimeoutTimer->isActive());
        QVERIFY(!window.tunnelProcessStarted && isDown(w));

        // Nobody listens on the management port: after the window the interpreter is killed.
        w.host.interpreterExitOutput.clear();
        setManagementEndpoint({QStringLiteral("127.0.0.1"), 1});
        const int kills = w.host.killedProcessIds.size();
        QVERIFY(!window.launchTunnel(window.tapSerial, window.tapPassword));
        QCOMPARE(w.host.killedProcessIds.size(), kills + 1);
        QVERIFY(!window.tunnelProcessStarted);

        // Somebody else's port: a wrong password is refused, nothing is switched on there.
        setManagementEndpoint({QStringLiteral("127.0.0.1"), w.host.management.port()});
        w.host.management.expectPasswordFrom(QStringLiteral("/nonexistent"));
        w.host.management.setCurrentState(fakeTunnel::connectedState);
        const int commands = w.host.management.commands().size();
        QVERIFY(!window.connectManagementChannel());
        QCOMPARE(w.host.management.passwordsRejected(), 1);
        QCOMPARE(w.host.management.commands().size(), commands);
    }

    void closeStopsEveryTunnel()
    {
        BoundWindow w;
        QVERIFY(w.start());
        const QString connected = w.window.tunnelPidList.value(0);
        w.window.close();
        QCOMPARE(w.host.killedProcessIds, QStringList(connected));
        QVERIFY(w.platform->world().alarmReports.isEmpty() && w.boxes.isEmpty());
    }
};

QTEST_MAIN(TestTunnel)
#include "tst_tunnel.moc"
