#include "tunnel/logic/tunnelfacts.h"

#include <QList>
#include <QLocale>

namespace {
// Longer fields are no address OpenVPN writes; they are not shown.
constexpr int fieldLimit = 64;

QString field(const QList<QByteArray> &fields, int index)
{
    if (index >= fields.size() || fields.at(index).size() > fieldLimit)
        return QString();
    return QString::fromUtf8(fields.at(index)).trimmed();
}

void endConnection(TunnelFacts &facts)
{
    facts.connectedSince = QDateTime();
    facts.tunnelAddress.clear();
    facts.sentBytes.reset();
    facts.receivedBytes.reset();
}
} // namespace

void noteManagementLine(TunnelFacts &facts, const QByteArray &line, const QDateTime &now)
{
    QByteArray text = line;
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    // The notification has the prefix, the answer to "state" the same fields without it.
    if (text.startsWith(">STATE:"))
        text.remove(0, 7);
    else if (text.startsWith('>'))
        return;
    const QList<QByteArray> fields = text.split(',');
    const QByteArray state = fields.value(1);
    const QByteArray description = fields.value(2);
    if (state == "CONNECTED" && description == "SUCCESS") {
        // A second CONNECTED (an internal restart) renews the addresses, not the start time.
        if (!facts.connectedSince.isValid())
            facts.connectedSince = now;
        facts.tunnelAddress = field(fields, 3);
        facts.serverAddress = field(fields, 4);
        facts.serverPort = field(fields, 5);
    } else if ((state == "RECONNECTING" || state == "EXITING") && facts.connectedSince.isValid()) {
        endConnection(facts);
        facts.lastFailure = QStringLiteral("%1（%2）")
                                .arg(state == "EXITING" ? QStringLiteral("OpenVPN退出") : QStringLiteral("连接中断"),
                                     field(fields, 2).isEmpty() ? QStringLiteral("?") : field(fields, 2));
    } else if (state == "CONNECTED") {
        facts.lastFailure = QStringLiteral("连接失败（%1）").arg(field(fields, 2));
    }
}

void noteCounters(TunnelFacts &facts, std::optional<quint64> sent, std::optional<quint64> received)
{
    if (!facts.connectedSince.isValid())
        return;
    facts.sentBytes = sent;
    facts.receivedBytes = received;
}

void noteTunnelDown(TunnelFacts &facts, const QString &reason)
{
    endConnection(facts);
    if (!reason.isEmpty())
        facts.lastFailure = reason;
}

QString protocolOfProfile(const QByteArray &profile)
{
    for (QByteArray line : profile.split('\n')) {
        line = line.trimmed();
        if (line.startsWith("proto ") || line.startsWith("proto\t"))
            return QString::fromUtf8(line.mid(6).trimmed()).left(fieldLimit);
    }
    return QString();
}

QString byteCountText(quint64 bytes)
{
    static const char *const units[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    double value = double(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QStringList tunnelFactLines(const TunnelFacts &facts)
{
    QStringList lines;
    if (facts.connectedSince.isValid()) {
        if (!facts.tunnelAddress.isEmpty())
            lines << QStringLiteral("通道地址：") + facts.tunnelAddress;
        lines << QStringLiteral("连接时间：") +
                     QLocale::c().toString(facts.connectedSince, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (facts.sentBytes || facts.receivedBytes)
            lines << QStringLiteral("已发送 %1 / 已接收 %2")
                         .arg(facts.sentBytes ? byteCountText(*facts.sentBytes) : QStringLiteral("?"),
                              facts.receivedBytes ? byteCountText(*facts.receivedBytes) : QStringLiteral("?"));
        if (!facts.serverAddress.isEmpty()) {
            QString server = facts.serverAddress;
            if (!facts.serverPort.isEmpty())
                server += (server.contains(QLatin1Char(':')) ? QStringLiteral(" 端口 ") : QStringLiteral(":")) +
                          facts.serverPort;
            if (!facts.protocol.isEmpty())
                server += QStringLiteral(" (") + facts.protocol + QLatin1Char(')');
            lines << QStringLiteral("服务器：") + server;
        }
    }
    if (!facts.lastFailure.isEmpty())
        lines << QStringLiteral("上次故障：") + facts.lastFailure;
    return lines;
}

QString tunnelStatusLine(const TunnelFacts &facts)
{
    QStringList parts = tunnelFactLines(facts);
    if (!facts.connectedSince.isValid())
        parts.prepend(QStringLiteral("通道未连接"));
    return parts.join(QStringLiteral("　·　"));
}
