#include "sim/callline.h"

#include "sim/replies.h"

namespace sim {

namespace {

QString shown(const QString &key, const QString &value)
{
    if (key.compare(QStringLiteral("passWord"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("***");
    if (key.compare(QStringLiteral("token"), Qt::CaseInsensitive) == 0)
        return value.left(6) + (value.size() > 6 ? QStringLiteral("…") : QString());
    // One line, whatever a client sends.
    QString text = value;
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text.size() > 40 ? text.left(40) + QStringLiteral("…") : text;
}

QString outcome(int httpStatus, const QByteArray &body)
{
    if (httpStatus == 0)
        return QStringLiteral("connection dropped");
    JsonPtr document(cJSON_ParseWithLength(body.constData(), std::size_t(body.size())));
    const cJSON *code = document ? cJSON_GetObjectItemCaseSensitive(document.get(), "code") : nullptr;
    const QString status = httpStatus == 200 ? QString() : QStringLiteral("HTTP %1 ").arg(httpStatus);
    if (cJSON_IsNumber(code))
        return status + QString::number(code->valueint);
    return status + QStringLiteral("%1 bytes").arg(body.size());
}

} // namespace

QString callLine(const RecordedRequest &request, int httpStatus, const QByteArray &body)
{
    QStringList pairs;
    for (const auto &pair : request.query)
        pairs << pair.first + QLatin1Char('=') + shown(pair.first, pair.second);
    return shown(QString(), request.operation) + QStringLiteral("  ") + pairs.join(QLatin1Char(' ')) + QStringLiteral("  -> ") +
           outcome(httpStatus, body);
}

} // namespace sim
