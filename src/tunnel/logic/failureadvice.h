#pragma once

#include <QByteArray>
#include <QString>

// Why a tunnel did not come up and what the user can do about it, in words for a box's
// informative text. Built from what the tunnel program wrote into its log.

// The last line of the log text in which the tunnel program gave up on a connection ("Connection
// refused", "TLS handshake failed", "AUTH_FAILED", ...), without its time stamp; empty when none.
QString lastTunnelError(const QByteArray &logText);

// The reason and the next step for a connect time-out, from the log written since the launch.
QString connectTimeoutAdvice(const QByteArray &logText);

// The two ways to give the tunnel program the right to create its TUN device.
QString tunRightsAdvice();
