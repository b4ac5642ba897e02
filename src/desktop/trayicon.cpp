#include "desktop/trayicon.h"

#include "desktop/logviewer.h"
#include "desktop/traypictures.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {
// How often a desktop without a tray is asked again (a panel that starts after the client).
constexpr int trayWatchIntervalMs = 10000;
} // namespace

QIcon trayIconFor(TrayState state)
{
    QIcon icon;
    for (int size : trayIconSizes())
        icon.addPixmap(QPixmap::fromImage(trayPicture(state, size)));
    return icon;
}

TrayIcon::TrayIcon(QObject *parent)
    : QObject(parent), trayIcon(new QSystemTrayIcon(this)), trayMenu(new QMenu), trayWatch(new QTimer(this))
{
    showWindow = trayMenu->addAction(QStringLiteral("显示主窗口"), this, &TrayIcon::showWindowRequested);
    tunnelSwitch = trayMenu->addAction(QStringLiteral("开启通道"), this, &TrayIcon::switchRequested);
    logs = trayMenu->addAction(QStringLiteral("查看日志"), this, [] { LogViewer::showShared(); });
    diagnostics = trayMenu->addAction(QStringLiteral("导出诊断信息..."), this, &TrayIcon::diagnosticsRequested);
    trayMenu->addSeparator();
    quit = trayMenu->addAction(QStringLiteral("退出"), this, &TrayIcon::quitRequested);
    connect(trayMenu, &QMenu::aboutToShow, this, &TrayIcon::menuAboutToShow);

    trayIcon->setContextMenu(trayMenu);
    connect(trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit showWindowRequested();
    });
    show(TrayState::Off, QStringLiteral("Korvane·设备接入灵途"), false, false);

    trayWatch->setInterval(trayWatchIntervalMs);
    connect(trayWatch, &QTimer::timeout, this, &TrayIcon::showWhenTrayExists);
    showWhenTrayExists();
    if (!trayIcon->isVisible())
        trayWatch->start();
}

TrayIcon::~TrayIcon()
{
    // The menu has no parent widget (a tray menu must not close with a window).
    delete trayMenu;
}

void TrayIcon::show(TrayState state, const QString &toolTip, bool tunnelConnected, bool switchAvailable)
{
    if (state != shownState || trayIcon->icon().isNull())
        trayIcon->setIcon(trayIconFor(state));
    shownState = state;
    if (trayIcon->toolTip() != toolTip)
        trayIcon->setToolTip(toolTip);
    tunnelSwitch->setText(tunnelConnected ? QStringLiteral("关闭通道") : QStringLiteral("开启通道"));
    tunnelSwitch->setEnabled(switchAvailable);
}

void TrayIcon::showWhenTrayExists()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    trayWatch->stop();
    trayIcon->show();
}
