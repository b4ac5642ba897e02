#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

// A gzip-compressed tar archive (POSIX ustar) of plain files, built in memory: what a support
// engineer opens with `tar -xzf`.
class TarArchive {
public:
    // Adds a file; its name is a relative path with '/' separators. False when the name does not
    // fit the ustar header (100 bytes, or 155 + 100 split at a '/').
    bool addFile(const QString &name, const QByteArray &content, const QDateTime &modified, int mode = 0644);

    QStringList names() const;
    // The archive as it goes on disk (tar, then gzip).
    QByteArray gzipped() const;
    // The uncompressed tar stream.
    QByteArray tar() const;

private:
    struct Entry {
        QByteArray name;
        QByteArray content;
        qint64 modified = 0;
        int mode = 0644;
    };
    QVector<Entry> entries;
};

// Writes bytes to path through a temporary file renamed over the path itself (never through a
// symbolic link: one found there is refused), readable by the owner only. An empty text on
// success, otherwise what went wrong.
QString writePrivateFile(const QString &path, const QByteArray &bytes);

inline QString symbolicLinkRefusal()
{
    return QStringLiteral(
        "目标是符号链接，为安全起见不经它写入 / the target is a symbolic link: not written through it");
}
