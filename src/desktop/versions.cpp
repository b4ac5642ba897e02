#include "desktop/versions.h"

#include <QFileInfo>
#include <QProcess>
#include <QSslSocket>
#include <QStandardPaths>

#include "api/curllibrary.h"

namespace {
constexpr int openVpnAnswerMs = 3000;
} // namespace

QString clientVersion()
{
    return QStringLiteral(KORVANE_VERSION);
}

QString openVpnVersion()
{
    // Desktop sessions often lack /usr/sbin in PATH; the shell that starts the tunnel may not.
    QString program = QStandardPaths::findExecutable(QStringLiteral("openvpn"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("openvpn"),
                                                 {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (program.isEmpty())
        return QStringLiteral("未找到 openvpn");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, {QStringLiteral("--version")}, QIODevice::ReadOnly);
    if (!process.waitForFinished(openVpnAnswerMs)) {
        process.kill();
        process.waitForFinished(1000);
        return program + QStringLiteral("：没有回答");
    }
    const QByteArray output = process.readAll();
    return QString::fromUtf8(output.left(output.indexOf('\n'))).trimmed() + QStringLiteral(" (") + program +
           QLatin1Char(')');
}

QStringList componentVersions()
{
    const CurlLibrary *const curlLib = curlLibrary();
    const curl_version_info_data *curl = curlLib ? curlLib->version_info(CURLVERSION_NOW) : nullptr;
    QStringList lines;
    lines << QStringLiteral("Korvane client: ") + clientVersion();
    lines << QStringLiteral("Qt: %1 (built with %2)")
                 .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR));
    lines << QStringLiteral("libcurl: ") + (curl ? QString::fromLatin1(curl->version) : QStringLiteral("not loaded"));
    lines << QStringLiteral("libcurl TLS: ") +
                 QString::fromLatin1(curl && curl->ssl_version ? curl->ssl_version : "none");
#if QT_CONFIG(ssl)
    lines << QStringLiteral("Qt OpenSSL: ") +
                 (QSslSocket::supportsSsl() ? QSslSocket::sslLibraryVersionString() : QStringLiteral("not loaded"));
#else
    // The Windows edition's Qt is built without TLS: libcurl carries it.
    lines << QStringLiteral("Qt OpenSSL: none");
#endif
    lines << QStringLiteral("OpenVPN: ") + openVpnVersion();
    return lines;
}
