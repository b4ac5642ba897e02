#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QProcess;

// The client's own tunnel device; OpenVPN is told to create it under this name, and only this
// device counts as "the TAP adapter".
inline const QString tunnelDeviceName = QStringLiteral("korvane0");

// One network adapter as the adapter probe sees it.
struct AdapterInfo {
    QString description;       // the probe compares its first three characters with "TAP"
    QStringList ipv4Addresses; // dotted texts; "0.0.0.0" when the adapter has none
};

// The operating-system services the client needs. One production implementation per system
// (hostsystem_linux.cpp here), and a scripted fake in the tests.
class HostSystem {
public:
    virtual ~HostSystem() = default;

    // Every adapter, in the order the system lists them.
    virtual std::vector<AdapterInfo> adapters() = 0;

    // Sent-bytes counter of the tunnel device while it is up, if any.
    virtual std::optional<quint64> tapSentBytes() = 0;
    // Received-bytes counter of the tunnel device while it is up, if any.
    virtual std::optional<quint64> tapReceivedBytes() = 0;

    // True when the tunnel program may create its TUN device: this process has the right (root
    // or CAP_NET_ADMIN), or the tunnel program found on the search path was given it.
    virtual bool mayCreateTunDevice() = 0;

    // The eight raw hardware texts of the host fingerprint (command output or file content, not
    // yet normalised), in this order: cpu name, cores, logical processors, processor id, board
    // serial, bios (product) serial, product uuid, disk serial(s). Each is bounded in time; an
    // unreadable one is empty.
    virtual QStringList hardwareTexts() = 0;

    // Starts the command interpreter for the tunnel in `process` (its own process group) and
    // returns the command line to write to its standard input.
    virtual QByteArray startTunnelInterpreter(QProcess &process, const QString &tapSerial,
                                              const QString &managementHost, quint16 managementPort,
                                              const QString &managementPasswordFile) = 0;

    // Ends the tunnel interpreter with this id and everything it started: asks politely first (the
    // tunnel removes its routes), forces after a bounded wait; returns once none is left or the
    // waits ran out. Only an interpreter this layer started and that has not been reaped is
    // signalled: an id that ended may name a stranger by now. Any other id is ignored.
    virtual void killProcessTree(const QString &processId) = 0;

    // True when the loopback TCP connection from this process's `localPort` to `peerPort` was
    // accepted by the running tunnel interpreter with this id or a process it started (a listener
    // of another program or user answers "false").
    virtual bool tunnelOwnsConnection(const QString &processId, quint16 localPort, quint16 peerPort) = 0;

    // Stops the tunnel program of an earlier run of the client in this working directory, whose
    // interpreter had this id: only processes of that interpreter's session whose command line is
    // the tunnel command line and whose working directory is the current one. Anything else,
    // this process included, is left alone.
    virtual void stopStrayTunnel(const QString &processId) = 0;

    // True when the path (not followed if it is a link: a link is never private) belongs to the
    // user this process runs as and no other user may change it.
    virtual bool isPrivateToUser(const QString &path) = 0;
};

// The process-wide host layer; the Linux implementation unless a test installed another.
HostSystem &hostSystem();

// Replaces the host layer (tests only; not owned; null restores the production one).
void installHostSystem(HostSystem *host);

// A process id as the host layers record it: one to ten decimal digits, from 1 to max; anything
// else (a cleared entry, garbage from a file) is none.
std::optional<quint64> parseProcessIdText(const QString &text, quint64 max);
