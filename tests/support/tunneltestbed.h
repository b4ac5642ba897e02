#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QProcess;

// A private network for the tunnel tests: two network namespaces of this process's own (server and
// client) joined by a veth pair, an OpenVPN server in the server namespace that accepts one
// serial/password pair, and a test PKI. No address outside the two namespaces is reachable from
// them: the client namespace has no default route.
//
//   server namespace  10.213.<n>.1/24 ---- 10.213.<n>.2/24  client namespace
//   OpenVPN server on serverAddress(), tunnel 10.8.<n>.0/24, pushes a route to 10.9.<n>.0/24
//
// A client gets 10.8.<n>.2, the pool's first address. Needs root, /dev/net/tun, `ip`, `openssl` and
// `openvpn` (tests skip with unavailableReason()). Everything is bounded in time. Destruction (or
// cleanUp()) leaves nothing behind: no namespace, no OpenVPN process of the bed, hence no TUN
// device, no temporary file; beds of a test process that was killed go when the next bed is made.
class TunnelTestBed {
public:
    enum class Protocol { Tcp, Udp };

    // Empty when a bed can be built here; otherwise why not.
    static QString unavailableReason();

    TunnelTestBed();
    ~TunnelTestBed();
    TunnelTestBed(const TunnelTestBed &) = delete;
    TunnelTestBed &operator=(const TunnelTestBed &) = delete;

    // Namespaces, link and PKI are up.
    bool isReady() const { return ready; }
    // What went wrong last, with the failing command's output.
    QString errorString() const { return error; }

    QString serverNamespace() const { return serverNs; }
    QString clientNamespace() const { return clientNs; }
    QString serverAddress() const;
    QString clientAddress() const;
    // Routed from the client namespace into the server namespace, which does not forward: packets
    // to it vanish without RST or ICMP, so connects to it only time out.
    QString silentAddress() const;
    // The server's own address inside the tunnel, and the network it pushes a route to.
    QString tunnelServerAddress() const;
    QString pushedNetwork() const;
    QByteArray caPem() const;

    // The one pair the server accepts (compared byte for byte); until set, it accepts none.
    bool setCredentials(const QString &serial, const QString &password);

    // Starts the server and waits (bounded) until it serves; a running one is stopped first.
    // Directives in extra are added to its configuration.
    bool startServer(Protocol protocol, quint16 port = 1194, const QStringList &extra = {});
    // Kills the server outright, as a crash would: TCP clients see the connection drop, UDP clients
    // miss its keepalive (ping-restart after 5 s).
    void stopServer();
    bool serverRunning() const;
    QByteArray serverLog() const;

    // Moves the calling thread into the client namespace, with a mount namespace of its own whose
    // /sys shows that namespace's devices (the client reads korvane0's counters there). Call it from
    // the main thread before the test starts threads: threads and child processes started from it
    // afterwards (the simulator, the client's sockets and its openvpn) live in the client namespace,
    // where 127.0.0.1 is the namespace's own loopback; threads that run already stay outside
    // (QtTest's watchdog does no harm there). Make every bed before entering one: namespaces added
    // from inside the private mount namespace are not seen outside it.
    bool enterClientNamespace();
    // Back to the namespaces of construction; cleanUp() does this first.
    bool leaveClientNamespace();
    bool inClientNamespace() const { return originalNetwork >= 0; }

    // The client's files as the client writes them (profile "<serial>.ovpn" with CR LF line ends,
    // ca.crt, vpnconfig.ini, logs/), pointing at this bed's server; for hand-started clients.
    bool writeClientFiles(const QString &directory, Protocol protocol, const QString &serial, const QString &password,
                          quint16 port = 1194) const;
    static QByteArray clientProfile(Protocol protocol, const QString &address, quint16 port);

    // Live (not zombie) openvpn processes of the bed: the server and any in either namespace or
    // working in the bed's directory.
    QList<qint64> openvpnProcessesOfBed() const;
    // Names of the TUN devices in the client namespace; empty once it is gone.
    QStringList tunDevicesInClientNamespace() const;
    // Entries of /proc/<pid>/fd, -1 when unreadable (for this process, the one reading them counts).
    static int openFileDescriptors(qint64 pid);

    // Kills every process in the bed's namespaces (except this one), deletes both namespaces and
    // the temporary files. Idempotent; also right after a failed test.
    void cleanUp();

private:
    bool build();
    bool makePki();
    bool ip(const QString &arguments);
    bool run(const QString &program, const QStringList &arguments);
    QString path(const QString &name) const;

    QTemporaryDir directory;
    QString serverNs;
    QString clientNs;
    int subnet = 0;
    quint64 serverNsInode = 0;
    quint64 clientNsInode = 0;
    std::unique_ptr<QProcess> server;
    int originalNetwork = -1;
    int originalMounts = -1;
    bool ready = false;
    bool cleaned = false;
    QString error;
};
