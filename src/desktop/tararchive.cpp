#include "desktop/tararchive.h"

#include "store/atomicfile.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <zlib.h>

namespace {
constexpr int blockSize = 512;

void putText(QByteArray &header, int offset, int width, const QByteArray &text)
{
    std::memcpy(header.data() + offset, text.constData(), size_t(qMin(width, text.size())));
}

// Octal digits, zero-padded to width - 1 and ended by a NUL, as ustar wants.
void putOctal(QByteArray &header, int offset, int width, qint64 value)
{
    putText(header, offset, width, QByteArray::number(value, 8).rightJustified(width - 1, '0'));
}

// Splits a long name into the prefix and name fields at a '/'.
bool splitName(const QByteArray &path, QByteArray *prefix, QByteArray *name)
{
    if (path.size() <= 100) {
        *prefix = QByteArray();
        *name = path;
        return true;
    }
    for (int slash = path.lastIndexOf('/'); slash > 0; slash = path.lastIndexOf('/', slash - 1)) {
        if (slash <= 155 && path.size() - slash - 1 <= 100 && path.size() - slash - 1 > 0) {
            *prefix = path.left(slash);
            *name = path.mid(slash + 1);
            return true;
        }
    }
    return false;
}
} // namespace

bool TarArchive::addFile(const QString &name, const QByteArray &content, const QDateTime &modified, int mode)
{
    QByteArray prefix;
    QByteArray shortName;
    const QByteArray path = name.toUtf8();
    if (path.isEmpty() || path.startsWith('/') || !splitName(path, &prefix, &shortName))
        return false;
    entries.append(Entry{path, content, modified.toSecsSinceEpoch(), mode});
    return true;
}

QStringList TarArchive::names() const
{
    QStringList list;
    for (const Entry &entry : entries)
        list << QString::fromUtf8(entry.name);
    return list;
}

QByteArray TarArchive::tar() const
{
    QByteArray out;
    for (const Entry &entry : entries) {
        QByteArray prefix;
        QByteArray name;
        splitName(entry.name, &prefix, &name);
        QByteArray header(blockSize, '\0');
        putText(header, 0, 100, name);
        putOctal(header, 100, 8, entry.mode);
        putOctal(header, 108, 8, 0);
        putOctal(header, 116, 8, 0);
        putOctal(header, 124, 12, entry.content.size());
        putOctal(header, 136, 12, qMax<qint64>(0, entry.modified));
        header[156] = '0';
        putText(header, 257, 6, QByteArrayLiteral("ustar"));
        putText(header, 263, 2, QByteArrayLiteral("00"));
        putText(header, 265, 32, QByteArrayLiteral("root"));
        putText(header, 297, 32, QByteArrayLiteral("root"));
        putText(header, 345, 155, prefix);
        // The checksum is taken with its own field as blanks.
        std::memset(header.data() + 148, ' ', 8);
        unsigned sum = 0;
        for (char c : header)
            sum += uchar(c);
        putText(header, 148, 7, QByteArray::number(sum, 8).rightJustified(6, '0') + '\0');
        out += header;
        out += entry.content;
        out += QByteArray((blockSize - entry.content.size() % blockSize) % blockSize, '\0');
    }
    out += QByteArray(2 * blockSize, '\0');
    return out;
}

QByteArray TarArchive::gzipped() const
{
    const QByteArray input = tar();
    z_stream stream{};
    // 15 + 16: a gzip wrapper around the deflate stream.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return QByteArray();
    QByteArray output(int(deflateBound(&stream, uLong(input.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.constData()));
    stream.avail_in = uInt(input.size());
    stream.next_out = reinterpret_cast<Bytef *>(output.data());
    stream.avail_out = uInt(output.size());
    const int result = deflate(&stream, Z_FINISH);
    const uLong written = stream.total_out;
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        return QByteArray();
    output.truncate(int(written));
    return output;
}

QString writePrivateFile(const QString &path, const QByteArray &bytes)
{
    // A link planted where the file goes (a shared folder such as /tmp) would have the bundle
    // replace whatever it points at; the rename below replaces the path itself, and a link found
    // there is refused outright so that the user learns why.
    if (QFileInfo(path).isSymLink())
        return symbolicLinkRefusal();
    QString error;
    return AtomicFile::replace(path, bytes, &error) ? QString() : error;
}
