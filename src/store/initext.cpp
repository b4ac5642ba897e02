#include "store/initext.h"

#include <QDataStream>
#include <QVariant>
#include <QtEndian>

#include <algorithm>

namespace {

const QByteArray VariantPrefix("@Variant(");

// The serialized-variant header of a byte-array list (its type id), as QSettings streams it.
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
std::optional<QByteArrayList> byteArrayList(const QByteArray &payload)
{
    static const QByteArray header = listHeader();
    if (!payload.startsWith(header))
        return std::nullopt;
    int pos = header.size();
    quint32 count = 0;
    if (!readLength(payload, pos, count) || count > quint32(payload.size() - pos) / 4)
        return std::nullopt;
    QByteArrayList list;
    list.reserve(int(count));
    for (quint32 i = 0; i < count; ++i) {
        quint32 length = 0;
        if (!readLength(payload, pos, length))
            return std::nullopt;
        if (length == 0xffffffffu) { // a null byte array
            list.append(QByteArray());
            continue;
        }
        if (length > quint32(payload.size() - pos))
            return std::nullopt;
        list.append(payload.mid(pos, int(length)));
        pos += int(length);
    }
    if (pos != payload.size())
        return std::nullopt;
    return list;
}

bool isHexDigit(uchar ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

struct Unescaped {
    QByteArray text;
    bool quoted = false;
    bool needsQuotes = false;   // holds ';', ',' or '=' outside an escape
    bool rawHighBytes = false;  // holds bytes above 0x7f as they are
};

// Undoes the escaping of one value. Only what the INI writer produces is accepted: printable
// ASCII, the escapes \0 \a \b \f \n \r \t \v \" \\ and \x with one or two hex digits, never a
// literal hex digit right after a numeric escape (the reader would take it as part of the number),
// quotes around the whole value. Bytes above 0x7f are let through for plain values.
std::optional<Unescaped> unescape(QByteArray value)
{
    Unescaped result;
    result.quoted = value.size() >= 2 && value.startsWith('"') && value.endsWith('"');
    if (result.quoted)
        value = value.mid(1, value.size() - 2);
    result.text.reserve(value.size());
    bool afterNumericEscape = false;
    for (int i = 0; i < value.size(); ++i) {
        uchar ch = uchar(value.at(i));
        if (ch != '\\') {
            if ((afterNumericEscape && isHexDigit(ch)) || ch < 0x20 || ch == 0x7f || ch == '"')
                return std::nullopt;
            result.needsQuotes = result.needsQuotes || ch == ';' || ch == ',' || ch == '=';
            result.rawHighBytes = result.rawHighBytes || ch > 0x7f;
            result.text += char(ch);
            afterNumericEscape = false;
            continue;
        }
        if (++i == value.size())
            return std::nullopt;
        ch = uchar(value.at(i));
        afterNumericEscape = false;
        switch (ch) {
        case '0': result.text += '\0'; afterNumericEscape = true; break;
        case 'a': result.text += '\a'; break;
        case 'b': result.text += '\b'; break;
        case 'f': result.text += '\f'; break;
        case 'n': result.text += '\n'; break;
        case 'r': result.text += '\r'; break;
        case 't': result.text += '\t'; break;
        case 'v': result.text += '\v'; break;
        case '"':
        case '\\': result.text += char(ch); break;
        case 'x': {
            int digits = 0;
            while (i + 1 < value.size() && isHexDigit(uchar(value.at(i + 1)))) {
                ++i;
                ++digits;
            }
            if (digits < 1 || digits > 2)
                return std::nullopt;
            result.text += char(value.mid(i - digits + 1, digits).toInt(nullptr, 16));
            afterNumericEscape = true;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return result;
}

// What a value holds for QSettings: a byte-array list, another type, or something refused: any
// other variant, and a plain value in which QSettings could find one.
struct Value {
    enum Kind { Refused, Other, List } kind = Refused;
    QByteArrayList list;
};

Value valueOf(const QByteArray &raw)
{
    const std::optional<Unescaped> value = unescape(raw);
    if (!value)
        return {};
    if (!value->text.startsWith(VariantPrefix))
        return {value->text.contains(VariantPrefix) ? Value::Refused : Value::Other, {}};
    if (value->rawHighBytes || (value->needsQuotes && !value->quoted) || !value->text.endsWith(')'))
        return {};
    const std::optional<QByteArrayList> list =
        byteArrayList(value->text.mid(VariantPrefix.size(), value->text.size() - VariantPrefix.size() - 1));
    return list ? Value{Value::List, *list} : Value{};
}

// Section and key names as the writer gives plain names; a backslash (a subkey, or an escaped
// "=" to QSettings) or a percent escape is not one of ours.
bool isPlainName(const QByteArray &name)
{
    if (name.isEmpty())
        return false;
    return std::all_of(name.begin(), name.end(), [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_' ||
               ch == '-' || ch == '.' || ch == ' ';
    });
}

QByteArray trimmedBlanks(const QByteArray &text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && (text.at(begin) == ' ' || text.at(begin) == '\t'))
        ++begin;
    while (end > begin && (text.at(end - 1) == ' ' || text.at(end - 1) == '\t'))
        --end;
    return text.mid(begin, end - begin);
}

QByteArrayList lines(QByteArray text)
{
    text.replace('\r', '\n');
    return text.split('\n');
}

// The INI writer's escaping of a variant value (QSettingsPrivate::iniEscapedString).
QByteArray escapedValue(const QByteArray &text)
{
    QByteArray result;
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    for (const char c : text) {
        const uchar ch = uchar(c);
        needsQuotes = needsQuotes || ch == ';' || ch == ',' || ch == '=';
        if (escapeNextIfDigit && isHexDigit(ch)) {
            result += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeNextIfDigit = false;
        switch (ch) {
        case '\0': result += "\\0"; escapeNextIfDigit = true; break;
        case '\a': result += "\\a"; break;
        case '\b': result += "\\b"; break;
        case '\f': result += "\\f"; break;
        case '\n': result += "\\n"; break;
        case '\r': result += "\\r"; break;
        case '\t': result += "\\t"; break;
        case '\v': result += "\\v"; break;
        case '"':
        case '\\': result += '\\'; result += c; break;
        default:
            if (ch <= 0x1f || ch >= 0x7f) {
                result += "\\x" + QByteArray::number(ch, 16);
                escapeNextIfDigit = true;
            } else {
                result += c;
            }
        }
    }
    if (needsQuotes || result.startsWith(' ') || result.endsWith(' '))
        result = '"' + result + '"';
    return result;
}

} // namespace

IniText::Parsed IniText::parse(const QByteArray &text)
{
    Parsed parsed;
    QByteArray section;
    for (const QByteArray &rawLine : lines(text)) {
        const QByteArray line = trimmedBlanks(rawLine);
        if (line.isEmpty())
            continue;
        // QSettings joins a line ending in a backslash with the next one.
        if (line.endsWith('\\'))
            return {};
        const int equals = line.indexOf('=');
        if (line.startsWith(';') || (line.startsWith('#') && equals < 0))
            continue;
        if (line.startsWith('[')) {
            if (!line.endsWith(']') || !isPlainName(line.mid(1, line.size() - 2)))
                return {};
            section = line.mid(1, line.size() - 2);
            if (section == "General")
                section.clear();
            continue;
        }
        const QByteArray key = trimmedBlanks(line.left(std::max(equals, 0)));
        if (equals < 0 || !isPlainName(key))
            return {};
        const Value value = valueOf(trimmedBlanks(line.mid(equals + 1)));
        const QString name = QString::fromLatin1(section.isEmpty() ? key : section + '/' + key);
        if (value.kind == Value::Refused || parsed.values.contains(name))
            return {};
        parsed.values.insert(name, value.kind == Value::List ? std::optional<QByteArrayList>(value.list)
                                                             : std::nullopt);
    }
    parsed.ok = true;
    return parsed;
}

QByteArray IniText::render(const QString &group, const QStringList &keys, const QList<QByteArrayList> &lists)
{
    QMap<QString, QByteArrayList> sorted;
    for (int i = 0; i < keys.size(); ++i)
        sorted.insert(keys.at(i), lists.value(i));

    QByteArray text = '[' + group.toLatin1() + "]\n";
    for (auto it = sorted.cbegin(); it != sorted.cend(); ++it) {
        QByteArray variant;
        QDataStream stream(&variant, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_4_0);
        stream << QVariant::fromValue(it.value());
        text += it.key().toLatin1() + '=' + escapedValue(VariantPrefix + variant + ')') + '\n';
    }
    return text;
}
