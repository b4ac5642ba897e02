// Keeping the bound TAP's tunnel up: the switch, drops, reconnect attempts, the connect time-out,
// cancelling, and the watchdog.
#include "mainwindow/mainwindow.h"

#include "api/exchangewait.h"
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
#include "ui/networkfailurebox.h"
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
        // Reports and alarms follow only a close that stopped a tunnel.
        if (!closeTunnel())
            return;
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
    if (!platformReachable) {
        showNetworkFailureBox();
        return;
    }
    // A new start: whatever cycle ran before is over.
    endReconnectCycle();
    if (!openTunnel())
        return; // told; the switch stays off
    ui->VpnControl->setIcon(tunnelSwitchIcon(true));
    qDebug().noquote() << QStringLiteral("通道手动开启");
}

// The fall of a connected tunnel: one alarm, then a reconnect cycle.
void MainWindow::onTunnelDropped()
{
    // Stopped first: nothing the tunnel program still sends can come in while a box is open.
    const QString serial = QString::fromUtf8(tapSerial);
    takeTunnelFromLists(serial);
    stopTunnelProcess(interpreterProcessId());
    tunnelProcessStarted = false;
    tunnelConnected = false;
    showTunnelOff();
    waitWidget->close();
    connectTimeoutTimer->stop();
    reportTunnelAlarm(1);
    tunnelStateCode = 2;

    probeReachability();
    if (!platformReachable) {
        tellPlatformUnreachable();
        return;
    }
    notifyTunnelObserver(TunnelEvent::Dropped);
    startReconnectCycle();
    qDebug().noquote() << QStringLiteral("通道看护已开启");
}

// A reconnect attempt's tunnel program gave up a try (it keeps trying until the next tick). Acted
// on once per attempt, however many tries it reports.
void MainWindow::onReconnectAttemptFailed()
{
    if (attemptFailureHandled)
        return;
    attemptFailureHandled = true;
    probeReachability();
    if (!platformReachable) {
        stopTunnelProcess(interpreterProcessId());
        tunnelProcessStarted = false;
        tellPlatformUnreachable();
        return;
    }
    if (reconnectCount >= restartRequestAttempts)
        requestServerRestart();
}

void MainWindow::tellPlatformUnreachable()
{
    // The cycle ends before the box: a tick must not launch while it is open.
    endReconnectCycle();
    notifyTunnelObserver(TunnelEvent::Down);
    qWarning().noquote() << QStringLiteral("网络异常，通道连接断开");
    MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("网络连接失败，请检测您的网络状态后重试"));
}

void MainWindow::startReconnectCycle()
{
    if (reconnectInProgress)
        return;
    reconnectTimer->start(reconnectIntervalMs);
    reconnectInProgress = true;
    reconnectCount = 0;
    serverRestartRequested = false;
    showCentredOver(waitReconnect, this);
}

void MainWindow::endReconnectCycle()
{
    reconnectTimer->stop();
    reconnectInProgress = false;
    reconnectCount = 0;
    serverRestartRequested = false;
    waitReconnect->close();
}

void MainWindow::showTunnelOff()
{
    ui->siteRunstatus->setPixmap(tunnelPicture(false));
    ui->VpnControl->setIcon(tunnelSwitchIcon(false));
}

// Once a cycle, when its tenth attempt has failed.
void MainWindow::requestServerRestart()
{
    if (serverRestartRequested)
        return;
    serverRestartRequested = true;
    qWarning().noquote() << QStringLiteral("通道重连多次失败，请求服务器重启");
    notifyTunnelObserver(TunnelEvent::RestartRequested);
    const QString serial = QString::fromUtf8(tapSerial);
    const PlatformReply reply =
        callInSession([&](const QByteArray &token) { return Operations::clientRestartProject(token, serial); });
    if (reply.succeeded())
        qDebug().noquote() << QStringLiteral("请求重启成功");
}

void MainWindow::TryReconnectVPN()
{
    if (tapSerial == unbound || tunnelConnected || reconnectSuppressed)
        return;
    // The tenth attempt ended without a word from its tunnel program (a silent server over UDP).
    if (reconnectCount >= restartRequestAttempts)
        requestServerRestart();
    emit sendReconnectNum_WaitShow(reconnectCount);
    if (reconnectCount == 0)
        showCentredOver(waitReconnect, this);
    ++reconnectCount;
    attemptFailureHandled = false;
    notifyTunnelObserver(TunnelEvent::ReconnectAttempt);
    // The platform's site and project switches hold for every attempt.
    bool unanswered = false;
    const QString refusal = tunnelRefusal(&unanswered);
    if (unanswered) {
        // Not a refusal: the platform is out of reach, as at a fall.
        tellPlatformUnreachable();
        return;
    }
    if (!refusal.isEmpty()) {
        endReconnectCycle();
        reconnectSuppressed = true;
        showTunnelOff();
        notifyTunnelObserver(TunnelEvent::SwitchedOff);
        MessageBoxes::warning(nullptr, QStringLiteral("提示"), refusal);
        return;
    }
    // Straight to the launch with the profile and CA of the last platform answer.
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
    stopTunnelProcess(interpreterProcessId());
    showTunnelOff();
    tunnelConnected = false;
    // A tunnel that never came up is not reconnected: the switch is off until the user tries again.
    reconnectSuppressed = true;
    tunnelProcessStarted = false;
    notifyTunnelObserver(TunnelEvent::ConnectTimeout);

    MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("    连接超时   "), connectTimeoutReason());
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
    // The cycle is over; switching on again starts afresh, with a restart request of its own.
    endReconnectCycle();
    ui->VpnControl->setIcon(tunnelSwitchIcon(false));
    notifyTunnelObserver(TunnelEvent::SwitchedOff);
}

void MainWindow::CheckVpnState()
{
    if (tapSerial == unbound)
        return;
    if (ExchangeWait::isWaiting()) { // a tick due while an exchange waits runs after it, not inside
        ExchangeWait::holdUntilIdle(this, "CheckVpnState", [this] { CheckVpnState(); });
        return;
    }
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

    // A first launch still within its connect time-out has no adapter address yet.
    if (!reconnectSuppressed && !connectTimeoutTimer->isActive()) {
        if (adapter == AdapterMissing) {
            if (adapterWarningShown) {
                adapterWarningShown = adapterDownHandled = 0;
            } else {
                adapterWarningShown = 1;
                notifyTunnelObserver(TunnelEvent::Down);
                MessageBoxes::critical(nullptr, QStringLiteral("错误"),
                                       QStringLiteral("请检查TAP虚拟网卡是否存在并启用"), adapterMissingReason());
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
                startReconnectCycle();
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
