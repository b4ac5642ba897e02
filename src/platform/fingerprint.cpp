#include "platform/fingerprint.h"

#include "platform/hostsystem.h"

#include <QCryptographicHash>

#include <iterator>

namespace {

// The last word of each original hardware query, which its output starts with as the column
// header; in concatenation order.
const char *const headerWords[] = {
    "Name", "NumberOfCores", "NumberOfLogicalProcessors", "processorid", "serialnumber", "serialnumber",
    "uuid", "serialnumber",
};

QString normaliseText(QString text, const QString &headerWord)
{
    if (!headerWord.isEmpty())
        text.remove(headerWord, Qt::CaseInsensitive);
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text.simplified();
}

} // namespace

QString normaliseCommandOutput(const QByteArray &output, const QString &headerWord)
{
    return normaliseText(QString::fromLocal8Bit(output), headerWord);
}

QString hostFingerprint(const QStringList &eightRawTexts)
{
    QString joined;
    for (int i = 0; i < int(std::size(headerWords)); ++i) {
        const QString raw = i < eightRawTexts.size() ? eightRawTexts.at(i) : QString();
        joined += normaliseText(raw, QLatin1String(headerWords[i]));
    }
    return QString::fromLatin1(QCryptographicHash::hash(joined.toUtf8(), QCryptographicHash::Md5).toHex());
}

QString hostFingerprint()
{
    return hostFingerprint(hostSystem().hardwareTexts());
}
