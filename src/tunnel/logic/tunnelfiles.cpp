#include "tunnel/logic/tunnelfiles.h"

#include "store/atomicfile.h"

#include <QFile>
#include <QStringList>

#include <algorithm>

namespace TunnelFiles {

namespace {

bool isSafeProfileValue(const QByteArray &value)
{
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f)
            return false;
    }
    return !value.isEmpty();
}

} // namespace

QString profilePath(const QString &tapSerial)
{
    return QStringLiteral("./") + tapSerial + QStringLiteral(".ovpn");
}

std::optional<Parameters> readParameters(const cJSON *root)
{
    const cJSON *data = jsonObjectMember(root, "data");
    const std::optional<int> port = jsonIntMember(data, "port");
    const std::optional<QByteArray> ip = jsonBytesMember(data, "ip");
    const std::optional<QByteArray> requestWay = jsonBytesMember(data, "requestWay");
    if (!port || !ip || !requestWay || !isSafeProfileValue(*ip) || !isSafeProfileValue(*requestWay))
        return std::nullopt;
    Parameters parameters;
    parameters.protocol = *requestWay == "TCP" ? QByteArrayLiteral("tcp") : *requestWay;
    parameters.address = *ip;
    parameters.port = *port;
    return parameters;
}

QByteArray profileText(const Parameters &parameters)
{
    return QByteArrayLiteral("client\r\ndev tun\r\nproto ") + parameters.protocol + QByteArrayLiteral("\r\nremote ") +
           parameters.address + ' ' + QByteArray::number(parameters.port) +
           QByteArrayLiteral("\r\nresolv-retry infinite\r\nnobind\r\npersist-key\r\npersist-tun\r\nca ca.crt\r\n"
                             "auth-user-pass vpnconfig.ini\r\nremote-cert-tls server\r\ncomp-lzo\r\nverb 3\r\n"
                             "log-append logs/openvpn.log\r\n");
}

QByteArray credentialsText(const QByteArray &tapSerial, const QByteArray &tapPassword)
{
    return tapSerial + QByteArrayLiteral("\r\n") + tapPassword + QByteArrayLiteral("\r\n");
}

QByteArray caText(const QByteArray &downloadBody)
{
    const int zero = downloadBody.indexOf('\0');
    return zero < 0 ? downloadBody : downloadBody.left(zero);
}

bool isPlainFileName(const QString &tapSerial)
{
    if (tapSerial.isEmpty() || tapSerial == QLatin1String(".") || tapSerial.contains(QLatin1String("..")) ||
        tapSerial.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : tapSerial) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QByteArray pidFileText(const PidRecord &record)
{
    return record.processId.toUtf8() + '\n' + record.passwordFile.toUtf8() + '\n';
}

PidRecord readPidFile()
{
    QFile file(pidFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.read(4096).split('\n');
    bool isNumber = false;
    lines.value(0).toUInt(&isNumber);
    if (!isNumber)
        return {};
    return {QString::fromUtf8(lines.value(0)), QString::fromUtf8(lines.value(1))};
}

bool isStaleTemporary(const QString &fileName)
{
    // "<one of the client's files>.XXXXXX", six ASCII letters or digits: a write whose rename never
    // happened. Checked by hand: a regular expression here would bring PCRE2's compiler into every
    // start of the main window.
    const int base = fileName.size() - 7;
    if (base < 1 || fileName.at(base) != QLatin1Char('.'))
        return false;
    for (int i = base + 1; i < fileName.size(); ++i) {
        const char16_t c = fileName.at(i).unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')))
            return false;
    }
    const QStringRef name = fileName.leftRef(base);
    static const QStringList written = {QStringLiteral("login.ini"), QStringLiteral("TAPBOUND.ini"),
                                        QStringLiteral("ca.crt"), QStringLiteral("vpnconfig.ini"),
                                        QStringLiteral("tunnel.pid")};
    const QLatin1String profile(".ovpn");
    return std::any_of(written.cbegin(), written.cend(), [&name](const QString &file) { return name == file; }) ||
           (name.size() > profile.size() && name.endsWith(profile) && !name.contains(QLatin1Char('/')));
}

bool writeOwnerOnly(const QString &path, const QByteArray &content)
{
    // A fresh owner-only file renamed over the old one: rights are right from the first byte, and
    // the tunnel program never reads a half-written file. Not synced: every launch writes them anew,
    // and the connected transition (which replaces the password) must stay quick.
    return AtomicFile::replace(path, content, nullptr, AtomicFile::Durability::Unsynced);
}

} // namespace TunnelFiles
