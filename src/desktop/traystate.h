#pragma once

#include <QString>
#include <QStringList>

class MainWindow;

// What the tray shows of the bound TAP's tunnel.
enum class TrayState { Off, Connecting, Connected, Reconnecting, Down };

// The tunnel members of the main window the tray looks at, copied at one moment.
struct TunnelMembers {
    bool signedIn = false; // the main window is shown (a login succeeded)
    QString tapSerial;     // empty or "unbound": no TAP bound
    bool connected = false;
    bool processStarted = false;
    bool suppressed = false; // reconnectSuppressed
    bool reconnectInProgress = false;
    int reconnectCount = 0;
    QStringList factLines; // address, time, traffic, server, last failure (tunnelFactLines)
};

TunnelMembers tunnelMembersOf(const MainWindow &window);

bool hasBoundTap(const TunnelMembers &members);

// The state the members stand for. `troubled`: since the last launch the tunnel was dropped, timed
// out or torn down; without a reconnect cycle that is Down rather than Off or Connecting.
TrayState trayStateOf(const TunnelMembers &members, bool troubled);

// "Korvane·设备接入灵途", the tunnel line, the TAP serial and the tunnel's facts, one per line.
QString trayToolTip(TrayState state, const TunnelMembers &members);

// The tunnel line alone ("通道：已连接", ...).
QString trayStateText(TrayState state, const TunnelMembers &members);

// A name for the state's picture ("connected", ...), as in file names of screenshots.
QString trayIconStem(TrayState state);
// The sizes rendered for every state.
QList<int> trayIconSizes();
