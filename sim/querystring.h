#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The query string as the platform reads it: pairs split at "&" and the first "=", each part
// percent-decoded (%XX is one byte of UTF-8; "+" stays a plus sign, it is no space here).
namespace sim {

QByteArray percentDecode(const QByteArray &encoded);
QList<QPair<QString, QString>> parseQuery(const QByteArray &rawQuery);

} // namespace sim
