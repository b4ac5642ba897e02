// The demo's world end to end: the far end exactly as scripts/demo brings it up (scripts/demo-far-end,
// its OpenVPN server and field devices in the namespace "korvane-demo"), the demo world joined to it
// as `korvane-platform-sim --far-end` does, and the client's window with the real Linux host layer
// and the real OpenVPN in the host's namespace, as a demo user runs it. The device page is fetched
// through the tunnel; after the far end went, nothing of it may be left.
#include "sim/demofarend.h"
#include "mainwindow/mainwindow.h"
#include "support/bindinghelpers.h"
#include "support/scene.h"
#include "support/tunneltestbed.h"
#include "tunnel/logic/managementendpoint.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>


namespace {

const QString stateDir = QStringLiteral("/run/korvane-demo");
const QString namespaceFile = QStringLiteral("/run/netns/korvane-demo");
constexpr int connectMs = 20000;

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(15000);
    return QString::fromLocal8Bit(process.readAll());
}

// The raw HTTP reply of GET / at address:80 (bounded in time).
QByteArray fetchPage(const QString &address)
{
    QTcpSocket socket;
    socket.connectToHost(address, 80);
    if (!socket.waitForConnected(5000))
        return QByteArray();
    socket.write("GET / HTTP/1.1\r\nHost: " + address.toLatin1() + "\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    QDeadlineTimer deadline(5000);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(200);
        reply += socket.readAll();
    }
    return reply + socket.readAll();
}

bool hostHasLink(const QString &name)
{
    return QFileInfo::exists(QStringLiteral("/sys/class/net/") + name);
}

bool isLive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const QByteArray state = text.mid(text.lastIndexOf(')') + 1).trimmed().left(1);
    return state != "Z" && state != "X";
}

} // namespace

class TestDemoEndToEnd : public QObject {
    Q_OBJECT

    QProcess farEnd;
    sim::FarEnd layout;
    QList<qint64> farEndPids;

private slots:
    void initTestCase()
    {
        const QString reason = TunnelTestBed::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        if (hostHasLink(QStringLiteral("korvane0")))
            QSKIP("a client tunnel (korvane0) is up on this host");
        initKorvaneResources();
        // Not the client's port: a client on this host keeps its own. A port free right now.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        setManagementEndpoint({QStringLiteral("127.0.0.1"), probe.serverPort()});
        probe.close();

        const QString source = qEnvironmentVariable("KORVANE_SOURCE_DIR");
        farEnd.setProcessChannelMode(QProcess::ForwardedChannels);
        farEnd.start(QStringLiteral("bash"), {source + QStringLiteral("/scripts/demo-far-end"), QStringLiteral("serve"),
                                              QStringLiteral("--sim"), qEnvironmentVariable("KORVANE_PLATFORM_SIM"),
                                              QStringLiteral("--until-eof")});
        QVERIFY(farEnd.waitForStarted());
        QVERIFY2(QTest::qWaitFor([] { return QFileInfo::exists(stateDir + QStringLiteral("/ready")); }, 30000),
                 "the far end did not come up");
        QFile ready(stateDir + QStringLiteral("/ready"));
        QVERIFY(ready.open(QIODevice::ReadOnly));
        const QByteArray network = ready.readLine().trimmed();
        QVERIFY(network.startsWith("KV_NET="));
        const std::optional<sim::FarEnd> parsed = sim::parseFarEnd(QString::fromLatin1(network.mid(7)));
        QVERIFY(parsed);
        layout = *parsed;
        for (const QString &pid : run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("pids"),
                                                             QStringLiteral("korvane-demo")})
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            farEndPids << pid.toLongLong();
        QCOMPARE(farEndPids.size(), 3); // two OpenVPN servers and the device pages
    }

    void connectsAndReachesTheDevice_data()
    {
        QTest::addColumn<QString>("tap");
        QTest::addColumn<QString>("tapPassword");
        QTest::addColumn<QByteArray>("proto");
        QTest::newRow("TAP-DEMO-0001 over TCP") << demo::tap << demo::tapPassword << QByteArray("tcp");
        QTest::newRow("TAP-DEMO-0002 over UDP") << demo::tap2 << demo::tap2Password << QByteArray("udp");
    }

    void connectsAndReachesTheDevice()
    {
        QFETCH(QString, tap);
        QFETCH(QString, tapPassword);
        QFETCH(QByteArray, proto);
        sim::World world = sim::demoWorld();
        sim::joinFarEnd(world, layout);
        {
            ScopedWorkDir dir;
            SimFixture platform(world);
            MessageRecorder boxes;
            MainWindow window;
            QVERIFY(bindingtest::logIn(window, demo::user, demo::password));
            bindingtest::bindManually(window, tap, tapPassword);
            window.watchdogTimer->stop();
            window.reportTimer->stop();
            QVERIFY2(QTest::qWaitFor([&] { return window.tunnelConnected; }, connectMs),
                     bindingtest::fileBytes(QStringLiteral("logs/openvpn.log")).right(2000).constData());
            QVERIFY(bindingtest::fileBytes(tap + QStringLiteral(".ovpn"))
                        .contains("proto " + proto + "\r\nremote " + layout.serverAddress().toLatin1() + " 1194\r\n"));

            // The first online device of the demo customer's first site, as its table shows it.
            const sim::Gateway gateway = *world.findGateway(QStringLiteral("KV2410A0001"));
            const sim::Device device = gateway.devices.first();
            QVERIFY(device.deviceOnline && device.virtualIp.startsWith(layout.address(129, 0).chopped(1)));
            // Through the tunnel only: the pushed route leads there.
            QVERIFY(run(QStringLiteral("ip"), {QStringLiteral("route"), QStringLiteral("get"), device.virtualIp})
                        .contains(QStringLiteral(" dev korvane0 ")));
            const QByteArray page = fetchPage(device.virtualIp);
            QVERIFY2(page.startsWith("HTTP/1.1 200"), page.left(200).constData());
            QVERIFY(page.contains("<h1>" + device.deviceName.toUtf8() + "</h1>"));
            QVERIFY(page.contains(gateway.gatewaySn.toUtf8()));
            QVERIFY(page.contains("<td>" + device.virtualIp.toUtf8() + "</td>"));
            QVERIFY(page.contains("id=\"counter\"") && page.contains("id=\"time\""));
            QVERIFY(shownBoxesAreOnlyTheBindHint(boxes));
        }
        // The window stopped its tunnel.
        QVERIFY(QTest::qWaitFor([] { return !hostHasLink(QStringLiteral("korvane0")); }, 8000));
    }

    void cleanupTestCase()
    {
        if (farEnd.state() == QProcess::NotRunning)
            return;
        farEnd.closeWriteChannel(); // as when the demo ends, however it ends
        QVERIFY(farEnd.waitForFinished(30000));
        QCOMPARE(farEnd.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(namespaceFile));
        QVERIFY(!hostHasLink(QStringLiteral("kvdemo0")));
        QVERIFY(!QFileInfo::exists(stateDir));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/run/korvane-demo.lock")));
        for (const qint64 pid : farEndPids)
            QVERIFY2(!isLive(pid), qPrintable(QStringLiteral("process %1 of the far end is left").arg(pid)));
    }

private:
    // Logging in with nothing bound tells the user to bind; nothing else may have been said.
    static bool shownBoxesAreOnlyTheBindHint(const MessageRecorder &boxes)
    {
        const QStringList shown = bindingtest::shownBoxes(boxes);
        return shown.size() <= 1 && (shown.isEmpty() || shown.first().contains(QStringLiteral("请先进行绑定")));
    }
};

QTEST_MAIN(TestDemoEndToEnd)
#include "tst_demo_e2e.moc"
