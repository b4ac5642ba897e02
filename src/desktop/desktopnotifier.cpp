#include "desktop/desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>
#include <QStringList>
#include <QVariantMap>

#include <unistd.h>

namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
// Bounds how long a pending call is kept; the client never waits for it.
constexpr int replyTimeoutMs = 10000;

// The installed client's icon by its theme name; run from the build tree there is none, and the
// service gets the logo as a file in the user's runtime folder instead.
QString notificationIcon()
{
    static const QString themeName = QStringLiteral("korvane");
    if (QIcon::hasThemeIcon(themeName))
        return themeName;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        return themeName;
    const QString path = folder + QStringLiteral("/korvane-client-") + QString::number(::getuid()) +
                         QStringLiteral(".png");
    if (!QFileInfo::exists(path)) {
        QSaveFile file(path);
        const QImage logo(QStringLiteral(":/image/logo3.png"));
        if (logo.isNull() || !file.open(QIODevice::WriteOnly) || !logo.save(&file, "PNG") || !file.commit())
            return themeName;
    }
    return path;
}
} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent) : QObject(parent) {}

void DesktopNotifier::notify(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        warnOnce(QStringLiteral("没有会话总线"));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("korvane"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    const QString icon = notificationIcon();
    if (icon.startsWith(QLatin1Char('/')))
        hints.insert(QStringLiteral("image-path"), QUrl::fromLocalFile(icon).toString());
    call << QStringLiteral("Korvane远程接入") << shownId << icon << summary << body
         << QStringList() << hints << -1;
    ++sent;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        const QDBusPendingReply<uint> reply = *finished;
        if (reply.isError()) {
            warnOnce(reply.error().name());
            return;
        }
        ++answered;
        shownId = reply.value();
    });
}

void DesktopNotifier::warnOnce(const QString &reason)
{
    if (warned)
        return;
    warned = true;
    qWarning().noquote() << QStringLiteral("桌面通知不可用：") + reason;
}
