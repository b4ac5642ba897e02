#include "desktop/desktopsession.h"

#include "desktop/desktopnotifier.h"
#include "desktop/diagnostics.h"
#include "desktop/singleinstance.h"
#include "desktop/trayicon.h"
#include "desktop/tunnelnotices.h"
#include "login/login.h"
#include "login/loginpictures.h"
#include "mainwindow/mainwindow.h"
#include "ui/messageboxes.h"

#include <QApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTimer>

namespace {
QString yesNo(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString timerText(const QTimer *timer)
{
    return timer ? QStringLiteral("%1, %2 ms")
                       .arg(timer->isActive() ? QStringLiteral("running") : QStringLiteral("stopped"))
                       .arg(timer->interval())
                 : QStringLiteral("none");
}
} // namespace

DesktopSession::DesktopSession(QObject *parent)
    : QObject(parent), singleInstance(new SingleInstance(QDir::currentPath(), this)), trayRefresh(new QTimer(this))
{
    trayRefresh->setSingleShot(true);
    trayRefresh->setInterval(0);
    connect(trayRefresh, &QTimer::timeout, this, &DesktopSession::refreshTray);
    singleInstance->setRequestHandler([this](const QByteArray &request) { return answerRequest(request); });
}

DesktopSession::~DesktopSession()
{
    if (mainWindow && mainWindow->tunnelObserver == this)
        mainWindow->tunnelObserver = nullptr;
}

bool DesktopSession::claimWorkingDirectory()
{
    const QString directory = singleInstance->directory();
    switch (singleInstance->claim()) {
    case SingleInstance::Claim::Owner:
        return true;
    case SingleInstance::Claim::HandedOver:
        qInfo().noquote() << QStringLiteral(
                                 "korvane-client：此目录中已有客户端在运行，已切换到它的窗口，本次启动退出（%1）")
                                 .arg(directory);
        exitStatus = 0;
        return false;
    case SingleInstance::Claim::NoAnswer:
        qWarning().noquote()
            << QStringLiteral("korvane-client：此目录中已有客户端在运行，但它没有响应（%1）").arg(directory);
        MessageBoxes::warning(
            nullptr, QStringLiteral("提示"),
            QStringLiteral("此目录中已有客户端在运行，但它没有响应：\n%1\n请稍后再试。").arg(directory));
        exitStatus = 1;
        return false;
    case SingleInstance::Claim::Unwritable:
        break;
    }
    qCritical().noquote() << QStringLiteral("korvane-client：工作目录不可写（%1）").arg(directory);
    MessageBoxes::critical(nullptr, QStringLiteral("错误"),
                           QStringLiteral("当前目录不可写，程序无法保存账号、绑定、通道文件和日志：\n%1\n"
                                          "请检查该目录的权限后重新启动程序。")
                               .arg(directory));
    exitStatus = 1;
    return false;
}

Login *DesktopSession::showLoginDialog()
{
    LoginPictures::startDecoding();
    auto *login = new Login;
    login->mainWindowBuilt = [this](MainWindow *window) { attachMainWindow(window); };
    login->show();
    attach(login, nullptr);
    return login;
}

void DesktopSession::attach(Login *login, MainWindow *window)
{
    loginDialog = login;
    attachMainWindow(window);
    desktopNotifier = new DesktopNotifier(this);
    trayIcon = new TrayIcon(this);
    connect(trayIcon, &TrayIcon::showWindowRequested, this, &DesktopSession::raiseWindow);
    connect(trayIcon, &TrayIcon::switchRequested, this, &DesktopSession::switchTunnel);
    connect(trayIcon, &TrayIcon::diagnosticsRequested, this, &DesktopSession::exportDiagnosticsInteractively);
    connect(trayIcon, &TrayIcon::quitRequested, this, &DesktopSession::quitClient);
    connect(trayIcon, &TrayIcon::menuAboutToShow, this, &DesktopSession::refreshTray);
    refreshTray();
}

void DesktopSession::attachMainWindow(MainWindow *window)
{
    mainWindow = window;
    if (!mainWindow)
        return;
    mainWindow->tunnelObserver = this;
    mainWindow->installEventFilter(this);
}

void DesktopSession::tunnelEvent(TunnelEvent event, const TunnelStatus &status)
{
    switch (event) {
    case TunnelEvent::Launching:
    case TunnelEvent::Connected:
    case TunnelEvent::SwitchedOff:
        troubled = false;
        break;
    case TunnelEvent::Dropped:
    case TunnelEvent::ConnectTimeout:
    case TunnelEvent::Down:
        troubled = true;
        break;
    case TunnelEvent::ReconnectAttempt:
    case TunnelEvent::RestartRequested:
        break;
    }
    if (const std::optional<TunnelNotice> notice = tunnelNoticeFor(event, status); notice && desktopNotifier)
        desktopNotifier->notify(notice->summary, notice->body);
    // Events come from inside the handlers, before they have set every member.
    trayRefresh->start();
}

void DesktopSession::tunnelFactsChanged()
{
    trayRefresh->start();
}

void DesktopSession::refreshTray()
{
    if (!trayIcon)
        return;
    TunnelMembers members;
    if (mainWindow)
        members = tunnelMembersOf(*mainWindow);
    const TrayState state = trayStateOf(members, troubled);
    trayIcon->show(state, trayToolTip(state, members), members.connected, members.signedIn && hasBoundTap(members));
}

bool DesktopSession::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == mainWindow && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        trayRefresh->start();
    return QObject::eventFilter(watched, event);
}

void DesktopSession::raiseWindow()
{
    QWidget *target = mainWindow && mainWindow->isVisible() ? static_cast<QWidget *>(mainWindow) : loginDialog.data();
    if (!target)
        target = mainWindow;
    if (!target)
        return;
    target->setWindowState((target->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    target->show();
    target->raise();
    target->activateWindow();
    // A box waiting for an answer stays on top of its window.
    if (QWidget *modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void DesktopSession::switchTunnel()
{
    if (mainWindow && mainWindow->isVisible())
        mainWindow->on_VpnControl_clicked();
}

void DesktopSession::quitClient()
{
    if (mainWindow && mainWindow->isVisible())
        mainWindow->on_btnExit_clicked();
    else if (loginDialog)
        loginDialog->on_btnExit_clicked();
}

QString DesktopSession::tunnelStateText() const
{
    if (!mainWindow)
        return QStringLiteral("main window: none");
    const MainWindow &w = *mainWindow;
    const TunnelMembers members = tunnelMembersOf(w);
    const TrayState state = trayStateOf(members, troubled);
    QStringList lines;
    lines << QStringLiteral("state: ") + trayStateText(state, members);
    lines << QStringLiteral("signed in: ") + yesNo(members.signedIn);
    lines << QStringLiteral("userName: ") + w.userName;
    lines << QStringLiteral("tapSerial: ") + QString::fromUtf8(w.tapSerial);
    lines << QStringLiteral("tapBound: ") + yesNo(w.tapBound && *w.tapBound);
    lines << QStringLiteral("platformReachable: ") + yesNo(w.platformReachable);
    lines << QStringLiteral("wasReachable: %1").arg(w.wasReachable);
    lines << QStringLiteral("tunnelConnected: ") + yesNo(w.tunnelConnected);
    lines << QStringLiteral("tunnelProcessStarted: ") + yesNo(w.tunnelProcessStarted);
    lines << QStringLiteral("reconnectSuppressed: ") + yesNo(w.reconnectSuppressed);
    lines << QStringLiteral("reconnectInProgress: ") + yesNo(w.reconnectInProgress);
    lines << QStringLiteral("reconnectCount: %1").arg(w.reconnectCount);
    lines << QStringLiteral("tunnelStateCode: %1").arg(w.tunnelStateCode);
    lines << QStringLiteral("adapterWarningShown: %1, adapterDownHandled: %2")
                 .arg(w.adapterWarningShown)
                 .arg(w.adapterDownHandled);
    lines << QStringLiteral("lastManagementCommand: ") + w.lastManagementCommand;
    // tunnelInfoList holds the TAP passwords: only the serials and process ids go out.
    lines << QStringLiteral("tunnelTapList: ") + w.tunnelTapList.join(QStringLiteral(", "));
    lines << QStringLiteral("tunnelPidList: ") + w.tunnelPidList.join(QStringLiteral(", "));
    lines << QStringLiteral("watchdogTimer: ") + timerText(w.watchdogTimer);
    lines << QStringLiteral("reportTimer: ") + timerText(w.reportTimer);
    lines << QStringLiteral("reconnectTimer: ") + timerText(w.reconnectTimer);
    lines << QStringLiteral("connectTimeoutTimer: ") + timerText(w.connectTimeoutTimer);
    lines << QStringLiteral("traffic current/previous/delta: %1 / %2 / %3")
                 .arg(w.trafficCurrent)
                 .arg(w.trafficPrevious)
                 .arg(w.trafficDelta);
    return lines.join(QLatin1Char('\n'));
}

QString DesktopSession::exportDiagnostics(const QString &path)
{
    DiagnosticsRequest request;
    request.directory = singleInstance->directory();
    request.tunnelState = tunnelStateText();
    if (mainWindow) {
        request.tapSerial = QString::fromUtf8(mainWindow->tapSerial);
        request.secrets << mainWindow->sessionToken << mainWindow->userPassword.toUtf8() << mainWindow->tapPassword;
        for (const QString &password : mainWindow->tunnelInfoList)
            request.secrets << password.toUtf8();
    }
    return writeDiagnosticsBundle(path, request);
}

QByteArray DesktopSession::answerRequest(const QByteArray &request)
{
    if (request == "raise") {
        raiseWindow();
        return QByteArrayLiteral("ok");
    }
    if (request.startsWith("diagnostics /")) {
        const QString failure = exportDiagnostics(QString::fromUtf8(request.mid(12)));
        return failure.isEmpty() ? QByteArrayLiteral("ok") : "error " + failure.toUtf8().replace('\n', ' ');
    }
    return QByteArrayLiteral("error unknown request");
}

void DesktopSession::exportDiagnosticsInteractively()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString proposed = folder + QStringLiteral("/korvane-diagnostics-") +
                             QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")) +
                             QStringLiteral(".tar.gz");
    const QString path = QFileDialog::getSaveFileName(nullptr, QStringLiteral("导出诊断信息"), proposed,
                                                      QStringLiteral("诊断信息包 (*.tar.gz)"));
    if (path.isEmpty())
        return;
    const QString failure = exportDiagnostics(path);
    if (failure.isEmpty())
        MessageBoxes::information(nullptr, QStringLiteral("提示"),
                                  QStringLiteral("诊断信息已导出，其中不含密码和令牌：\n%1").arg(path));
    else
        MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("诊断信息导出失败：%1").arg(failure));
}
