#include "support/messagerecorder.h"
#include "tunnel/logic/startfailure.h"
#include "ui/appearance.h"
#include "ui/language.h"
#include "ui/messageboxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using MessageBoxes::Kind;

// Once the event loop turns (inside the box's own loop), hands every shown message box to act.
template <typename Act> void onShownBox(Act act)
{
    QTimer::singleShot(0, [act]() mutable {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
                act(box);
        }
    });
}

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
            onShownBox([&](QMessageBox *box) {
                seen << box->windowTitle() << box->text() << QString::number(box->icon())
                     << QString::number(box->standardButtons());
                box->button(expected.press)->click();
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

    // The reason and the next step show under the prescribed text, which stays as it was.
    void informativeTextUnderTheText()
    {
        QStringList seen;
        onShownBox([&](QMessageBox *box) {
            const QLabel *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
            seen << box->text() << (label && label->isVisible() ? label->text() : QStringLiteral("not shown"));
            box->button(QMessageBox::Ok)->click();
        });
        const QString reason = QStringLiteral("OpenVPN：TLS Error: TLS handshake failed\n请检查网络后重试。");
        MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("    连接超时   "), reason);
        QCOMPARE(seen, (QStringList{QStringLiteral("    连接超时   "), reason}));
    }

    // Every box shows its whole text: the label is as wide (or, wrapped, as high) as its text needs;
    // its button has no icon.
    void wholeTextShown()
    {
        applyClientAppearance();
        const QStringList texts{QStringLiteral("检测到您在本机尚未绑定TAP，请先进行绑定！"),
                                QStringLiteral("网络连接失败，请检测您的网络状态后重试"),
                                QStringLiteral("    连接超时   "),
                                QStringLiteral("请检查TAP虚拟网卡是否存在并启用"),
                                tunnelStartFailureText(TunnelStartFailure::NoTunRights)};
        for (const QString &text : texts) {
            QString problem = QStringLiteral("box never shown");
            QTimer::singleShot(0, [&]() {
                for (QWidget *widget : QApplication::topLevelWidgets()) {
                    auto *box = qobject_cast<QMessageBox *>(widget);
                    if (!box || !box->isVisible())
                        continue;
                    const QLabel *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
                    const bool fits = label && (label->wordWrap()
                                                    ? label->heightForWidth(label->width()) <= label->height()
                                                    : label->sizeHint().width() <= label->width());
                    problem = fits ? QString() : QStringLiteral("clipped at %1 px").arg(label ? label->width() : -1);
                    if (!box->button(QMessageBox::Ok)->icon().isNull())
                        problem += QStringLiteral(" icon on the button");
                    box->button(QMessageBox::Ok)->click();
                }
            });
            MessageBoxes::warning(nullptr, QStringLiteral("提示"), text);
            QVERIFY2(problem.isEmpty(), qPrintable(text + QLatin1Char(' ') + problem));
        }
    }

    // Qt's own button texts are Chinese as well, and the title reaches the window system as given:
    // an empty one stays empty instead of becoming the program's file name (checked on X11).
    void chineseButtonsAndTitles()
    {
        QVERIFY(applyClientLanguage());
        const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
        const QList<QPair<QMessageBox::StandardButton, QString>> chinese = {
            {QMessageBox::Ok, QStringLiteral("确定")}, {QMessageBox::Yes, QStringLiteral("是")},
            {QMessageBox::No, QStringLiteral("否")}};
        const struct {
            Kind kind;
            QString title;
            QMessageBox::StandardButtons buttons;
        } cases[] = {{Kind::About, QString(), QMessageBox::Ok},
                     {Kind::Question, QStringLiteral("提示"), QMessageBox::Yes | QMessageBox::No},
                     {Kind::Information, QStringLiteral("提示"), QMessageBox::Yes}};
        for (const auto &box : cases) {
            QStringList seen;
            QTimer::singleShot(0, [&]() {
                auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!shown)
                    return;
                for (const auto &[button, text] : chinese) {
                    if (shown->button(button))
                        seen << shown->button(button)->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
                }
                // Wide enough for the title between a window manager's frame icon and buttons.
                if (shown->width() < 220)
                    seen << QStringLiteral("%1 px wide").arg(shown->width());
                if (x11) {
                    QProcess xprop;
                    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(shown->winId()),
                                                          QStringLiteral("_NET_WM_NAME")});
                    xprop.waitForFinished();
                    // _NET_WM_NAME(UTF8_STRING) = "提示", or nothing after the "=" for an empty name.
                    const QString name = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
                    const QString prefix = QStringLiteral("_NET_WM_NAME(UTF8_STRING) =");
                    seen << (name.startsWith(prefix) ? name.mid(prefix.size()).trimmed().remove(QLatin1Char('"'))
                                                     : name);
                }
                shown->buttons().first()->click();
            });
            MessageBoxes::show({box.kind, nullptr, box.title, QStringLiteral("解绑成功"), box.buttons, QIcon()});
            QStringList expected;
            for (const auto &[button, text] : chinese) {
                if (box.buttons & button)
                    expected << text;
            }
            if (x11)
                expected << box.title;
            QCOMPARE(seen, expected);
        }
    }
};

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
