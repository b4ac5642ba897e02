#pragma once

#include "platform/hostsystem.h"
#include "support/fakemanagementserver.h"

#include <QList>
#include <QString>
#include <QStringList>

// Test fake of the host layer: scripted adapters, counter reading and hardware texts; records
// every interpreter start and every kill. It installs itself on construction and uninstalls on
// destruction.
//
// The interpreter it starts is a real, harmless child (it swallows the command line, then sleeps
// as a tunnel program would run) so that the process object has a pid; a kill of a pid it started
// ends that child, any other kill is only recorded. The tunnel program's management interface is
// `management`, a fake that by default reports the tunnel connected; the one adapter listed by
// default is the unused TAP adapter, so a launch goes through.
class FakeHostSystem : public HostSystem {
public:
    struct InterpreterStart {
        QString tapSerial;
        QString managementHost;
        quint16 managementPort = 0;
        QString managementPasswordFile;
    };

    FakeHostSystem();
    ~FakeHostSystem() override;
    FakeHostSystem(const FakeHostSystem &) = delete;
    FakeHostSystem &operator=(const FakeHostSystem &) = delete;

    std::vector<AdapterInfo> adapters() override;
    std::optional<quint64> tapSentBytes() override;
    std::optional<quint64> tapReceivedBytes() override { return receivedBytes; }
    bool mayCreateTunDevice() override { return tunRights; }
    QStringList hardwareTexts() override;
    QByteArray startTunnelInterpreter(QProcess &process, const QString &tapSerial, const QString &managementHost,
                                      quint16 managementPort, const QString &managementPasswordFile) override;
    void killProcessTree(const QString &processId) override;
    bool tunnelOwnsConnection(const QString &processId, quint16 localPort, quint16 peerPort) override;
    void stopStrayTunnel(const QString &processId) override;
    // The real file-system test, unless the path is listed in `exposedPaths`.
    bool isPrivateToUser(const QString &path) override;

    // Adds an adapter to the scripted list.
    void addAdapter(const QString &description, const QStringList &ipv4Addresses);

    // Script.
    std::vector<AdapterInfo> adapterList; // what adapters() answers
    std::optional<quint64> sentBytes;     // what tapSentBytes() answers
    std::optional<quint64> receivedBytes; // what tapReceivedBytes() answers
    bool tunRights = true;                // what mayCreateTunDevice() answers
    QStringList hardware;                 // what hardwareTexts() answers
    bool interpreterCanStart = true;      // false: leave the process not running
    QByteArray interpreterExitOutput;     // set: the interpreter prints this and ends at once
    FakeManagementServer management;
    bool peerIsOwnTunnel = true; // what tunnelOwnsConnection() answers
    QStringList exposedPaths;    // paths isPrivateToUser() calls exposed to other users

    // Record.
    int adapterQueries = 0;
    int sentBytesQueries = 0;
    int hardwareQueries = 0;
    QList<InterpreterStart> startedInterpreters;
    QStringList killedProcessIds; // every killProcessTree argument, in call order
    QStringList strayTunnelIds;   // every stopStrayTunnel argument, in call order

private:
    QList<qint64> ownPids;
};
