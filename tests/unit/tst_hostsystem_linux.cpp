#include "platform/hostsystem_linux.h"
#include "support/pidreuse.h"
#include "tunnel/logic/adapterprobe.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The namespace checks run this binary again inside the namespace (through `ip netns exec`,
// which also mounts a /sys of that namespace) with this switch.
static const char helperSwitch[] = "--netns-helper";

namespace {

// Helper side: prints what the host layer sees. Given a tun device and an address routed into it,
// it first attaches to the device as its reader and sends one datagram there, so the device counts
// it as sent.
int runHelper(const QByteArray &device, const QByteArray &targetAddress)
{
    LinuxHostSystem host;
    const auto sent = [&host] { return host.tapSentBytes() ? QByteArray::number(*host.tapSentBytes()) : "none"; };
    if (!device.isEmpty()) {
        const int tun = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
        ifreq request{};
        request.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::strncpy(request.ifr_name, device.constData(), IFNAMSIZ - 1);
        const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in target{AF_INET, htons(9), {}, {}};
        if (tun < 0 || udp < 0 || ::ioctl(tun, TUNSETIFF, &request) != 0 ||
            ::inet_pton(AF_INET, targetAddress.constData(), &target.sin_addr) != 1)
            return 1;
        std::printf("before\t%s\n", sent().constData());
        unsigned char packet[2048];
        bool seen = false;
        // Sent again until it shows up: until the kernel has noticed the new reader, the device drops packets.
        for (int attempt = 0; attempt < 25 && !seen; ++attempt) {
            ::sendto(udp, "probe", 5, 0, reinterpret_cast<const sockaddr *>(&target), sizeof target);
            for (pollfd readable{tun, POLLIN, 0}; !seen && ::poll(&readable, 1, 200) == 1;) {
                const ssize_t length = ::read(tun, packet, sizeof packet);
                seen = length >= 20 && packet[9] == IPPROTO_UDP && std::memcmp(packet + 16, &target.sin_addr, 4) == 0;
            }
        }
        std::printf("seen\t%d\n", int(seen));
    }
    QStringList adapters;
    for (const AdapterInfo &adapter : host.adapters())
        adapters << adapter.description + QLatin1Char('=') + adapter.ipv4Addresses.join(QLatin1Char(','));
    std::printf("adapters\t%s\nstate\t%d\nsent\t%s\n", adapters.join(QLatin1Char('|')).toUtf8().constData(),
                int(classifyAdapters(host.adapters())), sent().constData());
    return 0;
}

// The output of a command that ran and exited with 0.
std::optional<QByteArray> run(const QStringList &command)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.first(), command.mid(1));
    const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
    return ok && process.exitCode() == 0 ? std::optional<QByteArray>(process.readAll()) : std::nullopt;
}

// Alive and not yet a zombie, read straight from /proc.
bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const QByteArray state = text.mid(text.lastIndexOf(')') + 1).trimmed().left(1);
    return !state.isEmpty() && state != "Z" && state != "X";
}

// Waits until the process has exec'd sleep: until then it is a forked shell that still runs the
// parent's traps and would swallow a SIGTERM meant for sleep.
bool becameSleep(qint64 pid)
{
    QElapsedTimer clock;
    clock.start();
    for (QFile comm(QStringLiteral("/proc/%1/comm").arg(pid)); clock.elapsed() < 5000; QThread::msleep(5)) {
        if (comm.open(QIODevice::ReadOnly) && comm.readAll() == "sleep\n")
            return true;
        comm.close();
    }
    return false;
}

// The marker file's content, or "missing".
QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
}

// The rest of the first output line "<tag> ..." to come; earlier lines are dropped.
QString readTagged(QProcess &process, const QString &tag)
{
    while (process.canReadLine() || process.waitForReadyRead(10000)) {
        const QString line = process.canReadLine() ? QString::fromUtf8(process.readLine()).trimmed() : QString();
        if (line.startsWith(tag + QLatin1Char(' ')))
            return line.mid(tag.size() + 1);
    }
    return QString();
}

} // namespace

class TestHostSystemLinux : public QObject {
    Q_OBJECT

public:
    QString namespaceSkipReason; // set when the namespace checks could not run

private slots:
    void commandLineAndInterpreter()
    {
        // Byte for byte: the device options after --config (they override the profile's "dev"),
        // the password file quoted like the profile name.
        const auto line = [](const char *serial, const char *passwordFile) {
            return tunnelCommandLine(QString::fromUtf8(serial), QStringLiteral("127.0.0.1"), 25341,
                                     QString::fromUtf8(passwordFile));
        };
        QCOMPARE(line("TAP-0001", "/run/korvane/mgmt.pw"),
                 QByteArray("openvpn --config 'TAP-0001.ovpn' --dev-type tun --dev korvane0 "
                            "--management 127.0.0.1 25341 '/run/korvane/mgmt.pw'\n"));
        QCOMPARE(line("TAP'01", "/tmp/a b/it's"),
                 QByteArray("openvpn --config 'TAP'\\''01.ovpn' --dev-type tun --dev korvane0 "
                            "--management 127.0.0.1 25341 '/tmp/a b/it'\\''s'\n"));

        LinuxHostSystem host;
        QProcess shell;
        const QString serial = QStringLiteral("it's $(id) `id` \"x\" \\n *; y && z | 网关");
        const QString passwordFile = QStringLiteral("/tmp/k $HOME/'pw' *");
        const QByteArray command =
            host.startTunnelInterpreter(shell, serial, QStringLiteral("127.0.0.1"), 40001, passwordFile);
        QVERIFY(shell.waitForStarted(5000));
        // A stand-in for openvpn shows the words the shell made of the line.
        shell.write("openvpn() { printf args; printf ' <%s>' \"$@\"; echo; }\n" + command);
        QCOMPARE(readTagged(shell, QStringLiteral("args")),
                 QStringLiteral("<--config> <%1.ovpn> <--dev-type> <tun> <--dev> <korvane0> <--management> "
                                "<127.0.0.1> <40001> <%2>")
                     .arg(serial, passwordFile));

        // Both output channels arrive; the shell leads its own session and group under the known pid.
        shell.write("echo err 2 >&2; echo shell $$\n");
        QCOMPARE(readTagged(shell, QStringLiteral("err")), QStringLiteral("2"));
        const pid_t pid = pid_t(shell.processId());
        QCOMPARE(readTagged(shell, QStringLiteral("shell")).toInt(), int(pid));
        QCOMPARE(qMakePair(::getpgid(pid), ::getsid(pid)), qMakePair(pid, pid));
        shell.closeWriteChannel();
        QVERIFY(shell.waitForFinished(5000));
    }

    void killProcessTree()
    {
        LinuxHostSystem host;
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        const QString marker = directory.filePath(QStringLiteral("marker"));
        const QByteArray onTerm = "trap 'echo cleaned >" + shellQuoted(marker).toUtf8() + "; exit 0' TERM; ";
        QProcess shell;
        qint64 grandchild = 0;
        // A tunnel interpreter running the script, with a child that shares its group.
        const auto startGroup = [&](const QByteArray &script) {
            host.startTunnelInterpreter(shell, QStringLiteral("x"), QStringLiteral("127.0.0.1"), 1, QString());
            shell.write(script + "sleep 60 & echo grandchild $!; wait\n");
            grandchild = readTagged(shell, QStringLiteral("grandchild")).toLongLong();
            return shell.waitForStarted(5000) && becameSleep(grandchild);
        };
        QElapsedTimer clock;

        // Texts made from the group leader's pid: a lax parser would hit it (or, for "0", this test).
        QVERIFY(startGroup(onTerm));
        const qint64 pid = shell.processId();
        const QString texts = QStringLiteral("|abc|0|-%1| %1|+%1|%1abc|%1.0|0x%1|99999999999999999999").arg(pid);
        for (const QString &text : texts.split(u'|')) {
            host.killProcessTree(text);
            QVERIFY2(isRunning(pid) && isRunning(grandchild), qPrintable(text));
        }
        // SIGTERM first: the group gets to clean up, and a prompt exit is not waited out.
        clock.start();
        host.killProcessTree(QString::number(pid));
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!isRunning(grandchild)); // gone by the time the kill returns
        QCOMPARE(fileContent(marker), QByteArray("cleaned\n"));
        QVERIFY(shell.waitForFinished(5000) && shell.exitStatus() == QProcess::NormalExit);

        // A group that ignores SIGTERM is killed after the wait.
        QVERIFY(startGroup("trap '' TERM; "));
        clock.start();
        host.killProcessTree(QString::number(shell.processId()));
        QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!isRunning(grandchild));
        QVERIFY(shell.waitForFinished(5000) && shell.exitStatus() == QProcess::CrashExit);
    }

    // Only an interpreter the layer started, and only while it is not reaped, is ever signalled.
    void killSignalsOnlyOwnInterpreters()
    {
        LinuxHostSystem host;
        QProcess stranger; // a session of its own, not started as a tunnel interpreter
        stranger.start(QStringLiteral("setsid"), {QStringLiteral("sleep"), QStringLiteral("60")});
        QVERIFY(stranger.waitForStarted(5000) && becameSleep(stranger.processId()));
        host.killProcessTree(QString::number(stranger.processId()));
        QVERIFY(isRunning(stranger.processId()));
        stranger.kill();
        stranger.waitForFinished(5000);

        if (::geteuid() != 0)
            QSKIP("giving an ended interpreter's pid to another process needs root");
        QProcess shell;
        host.startTunnelInterpreter(shell, QStringLiteral("x"), QStringLiteral("127.0.0.1"), 1, QString());
        const pid_t pid = pid_t(shell.processId());
        shell.closeWriteChannel();
        QVERIFY(shell.waitForFinished(5000)); // reaped: the pid is free
        const pid_t reused = spawnWithPid(pid, {"sleep", "60"});
        QVERIFY2(reused == pid, "the pid was taken meanwhile");
        const auto reap = qScopeGuard([reused] {
            ::kill(reused, SIGKILL);
            ::waitpid(reused, nullptr, 0);
        });
        QVERIFY(becameSleep(reused));
        host.killProcessTree(QString::number(pid));
        QVERIFY(isRunning(reused));
    }

    // The management peer counts only when the socket that accepted the connection is held by the
    // interpreter's tree.
    void tunnelOwnsConnection()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
            QSKIP("python3 stands in for the tunnel program's listener");
        LinuxHostSystem host;
        QProcess shell;
        host.startTunnelInterpreter(shell, QStringLiteral("x"), QStringLiteral("127.0.0.1"), 1, QString());
        shell.write("exec python3 -c \"import socket\ns=socket.socket()\ns.bind(('127.0.0.1',0))\ns.listen()\n"
                    "print('port', s.getsockname()[1], flush=True)\nc,_=s.accept()\nc.sendall(b'hi')\nc.recv(1)\"\n");
        shell.closeWriteChannel();
        const quint16 port = quint16(readTagged(shell, QStringLiteral("port")).toUInt());
        QVERIFY(port != 0);
        QTcpSocket own;
        own.connectToHost(QStringLiteral("127.0.0.1"), port);
        QVERIFY(own.waitForReadyRead(5000)); // accepted
        const QString interpreter = QString::number(shell.processId());
        QVERIFY(host.tunnelOwnsConnection(interpreter, own.localPort(), port));
        QVERIFY(!host.tunnelOwnsConnection(QString::number(::getpid()), own.localPort(), port));

        // A listener of someone else (here: this test) on another port.
        QTcpServer foreign;
        QVERIFY(foreign.listen(QHostAddress::LocalHost));
        QTcpSocket toForeign;
        toForeign.connectToHost(QStringLiteral("127.0.0.1"), foreign.serverPort());
        QVERIFY(foreign.waitForNewConnection(5000) && foreign.nextPendingConnection());
        QVERIFY(!host.tunnelOwnsConnection(interpreter, toForeign.localPort(), foreign.serverPort()));
        own.write("x");
        own.flush();
        QVERIFY(shell.waitForFinished(5000));
    }

    // A tunnel program an earlier run left is stopped only in its session, in this folder, and
    // when its command line is the tunnel's.
    void stopStrayTunnel()
    {
        LinuxHostSystem host;
        QTemporaryDir here;
        QTemporaryDir elsewhere;
        QVERIFY(here.isValid() && elsewhere.isValid());
        const QString fakeOpenvpn = here.filePath(QStringLiteral("openvpn"));
        QVERIFY(QFile::link(QStringLiteral("/bin/sh"), fakeOpenvpn));
        const QStringList tunnelArguments = {fakeOpenvpn, QStringLiteral("-c"), QStringLiteral("sleep 60; :"),
                                             QStringLiteral("--config"), QStringLiteral("T.ovpn"),
                                             QStringLiteral("--management"), QStringLiteral("127.0.0.1")};
        const auto detached = [](const QStringList &command, const QString &directory) {
            qint64 pid = 0;
            QProcess::startDetached(QStringLiteral("setsid"), command, directory, &pid);
            return pid;
        };
        const qint64 stray = detached(tunnelArguments, here.path());
        const qint64 otherFolder = detached(tunnelArguments, elsewhere.path());
        const qint64 notTunnel = detached({QStringLiteral("sleep"), QStringLiteral("60")}, here.path());
        const auto end = qScopeGuard([&] {
            for (const qint64 pid : {stray, otherFolder, notTunnel})
                ::kill(pid_t(pid), SIGKILL);
        });
        QVERIFY(stray > 0 && otherFolder > 0 && notTunnel > 0 && becameSleep(notTunnel));
        QTest::qWait(200); // the shells have started

        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(here.path()));
        const auto back = qScopeGuard([&] { QDir::setCurrent(previous); });
        for (const qint64 pid : {otherFolder, notTunnel, qint64(::getpid())})
            host.stopStrayTunnel(QString::number(pid));
        QVERIFY(isRunning(stray) && isRunning(otherFolder) && isRunning(notTunnel));
        host.stopStrayTunnel(QString::number(stray));
        QVERIFY(QTest::qWaitFor([&] { return !isRunning(stray); }, 5000));
        QVERIFY(isRunning(otherFolder) && isRunning(notTunnel));

        QCOMPARE(isTunnelCommandLine({"/usr/sbin/openvpn", "--config", "A.ovpn", "--management", "h", "1"}), true);
        QCOMPARE(isTunnelCommandLine({"openvpn", "--config", "A.conf", "--management"}), false);
        QCOMPARE(isTunnelCommandLine({"/bin/sh", "--config", "A.ovpn", "--management"}), false);
        QCOMPARE(isTunnelCommandLine({"openvpn", "--config", "A.ovpn"}), false);
    }

    // Private: ours, not a link, nobody else may write (a group only when it is our own).
    void privateToUser()
    {
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        const QString file = directory.filePath(QStringLiteral("f"));
        const QString link = directory.filePath(QStringLiteral("l"));
        QVERIFY(QFile(file).open(QIODevice::WriteOnly) && QFile::link(file, link));
        const QByteArray encoded = QFile::encodeName(file);
        const char *path = encoded.constData();
        QVERIFY(::chmod(path, 0600) == 0 && isPathPrivateToUser(file));
        QVERIFY(!isPathPrivateToUser(link) && !isPathPrivateToUser(directory.filePath(QStringLiteral("none"))));
        QVERIFY(::chmod(path, 0602) == 0 && !isPathPrivateToUser(file));
        QVERIFY(::chmod(QFile::encodeName(directory.path()).constData(), 01777) == 0 && !isPathPrivateToUser(directory.path()));
        if (::geteuid() != 0)
            return;
        QVERIFY(::chmod(path, 0620) == 0 && ::chown(path, 0, 0) == 0 && isPathPrivateToUser(file)); // root's own group
        QVERIFY(::chown(path, 0, 65534) == 0 && !isPathPrivateToUser(file));
        QVERIFY(::chmod(path, 0600) == 0 && ::chown(path, 65534, 0) == 0 && !isPathPrivateToUser(file));
    }

    void hardwareTexts()
    {
        LinuxHostSystem host;
        const QStringList texts = host.hardwareTexts();
        QCOMPARE(texts.size(), 8);
        QCOMPARE(host.hardwareTexts(), texts); // the fingerprint must not change between calls
        QFile file(QStringLiteral("/proc/cpuinfo"));
        const QByteArray cpuInfo = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        QVERIFY(!cpuInfo.contains("model name") || !texts.at(0).isEmpty());
        QVERIFY(!cpuInfo.contains("cpu cores") || texts.at(1).toInt() > 0);
        QVERIFY(!cpuInfo.contains("processor") || texts.at(2).toInt() > 0);
        if (cpuInfo.contains("cpu family") && cpuInfo.contains("flags"))
            QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{16}$")).match(texts.at(3)).hasMatch());

        // The values Windows reports for these processors; the first processor block counts.
        const QByteArray flags("flags\t\t: fpu vme de pse tsc msr pae mce cx8 apic sep mtrr pge mca cmov pat pse36 "
                               "clflush ");
        const auto id = [](const QByteArray &cpuInfo) { return processorIdFromCpuInfo(cpuInfo); };
        QCOMPARE(id("processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\n"
                    "model name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\nstepping\t: 10\n" +
                    flags +
                    "dts acpi mmx fxsr sse sse2 ss ht tm pbe syscall nx pdpe1gb rdtscp lm\n\n"
                    "processor\t: 1\ncpu family\t: 6\nmodel\t\t: 158\nstepping\t: 11\nflags\t: fpu\n"),
                 QStringLiteral("BFEBFBFF000906EA"));
        QCOMPARE(id("processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 25\nmodel\t\t: 33\n"
                    "stepping\t: 0\n" +
                    flags + "mmx fxsr sse sse2 ht syscall nx mmxext fxsr_opt lm\n"),
                 QStringLiteral("178BFBFF00A20F10"));
        for (const char *bad : {"", "\x01\xff:::\n:\ncpu family: x\nmodel: \nflags\n"})
            QCOMPARE(id(bad), QString());
    }

    void adaptersAndCounterInPrivateNamespace()
    {
        const QString ns = QStringLiteral("korvane-test-%1").arg(::getpid());
        namespaceSkipReason = ::geteuid() != 0 ? QStringLiteral("the tun device checks need root")
                              : run({QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("add"), ns})
                                  ? QString()
                                  : QStringLiteral("ip netns add %1 failed").arg(ns);
        if (!namespaceSkipReason.isEmpty())
            QSKIP(qPrintable(namespaceSkipReason));
        const auto cleanup = qScopeGuard([&] { run(QStringLiteral("ip netns delete %1").arg(ns).split(u' ')); });
        const auto ip = [&](const char *arguments) {
            return run(QStringLiteral("ip -n %1 %2").arg(ns, QLatin1String(arguments)).split(u' ')).has_value();
        };
        QString output;
        QRegularExpressionMatch match;
        const auto helper = [&](const char *device, const char *target, const QString &pattern) {
            const QStringList command = {QStringLiteral("ip"),
                                         QStringLiteral("netns"),
                                         QStringLiteral("exec"),
                                         ns,
                                         QCoreApplication::applicationFilePath(),
                                         QLatin1String(helperSwitch),
                                         QLatin1String(device),
                                         QLatin1String(target)};
            output = QString::fromUtf8(run(command).value_or("the helper failed"));
            match = QRegularExpression(QLatin1Char('^') + pattern + QLatin1Char('$')).match(output);
            return match.hasMatch();
        };
        const QString idle = QStringLiteral("\nstate\t1\nsent\tnone\n");
        const QString standIn = QStringLiteral("\\|TAP-Linux tun \\(created when the tunnel starts\\)=0\\.0\\.0\\.0");

        // Nothing but lo: a usable tun driver stands for the device OpenVPN will create.
        QVERIFY2(helper("", "", QStringLiteral("adapters\tInterface lo[^|]*") + standIn + idle), qPrintable(output));
        // Another VPN's tun device, configured and carrying traffic, is an ordinary interface: not our
        // tunnel, not our counter.
        QVERIFY(ip("tuntap add dev tun0 mode tun") && ip("addr add 10.213.0.1/24 dev tun0") && ip("link set tun0 up"));
        QVERIFY2(helper("tun0", "10.213.0.2",
                        QStringLiteral(
                            "before\tnone\nseen\t1\nadapters\tInterface lo[^|]*\\|Interface tun0=10\\.213\\.0\\.1") +
                            standIn + idle),
                 qPrintable(output));
        // Our device without address replaces the stand-in: idle, and not up, so no counter.
        QVERIFY(ip("tuntap add dev korvane0 mode tun"));
        const QString tun0 = QStringLiteral("adapters\t[^|]*\\|Interface tun0=[^|]*\\|TAP-Linux tun korvane0=");
        QVERIFY2(helper("", "", tun0 + QStringLiteral("0\\.0\\.0\\.0") + idle), qPrintable(output));
        // Addressed and up: in use, and its counter is read although it has no carrier; a datagram
        // routed into the device moves it.
        QVERIFY(ip("addr add 10.214.0.1/24 dev korvane0") && ip("link set korvane0 up"));
        QVERIFY2(helper("korvane0", "10.214.0.2",
                        QStringLiteral("before\t(\\d+)\nseen\t1\n") + tun0 +
                            QStringLiteral("10\\.214\\.0\\.1\nstate\t2\nsent\t(\\d+)\n")),
                 qPrintable(output));
        QVERIFY2(match.captured(2).toULongLong() > match.captured(1).toULongLong(), qPrintable(output));
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], helperSwitch) == 0)
        return runHelper(argc > 2 ? QByteArray(argv[2]) : QByteArray(), argc > 3 ? QByteArray(argv[3]) : QByteArray());

    QCoreApplication app(argc, argv);
    TestHostSystemLinux test;
    const int failures = QTest::qExec(&test, argc, argv);
    if (failures == 0 && !test.namespaceSkipReason.isEmpty()) {
        // The rest passed, but the part that needs root did not run: report skipped, not passed.
        std::printf("SKIP: %s\n", test.namespaceSkipReason.toUtf8().constData());
        std::fflush(stdout);
        std::exit(77);
    }
    return failures;
}

#include "tst_hostsystem_linux.moc"
