// The main window's construction, chrome, session hand-over and exit sequence.
#include "api/sessiontoken.h"
#include "mainwindow/framelesshelper.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/userdesign.h"
#include "support/fakehostsystem.h"
#include "support/messagerecorder.h"
#include "support/simfixture.h"
#include "support/workdir.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"
#include "ui_userdesign.h"

#include <QHeaderView>
#include <QTimer>
#include <QtTest>

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void formObjectsAndGeometry()
    {
        ScopedWorkDir dir;
        MainWindow window;
        QCOMPARE(window.size(), QSize(1039, 672));
        QCOMPARE(window.minimumSize(), QSize(696, 546));
        QCOMPARE(window.windowTitle(), QStringLiteral("MainWindow"));
        QCOMPARE(window.windowFlags() & (Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                                         | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
                 Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);

        Ui::MainWindow *ui = window.ui;
        QCOMPARE(ui->widgetTitle->minimumHeight(), 90);
        QCOMPARE(ui->widgetTitle->maximumHeight(), 90);
        QCOMPARE(ui->label_39->text(), QStringLiteral("Korvane·设备接入灵途"));
        QCOMPARE(ui->label_3->text(), QStringLiteral(" 用户名："));
        QCOMPARE(ui->userdesign->toolTip(), QStringLiteral("用户"));
        QCOMPARE(ui->btnMin->toolTip(), QStringLiteral("最小化"));
        QCOMPARE(ui->btnMax->toolTip(), QStringLiteral("最大化"));
        QCOMPARE(ui->btnExit->toolTip(), QStringLiteral("退出"));
        QCOMPARE(ui->showAllGwList->text(), QStringLiteral("所有网关"));
        QCOMPARE(ui->searchGwPage->text(), QStringLiteral("搜索网关"));
        QCOMPARE(ui->searchGwBtn->text(), QStringLiteral("搜索"));
        QCOMPARE(ui->btn_bound_tap->text(), QStringLiteral("绑定"));
        QCOMPARE(ui->b_tap_pswd_lineEdit->echoMode(), QLineEdit::Password);
        QCOMPARE(ui->label_4->text(), QStringLiteral("设备列表"));
        QCOMPARE(ui->WG_Current_Page->text(), QStringLiteral("?"));
        QCOMPARE(ui->DEV_Total_Page->text(), QStringLiteral("?"));
        QVERIFY(ui->frame->maximumWidth() <= 300);

        // The pages the form starts on; the TAP check after login chooses the visible ones.
        QCOMPARE(ui->stackedWidget->currentIndex(), 1);
        QCOMPARE(ui->stackedWidget_2->currentIndex(), 0);
        QCOMPARE(ui->stackedWidget_GWMSG->currentIndex(), 1);
        QCOMPARE(ui->stackedWidget_Dev->currentIndex(), 0);
        QCOMPARE(ui->stackedWidget->widget(0), ui->page);
        QCOMPARE(ui->stackedWidget->widget(1), ui->page_2);
        QCOMPARE(ui->stackedWidget->widget(2), ui->page_5);
        QCOMPARE(ui->stackedWidget_2->widget(1), ui->page_4);
        QCOMPARE(ui->stackedWidget_GWMSG->widget(1), ui->page_13);
        QCOMPARE(ui->stackedWidget_Dev->widget(1), ui->page_7);

        for (QLabel *label : {ui->gatewaySn, ui->tunnelAddress1, ui->gatewaySn_2, ui->tunnelAddress1_2})
            QVERIFY(label->textInteractionFlags() & Qt::TextSelectableByMouse);
        QVERIFY(ui->treeWidget->isHeaderHidden());

        QTableWidget *table = ui->tableWidget;
        QCOMPARE(table->columnCount(), 5);
        const QStringList headers = {QStringLiteral("设备状态"), QStringLiteral("设备名称"), QStringLiteral("设备类型"),
                                     QStringLiteral("真实IP"), QStringLiteral("虚拟IP")};
        for (int column = 0; column < 5; ++column)
            QCOMPARE(table->horizontalHeaderItem(column)->text(), headers.at(column));
        QCOMPARE(table->horizontalHeader()->sectionResizeMode(0), QHeaderView::Stretch);
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(!table->verticalHeader()->isVisible());
        QVERIFY(!table->horizontalHeader()->highlightSections());

        // Keyboard order of the text fields.
        auto nextField = [](QWidget *from) {
            QWidget *next = from->nextInFocusChain();
            while (next != from && !qobject_cast<QLineEdit *>(next))
                next = next->nextInFocusChain();
            return next;
        };
        QCOMPARE(nextField(ui->b_tap_LineEdit), static_cast<QWidget *>(ui->b_tap_pswd_lineEdit));
        QCOMPARE(nextField(ui->b_tap_pswd_lineEdit), static_cast<QWidget *>(ui->lineEdit_search_SITE_NAME));
        QCOMPARE(nextField(ui->lineEdit_search_SITE_NAME), static_cast<QWidget *>(ui->lineEdit_search_GW));
    }

    void stateAndTimersAtConstruction()
    {
        ScopedWorkDir dir;
        MainWindow window;
        QVERIFY(window.platformReachable);
        QCOMPARE(window.wasReachable, 1);
        QVERIFY(!*window.tapBound);
        QVERIFY(window.tapSerial.isEmpty());
        QCOMPARE(window.cipherKeyText, QStringLiteral("271828182845904523536028747135266"));
        QCOMPARE(window.cipherKey, QByteArrayLiteral("271828182845904523536028747135266"));
        QVERIFY(!window.rootItem);
        for (QTimer *timer : {window.watchdogTimer, window.reportTimer, window.reconnectTimer, window.connectTimeoutTimer}) {
            QVERIFY(timer);
            QCOMPARE(timer->parent(), &window);
            QVERIFY(!timer->isActive());
        }
        QCOMPARE(window.tunnelProcess->parent(), &window);
        QCOMPARE(window.tunnelProcess->processChannelMode(), QProcess::MergedChannels);
        QVERIFY(window.managementSocket && !window.managementSocket->parent());
        QVERIFY(window.userDesign && !window.userDesign->parent());
    }

    void maximiseButtonAndDoubleClickShareOneState()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy spy(window.framelessHelper, &FramelessHelper::sigMax);
        const QImage restoredIcon = window.ui->btnMax->icon().pixmap(20).toImage();

        QTest::mouseClick(window.ui->btnMax, Qt::LeftButton);
        QVERIFY(window.framelessHelper->queryMaximized(&window));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(window.ui->btnMax->icon().pixmap(20).toImage(),
                 QIcon(QStringLiteral(":/image/max2.png")).pixmap(20).toImage());

        // A double click in the title band restores what the button maximised.
        QTest::mouseDClick(&window, Qt::LeftButton, Qt::NoModifier, QPoint(400, 45));
        QVERIFY(!window.framelessHelper->queryMaximized(&window));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(window.ui->btnMax->icon().pixmap(20).toImage(), restoredIcon);
    }

    void tokenHandOverShowsTheUserAndTheBindPage()
    {
        ScopedWorkDir dir;
        SimFixture platform;
        MessageRecorder boxes;
        MainWindow window;
        window.show();
        window.getToken("token-1", QStringLiteral("张伟"), QStringLiteral("pa ss&word"));
        QCOMPARE(window.sessionToken, QByteArrayLiteral("token-1"));
        QCOMPARE(window.userName, QStringLiteral("张伟"));
        QCOMPARE(window.userPassword, QStringLiteral("pa ss&word"));
        QCOMPARE(window.ui->username->text(), QStringLiteral("张伟"));
        // No stored binding: the warning, then the bind page beside the empty page.
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().kind, MessageBoxes::Kind::Warning);
        QCOMPARE(boxes.last().parent, static_cast<QWidget *>(&window));
        QCOMPARE(boxes.last().text, QStringLiteral("检测到您在本机尚未绑定TAP，请先进行绑定！"));
        QCOMPARE(window.ui->stackedWidget->currentIndex(), 2);
        QCOMPARE(window.ui->stackedWidget_2->currentIndex(), 1);
        QCOMPARE(window.tapSerial, QByteArrayLiteral("unbound"));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("TAPBOUND.ini"))));
    }

    void userButtonFillsTheDialogBeforeShowingIt()
    {
        ScopedWorkDir dir;
        MessageRecorder boxes;
        MainWindow window;
        window.sessionToken = "tok";
        window.ui->username->setText(QStringLiteral("demo"));
        window.tapSerial = "TAP-1";
        bool filledBeforeShown = false;
        connect(&window, &MainWindow::sendToken_UsrName_TAP, this, [&] { filledBeforeShown = !window.userDesign->isVisible(); });
        window.on_userdesign_clicked();
        QVERIFY(filledBeforeShown);
        QVERIFY(window.userDesign->isVisible());
        QCOMPARE(window.userDesign->windowModality(), Qt::ApplicationModal);
        QCOMPARE(window.userDesign->ui->UserName->text(), QStringLiteral("demo"));
        QCOMPARE(window.userDesign->ui->Bound_TAP->text(), QStringLiteral("TAP-1"));
        QCOMPARE(window.userDesign->sessionToken, QStringLiteral("tok"));
        window.userDesign->close();

        window.tapSerial.clear();
        window.on_userdesign_clicked();
        QCOMPARE(window.userDesign->ui->Bound_TAP->text(), QStringLiteral("unbound"));
        window.userDesign->close();
    }

    void exitAnsweredNoChangesNothing()
    {
        ScopedWorkDir dir;
        SimFixture platform;
        FakeHostSystem host;
        MessageRecorder boxes;
        boxes.queueAnswer(QMessageBox::No);
        MainWindow window;
        window.show();
        window.tunnelTapList = QStringList{QStringLiteral("TAP-A")};
        window.tunnelPidList = QStringList{QStringLiteral("4242")};
        window.reportTimer->start(60000);

        QTest::mouseClick(window.ui->btnExit, Qt::LeftButton);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().kind, MessageBoxes::Kind::Question);
        QCOMPARE(boxes.last().title, QStringLiteral("提示"));
        QCOMPARE(boxes.last().text, QStringLiteral("是否退出当前程序"));
        QVERIFY(!boxes.last().parent);
        QVERIFY(host.killedProcessIds.isEmpty());
        QVERIFY(platform->requests().isEmpty());
        QVERIFY(window.isVisible());
        QVERIFY(window.reportTimer->isActive());
    }

    void exitAnsweredYesKillsReportsAndCloses()
    {
        ScopedWorkDir dir;
        SimFixture platform;
        FakeHostSystem host;
        MessageRecorder boxes;
        boxes.queueAnswer(QMessageBox::Yes);
        MainWindow window;
        window.show();
        const QByteArray token = *requestToken(QStringLiteral("demo"), QStringLiteral("Demo@2026")).token;
        platform->clearRequests();
        window.sessionToken = token;
        window.tapSerial = "TAP-A";
        window.trafficDelta = 5120;
        window.tunnelTapList = QStringList{QStringLiteral("TAP-A"), QStringLiteral("TAP-B")};
        window.tunnelInfoList = QStringList{QStringLiteral("pa"), QStringLiteral("pb")};
        window.tunnelPidList = QStringList{QStringLiteral("101"), QStringLiteral("202")};

        QTest::mouseClick(window.ui->btnExit, Qt::LeftButton);
        QCOMPARE(host.killedProcessIds, QStringList({QStringLiteral("101"), QStringLiteral("202")}));
        // The lists stay as they were; only the processes are gone.
        QCOMPARE(window.tunnelTapList.size(), 2);

        const QList<sim::RecordedRequest> requests = platform->requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.at(0).operation, QStringLiteral("updateTunnelAndTapState"));
        QCOMPARE(requests.at(0).rawQuery,
                 "token=" + token + "&gatewaySn=TAP-A&tunnelOnline=0&tapOnline=1&flowData=5120");
        QCOMPARE(requests.at(1).operation, QStringLiteral("tunnelAlarmData"));
        QCOMPARE(requests.at(1).rawQuery, "token=" + token + "&gatewaySn=TAP-A&warnSort=1&warnType=1");
        QCOMPARE(window.trafficDelta, 0);
        QVERIFY(!window.isVisible());
    }

    void exitWithoutTunnelsStillReports()
    {
        ScopedWorkDir dir;
        SimFixture platform;
        FakeHostSystem host;
        MessageRecorder boxes;
        MainWindow window;
        window.show();
        window.on_btnExit_clicked();
        QVERIFY(host.killedProcessIds.isEmpty());
        QCOMPARE(platform->requests(QStringLiteral("updateTunnelAndTapState")).size(), 1);
        QCOMPARE(platform->requests(QStringLiteral("tunnelAlarmData")).size(), 1);
    }

    void reachabilityProbeLatch()
    {
        ScopedWorkDir dir;
        SimFixture platform;
        MessageRecorder boxes;
        MainWindow window;
        window.userName = QStringLiteral("demo");
        window.userPassword = QStringLiteral("Demo@2026");

        window.probeReachability();
        QVERIFY(window.platformReachable);
        QVERIFY(platform->requests(QStringLiteral("gatewayVagueFind")).isEmpty());

        sim::Fault drop;
        drop.dropConnection = true;
        platform->setFault(QStringLiteral("getLintraToken"), drop);
        window.probeReachability();
        QVERIFY(!window.platformReachable);
        QCOMPARE(window.wasReachable, 0);

        // Recovery reloads gateway page 1 exactly once.
        platform->clearFaults();
        window.probeReachability();
        window.probeReachability();
        QVERIFY(window.platformReachable);
        QCOMPARE(window.wasReachable, 1);
        const auto reloads = platform->requests(QStringLiteral("gatewayVagueFind"));
        QCOMPARE(reloads.size(), 1);
        QCOMPARE(reloads.first().value(QStringLiteral("index")), QStringLiteral("1"));
        QVERIFY(window.sessionToken.isEmpty());

        // 10002 to the probe: exactly one re-request, which stores the granted token.
        platform->clearRequests();
        sim::Fault expired;
        expired.code = 10002;
        expired.times = 1;
        platform->setFault(QStringLiteral("getLintraToken"), expired);
        window.probeReachability();
        QCOMPARE(platform->requests(QStringLiteral("getLintraToken")).size(), 2);
        QVERIFY(!window.sessionToken.isEmpty());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
