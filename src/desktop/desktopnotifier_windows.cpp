#include "desktop/desktopnotifier.h"

#include <QDebug>
#include <QSystemTrayIcon>

// Windows has no notification service on a bus: the notice is the balloon of the client's own
// tray icon (a child of the same session object), which Windows turns into a toast.
DesktopNotifier::DesktopNotifier(QObject *parent) : QObject(parent) {}

void DesktopNotifier::notify(const QString &summary, const QString &body)
{
    QSystemTrayIcon *tray = nullptr;
    if (parent()) {
        for (QSystemTrayIcon *icon : parent()->findChildren<QSystemTrayIcon *>()) {
            if (icon->isVisible())
                tray = icon;
        }
    }
    if (!tray || !QSystemTrayIcon::supportsMessages()) {
        warnOnce(QStringLiteral("没有系统托盘"));
        return;
    }
    ++sent;
    tray->showMessage(summary, body, QSystemTrayIcon::Information);
    ++answered;
    shownId = 1;
}

void DesktopNotifier::warnOnce(const QString &reason)
{
    if (warned)
        return;
    warned = true;
    qWarning().noquote() << QStringLiteral("桌面通知不可用：") + reason;
}
