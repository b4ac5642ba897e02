// Launching the tunnel program, its connected transition, the user's close, and a tunnel program
// that ended on its own right after the launch.
#include "mainwindow/mainwindow.h"

#include "platform/hostsystem.h"
#include "tunnel/logic/adapterprobe.h"
#include "tunnel/logic/failureadvice.h"
#include "tunnel/logic/managementendpoint.h"
#include "tunnel/logic/managementpassword.h"
#include "tunnel/logic/startfailure.h"
#include "tunnel/logic/tunnelobserver.h"
#include "tunnel/logic/tunnelfiles.h"
#include "tunnel/tunnelpictures.h"
#include "tunnel/waitreconnect.h"
#include "tunnel/waittingwidget.h"
#include "ui/messageboxes.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>

namespace {
constexpr int commandWriteTimeoutMs = 30000;
constexpr qint64 tunnelLogReadLimit = 64 * 1024;
const QString tunnelLog = QStringLiteral("logs/openvpn.log");

QByteArray tunnelLogSince(qint64 offset)
{
    QFile log(tunnelLog);
    if (!log.open(QIODevice::ReadOnly))
        return {};
    // A log that was cut or replaced since the launch is read from its start.
    if (log.size() < offset)
        offset = 0;
    log.seek(std::max(offset, log.size() - tunnelLogReadLimit));
    return log.read(tunnelLogReadLimit);
}
} // namespace

bool MainWindow::launchTunnel(const QByteArray &serial, const QByteArray &password)
{
    const QString serialText = QString::fromUtf8(serial);
    // The credentials go first, before every check; a refused launch takes the password back.
    if (!TunnelFiles::writeOwnerOnly(TunnelFiles::credentialsFile, TunnelFiles::credentialsText(serial, password)))
        qWarning().noquote() << QStringLiteral("通道认证文件写入失败");

    if (tunnelTapList.contains(serialText)) {
        forgetTunnelPassword();
        MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("该通道已连接"));
        return false;
    }
    if (probeTapAdapter() == AdapterMissing) {
        forgetTunnelPassword();
        MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("请检查TAP虚拟网卡是否存在并启用"),
                               adapterMissingReason());
        qWarning().noquote() << QStringLiteral("虚拟网卡未启用或不存在");
        tunnelConnected = false;
        reconnectSuppressed = false;
        reconnectTimer->stop();
        reconnectInProgress = false;
        waitReconnect->close();
        notifyTunnelObserver(TunnelEvent::Down);
        return false;
    }
    if (!TunnelFiles::isPlainFileName(serialText)) {
        forgetTunnelPassword();
        qCritical().noquote() << QStringLiteral("TAP序列号不能用作文件名，通道未启动");
        return false;
    }

    // One tunnel program at a time: an interpreter left from an earlier launch (a drop before its
    // first connection leaves it trying on its own) would keep the management port, and so would
    // one that an earlier run of the client in this folder left behind.
    if (tunnelProcess->state() != QProcess::NotRunning) {
        hostSystem().killProcessTree(interpreterProcessId());
        tunnelProcess->waitForFinished(1000);
    }
    stopEarlierTunnel();
    if (!writeLaunchFiles(serial, password))
        return false;
    tunnelLogOffset = QFileInfo(tunnelLog).size();
    if (!managementPassword->renew())
        qCritical().noquote() << QStringLiteral("通道管理口令文件创建失败");

    const ManagementEndpoint endpoint = managementEndpoint();
    const QByteArray commandLine = hostSystem().startTunnelInterpreter(*tunnelProcess, serialText, endpoint.host,
                                                                       endpoint.port, managementPassword->filePath());
    if (tunnelProcess->state() != QProcess::NotRunning &&
        !TunnelFiles::writeOwnerOnly(TunnelFiles::pidFile,
                                     TunnelFiles::pidFileText({interpreterProcessId(), managementPassword->filePath()})))
        qWarning().noquote() << QStringLiteral("通道进程记录文件写入失败");
    tunnelProcess->write(commandLine);
    tunnelProcess->waitForBytesWritten(commandWriteTimeoutMs);
    // End of input: the interpreter runs the one line and ends with the tunnel program.
    tunnelProcess->closeWriteChannel();
    tunnelProcessStarted = true;
    tunnelsShutDown = false;
    notifyTunnelObserver(TunnelEvent::Launching);

    return connectManagementChannel();
}

void MainWindow::onManagementChannelFailed()
{
    // Judged before anything is stopped: whose port answered, and whether the program still runs.
    const quint16 port = managementEndpoint().port;
    ManagementFailure failure = ManagementFailure::NoAnswer;
    if (managementSocket->state() == QAbstractSocket::ConnectedState &&
        !hostSystem().tunnelOwnsConnection(interpreterProcessId(), managementSocket->localPort(), port))
        failure = ManagementFailure::PortTaken;
    else if (tunnelProcess->state() == QProcess::NotRunning)
        failure = ManagementFailure::ProgramEnded;
    // The end of the program was told already when its output named the reason.
    const bool told = !tunnelProcessStarted;

    managementSocket->abort();
    // An unsupervised tunnel must not be left running.
    stopTunnelProcess(interpreterProcessId());
    tunnelProcessStarted = false;
    tunnelConnected = false;
    waitWidget->close();
    connectTimeoutTimer->stop();
    showTunnelOff();
    notifyTunnelObserver(TunnelEvent::Down);
    const QString text = managementFailureText(failure, port);
    qWarning().noquote() << text;
    // A reconnect cycle tries again on its next tick; the user was told when it began. A first
    // launch is over: nothing relaunches until the user switches on again.
    if (reconnectCount == 0)
        reconnectSuppressed = true;
    if (!told && reconnectCount == 0)
        MessageBoxes::critical(nullptr, QStringLiteral("错误"), text);
}

void MainWindow::onTunnelConnected(const QByteArray &description)
{
    // OpenVPN's own restart, or the notification and the state answer both arriving.
    if (tunnelConnected)
        return;
    qDebug().noquote() << QStringLiteral("TUNNEL MSG:") + QString::fromUtf8(description);
    const int attemptsTaken = reconnectCount;
    tunnelConnected = true;
    reconnectCount = 0;
    serverRestartRequested = false;
    reconnectSuppressed = false;

    tunnelTapList.prepend(QString::fromUtf8(tapSerial));
    tunnelInfoList.prepend(QString::fromUtf8(tapPassword));
    tunnelPidList.prepend(interpreterProcessId());

    ui->siteRunstatus->setPixmap(tunnelPicture(true));
    ui->VpnControl->setIcon(tunnelSwitchIcon(true));

    waitWidget->close();
    connectTimeoutTimer->stop();
    waitReconnect->close();
    reconnectTimer->stop();
    reconnectInProgress = false;

    // The password stays on disk only until the tunnel is up.
    if (!TunnelFiles::writeOwnerOnly(TunnelFiles::credentialsFile, TunnelFiles::connectedCredentials))
        qWarning().noquote() << QStringLiteral("通道认证文件写入失败");
    updateTrafficMeter();
    reportTunnelState(sessionToken, QString::fromUtf8(tapSerial), true);
    if (tunnelStateCode == 2) {
        reportTunnelAlarm(3);
        tunnelStateCode = 0;
    }
    refreshGatewayStates();
    notifyTunnelObserver(TunnelEvent::Connected, attemptsTaken);
}

bool MainWindow::closeTunnel()
{
    // The bound TAP's tunnel, whichever item the details panel shows (the tray reaches it from anywhere).
    const QString serial = QString::fromUtf8(tapSerial);
    if (!tunnelTapList.contains(serial)) {
        MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("当前隧道尚未连接"));
        return false;
    }
    stopTunnelProcess(takeTunnelFromLists(serial));
    ui->siteRunstatus->setPixmap(tunnelPicture(false));
    tunnelConnected = false;
    reconnectSuppressed = true;
    tunnelProcessStarted = false;
    return true;
}

void MainWindow::onTunnelProgramEnded()
{
    // Its pid may be given to any process from now on: it is never signalled again.
    for (QString &processId : tunnelPidList)
        processId.clear();
    QFile::remove(TunnelFiles::pidFile);
    // Nothing reads the credentials any more.
    forgetTunnelPassword();
    // Only a launch that failed in a way the user can mend is told; every other end (our own
    // kills included) is left to the watchdog.
    if (!tunnelProcessStarted)
        return;
    const TunnelStartFailure failure =
        judgeTunnelStartFailure(tunnelProcess->readAll() + tunnelLogSince(tunnelLogOffset));
    if (failure == TunnelStartFailure::None)
        return;
    qWarning().noquote() << QStringLiteral("通道程序启动失败");
    tunnelProcessStarted = false;
    tunnelConnected = false;
    managementSocket->abort();
    waitWidget->close();
    connectTimeoutTimer->stop();
    // Every further attempt would end the same way.
    endReconnectCycle();
    reconnectSuppressed = true;
    showTunnelOff();
    notifyTunnelObserver(TunnelEvent::Down);
    MessageBoxes::critical(nullptr, QStringLiteral("错误"),
                           failure == TunnelStartFailure::PortTaken
                               ? managementFailureText(ManagementFailure::PortTaken, managementEndpoint().port)
                               : tunnelStartFailureText(failure),
                           failure == TunnelStartFailure::NoTunRights ? tunRightsAdvice() : QString());
}
