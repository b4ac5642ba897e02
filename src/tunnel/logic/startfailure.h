#pragma once

#include <QByteArray>
#include <QString>

// Why the tunnel program ended on its own right after a launch, read from what it wrote (the
// interpreter's merged output and the tunnel program's log since the launch).
enum class TunnelStartFailure {
    None,          // nothing the user can act on; the watchdog judges the tunnel as usual
    ProgramMissing, // the interpreter found no tunnel program
    NoTunRights,   // the tunnel program may not create its network device
};

TunnelStartFailure judgeTunnelStartFailure(const QByteArray &output);

// The box text for a failure other than None.
QString tunnelStartFailureText(TunnelStartFailure failure);
