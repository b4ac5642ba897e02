// Closing the main window from the window system (its close button, Alt+F4, the task bar) is the
// user leaving: the exit button's question, reports and tunnel stop. The client's own close goes
// without a question.
#include "support/boundwindow.h"
#include "ui/resources.h"

#include <QtTest>
#include <QtTest/qtestspontaneevent.h>

namespace {
const QString question = QStringLiteral("是否退出当前程序");

// A close request as the window system delivers it (its close button, Alt+F4, the task bar): a
// spontaneous close event, handed over the way QtTest hands over the window system's key events.
void closeFromWindowSystem(QWidget &window)
{
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(&window, &event);
}

QList<int> values(sim::PlatformSimulator &platform, const QString &operation, const QString &key)
{
    QList<int> found;
    for (const sim::RecordedRequest &request : platform.requests(operation))
        found << request.value(key).toInt();
    return found;
}
} // namespace

class TestWindowClose : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void windowSystemCloseAsks()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        MainWindow &window = bound.window;

        // No: nothing happens, the tunnel stays up.
        bound.boxes.queueAnswer(QMessageBox::No);
        closeFromWindowSystem(window);
        QTRY_COMPARE(bound.boxes.texts(), QStringList(question));
        QVERIFY(window.isVisible() && window.tunnelConnected && bound.host.killedProcessIds.isEmpty());
        QVERIFY(bound.platform->requests().isEmpty());

        // Yes: the exit sequence, the same as the exit button's.
        closeFromWindowSystem(window);
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(bound.boxes.texts(), QStringList({question, question}));
        QCOMPARE(values(bound.platform.simulator(), QStringLiteral("updateTunnelAndTapState"),
                        QStringLiteral("tunnelOnline")),
                 QList<int>{0});
        QCOMPARE(values(bound.platform.simulator(), QStringLiteral("tunnelAlarmData"), QStringLiteral("warnType")),
                 QList<int>{1});
        QVERIFY(window.tunnelsShutDown && !bound.host.killedProcessIds.isEmpty());
    }

    void ownCloseDoesNotAsk()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        bound.window.close();
        QVERIFY(!bound.window.isVisible() && bound.window.tunnelsShutDown);
        QVERIFY(bound.boxes.isEmpty() && bound.platform->requests().isEmpty());
    }
};

QTEST_MAIN(TestWindowClose)
#include "tst_windowclose.moc"
