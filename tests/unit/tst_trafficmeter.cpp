#include "support/fakehostsystem.h"
#include "tunnel/logic/trafficmeter.h"

#include <QtTest>

#include <limits>

class TestTrafficMeter : public QObject {
    Q_OBJECT

private slots:
    void sequence_data();
    void sequence();
    void logsAndReadsTheHostCounter();
};

void TestTrafficMeter::sequence_data()
{
    QTest::addColumn<QList<qint64>>("readings"); // -1: no TAP interface up
    QTest::addColumn<QList<qint64>>("expected"); // current, previous, delta

    QTest::newRow("first reading sets the baseline") << QList<qint64>{5000} << QList<qint64>{5000, 5000, 0};
    QTest::newRow("second reading gives the delta") << QList<qint64>{5000, 8000} << QList<qint64>{8000, 8000, 3000};
    QTest::newRow("counter went down") << QList<qint64>{5000, 8000, 1000} << QList<qint64>{1000, 1000, 1000};
    QTest::newRow("zero changes nothing else") << QList<qint64>{5000, 8000, 0} << QList<qint64>{0, 8000, 3000};
    QTest::newRow("missing reading gives delta 0") << QList<qint64>{5000, 8000, -1} << QList<qint64>{8000, 8000, 0};
    QTest::newRow("missing, zero, then first") << QList<qint64>{-1, 0, 5000} << QList<qint64>{5000, 5000, 0};
}

void TestTrafficMeter::sequence()
{
    QFETCH(QList<qint64>, readings);
    QList<qint64> values{0, 0, 0};
    for (qint64 value : readings)
        updateTrafficMeter(values[0], values[1], values[2], value < 0 ? std::nullopt : std::optional<quint64>(value));
    QTEST(values, "expected");
}

void TestTrafficMeter::logsAndReadsTheHostCounter()
{
    FakeHostSystem host;
    QList<qint64> values{0, 0, 0};
    const auto update = [&](std::optional<quint64> sent) {
        host.sentBytes = sent;
        updateTrafficMeter(values[0], values[1], values[2]);
    };
    update(7000);
    QTest::ignoreMessage(QtDebugMsg, "上一分钟流量：7000");
    QTest::ignoreMessage(QtDebugMsg, "当前流量：9500");
    QTest::ignoreMessage(QtDebugMsg, "流量增量：2500");
    update(9500);
    update(std::nullopt);
    QCOMPARE(host.sentBytesQueries, 3);
    QCOMPARE(values, QList<qint64>({9500, 9500, 0}));
    // A counter beyond the signed range must not turn negative.
    update(std::numeric_limits<quint64>::max());
    QCOMPARE(values.mid(0, 2), QVector<qint64>(2, std::numeric_limits<qint64>::max()).toList());
}

QTEST_GUILESS_MAIN(TestTrafficMeter)
#include "tst_trafficmeter.moc"
