#include "support/tunneltestbed.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <cstdio>
#include <memory>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(TunnelTestBed::Protocol)

namespace {

const QString serial = QStringLiteral("TAP-BED-0001");
// Spaces, shell and quoting characters and UTF-8: the server must compare bytes, not words.
const QString password = QStringLiteral("p'a\"s$s \\ 工程 `x` %s&#");
constexpr quint16 managementPort = 25341;
const QByteArray managementPassword = "bed-management";

quint64 networkNamespace()
{
    struct stat info {};
    return ::stat("/proc/thread-self/ns/net", &info) == 0 ? quint64(info.st_ino) : 0;
}

// The devices of the calling thread's network namespace as /sys shows them, and as the kernel
// lists them to a socket of that namespace.
QStringList sysfsDevices()
{
    QStringList names = QDir(QStringLiteral("/sys/class/net")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QStringList netlinkDevices()
{
    QStringList names;
    if (struct if_nameindex *all = ::if_nameindex()) {
        for (const struct if_nameindex *entry = all; entry->if_index != 0; ++entry)
            names << QString::fromLocal8Bit(entry->if_name);
        ::if_freenameindex(all);
    }
    names.sort();
    return names;
}

bool isLive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const QByteArray state = text.mid(text.lastIndexOf(')') + 1).trimmed().left(1);
    return !state.isEmpty() && state != "Z";
}

// A TCP connect to address:port completes within 200 ms.
bool acceptsAtOnce(const QString &address, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(address), port);
    return socket.waitForConnected(200);
}

// A hand-started client: openvpn with the client's profile and command line, followed through its
// management interface the way the client does (password, "state on", "state").
class HandClient {
public:
    HandClient(const TunnelTestBed &bed, TunnelTestBed::Protocol protocol, quint16 port, const QString &secret)
    {
        filesWritten = bed.writeClientFiles(dir.path(), protocol, serial, secret, port);
        QFile passwordFile(dir.filePath(QStringLiteral("management.pw")));
        passwordFile.open(QIODevice::WriteOnly);
        passwordFile.write(managementPassword + '\n');
        passwordFile.close();
        process.setWorkingDirectory(dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("openvpn"),
                      {QStringLiteral("--config"), serial + QStringLiteral(".ovpn"), QStringLiteral("--dev-type"),
                       QStringLiteral("tun"), QStringLiteral("--dev"), QStringLiteral("korvane0"),
                       QStringLiteral("--management"), QStringLiteral("127.0.0.1"), QString::number(managementPort),
                       QStringLiteral("management.pw")});
    }
    ~HandClient()
    {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished(5000);
    }

    // Connected and past the password; the state commands are sent.
    bool attach()
    {
        if (!filesWritten)
            return false;
        QDeadlineTimer deadline(10000);
        while (socket.state() != QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            socket.abort();
            socket.connectToHost(QHostAddress::LocalHost, managementPort);
            if (!socket.waitForConnected(1000))
                QThread::msleep(20);
        }
        if (!waitFor("ENTER PASSWORD:", 5000))
            return false;
        socket.write(managementPassword + '\n');
        if (!waitFor(">INFO:", 5000))
            return false;
        socket.write("state on\nstate\n");
        return true;
    }
    // Reads until the bytes received from offset `from` on contain `needle`.
    bool waitFor(const QByteArray &needle, int ms, int from = 0)
    {
        const QDeadlineTimer deadline(ms);
        while (received.indexOf(needle, from) < 0 && !deadline.hasExpired()) {
            if (socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                received += socket.readAll();
            else if (socket.state() != QAbstractSocket::ConnectedState)
                break;
        }
        return received.indexOf(needle, from) >= 0;
    }

    QTemporaryDir dir;
    QProcess process;
    QTcpSocket socket;
    QByteArray received;
    bool filesWritten = false;
};

} // namespace

class TestTunnelTestBed : public QObject {
    Q_OBJECT

    std::unique_ptr<TunnelTestBed> bed;
    quint64 hostNamespace = 0;

private slots:
    void initTestCase()
    {
        hostNamespace = networkNamespace();
        bed = std::make_unique<TunnelTestBed>();
        QVERIFY2(bed->isReady(), qPrintable(bed->errorString()));
        QVERIFY(bed->setCredentials(serial, password));
        QVERIFY2(bed->enterClientNamespace(), qPrintable(bed->errorString()));
        QVERIFY(networkNamespace() != hostNamespace);
        // The client reads its device's counters from /sys: it must show this namespace.
        QCOMPARE(sysfsDevices(), netlinkDevices());
        QVERIFY(netlinkDevices().contains(QStringLiteral("bed-cli")));
    }

    void clientConnectsAndSeesServerDrop_data()
    {
        QTest::addColumn<TunnelTestBed::Protocol>("protocol");
        QTest::addColumn<quint16>("port");
        QTest::addColumn<QByteArray>("dropReason");
        QTest::newRow("tcp") << TunnelTestBed::Protocol::Tcp << quint16(1194) << QByteArray("connection-reset");
        QTest::newRow("udp") << TunnelTestBed::Protocol::Udp << quint16(11940) << QByteArray("ping-restart");
    }
    void clientConnectsAndSeesServerDrop()
    {
        QFETCH(TunnelTestBed::Protocol, protocol);
        QFETCH(quint16, port);
        QFETCH(QByteArray, dropReason);
        QVERIFY2(bed->startServer(protocol, port), qPrintable(bed->errorString()));
        QVERIFY(bed->serverRunning());
        HandClient client(*bed, protocol, port, password);
        QVERIFY(client.attach());
        QByteArray tunnelAddress = bed->tunnelServerAddress().toUtf8();
        tunnelAddress.chop(1);
        const QByteArray connected = ",CONNECTED,SUCCESS," + tunnelAddress + "2," + bed->serverAddress().toUtf8() +
                                     ',' + QByteArray::number(port) + ',';
        QVERIFY2(client.waitFor(connected, 20000), client.received.constData());
        QVERIFY(bed->openvpnProcessesOfBed().contains(client.process.processId()));
        QCOMPARE(bed->tunDevicesInClientNamespace(), QStringList{QStringLiteral("korvane0")});
        QVERIFY(QFile::exists(QStringLiteral("/sys/class/net/korvane0")));

        bed->stopServer();
        QVERIFY(!bed->serverRunning());
        QVERIFY2(client.waitFor(",RECONNECTING," + dropReason + ',', 15000), client.received.constData());

        // Back again on the same port: the client finds it by itself.
        QVERIFY2(bed->startServer(protocol, port), qPrintable(bed->errorString()));
        if (protocol == TunnelTestBed::Protocol::Tcp)
            QVERIFY(acceptsAtOnce(bed->serverAddress(), port));
        const int dropped = client.received.indexOf(",RECONNECTING,");
        QVERIFY2(client.waitFor(connected, 20000, dropped), client.received.constData());
    }

    void otherPasswordIsRefused()
    {
        QVERIFY2(bed->startServer(TunnelTestBed::Protocol::Tcp), qPrintable(bed->errorString()));
        // Refused within milliseconds, often before a management client could attach: read its log.
        HandClient client(*bed, TunnelTestBed::Protocol::Tcp, 1194, password + QStringLiteral(" "));
        QVERIFY(client.process.waitForFinished(20000));
        QFile log(client.dir.filePath(QStringLiteral("logs/openvpn.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY2(text.contains("AUTH: Received control message: AUTH_FAILED"), text.constData());
        QVERIFY(!text.contains("Initialization Sequence Completed"));
    }

    // The connect time-out case: no answer at all, neither accept nor refusal nor ICMP.
    void silentAddressNeverAnswers()
    {
        const int tcp = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        QVERIFY(tcp >= 0);
        const auto closeSocket = qScopeGuard([tcp] { ::close(tcp); });
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(1194);
        QCOMPARE(::inet_pton(AF_INET, bed->silentAddress().toLatin1().constData(), &target.sin_addr), 1);
        QCOMPARE(::connect(tcp, reinterpret_cast<const sockaddr *>(&target), sizeof target), -1);
        QCOMPARE(errno, EINPROGRESS);
        // An unanswered ARP would turn into "host unreachable" after 3 s.
        pollfd pending{tcp, POLLOUT, 0};
        QCOMPARE(::poll(&pending, 1, 3500), 0);
    }

    // Last: a tunnel left running, as after a failed test, and the bed torn down under it.
    void cleanUpLeavesNothing()
    {
        QVERIFY2(bed->startServer(TunnelTestBed::Protocol::Tcp), qPrintable(bed->errorString()));
        auto client = std::make_unique<HandClient>(*bed, TunnelTestBed::Protocol::Tcp, 1194, password);
        QVERIFY(client->attach());
        QVERIFY2(client->waitFor(",CONNECTED,", 20000), client->received.constData());
        const QList<qint64> openvpns = bed->openvpnProcessesOfBed();
        QCOMPARE(openvpns.size(), 2);
        QVERIFY(TunnelTestBed::openFileDescriptors(client->process.processId()) > 3);
        const QString names[] = {bed->serverNamespace(), bed->clientNamespace()};
        // Out and in again while no thread shares the file system view: the mount namespace is
        // left as well, which must not move the working directory.
        const QString workingDirectory = QDir::currentPath();
        QVERIFY(bed->leaveClientNamespace());
        QCOMPARE(networkNamespace(), hostNamespace);
        QCOMPARE(QDir::currentPath(), workingDirectory);
        QCOMPARE(sysfsDevices(), netlinkDevices());
        QVERIFY(bed->enterClientNamespace());
        // A thread started in the namespace (a simulator's, say) still runs at clean-up.
        QThread worker;
        worker.start();
        const auto stopWorker = qScopeGuard([&worker] {
            worker.quit();
            worker.wait();
        });

        bed->cleanUp();
        bed->cleanUp();
        QCOMPARE(networkNamespace(), hostNamespace);
        QCOMPARE(QDir::currentPath(), workingDirectory);
        QCOMPARE(sysfsDevices(), netlinkDevices());
        for (const QString &name : names)
            QVERIFY2(!QFile::exists(QStringLiteral("/run/netns/") + name), qPrintable(name));
        for (const qint64 pid : openvpns)
            QVERIFY2(!isLive(pid), qPrintable(QString::number(pid)));
        QVERIFY(bed->openvpnProcessesOfBed().isEmpty());
        QVERIFY(bed->tunDevicesInClientNamespace().isEmpty());
        QVERIFY(!QFile::exists(QStringLiteral("/sys/class/net/korvane0")));
        QVERIFY(!QFile::exists(QStringLiteral("/sys/class/net/kvsrv0")));
        QCOMPARE(
            QDir::temp().entryList({QStringLiteral("kvbed-%1-*").arg(QCoreApplication::applicationPid())}, QDir::Dirs),
            QStringList());
        client.reset();
    }

    void cleanupTestCase() { bed.reset(); }
};

int main(int argc, char **argv)
{
    const QString reason = TunnelTestBed::unavailableReason();
    if (!reason.isEmpty()) {
        std::printf("SKIP: %s\n", reason.toUtf8().constData());
        return 77;
    }
    QCoreApplication app(argc, argv);
    TestTunnelTestBed test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tunneltestbed.moc"
