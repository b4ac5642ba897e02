// The tunnel and TAP state report and the tunnel alarm.
#include "mainwindow/mainwindow.h"

#include "api/operations.h"
#include "api/platformcall.h"

#include <QDebug>

void MainWindow::reportTunnelState(const QByteArray &token, const QString &tapSerial, bool tunnelOnline)
{
    const PlatformRequest request = Operations::updateTunnelAndTapState(token, tapSerial, tunnelOnline, trafficDelta);
    qDebug().noquote() << (tunnelOnline ? QStringLiteral("网关在线，TAP在线") : QStringLiteral("网关不在线，TAP在线"));
    qDebug().noquote() << QStringLiteral("流量") + QString::number(trafficDelta);
    // The traffic of this interval is reported once, even if the report then fails.
    trafficDelta = 0;

    const PlatformReply reply = callPlatform(request);
    if (reply.succeeded())
        qDebug().noquote() << QStringLiteral("发送成功");
    else if (reply.code == ReplyCode::SessionExpired)
        reRequestToken();
}

void MainWindow::reportTunnelAlarm(int warnType)
{
    const PlatformReply reply = callPlatform(Operations::tunnelAlarmData(sessionToken, QString::fromUtf8(tapSerial), warnType));
    if (reply.succeeded())
        qDebug().noquote() << QStringLiteral("报警成功");
}
