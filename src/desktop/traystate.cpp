#include "desktop/traystate.h"

#include "mainwindow/mainwindow.h"

namespace {
const QString unbound = QStringLiteral("unbound");
} // namespace

TunnelMembers tunnelMembersOf(const MainWindow &window)
{
    TunnelMembers members;
    members.signedIn = window.isVisible();
    members.tapSerial = QString::fromUtf8(window.tapSerial);
    members.connected = window.tunnelConnected;
    members.processStarted = window.tunnelProcessStarted;
    members.suppressed = window.reconnectSuppressed;
    members.reconnectInProgress = window.reconnectInProgress;
    members.reconnectCount = window.reconnectCount;
    members.factLines = tunnelFactLines(window.tunnelFacts);
    return members;
}

bool hasBoundTap(const TunnelMembers &members)
{
    return !members.tapSerial.isEmpty() && members.tapSerial != unbound;
}

TrayState trayStateOf(const TunnelMembers &members, bool troubled)
{
    if (!hasBoundTap(members))
        return TrayState::Off;
    if (members.connected)
        return TrayState::Connected;
    if (members.reconnectInProgress && !members.suppressed)
        return TrayState::Reconnecting;
    // A launch that failed also leaves the switch off: the failure shows until the next start.
    if (troubled)
        return TrayState::Down;
    if (members.suppressed)
        return TrayState::Off;
    return members.processStarted ? TrayState::Connecting : TrayState::Off;
}

QString trayStateText(TrayState state, const TunnelMembers &members)
{
    if (!members.signedIn)
        return QStringLiteral("未登录");
    if (!hasBoundTap(members))
        return QStringLiteral("通道：未绑定TAP");
    switch (state) {
    case TrayState::Off:
        return QStringLiteral("通道：已关闭");
    case TrayState::Connecting:
        return QStringLiteral("通道：正在连接");
    case TrayState::Connected:
        return QStringLiteral("通道：已连接");
    case TrayState::Reconnecting:
        // The count is raised at each attempt's launch: before the first tick it is 0.
        return members.reconnectCount > 0 ? QStringLiteral("通道：正在重连（第 %1 次尝试）").arg(members.reconnectCount)
                                          : QStringLiteral("通道：已断开，等待重连");
    case TrayState::Down:
        return QStringLiteral("通道：已断开");
    }
    return QString();
}

QString trayToolTip(TrayState state, const TunnelMembers &members)
{
    QStringList lines{QStringLiteral("Korvane·设备接入灵途"), trayStateText(state, members)};
    if (members.signedIn && hasBoundTap(members))
        lines << QStringLiteral("TAP：") + members.tapSerial << members.factLines;
    return lines.join(QLatin1Char('\n'));
}

QString trayIconStem(TrayState state)
{
    switch (state) {
    case TrayState::Off:
        return QStringLiteral("off");
    case TrayState::Connecting:
        return QStringLiteral("connecting");
    case TrayState::Connected:
        return QStringLiteral("connected");
    case TrayState::Reconnecting:
        return QStringLiteral("reconnecting");
    case TrayState::Down:
        return QStringLiteral("down");
    }
    return QStringLiteral("off");
}

QList<int> trayIconSizes()
{
    return {16, 22, 24, 32, 48, 64};
}
