// Reading the gateway, site and device replies, and the page-button arithmetic.
#include "browser/logic/pagereplies.h"
#include "browser/logic/paging.h"
#include "browser/logic/siterecord.h"

#include <QtTest>

namespace {
JsonDocument listReply(int count, const QByteArray &data)
{
    return JsonDocument::parse("{\"code\":100,\"page\":{\"size\":30,\"count\":" + QByteArray::number(count) +
                               ",\"index\":1},\"data\":" + data + "}");
}

QByteArray gatewayRows(int n)
{
    QByteArrayList rows;
    for (int i = 0; i < n; ++i)
        rows << "{\"gatewaySn\":\"GW" + QByteArray::number(i) + "\",\"tunnelOnline\":" + QByteArray::number(i % 2) +
                    ",\"customerId\":7}";
    return "[" + rows.join(',') + "]";
}

const QByteArray kDevice = R"({"realIp":"192.168.1.10","virtualIp":"10.8.1.10","deviceOnline":0,"deviceName":"PLC-1",
    "deviceId":41,"deviceClassify":4})";

const QByteArray kOrdinarySite = R"({"code":100,"data":{"siteSort":0,"siteName":"一号泵站","siteWanIp":"10.8.1.0/24",
    "siteLanIp":"192.168.1.0/24","siteEnabled":2,"siteAddress":"苏州","tunnelAddress1":"10.8.0.2",
    "createtimes":"2024-01-01 08:00:00","flowDatas":"1.2GB","isVirtuaIp":0,"updateTimes":"2024-02-01 08:00:00",
    "tunnelOnline":1,"gatewayOnline":0,"gatewayCsq":"23","siteNetType":7}})";

int siteValues(QByteArray reply, const QByteArray &from, const QByteArray &to)
{
    const JsonDocument document = JsonDocument::parse(reply.replace(from, to));
    const std::optional<SiteRecord> record = readSiteRecord(document.root());
    return record ? record->values.size() : -1;
}
} // namespace

class TestBrowserReplies : public QObject {
    Q_OBJECT

private slots:
    void pageTotals()
    {
        // The sizes the windows divide by: 30 gateways, 25 devices a page.
        const int cases[][3] = {{0, GatewayPageSize, 0}, {1, GatewayPageSize, 1}, {30, GatewayPageSize, 1},
                                {31, GatewayPageSize, 2}, {60, GatewayPageSize, 2}, {25, DevicePageSize, 1},
                                {26, DevicePageSize, 2}, {50, DevicePageSize, 2}, {-5, DevicePageSize, 0}};
        for (const auto &c : cases)
            QCOMPARE(pageTotal(c[0], c[1]), c[2]);
    }

    void gatewayPages()
    {
        JsonDocument reply = listReply(75, gatewayRows(30));
        GatewayPage page = readGatewayPage(reply.root());
        QCOMPARE(page.page->count, 75);
        QCOMPARE(page.rows.size(), 30);
        QCOMPARE(page.rows.at(29).gatewaySn, QStringLiteral("GW29"));
        QCOMPARE(page.rows.at(1).tunnelOnline, 1);

        // A row without customerId ends the reading; the rows before it stay.
        reply = listReply(3, R"([{"gatewaySn":"A","tunnelOnline":1,"customerId":1},{"gatewaySn":"B","tunnelOnline":0},
                                 {"gatewaySn":"C","tunnelOnline":0,"customerId":1}])");
        page = readGatewayPage(reply.root());
        QCOMPARE(page.dataSize, 3);
        QCOMPARE(page.rows.size(), 1);

        // Members of the wrong type read as missing.
        reply = listReply(1, R"([{"gatewaySn":12,"tunnelOnline":1,"customerId":1}])");
        QCOMPARE(readGatewayPage(reply.root()).rows.size(), 0);
        reply = listReply(1, R"({"gatewaySn":"A"})");
        QVERIFY(!readGatewayPage(reply.root()).hasData);
        reply = JsonDocument::parse("{\"code\":100,\"page\":{\"size\":30,\"count\":3},\"data\":" + gatewayRows(3) + "}");
        QVERIFY(!readGatewayPage(reply.root()).page);

        // A platform that ignores the page size: every row is read.
        reply = listReply(10000, gatewayRows(10000));
        QCOMPARE(readGatewayPage(reply.root()).rows.size(), 10000);
    }

    void devicePages()
    {
        const QByteArray noClass = R"({"realIp":"a","virtualIp":"b","deviceOnline":1,"deviceName":"n","deviceId":42})";
        const QByteArray noName = R"({"realIp":"a","virtualIp":"b","deviceOnline":1,"deviceId":43,"deviceClassify":1})";

        JsonDocument reply = listReply(3, "[" + kDevice + "," + kDevice + "]");
        DevicePage page = readDevicePage(reply.root());
        QVERIFY(page.complete);
        QCOMPARE(page.rows.size(), 2);
        QCOMPARE(page.rows.at(0).deviceClassify, 4);
        QCOMPARE(page.deviceIds, QStringList({QStringLiteral("41"), QStringLiteral("41")}));

        // Without its class the element's id is already listed, but no row is shown for it.
        reply = listReply(3, "[" + kDevice + "," + noClass + "," + kDevice + "]");
        page = readDevicePage(reply.root());
        QVERIFY(!page.complete);
        QCOMPARE(page.dataSize, 3);
        QCOMPARE(page.rows.size(), 1);
        QCOMPARE(page.deviceIds, QStringList({QStringLiteral("41"), QStringLiteral("42")}));

        // Without a name neither the id nor the row is taken.
        reply = listReply(3, "[" + noName + "," + kDevice + "]");
        page = readDevicePage(reply.root());
        QVERIFY(page.rows.isEmpty() && page.deviceIds.isEmpty());

        reply = listReply(0, "[]");
        page = readDevicePage(reply.root());
        QVERIFY(page.complete && page.dataSize == 0);

        const QStringList classes = {QStringLiteral("通用"), QStringLiteral("PLC"), QStringLiteral("摄像头"),
                                     QStringLiteral("仪表"), QStringLiteral("IO模块"), QStringLiteral("机床"),
                                     QStringLiteral("机器人"), QStringLiteral("未知")};
        for (int i = 0; i < classes.size(); ++i)
            QCOMPARE(deviceClassText(i), classes.at(i));
    }

    void siteRecords()
    {
        const JsonDocument document = JsonDocument::parse(kOrdinarySite);
        const std::optional<SiteRecord> record = readSiteRecord(document.root());
        QVERIFY(record && !record->centerSite);
        QCOMPARE(record->values.size(), 14);
        QCOMPARE(record->values.first().text, QStringLiteral("一号泵站"));

        // siteSort 2 is a center site: neither the LAN segment nor the signal value is read.
        const JsonDocument center = JsonDocument::parse(QByteArray(kOrdinarySite).replace("\"siteSort\":0", "\"siteSort\":2"));
        const std::optional<SiteRecord> centerRecord = readSiteRecord(center.root());
        QVERIFY(centerRecord->centerSite);
        QCOMPARE(centerRecord->values.size(), 12);
        for (const SiteValue &value : centerRecord->values)
            QVERIFY(value.member != SiteValue::SiteLanIp && value.member != SiteValue::GatewayCsq);

        // A member missing part-way, or of the wrong type, stops the filling there.
        QCOMPARE(siteValues(kOrdinarySite, "\"flowDatas\":\"1.2GB\",", ""), 7);
        QCOMPARE(siteValues(kOrdinarySite, "\"siteEnabled\":2", "\"siteEnabled\":\"1\""), 3);
        QCOMPARE(siteValues(kOrdinarySite, "\"siteSort\":0,", ""), -1);
        QCOMPARE(siteValues(R"({"code":100})", "", ""), -1);

        QCOMPARE(siteEnabledText(1), QStringLiteral("是"));
        QCOMPARE(siteEnabledText(2), QStringLiteral("否"));
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

    void pageButtons()
    {
        // button, current, total, gateway page, device page
        const int F = int(PageButton::First), P = int(PageButton::Previous), N = int(PageButton::Next),
                  L = int(PageButton::Last);
        const int cases[][5] = {{F, 3, 5, 1, 1},  {P, 3, 5, 2, 2}, {P, 1, 5, 1, 1}, {P, 0, 5, -1, 0}, {N, 2, 5, 3, 3},
                                {N, 5, 5, 5, 5},  {N, 7, 5, 8, 5}, {N, 0, 0, 0, 0}, {L, 2, 5, 5, 5}};
        for (const auto &c : cases) {
            QCOMPARE(gatewayTargetPage(PageButton(c[0]), c[1], c[2]), c[3]);
            QCOMPARE(deviceTargetPage(PageButton(c[0]), c[1], c[2]), c[4]);
        }
        QCOMPARE(pageNumberFromLabel(QStringLiteral("12")), 12);
        QCOMPARE(pageNumberFromLabel(QStringLiteral("?")), 0);
    }
};

QTEST_GUILESS_MAIN(TestBrowserReplies)
#include "tst_browserreplies.moc"
