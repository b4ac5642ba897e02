#include "sim/querystring.h"

namespace sim {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

QByteArray percentDecode(const QByteArray &encoded)
{
    QByteArray decoded;
    decoded.reserve(encoded.size());
    for (int i = 0; i < encoded.size(); ++i) {
        const char c = encoded.at(i);
        if (c == '%' && i + 2 < encoded.size()) {
            const int high = hexValue(encoded.at(i + 1));
            const int low = hexValue(encoded.at(i + 2));
            if (high >= 0 && low >= 0) {
                decoded.append(char(high * 16 + low));
                i += 2;
                continue;
            }
        }
        decoded.append(c); // a malformed escape stays as it came
    }
    return decoded;
}

QList<QPair<QString, QString>> parseQuery(const QByteArray &rawQuery)
{
    QList<QPair<QString, QString>> pairs;
    const QList<QByteArray> parts = rawQuery.split('&');
    for (const QByteArray &part : parts) {
        if (part.isEmpty())
            continue;
        const int equals = part.indexOf('=');
        const QByteArray key = equals < 0 ? part : part.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : part.mid(equals + 1);
        QString text = QString::fromUtf8(percentDecode(value));
        if (text.isNull())
            text = QStringLiteral(""); // present but empty: not the null of a missing key
        pairs.append(qMakePair(QString::fromUtf8(percentDecode(key)), text));
    }
    return pairs;
}

} // namespace sim
