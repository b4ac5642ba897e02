#pragma once

#include "platform/hostsystem.h"

#include <QList>
#include <QString>
#include <QStringList>

// Test fake of the host layer: scripted adapters, counter reading and hardware texts; records
// every interpreter start and every kill. It installs itself on construction and uninstalls on
// destruction.
//
// The interpreter it starts is a real, harmless child ("cat" swallowing its input) so that the
// process object has a pid and accepts the command line; a kill of a pid it started ends that
// child, any other kill is only recorded.
class FakeHostSystem : public HostSystem {
public:
    struct InterpreterStart {
        QString tapSerial;
        QString managementHost;
        quint16 managementPort = 0;
    };

    FakeHostSystem();
    ~FakeHostSystem() override;
    FakeHostSystem(const FakeHostSystem &) = delete;
    FakeHostSystem &operator=(const FakeHostSystem &) = delete;

    std::vector<AdapterInfo> adapters() override;
    std::optional<quint64> tapSentBytes() override;
    QStringList hardwareTexts() override;
    QByteArray startTunnelInterpreter(QProcess &process, const QString &tapSerial, const QString &managementHost,
                                      quint16 managementPort) override;
    void killProcessTree(const QString &processId) override;

    // Adds an adapter to the scripted list.
    void addAdapter(const QString &description, const QStringList &ipv4Addresses);

    // Script.
    std::vector<AdapterInfo> adapterList; // what adapters() answers
    std::optional<quint64> sentBytes;     // what tapSentBytes() answers
    QStringList hardware;                 // what hardwareTexts() answers
    bool interpreterCanStart = true;      // false: leave the process not running

    // Record.
    int adapterQueries = 0;
    int sentBytesQueries = 0;
    int hardwareQueries = 0;
    QList<InterpreterStart> startedInterpreters;
    QStringList killedProcessIds; // every killProcessTree argument, in call order

private:
    QList<qint64> ownPids;
};
