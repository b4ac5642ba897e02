#include "support/fakehostsystem.h"

#include "support/fakehostprocess.h"

#include <QProcess>

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
    if (interpreterCanStart && fakeHostProcess::startStandIn(process, interpreterExitOutput))
        ownPids.append(process.processId());
    return fakeHostProcess::commandLine(tapSerial, managementHost, managementPort, managementPasswordFile);
}


void FakeHostSystem::killProcessTree(const QString &processId)
{
    killedProcessIds.append(processId);
    bool ok = false;
    const qint64 pid = processId.toLongLong(&ok);
    if (ok && ownPids.removeAll(pid) > 0)
        fakeHostProcess::killOwnChild(pid);
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
    return !exposedPaths.contains(path) && fakeHostProcess::isPrivateToUser(path);
}

void FakeHostSystem::addAdapter(const QString &description, const QStringList &ipv4Addresses)
{
    adapterList.push_back({description, ipv4Addresses});
}
