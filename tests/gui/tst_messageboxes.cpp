#include "support/messagerecorder.h"
#include "ui/messageboxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>

using MessageBoxes::Kind;

class TestMessageBoxes : public QObject {
    Q_OBJECT

private slots:
    // The shorthands reach the recorder with kind, title, text, buttons and icon; answers come
    // from the queue first, then Yes for questions and Ok for the rest.
    void recorderCapturesAndAnswers()
    {
        MessageRecorder recorder;
        QWidget parent;
        QPixmap green(32, 32);
        green.fill(Qt::green);
        recorder.queueAnswer(QMessageBox::No);
        QCOMPARE(MessageBoxes::question(&parent, QStringLiteral("提示"), QStringLiteral("是否退出当前程序"), QIcon(green)),
                 QMessageBox::No);
        MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("未检索到该网关"));
        QCOMPARE(MessageBoxes::question(nullptr, QStringLiteral("提示"), QStringLiteral("c")), QMessageBox::Yes);

        QCOMPARE(recorder.titles(), (QStringList{QStringLiteral("提示"), QStringLiteral("错误"), QStringLiteral("提示")}));
        QCOMPARE(recorder.texts().at(1), QStringLiteral("未检索到该网关"));
        const MessageBoxes::Request first = recorder.boxes().at(0);
        QCOMPARE(first.kind, Kind::Question);
        QCOMPARE(first.parent, &parent);
        QCOMPARE(first.buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(!first.windowIcon.isNull() && recorder.boxes().at(2).windowIcon.isNull());
        QVERIFY(recorder.boxes().at(1).kind == Kind::Critical && recorder.boxes().at(1).buttons == QMessageBox::Ok);
    }

    // Without a recorder the real box comes up; it is read and answered from its own event loop.
    void realBoxes()
    {
        const struct {
            Kind kind;
            QMessageBox::Icon icon;
            QMessageBox::StandardButtons buttons;
            QMessageBox::StandardButton press;
        } cases[] = {{Kind::Information, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok},
                     {Kind::Warning, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok},
                     {Kind::Critical, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok},
                     {Kind::About, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok},
                     {Kind::Question, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No}};
        for (const auto &expected : cases) {
            QStringList seen;
            QTimer::singleShot(0, [&]() {
                for (QWidget *widget : QApplication::topLevelWidgets()) {
                    auto *box = qobject_cast<QMessageBox *>(widget);
                    if (!box || !box->isVisible())
                        continue;
                    seen << box->windowTitle() << box->text() << QString::number(box->icon())
                         << QString::number(box->standardButtons());
                    box->button(expected.press)->click();
                }
            });
            MessageBoxes::Request request;
            request.kind = expected.kind;
            request.title = QStringLiteral("登录失败");
            request.text = QStringLiteral("账号或密码错误，请重新输入");
            request.buttons = expected.buttons;
            QCOMPARE(MessageBoxes::show(request), expected.press);
            QCOMPARE(seen, (QStringList{request.title, request.text, QString::number(expected.icon),
                                        QString::number(expected.buttons)}));
        }
    }
};

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
