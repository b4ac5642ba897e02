// The management channel of the tunnel program: connecting with the launch's password, switching
// state notifications on, and judging what arrives.
#include "mainwindow/mainwindow.h"

#include "platform/hostsystem.h"
#include "tunnel/logic/managementchunk.h"
#include "tunnel/logic/managementendpoint.h"
#include "tunnel/logic/managementpassword.h"
#include "tunnel/tunneldialogs.h"
#include "tunnel/waittingwidget.h"

#include <QDebug>
#include <QDeadlineTimer>
#include <QProcess>
#include <QSignalBlocker>
#include <QTcpSocket>
#include <QTimer>

namespace {
constexpr int managementConnectWindowMs = 5000;
// The tunnel program opens its port a moment after it starts; ask again this often.
constexpr int managementRetryIntervalMs = 25;
constexpr int connectTimeoutMs = 30000;
// A peer that talks without ever asking for the password is not the tunnel program.
constexpr qint64 handshakeReadLimit = 64 * 1024;

// Waits until the unread data holds `marker`, then consumes everything up to and including it
// and the rest of its line. What follows stays unread for the notification handler.
bool consumeThrough(QTcpSocket &socket, const QByteArray &marker, bool wholeLine, const QDeadlineTimer &deadline)
{
    for (;;) {
        const QByteArray seen = socket.peek(socket.bytesAvailable());
        const int at = seen.indexOf(marker);
        if (at >= 0) {
            int end = at + marker.size();
            if (wholeLine) {
                const int lineEnd = seen.indexOf('\n', end);
                if (lineEnd < 0) {
                    if (!socket.waitForReadyRead(int(deadline.remainingTime())))
                        return false;
                    continue;
                }
                end = lineEnd + 1;
            }
            socket.read(end);
            return true;
        }
        if (seen.size() > handshakeReadLimit || deadline.hasExpired() ||
            !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
}
} // namespace

bool MainWindow::connectManagementChannel()
{
    const ManagementEndpoint endpoint = managementEndpoint();
    const QDeadlineTimer deadline(managementConnectWindowMs);
    // The hand-shake is read here; the notification handler sees only what follows it.
    const QSignalBlocker quiet(managementSocket);
    bool open = false;
    while (!open && !deadline.hasExpired()) {
        managementSocket->abort();
        managementSocket->connectToHost(endpoint.host, endpoint.port, QIODevice::ReadWrite);
        if (managementSocket->waitForConnected(int(deadline.remainingTime()))) {
            // The password goes only to the tunnel program this launch started, never to a
            // listener of someone else that took the port first.
            open = consumeThrough(*managementSocket, managementPasswordPrompt, false, deadline) &&
                   hostSystem().tunnelOwnsConnection(interpreterProcessId(), managementSocket->localPort(),
                                                     endpoint.port) &&
                   managementSocket->write(managementPassword->password() + '\n') > 0 &&
                   managementSocket->flush() &&
                   consumeThrough(*managementSocket, managementPasswordAccepted, true, deadline);
            if (!open)
                break; // someone else's port, or a tunnel program that does not know our password
            continue;
        }
        // Not listening yet; stop early when the interpreter has already ended.
        if (tunnelProcess->state() == QProcess::NotRunning || tunnelProcess->waitForFinished(managementRetryIntervalMs))
            break;
    }

    if (!open) {
        qCritical().noquote() << QStringLiteral("本地通道监测服务器创建失败");
        onManagementChannelFailed();
        return false;
    }

    managementLines.reset();
    // A first launch has the connect time-out from here to its first CONNECTED; the lines on the
    // way there do not extend it (a dead TCP server sends a fresh TCP_CONNECT every few seconds).
    if (reconnectCount == 0) {
        showCentredOver(waitWidget, this);
        connectTimeoutTimer->start(connectTimeoutMs);
    }
    managementSocket->write("state on\r\n");
    managementSocket->flush();
    lastManagementCommand = QStringLiteral("stateon");
    // A tunnel that connected before "state on" arrived is never announced; ask for the state.
    managementSocket->write("state\r\n");
    managementSocket->flush();
    return true;
}

void MainWindow::slotReadyRead()
{
    // A handler below may wait for the platform while the event loop turns; Qt does not announce
    // what arrives meanwhile, so everything buffered is taken, in order, before returning.
    while (managementSocket->bytesAvailable() > 0) {
        const QByteArray bytes = managementSocket->readAll();
        // What a tunnel program says after the client stopped it has no meaning any more.
        if (!tunnelProcessStarted && !tunnelConnected)
            return;
        for (const ManagementChunk &line : managementLines.judge(bytes)) {
            noteTunnelLine(line.line);
            for (const QString &entry :
                 notificationLog.take(QStringLiteral("TUNNEL MSG:") + QString::fromUtf8(line.state)))
                qDebug().noquote() << entry;
            if (line.connected())
                onTunnelConnected(line.description);
            else if (line.reconnecting() && tunnelConnected)
                onTunnelDropped();
            else if (line.reconnecting() && reconnectCount > 0)
                onReconnectAttemptFailed();
            // A first launch keeps trying on its own until its connect time-out.

            // A drop that stopped the tunnel program leaves the rest without meaning.
            if (managementSocket->state() != QAbstractSocket::ConnectedState)
                return;
        }
    }
}

// The interpreter's own diagnostics; not connected to its signals.
void MainWindow::read_data()
{
    qDebug().noquote() << QString::fromUtf8(tunnelProcess->readAll());
}

void MainWindow::finished_process()
{
    qDebug().noquote() << QStringLiteral("Success:finishedProcess():") + QString::number(tunnelProcess->exitCode());
}

void MainWindow::error_process()
{
    qDebug().noquote() << QStringLiteral("Success:error_process():") + tunnelProcess->errorString();
}

bool MainWindow::testFunction()
{
    return connectManagementChannel();
}
