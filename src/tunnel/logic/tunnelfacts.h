#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// What the user can know about the bound TAP's tunnel at a glance: where it goes, since when, how
// much went through it, and why it last failed. Fed from the management channel's state lines and
// the traffic meter; the windows and the tray only show it.
struct TunnelFacts {
    QString tunnelAddress;  // the address OpenVPN gave the tunnel device
    QString serverAddress;  // the remote end OpenVPN connected to
    QString serverPort;
    QString protocol;       // "udp", "tcp", ... from the profile
    QDateTime connectedSince; // invalid while not connected
    std::optional<quint64> sentBytes, receivedBytes;
    QString lastFailure;    // empty: none since the start
};

// One management line, whole, with its empty fields (">STATE:<time>,<state>,<description>,
// <tunnel address>,<remote address>,<remote port>,...", or the same without ">STATE:" as the
// answer to "state"). CONNECTED/SUCCESS sets the connection
// facts; RECONNECTING and EXITING end them and keep their reason as the last failure.
void noteManagementLine(TunnelFacts &facts, const QByteArray &line, const QDateTime &now);

// The device's counters as the traffic meter read them (missing: the device is gone).
void noteCounters(TunnelFacts &facts, std::optional<quint64> sent, std::optional<quint64> received);

// The tunnel went down on the client's side (time-out, switch, watchdog): the connection facts end.
void noteTunnelDown(TunnelFacts &facts, const QString &reason = QString());

// The protocol named by a tunnel profile's "proto" line; empty when it has none.
QString protocolOfProfile(const QByteArray &profile);

// "1.5 MB", "820 B": binary multiples, one decimal from KB on.
QString byteCountText(quint64 bytes);

// The facts as short lines ("通道地址：10.8.0.6", ...); only the known ones.
QStringList tunnelFactLines(const TunnelFacts &facts);

// The same on one line, for the status line under the tunnel panel.
QString tunnelStatusLine(const TunnelFacts &facts);
