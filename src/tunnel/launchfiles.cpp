// The files a launch hands to the tunnel program, written anew from the platform's last answer and
// handed over only when no other user can change them before the tunnel program reads them (it
// may run as root).
#include "mainwindow/mainwindow.h"

#include "platform/hostsystem.h"
#include "platform/owneronly.h"
#include "tunnel/logic/tunnelfiles.h"
#include "ui/messageboxes.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {
const QString tunnelLog = QStringLiteral("logs/openvpn.log");

// The first of the paths that another user could change (or that is a link), or empty.
QString firstExposed(const QStringList &paths)
{
    for (const QString &path : paths) {
        if (!hostSystem().isPrivateToUser(path))
            return path;
    }
    return {};
}
} // namespace

bool MainWindow::writeLaunchFiles(const QByteArray &serial, const QByteArray &password)
{
    if (lastProfileSerial != serial || lastProfileText.isEmpty()) {
        forgetTunnelPassword();
        qWarning().noquote() << QStringLiteral("尚未取得通道参数，通道未启动");
        return false;
    }
    const QString profile = TunnelFiles::profilePath(QString::fromUtf8(serial));
    // One level, owner-only: an existing link named logs stays a link and is refused below.
    OwnerOnly::makeFolder(TunnelFiles::logDirectory);
    QStringList folders = {QStringLiteral("."), TunnelFiles::logDirectory};
    if (QFileInfo(tunnelLog).exists() || QFileInfo(tunnelLog).isSymLink())
        folders << tunnelLog;
    QString exposed = firstExposed(folders);
    if (exposed.isEmpty()) {
        const bool written = TunnelFiles::writeOwnerOnly(profile, lastProfileText) &&
                             TunnelFiles::writeOwnerOnly(TunnelFiles::caFile, lastCaText) &&
                             TunnelFiles::writeOwnerOnly(TunnelFiles::credentialsFile,
                                                         TunnelFiles::credentialsText(serial, password));
        if (!written) {
            forgetTunnelPassword();
            MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("通道文件无法写入，通道未启动"));
            return false;
        }
        exposed = firstExposed({profile, TunnelFiles::caFile, TunnelFiles::credentialsFile});
    }
    if (exposed.isEmpty())
        return true;
    forgetTunnelPassword();
    const QString shown = QDir::cleanPath(QFileInfo(exposed).absoluteFilePath());
    qWarning().noquote() << QStringLiteral("通道文件可被其他用户修改，通道未启动：") + shown;
    MessageBoxes::critical(nullptr, QStringLiteral("错误"),
                           QStringLiteral("“%1”不属于当前用户或可被其他用户修改，为安全起见通道未启动").arg(shown));
    return false;
}
