#include "desktop/diagnostics.h"

#include "api/platformendpoint.h"
#include "crypto/credentialcipher.h"
#include "desktop/secretscrubber.h"
#include "desktop/versions.h"
#include "platform/hostsystem.h"
#include "store/tapbindingstore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimeZone>

namespace {
// Only the end of a long log is kept: that is where a failing tunnel shows.
constexpr qint64 logTailBytes = 8 * 1024 * 1024;

// Files the bundle never reads, whatever the directory listing says.
const QStringList neverBundled{QStringLiteral("vpnconfig.ini"), QStringLiteral("login.ini"),
                               QStringLiteral("TAPBOUND.ini")};

QByteArray tailOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    if (file.size() > logTailBytes)
        file.seek(file.size() - logTailBytes);
    return file.readAll();
}

QString timeZoneLine(const QDateTime &now)
{
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const int offset = zone.offsetFromUtc(now);
    return QStringLiteral("%1 (UTC%2%3:%4)")
        .arg(QString::fromUtf8(zone.id()))
        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(qAbs(offset) / 3600, 2, 10, QLatin1Char('0'))
        .arg(qAbs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
}

QStringList adapterLines()
{
    QStringList lines;
    for (const AdapterInfo &adapter : hostSystem().adapters())
        lines << adapter.description + QStringLiteral(": ") + adapter.ipv4Addresses.join(QStringLiteral(", "));
    const std::optional<quint64> sent = hostSystem().tapSentBytes();
    lines << QStringLiteral("%1 sent bytes: %2")
                 .arg(tunnelDeviceName, sent ? QString::number(*sent) : QStringLiteral("(not up)"));
    return lines;
}

QStringList fileLines(const QDir &dir)
{
    QStringList lines;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name | QDir::DirsFirst);
    for (const QFileInfo &info : entries)
        lines << QStringLiteral("%1%2  %3 bytes  %4")
                     .arg(info.fileName(), info.isDir() ? QStringLiteral("/") : QString())
                     .arg(info.size())
                     .arg(info.lastModified().toString(Qt::ISODate));
    return lines;
}

// The running client's TAP; otherwise the one of the last launch (the credentials file), otherwise
// the most recent binding. Empty when none is known or the serial is no plain file name.
QString currentTapSerial(const DiagnosticsRequest &request)
{
    QString serial = request.tapSerial;
    const QDir dir(request.directory);
    if (serial.isEmpty()) {
        QFile credentials(dir.filePath(QStringLiteral("vpnconfig.ini")));
        if (credentials.open(QIODevice::ReadOnly))
            serial = QString::fromUtf8(credentials.readLine(256)).trimmed();
    }
    if (serial.isEmpty()) {
        const QByteArrayList serials = TapBindingStore::load(dir.filePath(QStringLiteral("TAPBOUND.ini"))).tapSerials;
        if (!serials.isEmpty())
            serial = QString::fromUtf8(CredentialCipher::decipher(serials.first(), CredentialCipher::keyBytes()));
    }
    const bool plainName = !serial.contains(QLatin1Char('/')) && !serial.contains(QChar(0)) &&
                           serial != QStringLiteral(".") && serial != QStringLiteral("..");
    return plainName ? serial : QString();
}

QByteArray summaryText(const DiagnosticsRequest &request, const QDateTime &now)
{
    const PlatformEndpoint &endpoint = platformEndpoint();
    QStringList lines;
    lines << QStringLiteral("Korvane 诊断信息 / diagnostics");
    lines << QStringLiteral("created: ") + now.toString(Qt::ISODateWithMs);
    lines << QStringLiteral("time zone: ") + timeZoneLine(now);
    lines << QStringLiteral("system: %1, kernel %2 %3")
                 .arg(QSysInfo::prettyProductName(), QSysInfo::kernelVersion(), QSysInfo::currentCpuArchitecture());
    lines << QStringLiteral("working directory: ") + request.directory;
    lines << QString() << QStringLiteral("[versions]") << componentVersions();
    lines << QString() << QStringLiteral("[platform]");
    lines << QStringLiteral("URL: ") + QString::fromUtf8(endpoint.baseUrl);
    lines << (endpoint.caPem.isEmpty()
                  ? QStringLiteral("CA: system trust store")
                  : QStringLiteral("CA: built in, SHA-256 ") +
                        QString::fromLatin1(
                            QCryptographicHash::hash(endpoint.caPem, QCryptographicHash::Sha256).toHex()));
    lines << QString() << QStringLiteral("[adapters]") << adapterLines();
    lines << QString() << QStringLiteral("[tunnel]");
    lines << (request.tunnelState.isEmpty() ? QStringLiteral("client not running in this directory")
                                            : request.tunnelState.trimmed());
    lines << QString() << QStringLiteral("[files]") << fileLines(QDir(request.directory));
    return lines.join(QLatin1Char('\n')).toUtf8() + '\n';
}
} // namespace

TarArchive diagnosticsBundle(const DiagnosticsRequest &request, const QDateTime &now)
{
    SecretScrubber scrubber;
    scrubber.learnStoredSecrets(request.directory);
    for (const QByteArray &secret : request.secrets)
        scrubber.addSecret(secret);

    const QString root =
        QStringLiteral("korvane-diagnostics-") + now.toString(QStringLiteral("yyyyMMdd-hhmmss")) + QLatin1Char('/');
    TarArchive archive;
    archive.addFile(root + QStringLiteral("summary.txt"), scrubber.scrub(summaryText(request, now)), now);

    const QDir dir(request.directory);
    const auto addTail = [&](const QString &relative) {
        const QFileInfo info(dir.filePath(relative));
        if (info.isFile() && !neverBundled.contains(info.fileName()))
            archive.addFile(root + relative, scrubber.scrub(tailOf(info.filePath())), info.lastModified());
    };
    const QStringList dayLogs =
        QDir(dir.filePath(QStringLiteral("LogFile"))).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    for (const QString &name : dayLogs)
        addTail(QStringLiteral("LogFile/") + name);
    addTail(QStringLiteral("logs/openvpn.log"));
    // Only the profile the client wrote for its TAP: other profiles in the folder are not its own
    // and may hold inline credentials and keys.
    const QString serial = currentTapSerial(request);
    if (!serial.isEmpty())
        addTail(serial + QStringLiteral(".ovpn"));
    return archive;
}

QString writeDiagnosticsBundle(const QString &archivePath, const DiagnosticsRequest &request)
{
    const QByteArray bytes = diagnosticsBundle(request, QDateTime::currentDateTime()).gzipped();
    if (bytes.isEmpty())
        return QStringLiteral("压缩失败");
    return writePrivateFile(archivePath, bytes);
}
