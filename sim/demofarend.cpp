#include "sim/demofarend.h"

#include "sim/platformsimulator.h"

#include <QRegularExpression>

namespace sim {

namespace {

const QString tcpTap = QStringLiteral("TAP-DEMO-0001");
constexpr int fieldFirstOctet = 128;
constexpr int firstDeviceOctet = 10;

QString dotted(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4").arg(address >> 24).arg(address >> 16 & 255).arg(address >> 8 & 255).arg(address & 255);
}

} // namespace

QString FarEnd::address(int third, int fourth) const
{
    return dotted(base | quint32(third) << 8 | quint32(fourth));
}

QString FarEnd::hostAddress() const
{
    return address(0, 1);
}

QString FarEnd::serverAddress() const
{
    return address(0, 2);
}

QString FarEnd::tcpPool() const
{
    return address(1, 0);
}

QString FarEnd::udpPool() const
{
    return address(2, 0);
}

QString FarEnd::fieldNetwork() const
{
    return address(fieldFirstOctet, 0);
}

std::optional<FarEnd> parseFarEnd(const QString &network)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.0\\.0/16$"));
    const QRegularExpressionMatch match = form.match(network);
    const quint32 first = match.captured(1).toUInt();
    const quint32 second = match.captured(2).toUInt();
    if (!match.hasMatch() || first > 255 || second > 255)
        return std::nullopt;
    const quint32 base = first << 24 | second << 16;
    if (first == 0 || first == 127 || first >= 224 || (base >> 16) == 0xa9fe) // 0/8, loopback, multicast, 169.254
        return std::nullopt;
    FarEnd farEnd;
    farEnd.base = base;
    return farEnd;
}

void joinFarEnd(World &world, const FarEnd &farEnd)
{
    for (Tap &tap : world.taps) {
        tap.tunnelIp = farEnd.serverAddress();
        tap.tunnelPort = farEnd.port;
        tap.requestWay = tap.serial == tcpTap ? QStringLiteral("TCP") : QStringLiteral("udp");
    }
    world.caCertificatePem = demoTunnelCaPem();
    int site = 0;
    for (Gateway &gateway : world.gateways) {
        if (!gateway.site.isVirtuaIp || gateway.site.siteSort != 0 || site + 1 >= 256 - fieldFirstOctet)
            continue;
        const int third = fieldFirstOctet + ++site;
        gateway.site.siteWanIp = farEnd.address(third, 0) + QStringLiteral("/24");
        for (int j = 0; j < gateway.devices.size() && firstDeviceOctet + j < 255; ++j)
            gateway.devices[j].virtualIp = farEnd.address(third, firstDeviceOctet + j);
    }
}

QByteArray farEndShellLayout(const FarEnd &farEnd)
{
    const QString text = QStringLiteral("KV_HOST_ADDR=%1\nKV_SERVER_ADDR=%2\nKV_LINK_PREFIX=%3\nKV_PORT=%4\n"
                                        "KV_TCP_POOL=%5\nKV_UDP_POOL=%6\nKV_FIELD_NET=%7\nKV_FIELD_PREFIX=%8\n")
                             .arg(farEnd.hostAddress(), farEnd.serverAddress())
                             .arg(FarEnd::linkPrefix)
                             .arg(farEnd.port)
                             .arg(farEnd.tcpPool(), farEnd.udpPool(), farEnd.fieldNetwork())
                             .arg(FarEnd::fieldPrefix);
    return text.toUtf8();
}

bool isTapLogin(const World &world, const QByteArray &serial, const QByteArray &password)
{
    for (const Tap &tap : world.taps) {
        if (tap.loginAllowed && tap.serial.toUtf8() == serial && tap.passWord.toUtf8() == password)
            return true;
    }
    return false;
}

} // namespace sim
