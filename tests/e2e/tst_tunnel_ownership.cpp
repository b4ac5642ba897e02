// The client talks only to, and signals only, the OpenVPN it started itself: with the real host
// layer and OpenVPN in the bed's client namespace. A stranger that got the pid of an ended
// interpreter is never signalled; a foreign listener on the management port is not taken for
// OpenVPN; an OpenVPN left by a killed client of the folder is stopped at the next start or launch.
#include "api/sessiontoken.h"
#include "mainwindow/mainwindow.h"
#include "platform/hostsystem_linux.h"
#include "support/bindinghelpers.h"
#include "support/fakemanagementserver.h"
#include "support/pidreuse.h"
#include "support/scene.h"
#include "support/tunnelchecks.h"
#include "support/tunneltestbed.h"
#include "tunnel/logic/managementpassword.h"
#include "tunnel/logic/tunnelfiles.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"

#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

using bindingtest::fileBytes;

namespace {
constexpr int connectMs = 20000;

// Alive and not a zombie.
bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const QByteArray state = text.mid(text.lastIndexOf(')') + 1).trimmed().left(1);
    return !state.isEmpty() && state != "Z" && state != "X";
}
} // namespace

// One signed-in client with the real host layer in a folder of its own; binding opens the tunnel.
struct Client {
    ScopedWorkDir dir;
    SimFixture platform;
    MessageRecorder boxes;
    std::unique_ptr<MainWindow> window;

    explicit Client(const TunnelTestBed &bed)
    {
        platform->editWorld([&](sim::World &world) {
            sim::Tap *tap = world.findTap(demo::tap);
            tap->tunnelIp = bed.serverAddress();
            tap->tunnelPort = 1194;
            tap->requestWay = QStringLiteral("TCP");
            world.caCertificatePem = bed.caPem();
        });
    }
    void start() { window = std::make_unique<MainWindow>(); }
    bool bind()
    {
        window->sessionToken = requestToken(demo::user, demo::password).token.value_or(QByteArray());
        window->userName = demo::user;
        window->userPassword = demo::password;
        window->ui->b_tap_LineEdit->setText(demo::tap);
        window->ui->b_tap_pswd_lineEdit->setText(demo::tapPassword);
        window->on_btn_bound_tap_clicked();
        window->watchdogTimer->stop();
        window->reportTimer->stop();
        return window->tapSerial == demo::tap.toUtf8();
    }
    bool connected() { return QTest::qWaitFor([this] { return window->tunnelConnected; }, connectMs); }
    // The client's OpenVPN processes: those working in its folder.
    QList<qint64> openvpns(const TunnelTestBed &bed) const
    {
        QList<qint64> found;
        for (const qint64 pid : bed.openvpnProcessesOfBed()) {
            if (QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).canonicalFilePath() ==
                QFileInfo(dir.path()).canonicalFilePath())
                found << pid;
        }
        return found;
    }
};

class TestTunnelOwnership : public QObject {
    Q_OBJECT

    std::unique_ptr<TunnelTestBed> bed;

    bool noClientTunnel(const Client &client)
    {
        return QTest::qWaitFor([&] { return client.openvpns(*bed).isEmpty() && bed->tunDevicesInClientNamespace().isEmpty(); },
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
        QVERIFY(bed->setCredentials(demo::tap, demo::tapPassword));
        QVERIFY(bed->enterClientNamespace());
        QVERIFY(bed->startServer(TunnelTestBed::Protocol::Tcp));
    }

    void cleanupTestCase()
    {
        if (bed)
            bed->cleanUp();
    }

    // OpenVPN killed from outside; its interpreter's pid goes to an unrelated session. Neither
    // the watchdog nor the exit signals it.
    void strangerWithReusedPidIsLeftAlone()
    {
        Client client(*bed);
        client.start();
        MainWindow &window = *client.window;
        QVERIFY(client.bind() && client.connected());
        const pid_t interpreter = pid_t(window.tunnelProcess->processId());
        for (const qint64 pid : client.openvpns(*bed))
            ::kill(pid_t(pid), SIGKILL);
        QVERIFY(QTest::qWaitFor([&] { return window.tunnelProcess->state() == QProcess::NotRunning; }, 5000));

        const pid_t stranger = spawnWithPid(interpreter, {"sleep", "60"});
        QVERIFY2(stranger == interpreter, "the pid was taken meanwhile");
        const auto reap = qScopeGuard([stranger] {
            ::kill(stranger, SIGKILL);
            ::waitpid(stranger, nullptr, 0);
        });
        window.CheckVpnState(); // adapter gone idle: the tunnel is torn down
        QVERIFY(!window.tunnelConnected && window.tunnelTapList.isEmpty());
        client.boxes.queueAnswer(QMessageBox::Yes);
        window.on_btnExit_clicked();
        QVERIFY(isRunning(stranger));
        QCOMPARE(::getsid(stranger), stranger);
    }

    // A listener of someone else holds the port and answers like OpenVPN: it never gets the
    // launch's password, the tunnel is not reported up, and the user is told.
    void foreignListenerIsNotTakenForOpenvpn()
    {
        Client client(*bed);
        FakeManagementServer foreign; // now the client's management endpoint
        foreign.acceptAnyPassword();
        foreign.setCurrentState(fakeTunnel::connectedState);
        client.start();
        MainWindow &window = *client.window;
        QVERIFY(client.bind());
        QTest::qWait(500);

        QVERIFY(!foreign.clientAuthenticated() && foreign.commands().isEmpty());
        QVERIFY(!window.tunnelConnected && window.tunnelTapList.isEmpty());
        QCOMPARE(reportedTunnelStates(client.platform.simulator()), QList<int>());
        QCOMPARE(client.boxes.texts(),
                 QStringList(QStringLiteral("通道管理端口%1已被其他程序占用，通道未启动").arg(foreign.port())));
        QCOMPARE(fileBytes(QStringLiteral("vpnconfig.ini")), QByteArray("1"));
        QVERIFY(noClientTunnel(client));
    }

    // A killed client leaves OpenVPN running in its own session, the pid file and the management
    // password file. The next start stops it, and so does a launch.
    void orphanOfKilledClientIsStopped_data()
    {
        QTest::addColumn<bool>("atStart");
        QTest::newRow("at start") << true;
        QTest::newRow("before a launch") << false;
    }

    void orphanOfKilledClientIsStopped()
    {
        QFETCH(bool, atStart);
        Client client(*bed);
        if (!atStart)
            client.start();
        QVERIFY(bed->writeClientFiles(client.dir.path(), TunnelTestBed::Protocol::Tcp, demo::tap, demo::tapPassword));
        ManagementPassword password;
        QVERIFY(password.renew());
        const QByteArray line = tunnelCommandLine(demo::tap, QStringLiteral("127.0.0.1"), 25341, password.filePath());
        qint64 orphan = 0;
        QVERIFY(QProcess::startDetached(QStringLiteral("setsid"),
                                        {QStringLiteral("/bin/sh"), QStringLiteral("-c"), QString::fromUtf8(line)},
                                        client.dir.path(), &orphan));
        const auto end = qScopeGuard([&] { ::kill(-pid_t(orphan), SIGKILL); });
        QVERIFY(TunnelFiles::writeOwnerOnly(TunnelFiles::pidFile,
                                            TunnelFiles::pidFileText({QString::number(orphan), password.filePath()})));
        QVERIFY(QTest::qWaitFor([&] { return fileBytes(QStringLiteral("logs/openvpn.log")).contains(
                                           "Initialization Sequence Completed"); },
                                connectMs));
        const QList<qint64> orphans = client.openvpns(*bed);
        QCOMPARE(orphans.size(), 1);

        if (atStart) {
            client.start();
            QVERIFY(!isRunning(orphans.first()));
            QVERIFY(!QFile::exists(password.filePath()) && !QFile::exists(TunnelFiles::pidFile));
        }
        QVERIFY(client.bind() && client.connected());
        QVERIFY(!isRunning(orphans.first()));
        QCOMPARE(client.openvpns(*bed).size(), 1);
        QVERIFY(client.boxes.isEmpty());
        client.boxes.queueAnswer(QMessageBox::Yes);
        client.window->on_btnExit_clicked();
        QVERIFY(noClientTunnel(client));
    }
};

QTEST_MAIN(TestTunnelOwnership)
#include "tst_tunnel_ownership.moc"
