// Keeping the bound TAP's tunnel up: the switch, drops, reconnect attempts, the connect time-out,
// cancelling, and the watchdog.
#include "mainwindow/mainwindow.h"

#include "api/operations.h"
#include "api/platformcall.h"
#include "platform/hostsystem.h"
#include "tunnel/logic/adapterprobe.h"
#include "tunnel/logic/tunnelobserver.h"
#include "tunnel/tunneldialogs.h"
#include "tunnel/tunnelpictures.h"
#include "tunnel/waitreconnect.h"
#include "tunnel/waittingwidget.h"
#include "ui/messageboxes.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QProcess>
#include <QTimer>

namespace {
constexpr int reconnectIntervalMs = 60000;
constexpr int restartRequestAttempts = 10;
const QByteArray unbound = QByteArrayLiteral("unbound");
} // namespace

void MainWindow::on_VpnControl_clicked()
{
    qDebug() << tunnelConnected;
    if (tunnelConnected) {
        closeTunnel();
        reconnectSuppressed = true;
        ui->VpnControl->setIcon(tunnelSwitchIcon(false));
        reportTunnelState(sessionToken, QString::fromUtf8(tapSerial), false);
        reportTunnelAlarm(1);
        tunnelStateCode = 2;
        refreshGatewayStates();
        qDebug().noquote() << QStringLiteral("通道手动关闭");
        notifyTunnelObserver(TunnelEvent::SwitchedOff);
        return;
    }
    const AdapterState adapter = probeTapAdapter();
    if (adapter == AdapterMissing) {
        MessageBoxes::critical(nullptr, QStringLiteral("网卡检测"), QStringLiteral("虚拟网卡不存在或禁用"));
        return;
    }
    if (!platformReachable)
        return;
    openTunnel();
    reconnectSuppressed = false;
    ui->VpnControl->setIcon(tunnelSwitchIcon(true));
    qDebug().noquote() << QStringLiteral("通道手动开启");
}

void MainWindow::onTunnelDropped()
{
    const bool wasConnected = tunnelConnected;
    waitWidget->close();
    connectTimeoutTimer->stop();
    reportTunnelAlarm(1);
    tunnelStateCode = 2;
    tunnelConnected = false;

    probeReachability();
    if (platformReachable) {
        if (wasConnected)
            notifyTunnelObserver(TunnelEvent::Dropped);
        if (reconnectCount != 0) {
            // The tunnel program reports a fresh TCP connect per try; ask the far end once a cycle.
            if (reconnectCount == restartRequestAttempts && !serverRestartRequested) {
                serverRestartRequested = true;
                requestServerRestart();
                qWarning().noquote() << QStringLiteral("通道重连多次失败，请求服务器重启");
            }
        } else if (!reconnectInProgress) {
            reconnectTimer->start(reconnectIntervalMs);
            reconnectInProgress = true;
            serverRestartRequested = false;
            qDebug().noquote() << QStringLiteral("通道看护已开启");
            showCentredOver(waitReconnect, this);
        }
    } else {
        notifyTunnelObserver(TunnelEvent::Down);
        MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("网络连接失败，请检测您的网络状态后重试"));
        qWarning().noquote() << QStringLiteral("网络异常，通道连接断开");
        endReconnectCycle();
    }

    showTunnelOff();
    tunnelConnected = false;
    // A drop before the first connection kills nothing: the tunnel program keeps trying.
    const QString serial = QString::fromUtf8(tapSerial);
    if (tunnelTapList.contains(serial)) {
        takeTunnelFromLists(serial);
        stopTunnelProcess(interpreterProcessId());
        tunnelProcessStarted = false;
    }
}

void MainWindow::endReconnectCycle()
{
    reconnectTimer->stop();
    reconnectInProgress = false;
    reconnectCount = 0;
    waitReconnect->close();
}

void MainWindow::showTunnelOff()
{
    ui->siteRunstatus->setPixmap(tunnelPicture(false));
    ui->VpnControl->setIcon(tunnelSwitchIcon(false));
}

void MainWindow::requestServerRestart()
{
    notifyTunnelObserver(TunnelEvent::RestartRequested);
    const PlatformReply reply =
        callPlatform(Operations::clientRestartProject(sessionToken, QString::fromUtf8(tapSerial)));
    if (reply.succeeded())
        qDebug().noquote() << QStringLiteral("请求重启成功");
    else if (reply.code == ReplyCode::SessionExpired)
        reRequestToken();
}

void MainWindow::TryReconnectVPN()
{
    if (tapSerial == unbound || tunnelConnected || reconnectSuppressed)
        return;
    emit sendReconnectNum_WaitShow(reconnectCount);
    if (reconnectCount == 0)
        showCentredOver(waitReconnect, this);
    ++reconnectCount;
    notifyTunnelObserver(TunnelEvent::ReconnectAttempt);
    // Straight to the launch: no checks, no new profile or CA file.
    launchTunnel(tapSerial, tapPassword);
}

void MainWindow::Vpn_Timeout()
{
    waitWidget->close();
    connectTimeoutTimer->stop();
    // Killed before the box: a notification arriving while the box is open would otherwise arm
    // the time-out again and bring a second box.
    const QString serial = QString::fromUtf8(tapSerial);
    if (tunnelTapList.contains(serial))
        takeTunnelFromLists(serial);
    hostSystem().killProcessTree(interpreterProcessId());
    showTunnelOff();
    tunnelConnected = false;
    reconnectSuppressed = false;
    tunnelProcessStarted = false;
    notifyTunnelObserver(TunnelEvent::ConnectTimeout);

    MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("    连接超时   "));
    qWarning().noquote() << QStringLiteral("通道的连接超时");
}

void MainWindow::UnReconnectVpn()
{
    if (tunnelConnected)
        return;
    if (tunnelProcessStarted) {
        stopTunnelProcess(interpreterProcessId());
        tunnelProcessStarted = false;
        qDebug().noquote() << QStringLiteral("通道重连手动取消");
    }
    tunnelConnected = false;
    reconnectSuppressed = true;
    reconnectCount = 0;
    ui->VpnControl->setIcon(tunnelSwitchIcon(false));
    notifyTunnelObserver(TunnelEvent::SwitchedOff);
}

void MainWindow::CheckVpnState()
{
    if (tapSerial == unbound)
        return;
    probeReachability();
    if (!platformReachable)
        return;
    const AdapterState adapter = probeTapAdapter();

    // Missing and idle take the tunnel down on the first tick of a spell and let the next one
    // pass, so the reaction repeats every second tick while the condition lasts.
    const auto tearDown = [this] {
        if (tunnelConnected)
            notifyTunnelObserver(TunnelEvent::Dropped);
        const QString serial = QString::fromUtf8(tapSerial);
        if (tunnelTapList.contains(serial))
            stopTunnelProcess(takeTunnelFromLists(serial));
        showTunnelOff();
        tunnelConnected = false;
        reconnectSuppressed = false;
        tunnelProcessStarted = false;
    };

    if (!reconnectSuppressed) {
        if (adapter == AdapterMissing) {
            if (adapterWarningShown) {
                adapterWarningShown = adapterDownHandled = 0;
            } else {
                adapterWarningShown = 1;
                notifyTunnelObserver(TunnelEvent::Down);
                MessageBoxes::critical(nullptr, QStringLiteral("错误"),
                                       QStringLiteral("请检查TAP虚拟网卡是否存在并启用"));
                tearDown();
                reportTunnelState(sessionToken, QString::fromUtf8(tapSerial), false);
                loadGatewayPage(1);
                reportTunnelAlarm(1);
                tunnelStateCode = 2;
            }
        } else if (adapter == AdapterIdle) {
            if (adapterDownHandled) {
                adapterWarningShown = adapterDownHandled = 0;
            } else {
                adapterDownHandled = 1;
                tearDown();
                if (!reconnectInProgress) {
                    reconnectTimer->start(reconnectIntervalMs);
                    showCentredOver(waitReconnect, this);
                    reconnectInProgress = true;
                    serverRestartRequested = false;
                }
                reportTunnelAlarm(1);
                tunnelStateCode = 2;
                reportTunnelState(sessionToken, QString::fromUtf8(tapSerial), false);
                loadGatewayPage(1);
            }
        } else {
            adapterWarningShown = adapterDownHandled = 0;
        }
    }
    if (tunnelStateCode == 2)
        reportTunnelAlarm(2);
}
