#pragma once

#include "desktop/traystate.h"

#include <QObject>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

// The tray icon with its menu. Where the desktop has no tray it is built all the same but never
// shown, and it appears once a tray does; a tray that goes away and comes back (a desktop restart)
// gets the icon again.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    // Picture, tool tip and the switch entry's text ("开启通道" / "关闭通道") and availability.
    void show(TrayState state, const QString &toolTip, bool tunnelConnected, bool switchAvailable);

    TrayState state() const { return shownState; }
    QSystemTrayIcon *icon() const { return trayIcon; }
    QMenu *menu() const { return trayMenu; }
    QAction *showWindowAction() const { return showWindow; }
    QAction *switchAction() const { return tunnelSwitch; }
    QAction *diagnosticsAction() const { return diagnostics; }
    QAction *logsAction() const { return logs; }
    QAction *quitAction() const { return quit; }

signals:
    void showWindowRequested();
    void switchRequested();
    void diagnosticsRequested();
    void quitRequested();
    // The menu is about to open: a chance to bring the entries up to date.
    void menuAboutToShow();

private:
    void showWhenTrayExists();

    QSystemTrayIcon *trayIcon = nullptr;
    QMenu *trayMenu = nullptr;
    QAction *showWindow = nullptr;
    QAction *tunnelSwitch = nullptr;
    QAction *diagnostics = nullptr;
    QAction *logs = nullptr;
    QAction *quit = nullptr;
    QTimer *trayWatch = nullptr;
    TrayState shownState = TrayState::Off;
};

// The picture of a state in every rendered size.
QIcon trayIconFor(TrayState state);
