// The user settings dialog: releasing the TAP binding on the platform, in TAPBOUND.ini and in the
// main window, and dragging the dialog by its title bar.
#include "api/sessiontoken.h"
#include "crypto/credentialcipher.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/userdesign.h"
#include "store/tapbindingstore.h"
#include "support/fakehostsystem.h"
#include "support/messagerecorder.h"
#include "support/simfixture.h"
#include "support/workdir.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"
#include "ui_userdesign.h"

#include <QtTest>

namespace {

const QString kDemo = QStringLiteral("demo");
const QString kDemoPassword = QStringLiteral("Demo@2026");
const QString kTap1 = QStringLiteral("TAP-DEMO-0001");
const QString kTap1Password = QStringLiteral("Tap@0001");

enum class Trouble { None, ForcedCode, NotJson, NoCode, Truncated, Dropped };

void arrange(SimFixture &platform, const QString &operation, Trouble trouble, int code = 0)
{
    sim::Fault fault;
    switch (trouble) {
    case Trouble::None:
        return;
    case Trouble::ForcedCode:
        fault.code = code;
        break;
    case Trouble::NotJson:
        fault.body = sim::Fault::Body::NotJson;
        break;
    case Trouble::NoCode:
        fault.body = sim::Fault::Body::Custom;
        fault.customBody = QByteArrayLiteral("{\"msg\":\"ok\"}");
        break;
    case Trouble::Truncated:
        fault.body = sim::Fault::Body::Truncated;
        break;
    case Trouble::Dropped:
        fault.dropConnection = true;
        break;
    }
    platform->setFault(operation, fault);
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString kBindingFile = QStringLiteral("./TAPBOUND.ini");

QString decipher(const QByteArray &cipher)
{
    return QString::fromUtf8(CredentialCipher::decipher(cipher, CredentialCipher::keyBytes()));
}

// The bindings of ./TAPBOUND.ini as "user|serial", entry 0 first.
QStringList storedBindings()
{
    const TapBindingStore::Lists lists = TapBindingStore::load();
    QStringList result;
    for (int i = 0; i < lists.userNames.size(); ++i)
        result.append(decipher(lists.userNames.at(i)) + QLatin1Char('|') + decipher(lists.tapSerials.value(i)));
    return result;
}

// A binding as a successful bind of an earlier program run left it in the file.
void storeBinding(const QString &user, const QString &serial, const QString &password)
{
    MainWindow earlierRun;
    earlierRun.saveBinding(user, serial, password);
}

bool logIn(MainWindow &window, const QString &user, const QString &password)
{
    const TokenReply reply = requestToken(user, password);
    if (!reply.token)
        return false;
    window.getToken(reply.token->toStdString(), user, password);
    return true;
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(32).toImage();
}

bool showsBindPage(const MainWindow &window)
{
    return window.ui->stackedWidget->currentIndex() == 2 && window.ui->stackedWidget_2->currentIndex() == 1;
}

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &globalPos, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(target->mapFromGlobal(globalPos)), QPointF(globalPos), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

struct Scene {
    ScopedWorkDir dir;
    SimFixture platform;
    FakeHostSystem host;
    MessageRecorder boxes;

    bool isReady() const { return dir.isValid() && platform.isRunning(); }
    int releases() { return platform->requests(QStringLiteral("updateTapAuth")).size(); }
};

} // namespace

Q_DECLARE_METATYPE(Trouble)

class TestUserDesign : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void nothingToReleaseWhileUnbound_data();
    void nothingToReleaseWhileUnbound();
    void answeringNoKeepsTheBinding();
    void release_data();
    void release();
    void releasedUserIsAskedToBindAtNextLogin();
    void titleBarDragMovesTheDialog();
};

void TestUserDesign::nothingToReleaseWhileUnbound_data()
{
    QTest::addColumn<bool>("storedButUnanswered");
    // No binding: the login check left "unbound". A stored binding the platform did not answer
    // for at login: the check left the serial empty.
    QTest::newRow("no binding") << false;
    QTest::newRow("check unanswered") << true;
}

void TestUserDesign::nothingToReleaseWhileUnbound()
{
    QFETCH(bool, storedButUnanswered);

    Scene scene;
    QVERIFY(scene.isReady());
    if (storedButUnanswered) {
        storeBinding(kDemo, kTap1, kTap1Password);
        sim::Fault drop;
        drop.dropConnection = true;
        scene.platform->setFault(QStringLiteral("tapAuthLogin"), drop);
    }
    const QByteArray fileBefore = readBytes(kBindingFile);
    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    QCOMPARE(window.tapSerial.isEmpty(), storedButUnanswered);
    scene.boxes.clear();

    window.on_userdesign_clicked();
    UserDesign *dialog = window.userDesign;
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->ui->UserName->text(), kDemo);
    QCOMPARE(dialog->ui->Bound_TAP->text(), QStringLiteral("unbound"));

    QTest::mouseClick(dialog->ui->toolButton, Qt::LeftButton);

    QCOMPARE(scene.boxes.count(), 1);
    const MessageBoxes::Request box = scene.boxes.last();
    QCOMPARE(box.kind, MessageBoxes::Kind::Warning);
    QVERIFY(!box.parent);
    QCOMPARE(box.title, QStringLiteral("警告"));
    QCOMPARE(box.text, QStringLiteral("当前尚未绑定TAP"));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Yes));
    QCOMPARE(iconImage(box.windowIcon), iconImage(QIcon(QStringLiteral(":/image/logo3.png"))));
    QCOMPARE(scene.releases(), 0);
    QVERIFY(!*window.tapBound);
    QVERIFY(dialog->isVisible());
    QCOMPARE(readBytes(kBindingFile), fileBefore);
}

void TestUserDesign::answeringNoKeepsTheBinding()
{
    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(kDemo, kTap1, kTap1Password);
    const QByteArray fileBefore = readBytes(kBindingFile);
    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    QVERIFY(*window.tapBound);
    window.on_userdesign_clicked();
    UserDesign *dialog = window.userDesign;
    QSignalSpy released(dialog, &UserDesign::closeSon);
    scene.boxes.queueAnswer(QMessageBox::No);

    QTest::mouseClick(dialog->ui->toolButton, Qt::LeftButton);

    QCOMPARE(scene.boxes.count(), 1);
    const MessageBoxes::Request question = scene.boxes.last();
    QCOMPARE(question.kind, MessageBoxes::Kind::Question);
    QVERIFY(!question.parent);
    QCOMPARE(question.title, QStringLiteral("提示"));
    QCOMPARE(question.text, QStringLiteral("是否解除当前TAP绑定"));
    QCOMPARE(iconImage(question.windowIcon), iconImage(QIcon(QStringLiteral(":/image/logo3.png"))));
    QCOMPARE(scene.releases(), 0);
    QCOMPARE(released.count(), 0);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->ui->Bound_TAP->text(), kTap1);
    QVERIFY(*window.tapBound);
    QCOMPARE(window.tapSerial, kTap1.toUtf8());
    QCOMPARE(readBytes(kBindingFile), fileBefore);
}

void TestUserDesign::release_data()
{
    QTest::addColumn<Trouble>("trouble");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("platform agrees") << Trouble::None << 0 << true;
    // Any reply code means the platform took note of the release.
    QTest::newRow("code 10002") << Trouble::ForcedCode << 10002 << true;
    QTest::newRow("code 10005") << Trouble::ForcedCode << 10005 << true;
    QTest::newRow("transfer failed") << Trouble::Dropped << 0 << false;
    QTest::newRow("not JSON") << Trouble::NotJson << 0 << false;
    QTest::newRow("no code") << Trouble::NoCode << 0 << false;
    QTest::newRow("truncated") << Trouble::Truncated << 0 << false;
}

void TestUserDesign::release()
{
    QFETCH(Trouble, trouble);
    QFETCH(int, code);
    QFETCH(bool, succeeds);

    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(QStringLiteral("engineer"), QStringLiteral("TAP-DEMO-0002"), QStringLiteral("Tap #2 & +x"));
    storeBinding(kDemo, kTap1, kTap1Password);
    storeBinding(QStringLiteral("zhangwei"), QStringLiteral("TAP-ZW-0001"), QStringLiteral("Zw#0001"));
    const QByteArray fileBefore = readBytes(kBindingFile);

    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    QVERIFY(*window.tapBound);
    window.ui->b_tap_LineEdit->setText(kTap1);
    window.ui->b_tap_pswd_lineEdit->setText(kTap1Password);
    window.on_userdesign_clicked();
    UserDesign *dialog = window.userDesign;
    QCOMPARE(dialog->ui->Bound_TAP->text(), kTap1);
    QSignalSpy released(dialog, &UserDesign::closeSon);
    arrange(scene.platform, QStringLiteral("updateTapAuth"), trouble, code);

    QTest::mouseClick(dialog->ui->toolButton, Qt::LeftButton);

    const QList<sim::RecordedRequest> sent = scene.platform->requests(QStringLiteral("updateTapAuth"));
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().rawQuery, "gatewaySn=TAP-DEMO-0001&token=" + window.sessionToken);

    QCOMPARE(scene.boxes.count(), 2);
    QCOMPARE(scene.boxes.boxes().first().kind, MessageBoxes::Kind::Question);
    const MessageBoxes::Request result = scene.boxes.last();
    QVERIFY(!result.parent);
    QCOMPARE(result.buttons, QMessageBox::StandardButtons(QMessageBox::Yes));
    QCOMPARE(iconImage(result.windowIcon), iconImage(QIcon(QStringLiteral(":/image/logo3.png"))));

    if (succeeds) {
        QCOMPARE(result.title, QStringLiteral("提示"));
        QCOMPARE(result.text, QStringLiteral("解绑成功"));
        QCOMPARE(released.count(), 1);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->ui->Bound_TAP->text(), QStringLiteral("unbound"));
        // Only this user's binding leaves the file; the others keep their order.
        QCOMPARE(storedBindings(), QStringList({QStringLiteral("zhangwei|TAP-ZW-0001"),
                                                QStringLiteral("engineer|TAP-DEMO-0002")}));
        QVERIFY(!*window.tapBound);
        QVERIFY(showsBindPage(window));
        QCOMPARE(window.ui->treeWidget->topLevelItemCount(), 0);
        QVERIFY(!window.rootItem);
        QCOMPARE(window.tapSerial, QByteArrayLiteral("unbound"));
        QVERIFY(window.ui->b_tap_LineEdit->text().isEmpty());
        QVERIFY(window.ui->b_tap_pswd_lineEdit->text().isEmpty());
        QCOMPARE(window.boundUserNames, TapBindingStore::load().userNames);
    } else {
        QCOMPARE(result.title, QStringLiteral("错误"));
        QCOMPARE(result.text, QStringLiteral("解绑失败"));
        QCOMPARE(released.count(), 0);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->ui->Bound_TAP->text(), kTap1);
        QCOMPARE(readBytes(kBindingFile), fileBefore);
        QVERIFY(*window.tapBound);
        QCOMPARE(window.ui->stackedWidget->currentIndex(), 0);
        QCOMPARE(window.rootItem->childCount(), 30);
        QCOMPARE(window.tapSerial, kTap1.toUtf8());
        QCOMPARE(window.ui->b_tap_LineEdit->text(), kTap1);
        QCOMPARE(window.boundUserNames.size(), 3);
    }
}

void TestUserDesign::releasedUserIsAskedToBindAtNextLogin()
{
    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(QStringLiteral("engineer"), QStringLiteral("TAP-DEMO-0002"), QStringLiteral("Tap #2 & +x"));
    {
        // Bound by hand in this very run, after the dialog had read the file.
        MainWindow window;
        window.show();
        QVERIFY(logIn(window, kDemo, kDemoPassword));
        window.ui->b_tap_LineEdit->setText(kTap1);
        window.ui->b_tap_pswd_lineEdit->setText(kTap1Password);
        QTest::mouseClick(window.ui->btn_bound_tap, Qt::LeftButton);
        QVERIFY(*window.tapBound);
        QCOMPARE(storedBindings().size(), 2);

        window.on_userdesign_clicked();
        QTest::mouseClick(window.userDesign->ui->toolButton, Qt::LeftButton);
        QCOMPARE(scene.boxes.last().text, QStringLiteral("解绑成功"));
    }
    QCOMPARE(storedBindings(), QStringList(QStringLiteral("engineer|TAP-DEMO-0002")));
    scene.boxes.clear();
    scene.platform->clearRequests();

    MainWindow nextRun;
    nextRun.show();
    QVERIFY(logIn(nextRun, kDemo, kDemoPassword));
    QCOMPARE(scene.boxes.count(), 1);
    QCOMPARE(scene.boxes.last().text, QStringLiteral("检测到您在本机尚未绑定TAP，请先进行绑定！"));
    QCOMPARE(scene.platform->requests(QStringLiteral("tapAuthLogin")).size(), 0);
    QVERIFY(showsBindPage(nextRun));
}

void TestUserDesign::titleBarDragMovesTheDialog()
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
    sendMouse(title, QEvent::MouseMove, grip + QPoint(30, 20), Qt::LeftButton);
    QTRY_COMPARE(dialog.pos(), start + QPoint(30, 20));
    sendMouse(title, QEvent::MouseMove, grip + QPoint(-45, 65), Qt::LeftButton);
    QTRY_COMPARE(dialog.pos(), start + QPoint(-45, 65));

    sendMouse(title, QEvent::MouseButtonRelease, grip + QPoint(-45, 65), Qt::LeftButton);
    QCOMPARE(dialog.dragOffset, QPoint(0, 0));
    const QPoint dropped = dialog.pos();
    sendMouse(title, QEvent::MouseMove, grip + QPoint(200, 200), Qt::NoButton);
    QCoreApplication::processEvents();
    QCOMPARE(dialog.pos(), dropped);
}

QTEST_MAIN(TestUserDesign)
#include "tst_userdesign.moc"
