// Launching only what is the client's own: a failed management connection is told, the files
// handed to the tunnel program are the client's and private, the TAP password leaves the disk on
// every stop, and what a crashed run left in the folder is cleared.
#include "support/bindinghelpers.h"
#include "support/boundwindow.h"
#include "support/fakehostprocess.h"
#include "support/tunnelchecks.h"
#include "tunnel/logic/managementendpoint.h"
#include "mainwindow/userdesign.h"
#include "ui/resources.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QtTest>

#include <sys/stat.h>


using bindingtest::fileBytes;

namespace {
const QByteArray tapCredentials = "TAP-DEMO-0001\r\nTap@0001\r\n";
const QString profileName = QStringLiteral("TAP-DEMO-0001.ovpn");

// A loopback port nobody listens on.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool showsOff(BoundWindow &w)
{
    return !w.window.tunnelConnected && !w.window.tunnelProcessStarted &&
           showsPicture(w.ui->siteRunstatus, picture::off) &&
           isIcon(w.ui->VpnControl->icon(), QStringLiteral(":/image/关.png"));
}
} // namespace

class TestTunnelGuard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void managementFailureIsTold_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("foreign listener") << QStringLiteral("foreign");
        QTest::newRow("tunnel program says port taken") << QStringLiteral("bind");
        QTest::newRow("tunnel program ended") << QStringLiteral("ended");
        QTest::newRow("no answer") << QStringLiteral("silent");
    }

    void managementFailureIsTold()
    {
        QFETCH(QString, failure);
        BoundWindow w;
        QVERIFY(w.start(false));
        quint16 port = w.host.management.port();
        if (failure == QLatin1String("foreign")) {
            w.host.peerIsOwnTunnel = false;
        } else {
            port = closedPort();
            setManagementEndpoint({QStringLiteral("127.0.0.1"), port});
            if (failure == QLatin1String("bind"))
                w.host.interpreterExitOutput = "MANAGEMENT: Socket bind failed on local address [AF_INET]127.0.0.1:" +
                                               QByteArray::number(port) + ": Address already in use (errno=98)\n";
            else if (failure == QLatin1String("ended"))
                w.host.interpreterExitOutput = "Exiting due to fatal error\n";
        }
        bindingtest::bindManually(w.window, demo::tap, demo::tapPassword);
        QTest::qWait(100); // a late end of the tunnel program brings no second box

        const QString text = failure == QLatin1String("ended")    ? QStringLiteral("通道程序OpenVPN已退出，通道未启动，详见logs/openvpn.log")
                             : failure == QLatin1String("silent") ? QStringLiteral("通道程序OpenVPN无应答，通道未启动")
                                                                  : QStringLiteral("通道管理端口%1已被其他程序占用，通道未启动").arg(port);
        QCOMPARE(bindingtest::shownBoxes(w.boxes), QStringList(QStringLiteral("critical/none/错误/") + text));
        QVERIFY(showsOff(w));
        QCOMPARE(fileBytes(QStringLiteral("vpnconfig.ini")), QByteArray("1"));
        // The launch's password never went to the foreign listener.
        QVERIFY(!w.host.management.clientAuthenticated() && w.host.management.passwordsRejected() == 0);
        setManagementEndpoint({QStringLiteral("127.0.0.1"), w.host.management.port()});
    }

    // Before a launch the folder and what the tunnel program reads must be the user's alone; the
    // profile and CA come from the platform's last answer, never from what lies on disk.
    void launchFilesArePrivateAndFresh()
    {
        BoundWindow w;
        QVERIFY(w.start());
        MainWindow &window = w.window;
        const QByteArray profile = fileBytes(profileName);
        const QByteArray ca = fileBytes(QStringLiteral("ca.crt"));
        window.ui->gatewaySn_2->setText(demo::tap);
        window.on_VpnControl_clicked(); // off
        window.reconnectSuppressed = false;

        // Swapped between launches by someone who could write there: written anew.
        QVERIFY(writeFile(profileName, "client\r\nup /tmp/evil.sh\r\n") && writeFile(QStringLiteral("ca.crt"), "x"));
        window.TryReconnectVPN();
        QVERIFY(QTest::qWaitFor([&] { return window.tunnelConnected; }, 5000));
        QCOMPARE(fileBytes(profileName), profile);
        QCOMPARE(fileBytes(QStringLiteral("ca.crt")), ca);
        QVERIFY(w.boxes.isEmpty());

        const int launches = w.host.startedInterpreters.size();
        const auto refused = [&](const QString &shown) {
            if (window.tunnelConnected)
                window.on_VpnControl_clicked(); // off
            w.boxes.clear();
            window.on_VpnControl_clicked(); // on
            return w.host.startedInterpreters.size() == launches && !window.tunnelConnected &&
                   fileBytes(QStringLiteral("vpnconfig.ini")) == "1" &&
                   w.boxes.texts() ==
                       QStringList(QStringLiteral("“%1”不属于当前用户或可被其他用户修改，为安全起见通道未启动").arg(shown));
        };
        const QString folder = QDir::current().absolutePath();
        QVERIFY(::chmod(".", 0777) == 0);
        QVERIFY(refused(folder));
        QVERIFY(::chmod(".", 0700) == 0);
        QVERIFY(QDir(QStringLiteral("logs")).removeRecursively() && QFile::link(QDir::tempPath(), QStringLiteral("logs")));
        QVERIFY(refused(folder + QStringLiteral("/logs")));
        QVERIFY(QFile::remove(QStringLiteral("logs")));
        w.host.exposedPaths << QStringLiteral("./vpnconfig.ini");
        QVERIFY(refused(folder + QStringLiteral("/vpnconfig.ini")));
    }

    // The TAP password is on disk only from a launch to its connection or its stop.
    void passwordLeavesOnEveryStop_data()
    {
        QTest::addColumn<QString>("stop");
        for (const char *stop : {"time-out", "cancel", "release", "exit", "ended"})
            QTest::newRow(stop) << QString::fromLatin1(stop);
    }

    void passwordLeavesOnEveryStop()
    {
        QFETCH(QString, stop);
        BoundWindow w;
        w.host.management.setCurrentState(fakeTunnel::waitState); // never connects
        QVERIFY(w.start(false));
        MainWindow &window = w.window;
        bindingtest::bindManually(window, demo::tap, demo::tapPassword);
        QVERIFY(window.tunnelProcessStarted);
        QCOMPARE(fileBytes(QStringLiteral("vpnconfig.ini")), tapCredentials);

        if (stop == QLatin1String("time-out")) {
            window.Vpn_Timeout();
        } else if (stop == QLatin1String("cancel")) {
            window.UnReconnectVpn();
        } else if (stop == QLatin1String("release")) {
            *window.tapBound = false;
            emit window.userDesign->closeSon();
        } else if (stop == QLatin1String("exit")) {
            w.boxes.queueAnswer(QMessageBox::Yes);
            window.on_btnExit_clicked();
        } else {
            fakeHostProcess::killOwnChild(window.tunnelProcess->processId()); // ended from outside
        }
        QVERIFY(QTest::qWaitFor([&] { return fileBytes(QStringLiteral("vpnconfig.ini")) == "1"; }, 3000));
    }

    // What a crash leaves is cleared at the next start: the tunnel program of this folder's pid
    // file, its management password file, the TAP password, half-written files. A pid file of the
    // client's own records every launch; the lists forget a pid once its process ended.
    void crashLeftoversAndPidFile()
    {
        Scene scene;
        QVERIFY(scene.isReady());
        QFile stalePassword(QDir::tempPath() + QStringLiteral("/korvane-management-test01"));
        QVERIFY(stalePassword.open(QIODevice::WriteOnly));
        stalePassword.close();
        QVERIFY(writeFile(QStringLiteral("tunnel.pid"), "4242\n" + QFile::encodeName(stalePassword.fileName()) + "\n"));
        QVERIFY(writeFile(QStringLiteral("vpnconfig.ini"), tapCredentials));
        const QStringList stale = {QStringLiteral("vpnconfig.ini.Ab12Cd"), QStringLiteral("TAPBOUND.ini.x1Y2z3"),
                                   QStringLiteral("TAP-7.ovpn.QQQQQQ"), QStringLiteral("tunnel.pid.000000")};
        const QStringList kept = {QStringLiteral("notes.txt.Ab12Cd"), QStringLiteral("vpnconfig.ini.bak"),
                                  QStringLiteral("ca.crt.Ab12C"), QStringLiteral("login.ini.Ab12C-"),
                                  QStringLiteral(".ovpn.Ab12Cd"), QStringLiteral("ca.crt.Ab12Cde")};
        for (const QString &name : stale + kept)
            QVERIFY(writeFile(name, "x"));

        {
            MainWindow window;
            QCOMPARE(scene.host.strayTunnelIds, QStringList(QStringLiteral("4242")));
            QVERIFY(!stalePassword.exists() && !QFile::exists(QStringLiteral("tunnel.pid")));
            QCOMPARE(fileBytes(QStringLiteral("vpnconfig.ini")), QByteArray("1"));
            QCOMPARE(QDir::current().entryList(stale, QDir::Files), QStringList());
            QCOMPARE(QDir::current().entryList(kept, QDir::Files | QDir::Hidden).size(), kept.size());
        }

        BoundWindow w;
        QVERIFY(w.start());
        MainWindow &window = w.window;
        const QString pid = window.interpreterProcessId();
        QCOMPARE(fileBytes(QStringLiteral("tunnel.pid")),
                 pid.toUtf8() + '\n' + QFile::encodeName(w.host.startedInterpreters.value(0).managementPasswordFile) + '\n');
        QCOMPARE(fileMode(QStringLiteral("tunnel.pid")), 0600);
        QCOMPARE(window.tunnelPidList, QStringList(pid));

        // Killed from outside: the pid may go to anyone, so the lists forget it and nothing kills it.
        fakeHostProcess::killOwnChild(pid.toLongLong());
        QVERIFY(QTest::qWaitFor([&] { return window.tunnelProcess->state() == QProcess::NotRunning; }, 3000));
        QCOMPARE(window.tunnelPidList, QStringList(QString()));
        QVERIFY(!QFile::exists(QStringLiteral("tunnel.pid")));
        window.CheckVpnState(); // the adapter reads idle: torn down
        w.boxes.queueAnswer(QMessageBox::Yes);
        window.on_btnExit_clicked();
        QVERIFY(!w.host.killedProcessIds.contains(pid));

        // Before a launch: a pid file of another run is acted on, this run's own is not.
        QVERIFY(writeFile(QStringLiteral("tunnel.pid"), "4343\n\n"));
        window.tunnelsShutDown = false;
        window.reconnectSuppressed = false;
        window.TryReconnectVPN();
        QVERIFY(w.host.strayTunnelIds.endsWith(QStringLiteral("4343")));
        const int strays = w.host.strayTunnelIds.size();
        window.stopEarlierTunnel();
        QCOMPARE(w.host.strayTunnelIds.size(), strays);
    }
};

QTEST_MAIN(TestTunnelGuard)
#include "tst_tunnelguard.moc"
