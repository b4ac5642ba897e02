#include "support/fakehostsystem.h"
#include "tunnel/logic/adapterprobe.h"

#include <QtTest>

namespace {

// "description=address,address|description=..." in listing order.
std::vector<AdapterInfo> adapters(const QString &list)
{
    std::vector<AdapterInfo> result;
    for (const QString &entry : list.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        result.push_back({entry.section(QLatin1Char('='), 0, 0),
                          entry.section(QLatin1Char('='), 1).split(QLatin1Char(','), Qt::SkipEmptyParts)});
    return result;
}

} // namespace

class TestAdapterProbe : public QObject {
    Q_OBJECT

private slots:
    void classify_data();
    void classify();
    void probeLogsEachTapAdapter();
};

void TestAdapterProbe::classify_data()
{
    QTest::addColumn<QString>("adapters");
    QTest::addColumn<int>("expected");

    const auto row = [](const char *name, const char *list, AdapterState state) {
        QTest::newRow(name) << QString::fromUtf8(list) << int(state);
    };
    row("no adapters", "", AdapterMissing);
    row("no TAP", "Intel(R) Ethernet=192.168.1.20|lo=127.0.0.1", AdapterMissing);
    row("exactly TAP, in use", "TAP=10.8.0.6|eth0=192.168.1.20", AdapterInUse);
    row("in use, idle: last decides", "TAP-A=10.8.0.6|TAP-B=0.0.0.0", AdapterIdle);
    row("idle, in use: last decides", "TAP-A=0.0.0.0|TAP-B=10.8.0.6", AdapterInUse);
    row("short, case, position", "TA=10.8.0.6|=0.0.0.0|tap0=1.2.3.4|Tap-W=0.0.0.0| TAP-W=", AdapterMissing);
    // A neighbour's addresses must not be judged as the TAP adapter's.
    row("two neighbour addresses", "e=192.168.1.2,192.168.1.3|TAP-W=0.0.0.0", AdapterIdle);
    row("two unset neighbour addresses", "e=0.0.0.0,0.0.0.0|TAP-W=10.8.0.6", AdapterInUse);
    row("TAP with unset and set address", "TAP-L=0.0.0.0,10.8.0.6", AdapterInUse);
    row("TAP without addresses", "TAP-L=", AdapterIdle);
}

void TestAdapterProbe::classify()
{
    QFETCH(QString, adapters);
    QTEST(int(classifyAdapters(::adapters(adapters))), "expected");
}

void TestAdapterProbe::probeLogsEachTapAdapter()
{
    FakeHostSystem host;
    host.adapterList = adapters(QStringLiteral("eth0=192.168.1.20"));
    QTest::ignoreMessage(QtCriticalMsg, "虚拟网卡不存在或禁用");
    QCOMPARE(int(probeTapAdapter()), int(AdapterMissing));

    host.adapterList = adapters(QStringLiteral("TAP-Linux tun tun0=10.8.0.6|TAP-Linux tun tun1="));
    QTest::ignoreMessage(QtDebugMsg, "虚拟网卡正常使用");
    QTest::ignoreMessage(QtWarningMsg, "虚拟网卡未使用");
    QCOMPARE(int(probeTapAdapter()), int(AdapterIdle));
    QCOMPARE(host.adapterQueries, 2);
}

QTEST_GUILESS_MAIN(TestAdapterProbe)
#include "tst_adapterprobe.moc"
