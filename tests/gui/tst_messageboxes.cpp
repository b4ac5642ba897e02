#include "support/messagerecorder.h"
#include "ui/messageboxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>

using MessageBoxes::Kind;

Q_DECLARE_METATYPE(MessageBoxes::Kind)

namespace {

void showKind(Kind kind, QWidget *parent, const QString &title, const QString &text, const QIcon &icon,
              QMessageBox::StandardButton *answer)
{
    *answer = QMessageBox::Ok;
    switch (kind) {
    case Kind::Information:
        MessageBoxes::information(parent, title, text);
        break;
    case Kind::Warning:
        MessageBoxes::warning(parent, title, text);
        break;
    case Kind::Critical:
        MessageBoxes::critical(parent, title, text);
        break;
    case Kind::About:
        MessageBoxes::about(parent, title, text);
        break;
    case Kind::Question:
        *answer = MessageBoxes::question(parent, title, text, icon);
        break;
    }
}

QIcon solidIcon(const QColor &color)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(color);
    return QIcon(pixmap);
}

QRgb centreOf(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage();
    return image.pixel(image.width() / 2, image.height() / 2);
}

// What the real box looked like while it was open.
struct SeenBox {
    bool found = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget *parent = nullptr;
    QRgb windowIconCentre = 0;
    QRgb iconPixmapCentre = 0;
};

// Waits (from the nested event loop of the box) for the box to be on screen, records it and presses `press`.
void answerModalBox(SeenBox *seen, QMessageBox::StandardButton press)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    int tries = 0;
    QObject::connect(timer, &QTimer::timeout, [timer, seen, press, tries]() mutable {
        QMessageBox *box = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && qobject_cast<QMessageBox *>(widget))
                box = static_cast<QMessageBox *>(widget);
        }
        if (!box) {
            if (++tries > 500)
                timer->deleteLater(); // the test fails on `found`
            return;
        }
        timer->stop();
        timer->deleteLater();
        seen->found = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
        seen->parent = box->parentWidget();
        seen->windowIconCentre = centreOf(box->windowIcon().pixmap(32, 32));
        seen->iconPixmapCentre = box->iconPixmap().isNull() ? 0 : centreOf(box->iconPixmap());
        if (QAbstractButton *button = box->button(press))
            button->click();
        else
            box->reject();
    });
    timer->start();
}

} // namespace

class TestMessageBoxes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void recorderCapturesEveryKind_data();
    void recorderCapturesEveryKind();
    void recorderAnswersFromQueue();
    void recorderUninstallsItself();
    void realBoxes_data();
    void realBoxes();
};

void TestMessageBoxes::initTestCase()
{
    QApplication::setWindowIcon(solidIcon(Qt::red));
}

void TestMessageBoxes::recorderCapturesEveryKind_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QMessageBox::StandardButtons>("buttons");
    QTest::addColumn<int>("defaultAnswer");

    QTest::newRow("information") << Kind::Information << QMessageBox::StandardButtons(QMessageBox::Ok)
                                 << int(QMessageBox::Ok);
    QTest::newRow("warning") << Kind::Warning << QMessageBox::StandardButtons(QMessageBox::Ok) << int(QMessageBox::Ok);
    QTest::newRow("critical") << Kind::Critical << QMessageBox::StandardButtons(QMessageBox::Ok)
                              << int(QMessageBox::Ok);
    QTest::newRow("about") << Kind::About << QMessageBox::StandardButtons(QMessageBox::Ok) << int(QMessageBox::Ok);
    QTest::newRow("question") << Kind::Question << (QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::Yes);
}

void TestMessageBoxes::recorderCapturesEveryKind()
{
    QFETCH(Kind, kind);
    QFETCH(QMessageBox::StandardButtons, buttons);
    QFETCH(int, defaultAnswer);

    MessageRecorder recorder;
    QWidget parent;
    const QIcon icon = solidIcon(Qt::blue);
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    showKind(kind, &parent, QStringLiteral("提示"), QStringLiteral("是否退出当前程序"), icon, &answer);

    QCOMPARE(recorder.count(), 1);
    const MessageBoxes::Request box = recorder.last();
    QCOMPARE(box.kind, kind);
    QCOMPARE(box.parent, &parent);
    QCOMPARE(box.title, QStringLiteral("提示"));
    QCOMPARE(box.text, QStringLiteral("是否退出当前程序"));
    QCOMPARE(box.buttons, buttons);
    QCOMPARE(box.windowIcon.isNull(), kind != Kind::Question);
    QCOMPARE(int(answer), defaultAnswer);
}

void TestMessageBoxes::recorderAnswersFromQueue()
{
    MessageRecorder recorder;
    recorder.queueAnswer(QMessageBox::No);
    recorder.queueAnswer(QMessageBox::Yes);

    QStringList openWhileAsked;
    recorder.setOnPresent([&](const MessageBoxes::Request &request) { openWhileAsked.append(request.text); });

    QCOMPARE(MessageBoxes::question(nullptr, QStringLiteral("提示"), QStringLiteral("a")), QMessageBox::No);
    MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("b")); // takes the queued Yes
    QCOMPARE(recorder.pendingAnswers(), 0);
    QCOMPARE(MessageBoxes::question(nullptr, QStringLiteral("提示"), QStringLiteral("c")), QMessageBox::Yes);

    const QStringList titles{QStringLiteral("提示"), QStringLiteral("错误"), QStringLiteral("提示")};
    QCOMPARE(recorder.titles(), titles);
    QCOMPARE(recorder.texts(), QStringList({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(openWhileAsked, recorder.texts());
    QVERIFY(!recorder.boxes().at(0).parent);

    // A box shown from inside another (nested loop) is recorded in order too.
    recorder.clear();
    recorder.setOnPresent([&](const MessageBoxes::Request &request) {
        if (request.text == QLatin1String("outer"))
            MessageBoxes::warning(nullptr, QStringLiteral("警告"), QStringLiteral("inner"));
    });
    MessageBoxes::information(nullptr, QStringLiteral("提示"), QStringLiteral("outer"));
    QCOMPARE(recorder.texts(), QStringList({QStringLiteral("outer"), QStringLiteral("inner")}));
}

void TestMessageBoxes::recorderUninstallsItself()
{
    {
        MessageRecorder recorder;
        MessageBoxes::information(nullptr, QStringLiteral("提示"), QStringLiteral("x"));
        QCOMPARE(recorder.count(), 1);
    }
    // With the recorder gone the real box comes up again.
    SeenBox seen;
    answerModalBox(&seen, QMessageBox::Ok);
    MessageBoxes::information(nullptr, QStringLiteral("提示"), QStringLiteral("real"));
    QVERIFY(seen.found);
    QCOMPARE(seen.text, QStringLiteral("real"));
}

void TestMessageBoxes::realBoxes_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("withParent");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QMessageBox::StandardButtons>("buttons");
    QTest::addColumn<int>("press");

    const QMessageBox::StandardButtons ok(QMessageBox::Ok);
    QTest::newRow("information") << Kind::Information << false << int(QMessageBox::Information) << ok
                                 << int(QMessageBox::Ok);
    QTest::newRow("warning, parent") << Kind::Warning << true << int(QMessageBox::Warning) << ok
                                     << int(QMessageBox::Ok);
    QTest::newRow("critical") << Kind::Critical << false << int(QMessageBox::Critical) << ok << int(QMessageBox::Ok);
    QTest::newRow("about") << Kind::About << false << int(QMessageBox::NoIcon) << ok << int(QMessageBox::Ok);
    QTest::newRow("question yes") << Kind::Question << false << int(QMessageBox::Question)
                                  << (QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::Yes);
    QTest::newRow("question no") << Kind::Question << false << int(QMessageBox::Question)
                                 << (QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::No);
}

void TestMessageBoxes::realBoxes()
{
    QFETCH(Kind, kind);
    QFETCH(bool, withParent);
    QFETCH(int, icon);
    QFETCH(QMessageBox::StandardButtons, buttons);
    QFETCH(int, press);

    QWidget parent;
    if (withParent)
        parent.show();
    SeenBox seen;
    answerModalBox(&seen, QMessageBox::StandardButton(press));
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    showKind(kind, withParent ? &parent : nullptr, QStringLiteral("登录失败"),
             QStringLiteral("账号或密码错误，请重新输入"), solidIcon(Qt::green), &answer);

    QVERIFY(seen.found);
    QCOMPARE(seen.title, QStringLiteral("登录失败"));
    QCOMPARE(seen.text, QStringLiteral("账号或密码错误，请重新输入"));
    QCOMPARE(int(seen.icon), icon);
    QCOMPARE(seen.buttons, buttons);
    QCOMPARE(seen.parent, withParent ? &parent : nullptr);
    QCOMPARE(int(answer), kind == Kind::Question ? press : int(QMessageBox::Ok));
    // The question was given its own window icon; the others keep the application's.
    QCOMPARE(seen.windowIconCentre, kind == Kind::Question ? QColor(Qt::green).rgb() : QColor(Qt::red).rgb());
    if (kind == Kind::About)
        QCOMPARE(seen.iconPixmapCentre, QColor(Qt::red).rgb());
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
