#pragma once

#include "platform/hostsystem.h"

// The host layer on Windows, with the services themselves: IP Helper for the adapters and the
// counter, cmd.exe for the tunnel command line, taskkill for the process tree, wmic for the
// hardware texts.
class WindowsHostSystem : public HostSystem {
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

private:
    // The TAP row's sent (true) or received octets.
    static std::optional<quint64> tapCounter(bool sent);
};

// The eight wmic queries in the order they run, each as program arguments.
const QList<QStringList> &wmicQueries();

// The query outputs (in the run order of wmicQueries) as the eight texts of the fingerprint order:
// cpu Name, NumberOfCores, NumberOfLogicalProcessors, processorid, baseboard, bios, csproduct
// uuid, diskdrive.
QStringList fingerprintOrder(const QStringList &outputsInRunOrder);

// The tunnel program: "exe_path" of HKLM\SOFTWARE\OpenVPN, else "bin\openvpn.exe" below the
// folder in its default value, else openvpn.exe found on PATH; empty when none of them exists.
QString findOpenVpnProgram();

// The text as one argument for cmd.exe: in double quotes. Empty when cmd would still read part of
// it as its own syntax inside the quotes (a quote, a "%", a line break).
QString cmdQuoted(const QString &text);

// "<program> --config \"<serial>.ovpn\" --management <host> <port> \"<password file>\"\r\n", the
// program quoted when it is a path ("openvpn.exe" when none was found); empty when a part cannot be
// quoted for cmd.
QByteArray windowsTunnelCommandLine(const QString &program, const QString &tapSerial, const QString &managementHost,
                                    quint16 managementPort, const QString &managementPasswordFile);

// Whether a command line (as the process was started with) is a tunnel command line: the program
// is openvpn.exe (any folder, any letter case), with "--config <name>.ovpn" and "--management".
bool isWindowsTunnelCommandLine(const QString &commandLine);

// A program of Windows' system folder (System32, then System32\wbem), by its full path: a
// program of the same name in the working directory is never run instead.
QString systemProgram(const QString &name);
