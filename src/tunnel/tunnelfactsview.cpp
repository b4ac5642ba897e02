// The tunnel's facts: fed from the management channel, the traffic meter and the tunnel's events,
// shown on the status line under the tunnel panel and handed to the observer (tray tool tip).
#include "mainwindow/mainwindow.h"

#include "app/logtail.h"
#include "platform/hostsystem.h"
#include "tunnel/logic/failureadvice.h"
#include "tunnel/logic/tunnelfiles.h"
#include "tunnel/logic/tunnelobserver.h"
#include "ui_mainwindow.h"

#include <QDateTime>
#include <QFile>

namespace {
constexpr qint64 tunnelLogReadLimit = 64 * 1024;
constexpr qint64 profileReadLimit = 64 * 1024;
const QString tunnelLog = QStringLiteral("logs/openvpn.log");
} // namespace

void MainWindow::noteTunnelLine(const QByteArray &line)
{
    const bool wasConnected = tunnelFacts.connectedSince.isValid();
    noteManagementLine(tunnelFacts, line, QDateTime::currentDateTime());
    if (!wasConnected && tunnelFacts.connectedSince.isValid()) {
        QFile profile(TunnelFiles::profilePath(QString::fromUtf8(tapSerial)));
        tunnelFacts.protocol =
            profile.open(QIODevice::ReadOnly) ? protocolOfProfile(profile.read(profileReadLimit)) : QString();
        noteTunnelCounters();
    }
    showTunnelFacts();
}

void MainWindow::noteTunnelCounters()
{
    noteCounters(tunnelFacts, hostSystem().tapSentBytes(), hostSystem().tapReceivedBytes());
    showTunnelFacts();
}

void MainWindow::noteTunnelEvent(TunnelEvent event)
{
    switch (event) {
    case TunnelEvent::ConnectTimeout: {
        const QString error = lastTunnelError(readLogTail(tunnelLog, tunnelLogOffset, tunnelLogReadLimit).bytes);
        noteTunnelDown(tunnelFacts, error.isEmpty() ? QStringLiteral("连接超时") : QStringLiteral("连接超时：") + error);
        break;
    }
    case TunnelEvent::Down:
        noteTunnelDown(tunnelFacts, tunnelFacts.connectedSince.isValid() ? QStringLiteral("通道被关闭") : QString());
        break;
    case TunnelEvent::Dropped:
        // The channel's RECONNECTING line has told why, when there was one.
        noteTunnelDown(tunnelFacts, tunnelFacts.connectedSince.isValid() ? QStringLiteral("连接中断") : QString());
        break;
    case TunnelEvent::SwitchedOff:
        noteTunnelDown(tunnelFacts);
        break;
    case TunnelEvent::Launching:
    case TunnelEvent::Connected:
    case TunnelEvent::ReconnectAttempt:
    case TunnelEvent::RestartRequested:
        return;
    }
    showTunnelFacts();
}

void MainWindow::showTunnelFacts()
{
    const QString line = tunnelStatusLine(tunnelFacts);
    if (ui->tunnelStatusLine->text() != line)
        ui->tunnelStatusLine->setText(line);
    if (tunnelObserver)
        tunnelObserver->tunnelFactsChanged();
}

QString MainWindow::connectTimeoutReason()
{
    return connectTimeoutAdvice(readLogTail(tunnelLog, tunnelLogOffset, tunnelLogReadLimit).bytes);
}

QString MainWindow::adapterMissingReason()
{
    return hostSystem().mayCreateTunDevice() ? QString() : tunRightsAdvice();
}
