// The main window's construction, chrome, session hand-over and exit sequence.
#include "api/sessiontoken.h"
#include "mainwindow/framelesshelper.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/userdesign.h"
#include "support/bindinghelpers.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"
#include "ui_userdesign.h"

#include <QHeaderView>
#include <QPainterPath>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

using namespace bindingtest;

// The window mask holds exactly the pixels whose centre lies inside the rounded outline: checked
// in the corner squares, where every row differs, and along the edges.
bool matchesRoundedOutline(const QRegion &mask, const QSize &size, int radius)
{
    QPainterPath outline;
    outline.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), radius, radius);
    const int w = size.width(), h = size.height(), span = radius + 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if ((x >= span && x < w - span) && (y >= span && y < h - span) && x != w / 2 && y != h / 2)
                continue;
            if (mask.contains(QPoint(x, y)) != outline.contains(QPointF(x + 0.5, y + 0.5)))
                return false;
        }
    return true;
}

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void construction()
    {
        ScopedWorkDir dir;
        MainWindow window;
        QCOMPARE(QList<QSize>({window.size(), window.minimumSize()}),
                 QList<QSize>({QSize(1039, 672), QSize(696, 546)}));
        QCOMPARE(window.windowTitle(), QStringLiteral("MainWindow"));
        QCOMPARE(window.windowFlags() &
                     (Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                      Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
                 Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);

        Ui::MainWindow *ui = window.ui;
        QCOMPARE(QSize(ui->widgetTitle->minimumHeight(), ui->widgetTitle->maximumHeight()), QSize(90, 90));
        const QStringList texts = {ui->label_39->text(),      ui->label_3->text(),      ui->userdesign->toolTip(),
                                   ui->btnMin->toolTip(),     ui->btnMax->toolTip(),    ui->btnExit->toolTip(),
                                   ui->showAllGwList->text(), ui->searchGwPage->text(), ui->searchGwBtn->text(),
                                   ui->btn_bound_tap->text(), ui->label_4->text(),      ui->WG_Current_Page->text(),
                                   ui->DEV_Total_Page->text()};
        QCOMPARE(
            texts.join(QLatin1Char('|')),
            QStringLiteral(
                "Korvane·设备接入灵途| 用户名：|用户|最小化|最大化|退出|所有网关|搜索网关|搜索|绑定|设备列表|?|?"));
        QCOMPARE(ui->b_tap_pswd_lineEdit->echoMode(), QLineEdit::Password);
        QVERIFY(ui->frame->maximumWidth() <= 300);

        // The pages the form starts on (the TAP check after login chooses the visible ones) and
        // the pages the code switches to by index.
        QCOMPARE(QList<int>({ui->stackedWidget->currentIndex(), ui->stackedWidget_2->currentIndex(),
                             ui->stackedWidget_GWMSG->currentIndex(), ui->stackedWidget_Dev->currentIndex()}),
                 QList<int>({1, 0, 1, 0}));
        QCOMPARE(QWidgetList({ui->stackedWidget->widget(0), ui->stackedWidget->widget(1), ui->stackedWidget->widget(2),
                              ui->stackedWidget_2->widget(1), ui->stackedWidget_GWMSG->widget(1),
                              ui->stackedWidget_Dev->widget(1)}),
                 QWidgetList({ui->page, ui->page_2, ui->page_5, ui->page_4, ui->page_13, ui->page_7}));

        for (QLabel *label : {ui->gatewaySn, ui->tunnelAddress1, ui->gatewaySn_2, ui->tunnelAddress1_2})
            QVERIFY(label->textInteractionFlags() & Qt::TextSelectableByMouse);
        QVERIFY(ui->treeWidget->isHeaderHidden());

        QTableWidget *table = ui->tableWidget;
        QStringList headers;
        for (int column = 0; column < table->columnCount(); ++column)
            headers << table->horizontalHeaderItem(column)->text();
        QCOMPARE(headers.join(QLatin1Char('|')), QStringLiteral("设备状态|设备名称|设备类型|真实IP|虚拟IP"));
        QVERIFY(table->horizontalHeader()->sectionResizeMode(0) == QHeaderView::Stretch && !table->editTriggers() &&
                !table->verticalHeader()->isVisible() && !table->horizontalHeader()->highlightSections());

        // Keyboard order of the text fields.
        QWidget *field = ui->b_tap_LineEdit;
        for (QWidget *expected : {ui->b_tap_pswd_lineEdit, ui->lineEdit_search_SITE_NAME, ui->lineEdit_search_GW}) {
            do
                field = field->nextInFocusChain();
            while (!qobject_cast<QLineEdit *>(field));
            QCOMPARE(field, expected);
        }

        // State and timers at construction.
        QVERIFY(window.platformReachable && window.wasReachable == 1);
        QVERIFY(!*window.tapBound && window.tapSerial.isEmpty() && !window.rootItem);
        QCOMPARE(window.cipherKeyText, QStringLiteral("271828182845904523536028747135266"));
        QCOMPARE(window.cipherKey, QByteArrayLiteral("271828182845904523536028747135266"));
        for (QTimer *timer :
             {window.watchdogTimer, window.reportTimer, window.reconnectTimer, window.connectTimeoutTimer})
            QVERIFY(timer && timer->parent() == &window && !timer->isActive());
        QCOMPARE(window.tunnelProcess->parent(), &window);
        QCOMPARE(window.tunnelProcess->processChannelMode(), QProcess::MergedChannels);
        QVERIFY(window.managementSocket && !window.managementSocket->parent());
        QVERIFY(window.userDesign && !window.userDesign->parent());

        // The maximise button and a double click in the title band share one state.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy spy(window.framelessHelper, &FramelessHelper::sigMax);
        const QImage restoredIcon = window.ui->btnMax->icon().pixmap(20).toImage();

        QTRY_VERIFY(matchesRoundedOutline(window.mask(), window.size(), 3));

        QTest::mouseClick(window.ui->btnMax, Qt::LeftButton);
        QVERIFY(window.framelessHelper->queryMaximized(&window));
        QCOMPARE(spy.count(), 1);
        QTRY_VERIFY(matchesRoundedOutline(window.mask(), window.size(), 3));
        QCOMPARE(window.ui->btnMax->icon().pixmap(20).toImage(),
                 QIcon(QStringLiteral(":/image/max2.png")).pixmap(20).toImage());

        // A double click in the title band restores what the button maximised.
        QTest::mouseDClick(&window, Qt::LeftButton, Qt::NoModifier, QPoint(400, 45));
        QVERIFY(!window.framelessHelper->queryMaximized(&window));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(window.ui->btnMax->icon().pixmap(20).toImage(), restoredIcon);
    }

    void tokenHandOverAndUserDialog()
    {
        Scene scene;
        QVERIFY(scene.isReady());
        MainWindow window;
        window.show();
        window.getToken("token-1", QStringLiteral("张伟"), QStringLiteral("pa ss&word"));
        QCOMPARE(window.sessionToken, QByteArrayLiteral("token-1"));
        QCOMPARE(QStringList({window.userName, window.userPassword, window.ui->username->text()}),
                 QStringList({QStringLiteral("张伟"), QStringLiteral("pa ss&word"), QStringLiteral("张伟")}));
        // No stored binding: the warning, then the bind page beside the empty page.
        QCOMPARE(shownBoxes(scene.boxes),
                 QStringList(QStringLiteral("warning/window/提示/检测到您在本机尚未绑定TAP，请先进行绑定！")));
        QVERIFY(showsBindPage(window));
        QCOMPARE(window.tapSerial, QByteArrayLiteral("unbound"));
        QVERIFY(!QFile::exists(scene.dir.filePath(QStringLiteral("TAPBOUND.ini"))));

        // The user button fills the dialog before it shows.
        window.tapSerial = "TAP-1";
        bool filledBeforeShown = false;
        connect(&window, &MainWindow::sendToken_UsrName_TAP, this,
                [&] { filledBeforeShown = !window.userDesign->isVisible(); });
        window.on_userdesign_clicked();
        QVERIFY(filledBeforeShown && window.userDesign->isVisible());
        QCOMPARE(window.userDesign->windowModality(), Qt::ApplicationModal);
        const Ui::UserDesign *dialog = window.userDesign->ui;
        QCOMPARE(QStringList({dialog->UserName->text(), dialog->Bound_TAP->text(), window.userDesign->sessionToken}),
                 QStringList({QStringLiteral("张伟"), QStringLiteral("TAP-1"), QStringLiteral("token-1")}));
        window.userDesign->close();
    }

    void exit_data()
    {
        QTest::addColumn<bool>("answerYes");
        QTest::addColumn<QStringList>("pids"); // of the recorded tunnels
        QTest::newRow("answered No") << false << QStringList{QStringLiteral("4242")};
        QTest::newRow("two tunnels") << true << QStringList{QStringLiteral("101"), QStringLiteral("202")};
        QTest::newRow("no tunnel") << true << QStringList();
    }

    void exit()
    {
        QFETCH(bool, answerYes);
        QFETCH(QStringList, pids);
        Scene scene;
        QVERIFY(scene.isReady());
        scene.boxes.queueAnswer(answerYes ? QMessageBox::Yes : QMessageBox::No);
        MainWindow window;
        window.show();
        const QByteArray token = *requestToken(demo::user, demo::password).token;
        scene.platform->clearRequests();
        window.sessionToken = token;
        window.tapSerial = "TAP-A";
        window.trafficDelta = 5120;
        window.tunnelTapList = window.tunnelInfoList = window.tunnelPidList = pids;
        window.reportTimer->start(60000);

        QTest::mouseClick(window.ui->btnExit, Qt::LeftButton);
        QCOMPARE(shownBoxes(scene.boxes), QStringList(QStringLiteral("question/none/提示/是否退出当前程序")));
        QCOMPARE(scene.host.killedProcessIds, answerYes ? pids : QStringList());
        QCOMPARE(window.tunnelPidList, pids); // only the processes are gone
        QList<QByteArray> sent;
        for (const sim::RecordedRequest &request : scene.platform->requests())
            sent << request.operation.toUtf8() + '?' + request.rawQuery;
        const QList<QByteArray> reports = {"updateTunnelAndTapState?token=" + token +
                                               "&gatewaySn=TAP-A&tunnelOnline=0&tapOnline=1&flowData=5120",
                                           "tunnelAlarmData?token=" + token + "&gatewaySn=TAP-A&warnSort=1&warnType=1"};
        QCOMPARE(sent, answerYes ? reports : QList<QByteArray>());
        QCOMPARE(window.trafficDelta, answerYes ? 0 : 5120);
        QCOMPARE(window.isVisible(), !answerYes);
        QVERIFY(answerYes || window.reportTimer->isActive());
    }

    void reachabilityProbeLatch()
    {
        Scene scene;
        QVERIFY(scene.isReady());
        MainWindow window;
        window.userName = QStringLiteral("demo");
        window.userPassword = QStringLiteral("Demo@2026");

        window.probeReachability();
        QVERIFY(window.platformReachable && scene.platform->requests(QStringLiteral("gatewayVagueFind")).isEmpty());

        scene.platform->setFault(QStringLiteral("getLintraToken"), fault(Drop));
        window.probeReachability();
        QVERIFY(!window.platformReachable && window.wasReachable == 0);

        // Recovery reloads gateway page 1 exactly once (this window never logged in: the page is
        // refused with 10002, the token renewed and the page asked for once more).
        scene.platform->clearFaults();
        window.probeReachability();
        window.probeReachability();
        QVERIFY(window.platformReachable && window.wasReachable == 1 && !window.sessionToken.isEmpty());
        const auto reloads = scene.platform->requests(QStringLiteral("gatewayVagueFind"));
        QCOMPARE(reloads.size(), 2);
        QCOMPARE(reloads.first().value(QStringLiteral("index")), QStringLiteral("1"));
        QCOMPARE(reloads.last().value(QStringLiteral("token")).toUtf8(), window.sessionToken);
        window.sessionToken.clear();

        // 10002 to the probe: exactly one re-request, which stores the granted token.
        scene.platform->clearRequests();
        sim::Fault expired = fault(10002);
        expired.times = 1;
        scene.platform->setFault(QStringLiteral("getLintraToken"), expired);
        window.probeReachability();
        QCOMPARE(scene.platform->requests(QStringLiteral("getLintraToken")).size(), 2);
        QVERIFY(!window.sessionToken.isEmpty());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
