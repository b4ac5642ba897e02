#include "store/settingslists.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>
#include <QtEndian>

#include <optional>

// Before QSettings touches a file, its raw text is checked against the form QSettings' own INI
// writer gives byte-array lists. QVariant's stream operator trusts the element count it finds
// and reserves memory for it, so a damaged count could take the whole process down; a file
// that fails the check is therefore never parsed by QSettings, reads as empty lists, and is
// copied aside before it is overwritten.

namespace {

enum class FileState { Missing, Clean, Damaged };

// The serialized-variant header of a byte-array list (its type id), as the INI writer streams it.
QByteArray listHeader()
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_4_0);
    stream << QVariant::fromValue(QByteArrayList());
    bytes.chop(4); // the element count
    return bytes;
}

bool readLength(const QByteArray &data, int &pos, quint32 &value)
{
    if (data.size() - pos < 4)
        return false;
    value = qFromBigEndian<quint32>(data.constData() + pos);
    pos += 4;
    return true;
}

// A whole, well-formed serialized byte-array list and nothing after it.
bool isByteArrayListPayload(const QByteArray &payload)
{
    static const QByteArray header = listHeader();
    if (!payload.startsWith(header))
        return false;
    int pos = header.size();
    quint32 count = 0;
    if (!readLength(payload, pos, count) || count > quint32(payload.size() - pos) / 4)
        return false;
    for (quint32 i = 0; i < count; ++i) {
        quint32 length = 0;
        if (!readLength(payload, pos, length))
            return false;
        if (length == 0xffffffffu) // null byte array
            continue;
        if (length > quint32(payload.size() - pos))
            return false;
        pos += int(length);
    }
    return pos == payload.size();
}

bool isHexDigit(char ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

// Undoes the INI writer's escaping of one "@Variant(...)" value and returns the bytes between the
// parentheses. Only what the writer produces is accepted: printable ASCII, the escapes \0 \a \b
// \f \n \r \t \v \" \\ and \x with one or two hex digits, never a literal hex digit right after a
// numeric escape (the reader would take it as part of the number), quotes around the whole value
// (required when it holds ';', ',' or '=').
std::optional<QByteArray> variantPayload(QByteArray text)
{
    const bool quoted = text.size() >= 2 && text.startsWith('"') && text.endsWith('"');
    if (quoted)
        text = text.mid(1, text.size() - 2);

    QByteArray decoded;
    decoded.reserve(text.size());
    bool afterNumericEscape = false;
    bool needsQuotes = false;
    for (int i = 0; i < text.size(); ++i) {
        char ch = text.at(i);
        if (ch != '\\') {
            if (afterNumericEscape && isHexDigit(ch))
                return std::nullopt;
            if (uchar(ch) < 0x20 || uchar(ch) >= 0x7f || ch == '"')
                return std::nullopt;
            needsQuotes = needsQuotes || ch == ';' || ch == ',' || ch == '=';
            decoded += ch;
            afterNumericEscape = false;
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        ch = text.at(i);
        afterNumericEscape = false;
        switch (ch) {
        case '0': decoded += '\0'; afterNumericEscape = true; break;
        case 'a': decoded += '\a'; break;
        case 'b': decoded += '\b'; break;
        case 'f': decoded += '\f'; break;
        case 'n': decoded += '\n'; break;
        case 'r': decoded += '\r'; break;
        case 't': decoded += '\t'; break;
        case 'v': decoded += '\v'; break;
        case '"':
        case '\\': decoded += ch; break;
        case 'x': {
            int digits = 0;
            while (i + 1 < text.size() && isHexDigit(text.at(i + 1))) {
                ++i;
                ++digits;
            }
            if (digits < 1 || digits > 2)
                return std::nullopt;
            decoded += char(text.mid(i - digits + 1, digits).toInt(nullptr, 16));
            afterNumericEscape = true;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    if (needsQuotes && !quoted)
        return std::nullopt;
    static const QByteArray prefix("@Variant(");
    if (!decoded.startsWith(prefix) || !decoded.endsWith(')'))
        return std::nullopt;
    return decoded.mid(prefix.size(), decoded.size() - prefix.size() - 1);
}

// Section and key names as the INI writer escapes them.
bool isEscapedName(const QByteArray &name)
{
    if (name.isEmpty())
        return false;
    for (const char ch : name) {
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')
            || ch == '_' || ch == '-' || ch == '.' || ch == '%' || ch == '\\';
        if (!plain)
            return false;
    }
    return true;
}

QByteArray trimmedBlanks(const QByteArray &text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && (text.at(begin) == ' ' || text.at(begin) == '\t'))
        ++begin;
    while (end > begin && (text.at(end - 1) == ' ' || text.at(end - 1) == '\t' || text.at(end - 1) == '\r'))
        --end;
    return text.mid(begin, end - begin);
}

bool isCleanLine(const QByteArray &rawLine)
{
    const QByteArray line = trimmedBlanks(rawLine);
    if (line.isEmpty())
        return true;
    if (line.startsWith('['))
        return line.endsWith(']') && isEscapedName(line.mid(1, line.size() - 2));
    const int equals = line.indexOf('=');
    if (equals < 0 || !isEscapedName(trimmedBlanks(line.left(equals))))
        return false;
    const std::optional<QByteArray> payload = variantPayload(trimmedBlanks(line.mid(equals + 1)));
    return payload && isByteArrayListPayload(*payload);
}

// Far above anything these small stores hold; a bigger file is not one of ours.
constexpr qint64 MaxStoreFileSize = 16 * 1024 * 1024;

FileState inspect(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return FileState::Missing;
    QFile file(path);
    if (!info.isFile() || info.size() > MaxStoreFileSize || !file.open(QIODevice::ReadOnly))
        return FileState::Damaged;
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return FileState::Damaged;
    for (const QByteArray &line : content.split('\n')) {
        if (!isCleanLine(line))
            return FileState::Damaged;
    }
    return FileState::Clean;
}

// Copies the file to path + ".corrupt" (or ".corrupt.1", ".corrupt.2", ... when earlier copies
// exist) and returns the copy's path, or an empty text when no copy could be made.
QString keepDamagedCopy(const QString &path)
{
    const QString base = path + QStringLiteral(".corrupt");
    QString target = base;
    for (int n = 1; QFileInfo::exists(target); ++n)
        target = base + QLatin1Char('.') + QString::number(n);
    return QFile::copy(path, target) ? target : QString();
}

// False when the write must not happen because a damaged file could not be set aside. Checked
// before every write: the file may have been damaged since this process last wrote it.
bool prepareWrite(const QString &path)
{
    if (inspect(path) != FileState::Damaged)
        return true;
    const QString copy = keepDamagedCopy(path);
    if (copy.isEmpty())
        return false;
    // Start afresh: QSettings would parse the damaged text while merging the new value.
    if (!QFile::remove(path)) {
        QFile::remove(copy);
        return false;
    }
    return true;
}

} // namespace

QByteArrayList SettingsLists::read(const QString &filePath, const QString &key)
{
    if (inspect(filePath) != FileState::Clean)
        return {};
    QSettings settings(filePath, QSettings::IniFormat);
    const QVariant value = settings.value(QStringLiteral("config/") + key);
    if (settings.status() != QSettings::NoError)
        return {};
    if (value.userType() == QMetaType::QByteArrayList)
        return value.value<QByteArrayList>();
    QVariant converted(value);
    return converted.convert(QMetaType::QByteArrayList) ? converted.value<QByteArrayList>() : QByteArrayList();
}

void SettingsLists::write(const QString &filePath, const QString &key, const QByteArrayList &list)
{
    if (!prepareWrite(filePath))
        return;
    QSettings settings(filePath, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("config"));
    settings.setValue(key, QVariant::fromValue(list));
    settings.endGroup();
}
