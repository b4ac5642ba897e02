// The tunnel end to end: the client's window with the real Linux host layer and the real OpenVPN,
// against an OpenVPN server in a private network namespace of the test, and the platform simulator.
// Runs inside the bed's client namespace, so the tunnel device and port 25341 stay private.
#include "api/sessiontoken.h"
#include "platform/hostsystem.h"
#include "support/bindinghelpers.h"
#include "support/boundwindow.h"
#include "support/tunnelchecks.h"
#include "support/tunneltestbed.h"
#include "tunnel/logic/managementpassword.h"
#include "tunnel/logic/tunnelfiles.h"
#include "tunnel/waitreconnect.h"
#include "tunnel/waittingwidget.h"
#include "ui/resources.h"
#include "ui_waitreconnect.h"

#include <QProcess>
#include <QtTest>

#include <csignal>
#include <memory>
#include <unistd.h>

Q_DECLARE_METATYPE(TunnelTestBed::Protocol)

using bindingtest::fileBytes;

namespace {
using Protocol = TunnelTestBed::Protocol;
const QString tapPassword = QStringLiteral("Tap@0001");
constexpr int connectMs = 20000;



} // namespace

// One signed-in, bound client with the real host layer; the binding opens the tunnel.
struct Client {
    ScopedWorkDir dir;
    SimFixture platform;
    MessageRecorder boxes;
    MainWindow window;
    Ui::MainWindow *ui = window.ui;

    Client(const TunnelTestBed &bed, Protocol protocol)
    {
        platform->editWorld([&](sim::World &world) {
            sim::Tap *tap = world.findTap(demo::tap);
            tap->tunnelIp = bed.serverAddress();
            tap->tunnelPort = 1194;
            tap->requestWay = protocol == Protocol::Tcp ? QStringLiteral("TCP") : QStringLiteral("udp");
            world.caCertificatePem = bed.caPem();
        });
    }

    bool bind()
    {
        window.sessionToken = requestToken(demo::user, demo::password).token.value_or(QByteArray());
        window.userName = demo::user;
        window.userPassword = demo::password;
        ui->b_tap_LineEdit->setText(demo::tap);
        ui->b_tap_pswd_lineEdit->setText(tapPassword);
        window.on_btn_bound_tap_clicked();
        window.watchdogTimer->stop();
        window.reportTimer->stop();
        window.show();
        return window.tapSerial == demo::tap.toUtf8();
    }
    bool connected() { return QTest::qWaitFor([this] { return window.tunnelConnected; }, connectMs); }
    int restartRequests() { return platform->requests(QStringLiteral("clientRestartProject")).size(); }
};

class TestTunnelEndToEnd : public QObject {
    Q_OBJECT

    std::unique_ptr<TunnelTestBed> bed;

    // Nothing of the client's tunnel is left: no openvpn but the server, no TUN device.
    bool clientTunnelGone()
    {
        return QTest::qWaitFor(
            [this] {
                const QList<qint64> running = bed->openvpnProcessesOfBed();
                return running.size() == (bed->serverRunning() ? 1 : 0) && bed->tunDevicesInClientNamespace().isEmpty();
            },
            8000);
    }

private slots:
    void initTestCase()
    {
        const QString reason = TunnelTestBed::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        initKorvaneResources();
        bed = std::make_unique<TunnelTestBed>();
        QVERIFY2(bed->isReady(), qPrintable(bed->errorString()));
        QVERIFY(bed->setCredentials(demo::tap, tapPassword));
        QVERIFY(bed->enterClientNamespace());
    }

    void cleanup()
    {
        if (!bed)
            return;
        bed->stopServer();
        QVERIFY2(clientTunnelGone(), "an openvpn process or a tun device of the client was left");
    }

    void cleanupTestCase()
    {
        if (bed)
            bed->cleanUp();
    }

    void connects_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::newRow("tcp") << Protocol::Tcp;
        QTest::newRow("udp") << Protocol::Udp;
    }

    void connects()
    {
        QFETCH(Protocol, protocol);
        QVERIFY(bed->startServer(protocol));
        Client client(*bed, protocol);
        QVERIFY(client.bind());
        // The credentials the tunnel program read, before the connected transition replaced them.
        QVERIFY(client.connected());
        QCOMPARE(fileBytes(QStringLiteral("TAP-DEMO-0001.ovpn")),
                 TunnelTestBed::clientProfile(protocol, bed->serverAddress(), 1194));
        QCOMPARE(fileBytes(QStringLiteral("ca.crt")), bed->caPem());
        QCOMPARE(fileBytes(QStringLiteral("vpnconfig.ini")), QByteArray("1"));
        for (const char *name : {"TAP-DEMO-0001.ovpn", "ca.crt", "vpnconfig.ini"})
            QCOMPARE(fileMode(QString::fromLatin1(name)), 0600);
        QCOMPARE(client.window.tunnelTapList, QStringList(demo::tap));
        QCOMPARE(client.window.tunnelPidList, QStringList(QString::number(client.window.tunnelProcess->processId())));
        QVERIFY(showsPicture(client.ui->siteRunstatus, picture::on));
        QCOMPARE(bed->tunDevicesInClientNamespace(), QStringList(tunnelDeviceName));
        // One connected transition for one launch, whatever reports CONNECTED twice; a normal
        // connect raises no alarm.
        QTest::qWait(500);
        QCOMPARE(client.window.tunnelTapList, QStringList(demo::tap));
        QCOMPARE(reportedTunnelStates(client.platform.simulator()), QList<int>{1});
        QCOMPARE(alarmTypes(client.platform.simulator()), QList<int>());
        QVERIFY(client.boxes.isEmpty() && !client.window.waitReconnect->isVisible());
        // The adapter is in use now: the watchdog leaves the tunnel alone.
        client.window.CheckVpnState();
        QVERIFY(client.window.tunnelConnected);
    }

    // The tunnel connects before the client switches notifications on: only the state query tells.
    void connectedBeforeStateOn()
    {
        QVERIFY(bed->startServer(Protocol::Tcp));
        Client client(*bed, Protocol::Tcp);
        MainWindow &window = client.window;
        QVERIFY(client.bind() && client.connected());
        window.ui->gatewaySn_2->setText(demo::tap);
        window.on_VpnControl_clicked(); // off; the files stay
        QVERIFY(clientTunnelGone());
        QVERIFY(QTest::qWaitFor([&] { return window.tunnelProcess->state() == QProcess::NotRunning; }, 5000));

        // Launched as the client does, but the channel is connected only once the tunnel is up.
        QVERIFY(window.managementPassword->renew());
        const QByteArray line = hostSystem().startTunnelInterpreter(*window.tunnelProcess, demo::tap,
                                                                    QStringLiteral("127.0.0.1"), 25341,
                                                                    window.managementPassword->filePath());
        QVERIFY(TunnelFiles::writeOwnerOnly(TunnelFiles::credentialsFile,
                                            TunnelFiles::credentialsText(window.tapSerial, window.tapPassword)));
        const int logSize = fileBytes(QStringLiteral("logs/openvpn.log")).size();
        window.tunnelProcess->write(line);
        window.tunnelProcess->closeWriteChannel();
        window.tunnelProcessStarted = true;
        QVERIFY(QTest::qWaitFor(
            [&] {
                return fileBytes(QStringLiteral("logs/openvpn.log")).mid(logSize).contains(
                    "Initialization Sequence Completed");
            },
            connectMs));
        QVERIFY(window.testFunction());
        QVERIFY(client.connected());
    }

    void dropAndReconnect()
    {
        QVERIFY(bed->startServer(Protocol::Tcp));
        Client client(*bed, Protocol::Tcp);
        MainWindow &window = client.window;
        QVERIFY(client.bind() && client.connected());

        bed->stopServer();
        QVERIFY(QTest::qWaitFor([&] { return !window.tunnelConnected && window.reconnectInProgress; }, connectMs));
        QVERIFY(window.reconnectTimer->isActive() && window.waitReconnect->isVisible());
        QVERIFY(clientTunnelGone());
        QCOMPARE(alarmTypes(client.platform.simulator()).value(0), 1);

        QVERIFY(bed->startServer(Protocol::Tcp));
        window.TryReconnectVPN(); // the reconnect timer's tick
        QCOMPARE(window.waitReconnect->ui->Wait_Num->text(), QStringLiteral("1"));
        QVERIFY(client.connected());
        QCOMPARE(alarmTypes(client.platform.simulator()).last(), 3);
        QVERIFY(!window.reconnectTimer->isActive() && !window.waitReconnect->isVisible());
        QCOMPARE(fileBytes(QStringLiteral("vpnconfig.ini")), QByteArray("1"));
    }

    // A server that renews its sessions with tokens: the tunnel stays up through every renegotiation,
    // with no wait window and no box.
    void renegotiationsKeepTheTunnel()
    {
        QVERIFY2(bed->startServer(Protocol::Udp, 1194, {QStringLiteral("auth-gen-token 0 120"), QStringLiteral("reneg-sec 10"),
                                                             QStringLiteral("hand-window 5")}),
                 qPrintable(bed->errorString()));
        Client client(*bed, Protocol::Udp);
        MainWindow &window = client.window;
        QVERIFY(client.bind() && client.connected());
        bool waitShown = false;
        const auto negotiations = [] { return fileBytes(QStringLiteral("logs/openvpn.log")).count("Control Channel: "); };
        const int first = negotiations();
        QVERIFY(QTest::qWaitFor(
            [&] {
                waitShown = waitShown || window.waitWidget->isVisible() || window.connectTimeoutTimer->isActive();
                return negotiations() >= first + 3 || !window.tunnelConnected;
            },
            90000));
        QVERIFY2(window.tunnelConnected && !waitShown && client.boxes.isEmpty(),
                 fileBytes(QStringLiteral("logs/openvpn.log")).right(1500).constData());
        QCOMPARE(alarmTypes(client.platform.simulator()), QList<int>());
    }

    // Over UDP a dead server shows only as ping-restart: that is the fall.
    void udpDropAndBack()
    {
        QVERIFY(bed->startServer(Protocol::Udp));
        Client client(*bed, Protocol::Udp);
        MainWindow &window = client.window;
        QVERIFY(client.bind() && client.connected());
        bed->stopServer();
        QVERIFY(QTest::qWaitFor([&] { return !window.tunnelConnected && window.reconnectInProgress; }, connectMs));
        QVERIFY(clientTunnelGone());
        QCOMPARE(alarmTypes(client.platform.simulator()), QList<int>{1});
        QVERIFY(bed->startServer(Protocol::Udp));
        window.TryReconnectVPN();
        QVERIFY(client.connected());
        QCOMPARE(alarmTypes(client.platform.simulator()), QList<int>({1, 3}));
    }

    // Twelve reconnect ticks against a dead TCP server, whose tunnel program retries and fails every
    // few seconds: one alarm at the fall, one restart request, at most one probe per attempt.
    void tenFailedAttemptsAskForOneRestart()
    {
        QVERIFY(bed->startServer(Protocol::Tcp));
        Client client(*bed, Protocol::Tcp);
        MainWindow &window = client.window;
        QVERIFY(client.bind() && client.connected());
        const int probesBefore = client.platform->requests(QStringLiteral("getLintraToken")).size();
        bed->stopServer();
        QVERIFY(QTest::qWaitFor([&] { return window.reconnectInProgress; }, connectMs));

        for (int tick = 0; tick < 12; ++tick) {
            window.TryReconnectVPN();
            QTest::qWait(1200); // the tunnel program's own tries: connect, refused, again
        }
        QCOMPARE(window.reconnectCount, 12);
        QCOMPARE(client.restartRequests(), 1);
        QCOMPARE(alarmTypes(client.platform.simulator()), QList<int>{1});
        const int probes = client.platform->requests(QStringLiteral("getLintraToken")).size() - probesBefore;
        QVERIFY2(probes >= 2 && probes <= 13, qPrintable(QString::number(probes)));
        QCOMPARE(bed->openvpnProcessesOfBed().size(), 1); // one tunnel program, however many attempts

        // Cancel: the attempt is killed, further ticks start nothing.
        QTest::mouseClick(window.waitReconnect->ui->toolButton, Qt::LeftButton);
        QVERIFY(clientTunnelGone());
        window.TryReconnectVPN();
        QVERIFY(clientTunnelGone());
        QVERIFY(window.reconnectSuppressed && window.reconnectCount == 0);
    }

    void switchOffStaysOff()
    {
        QVERIFY(bed->startServer(Protocol::Tcp));
        Client client(*bed, Protocol::Tcp);
        MainWindow &window = client.window;
        QVERIFY(client.bind() && client.connected());
        window.ui->gatewaySn_2->setText(demo::tap); // the TAP's own site page is shown
        window.on_VpnControl_clicked();
        QVERIFY(clientTunnelGone() && !window.tunnelConnected);
        window.TryReconnectVPN();
        window.CheckVpnState();
        QVERIFY(clientTunnelGone());
        window.on_VpnControl_clicked();
        QVERIFY(client.connected());
    }

    void killedFromOutside()
    {
        QVERIFY(bed->startServer(Protocol::Tcp));
        Client client(*bed, Protocol::Tcp);
        MainWindow &window = client.window;
        QVERIFY(client.bind() && client.connected());
        for (qint64 pid : bed->openvpnProcessesOfBed()) {
            if (QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).canonicalFilePath() ==
                QFileInfo(QDir::currentPath()).canonicalFilePath())
                ::kill(pid_t(pid), SIGKILL);
        }
        QVERIFY(clientTunnelGone());
        window.CheckVpnState();
        QVERIFY(!window.tunnelConnected && window.tunnelTapList.isEmpty() && window.reconnectInProgress);
        const sim::World world = client.platform->world();
        QCOMPARE(world.stateReports.last().tunnelOnline, 0);
        QCOMPARE(alarmTypes(client.platform.simulator()), QList<int>({1, 2}));
    }

    void serverNeverAnswers_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::newRow("udp, silent") << Protocol::Udp;
        QTest::newRow("tcp, refused") << Protocol::Tcp;
    }

    // A first launch that never connects: the tunnel program's own tries are no drops; the
    // time-out ends it with one box and starts no reconnect cycle.
    void serverNeverAnswers()
    {
        QFETCH(Protocol, protocol);
        Client client(*bed, protocol);
        if (protocol == Protocol::Udp)
            client.platform->editWorld([&](sim::World &world) { world.findTap(demo::tap)->tunnelIp = bed->silentAddress(); });
        MainWindow &window = client.window;
        QVERIFY(client.bind());
        QVERIFY(QTest::qWaitFor([&] { return window.connectTimeoutTimer->isActive(); }, connectMs));
        QCOMPARE(window.connectTimeoutTimer->interval(), 30000);
        QTest::qWait(3000); // a few tries of the tunnel program
        QVERIFY(window.waitWidget->isVisible() && !window.waitReconnect->isVisible() && !window.reconnectInProgress);
        QCOMPARE(alarmTypes(client.platform.simulator()), QList<int>());
        window.Vpn_Timeout(); // the timer's tick, not waited for
        QCOMPARE(client.boxes.texts(), QStringList(QStringLiteral("    连接超时   ")));
        QVERIFY(clientTunnelGone());
        QVERIFY(!window.connectTimeoutTimer->isActive() && !window.tunnelProcessStarted && !window.reconnectInProgress);
        window.CheckVpnState(); // the watchdog finds the adapter gone and leaves it so
        QVERIFY(!window.reconnectInProgress && clientTunnelGone());
    }

    void exitAndWindowClose()
    {
        QVERIFY(bed->startServer(Protocol::Tcp));
        {
            Client client(*bed, Protocol::Tcp);
            QVERIFY(client.bind() && client.connected());
            client.boxes.queueAnswer(QMessageBox::Yes);
            QTest::mouseClick(client.ui->btnExit, Qt::LeftButton);
            QVERIFY(clientTunnelGone());
        }
        Client client(*bed, Protocol::Tcp);
        QVERIFY(client.bind() && client.connected());
        client.window.close(); // as the window system closes it: no question, no reports
        QVERIFY(clientTunnelGone());
        QVERIFY(client.boxes.isEmpty());
    }

    // Twenty connect, drop, reconnect, connected cycles leak no process, device or descriptor.
    void repeatedCyclesLeakNothing()
    {
        QVERIFY(bed->startServer(Protocol::Tcp));
        Client client(*bed, Protocol::Tcp);
        MainWindow &window = client.window;
        QVERIFY(client.bind() && client.connected());
        const int descriptors = TunnelTestBed::openFileDescriptors(::getpid());
        for (int cycle = 0; cycle < 20; ++cycle) {
            bed->stopServer();
            QVERIFY2(QTest::qWaitFor([&] { return window.reconnectInProgress && !window.tunnelConnected; }, connectMs),
                     qPrintable(QStringLiteral("cycle %1: no drop").arg(cycle)));
            QVERIFY(clientTunnelGone());
            QVERIFY(bed->startServer(Protocol::Tcp));
            window.TryReconnectVPN();
            QVERIFY2(client.connected(), qPrintable(QStringLiteral("cycle %1: no reconnect").arg(cycle)));
            QCOMPARE(bed->openvpnProcessesOfBed().size(), 2);
            QCOMPARE(bed->tunDevicesInClientNamespace(), QStringList(tunnelDeviceName));
        }
        QCOMPARE(TunnelTestBed::openFileDescriptors(::getpid()), descriptors);
        QVERIFY(client.boxes.isEmpty());
    }
};

QTEST_MAIN(TestTunnelEndToEnd)
#include "tst_tunnel_e2e.moc"
