#include "desktop/desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QStringList>
#include <QVariantMap>

namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
// Bounds how long a pending call is kept; the client never waits for it.
constexpr int replyTimeoutMs = 10000;
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
    call << QStringLiteral("Korvane远程接入") << shownId << QStringLiteral("korvane") << summary << body
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
