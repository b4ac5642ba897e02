#include "platform/hostsystem_linux.h"
#include "tunnel/logic/adapterprobe.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The namespace checks run this binary again inside the namespace (through `ip netns exec`,
// which also mounts a /sys of that namespace) with this switch.
static const char helperSwitch[] = "--netns-helper";

namespace {

// Helper side: prints what the host layer sees. Given a tun device, it first attaches to it as its
// reader and sends one datagram through it, so the device counts it as sent.
int runHelper(const QByteArray &device)
{
    LinuxHostSystem host;
    const auto sent = [&host] { return host.tapSentBytes() ? QByteArray::number(*host.tapSentBytes()) : "none"; };
    if (!device.isEmpty()) {
        const int tun = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
        ifreq request{};
        request.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::strncpy(request.ifr_name, device.constData(), IFNAMSIZ - 1);
        const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (tun < 0 || udp < 0 || ::ioctl(tun, TUNSETIFF, &request) != 0)
            return 1;
        std::printf("before\t%s\n", sent().constData());
        const sockaddr_in target{AF_INET, htons(9), {htonl(0x0ad50002)}, {}}; // 10.213.0.2, routed into the device
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
    void interpreterAndKillProcessTree()
    {
        QCOMPARE(tunnelCommandLine(QStringLiteral("TAP-0001"), QStringLiteral("127.0.0.1"), 25341),
                 QByteArray("openvpn --config 'TAP-0001.ovpn' --management 127.0.0.1 25341\n"));
        LinuxHostSystem host;
        QProcess shell;
        const QString serial = QStringLiteral("it's $(id) `id` \"x\" \\n *; y && z | 网关");
        const QByteArray line = host.startTunnelInterpreter(shell, serial, QStringLiteral("127.0.0.1"), 40001);
        QVERIFY(shell.waitForStarted(5000));
        // A stand-in for openvpn shows the words the shell made of the line.
        shell.write("openvpn() { printf args; printf ' <%s>' \"$@\"; echo; }\n" + line);
        QCOMPARE(readTagged(shell, QStringLiteral("args")),
                 QStringLiteral("<--config> <%1.ovpn> <--management> <127.0.0.1> <40001>").arg(serial));

        // Both output channels arrive; the shell leads its own session and group under the known pid.
        shell.write("echo err 2 >&2; echo shell $$; sleep 60 & echo grandchild $!\n");
        QCOMPARE(readTagged(shell, QStringLiteral("err")), QStringLiteral("2"));
        const pid_t pid = pid_t(shell.processId());
        QCOMPARE(readTagged(shell, QStringLiteral("shell")).toInt(), int(pid));
        QCOMPARE(qMakePair(::getpgid(pid), ::getsid(pid)), qMakePair(pid, pid));
        const qint64 grandchild = readTagged(shell, QStringLiteral("grandchild")).toLongLong();
        QVERIFY(isRunning(grandchild));

        // Texts made from the group leader's pid: a lax parser would hit it (or, for "0", this test).
        const QString texts = QStringLiteral("|abc|0|-%1| %1|+%1|%1abc|%1.0|0x%1|99999999999999999999").arg(pid);
        for (const QString &text : texts.split(u'|')) {
            host.killProcessTree(text);
            QVERIFY2(isRunning(pid) && isRunning(grandchild), qPrintable(text));
        }
        host.killProcessTree(QString::number(pid));
        QVERIFY(!isRunning(grandchild)); // gone by the time the kill returns
        QVERIFY(shell.waitForFinished(5000));
        QCOMPARE(shell.exitStatus(), QProcess::CrashExit);

        // A child in this test's own process group: killing its group would end the test itself.
        QProcess child;
        child.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("sleep 60 & echo sleeper $!; wait")});
        QVERIFY(child.waitForStarted(5000));
        const qint64 sleeper = readTagged(child, QStringLiteral("sleeper")).toLongLong();
        QVERIFY(isRunning(sleeper) && ::getpgid(pid_t(child.processId())) == ::getpgrp());
        host.killProcessTree(QString::number(child.processId()));
        QVERIFY(!isRunning(sleeper) && child.waitForFinished(5000));
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
                    "model name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\nstepping\t: 10\n" + flags +
                    "dts acpi mmx fxsr sse sse2 ss ht tm pbe syscall nx pdpe1gb rdtscp lm\n\n"
                    "processor\t: 1\ncpu family\t: 6\nmodel\t\t: 158\nstepping\t: 11\nflags\t: fpu\n"),
                 QStringLiteral("BFEBFBFF000906EA"));
        QCOMPARE(id("processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 25\nmodel\t\t: 33\n"
                    "stepping\t: 0\n" + flags + "mmx fxsr sse sse2 ht syscall nx mmxext fxsr_opt lm\n"),
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
        const auto helper = [&](const char *device, const QString &pattern) {
            const QStringList command = {QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"), ns,
                                         QCoreApplication::applicationFilePath(), QLatin1String(helperSwitch),
                                         QLatin1String(device)};
            output = QString::fromUtf8(run(command).value_or("the helper failed"));
            match = QRegularExpression(QLatin1Char('^') + pattern + QLatin1Char('$')).match(output);
            return match.hasMatch();
        };
        const QString idle = QStringLiteral("=0\\.0\\.0\\.0\nstate\t1\nsent\tnone\n");

        // Nothing but lo: a usable tun driver stands for the adapter OpenVPN will create.
        QVERIFY2(helper("", QStringLiteral("adapters\t[^|]*\\|TAP[^|]*") + idle), qPrintable(output));
        // A tun device without address replaces the stand-in: idle, and not up, so no counter.
        QVERIFY(ip("tuntap add dev ktest0 mode tun"));
        QVERIFY2(helper("", QStringLiteral("adapters\t[^|]*\\|TAP[^|]* ktest0") + idle), qPrintable(output));
        // Addressed and up: in use, and its counter is read although it has no carrier; a datagram
        // routed into the device moves it.
        QVERIFY(ip("addr add 10.213.0.1/24 dev ktest0") && ip("link set ktest0 up"));
        QVERIFY2(helper("ktest0", QStringLiteral("before\t(\\d+)\nseen\t1\n"
                                                 "adapters\t[^|]*\\|TAP[^|]* ktest0=10\\.213\\.0\\.1\n"
                                                 "state\t2\nsent\t(\\d+)\n")),
                 qPrintable(output));
        QVERIFY2(match.captured(2).toULongLong() > match.captured(1).toULongLong(), qPrintable(output));
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], helperSwitch) == 0)
        return runHelper(argc > 2 ? QByteArray(argv[2]) : QByteArray());

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
