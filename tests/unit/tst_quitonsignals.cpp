// A logout, a kill or a closed terminal ends the client through its event loop, and signals that
// come after that orderly quit (a session ending sends several) do not end the process.
#include "app/quitonsignals.h"

#include <QtTest>

#include <csignal>

class TestQuitOnSignals : public QObject {
    Q_OBJECT

private slots:
    void signalsQuitTheLoopAndNothingAfter()
    {
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            QuitOnSignals quitOnSignals;
            QVERIFY(quitOnSignals.isActive());
            QTimer::singleShot(0, [signal] { ::raise(signal); });
            // Returns only by the quit the signal asked for.
            QCOMPARE(QCoreApplication::exec(), 0);
        }
        // The process goes on: a signal's default action would end it here, with 128 + n.
        for (const int signal : {SIGHUP, SIGTERM, SIGINT})
            QCOMPARE(::raise(signal), 0);
    }
};

QTEST_GUILESS_MAIN(TestQuitOnSignals)
#include "tst_quitonsignals.moc"
