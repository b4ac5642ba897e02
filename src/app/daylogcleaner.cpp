#include "app/daylogcleaner.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVector>

#include <algorithm>

QStringList DayLogCleaner::listDayLogNames(const QString &dirPath) const
{
    QDir dir(dirPath);
    if (!dir.exists())
        return {};
    // QDir::Files without QDir::Hidden / QDir::System leaves out hidden and system files. The two
    // extensions are compared here, as QDir's filters would (in any case): its filters compile
    // regular expressions, PCRE2's compiler at every start.
    const QStringList fileNames = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
    QStringList baseNames;
    baseNames.reserve(fileNames.size());
    for (const QString &fileName : fileNames) {
        if (!fileName.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive) &&
            !fileName.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive))
            continue;
        const QStringList parts = fileName.split(QLatin1Char('.'), Qt::SkipEmptyParts);
        baseNames.append(parts.isEmpty() ? QString() : parts.first());
    }
    return baseNames;
}

void DayLogCleaner::pruneDayLogs(const QString &dirPath) const
{
    const QStringList baseNames = listDayLogNames(dirPath);
    if (baseNames.size() <= KeptDayLogs) {
        qDebug("dairyfile not greater than 7");
        return;
    }

    QVector<int> dayNumbers;
    dayNumbers.reserve(baseNames.size());
    for (const QString &baseName : baseNames)
        dayNumbers.append(baseName.toInt()); // not a number: 0
    std::sort(dayNumbers.begin(), dayNumbers.end());

    const int expired = dayNumbers.size() - KeptDayLogs;
    for (int i = 0; i < expired; ++i) {
        const QString dayFile = QString::number(dayNumbers.at(i)) + QStringLiteral(".txt");
        // The extension is always ".txt", so the number of a "20220901.ini" or "20220901.old.txt"
        // candidate names the plain day file "20220901.txt", which may be missing or a directory.
        // A directory is never removed: it is not a log this program wrote.
        const QString path = dirPath + QLatin1Char('/') + dayFile;
        if (QFileInfo(path).isFile() && QFile::remove(path))
            qDebug().noquote() << QStringLiteral("删除过期日志") + dayFile + QStringLiteral("成功");
    }
}
