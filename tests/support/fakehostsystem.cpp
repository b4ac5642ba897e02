#include "support/fakehostsystem.h"

#include "platform/hostsystem_linux.h"

#include <QFile>
#include <QProcess>

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

FakeHostSystem::FakeHostSystem()
    : hardware({QStringLiteral("Fake CPU"), QStringLiteral("4"), QStringLiteral("8"),
                QStringLiteral("BFEBFBFF000906EA"), QStringLiteral("BOARD-0001"), QStringLiteral("BIOS-0001"),
                QStringLiteral("00000000-0000-0000-0000-000000000001"), QStringLiteral("DISK-0001")})
{
    addAdapter(QStringLiteral("TAP-Linux tun (created when the tunnel starts)"), {QStringLiteral("0.0.0.0")});
    management.setCurrentState(fakeTunnel::connectedState);
    installHostSystem(this);
}

FakeHostSystem::~FakeHostSystem()
{
    if (&hostSystem() == this)
        installHostSystem(nullptr);
}

std::vector<AdapterInfo> FakeHostSystem::adapters()
{
    ++adapterQueries;
    return adapterList;
}

std::optional<quint64> FakeHostSystem::tapSentBytes()
{
    ++sentBytesQueries;
    return sentBytes;
}

QStringList FakeHostSystem::hardwareTexts()
{
    ++hardwareQueries;
    return hardware;
}

QByteArray FakeHostSystem::startTunnelInterpreter(QProcess &process, const QString &tapSerial,
                                                  const QString &managementHost, quint16 managementPort,
                                                  const QString &managementPasswordFile)
{
    startedInterpreters.append({tapSerial, managementHost, managementPort, managementPasswordFile});
    management.expectPasswordFrom(managementPasswordFile);
    if (interpreterCanStart) {
        process.setProcessChannelMode(QProcess::MergedChannels);
        const QString script = interpreterExitOutput.isEmpty()
                                   ? QStringLiteral("cat >/dev/null; exec sleep 600")
                                   : QStringLiteral("cat >/dev/null; printf '%s' \"$0\"");
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QString::fromUtf8(interpreterExitOutput)},
                      QIODevice::ReadWrite);
        if (process.waitForStarted(5000))
            ownPids.append(process.processId());
    }
    return tunnelCommandLine(tapSerial, managementHost, managementPort, managementPasswordFile);
}

namespace {

// True while the pid still names a child of this process (it was not reaped and reused).
bool isOwnChild(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 1).simplified().split(' ');
    return fields.size() > 1 && fields.at(1).toLongLong() == ::getpid();
}

} // namespace

void FakeHostSystem::killProcessTree(const QString &processId)
{
    killedProcessIds.append(processId);
    bool ok = false;
    const qint64 pid = processId.toLongLong(&ok);
    if (ok && ownPids.removeAll(pid) > 0 && isOwnChild(pid))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

bool FakeHostSystem::tunnelOwnsConnection(const QString &, quint16, quint16)
{
    return peerIsOwnTunnel;
}

void FakeHostSystem::stopStrayTunnel(const QString &processId)
{
    strayTunnelIds.append(processId);
}

bool FakeHostSystem::isPrivateToUser(const QString &path)
{
    return !exposedPaths.contains(path) && isPathPrivateToUser(path);
}

void FakeHostSystem::addAdapter(const QString &description, const QStringList &ipv4Addresses)
{
    adapterList.push_back({description, ipv4Addresses});
}
