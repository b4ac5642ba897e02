#include "sim/demosites.h"

#include <QDateTime>

namespace sim {

namespace {

// UTC, so that the texts do not depend on the host's time zone and its daylight saving.
const QDateTime firstCreation(QDate(2023, 5, 8), QTime(8, 30, 12), Qt::UTC);
const QDateTime lastUpdateBase(QDate(2026, 1, 20), QTime(6, 4, 51), Qt::UTC);

QString stamp(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString flowText(int n)
{
    const double megabytes = (n * 7919 % 4000) * 1.37 + 12.3;
    if (megabytes >= 1024.0)
        return QString::number(megabytes / 1024.0, 'f', 2) + QStringLiteral("GB");
    return QString::number(megabytes, 'f', 1) + QStringLiteral("MB");
}

// Device names by class (0 通用 .. 6 机器人).
const char *const deviceNames[] = {"数据采集终端", "PLC控制柜",    "监控摄像头", "电磁流量计",
                                   "远程IO模块",   "数控加工中心", "码垛机器人"};

int deviceCount(int n)
{
    if (n == 1)
        return 37; // more than one page of 25
    if (n % 4 == 0)
        return 0;
    return (n * 3) % 7 + 1;
}

} // namespace

QString chineseNumber(int n)
{
    static const QString digits = QStringLiteral("零一二三四五六七八九");
    const int tens = n / 10;
    const int ones = n % 10;
    QString text;
    if (tens > 1)
        text += digits.at(tens);
    if (tens > 0)
        text += QStringLiteral("十");
    if (ones > 0 || tens == 0)
        text += digits.at(ones);
    return text;
}

Gateway demoGateway(const DemoRegion &region, int n, int &nextDeviceId)
{
    const int area = (n - 1) % region.areaNames.size();
    const int number = (n - 1) / region.areaNames.size() + 1;
    const QString kind = region.siteKinds.at(((n - 1) + 4 * ((n - 1) / 10)) % region.siteKinds.size());

    Gateway g;
    g.gatewaySn = region.serialPrefix + QString::number(n).rightJustified(4, QLatin1Char('0'));
    g.gatewayName = kind + QStringLiteral("网关-") + QString::number(n).rightJustified(2, QLatin1Char('0'));
    g.customerId = region.customerId;
    g.gatewayOnline = n % 6 != 4 ? 1 : 0;
    g.tunnelOnline = g.gatewayOnline && n % 5 != 3 ? 1 : 0;

    Site &s = g.site;
    s.siteName = region.areaNames.at(area) + chineseNumber(number) + QStringLiteral("号") + kind;
    s.siteSort = n == 40 ? 1 : 0;
    s.isVirtuaIp = n % 3 != 0 ? 1 : 0;
    s.siteWanIp = s.isVirtuaIp ? QStringLiteral("10.8.%1.0/24").arg(10 + n) : QString();
    s.siteLanIp = QStringLiteral("192.168.%1.0/24").arg(region.lanBase + n);
    s.siteEnabled = n == 5 ? 0 : 1;
    s.siteAddress = region.addressPrefix + region.areaDistricts.at(area) +
                    region.streets.at(n * 5 % region.streets.size()) + QString::number(100 + n * 37 % 400) +
                    QStringLiteral("号");
    s.tunnelAddress1 = QStringLiteral("10.8.0.%1").arg(n * 3 + 2);
    s.createtimes = stamp(firstCreation.addSecs(qint64(n) * (5 * 86400 + 3 * 3600 + 17 * 60 + 23)));
    s.updateTimes = stamp(lastUpdateBase.addSecs(qint64(n) * (2 * 3600 + 13 * 60 + 7)));
    s.flowDatas = g.gatewayOnline ? flowText(n) : QStringLiteral("0B");
    s.siteNetType = n % 5;
    s.gatewayCsq = s.siteNetType <= 2 ? QString::number(12 + n * 7 % 20) : QStringLiteral("0");

    if (s.siteSort != 0)
        return g; // a center site lists no devices
    const int devices = deviceCount(n);
    for (int j = 0; j < devices; ++j) {
        Device d;
        d.deviceId = nextDeviceId++;
        d.deviceClassify = (n + j) % 7;
        d.deviceName = QString::fromUtf8(deviceNames[d.deviceClassify]) + QLatin1Char('-') +
                       QString::number(j + 1).rightJustified(2, QLatin1Char('0'));
        d.realIp = QStringLiteral("192.168.%1.%2").arg(region.lanBase + n).arg(10 + j);
        d.virtualIp = s.isVirtuaIp ? QStringLiteral("10.8.%1.%2").arg(10 + n).arg(10 + j) : QString();
        d.deviceOnline = g.gatewayOnline && j % 5 != 3 ? 1 : 0;
        g.devices.append(d);
    }
    return g;
}

Gateway demoCenterGateway(const QString &serial, int customerId, const QString &siteName, const QString &siteAddress,
                          int siteSort, int virtualNet)
{
    Gateway g;
    g.gatewaySn = serial;
    g.gatewayName = QStringLiteral("中心网关");
    g.customerId = customerId;
    g.gatewayOnline = 1;
    g.tunnelOnline = 0;
    Site &s = g.site;
    s.siteName = siteName;
    s.siteSort = siteSort;
    s.isVirtuaIp = 1;
    s.siteWanIp = QStringLiteral("10.8.%1.0/24").arg(virtualNet);
    s.siteEnabled = 1;
    s.siteAddress = siteAddress;
    s.tunnelAddress1 = QStringLiteral("10.8.0.%1").arg(virtualNet + 30);
    s.createtimes = stamp(firstCreation.addSecs(qint64(virtualNet) * 3917));
    s.updateTimes = stamp(lastUpdateBase.addSecs(qint64(virtualNet) * 61));
    s.flowDatas = flowText(virtualNet);
    s.siteNetType = 4;
    return g;
}

} // namespace sim
