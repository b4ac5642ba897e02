#include "support/fakehostsystem.h"
#include "tunnel/logic/adapterprobe.h"

#include <QtTest>

Q_DECLARE_METATYPE(std::vector<AdapterInfo>)

namespace {

AdapterInfo adapter(const char *description, std::initializer_list<const char *> addresses)
{
    AdapterInfo info{QString::fromUtf8(description), {}};
    for (const char *address : addresses)
        info.ipv4Addresses << QString::fromLatin1(address);
    return info;
}

} // namespace

class TestAdapterProbe : public QObject {
    Q_OBJECT

private slots:
    void classify_data();
    void classify();
    void probeLogs_data();
    void probeLogs();
};

void TestAdapterProbe::classify_data()
{
    QTest::addColumn<std::vector<AdapterInfo>>("adapters");
    QTest::addColumn<int>("expected");

    const AdapterInfo ethernet = adapter("Intel(R) Ethernet Connection", {"192.168.1.20"});
    const AdapterInfo tapIdle = adapter("TAP-Windows Adapter V9", {"0.0.0.0"});
    const AdapterInfo tapInUse = adapter("TAP-Windows Adapter V9 #2", {"10.8.0.6"});

    QTest::newRow("no adapters") << std::vector<AdapterInfo>{} << int(AdapterMissing);
    QTest::newRow("no TAP") << std::vector<AdapterInfo>{ethernet, adapter("lo", {"127.0.0.1"})} << int(AdapterMissing);
    QTest::newRow("TAP idle") << std::vector<AdapterInfo>{ethernet, tapIdle} << int(AdapterIdle);
    QTest::newRow("TAP in use") << std::vector<AdapterInfo>{tapInUse, ethernet} << int(AdapterInUse);
    QTest::newRow("in use then idle: last decides") << std::vector<AdapterInfo>{tapInUse, tapIdle} << int(AdapterIdle);
    QTest::newRow("idle then in use: last decides") << std::vector<AdapterInfo>{tapIdle, tapInUse} << int(AdapterInUse);
    QTest::newRow("description of three letters")
        << std::vector<AdapterInfo>{adapter("TAP", {"10.8.0.6"})} << int(AdapterInUse);
    QTest::newRow("description shorter than three")
        << std::vector<AdapterInfo>{adapter("TA", {"10.8.0.6"}), adapter("", {"0.0.0.0"})} << int(AdapterMissing);
    QTest::newRow("prefix is case-sensitive")
        << std::vector<AdapterInfo>{adapter("tap0", {"10.8.0.6"}), adapter("Tap-Windows", {"0.0.0.0"})}
        << int(AdapterMissing);
    QTest::newRow("prefix must be at the start")
        << std::vector<AdapterInfo>{adapter(" TAP-Windows", {"10.8.0.6"})} << int(AdapterMissing);
    // A neighbour with two addresses must not shift the TAP adapter onto one of them.
    QTest::newRow("two addresses before the TAP")
        << std::vector<AdapterInfo>{adapter("Intel(R) Ethernet", {"192.168.1.20", "192.168.1.21"}), tapIdle}
        << int(AdapterIdle);
    QTest::newRow("two addresses before an in-use TAP")
        << std::vector<AdapterInfo>{adapter("Intel(R) Ethernet", {"0.0.0.0", "0.0.0.0"}), tapInUse}
        << int(AdapterInUse);
    QTest::newRow("TAP with unset and set address")
        << std::vector<AdapterInfo>{adapter("TAP-Linux tun tun0", {"0.0.0.0", "10.8.0.6"})} << int(AdapterInUse);
    QTest::newRow("TAP without address entries")
        << std::vector<AdapterInfo>{adapter("TAP-Linux tun tun0", {})} << int(AdapterIdle);
}

void TestAdapterProbe::classify()
{
    QFETCH(std::vector<AdapterInfo>, adapters);
    QFETCH(int, expected);
    QCOMPARE(int(classifyAdapters(adapters)), expected);
}

void TestAdapterProbe::probeLogs_data()
{
    QTest::addColumn<std::vector<AdapterInfo>>("adapters");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QStringList>("logs"); // level letter + text, in order

    QTest::newRow("missing") << std::vector<AdapterInfo>{adapter("eth0", {"192.168.1.20"})} << int(AdapterMissing)
                             << QStringList{QStringLiteral("C虚拟网卡不存在或禁用")};
    QTest::newRow("idle") << std::vector<AdapterInfo>{adapter("TAP-Linux tun tun0", {"0.0.0.0"})} << int(AdapterIdle)
                          << QStringList{QStringLiteral("W虚拟网卡未使用")};
    QTest::newRow("in use") << std::vector<AdapterInfo>{adapter("TAP-Linux tun tun0", {"10.8.0.6"})}
                            << int(AdapterInUse) << QStringList{QStringLiteral("D虚拟网卡正常使用")};
    QTest::newRow("each TAP adapter logs")
        << std::vector<AdapterInfo>{adapter("TAP-Linux tun tun0", {"10.8.0.6"}), adapter("TAP-Linux tun tun1", {})}
        << int(AdapterIdle) << QStringList{QStringLiteral("D虚拟网卡正常使用"), QStringLiteral("W虚拟网卡未使用")};
}

void TestAdapterProbe::probeLogs()
{
    QFETCH(std::vector<AdapterInfo>, adapters);
    QFETCH(int, expected);
    QFETCH(QStringList, logs);

    FakeHostSystem host;
    host.adapterList = adapters;
    for (const QString &log : logs) {
        const QtMsgType type = log.at(0) == QLatin1Char('C')   ? QtCriticalMsg
                               : log.at(0) == QLatin1Char('W') ? QtWarningMsg
                                                               : QtDebugMsg;
        QTest::ignoreMessage(type, log.mid(1).toUtf8().constData());
    }
    QCOMPARE(int(probeTapAdapter()), expected);
    QCOMPARE(host.adapterQueries, 1);
}

QTEST_GUILESS_MAIN(TestAdapterProbe)
#include "tst_adapterprobe.moc"
