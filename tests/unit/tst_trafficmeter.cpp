#include "support/fakehostsystem.h"
#include "tunnel/logic/trafficmeter.h"

#include <QtTest>

#include <limits>

namespace {

constexpr qint64 noReading = -1;

std::optional<quint64> reading(qint64 value)
{
    if (value == noReading)
        return std::nullopt;
    return quint64(value);
}

} // namespace

class TestTrafficMeter : public QObject {
    Q_OBJECT

private slots:
    void sequence_data();
    void sequence();
    void logsTheThreeValues();
    void readsTheHostCounter();
    void hugeCounterStaysPositive();
};

void TestTrafficMeter::sequence_data()
{
    QTest::addColumn<QList<qint64>>("readings"); // noReading: no TAP row found
    QTest::addColumn<qint64>("current");
    QTest::addColumn<qint64>("previous");
    QTest::addColumn<qint64>("delta");

    QTest::newRow("first reading sets the baseline")
        << QList<qint64>{5000} << qint64(5000) << qint64(5000) << qint64(0);
    QTest::newRow("second reading gives the delta")
        << QList<qint64>{5000, 8000} << qint64(8000) << qint64(8000) << qint64(3000);
    QTest::newRow("counter went down") << QList<qint64>{5000, 8000, 1000} << qint64(1000) << qint64(1000)
                                       << qint64(1000);
    QTest::newRow("zero changes neither previous nor delta")
        << QList<qint64>{5000, 8000, 0} << qint64(0) << qint64(8000) << qint64(3000);
    QTest::newRow("no row after a reading gives delta 0")
        << QList<qint64>{5000, 8000, noReading} << qint64(8000) << qint64(8000) << qint64(0);
    QTest::newRow("no row at all") << QList<qint64>{noReading, noReading} << qint64(0) << qint64(0) << qint64(0);
    QTest::newRow("zero before the first reading")
        << QList<qint64>{0, 5000, 5600} << qint64(5600) << qint64(5600) << qint64(600);
    QTest::newRow("delta follows each step")
        << QList<qint64>{100, 300, 700, 1700} << qint64(1700) << qint64(1700) << qint64(1000);
}

void TestTrafficMeter::sequence()
{
    QFETCH(QList<qint64>, readings);
    qint64 current = 0;
    qint64 previous = 0;
    qint64 delta = 0;
    for (qint64 value : readings)
        updateTrafficMeter(current, previous, delta, reading(value));
    QTEST(current, "current");
    QTEST(previous, "previous");
    QTEST(delta, "delta");
}

void TestTrafficMeter::logsTheThreeValues()
{
    qint64 current = 0;
    qint64 previous = 5000;
    qint64 delta = 0;
    QTest::ignoreMessage(QtDebugMsg, "上一分钟流量：5000");
    QTest::ignoreMessage(QtDebugMsg, "当前流量：4000");
    QTest::ignoreMessage(QtDebugMsg, "流量增量：4000");
    updateTrafficMeter(current, previous, delta, 4000u);
}

void TestTrafficMeter::readsTheHostCounter()
{
    FakeHostSystem host;
    qint64 current = 0;
    qint64 previous = 0;
    qint64 delta = 0;
    host.sentBytes = 7000;
    updateTrafficMeter(current, previous, delta);
    host.sentBytes = 9500;
    updateTrafficMeter(current, previous, delta);
    host.sentBytes.reset();
    updateTrafficMeter(current, previous, delta);
    QCOMPARE(host.sentBytesQueries, 3);
    QCOMPARE(current, qint64(9500));
    QCOMPARE(delta, qint64(0));
}

void TestTrafficMeter::hugeCounterStaysPositive()
{
    qint64 current = 0;
    qint64 previous = 0;
    qint64 delta = 0;
    updateTrafficMeter(current, previous, delta, std::numeric_limits<quint64>::max());
    QVERIFY(current > 0);
    QCOMPARE(previous, current);
}

QTEST_GUILESS_MAIN(TestTrafficMeter)
#include "tst_trafficmeter.moc"
