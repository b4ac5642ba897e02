#pragma once

#include <QByteArray>
#include <QString>

// Why the tunnel program ended on its own right after a launch, read from what it wrote (the
// interpreter's merged output and the tunnel program's log since the launch).
enum class TunnelStartFailure {
    None,          // nothing the user can act on; the watchdog judges the tunnel as usual
    ProgramMissing, // the interpreter found no tunnel program
    NoTunRights,   // the tunnel program may not create its network device
    PortTaken,     // another program holds the management port
};

TunnelStartFailure judgeTunnelStartFailure(const QByteArray &output);

// The box text for a failure other than None.
QString tunnelStartFailureText(TunnelStartFailure failure);

// Why the management channel of a launch did not open.
enum class ManagementFailure {
    PortTaken,    // the port answered, but not from the tunnel program the client started
    ProgramEnded, // the tunnel program ended before its port answered
    NoAnswer,     // it runs, but its port did not answer in time
};

// The box text; the port is the one the tunnel program was told to use.
QString managementFailureText(ManagementFailure failure, quint16 port);
