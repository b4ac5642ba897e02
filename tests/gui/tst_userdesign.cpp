// The user settings dialog: releasing the TAP binding on the platform, in TAPBOUND.ini and in the
// main window, and dragging the dialog by its title bar.
#include "mainwindow/mainwindow.h"
#include "mainwindow/userdesign.h"
#include "support/bindinghelpers.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"
#include "ui_userdesign.h"

#include <QtTest>

using namespace bindingtest;

namespace {

const QString kUpdateTapAuth = QStringLiteral("updateTapAuth");

// Every box the dialog shows carries its logo and, unless it asks, a single Yes button.
bool dialogBoxes(const MessageRecorder &recorder)
{
    const QImage logo = QIcon(QStringLiteral(":/image/logo3.png")).pixmap(32).toImage();
    return std::all_of(recorder.boxes().begin(), recorder.boxes().end(), [&](const MessageBoxes::Request &box) {
        return box.windowIcon.pixmap(32).toImage() == logo &&
               (box.kind == MessageBoxes::Kind::Question || box.buttons == QMessageBox::Yes);
    });
}

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &globalPos, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(target->mapFromGlobal(globalPos)), QPointF(globalPos), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TestUserDesign : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void nothingToReleaseWhileUnbound()
    {
        // No binding: the login check leaves "unbound". A stored binding the platform did not
        // answer for: the check leaves the serial empty. Either way the dialog shows "unbound".
        for (const bool storedButUnanswered : {false, true}) {
            Scene scene;
            QVERIFY(scene.isReady());
            if (storedButUnanswered) {
                storeBinding(demo, tap1, tap1Password);
                scene.platform->setFault(QStringLiteral("tapAuthLogin"), fault(Drop));
            }
            MainWindow window;
            QVERIFY(logIn(window, demo, demoPassword));
            QCOMPARE(window.tapSerial.isEmpty(), storedButUnanswered);
            scene.boxes.clear();
            window.on_userdesign_clicked();
            QCOMPARE(window.userDesign->ui->Bound_TAP->text(), QStringLiteral("unbound"));

            QTest::mouseClick(window.userDesign->ui->toolButton, Qt::LeftButton);
            QCOMPARE(shownBoxes(scene.boxes), QStringList(QStringLiteral("warning/none/警告/当前尚未绑定TAP")));
            QVERIFY(dialogBoxes(scene.boxes));
            QCOMPARE(scene.requestCount(kUpdateTapAuth), 0);
            QVERIFY(!*window.tapBound && window.userDesign->isVisible());
            QCOMPARE(storedBindings().size(), int(storedButUnanswered));
        }
    }

    void release_data()
    {
        QTest::addColumn<bool>("answerYes");
        QTest::addColumn<int>("trouble");
        QTest::addColumn<bool>("boundByHand"); // in this run, after the dialog had read the file
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("answered No") << false << 0 << false << false;
        QTest::newRow("platform agrees") << true << 0 << false << true;
        QTest::newRow("bound by hand in this run") << true << 0 << true << true;
        // Any reply code means the platform took note of the release.
        QTest::newRow("code 10002") << true << 10002 << false << true;
        QTest::newRow("code 10005") << true << 10005 << false << true;
        QTest::newRow("transfer failed") << true << int(Drop) << false << false;
        QTest::newRow("not JSON") << true << int(NotJson) << false << false;
        QTest::newRow("no code") << true << int(Custom) << false << false;
        QTest::newRow("truncated") << true << int(Truncated) << false << false;
    }

    void release()
    {
        QFETCH(bool, answerYes);
        QFETCH(int, trouble);
        QFETCH(bool, boundByHand);
        QFETCH(bool, succeeds);
        Scene scene;
        QVERIFY(scene.isReady());
        storeBinding(engineer, tap2, tap2Password);
        if (!boundByHand)
            storeBinding(demo, tap1, tap1Password);
        storeBinding(QStringLiteral("zhangwei"), QStringLiteral("TAP-ZW-1"), QStringLiteral("Zw#1"));
        MainWindow window;
        QVERIFY(logIn(window, demo, demoPassword));
        if (boundByHand)
            bindManually(window, tap1, tap1Password);
        window.ui->b_tap_LineEdit->setText(tap1);
        QVERIFY(*window.tapBound);
        const QByteArray fileBefore = fileBytes();
        window.on_userdesign_clicked();
        scene.platform->setFault(kUpdateTapAuth, fault(trouble, R"({"msg":"ok"})"));
        scene.boxes.clear();
        scene.boxes.queueAnswer(answerYes ? QMessageBox::Yes : QMessageBox::No);

        QTest::mouseClick(window.userDesign->ui->toolButton, Qt::LeftButton);

        QCOMPARE(scene.requestCount(kUpdateTapAuth), int(answerYes));
        QCOMPARE(scene.platform->requests(kUpdateTapAuth).value(0).rawQuery,
                 answerYes ? "gatewaySn=TAP-DEMO-0001&token=" + window.sessionToken : QByteArray());
        QStringList boxes{QStringLiteral("question/none/提示/是否解除当前TAP绑定")};
        if (answerYes)
            boxes << (succeeds ? QStringLiteral("information/none/提示/解绑成功")
                               : QStringLiteral("critical/none/错误/解绑失败"));
        QCOMPARE(shownBoxes(scene.boxes), boxes);
        QVERIFY(dialogBoxes(scene.boxes));
        QCOMPARE(window.userDesign->isVisible(), !succeeds);
        QCOMPARE(window.userDesign->ui->Bound_TAP->text(), succeeds ? QStringLiteral("unbound") : tap1);
        QCOMPARE(*window.tapBound, !succeeds);
        QCOMPARE(window.tapSerial, succeeds ? QByteArrayLiteral("unbound") : tap1.toUtf8());
        QCOMPARE(window.ui->b_tap_LineEdit->text(), succeeds ? QString() : tap1);
        QCOMPARE(window.ui->treeWidget->topLevelItemCount(), succeeds ? 0 : 1);
        QCOMPARE(showsBindPage(window), succeeds);
        QCOMPARE(window.boundUserNames.size(), succeeds ? 2 : 3);
        if (!succeeds) {
            QCOMPARE(fileBytes(), fileBefore);
            return;
        }
        // Only this user's binding leaves the file; the others keep their order.
        QCOMPARE(storedBindings(),
                 QStringList({QStringLiteral("zhangwei|TAP-ZW-1|Zw#1"), binding(engineer, tap2, tap2Password)}));
        scene.boxes.clear();
        scene.platform->clearRequests();
        MainWindow nextRun;
        QVERIFY(logIn(nextRun, demo, demoPassword));
        QCOMPARE(scene.boxes.texts(), QStringList(QStringLiteral("检测到您在本机尚未绑定TAP，请先进行绑定！")));
        QCOMPARE(scene.requestCount(QStringLiteral("tapAuthLogin")), 0);
    }

    void titleBarDragMovesTheDialog()
    {
        ScopedWorkDir dir;
        UserDesign dialog(std::make_shared<bool>(false));
        dialog.move(200, 150);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QWidget *title = dialog.ui->widgetTitle;
        const QPoint start = dialog.pos();
        const QPoint grip = title->mapToGlobal(QPoint(120, 40));
        // Moving without a press, or pressing another button first, does not move it.
        sendMouse(title, QEvent::MouseMove, grip + QPoint(50, 50), Qt::NoButton);
        sendMouse(title, QEvent::MouseButtonPress, grip + QPoint(50, 50), Qt::RightButton);
        QCOMPARE(dialog.pos(), start);
        sendMouse(title, QEvent::MouseButtonPress, grip, Qt::LeftButton);
        for (const QPoint &by : {QPoint(30, 20), QPoint(-45, 65)}) {
            sendMouse(title, QEvent::MouseMove, grip + by, Qt::LeftButton);
            QTRY_COMPARE(dialog.pos(), start + by);
        }
        sendMouse(title, QEvent::MouseButtonRelease, grip + QPoint(-45, 65), Qt::LeftButton);
        sendMouse(title, QEvent::MouseMove, grip + QPoint(200, 200), Qt::NoButton);
        QCoreApplication::processEvents();
        QCOMPARE(dialog.pos(), start + QPoint(-45, 65));
    }
};

QTEST_MAIN(TestUserDesign)
#include "tst_userdesign.moc"
