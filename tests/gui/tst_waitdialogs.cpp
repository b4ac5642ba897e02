#include "tunnel/waitreconnect.h"
#include "tunnel/waittingwidget.h"

#include <QLabel>
#include <QMovie>
#include <QTest>
#include <QToolButton>

namespace {
QString labelText(QWidget *window, const char *name)
{
    const QLabel *label = window->findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("(no %1)").arg(QLatin1String(name));
}

// Both windows: frameless, translucent, application-modal, titled "Form", without parent, with
// the rounded frame and the 23 x 23 animation label.
void checkWindow(QWidget *window, const QSize &size)
{
    QCOMPARE(window->size(), size);
    QCOMPARE(window->windowModality(), Qt::ApplicationModal);
    QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint) && window->isWindow() && !window->parentWidget());
    QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));
    QCOMPARE(window->windowTitle(), QStringLiteral("Form"));
    const QFrame *frame = window->findChild<QFrame *>(QStringLiteral("frame"));
    QVERIFY(frame);
    QCOMPARE(frame->styleSheet(), QStringLiteral("border-radius:10px;\nbackground-color: rgb(240, 240, 240);"));
    const QLabel *animation = window->findChild<QLabel *>(QStringLiteral("label_2"));
    QVERIFY(animation && animation->hasScaledContents());
    QCOMPARE(animation->minimumSize(), QSize(23, 23));
    QCOMPARE(animation->maximumSize(), QSize(23, 23));
}
} // namespace

class TestWaitDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    // The animation runs from construction on, also while the window is hidden.
    void waitingWidget()
    {
        WaittingWidget widget;
        checkWindow(&widget, QSize(358, 116));
        QCOMPARE(labelText(&widget, "label"), QStringLiteral("通道连接中，请稍后..."));
        const QMovie *movie = widget.findChild<QLabel *>(QStringLiteral("label_2"))->movie();
        QVERIFY(movie && movie->isValid());
        QCOMPARE(movie->fileName(), QStringLiteral(":/image/wait.gif"));
        QVERIFY(!widget.isVisible());
        QCOMPARE(movie->state(), QMovie::Running);
    }

    void reconnectDialog()
    {
        WaitReConnect dialog;
        checkWindow(&dialog, QSize(368, 117));
        const QToolButton *cancel = dialog.findChild<QToolButton *>(QStringLiteral("toolButton"));
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), QStringLiteral("取消"));
        QCOMPARE(cancel->geometry(), QRect(150, 80, 71, 21));
        QCOMPARE(labelText(&dialog, "Wait_1"), QStringLiteral("连接异常，开始尝试重连..."));
        QVERIFY(labelText(&dialog, "Wait_Num").isEmpty() && labelText(&dialog, "Wait_2").isEmpty());

        // The first tick of a cycle counts 0; reached through the meta-object like the main window's signal.
        QVERIFY(QMetaObject::invokeMethod(&dialog, "ReconnectNum_WaitShow", Q_ARG(int, 0)));
        QCOMPARE(labelText(&dialog, "Wait_1"), QStringLiteral("尝试第 "));
        QCOMPARE(labelText(&dialog, "Wait_Num"), QStringLiteral("1"));
        QCOMPARE(labelText(&dialog, "Wait_2"), QStringLiteral("次重连中..."));
    }

    // The cancel handling runs while the dialog is still on screen; then it hides.
    void cancelEmitsWhileVisibleThenHides()
    {
        WaitReConnect dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QList<bool> visibleAtSignal;
        connect(&dialog, &WaitReConnect::ReconnectClose, this, [&]() { visibleAtSignal << dialog.isVisible(); });
        QTest::mouseClick(dialog.findChild<QToolButton *>(QStringLiteral("toolButton")), Qt::LeftButton);
        QCOMPARE(visibleAtSignal, QList<bool>{true});
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(TestWaitDialogs)
#include "tst_waitdialogs.moc"
