#include "support/storedfiles.h"

#include "support/filemode.h"

#include <QDataStream>
#include <QFile>
#include <QVariant>

#include <openssl/evp.h>

#include <memory>

namespace storedfile {
namespace {

const QByteArray key = QByteArrayLiteral("27182818284590452353602874713526"); // the first 32 bytes of the key text

// QSettings' INI escaping undone: surrounding quotes, \0 \a \b \f \n \r \t \v \" \\ and \x with hex digits.
QByteArray unescaped(QByteArray value)
{
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        value = value.mid(1, value.size() - 2);
    static const QByteArray letters("0abfnrtv"), bytes("\0\a\b\f\n\r\t\v", 8);
    QByteArray out;
    for (int i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        if (next == 'x') {
            int end = i + 1;
            while (end < value.size() && end < i + 3 && isxdigit(uchar(value[end])))
                ++end;
            out += char(value.mid(i + 1, end - i - 1).toInt(nullptr, 16));
            i = end - 1;
        } else {
            const int letter = letters.indexOf(next);
            out += letter >= 0 ? bytes[letter] : next;
        }
    }
    return out;
}

QByteArray crypt(const QByteArray &input, bool encrypt)
{
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    QByteArray out(input.size() + 16, '\0');
    int written = 0;
    const auto *k = reinterpret_cast<const unsigned char *>(key.constData());
    const auto *in = reinterpret_cast<const unsigned char *>(input.constData());
    auto *o = reinterpret_cast<unsigned char *>(out.data());
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_256_ecb(), nullptr, k, nullptr, encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), o, &written, in, input.size()) != 1)
        return QByteArrayLiteral("<cipher error>");
    return out.left(written);
}

} // namespace

QMap<QString, QByteArrayList> lists(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QMap<QString, QByteArrayList> result;
    bool inConfig = false;
    for (const QByteArray &rawLine : file.readAll().replace('\r', '\n').split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('['))
            inConfig = line == "[config]";
        const int equals = line.indexOf('=');
        if (!inConfig || equals < 0)
            continue;
        const QByteArray value = unescaped(line.mid(equals + 1).trimmed());
        if (!value.startsWith("@Variant(") || !value.endsWith(')'))
            continue;
        QDataStream stream(value.mid(9, value.size() - 10));
        stream.setVersion(QDataStream::Qt_4_0);
        QVariant variant;
        stream >> variant;
        if (variant.userType() == QMetaType::QByteArrayList)
            result.insert(QString::fromLatin1(line.left(equals).trimmed()), variant.value<QByteArrayList>());
    }
    return result;
}

QByteArray decipher(const QByteArray &cipher)
{
    QByteArray plain = crypt(cipher, false);
    while (plain.endsWith('\0'))
        plain.chop(1);
    return plain;
}

QByteArray encipher(const QByteArray &plain)
{
    return crypt(plain + QByteArray((16 - plain.size() % 16) % 16, '\0'), true);
}

QStringList records(const QString &path, const QStringList &keys)
{
    const QMap<QString, QByteArrayList> stored = lists(path);
    QStringList result;
    for (int i = 0; i < stored.value(keys.first()).size(); ++i) {
        QStringList fields;
        for (const QString &name : keys) {
            if (stored.value(name).size() != stored.value(keys.first()).size())
                return {QStringLiteral("<lists of different lengths>")};
            fields << QString::fromUtf8(decipher(stored.value(name).at(i)));
        }
        result << fields.join(QLatin1Char('|'));
    }
    return result;
}

QString mode(const QString &path)
{
    const int bits = permissionBits(path);
    return bits < 0 ? QStringLiteral("<missing>") : QString::asprintf("0%o", unsigned(bits));
}

} // namespace storedfile
