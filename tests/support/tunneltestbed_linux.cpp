#include "support/tunneltestbed.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString netnsDirectory = QStringLiteral("/run/netns/");
const QString namePrefix = QStringLiteral("kvbed-");
const QString serverDevice = QStringLiteral("kvsrv0");
const QString serverLink = QStringLiteral("bed-srv");
const QString clientLink = QStringLiteral("bed-cli");
constexpr int commandMs = 15000;
constexpr int serverStartMs = 20000;
constexpr int killWaitMs = 5000;

QString tool(const QString &name)
{
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty()
               ? QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
               : onPath;
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The inode of a network namespace handle (a /run/netns file or a /proc/<pid>/ns/net link); 0 when
// there is none.
quint64 namespaceInode(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? quint64(info.st_ino) : 0;
}

QList<qint64> allPids()
{
    QList<qint64> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number)
            pids << pid;
    }
    return pids;
}

QByteArray procText(qint64 pid, const char *file)
{
    QFile text(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    return text.open(QIODevice::ReadOnly) ? text.readAll() : QByteArray();
}

// Alive and not a zombie waiting for its parent.
bool isLive(qint64 pid)
{
    const QByteArray stat = procText(pid, "stat");
    const QByteArray state = stat.mid(stat.lastIndexOf(')') + 1).trimmed().left(1);
    return !state.isEmpty() && state != "Z" && state != "X";
}

QList<qint64> processesIn(const QList<quint64> &inodes)
{
    QList<qint64> found;
    for (const qint64 pid : allPids()) {
        const quint64 inode = namespaceInode(QStringLiteral("/proc/%1/ns/net").arg(pid));
        if (pid != ::getpid() && inode != 0 && inodes.contains(inode) && isLive(pid))
            found << pid;
    }
    return found;
}

// SIGKILL, then a bounded wait until none is alive. A dying process leaves its namespace before it
// is a zombie, so the ones killed are watched by pid. Our own children are reaped by whoever owns
// them (QProcess does so on its own).
bool killAll(const QList<quint64> &inodes)
{
    QList<qint64> killed;
    const QDeadlineTimer deadline(killWaitMs);
    for (;;) {
        for (const qint64 pid : processesIn(inodes)) {
            ::kill(pid_t(pid), SIGKILL);
            if (!killed.contains(pid))
                killed << pid;
        }
        killed.erase(std::remove_if(killed.begin(), killed.end(), [](qint64 pid) { return !isLive(pid); }),
                     killed.end());
        if (killed.isEmpty())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
}

bool writeFile(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.setPermissions(permissions) &&
           file.write(bytes) == bytes.size() && file.flush();
}

// Kept a plain file name and shell word: the auth script and the server's config name these paths
// without quoting.
bool isPlainPath(const QString &path)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._-]+$"));
    return plain.match(path).hasMatch();
}

} // namespace

QString TunnelTestBed::unavailableReason()
{
    if (::geteuid() != 0)
        return QStringLiteral("the tunnel bed needs root (network namespaces, TUN devices)");
    const int tun = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (tun < 0)
        return QStringLiteral("/dev/net/tun is not usable: %1").arg(errnoText());
    ::close(tun);
    for (const char *name : {"ip", "openssl"}) {
        if (tool(QLatin1String(name)).isEmpty())
            return QStringLiteral("`%1` is not installed").arg(QLatin1String(name));
    }
    // The client starts it by name through the shell.
    if (QStandardPaths::findExecutable(QStringLiteral("openvpn")).isEmpty())
        return QStringLiteral("`openvpn` is not on PATH");
    // Containers may deny new namespaces even to root; find out in a throw-away child.
    const pid_t probe = ::fork();
    if (probe == 0)
        ::_exit(::unshare(CLONE_NEWNET) == 0 ? 0 : 1);
    int status = 0;
    if (probe < 0 || ::waitpid(probe, &status, 0) != probe || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("no new network namespace can be made here");
    return QString();
}

TunnelTestBed::TunnelTestBed() : directory(QDir::tempPath() + QStringLiteral("/kvbed-%1-XXXXXX").arg(::getpid()))
{
    static std::atomic<int> beds{0};
    const int index = beds++;
    subnet = 1 + index % 250;
    const QString stem = namePrefix + QStringLiteral("%1-%2-").arg(::getpid()).arg(index);
    serverNs = stem + QStringLiteral("srv");
    clientNs = stem + QStringLiteral("cli");
    ready = build();
}

TunnelTestBed::~TunnelTestBed()
{
    cleanUp();
}

QString TunnelTestBed::serverAddress() const
{
    return QStringLiteral("10.213.%1.1").arg(subnet);
}

QString TunnelTestBed::clientAddress() const
{
    return QStringLiteral("10.213.%1.2").arg(subnet);
}

QString TunnelTestBed::silentAddress() const
{
    return QStringLiteral("10.213.%1.200").arg(subnet);
}

QString TunnelTestBed::tunnelServerAddress() const
{
    return QStringLiteral("10.8.%1.1").arg(subnet);
}

QString TunnelTestBed::pushedNetwork() const
{
    return QStringLiteral("10.9.%1.0/24").arg(subnet);
}

QString TunnelTestBed::path(const QString &name) const
{
    return directory.filePath(name);
}

QByteArray TunnelTestBed::caPem() const
{
    QFile file(path(QStringLiteral("ca.crt")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TunnelTestBed::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(commandMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(killWaitMs);
    }
    const QByteArray text = process.readAll();
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    error = QStringLiteral("%1 %2 failed (%3): %4")
                .arg(program, arguments.join(QLatin1Char(' ')),
                     finished ? QStringLiteral("exit %1").arg(process.exitCode()) : QStringLiteral("timed out"),
                     QString::fromLocal8Bit(text.trimmed()));
    return false;
}

bool TunnelTestBed::ip(const QString &arguments)
{
    // Names and addresses of the bed are single words.
    return run(tool(QStringLiteral("ip")), arguments.split(QLatin1Char(' ')));
}

bool TunnelTestBed::build()
{
    error = unavailableReason();
    if (!error.isEmpty())
        return false;
    if (!directory.isValid() || !isPlainPath(directory.path())) {
        error = QStringLiteral("no usable temporary directory under %1").arg(QDir::tempPath());
        return false;
    }

    // Beds of test processes that died (a CTest time-out kills without clean-up) go first.
    static const QRegularExpression bedName(QStringLiteral("^kvbed-(\\d+)-[^-]+(-srv|-cli)?$"));
    const auto isStale = [](const QString &name) {
        const QRegularExpressionMatch match = bedName.match(name);
        return match.hasMatch() && !isLive(match.captured(1).toLongLong());
    };
    for (const QString &name : QDir(netnsDirectory).entryList(QDir::Files)) {
        if (isStale(name)) {
            killAll({namespaceInode(netnsDirectory + name)});
            ip(QStringLiteral("netns delete ") + name);
        }
    }
    for (const QString &name : QDir::temp().entryList({QStringLiteral("kvbed-*")}, QDir::Dirs)) {
        if (isStale(name))
            QDir(QDir::temp().filePath(name)).removeRecursively();
    }

    if (!makePki())
        return false;
    const QString script = QStringLiteral("#!/bin/sh\n"
                                          "# OpenVPN hands over a file of two lines, user name and password, as sent.\n"
                                          "exec cmp -s -- \"$1\" %1\n")
                               .arg(path(QStringLiteral("credentials")));
    if (!writeFile(path(QStringLiteral("auth.sh")), script.toUtf8(), QFileDevice::ReadOwner | QFileDevice::ExeOwner) ||
        !writeFile(path(QStringLiteral("credentials")), QByteArray(),
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        error = QStringLiteral("cannot write the auth script");
        return false;
    }

    if (!ip(QStringLiteral("netns add ") + serverNs) || !ip(QStringLiteral("netns add ") + clientNs))
        return false;
    serverNsInode = namespaceInode(netnsDirectory + serverNs);
    clientNsInode = namespaceInode(netnsDirectory + clientNs);
    const QString inServer = QStringLiteral("-n %1 ").arg(serverNs);
    const QString inClient = QStringLiteral("-n %1 ").arg(clientNs);
    const QString n = QString::number(subnet);
    // Both ends are made inside their namespaces, so the host never sees them.
    return ip(QStringLiteral("link add %1 netns %2 type veth peer name %3 netns %4")
                  .arg(serverLink, serverNs, clientLink, clientNs)) &&
           ip(inServer + QStringLiteral("addr add 10.213.%1.1/24 dev %2").arg(n, serverLink)) &&
           ip(inClient + QStringLiteral("addr add 10.213.%1.2/24 dev %2").arg(n, clientLink)) &&
           ip(inServer + QStringLiteral("link set lo up")) && ip(inClient + QStringLiteral("link set lo up")) &&
           ip(inServer + QStringLiteral("link set %1 up").arg(serverLink)) &&
           ip(inClient + QStringLiteral("link set %1 up").arg(clientLink)) &&
           // Not on the link (that would answer with "host unreachable" once ARP gives up) but
           // handed to the server namespace, which drops what it does not forward without a word.
           ip(inClient + QStringLiteral("route add %1/32 via 10.213.%2.1").arg(silentAddress(), n));
}

bool TunnelTestBed::makePki()
{
    // Paths are plain words (see build()), so each command line is one string.
    const auto openssl = [this](const QString &arguments) {
        return run(tool(QStringLiteral("openssl")), arguments.split(QLatin1Char(' ')));
    };
    const QString ecKey = QStringLiteral("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30");
    const QString dir = directory.path();
    if (!writeFile(path(QStringLiteral("server.ext")),
                   "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n",
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        error = QStringLiteral("cannot write the certificate extensions");
        return false;
    }
    const quint32 serial = QRandomGenerator::global()->bounded(1u, 0x7fffffffu);
    return openssl(QStringLiteral("req -x509 %1 -keyout %2/ca.key -out %2/ca.crt -subj /CN=korvane-bed-ca "
                                  "-addext basicConstraints=critical,CA:TRUE "
                                  "-addext keyUsage=critical,keyCertSign,cRLSign")
                       .arg(ecKey, dir)) &&
           openssl(QStringLiteral("req %1 -keyout %2/server.key -out %2/server.csr -subj /CN=bed-server")
                       .arg(ecKey, dir)) &&
           // The client's profile has "remote-cert-tls server": the server certificate needs serverAuth.
           openssl(QStringLiteral("x509 -req -in %1/server.csr -CA %1/ca.crt -CAkey %1/ca.key -set_serial %2 -days 30 "
                                  "-extfile %1/server.ext -out %1/server.crt")
                       .arg(dir)
                       .arg(serial));
}

bool TunnelTestBed::setCredentials(const QString &serial, const QString &password)
{
    return writeFile(path(QStringLiteral("credentials")), serial.toUtf8() + '\n' + password.toUtf8() + '\n',
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool TunnelTestBed::startServer(Protocol protocol, quint16 port, const QStringList &extra)
{
    stopServer();
    if (!ready)
        return false;
    const QString n = QString::number(subnet);
    QStringList config = {
        QStringLiteral("server 10.8.%1.0 255.255.255.0").arg(n),
        QStringLiteral("topology subnet"),
        QStringLiteral("proto %1")
            .arg(protocol == Protocol::Tcp ? QStringLiteral("tcp-server") : QStringLiteral("udp")),
        QStringLiteral("local %1").arg(serverAddress()),
        QStringLiteral("port %1").arg(port),
        QStringLiteral("dev-type tun"),
        QStringLiteral("dev %1").arg(serverDevice),
        QStringLiteral("push \"route 10.9.%1.0 255.255.255.0\"").arg(n),
        QStringLiteral("ca %1").arg(path(QStringLiteral("ca.crt"))),
        QStringLiteral("cert %1").arg(path(QStringLiteral("server.crt"))),
        QStringLiteral("key %1").arg(path(QStringLiteral("server.key"))),
        QStringLiteral("dh none"),
        QStringLiteral("verify-client-cert none"),
        QStringLiteral("username-as-common-name"),
        QStringLiteral("script-security 2"),
        QStringLiteral("auth-user-pass-verify %1 via-file").arg(path(QStringLiteral("auth.sh"))),
        QStringLiteral("tmp-dir %1").arg(directory.path()),
        QStringLiteral("comp-lzo"),
        // Clients get "ping 1, ping-restart 5": a UDP client notices a dead server within seconds.
        QStringLiteral("keepalive 1 5"),
        QStringLiteral("verb 3"),
    };
    config += extra;
    const QString configPath = path(QStringLiteral("server.conf"));
    if (!writeFile(configPath, config.join(QLatin1Char('\n')).toUtf8() + '\n',
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        error = QStringLiteral("cannot write %1").arg(configPath);
        return false;
    }
    server = std::make_unique<QProcess>();
    server->setProcessChannelMode(QProcess::MergedChannels);
    server->setStandardInputFile(QProcess::nullDevice());
    // The child truncates the log only once it runs; the last server's lines must not count as ready.
    QFile::remove(path(QStringLiteral("server.log")));
    server->setStandardOutputFile(path(QStringLiteral("server.log")));
    // `ip netns exec` execs openvpn in place, so the process's pid is the server's.
    server->start(tool(QStringLiteral("ip")),
                  {QStringLiteral("netns"), QStringLiteral("exec"), serverNs, tool(QStringLiteral("openvpn")),
                   QStringLiteral("--config"), configPath});
    const QDeadlineTimer deadline(serverStartMs);
    while (!deadline.hasExpired()) {
        if (serverLog().contains("Initialization Sequence Completed"))
            return true;
        if (server->waitForFinished(50) || server->state() == QProcess::NotRunning)
            break;
    }
    error = QStringLiteral("the OpenVPN server did not come up:\n%1").arg(QString::fromLocal8Bit(serverLog()));
    stopServer();
    return false;
}

void TunnelTestBed::stopServer()
{
    if (!server)
        return;
    if (server->state() != QProcess::NotRunning) {
        ::kill(pid_t(server->processId()), SIGKILL);
        server->waitForFinished(killWaitMs);
    }
    server.reset();
}

bool TunnelTestBed::serverRunning() const
{
    return server && server->state() == QProcess::Running && isLive(server->processId());
}

QByteArray TunnelTestBed::serverLog() const
{
    QFile log(path(QStringLiteral("server.log")));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

bool TunnelTestBed::enterClientNamespace()
{
    if (inClientNamespace())
        return true;
    if (!ready)
        return false;
    const int target = ::open(QFile::encodeName(netnsDirectory + clientNs).constData(), O_RDONLY | O_CLOEXEC);
    const int network = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int mounts = ::open("/proc/thread-self/ns/mnt", O_RDONLY | O_CLOEXEC);
    // The mount namespace (and the file system view with it) becomes this thread's own, whatever
    // other threads there are.
    bool entered = target >= 0 && network >= 0 && mounts >= 0 && ::unshare(CLONE_NEWNS) == 0;
    // Slave: nothing mounted here reaches the host's mount table.
    entered = entered && ::mount(nullptr, "/", nullptr, MS_REC | MS_SLAVE, nullptr) == 0;
    entered = entered && ::setns(target, CLONE_NEWNET) == 0;
    // A sysfs mounted from inside shows this namespace's devices (as `ip netns exec` arranges).
    entered = entered && ::mount("sysfs", "/sys", "sysfs", 0, nullptr) == 0;
    if (!entered)
        error = QStringLiteral("cannot enter %1: %2").arg(clientNs, errnoText());
    if (target >= 0)
        ::close(target);
    originalNetwork = network;
    originalMounts = mounts;
    if (!entered)
        leaveClientNamespace();
    return entered;
}

bool TunnelTestBed::leaveClientNamespace()
{
    if (!inClientNamespace())
        return true;
    const QByteArray workingDirectory = QFile::encodeName(QDir::currentPath());
    bool left = ::setns(originalNetwork, CLONE_NEWNET) == 0;
    // Fails once threads started since share this thread's file system view; the private mount
    // namespace then stays, with the host's /sys uncovered again.
    if (originalMounts >= 0 && ::setns(originalMounts, CLONE_NEWNS) != 0)
        ::umount2("/sys", MNT_DETACH);
    // Joining a mount namespace moves the working directory to its root.
    left = ::chdir(workingDirectory.constData()) == 0 && left;
    if (!left)
        error = QStringLiteral("cannot leave %1: %2").arg(clientNs, errnoText());
    ::close(originalNetwork);
    if (originalMounts >= 0)
        ::close(originalMounts);
    originalNetwork = originalMounts = -1;
    return left;
}

QByteArray TunnelTestBed::clientProfile(Protocol protocol, const QString &address, quint16 port)
{
    return QByteArray("client\r\ndev tun\r\nproto ") + (protocol == Protocol::Tcp ? "tcp" : "udp") + "\r\nremote " +
           address.toUtf8() + ' ' + QByteArray::number(port) +
           "\r\nresolv-retry infinite\r\nnobind\r\npersist-key\r\npersist-tun\r\nca ca.crt\r\n"
           "auth-user-pass vpnconfig.ini\r\nremote-cert-tls server\r\ncomp-lzo\r\nverb 3\r\n"
           "log-append logs/openvpn.log\r\n";
}

bool TunnelTestBed::writeClientFiles(const QString &where, Protocol protocol, const QString &serial,
                                     const QString &password, quint16 port) const
{
    const QDir dir(where);
    const QFileDevice::Permissions readWrite = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    return dir.mkpath(QStringLiteral("logs")) &&
           writeFile(dir.filePath(serial + QStringLiteral(".ovpn")), clientProfile(protocol, serverAddress(), port),
                     readWrite) &&
           writeFile(dir.filePath(QStringLiteral("ca.crt")), caPem(), readWrite) &&
           writeFile(dir.filePath(QStringLiteral("vpnconfig.ini")),
                     serial.toUtf8() + "\r\n" + password.toUtf8() + "\r\n", readWrite);
}

QList<qint64> TunnelTestBed::openvpnProcessesOfBed() const
{
    const QList<quint64> inodes = {serverNsInode, clientNsInode};
    const QString bedDirectory = directory.path() + QLatin1Char('/');
    QList<qint64> found;
    for (const qint64 pid : allPids()) {
        if (procText(pid, "comm").trimmed() != "openvpn" || !isLive(pid))
            continue;
        const quint64 inode = namespaceInode(QStringLiteral("/proc/%1/ns/net").arg(pid));
        const QString cwd = QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).symLinkTarget() + QLatin1Char('/');
        if ((server && pid == server->processId()) || (inode != 0 && inodes.contains(inode)) ||
            cwd.startsWith(bedDirectory))
            found << pid;
    }
    return found;
}

QStringList TunnelTestBed::tunDevicesInClientNamespace() const
{
    if (!QFileInfo::exists(netnsDirectory + clientNs))
        return {};
    QProcess process;
    process.start(tool(QStringLiteral("ip")),
                  {QStringLiteral("-n"), clientNs, QStringLiteral("-o"), QStringLiteral("link"), QStringLiteral("show"),
                   QStringLiteral("type"), QStringLiteral("tun")});
    if (!process.waitForFinished(commandMs))
        process.kill();
    process.waitForFinished(killWaitMs);
    static const QRegularExpression device(QStringLiteral("^\\d+: ([^:@ ]+)"), QRegularExpression::MultilineOption);
    QStringList names;
    for (auto it = device.globalMatch(QString::fromLocal8Bit(process.readAllStandardOutput())); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

int TunnelTestBed::openFileDescriptors(qint64 pid)
{
    DIR *fds = ::opendir(QStringLiteral("/proc/%1/fd").arg(pid).toUtf8().constData());
    if (!fds)
        return -1;
    int count = 0;
    while (const dirent *entry = ::readdir(fds))
        count += entry->d_name[0] != '.';
    ::closedir(fds);
    return count;
}

void TunnelTestBed::cleanUp()
{
    if (cleaned)
        return;
    cleaned = true;
    ready = false;
    leaveClientNamespace();
    stopServer();
    if (!killAll({serverNsInode, clientNsInode}))
        error = QStringLiteral("processes of the bed outlived SIGKILL");
    for (const QString &name : {serverNs, clientNs}) {
        if (QFileInfo::exists(netnsDirectory + name))
            ip(QStringLiteral("netns delete ") + name);
    }
    directory.remove();
}
