#pragma once

#include "desktop/traystate.h"
#include "tunnel/logic/tunnelobserver.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

class DesktopNotifier;
class Login;
class MainWindow;
class QTimer;
class SingleInstance;
class TrayIcon;

// The client on the desktop, beside its windows: one client per data folder, the tray icon and
// its menu, notifications about the tunnel, and the diagnostics bundle with the live state. It
// reads the tunnel state through the main window's observer and changes nothing the windows do.
class DesktopSession : public QObject, public TunnelObserver {
    Q_OBJECT

public:
    explicit DesktopSession(QObject *parent = nullptr);
    ~DesktopSession() override;

    // Takes the working directory for this process. False when the process should end now with
    // exitCode(): a client already runs there and was asked to show itself, or the directory
    // cannot hold the client's files (the user was told in a box).
    bool claimWorkingDirectory();
    int exitCode() const { return exitStatus; }

    // The start after a successful claim: builds and shows the login dialog (its pictures decode
    // on the thread pool meanwhile) and then attaches it, so the tray icon and the notifier are
    // built after the dialog is on its way to the screen. The caller owns the dialog.
    Login *showLoginDialog();
    // Starts watching: the login dialog and the main window (either may be null).
    void attach(Login *login, MainWindow *window);
    // The main window, once it was built after the start.
    void attachMainWindow(MainWindow *window);

    void tunnelEvent(TunnelEvent event, const TunnelStatus &status) override;
    void tunnelFactsChanged() override;

    // Brings the client's window to the front: the main window once shown, else the login dialog.
    void raiseWindow();
    // Writes the bundle with the live tunnel state; empty on success, else the reason.
    QString exportDiagnostics(const QString &path);
    // The tunnel members as "name: value" lines (no password, no token).
    QString tunnelStateText() const;
    // Answers a later start's request line ("raise", "diagnostics <path>").
    QByteArray answerRequest(const QByteArray &request);

    TrayIcon *tray() const { return trayIcon; }
    DesktopNotifier *notifier() const { return desktopNotifier; }
    SingleInstance *instance() const { return singleInstance; }
    // Brings the tray up to date at once (it follows by itself within one event-loop turn).
    void refreshTray();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void switchTunnel();
    void quitClient();
    void exportDiagnosticsInteractively();

    QPointer<Login> loginDialog;
    QPointer<MainWindow> mainWindow;
    SingleInstance *singleInstance = nullptr;
    TrayIcon *trayIcon = nullptr;
    DesktopNotifier *desktopNotifier = nullptr;
    QTimer *trayRefresh = nullptr;
    bool troubled = false; // dropped, timed out or torn down since the last launch
    int exitStatus = 0;
};
