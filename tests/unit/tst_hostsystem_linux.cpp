#include "platform/hostsystem_linux.h"
#include "tunnel/logic/adapterprobe.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

// The namespace checks run this binary again inside the namespace (through `ip netns exec`,
// which also mounts a /sys of that namespace) with this switch; it prints what the host layer
// sees there.
static const char helperSwitch[] = "--netns-helper";

namespace {

// ---- helper side: runs inside the test's own network namespace ----------------------------------

QByteArray sentText(const std::optional<quint64> &sent)
{
    return sent ? QByteArray::number(*sent) : QByteArray("none");
}

int printAdapters()
{
    LinuxHostSystem host;
    const std::vector<AdapterInfo> adapters = host.adapters();
    for (const AdapterInfo &adapter : adapters) {
        std::printf("adapter\t%s\t%s\n", adapter.description.toUtf8().constData(),
                    adapter.ipv4Addresses.join(QLatin1Char(',')).toUtf8().constData());
    }
    std::printf("state\t%d\n", int(classifyAdapters(adapters)));
    std::printf("sent\t%s\n", sentText(host.tapSentBytes()).constData());
    return 0;
}

// Attaches to the tun device as its reader, sends one datagram into it and reads it out, so the
// device counts it as sent.
int sendThroughTun(const char *device)
{
    const int tun = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, device, IFNAMSIZ - 1);
    if (tun < 0 || ::ioctl(tun, TUNSETIFF, &request) != 0) {
        std::printf("error\tattach %s: %s\n", device, std::strerror(errno));
        return 1;
    }
    LinuxHostSystem host;
    const std::optional<quint64> before = host.tapSentBytes();

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(9);
    ::inet_pton(AF_INET, "10.213.0.2", &target.sin_addr);
    const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    static const char payload[] = "korvane traffic probe";
    if (udp < 0 ||
        ::sendto(udp, payload, sizeof payload, 0, reinterpret_cast<const sockaddr *>(&target), sizeof target) < 0) {
        std::printf("error\tsend: %s\n", std::strerror(errno));
        return 1;
    }
    bool seen = false;
    for (int attempt = 0; attempt < 50 && !seen; ++attempt) {
        pollfd readable{tun, POLLIN, 0};
        if (::poll(&readable, 1, 100) <= 0)
            continue;
        unsigned char packet[2048];
        const ssize_t length = ::read(tun, packet, sizeof packet);
        seen = length >= 20 && (packet[0] >> 4) == 4 && packet[9] == IPPROTO_UDP &&
               std::memcmp(packet + 16, &target.sin_addr, 4) == 0;
    }
    std::printf("seen\t%d\nbefore\t%s\nafter\t%s\n", int(seen), sentText(before).constData(),
                sentText(host.tapSentBytes()).constData());
    ::close(udp);
    ::close(tun);
    return 0;
}

int runHelper(int argc, char **argv)
{
    const QByteArray command = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    if (command == "adapters")
        return printAdapters();
    if (command == "traffic" && argc > 3)
        return sendThroughTun(argv[3]);
    std::printf("error\tunknown helper command\n");
    return 2;
}

// ---- test side ----------------------------------------------------------------------------------

struct CommandResult {
    bool ok = false; // ran and exited with 0
    QByteArray output;
};

CommandResult runCommand(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        return {false, process.readAll()};
    }
    return {process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, process.readAll()};
}

// What the helper printed: "key<TAB>value..." lines.
struct HelperReport {
    std::vector<AdapterInfo> adapters;
    QHash<QString, QString> values;
    QByteArray raw;
};

HelperReport parseReport(const QByteArray &output)
{
    HelperReport report;
    report.raw = output;
    for (const QByteArray &line : output.split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (fields.size() == 3 && fields.at(0) == QLatin1String("adapter"))
            report.adapters.push_back({fields.at(1), fields.at(2).split(QLatin1Char(','), Qt::SkipEmptyParts)});
        else if (fields.size() == 2)
            report.values.insert(fields.at(0), fields.at(1));
    }
    return report;
}

const AdapterInfo *findAdapter(const HelperReport &report, const QString &nameSuffix)
{
    for (const AdapterInfo &adapter : report.adapters) {
        if (adapter.description.endsWith(nameSuffix))
            return &adapter;
    }
    return nullptr;
}

int tapEntries(const HelperReport &report)
{
    int count = 0;
    for (const AdapterInfo &adapter : report.adapters)
        count += adapter.description.startsWith(QLatin1String("TAP")) ? 1 : 0;
    return count;
}

// Deletes the namespace however the test ends.
struct NetworkNamespace {
    QString name;
    ~NetworkNamespace()
    {
        if (!name.isEmpty())
            runCommand(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("delete"), name});
    }
};

// Alive and not yet a zombie, read straight from /proc.
bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const QByteArray afterName = text.mid(text.lastIndexOf(')') + 1).trimmed();
    return !afterName.isEmpty() && afterName.at(0) != 'Z' && afterName.at(0) != 'X';
}

// Reads the interpreter's output line by line until a line "<tag> <number>" arrived; lines before
// it are dropped, lines after it stay for the next call.
qint64 readTaggedNumber(QProcess &process, const QByteArray &tag)
{
    const QRegularExpression pattern(QLatin1String("^") + QLatin1String(tag) + QLatin1String(" (\\d+)$"));
    for (int i = 0; i < 50;) {
        if (!process.canReadLine()) {
            process.waitForReadyRead(200);
            ++i;
            continue;
        }
        const QString line = QString::fromUtf8(process.readLine()).trimmed();
        const QRegularExpressionMatch match = pattern.match(line);
        if (match.hasMatch())
            return match.captured(1).toLongLong();
    }
    return -1;
}

bool tunDriverUsable()
{
    const int fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

class TestHostSystemLinux : public QObject {
    Q_OBJECT

public:
    QString namespaceSkipReason; // set when the namespace checks could not run

private slots:
    void commandLine_data();
    void commandLine();
    void quotingSurvivesTheShell_data();
    void quotingSurvivesTheShell();
    void interpreterLeadsItsOwnGroup();
    void killEndsShellAndGrandchild();
    void killWithoutOwnGroupSparesCaller();
    void bogusProcessIdsAreIgnored_data();
    void bogusProcessIdsAreIgnored();
    void hardwareTexts();
    void processorId_data();
    void processorId();
    void adaptersAndCounterInPrivateNamespace();

private:
    HelperReport runHelperIn(const QString &namespaceName, const QStringList &arguments);
};

void TestHostSystemLinux::commandLine_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain") << QStringLiteral("TAP-0001") << 25341
                           << QByteArray("openvpn --config 'TAP-0001.ovpn' --management 127.0.0.1 25341\n");
    QTest::newRow("quote in serial") << QStringLiteral("it's") << 25341
                                     << QByteArray("openvpn --config 'it'\\''s.ovpn' --management 127.0.0.1 25341\n");
    QTest::newRow("shell syntax stays literal") << QStringLiteral("$(reboot); x") << 40001
                                                << QByteArray("openvpn --config '$(reboot); x.ovpn' --management "
                                                              "127.0.0.1 40001\n");
}

void TestHostSystemLinux::commandLine()
{
    QFETCH(QString, serial);
    QFETCH(int, port);
    QFETCH(QByteArray, expected);
    LinuxHostSystem host;
    QProcess shell;
    const QByteArray line = host.startTunnelInterpreter(shell, serial, QStringLiteral("127.0.0.1"), quint16(port));
    QCOMPARE(line, expected);
    QVERIFY(shell.waitForStarted(5000));
    shell.kill();
    shell.waitForFinished(5000);
}

void TestHostSystemLinux::quotingSurvivesTheShell_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("quotes") << QStringLiteral("a'b\"c''");
    QTest::newRow("expansions") << QStringLiteral("$HOME `id` $(id) \\n *");
    QTest::newRow("separators") << QStringLiteral("x; y && z | w > v");
    QTest::newRow("non-ASCII") << QStringLiteral("网关-01");
    QTest::newRow("empty") << QString();
}

void TestHostSystemLinux::quotingSurvivesTheShell()
{
    QFETCH(QString, text);
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QLatin1String("printf %s ") + shellQuoted(text)});
    QVERIFY(shell.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), text);
}

void TestHostSystemLinux::interpreterLeadsItsOwnGroup()
{
    LinuxHostSystem host;
    QProcess shell;
    host.startTunnelInterpreter(shell, QStringLiteral("TAP-0001"), QStringLiteral("127.0.0.1"), 25341);
    QVERIFY(shell.waitForStarted(5000));

    // A shell reading its standard input, both output channels merged.
    shell.write("echo out 1; echo err 2 >&2; echo shell $$\n");
    QCOMPARE(readTaggedNumber(shell, "out"), qint64(1));
    QCOMPARE(readTaggedNumber(shell, "err"), qint64(2));

    // The shell itself runs under the pid QProcess knows, as leader of its own session and group.
    const pid_t pid = pid_t(shell.processId());
    QCOMPARE(readTaggedNumber(shell, "shell"), qint64(pid));
    QCOMPARE(::getpgid(pid), pid);
    QCOMPARE(::getsid(pid), pid);
    shell.kill();
    shell.waitForFinished(5000);
}

void TestHostSystemLinux::killEndsShellAndGrandchild()
{
    LinuxHostSystem host;
    QProcess shell;
    host.startTunnelInterpreter(shell, QStringLiteral("TAP-0001"), QStringLiteral("127.0.0.1"), 25341);
    QVERIFY(shell.waitForStarted(5000));
    shell.write("sleep 60 &\necho grandchild $!\n");
    const qint64 grandchild = readTaggedNumber(shell, "grandchild");
    QVERIFY(grandchild > 0);
    QVERIFY(isRunning(grandchild));

    host.killProcessTree(QString::number(shell.processId()));
    QVERIFY(!isRunning(grandchild)); // gone by the time the kill returns
    QVERIFY(shell.waitForFinished(5000));
    QCOMPARE(shell.exitStatus(), QProcess::CrashExit);
}

void TestHostSystemLinux::killWithoutOwnGroupSparesCaller()
{
    // A child in this test's own process group: killing its group would kill the test itself.
    QProcess shell;
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("sleep 60 & echo grandchild $!; wait")});
    QVERIFY(shell.waitForStarted(5000));
    const qint64 grandchild = readTaggedNumber(shell, "grandchild");
    QVERIFY(grandchild > 0);
    QCOMPARE(::getpgid(pid_t(shell.processId())), ::getpgrp());

    LinuxHostSystem().killProcessTree(QString::number(shell.processId()));
    QVERIFY(!isRunning(grandchild));
    QVERIFY(shell.waitForFinished(5000));
    QCOMPARE(shell.exitStatus(), QProcess::CrashExit);
}

void TestHostSystemLinux::bogusProcessIdsAreIgnored_data()
{
    // Derived from a live sentinel's pid: a lax parser would hit the sentinel.
    QTest::addColumn<QString>("pattern"); // %1 = the sentinel's pid
    QTest::newRow("empty") << QString();
    QTest::newRow("letters") << QStringLiteral("abc");
    QTest::newRow("zero") << QStringLiteral("0");
    QTest::newRow("negative") << QStringLiteral("-%1");
    QTest::newRow("leading blank") << QStringLiteral(" %1");
    QTest::newRow("plus sign") << QStringLiteral("+%1");
    QTest::newRow("trailing letters") << QStringLiteral("%1abc");
    QTest::newRow("fraction") << QStringLiteral("%1.0");
    QTest::newRow("hexadecimal") << QStringLiteral("0x%1");
    QTest::newRow("beyond any pid") << QStringLiteral("99999999999999999999");
}

void TestHostSystemLinux::bogusProcessIdsAreIgnored()
{
    QFETCH(QString, pattern);
    QProcess sentinel;
    sentinel.start(QStringLiteral("setsid"), {QStringLiteral("sleep"), QStringLiteral("60")});
    QVERIFY(sentinel.waitForStarted(5000));
    const qint64 pid = sentinel.processId();
    QVERIFY(isRunning(pid));
    const QString text = pattern.contains(QLatin1String("%1")) ? pattern.arg(pid) : pattern;

    LinuxHostSystem().killProcessTree(text);
    QVERIFY(isRunning(pid));
    QCOMPARE(sentinel.state(), QProcess::Running);
    sentinel.kill();
    sentinel.waitForFinished(5000);
}

void TestHostSystemLinux::hardwareTexts()
{
    LinuxHostSystem host;
    const QStringList texts = host.hardwareTexts();
    QCOMPARE(texts.size(), 8);
    // The fingerprint must not change from one call to the next.
    QCOMPARE(host.hardwareTexts(), texts);

    QFile cpuInfoFile(QStringLiteral("/proc/cpuinfo"));
    if (!cpuInfoFile.open(QIODevice::ReadOnly))
        return;
    const QByteArray cpuInfo = cpuInfoFile.readAll();
    if (cpuInfo.contains("processor"))
        QVERIFY(texts.at(2).toInt() > 0);
    if (cpuInfo.contains("model name"))
        QVERIFY(!texts.at(0).isEmpty());
    if (cpuInfo.contains("cpu cores"))
        QVERIFY(texts.at(1).toInt() > 0);
    if (cpuInfo.contains("cpu family") && cpuInfo.contains("flags"))
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{16}$")).match(texts.at(3)).hasMatch());
}

void TestHostSystemLinux::processorId_data()
{
    QTest::addColumn<QByteArray>("cpuInfo");
    QTest::addColumn<QString>("expected");

    // The values Windows reports for these processors.
    QTest::newRow("Intel Core i7-8700")
        << QByteArray("processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\n"
                      "model name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\nstepping\t: 10\n"
                      "flags\t\t: fpu vme de pse tsc msr pae mce cx8 apic sep mtrr pge mca cmov pat pse36 clflush dts "
                      "acpi mmx fxsr sse sse2 ss ht tm pbe syscall nx pdpe1gb rdtscp lm constant_tsc\n\n"
                      "processor\t: 1\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\nstepping\t: 11\n"
                      "flags\t\t: fpu\n\n")
        << QStringLiteral("BFEBFBFF000906EA");
    QTest::newRow("AMD Ryzen 7 5800X")
        << QByteArray("processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 25\nmodel\t\t: 33\n"
                      "model name\t: AMD Ryzen 7 5800X 8-Core Processor\nstepping\t: 0\n"
                      "flags\t\t: fpu vme de pse tsc msr pae mce cx8 apic sep mtrr pge mca cmov pat pse36 clflush mmx "
                      "fxsr sse sse2 ht syscall nx mmxext fxsr_opt pdpe1gb rdtscp lm constant_tsc rep_good nopl\n")
        << QStringLiteral("178BFBFF00A20F10");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("garbage") << QByteArray("\x01\xff:::\n:\ncpu family: x\nmodel: \nflags\n") << QString();
}

void TestHostSystemLinux::processorId()
{
    QFETCH(QByteArray, cpuInfo);
    QTEST(processorIdFromCpuInfo(cpuInfo), "expected");
}

HelperReport TestHostSystemLinux::runHelperIn(const QString &namespaceName, const QStringList &arguments)
{
    const CommandResult result = runCommand(
        QStringLiteral("ip"), QStringList{QStringLiteral("netns"), QStringLiteral("exec"), namespaceName,
                                          QCoreApplication::applicationFilePath(), QLatin1String(helperSwitch)} +
                                  arguments);
    HelperReport report = parseReport(result.output);
    if (!result.ok)
        report.values.insert(QStringLiteral("error"), QString::fromUtf8(result.output));
    return report;
}

void TestHostSystemLinux::adaptersAndCounterInPrivateNamespace()
{
    if (::geteuid() != 0) {
        namespaceSkipReason = QStringLiteral("the tun device checks need root");
        QSKIP("the tun device checks need root");
    }
    const QString name = QStringLiteral("korvane-test-%1").arg(::getpid());
    const QString ip = QStringLiteral("ip");
    const CommandResult added = runCommand(ip, {QStringLiteral("netns"), QStringLiteral("add"), name});
    if (!added.ok) {
        namespaceSkipReason = QStringLiteral("ip netns add failed: ") + QString::fromUtf8(added.output).trimmed();
        QSKIP(qPrintable(namespaceSkipReason));
    }
    const NetworkNamespace guard{name};
    const auto inNamespace = [&](const QStringList &arguments) {
        return runCommand(ip, QStringList{QStringLiteral("-n"), name} + arguments);
    };

    // Nothing but lo: the usable tun driver stands for the adapter OpenVPN will create.
    HelperReport report = runHelperIn(name, {QStringLiteral("adapters")});
    QVERIFY2(!report.values.contains(QStringLiteral("error")), report.raw.constData());
    QVERIFY(findAdapter(report, QStringLiteral("lo")));
    if (tunDriverUsable()) {
        QCOMPARE(tapEntries(report), 1);
        QVERIFY(report.adapters.back().description.startsWith(QLatin1String("TAP")));
        QCOMPARE(report.adapters.back().ipv4Addresses, QStringList{QStringLiteral("0.0.0.0")});
        QCOMPARE(report.values.value(QStringLiteral("state")).toInt(), int(AdapterIdle));
    }
    QCOMPARE(report.values.value(QStringLiteral("sent")), QStringLiteral("none"));

    // A tun device without address: idle, and it replaces the stand-in entry.
    QVERIFY(inNamespace({QStringLiteral("tuntap"), QStringLiteral("add"), QStringLiteral("dev"),
                         QStringLiteral("ktest0"), QStringLiteral("mode"), QStringLiteral("tun")})
                .ok);
    report = runHelperIn(name, {QStringLiteral("adapters")});
    const AdapterInfo *tun = findAdapter(report, QStringLiteral(" ktest0"));
    QVERIFY2(tun, report.raw.constData());
    QVERIFY(tun->description.startsWith(QLatin1String("TAP")));
    QCOMPARE(tun->ipv4Addresses, QStringList{QStringLiteral("0.0.0.0")});
    QCOMPARE(tapEntries(report), 1);
    QCOMPARE(report.values.value(QStringLiteral("state")).toInt(), int(AdapterIdle));
    QCOMPARE(report.values.value(QStringLiteral("sent")), QStringLiteral("none")); // not up

    // Addressed and up: in use, and its counter is read although it has no carrier.
    QVERIFY(inNamespace({QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("10.213.0.1/24"),
                         QStringLiteral("dev"), QStringLiteral("ktest0")})
                .ok);
    QVERIFY(inNamespace({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("ktest0"), QStringLiteral("up")})
                .ok);
    report = runHelperIn(name, {QStringLiteral("adapters")});
    tun = findAdapter(report, QStringLiteral(" ktest0"));
    QVERIFY2(tun, report.raw.constData());
    QCOMPARE(tun->ipv4Addresses, QStringList{QStringLiteral("10.213.0.1")});
    QCOMPARE(report.values.value(QStringLiteral("state")).toInt(), int(AdapterInUse));
    bool counted = false;
    report.values.value(QStringLiteral("sent")).toULongLong(&counted);
    QVERIFY2(counted, report.raw.constData());

    // Traffic routed into the device moves its counter.
    report = runHelperIn(name, {QStringLiteral("traffic"), QStringLiteral("ktest0")});
    QVERIFY2(!report.values.contains(QStringLiteral("error")), report.raw.constData());
    QCOMPARE(report.values.value(QStringLiteral("seen")), QStringLiteral("1"));
    bool beforeOk = false;
    bool afterOk = false;
    const quint64 before = report.values.value(QStringLiteral("before")).toULongLong(&beforeOk);
    const quint64 after = report.values.value(QStringLiteral("after")).toULongLong(&afterOk);
    QVERIFY2(beforeOk && afterOk, report.raw.constData());
    QVERIFY2(after > before, report.raw.constData());

    // A second, idle tun device listed later decides.
    QVERIFY(inNamespace({QStringLiteral("tuntap"), QStringLiteral("add"), QStringLiteral("dev"),
                         QStringLiteral("ktest1"), QStringLiteral("mode"), QStringLiteral("tun")})
                .ok);
    report = runHelperIn(name, {QStringLiteral("adapters")});
    QCOMPARE(tapEntries(report), 2);
    QCOMPARE(report.values.value(QStringLiteral("state")).toInt(), int(AdapterIdle));

    // Down devices have no counter to report.
    QVERIFY(
        inNamespace({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("ktest0"), QStringLiteral("down")})
            .ok);
    report = runHelperIn(name, {QStringLiteral("adapters")});
    QCOMPARE(report.values.value(QStringLiteral("sent")), QStringLiteral("none"));
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], helperSwitch) == 0)
        return runHelper(argc, argv);

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
