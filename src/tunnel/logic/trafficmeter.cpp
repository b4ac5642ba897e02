#include "tunnel/logic/trafficmeter.h"

#include "platform/hostsystem.h"

#include <QDebug>
#include <QString>

#include <limits>

namespace {

void logCount(const QString &label, qint64 value)
{
    qDebug().noquote() << label + QString::number(value);
}

} // namespace

void updateTrafficMeter(qint64 &current, qint64 &previous, qint64 &delta, std::optional<quint64> reading)
{
    if (reading) {
        constexpr quint64 largest = quint64(std::numeric_limits<qint64>::max());
        current = qint64(qMin(*reading, largest));
    }
    logCount(QStringLiteral("上一分钟流量："), previous);
    if (current != 0) {
        if (previous != 0)
            delta = current - previous;
        previous = current;
    }
    logCount(QStringLiteral("当前流量："), current);
    if (delta < 0)
        delta = current;
    logCount(QStringLiteral("流量增量："), delta);
}

void updateTrafficMeter(qint64 &current, qint64 &previous, qint64 &delta)
{
    updateTrafficMeter(current, previous, delta, hostSystem().tapSentBytes());
}
