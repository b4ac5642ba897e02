#include "tunnel/waitreconnect.h"
#include "tunnel/waittingwidget.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTranslator>
#include <QVBoxLayout>

#include <limits>

namespace {

const QString frameStyle = QStringLiteral("border-radius:10px;\nbackground-color: rgb(240, 240, 240);");

// Marks every text it is asked for with its context, so the tests see which context a text used.
class ContextTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        return QString::fromUtf8(context) + QLatin1Char('|') + QString::fromUtf8(sourceText);
    }
};

template <typename T> T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QString::fromLatin1(name));
}

void checkCommonWindowSettings(QWidget *window)
{
    QCOMPARE(window->windowModality(), Qt::ApplicationModal);
    QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window->windowFlags().testFlag(Qt::Window));
    QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));
    QCOMPARE(window->windowTitle(), QStringLiteral("Form"));
    QVERIFY(!window->parentWidget());
}

void checkFrame(QFrame *frame)
{
    QVERIFY(frame);
    QCOMPARE(frame->styleSheet(), frameStyle);
    QCOMPARE(frame->frameShape(), QFrame::StyledPanel);
    QCOMPARE(frame->frameShadow(), QFrame::Raised);
}

void checkAnimationLabel(QLabel *label)
{
    QVERIFY(label);
    QCOMPARE(label->minimumSize(), QSize(23, 23));
    QCOMPARE(label->maximumSize(), QSize(23, 23));
    QVERIFY(label->hasScaledContents());
    QVERIFY(label->text().isEmpty());
    QVERIFY(label->styleSheet().isEmpty());
}

} // namespace

class TestWaitDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void waitingWidgetForm();
    void waitingWidgetAnimation();
    void reconnectForm();
    void reconnectAttemptText_data();
    void reconnectAttemptText();
    void cancelEmitsWhileVisibleThenHides();
    void dialogsBlockOtherWindows();
    void textsUseClassContext();
};

void TestWaitDialogs::initTestCase()
{
    Q_INIT_RESOURCE(resources);
}

void TestWaitDialogs::waitingWidgetForm()
{
    WaittingWidget widget;
    checkCommonWindowSettings(&widget);
    QCOMPARE(widget.size(), QSize(358, 116));

    auto *outer = child<QHBoxLayout>(&widget, "horizontalLayout");
    QVERIFY(outer);
    QCOMPARE(widget.layout(), outer);
    QCOMPARE(outer->spacing(), 0);
    QCOMPARE(outer->contentsMargins(), QMargins());

    auto *frame = child<QFrame>(&widget, "frame");
    checkFrame(frame);
    QCOMPARE(outer->indexOf(frame), 0);

    auto *inner = child<QHBoxLayout>(&widget, "horizontalLayout_2");
    QVERIFY(inner);
    QCOMPARE(frame->layout(), inner);
    QCOMPARE(inner->count(), 4);
    auto *label2 = child<QLabel>(&widget, "label_2");
    auto *label = child<QLabel>(&widget, "label");
    checkAnimationLabel(label2);
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("通道连接中，请稍后..."));
    QCOMPARE(inner->indexOf(label2), 1);
    QCOMPARE(inner->indexOf(label), 2);
    for (int index : {0, 3}) {
        QSpacerItem *spacer = inner->itemAt(index)->spacerItem();
        QVERIFY(spacer);
        QCOMPARE(spacer->sizeHint(), QSize(97, 20));
        QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    }
}

void TestWaitDialogs::waitingWidgetAnimation()
{
    QVERIFY(QFile::exists(QStringLiteral(":/image/wait.gif")));
    WaittingWidget widget;
    QMovie *movie = child<QLabel>(&widget, "label_2")->movie();
    QVERIFY(movie);
    QCOMPARE(movie->fileName(), QStringLiteral(":/image/wait.gif"));
    QVERIFY(movie->isValid());
    // Started at construction, and running although the window was never shown.
    QVERIFY(!widget.isVisible());
    QCOMPARE(movie->state(), QMovie::Running);
}

void TestWaitDialogs::reconnectForm()
{
    WaitReConnect dialog;
    checkCommonWindowSettings(&dialog);
    QCOMPARE(dialog.size(), QSize(368, 117));

    auto *outer = child<QVBoxLayout>(&dialog, "verticalLayout");
    QVERIFY(outer);
    QCOMPARE(dialog.layout(), outer);
    QCOMPARE(outer->spacing(), 0);
    QCOMPARE(outer->contentsMargins(), QMargins());
    auto *frame = child<QFrame>(&dialog, "frame");
    checkFrame(frame);
    QCOMPARE(outer->indexOf(frame), 0);

    auto *label2 = child<QLabel>(&dialog, "label_2");
    checkAnimationLabel(label2);
    QCOMPARE(label2->parentWidget(), frame);
    QCOMPARE(label2->geometry(), QRect(110, 47, 23, 23));
    QVERIFY(!label2->movie());
    QVERIFY(label2->pixmap(Qt::ReturnByValue).isNull());

    auto *button = child<QToolButton>(&dialog, "toolButton");
    QVERIFY(button);
    QCOMPARE(button->parentWidget(), frame);
    QCOMPARE(button->geometry(), QRect(150, 80, 71, 21));
    QCOMPARE(button->text(), QStringLiteral("取消"));
    const QString buttonStyle = QStringLiteral("border-radius:10px;\ncolor: rgb(0, 0, 0);\n"
                                               "background-color: rgb(255, 255, 255);\nfont: 10pt \"微软雅黑\";");
    QCOMPARE(button->styleSheet(), buttonStyle);

    auto *layoutWidget = child<QWidget>(&dialog, "layoutWidget");
    QVERIFY(layoutWidget);
    QCOMPARE(layoutWidget->parentWidget(), frame);
    QCOMPARE(layoutWidget->geometry(), QRect(0, 30, 369, 22));
    auto *row = child<QHBoxLayout>(&dialog, "horizontalLayout");
    QVERIFY(row);
    QCOMPARE(layoutWidget->layout(), row);
    QCOMPARE(row->spacing(), 0);
    QCOMPARE(row->contentsMargins(), QMargins());
    QCOMPARE(row->count(), 5);

    auto *wait1 = child<QLabel>(&dialog, "Wait_1");
    auto *waitNum = child<QLabel>(&dialog, "Wait_Num");
    auto *wait2 = child<QLabel>(&dialog, "Wait_2");
    QVERIFY(wait1 && waitNum && wait2);
    QCOMPARE(row->indexOf(wait1), 1);
    QCOMPARE(row->indexOf(waitNum), 2);
    QCOMPARE(row->indexOf(wait2), 3);
    QCOMPARE(wait1->text(), QStringLiteral("连接异常，开始尝试重连..."));
    QVERIFY(waitNum->text().isEmpty());
    QVERIFY(wait2->text().isEmpty());
    QCOMPARE(waitNum->minimumSize(), QSize(10, 10));

    QCOMPARE(row->itemAt(0)->spacerItem()->sizeHint(), QSize(97, 20));
    QCOMPARE(row->itemAt(4)->spacerItem()->sizeHint(), QSize(94, 17));
    QCOMPARE(row->itemAt(4)->spacerItem()->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(row->itemAt(4)->spacerItem()->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);

    // Meta-object order as the main window's connections expect it.
    const QMetaObject *meta = dialog.metaObject();
    const int first = meta->methodOffset();
    QCOMPARE(meta->methodCount() - first, 3);
    QCOMPARE(meta->method(first).methodSignature(), QByteArray("ReconnectClose()"));
    QCOMPARE(meta->method(first).methodType(), QMetaMethod::Signal);
    QCOMPARE(meta->method(first + 1).methodSignature(), QByteArray("on_toolButton_clicked()"));
    QCOMPARE(meta->method(first + 2).methodSignature(), QByteArray("ReconnectNum_WaitShow(int)"));
}

void TestWaitDialogs::reconnectAttemptText_data()
{
    QTest::addColumn<int>("attempt");
    QTest::addColumn<QString>("number");

    QTest::newRow("first tick") << 0 << QStringLiteral("1");
    QTest::newRow("tenth") << 9 << QStringLiteral("10");
    QTest::newRow("negative") << -5 << QStringLiteral("-4");
    QTest::newRow("largest") << std::numeric_limits<int>::max() << QStringLiteral("2147483648");
}

void TestWaitDialogs::reconnectAttemptText()
{
    QFETCH(int, attempt);
    QFETCH(QString, number);

    WaitReConnect dialog;
    // Reached through the meta-object, as the main window's signal does.
    QVERIFY(QMetaObject::invokeMethod(&dialog, "ReconnectNum_WaitShow", Q_ARG(int, attempt)));
    QCOMPARE(child<QLabel>(&dialog, "Wait_1")->text(), QStringLiteral("尝试第 "));
    QCOMPARE(child<QLabel>(&dialog, "Wait_Num")->text(), number);
    QCOMPARE(child<QLabel>(&dialog, "Wait_2")->text(), QStringLiteral("次重连中..."));
}

void TestWaitDialogs::cancelEmitsWhileVisibleThenHides()
{
    WaitReConnect dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    int emitted = 0;
    bool visibleWhenEmitted = false;
    connect(&dialog, &WaitReConnect::ReconnectClose, this, [&]() {
        ++emitted;
        visibleWhenEmitted = dialog.isVisible();
    });
    QTest::mouseClick(child<QToolButton>(&dialog, "toolButton"), Qt::LeftButton);

    QCOMPARE(emitted, 1);
    QVERIFY(visibleWhenEmitted);
    QVERIFY(!dialog.isVisible());
}

void TestWaitDialogs::dialogsBlockOtherWindows()
{
    QWidget mainWindow;
    auto *button = new QPushButton(QStringLiteral("x"), &mainWindow);
    button->resize(80, 30);
    mainWindow.resize(200, 100);
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    QSignalSpy clicks(button, &QPushButton::clicked);

    WaittingWidget waiting;
    WaitReConnect reconnect;
    for (QWidget *dialog : {static_cast<QWidget *>(&waiting), static_cast<QWidget *>(&reconnect)}) {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(QApplication::activeModalWidget(), dialog);
        // Through the platform window, where the toolkit applies modality.
        QTest::mouseClick(mainWindow.windowHandle(), Qt::LeftButton, Qt::NoModifier, button->geometry().center());
        QCOMPARE(clicks.count(), 0);
        dialog->close();
    }
    QTest::mouseClick(mainWindow.windowHandle(), Qt::LeftButton, Qt::NoModifier, button->geometry().center());
    QCOMPARE(clicks.count(), 1);
}

void TestWaitDialogs::textsUseClassContext()
{
    ContextTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));

    WaittingWidget waiting;
    WaitReConnect reconnect;
    reconnect.ReconnectNum_WaitShow(0);
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(child<QLabel>(&waiting, "label")->text(), QStringLiteral("WaittingWidget|通道连接中，请稍后..."));
    QCOMPARE(child<QToolButton>(&reconnect, "toolButton")->text(), QStringLiteral("WaitReConnect|取消"));
    QCOMPARE(child<QLabel>(&reconnect, "Wait_1")->text(), QStringLiteral("WaitReConnect|尝试第 "));
    QCOMPARE(child<QLabel>(&reconnect, "Wait_2")->text(), QStringLiteral("WaitReConnect|次重连中..."));
}

QTEST_MAIN(TestWaitDialogs)
#include "tst_waitdialogs.moc"
