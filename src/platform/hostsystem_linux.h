#pragma once

#include "platform/hostsystem.h"

#include <QByteArrayList>

// The host layer on Linux: interfaces from getifaddrs and sysfs, hardware texts from /proc and
// sysfs, /bin/sh in its own session as the command interpreter, process groups for killing.
class LinuxHostSystem : public HostSystem {
public:
    std::vector<AdapterInfo> adapters() override;
    std::optional<quint64> tapSentBytes() override;
    std::optional<quint64> tapReceivedBytes() override;
    bool mayCreateTunDevice() override;
    QStringList hardwareTexts() override;
    QByteArray startTunnelInterpreter(QProcess &process, const QString &tapSerial, const QString &managementHost,
                                      quint16 managementPort, const QString &managementPasswordFile) override;
    void killProcessTree(const QString &processId) override;
    bool tunnelOwnsConnection(const QString &processId, quint16 localPort, quint16 peerPort) override;
    void stopStrayTunnel(const QString &processId) override;
    bool isPrivateToUser(const QString &path) override;
};

// The POSIX test behind isPrivateToUser: not a link, owned by the effective user, not writable
// by others, nor by the group unless it is the user's own private group.
bool isPathPrivateToUser(const QString &path);

// Whether a process's arguments (as /proc/<pid>/cmdline splits them) are a tunnel command line:
// the program is "openvpn", with "--config <name>.ovpn" and "--management".
bool isTunnelCommandLine(const QByteArrayList &arguments);

// The text as one word for /bin/sh: single-quoted, an embedded ' written as '\''.
QString shellQuoted(const QString &text);

// "openvpn --config '<serial>.ovpn' --dev-type tun --dev korvane0 --management <host> <port>
// '<password file>'\n", the profile name and the password file shell-quoted.
QByteArray tunnelCommandLine(const QString &tapSerial, const QString &managementHost, quint16 managementPort,
                             const QString &managementPasswordFile);

// The processor id text from the contents of /proc/cpuinfo: on x86 the 16 hex digits of the
// CPUID leaf 1 feature word (EDX, rebuilt from the flags) and signature (EAX, rebuilt from family,
// model and stepping), as Windows shows it; elsewhere the CPU identification fields joined by "-".
// Empty when the text carries none of them.
QString processorIdFromCpuInfo(const QByteArray &cpuInfo);
