// A platform that accepts connections and never answers: while an exchange waits for it, the
// window serves its event loop, takes no input that starts another operation, and a quit ends the
// wait at once.
#include "api/exchangewait.h"
#include "api/platformcall.h"
#include "api/operations.h"
#include "support/boundwindow.h"
#include "ui/busycursor.h"
#include "ui/resources.h"

#include <QtTest>

namespace {
const QString gatewayBatchFind = QStringLiteral("gatewayBatchFind");
const QString gatewayVagueFind = QStringLiteral("gatewayVagueFind");
} // namespace

class TestPlatformWait : public QObject {
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

QTEST_MAIN(TestPlatformWait)
#include "tst_platformwait.moc"
