// The client on the desktop, in one process: the tray follows the tunnel through connect, drop,
// reconnect, switch and time-out; its menu reaches the window's own handlers; notifications reach a
// notification service on a private session bus, with their texts and no secret, and never wait
// for it; an unwritable working directory ends the start with a box.
#include "desktop/desktopnotifier.h"
#include "desktop/desktopsession.h"
#include "desktop/logviewer.h"
#include "mainwindow/userdesign.h"
#include "ui_userdesign.h"
#include "desktop/tararchive.h"
#include "desktop/trayicon.h"
#include "desktop/traypictures.h"
#include "support/boundwindow.h"
#include "ui/resources.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDesktopServices>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QElapsedTimer>
#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString tapPassword = QStringLiteral("Tap@0001");
const QString notifications = QStringLiteral("org.freedesktop.Notifications");

// The notification service as a desktop runs it, reduced to recording what it is sent. Silent, it
// takes the call and never answers.
class NotificationService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QStringList texts; // app name, icon, summary, body
        uint replacesId = 0;
        QVariantMap hints;
    };
    QList<Call> calls;
    bool silent = false;

    QStringList summaries() const
    {
        QStringList list;
        for (const Call &call : calls)
            list << call.texts.value(2);
        return list;
    }

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &icon, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &hints, int)
    {
        calls.append(Call{{appName, icon, summary, body}, replacesId, hints});
        if (silent)
            setDelayedReply(true);
        return uint(calls.size());
    }
};

// Every text a call carried, hints included, for the secret search.
QString everything(const NotificationService::Call &call)
{
    QStringList all = call.texts;
    for (auto it = call.hints.cbegin(); it != call.hints.cend(); ++it)
        all << it.key() << it.value().toString();
    return all.join(QLatin1Char('|'));
}

QImage pictureOf(const QIcon &icon)
{
    return icon.pixmap(22).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}


// Pixels whose brightness differs clearly between two pictures on a tray's panel: what is left of
// a difference to an eye that does not tell red from green.
int brightnessDifferences(const QImage &a, const QImage &b, QRgb panel)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const auto grey = [panel](QRgb pixel) {
                const int alpha = qAlpha(pixel);
                // premultiplied over the panel
                return (qGray(pixel) * 255 + qGray(panel) * (255 - alpha)) / 255;
            };
            count += std::abs(grey(a.pixel(x, y)) - grey(b.pixel(x, y))) >= 64;
        }
    }
    return count;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool appendFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(bytes) == bytes.size();
}

class UrlCatcher : public QObject {
    Q_OBJECT

public slots:
    void open(const QUrl &url) { urls << url; }

public:
    QList<QUrl> urls;
};

int warningsContaining(const QStringList &messages, const QString &text)
{
    int count = 0;
    for (const QString &message : messages)
        count += message.contains(text);
    return count;
}

QStringList *capturedMessages = nullptr;
void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (capturedMessages)
        capturedMessages->append(message);
}
} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initKorvaneResources();
        // A bus of our own, before anything asks for the session bus: no desktop service on it
        // but the one each test registers.
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed");
        QVERIFY(busDir.isValid());
        QFile config(busDir.filePath(QStringLiteral("session.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:dir=" +
                     busDir.path().toUtf8() +
                     "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                     "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                     "<allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        bus.start(daemon, {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                           QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        QVERIFY(bus.waitForStarted() && bus.waitForReadyRead(5000));
        address = bus.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        serviceBus = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("service"));
        QVERIFY(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                          QDBusConnection::ExportAllSlots));
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        bus.terminate();
        bus.waitForFinished(3000);
    }

    void init()
    {
        service.calls.clear();
        service.silent = false;
        QVERIFY(serviceBus.registerService(notifications));
    }

    void cleanup() { serviceBus.unregisterService(notifications); }

    void trayAndNotificationsFollowTheTunnel()
    {
        BoundWindow w;
        DesktopSession desktop;
        desktop.attach(nullptr, &w.window);
        TrayIcon *tray = desktop.tray();
        QCOMPARE(tray->state(), TrayState::Off);
        QVERIFY(!tray->switchAction()->isEnabled());

        w.host.sentBytes = 1536;
        w.host.receivedBytes = 5 * 1024 * 1024;
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        QVERIFY(w.start());
        QTRY_COMPARE(tray->state(), TrayState::Connected);
        // The tool tip and the tunnel panel's status line tell the same facts: the addresses of
        // the CONNECTED line, the time, the device's counters, the profile's protocol.
        QTRY_VERIFY(tray->icon()->toolTip().contains(QStringLiteral("已发送")));
        QStringList tip = tray->icon()->toolTip().split(QLatin1Char('\n'));
        QVERIFY2(tip.size() == 7, qPrintable(tip.join(QLatin1Char('|'))));
        const QDateTime since =
            QDateTime::fromString(tip.takeAt(4).section(QStringLiteral("："), 1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY(since >= before && since <= QDateTime::currentDateTime());
        QCOMPARE(tip, QStringList({QStringLiteral("Korvane·设备接入灵途"), QStringLiteral("通道：已连接"),
                                   QStringLiteral("TAP：TAP-DEMO-0001"), QStringLiteral("通道地址：10.8.0.6"),
                                   QStringLiteral("已发送 1.5 KB / 已接收 5.0 MB"),
                                   QStringLiteral("服务器：127.0.0.1:1194 (udp)")}));
        QVERIFY(w.click(demo::tap));
        QCOMPARE(w.ui->tunnelStatusLine->text(), tray->icon()->toolTip().section(QLatin1Char('\n'), 3).replace(
                                                     QLatin1Char('\n'), QStringLiteral("　·　")));
        QCOMPARE(pictureOf(tray->icon()->icon()), trayPicture(TrayState::Connected, 22));
        QCOMPARE(tray->switchAction()->text(), QStringLiteral("关闭通道"));
        QVERIFY(tray->switchAction()->isEnabled());

        // Dropped: reconnecting, with the attempt in the tool tip once attempts run.
        w.host.management.setCurrentState(fakeTunnel::waitState);
        w.host.management.send(fakeTunnel::dropNotification);
        QTRY_COMPARE(tray->state(), TrayState::Reconnecting);
        QVERIFY(tray->icon()->toolTip().contains(QStringLiteral("通道：已断开，等待重连")));
        QCOMPARE(w.ui->tunnelStatusLine->text(), QStringLiteral("通道未连接　·　上次故障：连接中断（connection-reset）"));
        QVERIFY(tray->icon()->toolTip().endsWith(QStringLiteral("\n上次故障：连接中断（connection-reset）")));
        QCOMPARE(tray->switchAction()->text(), QStringLiteral("开启通道"));
        for (int attempt = 1; attempt <= 2; ++attempt) {
            w.window.TryReconnectVPN();
            QTRY_VERIFY(
                tray->icon()->toolTip().contains(QStringLiteral("通道：正在重连（第 %1 次尝试）").arg(attempt)));
            QCOMPARE(tray->state(), TrayState::Reconnecting);
        }
        QCOMPARE(pictureOf(tray->icon()->icon()), trayPicture(TrayState::Reconnecting, 22));
        w.host.management.setCurrentState(fakeTunnel::connectedState);
        w.window.TryReconnectVPN();
        QTRY_COMPARE(tray->state(), TrayState::Connected);

        // A cancelled cycle is over: the tunnel is off.
        w.host.management.send(fakeTunnel::dropNotification);
        QTRY_COMPARE(tray->state(), TrayState::Reconnecting);
        w.window.UnReconnectVpn();
        QTRY_COMPARE(tray->state(), TrayState::Off);
        QVERIFY(!w.window.reconnectInProgress && !w.window.reconnectTimer->isActive());

        // The menu's switch is the window's own: on, and off again, the tunnel stays off.
        QVERIFY(w.click(demo::tap));
        tray->switchAction()->trigger();
        QTRY_COMPARE(tray->state(), TrayState::Connected);
        tray->switchAction()->trigger();
        QVERIFY(!w.window.tunnelConnected && w.window.reconnectSuppressed);
        QTRY_COMPARE(tray->state(), TrayState::Off);
        QCOMPARE(pictureOf(tray->icon()->icon()), trayPicture(TrayState::Off, 22));

        // Switched on again, the tunnel program stays silent: connecting, then the time-out.
        w.host.management.setCurrentState(fakeTunnel::waitState);
        tray->switchAction()->trigger();
        QTRY_COMPARE(tray->state(), TrayState::Connecting);
        // What the tunnel program logged since this launch tells why, in the box and on the status line.
        QFile log(QStringLiteral("logs/openvpn.log"));
        QVERIFY(QDir().mkpath(QStringLiteral("logs")) && log.open(QIODevice::Append));
        log.write("2026-12-09 05:40:00 TCP: connect to [AF_INET]127.0.0.1:1194 failed: Connection refused\n"
                  "2026-12-09 05:40:05 SIGUSR1[soft,connection-reset] received, process restarting\n");
        log.close();
        w.window.Vpn_Timeout();
        QTRY_COMPARE(tray->state(), TrayState::Down);
        QCOMPARE(w.boxes.texts().last(), QStringLiteral("    连接超时   "));
        QCOMPARE(w.boxes.last().informativeText.section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("OpenVPN：TCP: connect to [AF_INET]127.0.0.1:1194 failed: Connection refused"));
        QCOMPARE(w.ui->tunnelStatusLine->text(),
                 QStringLiteral("通道未连接　·　上次故障：连接超时：TCP: connect to [AF_INET]127.0.0.1:1194 failed: "
                                "Connection refused"));
        w.window.requestServerRestart();

        QTRY_COMPARE(service.calls.size(), 7);
        QCOMPARE(service.summaries(), QStringList({QStringLiteral("通道已连接"), QStringLiteral("通道已断开"),
                                                   QStringLiteral("通道重连成功"), QStringLiteral("通道已断开"),
                                                   QStringLiteral("通道已连接"), QStringLiteral("通道连接超时"),
                                                   QStringLiteral("已请求重启远端")}));
        QCOMPARE(service.calls.at(2).texts.value(3),
                 QStringLiteral("TAP TAP-DEMO-0001 的通道经过 3 次尝试已重新连接。"));
        QCOMPARE(service.calls.at(0).texts.value(0), QStringLiteral("Korvane远程接入"));
        // Run from the build tree there is no installed icon: the logo goes as a file.
        const QString icon = service.calls.at(0).texts.value(1);
        QVERIFY2(icon.startsWith(QLatin1Char('/')) && !QImage(icon).isNull(), qPrintable(icon));
        QCOMPARE(service.calls.at(0).hints.value(QStringLiteral("image-path")).toString(),
                 QUrl::fromLocalFile(icon).toString());
        // Each notification replaces the one before it on the desktop.
        QCOMPARE(service.calls.at(1).replacesId, 1u);
        for (const NotificationService::Call &call : service.calls) {
            const QString texts = everything(call);
            QVERIFY2(!texts.contains(demo::password) && !texts.contains(tapPassword) &&
                         !texts.contains(QString::fromUtf8(w.window.sessionToken)),
                     qPrintable(texts));
        }
    }

    // A reconnect that took one attempt is told as a reconnect, with its one attempt.
    void oneAttemptReconnectTold()
    {
        BoundWindow w;
        DesktopSession desktop;
        desktop.attach(nullptr, &w.window);
        QVERIFY(w.start());
        w.host.management.setCurrentState(fakeTunnel::waitState);
        w.host.management.send(fakeTunnel::dropNotification);
        QTRY_VERIFY(w.window.reconnectInProgress);
        w.host.management.setCurrentState(fakeTunnel::connectedState);
        w.window.TryReconnectVPN();
        QTRY_COMPARE(service.summaries().value(service.calls.size() - 1), QStringLiteral("通道重连成功"));
        QCOMPARE(service.calls.last().texts.value(3), QStringLiteral("TAP TAP-DEMO-0001 的通道经过 1 次尝试已重新连接。"));
    }

    void menuEntriesReachTheWindow()
    {
        BoundWindow w;
        DesktopSession desktop;
        desktop.attach(nullptr, &w.window);
        QVERIFY(w.start());
        TrayIcon *tray = desktop.tray();
        QCOMPARE(tray->menu()->actions().size(), 6); // with the separator
        QCOMPARE(tray->showWindowAction()->text(), QStringLiteral("显示主窗口"));
        QCOMPARE(tray->diagnosticsAction()->text(), QStringLiteral("导出诊断信息..."));

        w.window.showMinimized();
        QTRY_VERIFY(w.window.isMinimized());
        tray->showWindowAction()->trigger();
        QTRY_VERIFY(!w.window.isMinimized() && w.window.isVisible());

        // Quit asks the exit question; No leaves everything as it was.
        w.boxes.queueAnswer(QMessageBox::No);
        tray->quitAction()->trigger();
        QCOMPARE(w.boxes.texts(), QStringList(QStringLiteral("是否退出当前程序")));
        QVERIFY(w.window.isVisible() && w.window.tunnelConnected);
        tray->quitAction()->trigger();
        QVERIFY(!w.window.isVisible() && w.host.killedProcessIds.size() == 1);
        QCOMPARE(w.platform->world().stateReports.last().tunnelOnline, 0);
    }

    // At tray sizes every two states differ in brightness over a clear share of the picture, on a
    // dark and on a light panel: the badges differ in outline, not in hue alone.
    void trayPicturesDifferInShape()
    {
        const QList<TrayState> states{TrayState::Off, TrayState::Connecting, TrayState::Connected,
                                      TrayState::Reconnecting, TrayState::Down};
        for (int size : {16, 22, 24}) {
            for (int i = 0; i < states.size(); ++i) {
                for (int j = i + 1; j < states.size(); ++j) {
                    for (QRgb panel : {qRgb(0x30, 0x30, 0x30), qRgb(0xe0, 0xe0, 0xe0)}) {
                        const int differing =
                            brightnessDifferences(trayPicture(states[i], size), trayPicture(states[j], size), panel);
                        QVERIFY2(differing >= size * size / 24,
                                 qPrintable(QStringLiteral("%1 px: %2 and %3 differ in %4 pixels")
                                                .arg(size)
                                                .arg(trayIconStem(states[i]), trayIconStem(states[j]))
                                                .arg(differing)));
                    }
                }
            }
        }
    }

    void logViewFollowsBothLogs()
    {
        BoundWindow w;
        DesktopSession desktop;
        desktop.attach(nullptr, &w.window);
        QVERIFY(QDir().mkpath(QStringLiteral("logs")) && QDir().mkpath(QStringLiteral("LogFile")));
        const QString dayLog =
            QStringLiteral("LogFile/") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".txt");
        QByteArray large;
        for (int n = 0; large.size() < 300 * 1024; ++n)
            large += "line " + QByteArray::number(n) + " of a long tunnel log\n";
        QVERIFY(writeFile(QStringLiteral("logs/openvpn.log"), large + "last tunnel line\n"));
        QVERIFY(writeFile(dayLog, "day entry\n"));

        desktop.tray()->logsAction()->trigger();
        LogViewer *viewer = LogViewer::showShared();
        QVERIFY(viewer->isVisible());
        QPlainTextEdit *tunnel = viewer->view(0);
        QVERIFY(tunnel->isReadOnly() && viewer->view(1)->isReadOnly());
        // Only the tail of a large log, from a line start.
        const QString shown = tunnel->toPlainText();
        QVERIFY(shown.endsWith(QStringLiteral("\nlast tunnel line")));
        QVERIFY2(shown.toUtf8().size() <= LogViewer::readLimit && shown.startsWith(QStringLiteral("line ")),
                 qPrintable(shown.left(40)));
        QCOMPARE(viewer->view(1)->toPlainText(), QStringLiteral("day entry"));

        // Appended lines follow, a line still being written waits for its end.
        QVERIFY(appendFile(QStringLiteral("logs/openvpn.log"), "appended\nhalf"));
        viewer->refresh();
        QVERIFY(tunnel->toPlainText().endsWith(QStringLiteral("\nappended")));
        QScrollBar *bar = tunnel->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(appendFile(QStringLiteral("logs/openvpn.log"), " done\n") && appendFile(dayLog, "second entry\n"));
        QTRY_VERIFY(tunnel->toPlainText().endsWith(QStringLiteral("\nappended\nhalf done"))); // by its own timer
        QTRY_COMPARE(viewer->view(1)->toPlainText(), QStringLiteral("day entry\nsecond entry"));
        // A log cut short is shown anew.
        QVERIFY(writeFile(QStringLiteral("logs/openvpn.log"), "fresh\n"));
        viewer->refresh();
        QCOMPARE(tunnel->toPlainText(), QStringLiteral("fresh"));

        // The folder button opens the shown log's folder.
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        QTest::mouseClick(viewer->openFolderButton(), Qt::LeftButton);
        viewer->tabs()->setCurrentIndex(1);
        QTest::mouseClick(viewer->openFolderButton(), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.urls, QList<QUrl>({QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("logs"))),
                                            QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("LogFile")))}));

        // The user settings dialog opens the same view.
        viewer->close();
        QTRY_VERIFY(!LogViewer::sharedInstance());
        QTest::mouseClick(w.window.userDesign->ui->viewLogs, Qt::LeftButton);
        QVERIFY(LogViewer::sharedInstance() && LogViewer::sharedInstance()->isVisible());
        LogViewer::sharedInstance()->close();
    }

    // Pictures for the documentation, taken only when asked for (scripts/screenshots, under Xvfb).
    void takeScreenshots()
    {
        const QString folder = qEnvironmentVariable("KORVANE_SHOTS_DIR");
        if (folder.isEmpty())
            QSKIP("KORVANE_SHOTS_DIR is not set");
        const auto save = [&](const QImage &image, const QString &name) {
            QVERIFY2(image.save(folder + QLatin1Char('/') + name), qPrintable(name));
            qInfo("screenshots: docs/%s", qPrintable(name));
        };

        // The tunnel panel of the bound TAP with its status line.
        BoundWindow w;
        DesktopSession desktop;
        desktop.attach(nullptr, &w.window);
        w.host.sentBytes = 3 * 1024 * 1024 + 300 * 1024;
        w.host.receivedBytes = 18 * 1024 * 1024 + 700 * 1024;
        QVERIFY(w.start());
        QTRY_VERIFY(w.window.tunnelConnected);
        w.window.resize(1280, 760);
        QVERIFY(w.click(demo::tap));
        w.window.noteTunnelCounters();
        QTest::qWait(200); // a screenshot, not a check: let the window settle
        save(w.ui->frame_5->grab().toImage(), QStringLiteral("tunnel-status-line.png"));

        // The log view with a tunnel log and a day log.
        QVERIFY(QDir().mkpath(QStringLiteral("logs")) && QDir().mkpath(QStringLiteral("LogFile")));
        QVERIFY(writeFile(QStringLiteral("logs/openvpn.log"),
                          "2026-12-09 05:41:02 OpenVPN 2.6.3 x86_64-pc-linux-gnu [SSL (OpenSSL)] [LZO] [LZ4]\n"
                          "2026-12-09 05:41:02 MANAGEMENT: TCP Socket listening on [AF_INET]127.0.0.1:25341\n"
                          "2026-12-09 05:41:02 TCP/UDP: Preserving recently used remote address: [AF_INET]203.0.113.5:1194\n"
                          "2026-12-09 05:41:02 UDP link remote: [AF_INET]203.0.113.5:1194\n"
                          "2026-12-09 05:41:03 TLS: Initial packet from [AF_INET]203.0.113.5:1194\n"
                          "2026-12-09 05:41:03 VERIFY OK: depth=0, CN=korvane-gateway\n"
                          "2026-12-09 05:41:04 TUN/TAP device korvane0 opened\n"
                          "2026-12-09 05:41:04 net_addr_v4_add: 10.8.0.6/24 dev korvane0\n"
                          "2026-12-09 05:41:04 Initialization Sequence Completed\n"));
        QVERIFY(writeFile(QStringLiteral("LogFile/") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                              QStringLiteral(".txt"),
                          "2026-12-09 05:41:04 周三 Debug: TUNNEL MSG:CONNECTED\n"
                          "2026-12-09 05:42:04 周三 Debug: 流量1536\n"));
        LogViewer *viewer = LogViewer::showShared();
        viewer->resize(900, 360);
        QTest::qWait(200);
        save(viewer->grab().toImage(), QStringLiteral("log-view.png"));
        viewer->close();

        // The five tray pictures at 22 px on a dark and a light panel.
        const QList<TrayState> states{TrayState::Off, TrayState::Connecting, TrayState::Connected,
                                      TrayState::Reconnecting, TrayState::Down};
        const int cell = 34;
        QImage strip(cell * states.size(), cell * 2, QImage::Format_ARGB32);
        QPainter painter(&strip);
        for (int row = 0; row < 2; ++row) {
            painter.fillRect(0, row * cell, strip.width(), cell, row ? QColor(0xe0, 0xe0, 0xe0) : QColor(0x30, 0x30, 0x30));
            for (int i = 0; i < states.size(); ++i)
                painter.drawImage(i * cell + 6, row * cell + 6, trayPicture(states[i], 22));
        }
        painter.end();
        save(strip, QStringLiteral("tray-icons-22.png"));
        save(strip.scaled(strip.size() * 4, Qt::KeepAspectRatio, Qt::FastTransformation),
             QStringLiteral("tray-icons-22-enlarged.png"));
    }

    void notificationsNeverWait()
    {
        // A service that takes the call and never answers, then none at all.
        service.silent = true;
        QStringList messages;
        capturedMessages = &messages;
        const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
        {
            DesktopNotifier notifier;
            QElapsedTimer timer;
            timer.start();
            for (int i = 0; i < 5; ++i)
                notifier.notify(QStringLiteral("通道已断开"), QStringLiteral("TAP X 的通道连接中断。"));
            QVERIFY2(timer.elapsed() < 200, qPrintable(QString::number(timer.elapsed())));
            QTRY_COMPARE(service.calls.size(), 5);
            QCOMPARE(notifier.answeredCount(), 0);

            serviceBus.unregisterService(notifications);
            DesktopNotifier alone;
            for (int i = 0; i < 3; ++i)
                alone.notify(QStringLiteral("通道已连接"), QStringLiteral("TAP X 的通道已建立。"));
            QTRY_COMPARE(warningsContaining(messages, QStringLiteral("桌面通知不可用")), 1);
            QTest::qWait(200);
        }
        qInstallMessageHandler(previous);
        capturedMessages = nullptr;
        QCOMPARE(warningsContaining(messages, QStringLiteral("桌面通知不可用")), 1);
        QVERIFY(messages.filter(QStringLiteral("桌面通知不可用")).first().contains(QStringLiteral("ServiceUnknown")));
    }

    void unwritableDirectoryEndsTheStart()
    {
        ScopedWorkDir dir;
        MessageRecorder boxes;
        // Root writes through file modes: a read-only mount stands for the unwritable folder.
        const bool mounted = ::geteuid() == 0 && ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs",
                                                         MS_RDONLY, "size=64k") == 0;
        if (::geteuid() == 0 && !mounted)
            QSKIP("root without the right to mount: no folder is unwritable");
        if (!mounted)
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        bool claimed = true;
        int exitCode = 0;
        {
            QDir::setCurrent(dir.path()); // the mount hides what was there
            DesktopSession desktop;
            claimed = desktop.claimWorkingDirectory();
            exitCode = desktop.exitCode();
        }
        QDir::setCurrent(QDir::tempPath());
        if (mounted)
            ::umount(QFile::encodeName(dir.path()).constData());
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!claimed);
        QCOMPARE(exitCode, 1);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().kind, MessageBoxes::Kind::Critical);
        QCOMPARE(boxes.last().title, QStringLiteral("错误"));
        QVERIFY(boxes.last().text.startsWith(QStringLiteral("当前目录不可写")));
        QVERIFY(boxes.last().text.contains(dir.path()));
    }

    void archiveReadsBackWithTar()
    {
        // Names past the 100 bytes of the plain field go through the ustar prefix.
        const QString longName = QStringLiteral("korvane-diagnostics-x/") + QString(70, QLatin1Char('d')) +
                                 QStringLiteral("/") + QString(90, QLatin1Char('f')) + QStringLiteral(".log");
        TarArchive archive;
        QVERIFY(archive.addFile(QStringLiteral("korvane-diagnostics-x/summary.txt"), "状态\n",
                                QDateTime::currentDateTime()));
        QVERIFY(archive.addFile(longName, QByteArray(700, 'x'), QDateTime::currentDateTime()));
        QVERIFY(!archive.addFile(QString(160, QLatin1Char('n')), "x", QDateTime::currentDateTime()));
        QTemporaryDir out;
        QVERIFY(out.isValid());
        QCOMPARE(writePrivateFile(out.filePath(QStringLiteral("a.tar.gz")), archive.gzipped()), QString());
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(out.filePath(QStringLiteral("a.tar.gz"))).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0600);
        QProcess tar;
        tar.start(QStringLiteral("tar"),
                  {QStringLiteral("-xzf"), out.filePath(QStringLiteral("a.tar.gz")), QStringLiteral("-C"), out.path()});
        QVERIFY(tar.waitForFinished(10000));
        QCOMPARE(tar.exitCode(), 0);
        QFile summary(out.filePath(QStringLiteral("korvane-diagnostics-x/summary.txt")));
        QFile large(out.filePath(longName));
        QVERIFY(summary.open(QIODevice::ReadOnly) && large.open(QIODevice::ReadOnly));
        QCOMPARE(summary.readAll(), QByteArray("状态\n"));
        QCOMPARE(large.readAll(), QByteArray(700, 'x'));
    }

private:
    QTemporaryDir busDir;
    QProcess bus;
    QByteArray address;
    QDBusConnection serviceBus{QStringLiteral("none")};
    NotificationService service;
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
