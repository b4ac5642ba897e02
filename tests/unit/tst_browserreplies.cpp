// Reading the gateway, site and device replies, and the page-button arithmetic.
#include "browser/logic/pagereplies.h"
#include "browser/logic/paging.h"
#include "browser/logic/siterecord.h"

#include <QtTest>

namespace {
QByteArray gatewayPage(int count, const QByteArray &data)
{
    return "{\"code\":100,\"page\":{\"size\":30,\"count\":" + QByteArray::number(count) + ",\"index\":1},\"data\":" +
           data + "}";
}

QByteArray gatewayRows(int n)
{
    QByteArrayList rows;
    for (int i = 0; i < n; ++i)
        rows << "{\"gatewaySn\":\"GW" + QByteArray::number(i) + "\",\"tunnelOnline\":" + QByteArray::number(i % 2) +
                    ",\"customerId\":7}";
    return "[" + rows.join(',') + "]";
}
} // namespace

class TestBrowserReplies : public QObject {
    Q_OBJECT

private slots:
    void pageTotals_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("total");
        QTest::newRow("no gateways") << 0 << 30 << 0;
        QTest::newRow("one gateway") << 1 << 30 << 1;
        QTest::newRow("30 gateways") << 30 << 30 << 1;
        QTest::newRow("31 gateways") << 31 << 30 << 2;
        QTest::newRow("60 gateways") << 60 << 30 << 2;
        QTest::newRow("25 devices") << 25 << 25 << 1;
        QTest::newRow("26 devices") << 26 << 25 << 2;
        QTest::newRow("negative count") << -5 << 25 << 0;
    }
    void pageTotals()
    {
        QFETCH(int, count);
        QFETCH(int, size);
        QFETCH(int, total);
        QCOMPARE(pageTotal(count, size), total);
    }

    void gatewayPageReading()
    {
        const JsonDocument full = JsonDocument::parse(gatewayPage(75, gatewayRows(30)));
        const GatewayPage page = readGatewayPage(full.root());
        QVERIFY(page.page);
        QCOMPARE(page.page->count, 75);
        QCOMPARE(page.rows.size(), 30);
        QCOMPARE(page.rows.at(29).gatewaySn, QStringLiteral("GW29"));
        QCOMPARE(page.rows.at(1).tunnelOnline, 1);

        // A row without customerId ends the reading; the rows before it stay.
        const JsonDocument cut = JsonDocument::parse(gatewayPage(
            3, "[{\"gatewaySn\":\"A\",\"tunnelOnline\":1,\"customerId\":1},{\"gatewaySn\":\"B\",\"tunnelOnline\":0},"
               "{\"gatewaySn\":\"C\",\"tunnelOnline\":0,\"customerId\":1}]"));
        const GatewayPage partial = readGatewayPage(cut.root());
        QCOMPARE(partial.dataSize, 3);
        QCOMPARE(partial.rows.size(), 1);

        // Members of the wrong type read as missing: a serial given as a number stops the reading.
        const JsonDocument wrongType =
            JsonDocument::parse(gatewayPage(1, "[{\"gatewaySn\":12,\"tunnelOnline\":1,\"customerId\":1}]"));
        QCOMPARE(readGatewayPage(wrongType.root()).rows.size(), 0);

        // An incomplete page member: the rows are not read at all.
        const JsonDocument noIndex = JsonDocument::parse(
            "{\"code\":100,\"page\":{\"size\":30,\"count\":3},\"data\":" + gatewayRows(3) + "}");
        QVERIFY(!readGatewayPage(noIndex.root()).page);

        // "data" that is not an array counts as missing.
        const JsonDocument objectData = JsonDocument::parse(gatewayPage(1, "{\"gatewaySn\":\"A\"}"));
        QVERIFY(!readGatewayPage(objectData.root()).hasData);

        // A platform that ignores the page size: every row is read.
        const JsonDocument huge = JsonDocument::parse(gatewayPage(10000, gatewayRows(10000)));
        QCOMPARE(readGatewayPage(huge.root()).rows.size(), 10000);
    }

    void devicePageReading()
    {
        const QByteArray row = "{\"realIp\":\"192.168.1.10\",\"virtualIp\":\"10.8.1.10\",\"deviceOnline\":0,"
                               "\"deviceName\":\"PLC-1\",\"deviceId\":41,\"deviceClassify\":4}";
        const QByteArray noClass = "{\"realIp\":\"a\",\"virtualIp\":\"b\",\"deviceOnline\":1,\"deviceName\":\"n\","
                                   "\"deviceId\":42}";
        const QByteArray noName = "{\"realIp\":\"a\",\"virtualIp\":\"b\",\"deviceOnline\":1,\"deviceId\":43,"
                                  "\"deviceClassify\":1}";
        auto page = [](const QByteArray &rows) {
            return JsonDocument::parse("{\"code\":100,\"page\":{\"size\":25,\"count\":3,\"index\":1},\"data\":[" +
                                       rows + "]}");
        };

        const JsonDocument whole = page(row + "," + row);
        DevicePage read = readDevicePage(whole.root());
        QVERIFY(read.complete);
        QCOMPARE(read.rows.size(), 2);
        QCOMPARE(read.deviceIds, QStringList({QStringLiteral("41"), QStringLiteral("41")}));
        QCOMPARE(read.rows.at(0).deviceClassify, 4);

        // Without its class the element's id is already listed, but no row is shown for it.
        const JsonDocument classless = page(row + "," + noClass + "," + row);
        read = readDevicePage(classless.root());
        QVERIFY(!read.complete);
        QCOMPARE(read.dataSize, 3);
        QCOMPARE(read.rows.size(), 1);
        QCOMPARE(read.deviceIds, QStringList({QStringLiteral("41"), QStringLiteral("42")}));

        // Without a name neither the id nor the row is taken.
        const JsonDocument nameless = page(noName + "," + row);
        read = readDevicePage(nameless.root());
        QCOMPARE(read.rows.size(), 0);
        QVERIFY(read.deviceIds.isEmpty());

        const JsonDocument empty = page(QByteArray());
        read = readDevicePage(empty.root());
        QVERIFY(read.complete);
        QCOMPARE(read.dataSize, 0);
    }

    void deviceClassTexts()
    {
        const QStringList expected = {QStringLiteral("通用"), QStringLiteral("PLC"), QStringLiteral("摄像头"),
                                      QStringLiteral("仪表"), QStringLiteral("IO模块"), QStringLiteral("机床"),
                                      QStringLiteral("机器人")};
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(deviceClassText(i), expected.at(i));
        QCOMPARE(deviceClassText(7), QStringLiteral("未知"));
        QCOMPARE(deviceClassText(-1), QStringLiteral("未知"));
    }

    void siteRecordReading()
    {
        const QByteArray ordinary =
            R"({"code":100,"data":{"siteSort":0,"siteName":"一号泵站","siteWanIp":"10.8.1.0/24","siteLanIp":"192.168.1.0/24",
            "siteEnabled":2,"siteAddress":"苏州","tunnelAddress1":"10.8.0.2","createtimes":"2024-01-01 08:00:00",
            "flowDatas":"1.2GB","isVirtuaIp":0,"updateTimes":"2024-02-01 08:00:00","tunnelOnline":1,
            "gatewayOnline":0,"gatewayCsq":"23","siteNetType":7}})";
        JsonDocument document = JsonDocument::parse(ordinary);
        std::optional<SiteRecord> record = readSiteRecord(document.root());
        QVERIFY(record);
        QVERIFY(!record->centerSite);
        QCOMPARE(record->values.size(), 14);
        QCOMPARE(record->values.first().text, QStringLiteral("一号泵站"));

        // siteSort 2 is a center site: no LAN segment, no signal value.
        QByteArray center = ordinary;
        center.replace("\"siteSort\":0", "\"siteSort\":2");
        document = JsonDocument::parse(center);
        record = readSiteRecord(document.root());
        QVERIFY(record->centerSite);
        QCOMPARE(record->values.size(), 12);
        for (const SiteValue &value : record->values)
            QVERIFY(value.member != SiteValue::SiteLanIp && value.member != SiteValue::GatewayCsq);

        // A member missing part-way stops the filling there.
        QByteArray cut = ordinary;
        cut.replace("\"flowDatas\":\"1.2GB\",", "");
        document = JsonDocument::parse(cut);
        record = readSiteRecord(document.root());
        QCOMPARE(record->values.size(), 7);
        QCOMPARE(record->values.last().member, SiteValue::CreateTimes);

        // siteEnabled given as text is of the wrong type: the filling stops before it.
        QByteArray wrongType = ordinary;
        wrongType.replace("\"siteEnabled\":2", "\"siteEnabled\":\"1\"");
        document = JsonDocument::parse(wrongType);
        QCOMPARE(readSiteRecord(document.root())->values.size(), 3);

        document = JsonDocument::parse(R"({"code":100,"data":{"siteName":"x"}})");
        QVERIFY(!readSiteRecord(document.root()));
        document = JsonDocument::parse(R"({"code":100})");
        QVERIFY(!readSiteRecord(document.root()));
    }

    void siteTexts()
    {
        QCOMPARE(siteEnabledText(1), QStringLiteral("是"));
        QCOMPARE(siteEnabledText(2), QStringLiteral("否"));
        QCOMPARE(siteEnabledText(0), QStringLiteral("否"));
        QCOMPARE(*siteNetTypeText(0), QStringLiteral("5G"));
        QCOMPARE(*siteNetTypeText(4), QStringLiteral("有线"));
        QVERIFY(!siteNetTypeText(7));
    }

    void batchReplies()
    {
        JsonDocument document = JsonDocument::parse(
            R"({"code":100,"data":[{"gatewaySn":"A","tunnelOnline":1},{"gatewaySn":"B"},{"gatewaySn":"C","tunnelOnline":0}]})");
        const QVector<GatewayRow> gateways = readGatewayStates(document.root());
        QCOMPARE(gateways.size(), 1);
        QCOMPARE(gateways.first().gatewaySn, QStringLiteral("A"));

        document = JsonDocument::parse(R"({"code":100,"data":[{"deviceOnline":1},{"deviceOnline":0},{"x":1},{"deviceOnline":1}]})");
        QCOMPARE(*readDeviceStates(document.root()), QVector<int>({1, 0}));
        document = JsonDocument::parse(R"({"code":100,"data":{"deviceOnline":1}})");
        QVERIFY(!readDeviceStates(document.root()));
    }

    void pageButtons_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("gatewayPage");
        QTest::addColumn<int>("devicePage");
        const int first = int(PageButton::First), previous = int(PageButton::Previous), next = int(PageButton::Next),
                  last = int(PageButton::Last);
        QTest::newRow("first") << first << 3 << 5 << 1 << 1;
        QTest::newRow("previous from 3") << previous << 3 << 5 << 2 << 2;
        QTest::newRow("previous on page 1 stays") << previous << 1 << 5 << 1 << 1;
        QTest::newRow("previous from 0") << previous << 0 << 5 << -1 << 0;
        QTest::newRow("next from 2") << next << 2 << 5 << 3 << 3;
        QTest::newRow("next on the last page stays") << next << 5 << 5 << 5 << 5;
        QTest::newRow("next past the total") << next << 7 << 5 << 8 << 5;
        QTest::newRow("next with no devices") << next << 0 << 0 << 0 << 0;
        QTest::newRow("last") << last << 2 << 5 << 5 << 5;
    }
    void pageButtons()
    {
        QFETCH(int, button);
        QFETCH(int, current);
        QFETCH(int, total);
        QFETCH(int, gatewayPage);
        QFETCH(int, devicePage);
        QCOMPARE(gatewayTargetPage(PageButton(button), current, total), gatewayPage);
        QCOMPARE(deviceTargetPage(PageButton(button), current, total), devicePage);
    }

    void pageLabels()
    {
        QCOMPARE(pageNumberFromLabel(QStringLiteral("12")), 12);
        QCOMPARE(pageNumberFromLabel(QStringLiteral("?")), 0);
        QCOMPARE(pageNumberFromLabel(QString()), 0);
    }
};

QTEST_GUILESS_MAIN(TestBrowserReplies)
#include "tst_browserreplies.moc"
