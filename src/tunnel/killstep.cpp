// The running-tunnel lists and the kill step shared by every path that stops a tunnel.
#include "mainwindow/mainwindow.h"

#include "platform/hostsystem.h"
#include "tunnel/logic/managementpassword.h"
#include "tunnel/logic/tunnelfiles.h"
#include "tunnel/logic/tunnelobserver.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>

QString MainWindow::takeTunnelFromLists(const QString &serial)
{
    // Every entry of the serial goes; the process id found last is the one to kill.
    QString processId;
    for (int i = tunnelTapList.size() - 1; i >= 0; --i) {
        if (tunnelTapList.at(i) != serial)
            continue;
        if (processId.isEmpty())
            processId = tunnelPidList.value(i);
        tunnelTapList.removeAt(i);
        if (i < tunnelInfoList.size())
            tunnelInfoList.removeAt(i);
        if (i < tunnelPidList.size())
            tunnelPidList.removeAt(i);
    }
    return processId;
}

void MainWindow::stopTunnelProcess(const QString &processId)
{
    // Aborted, not closed: nothing the stopped program still sends is read.
    managementSocket->abort();
    managementLines.reset();
    hostSystem().killProcessTree(processId);
    forgetTunnelPassword();
}

void MainWindow::forgetTunnelPassword()
{
    // The TAP password is on disk only between a launch and its connection or its end.
    if (QFileInfo::exists(TunnelFiles::credentialsFile) &&
        !TunnelFiles::writeOwnerOnly(TunnelFiles::credentialsFile, TunnelFiles::connectedCredentials))
        qWarning().noquote() << QStringLiteral("通道认证文件写入失败");
}

void MainWindow::killRecordedTunnels()
{
    for (int i = 0; i < tunnelTapList.size(); ++i)
        hostSystem().killProcessTree(tunnelPidList.value(i));
}

QString MainWindow::interpreterProcessId() const
{
    return QString::number(tunnelProcess->processId());
}

void MainWindow::shutDownTunnels()
{
    // No question and no reports: the window is going away, whichever way it was closed.
    if (tunnelsShutDown)
        return;
    tunnelsShutDown = true;
    killRecordedTunnels();
    if (tunnelProcess->state() != QProcess::NotRunning && !tunnelPidList.contains(interpreterProcessId())) {
        hostSystem().killProcessTree(interpreterProcessId());
        tunnelProcess->waitForFinished(1000);
    }
    tunnelProcessStarted = false;
    reconnectSuppressed = true;
    reconnectTimer->stop();
    connectTimeoutTimer->stop();
    managementSocket->abort();
    managementPassword->discard();
    forgetTunnelPassword();
    QFile::remove(TunnelFiles::pidFile);
}

void MainWindow::notifyTunnelObserver(TunnelEvent event, int attempt)
{
    noteTunnelEvent(event);
    if (!tunnelObserver)
        return;
    TunnelStatus status;
    status.tapSerial = QString::fromUtf8(tapSerial);
    status.connected = tunnelConnected;
    status.reconnecting = reconnectInProgress && !reconnectSuppressed;
    status.attempt = attempt >= 0 ? attempt : reconnectCount;
    tunnelObserver->tunnelEvent(event, status);
}
