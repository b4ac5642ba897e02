#include "app/logtail.h"

#include <QFile>

LogTail readLogTail(const QString &path, qint64 from, qint64 limit)
{
    LogTail tail;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return tail;
    const qint64 size = file.size();
    if (size < from) {
        tail.restarted = true;
        from = 0;
    }
    qint64 start = from;
    if (size - start > limit) {
        start = size - limit;
        tail.skipped = true;
    }
    if (!file.seek(start))
        return tail;
    tail.bytes = file.read(size - start);
    tail.end = start + tail.bytes.size();
    // A line cut by the limit would show as garbage in front: start at the next whole one.
    if (tail.skipped) {
        const int newline = tail.bytes.indexOf('\n');
        tail.bytes.remove(0, newline < 0 ? tail.bytes.size() : newline + 1);
    }
    return tail;
}
