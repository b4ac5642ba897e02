// The tunnel and TAP state report and the tunnel alarm.
#include "mainwindow/mainwindow.h"

#include "api/operations.h"
#include "api/platformcall.h"

#include <QDebug>

PlatformReply MainWindow::reportTunnelState(const QByteArray &token, const QString &tapSerial, bool tunnelOnline)
{
    const qint64 flowData = trafficDelta;
    qDebug().noquote() << (tunnelOnline ? QStringLiteral("网关在线，TAP在线") : QStringLiteral("网关不在线，TAP在线"));
    qDebug().noquote() << QStringLiteral("流量") + QString::number(trafficDelta);
    // The traffic of this interval is reported once, even if the report then fails.
    trafficDelta = 0;

    // Sent with the token given; a renewal's repeat goes with the new one.
    bool first = true;
    PlatformReply reply = callInSession([&](const QByteArray &held) {
        const QByteArray sent = first ? token : held;
        first = false;
        return Operations::updateTunnelAndTapState(sent, tapSerial, tunnelOnline, flowData);
    });
    if (reply.succeeded())
        qDebug().noquote() << QStringLiteral("发送成功");
    return reply;
}

PlatformReply MainWindow::reportTunnelAlarm(int warnType)
{
    const QString serial = QString::fromUtf8(tapSerial);
    PlatformReply reply = callInSession(
        [&](const QByteArray &token) { return Operations::tunnelAlarmData(token, serial, warnType); });
    if (reply.succeeded())
        qDebug().noquote() << QStringLiteral("报警成功");
    return reply;
}
