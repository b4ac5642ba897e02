// The client program as started from a desktop or a terminal: one client per data folder (a
// second start hands over and the first window comes forward; stale and corrupt locks do not
// block; two folders run side by side), --version and --help, and the diagnostics bundle, searched
// after extraction for every secret the client keeps. Another local user can neither read its
// logs, nor talk to it, nor pose as it, nor have a bundle written through a link.
#include "crypto/credentialcipher.h"
#include "desktop/desktopsession.h"
#include "desktop/singleinstance.h"
#include "login/login.h"
#include "store/accountstore.h"
#include "store/tapbindingstore.h"
#include "support/boundwindow.h"
#include "support/foreignsocket.h"
#include "ui/resources.h"

#include <QDirIterator>
#include <QHostInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// Counts the children a session gets, and those it got while no login dialog was visible.
struct ChildrenWatch : QObject {
    int added = 0;
    int addedBeforeTheDialogShowed = 0;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded) {
            ++added;
            const QWidgetList windows = QApplication::topLevelWidgets();
            addedBeforeTheDialogShowed += std::none_of(windows.begin(), windows.end(), [](QWidget *window) {
                return qobject_cast<Login *>(window) && window->isVisible();
            });
        }
        return QObject::eventFilter(watched, event);
    }
};

const QString lockName = QStringLiteral(".korvane-client.lock");
const QString handOverLine = QStringLiteral("此目录中已有客户端在运行，已切换到它的窗口");

QString clientProgram()
{
    return qEnvironmentVariable("KORVANE_CLIENT");
}

std::unique_ptr<QProcess> startClient(const QString &directory, const QStringList &arguments = {})
{
    auto process = std::make_unique<QProcess>();
    process->setWorkingDirectory(directory);
    process->start(clientProgram(), arguments);
    process->waitForStarted(5000);
    return process;
}

// Ends a running client as a logout would (SIGTERM: an orderly quit).
bool stopClient(QProcess &process)
{
    process.terminate();
    if (process.waitForFinished(10000))
        return true;
    process.kill();
    process.waitForFinished(3000);
    return false;
}

int modeOf(const QString &path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

bool plant(const QString &path, const QByteArray &bytes, int mode)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
           ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The lock file names its owner's process id on the first line.
qint64 lockOwner(const QString &directory)
{
    return fileBytes(directory + QLatin1Char('/') + lockName).split('\n').value(0).toLongLong();
}

bool runsAndOwns(QProcess &client, const QString &directory)
{
    return QTest::qWaitFor([&] { return lockOwner(directory) == client.processId(); }, 10000) &&
           client.state() == QProcess::Running;
}

QString projectVersion()
{
    const QByteArray cmake = fileBytes(qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/CMakeLists.txt"));
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("project\\([^)]*VERSION\\s+([0-9.]+)")).match(QString::fromUtf8(cmake));
    return match.captured(1);
}

// Extracts an archive with the system's tar; the files' paths relative to the folder and their bytes.
QMap<QString, QByteArray> extracted(const QString &archive, const QString &folder)
{
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("-xzf"), archive, QStringLiteral("-C"), folder});
    QMap<QString, QByteArray> files;
    if (!tar.waitForFinished(20000) || tar.exitCode() != 0)
        return files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path).section(QLatin1Char('/'), 1), fileBytes(path));
    }
    return files;
}

QStringList secretHits(const QMap<QString, QByteArray> &files, const QByteArrayList &secrets)
{
    QStringList hits;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        for (const QByteArray &secret : secrets) {
            if (it.value().contains(secret) || it.value().contains(secret.toPercentEncoding()))
                hits << it.key() + QStringLiteral(": ") + QString::fromUtf8(secret);
        }
    }
    return hits;
}
} // namespace

class TestDesktopInstance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initKorvaneResources();
        QVERIFY2(QFileInfo(clientProgram()).isExecutable(), "KORVANE_CLIENT names no program");
        // As under sudo, su, cron or ssh: no runtime folder of the user's own.
        qunsetenv("XDG_RUNTIME_DIR");
    }

    void secondStartRaisesTheFirstWindow()
    {
        ScopedWorkDir dir;
        MessageRecorder boxes;
        DesktopSession desktop;
        QVERIFY(desktop.claimWorkingDirectory());
        // As the client starts: the dialog is shown before the tray icon and the notifier are built.
        ChildrenWatch watch;
        desktop.installEventFilter(&watch);
        const std::unique_ptr<Login> shown(desktop.showLoginDialog());
        QVERIFY(watch.added > 0 && watch.addedBeforeTheDialogShowed == 0);
        Login &login = *shown;
        login.showMinimized();
        QTRY_VERIFY(login.isMinimized());

        auto second = startClient(dir.path());
        QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, 10000);
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        const QString said = QString::fromUtf8(second->readAllStandardError());
        QVERIFY2(said.contains(handOverLine) && said.contains(dir.path()), qPrintable(said));
        QTRY_VERIFY(!login.isMinimized() && login.isActiveWindow());

        // After the login the main window is the one brought forward.
        login.ensureMainWindow();
        login.hide();
        login.mainWindow->showMinimized();
        QTRY_VERIFY(login.mainWindow->isMinimized());
        second = startClient(dir.path());
        QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, 10000);
        QTRY_VERIFY(!login.mainWindow->isMinimized() && login.mainWindow->isActiveWindow());
        QVERIFY(!login.isVisible());
        QCOMPARE(lockOwner(dir.path()), QCoreApplication::applicationPid());
    }

    void oneClientPerFolder()
    {
        QTemporaryDir first;
        QTemporaryDir other;
        auto owner = startClient(first.path());
        QVERIFY(runsAndOwns(*owner, first.path()));

        auto second = startClient(first.path());
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(QString::fromUtf8(second->readAllStandardError()).contains(handOverLine));
        QCOMPARE(lockOwner(first.path()), owner->processId());

        // Another folder is another client's; one whose socket path is longer than a socket
        // address holds works alike.
        const QString deep = other.filePath(QString(110, QLatin1Char('d')));
        QVERIFY(QDir().mkpath(deep));
        auto neighbour = startClient(deep);
        QVERIFY(runsAndOwns(*neighbour, deep));
        QCOMPARE(owner->state(), QProcess::Running);
        second = startClient(deep);
        QVERIFY(second->waitForFinished(10000));
        QVERIFY(QString::fromUtf8(second->readAllStandardError()).contains(handOverLine));

        QVERIFY(stopClient(*owner) && stopClient(*neighbour));
        // A folder left by a client is free for the next one.
        auto next = startClient(first.path());
        QVERIFY(runsAndOwns(*next, first.path()));
        QVERIFY(stopClient(*next));
    }

    void leftoverLocksDoNotBlock_data()
    {
        QTest::addColumn<QByteArray>("lock");
        QProcess gone;
        gone.start(QStringLiteral("true"), QStringList());
        gone.waitForStarted(5000);
        const qint64 pid = gone.processId();
        gone.waitForFinished(5000);
        QTest::newRow("owner died") << QByteArray::number(pid) + "\nkorvane-client\n" +
                                           QHostInfo::localHostName().toUtf8() + "\n";
        QTest::newRow("unreadable") << QByteArray("\x00\xff\x13garbage without lines", 24);
        QTest::newRow("empty") << QByteArray();
    }

    void leftoverLocksDoNotBlock()
    {
        QFETCH(QByteArray, lock);
        QTemporaryDir dir;
        QFile file(dir.filePath(lockName));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(lock) == lock.size());
        file.close();
        auto client = startClient(dir.path());
        QVERIFY(runsAndOwns(*client, dir.path()));
        QVERIFY(stopClient(*client));
    }

    void runningClientKeepsToItsFolder()
    {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        // What an earlier version left readable by every user.
        QVERIFY(folder.mkdir(QStringLiteral("LogFile")) && folder.mkdir(QStringLiteral("logs")));
        QVERIFY(plant(dir.filePath(QStringLiteral("LogFile/20260101.txt")), "entry", 0644) &&
                plant(dir.filePath(QStringLiteral("logs/openvpn.log")), "line", 0644));
        QVERIFY(::chmod(QFile::encodeName(dir.filePath(QStringLiteral("LogFile"))).constData(), 0755) == 0 &&
                ::chmod(QFile::encodeName(dir.filePath(QStringLiteral("logs"))).constData(), 0755) == 0);

        auto client = startClient(dir.path());
        QVERIFY(runsAndOwns(*client, dir.path()));
        QTRY_VERIFY(!foreignsocket::listeningPaths(client->processId()).isEmpty());
        // Nowhere another user could have taken the name first.
        for (const QString &path : foreignsocket::listeningPaths(client->processId()))
            QVERIFY2(path.startsWith(dir.path() + QLatin1Char('/')), qPrintable(path));
        QTRY_COMPARE(modeOf(dir.filePath(QStringLiteral("LogFile"))), 0700);
        QCOMPARE(modeOf(dir.filePath(QStringLiteral("LogFile/20260101.txt"))), 0600);
        QCOMPARE(modeOf(dir.filePath(QStringLiteral("logs"))), 0700);
        QCOMPARE(modeOf(dir.filePath(QStringLiteral("logs/openvpn.log"))), 0600);
        QVERIFY(stopClient(*client));
    }

    void talksOnlyToItsOwnUser()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to act as another user");
        // Folders another user can enter, and a socket anyone may open: only the peer check is left.
        ScopedWorkDir dir;
        DesktopSession desktop;
        QVERIFY(desktop.claimWorkingDirectory());
        const QString socket = SingleInstance::serverName(dir.path());
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0 &&
                ::chmod(QFile::encodeName(socket).constData(), 0666) == 0);
        QLocalSocket intruder;
        QVERIFY(intruder.setSocketDescriptor(foreignsocket::connectAs(foreignsocket::nobody, socket)));
        intruder.write("diagnostics " + dir.filePath(QStringLiteral("taken.tar.gz")).toUtf8() + "\n");
        QTRY_COMPARE(intruder.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(intruder.readAll(), QByteArray());
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("taken.tar.gz"))));

        // Someone else listening where a client of this folder would: not asked, not believed.
        QTemporaryDir other;
        QVERIFY(::chmod(QFile::encodeName(other.path()).constData(), 0777) == 0);
        QLocalServer impostor;
        QByteArray heard;
        QVERIFY(
            impostor.listen(foreignsocket::listenAs(foreignsocket::nobody, SingleInstance::serverName(other.path()))));
        connect(&impostor, &QLocalServer::newConnection, &impostor, [&] {
            QLocalSocket *peer = impostor.nextPendingConnection();
            connect(peer, &QLocalSocket::readyRead, peer, [&heard, peer] {
                heard += peer->readAll();
                peer->write("ok\n");
            });
        });
        auto export_ = startClient(other.path(), {QStringLiteral("--diagnostics"), QStringLiteral("own.tar.gz")});
        QTRY_VERIFY_WITH_TIMEOUT(export_->state() == QProcess::NotRunning, 30000);
        QCOMPARE(export_->exitCode(), 0);
        QCOMPARE(heard, QByteArray());
        QCOMPARE(modeOf(other.filePath(QStringLiteral("own.tar.gz"))), 0600);
    }

    void diagnosticsSucceedOnlyWithAFile()
    {
        QTemporaryDir dir;
        // A client of this user that says it wrote the bundle but did not; a bundle of an earlier
        // export lies there.
        SingleInstance liar(dir.path());
        QCOMPARE(liar.claim(), SingleInstance::Claim::Owner);
        liar.setRequestHandler([](const QByteArray &) { return QByteArrayLiteral("ok"); });
        QVERIFY(plant(dir.filePath(QStringLiteral("old.tar.gz")), "earlier", 0600));
        auto export_ = startClient(dir.path(), {QStringLiteral("--diagnostics=old.tar.gz")});
        QTRY_VERIFY_WITH_TIMEOUT(export_->state() == QProcess::NotRunning, 30000);
        QCOMPARE(export_->exitCode(), 1);
        const QString said = QString::fromUtf8(export_->readAllStandardError());
        QVERIFY2(said.contains(QStringLiteral("没有写出该文件")), qPrintable(said));

        // A link planted where the bundle goes (a shared folder): refused, its target untouched.
        const QString victim = dir.filePath(QStringLiteral("victim.txt"));
        QVERIFY(plant(victim, "precious", 0644));
        QVERIFY(QFile::link(victim, dir.filePath(QStringLiteral("korvane.tar.gz"))));
        QTemporaryDir elsewhere;
        export_ = startClient(elsewhere.path(),
                              {QStringLiteral("--diagnostics"), dir.filePath(QStringLiteral("korvane.tar.gz"))});
        QTRY_VERIFY_WITH_TIMEOUT(export_->state() == QProcess::NotRunning, 30000);
        QCOMPARE(export_->exitCode(), 1);
        QVERIFY(QString::fromUtf8(export_->readAllStandardError()).contains(QStringLiteral("符号链接")));
        QCOMPARE(fileBytes(victim), QByteArray("precious"));
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("korvane.tar.gz"))).isSymLink());
    }

    void versionAndHelp()
    {
        // Before any window: they work without a display.
        QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            bare.remove(QString::fromLatin1(name));
        const auto run = [&](const QStringList &arguments, int *exitCode) {
            QProcess process;
            process.setProcessEnvironment(bare);
            process.start(clientProgram(), arguments);
            process.waitForFinished(10000);
            *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
            return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        };
        int code = -1;
        const QString version = run({QStringLiteral("--version")}, &code);
        QCOMPARE(code, 0);
        QCOMPARE(version.section(QLatin1Char('\n'), 0, 0), QStringLiteral("korvane-client ") + projectVersion());
        for (const char *part : {"Qt: ", "libcurl: ", "OpenVPN: "})
            QVERIFY2(version.contains(QString::fromLatin1(part)), part);

        const QString help = run({QStringLiteral("--help")}, &code);
        QCOMPARE(code, 0);
        for (const char *part : {"--diagnostics <", "--version", "-h, --help", "korvane-launcher"})
            QVERIFY2(help.contains(QString::fromUtf8(part)), part);
        QCOMPARE(run({QStringLiteral("-h")}, &code), help);

        QVERIFY(run({QStringLiteral("--diagnostics")}, &code).contains(QStringLiteral("--diagnostics")));
        QCOMPARE(code, 2);

        // Mistyped options never open the window; the refusal names the option and shows the usage.
        for (const char *wrong : {"--foo", "-v", "--diagnostic", "stray"}) {
            const QString said = run({QString::fromLatin1(wrong)}, &code);
            QCOMPARE(code, 2);
            QVERIFY2(said.contains(QString::fromLatin1(wrong) + QLatin1Char('\n')), qPrintable(said));
            QVERIFY2(said.contains(QStringLiteral("Usage: korvane-client")), qPrintable(said));
        }
        // Without a display: one line and status 1, not Qt's abort.
        const QString noDisplay = run({}, &code);
        QCOMPARE(code, 1);
        QCOMPARE(noDisplay.count(QLatin1Char('\n')), 1);
        QVERIFY2(noDisplay.contains(QStringLiteral("DISPLAY")), qPrintable(noDisplay));

        // The manual is named only where it is installed beside the binary.
        QVERIFY(!help.contains(QStringLiteral("man korvane-client")));
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")) &&
                QDir(prefix.path()).mkpath(QStringLiteral("share/man/man1")));
        const QString installed = prefix.filePath(QStringLiteral("bin/korvane-client"));
        QVERIFY(QFile::copy(clientProgram(), installed));
        QVERIFY(plant(prefix.filePath(QStringLiteral("share/man/man1/korvane-client.1.gz")), "manual", 0644));
        QProcess process;
        process.setProcessEnvironment(bare);
        process.start(installed, {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(10000));
        QVERIFY(QString::fromUtf8(process.readAllStandardOutput()).contains(QStringLiteral("man korvane-client")));
    }

    void diagnosticsHoldNoSecret()
    {
        QTemporaryDir dir;
        const QByteArray key = CredentialCipher::keyBytes();
        const QByteArray loginPassword = "Login-Secret-7731";
        const QByteArray tapPassword = "Tap-Secret-5520";
        const QByteArray token = "9f3c2a7e51d04b6c8e2f";
        AccountStore::Lists accounts;
        AccountStore::recordAccount(accounts, CredentialCipher::encipher("engineer", key),
                                    CredentialCipher::encipher(loginPassword, key),
                                    CredentialCipher::encipher("1", key));
        QVERIFY(AccountStore::save(accounts, dir.filePath(QStringLiteral("login.ini"))));
        TapBindingStore::Lists bindings;
        QVERIFY(TapBindingStore::saveBinding(
            bindings, CredentialCipher::encipher("engineer", key), CredentialCipher::encipher("TAP-7", key),
            CredentialCipher::encipher(tapPassword, key), dir.filePath(QStringLiteral("TAPBOUND.ini"))));
        const QByteArray vpnPassword = "Vpn-Secret-9902";
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("LogFile")) && QDir(dir.path()).mkpath(QStringLiteral("logs")));
        const QMap<QString, QByteArray> planted{
            {QStringLiteral("vpnconfig.ini"), "TAP-7\r\n" + vpnPassword + "\r\n"},
            // Leaks a careless build could have written: the bundle must not carry them on.
            {QStringLiteral("LogFile/20260101.txt"),
             "(2026-01-01 09:00:00 Thu) Debug: /lintraApi/getConfigParam?token=" + token +
                 "&gatewaySn=TAP-7&passWord=" + tapPassword + "\r\n \r\n(2026-01-01 09:00:01 Thu) Debug: login " +
                 loginPassword + "\r\n \r\n"},
            // A hole of zeros (a crash while appending) does not end the log.
            {QStringLiteral("logs/openvpn.log"), "Thu Jan  1 09:00:02 2026 auth " + vpnPassword + "\n{\"token\":\"" +
                                                     token + "\"}\n" + QByteArray(512, '\0') + "after the hole\n"},
            {QStringLiteral("TAP-7.ovpn"), "client\r\ndev tun\r\nauth-user-pass vpnconfig.ini\r\n"},
            // Not the client's: another VPN's profile with its credentials inline.
            {QStringLiteral("office.ovpn"),
             "client\r\n<auth-user-pass>\r\nme\r\nOffice-Secret\r\n</auth-user-pass>\r\n"},
        };
        for (auto it = planted.cbegin(); it != planted.cend(); ++it) {
            QFile file(dir.filePath(it.key()));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(it.value()) == it.value().size());
        }

        const QString archive = dir.filePath(QStringLiteral("support.tar.gz"));
        auto export_ = startClient(dir.path(), {QStringLiteral("--diagnostics"), QStringLiteral("support.tar.gz")});
        QVERIFY(export_->waitForFinished(30000));
        QCOMPARE(export_->exitCode(), 0);
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(archive).constData(), &info) == 0 && (info.st_mode & 0777) == 0600);

        QTemporaryDir out;
        const QMap<QString, QByteArray> files = extracted(archive, out.path());
        QCOMPARE(files.keys(), QStringList({QStringLiteral("LogFile/20260101.txt"), QStringLiteral("TAP-7.ovpn"),
                                            QStringLiteral("logs/openvpn.log"), QStringLiteral("summary.txt")}));
        QCOMPARE(files.value(QStringLiteral("TAP-7.ovpn")), planted.value(QStringLiteral("TAP-7.ovpn")));
        QVERIFY(files.value(QStringLiteral("logs/openvpn.log")).endsWith(QByteArray(512, '\0') + "after the hole\n"));
        QVERIFY(files.value(QStringLiteral("LogFile/20260101.txt")).contains("gatewaySn=TAP-7&passWord=********"));
        const QStringList hits = secretHits(files, {loginPassword, tapPassword, token, vpnPassword,
                                                    fileBytes(dir.filePath(QStringLiteral("login.ini"))),
                                                    fileBytes(dir.filePath(QStringLiteral("TAPBOUND.ini")))});
        QVERIFY2(hits.isEmpty(), qPrintable(hits.join(QLatin1Char('\n'))));

        const QString summary = QString::fromUtf8(files.value(QStringLiteral("summary.txt")));
        for (const char *part : {"time zone: ", "Korvane client: ", "Qt: ", "libcurl: ", "libcurl TLS: ", "OpenVPN: ",
                                 "URL: https://", "[adapters]", "client not running in this directory"})
            QVERIFY2(summary.contains(QString::fromUtf8(part)), part);
    }

    void diagnosticsFromTheRunningClient()
    {
        BoundWindow w;
        DesktopSession desktop;
        QVERIFY(desktop.claimWorkingDirectory());
        desktop.attach(nullptr, &w.window);
        QVERIFY(w.start());

        auto export_ = startClient(w.dir.path(), {QStringLiteral("--diagnostics=live.tar.gz")});
        QTRY_VERIFY_WITH_TIMEOUT(export_->state() == QProcess::NotRunning, 30000);
        QCOMPARE(export_->exitCode(), 0);
        QVERIFY(QString::fromUtf8(export_->readAllStandardOutput()).contains(QStringLiteral("正在运行的客户端")));

        QTemporaryDir out;
        const QMap<QString, QByteArray> files = extracted(w.dir.filePath(QStringLiteral("live.tar.gz")), out.path());
        const QString summary = QString::fromUtf8(files.value(QStringLiteral("summary.txt")));
        for (const QString &part : {QStringLiteral("state: 通道：已连接"), QStringLiteral("tunnelConnected: true"),
                                    QStringLiteral("tunnelTapList: TAP-DEMO-0001"),
                                    QStringLiteral("tunnelPidList: ") + w.window.tunnelPidList.value(0),
                                    QStringLiteral("URL: ") + QString::fromUtf8(w.platform.baseUrl())})
            QVERIFY2(summary.contains(part), qPrintable(part));
        QVERIFY(files.contains(QStringLiteral("TAP-DEMO-0001.ovpn")));
        QCOMPARE(modeOf(w.dir.filePath(QStringLiteral("logs"))), 0700);
        const QStringList hits =
            secretHits(files, {demo::password.toUtf8(), QByteArray("Tap@0001"), w.window.sessionToken});
        QVERIFY2(hits.isEmpty(), qPrintable(hits.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestDesktopInstance)
#include "tst_desktop_instance.moc"
