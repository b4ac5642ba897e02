// The user settings dialog: releasing the TAP binding on the platform, in TAPBOUND.ini and in the
// main window, and dragging the dialog by its title bar.
#include "mainwindow/mainwindow.h"
#include "mainwindow/userdesign.h"
#include "store/tapbindingstore.h"
#include "support/bindinghelpers.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"
#include "ui_userdesign.h"

#include <QtTest>

using namespace bindingtest;

namespace {

const QString kUpdateTapAuth = QStringLiteral("updateTapAuth");
enum AtLogin { Stored, ByHand, Never, Unanswered }; // demo's binding to TAP-DEMO-0001 at login

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

    void release_data()
    {
        QTest::addColumn<int>("atLogin");
        QTest::addColumn<bool>("answerYes");
        QTest::addColumn<int>("trouble");
        QTest::newRow("answered No") << int(Stored) << false << 0;
        QTest::newRow("platform agrees") << int(Stored) << true << 0;
        QTest::newRow("bound by hand in this run") << int(ByHand) << true << 0;
        // Any reply code means the platform took note of the release; no code, no release.
        QTest::newRow("code 10002") << int(Stored) << true << 10002;
        QTest::newRow("code 10005") << int(Stored) << true << 10005;
        QTest::newRow("transfer failed") << int(Stored) << true << int(Drop);
        QTest::newRow("not JSON") << int(Stored) << true << int(NotJson);
        QTest::newRow("JSON without code") << int(Stored) << true << int(Custom);
        // Nothing to release: the login check left "unbound", also when it got no answer.
        QTest::newRow("never bound") << int(Never) << true << 0;
        QTest::newRow("stored, check unanswered") << int(Unanswered) << true << 0;
    }

    void release()
    {
        QFETCH(int, atLogin);
        QFETCH(bool, answerYes);
        QFETCH(int, trouble);
        const bool bound = atLogin == Stored || atLogin == ByHand;
        const bool succeeds = bound && answerYes && trouble >= 0;
        Scene scene;
        QVERIFY(scene.isReady());
        storeBinding(demo::engineer, demo::tap2, demo::tap2Password);
        if (atLogin == Stored || atLogin == Unanswered)
            storeBinding(demo::user, demo::tap, demo::tapPassword);
        storeBinding(QStringLiteral("zhangwei"), QStringLiteral("TAP-ZW-1"), QStringLiteral("Zw#1"));
        if (atLogin == Unanswered)
            scene.platform->setFault(QStringLiteral("tapAuthLogin"), fault(Drop));
        MainWindow window;
        QVERIFY(logIn(window, demo::user, demo::password));
        if (atLogin == ByHand) // after the dialog had read the file
            bindManually(window, demo::tap, demo::tapPassword);
        QCOMPARE(*window.tapBound, bound);
        QCOMPARE(window.tapSerial, bound ? demo::tap.toUtf8() : QByteArrayLiteral("unbound"));
        const QByteArray fileBefore = fileBytes();
        window.on_userdesign_clicked();
        scene.platform->setFault(kUpdateTapAuth, fault(trouble, R"({"msg":"ok"})"));
        scene.boxes.clear();
        scene.boxes.queueAnswer(answerYes ? QMessageBox::Yes : QMessageBox::No);

        QTest::mouseClick(window.userDesign->ui->toolButton, Qt::LeftButton);

        const bool asked = bound && answerYes;
        QCOMPARE(scene.requestCount(kUpdateTapAuth), int(asked));
        QCOMPARE(scene.platform->requests(kUpdateTapAuth).value(0).rawQuery,
                 asked ? "gatewaySn=TAP-DEMO-0001&token=" + window.sessionToken : QByteArray());
        QStringList boxes{bound ? QStringLiteral("question/none/提示/是否解除当前TAP绑定")
                                : QStringLiteral("warning/none/警告/当前尚未绑定TAP")};
        if (asked)
            boxes << (succeeds ? QStringLiteral("information/none/提示/解绑成功")
                               : QStringLiteral("critical/none/错误/解绑失败"));
        QCOMPARE(shownBoxes(scene.boxes), boxes);
        QVERIFY(dialogBoxes(scene.boxes));
        const bool stillBound = bound && !succeeds;
        QCOMPARE(window.userDesign->isVisible(), !succeeds);
        QCOMPARE(window.userDesign->ui->Bound_TAP->text(), stillBound ? demo::tap : QStringLiteral("unbound"));
        QCOMPARE(*window.tapBound, stillBound);
        QCOMPARE(showsBindPage(window), !stillBound);
        QCOMPARE(window.boundUserNames.size(), succeeds || atLogin == Never ? 2 : 3);
        // Only this user's binding leaves the file; the others keep their order.
        if (succeeds)
            QCOMPARE(storedBindings(), QStringList({QStringLiteral("zhangwei|TAP-ZW-1|Zw#1"),
                                                    binding(demo::engineer, demo::tap2, demo::tap2Password)}));
        else
            QCOMPARE(fileBytes(), fileBefore);
    }

    // A release the file cannot take is told after the platform's answer; the window is unbound all
    // the same.
    void releaseNotStored()
    {
        Scene scene;
        QVERIFY(scene.isReady() && QDir().mkdir(TapBindingStore::filePath()));
        MainWindow window;
        QVERIFY(logIn(window, demo::user, demo::password));
        bindManually(window, demo::tap, demo::tapPassword);
        window.on_userdesign_clicked();
        scene.boxes.clear();
        QTest::mouseClick(window.userDesign->ui->toolButton, Qt::LeftButton);
        QCOMPARE(shownBoxes(scene.boxes),
                 QStringList({QStringLiteral("question/none/提示/是否解除当前TAP绑定"),
                              QStringLiteral("information/none/提示/解绑成功"),
                              QStringLiteral("warning/none/提示/TAP绑定信息保存失败，请检查磁盘空间或文件权限")}));
        QVERIFY(dialogBoxes(scene.boxes) && showsBindPage(window) && !*window.tapBound);
        QVERIFY(QFileInfo(TapBindingStore::filePath()).isDir());
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

    // Minimising the modal dialog takes the blocked main window down with it, and restoring either
    // brings both back; the dialog's outline stands out against white panels.
    void minimisedTogetherWithAnEdge()
    {
        ScopedWorkDir dir;
        MainWindow window;
        window.show();
        window.on_userdesign_clicked();
        UserDesign *dialog = window.userDesign;
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        for (QWidget *restored : {static_cast<QWidget *>(&window), static_cast<QWidget *>(dialog)}) {
            QTest::mouseClick(dialog->ui->btnMin, Qt::LeftButton);
            QVERIFY(window.isMinimized() && dialog->isMinimized());
            restored->showNormal();
            QTRY_VERIFY(!window.isMinimized() && !dialog->isMinimized() && dialog->isVisible());
        }
        const QImage shot = dialog->grab().toImage();
        for (const QPoint &at : {QPoint(0, shot.height() / 2), QPoint(shot.width() - 1, shot.height() / 2),
                                 QPoint(shot.width() / 2, shot.height() - 1)})
            QVERIFY2(qGray(shot.pixel(at)) < 170, qPrintable(QStringLiteral("%1,%2").arg(at.x()).arg(at.y())));
        dialog->close();
    }
};

QTEST_MAIN(TestUserDesign)
#include "tst_userdesign.moc"
