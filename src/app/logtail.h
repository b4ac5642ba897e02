#pragma once

#include <QByteArray>
#include <QString>

// Bounded reading of a log another writer appends to: never more than `limit` bytes per call,
// however large the file grew.
struct LogTail {
    QByteArray bytes;   // what was read
    qint64 end = 0;     // the file offset after it: pass it back to read only what follows
    bool restarted = false; // the file was cut or replaced since `from`: `bytes` is its tail anew
    bool skipped = false;   // more was there than the limit: `bytes` starts at a line after a gap
};

// The bytes of the file after offset `from` (0: its tail), at most the last `limit` of them,
// starting at a line start when anything was skipped. A missing file reads as empty.
LogTail readLogTail(const QString &path, qint64 from, qint64 limit);
