// The platform in trouble. Frozen (connections accepted, never answered): while an exchange waits,
// the window serves its event loop, takes no input that starts another operation, and a quit ends
// the wait at once. Down: the minute tick pauses and says so once, a page request keeps what is
// shown and tells. Restarted (its sessions gone): operations renew the token and go through.
#include "api/exchangewait.h"
#include "api/platformcall.h"
#include "api/operations.h"
#include "support/bindinghelpers.h"
#include "support/boundwindow.h"
#include "ui/busycursor.h"
#include "ui/resources.h"

#include <QtTest>

namespace {
const QString gatewayBatchFind = QStringLiteral("gatewayBatchFind");
const QString gatewayVagueFind = QStringLiteral("gatewayVagueFind");
const QString network = QStringLiteral("网络连接失败，请检测您的网络状态后重试");
const QString paused = QStringLiteral("平台无应答，定时刷新和上报暂停：");
const QString resumed = QStringLiteral("平台恢复应答");
} // namespace

class TestPlatformTrouble : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initKorvaneResources();
        showBusyCursorDuringExchanges();
    }

    // A queued event runs while the minute tick waits for the frozen platform; meanwhile a page
    // button does nothing, the exit button still asks, and the cursor shows the wait.
    void eventsServedWhileWaiting()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        Ui::MainWindow *ui = bound.ui;
        const QString page = ui->WG_Current_Page->text();
        bound.platform->setFrozen(true);
        bound.boxes.queueAnswer(QMessageBox::No);

        bool served = false, waiting = false, pageRequested = true;
        Qt::CursorShape cursor = Qt::ArrowCursor;
        QTimer::singleShot(0, &bound.window, [&] {
            served = true;
            waiting = ExchangeWait::isWaiting();
            // The request is with the platform, which holds it.
            if (!QTest::qWaitFor([&] { return bound.requestCount(gatewayBatchFind) == 1; }, 5000))
                return;
            cursor = QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : Qt::ArrowCursor;
            QTest::mouseClick(ui->WG_Last_Page, Qt::LeftButton);
            QTest::mouseClick(ui->btnExit, Qt::LeftButton);
            pageRequested = bound.requestCount(gatewayVagueFind) != 0;
            bound.platform->setFrozen(false); // the held request goes unanswered
        });
        bound.window.ReportState();

        QVERIFY(served && waiting);
        QCOMPARE(cursor, Qt::WaitCursor);
        QVERIFY(!pageRequested);
        QCOMPARE(ui->WG_Current_Page->text(), page);
        QCOMPARE(bound.boxes.texts(), QStringList{QStringLiteral("是否退出当前程序")});
        QVERIFY(bound.window.isVisible() && !ExchangeWait::isWaiting() && !QGuiApplication::overrideCursor());
    }

    // A tick due while an exchange waits is held until the wait is over, then runs once, however
    // often it came due meanwhile; it is not run inside the wait.
    void tickDueWhileWaitingIsHeld()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        // The tunnel's adapter in use: the watchdog has nothing to do after its probe.
        bound.host.adapterList = {{QStringLiteral("TAP-Linux tun korvane0"), {QStringLiteral("10.8.0.6")}}};
        bound.platform->setFrozen(true);
        int during = -1;
        QTimer::singleShot(0, &bound.window, [&] {
            if (!QTest::qWaitFor([&] { return bound.requestCount(gatewayVagueFind) == 1; }, 5000))
                return;
            for (int tick = 0; tick < 2; ++tick) {
                bound.window.ReportState();
                bound.window.CheckVpnState();
            }
            during = bound.platform->requests().size();
            bound.platform->setFrozen(false);
        });
        bound.window.loadGatewayPage(2);
        QCOMPARE(during, 1);
        const auto asked = [&] {
            QStringList operations;
            for (const sim::RecordedRequest &request : bound.platform->requests())
                operations << request.operation;
            return operations;
        };
        const QStringList once = {gatewayVagueFind, gatewayBatchFind, QStringLiteral("devicesBatchFind"),
                                  QStringLiteral("updateTunnelAndTapState"), QStringLiteral("getLintraToken")};
        QTRY_COMPARE(asked(), once);
        QCoreApplication::processEvents();
        QCOMPARE(asked(), once);
    }

    // A platform that drops every connection: the minute tick stops at its first failed exchange
    // and the day log says so once, with the reason; once more when the platform answers again.
    // The tree is not wiped.
    void minuteTickPausesWhilePlatformIsDown()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        MainWindow &window = bound.window;
        const QStringList shown = childTexts(window.rootItem);
        bindingtest::capturedLog::warnings.clear();
        bindingtest::capturedLog::install(true);
        const QStringList tick = {gatewayBatchFind, QStringLiteral("devicesBatchFind"),
                                  QStringLiteral("updateTunnelAndTapState")};
        for (const QString &operation : tick + QStringList(QStringLiteral("getLintraToken")))
            bound.platform->setFault(operation, droppedConnection());
        window.ReportState();
        window.CheckVpnState();
        window.ReportState();
        bound.platform->clearFaults();
        window.ReportState();
        window.ReportState();
        bindingtest::capturedLog::install(false);

        const QStringList lines = bindingtest::capturedLog::warnings;
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.first().startsWith(paused) && lines.first().size() > paused.size(), qPrintable(lines.first()));
        QCOMPARE(lines.last(), resumed);
        QCOMPARE(childTexts(window.rootItem), shown);
        // Down: each tick asked once (the watchdog's probe too); up: two whole ticks.
        QStringList asked;
        for (const sim::RecordedRequest &request : bound.platform->requests())
            asked << request.operation;
        QCOMPARE(asked, QStringList({gatewayBatchFind, QStringLiteral("getLintraToken"), gatewayBatchFind}) + tick + tick);
        QVERIFY(bound.boxes.isEmpty());
    }

    // Platform down: the page shown, its number, the tree and the device table stay; the user is
    // told, once a click; the tunnel switch says the same instead of nothing.
    void requestsToADownPlatformKeepWhatIsShown()
    {
        BoundWindow bound;
        QVERIFY(bound.start() && bound.click(QStringLiteral("KV2410A0002")));
        Ui::MainWindow *ui = bound.ui;
        const QStringList gateways = childTexts(bound.window.rootItem);
        const QStringList devices = bound.window.deviceIdList;
        const QString pages = ui->WG_Current_Page->text() + ui->WG_Total_Page->text() + ui->DEV_Current_Page->text();
        bound.platform->stop();

        QTest::mouseClick(ui->WG_After_Page, Qt::LeftButton);
        QTest::mouseClick(ui->DEV_After_Page, Qt::LeftButton);
        QTest::ignoreMessage(QtWarningMsg, "网关信息获取失败，网络连接异常");
        QVERIFY(bound.click(QStringLiteral("KV2410A0001")));
        QCOMPARE(bound.boxes.texts(), (QStringList{network, network, network}));
        QVERIFY(bound.boxes.last().title == QStringLiteral("错误") &&
                bound.boxes.last().kind == MessageBoxes::Kind::Critical);
        QCOMPARE(ui->WG_Current_Page->text() + ui->WG_Total_Page->text() + ui->DEV_Current_Page->text(), pages);
        QCOMPARE(childTexts(bound.window.rootItem), gateways);
        QCOMPARE(bound.window.deviceIdList, devices);
        QCOMPARE(ui->tableWidget->item(0, 1) ? ui->tableWidget->item(0, 1)->text() : QString(),
                 bound.gateway(QStringLiteral("KV2410A0002")).devices.value(0).deviceName);

        bound.boxes.clear();
        bound.window.tunnelConnected = false;
        bound.window.platformReachable = false;
        const int launches = bound.host.startedInterpreters.size();
        bound.window.on_VpnControl_clicked();
        QCOMPARE(bound.boxes.texts(), QStringList(network));
        QCOMPARE(bound.host.startedInterpreters.size(), launches);
    }

    // Platform restarted: every session it issued is gone. Each operation renews the token once and
    // goes once more with it; what the user sees is the answer, not "not found".
    void restartedPlatformRenewsTheSession()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        Ui::MainWindow *ui = bound.ui;
        const QByteArray oldToken = bound.window.sessionToken;
        bound.platform->expireAllTokens();

        QTest::mouseClick(ui->WG_After_Page, Qt::LeftButton);
        QVERIFY(bound.boxes.isEmpty());
        QCOMPARE(ui->WG_Current_Page->text(), QStringLiteral("2"));
        QCOMPARE(childTexts(bound.window.rootItem), bound.customerSerials().mid(30, 30));
        const QList<sim::RecordedRequest> pages = bound.platform->requests(gatewayVagueFind);
        QCOMPARE(bound.requestCount(QStringLiteral("getLintraToken")), 1);
        QVERIFY(pages.size() == 2 && bound.window.sessionToken != oldToken);
        QCOMPARE(pages.first().value(QStringLiteral("token")).toUtf8(), oldToken);
        QCOMPARE(pages.last().value(QStringLiteral("token")).toUtf8(), bound.window.sessionToken);

        // A platform that keeps refusing the session: one renewal, one repeat, then the failure.
        bound.platform->clearRequests();
        bound.platform->setFault(gatewayVagueFind, fault(10002));
        QTest::mouseClick(ui->WG_After_Page, Qt::LeftButton);
        QCOMPARE(bound.requestCount(gatewayVagueFind), 2);
        QCOMPARE(bound.requestCount(QStringLiteral("getLintraToken")), 1);
        QCOMPARE(bound.boxes.texts(), QStringList(QStringLiteral("未检索到该网关")));
    }

    // Leaving while an exchange waits for a frozen platform: the tunnel stops and the window closes
    // at once, without two more waits for the final reports.
    void exitWhileWaiting()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        QGuiApplication::setQuitOnLastWindowClosed(false);
        bound.platform->setFrozen(true);
        bool closed = false;
        QTimer::singleShot(0, &bound.window, [&] {
            if (!QTest::qWaitFor([&] { return bound.requestCount(gatewayBatchFind) == 1; }, 5000))
                return;
            QTest::mouseClick(bound.ui->btnExit, Qt::LeftButton);
            closed = !bound.window.isVisible() && bound.window.tunnelsShutDown;
            bound.platform->setFrozen(false);
        });
        bound.window.ReportState();
        QGuiApplication::setQuitOnLastWindowClosed(true);
        QVERIFY(closed);
        QCOMPARE(bound.boxes.texts(), QStringList(QStringLiteral("是否退出当前程序")));
        QCOMPARE(bound.platform->requests().size(), 1);
    }

    // The failure comes back with libcurl's reason.
    void failureReason()
    {
        Scene scene;
        QVERIFY(scene.isReady());
        scene.platform->setFault(QStringLiteral("getSiteInfo"), droppedConnection());
        const PlatformReply dropped = callPlatform(Operations::getSiteInfo("t", QStringLiteral("X")));
        QVERIFY(!dropped.answered());
        QVERIFY2(!dropped.failure.isEmpty(), qPrintable(dropped.failure));
        scene.platform->clearFaults();
        const PlatformReply answered = callPlatform(Operations::getSiteInfo("t", QStringLiteral("X")));
        QVERIFY(answered.answered() && answered.failure.isEmpty());
    }

    // Last: a quit leaves the application quitting until its loop runs again. The wait ends at
    // once, and the transfer it left is aborted although the platform still holds it.
    void quitEndsTheWait()
    {
        Scene scene;
        QVERIFY(scene.isReady());
        scene.platform->setFrozen(true);
        QTimer::singleShot(0, [&] {
            if (QTest::qWaitFor([&] { return scene.requestCount(gatewayBatchFind) == 1; }, 5000))
                QCoreApplication::quit();
        });
        QString failure;
        QVERIFY(!platformExchange(Operations::gatewayBatchFind("t", {}), &failure));
        QCOMPARE(failure, QStringLiteral("the client is quitting"));
        QCOMPARE(ExchangeWait::runningTransfers(), 1);
        // Well before the fixture's 5 s time-out.
        QTRY_COMPARE_WITH_TIMEOUT(ExchangeWait::runningTransfers(), 0, 3500);
        scene.platform->setFrozen(false);
    }
};

QTEST_MAIN(TestPlatformTrouble)
#include "tst_platformtrouble.moc"
