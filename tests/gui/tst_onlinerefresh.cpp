// The once-a-minute ReportState tick (gateway and device online refresh, traffic meter step, tunnel
// and TAP state report), and hostile replies to every browser operation.
#include "api/platformexchange.h"
#include "support/boundwindow.h"
#include "ui/resources.h"

#include <QtTest>

namespace {
const QString gatewayBatchFind = QStringLiteral("gatewayBatchFind");
const QString devicesBatchFind = QStringLiteral("devicesBatchFind");
const QString updateState = QStringLiteral("updateTunnelAndTapState");
const QString smallGateway = QStringLiteral("KV2410A0002"); // 7 devices
} // namespace

class TestOnlineRefresh : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void ticks()
    {
        BoundWindow bound;
        QVERIFY(bound.start() && bound.click(smallGateway));
        MainWindow &window = bound.window;
        QTableWidget *table = bound.ui->tableWidget;
        const QStringList serials = childTexts(window.rootItem);
        // A mark on the old root tells a rebuilt tree (its new root may reuse the old one's address).
        const int oldRootMark = Qt::UserRole + 77;
        window.rootItem->setData(0, oldRootMark, true);
        QWidget *oldCell = table->cellWidget(0, 0);
        QWidget *unchangedCell = table->cellWidget(1, 0); // its device keeps its state
        // The platform's view changes between the fill and the tick.
        bound.platform->editWorld([&](sim::World &world) {
            world.findGateway(QStringLiteral("KV2410A0001"))->tunnelOnline ^= 1;
            world.findGateway(QStringLiteral("TAP-DEMO-0002"))->tunnelOnline = 1;
            world.findGateway(smallGateway)->devices[0].deviceOnline ^= 1;
        });
        // The report marks the TAP's own gateway online after the refresh saw it.
        const sim::World seen = bound.platform->world();
        bound.host.sentBytes = 5000;
        window.tunnelConnected = true;
        bound.platform->clearRequests();

        window.ReportState();
        const QList<sim::RecordedRequest> requests = bound.platform->requests();
        QCOMPARE(requests.size(), 3);
        const QByteArray token = "token=" + window.sessionToken;
        const QByteArray report = token + "&gatewaySn=" + demo::tap.toUtf8() + "&tunnelOnline=";
        QCOMPARE(requests.at(0).rawQuery, token + "&gatewaySn=" + serials.join(QLatin1String("%2C")).toUtf8() + "%2C");
        QCOMPARE(requests.at(1).rawQuery,
                 token + "&ids=" + window.deviceIdList.join(QLatin1String("%2C")).toLatin1() + "%2C");
        // The first reading only sets the baseline.
        QCOMPARE(requests.at(2).rawQuery, report + "1&tapOnline=1&flowData=0");
        QCOMPARE(window.gatewaySnList, QStringList{QStringLiteral("Korvane")} + serials);
        QVERIFY(!window.rootItem->data(0, oldRootMark).isValid() && window.rootItem->isExpanded() &&
                bound.ui->treeWidget->topLevelItemCount() == 1);
        QCOMPARE(childTexts(window.rootItem), serials);
        QCOMPARE(wrongIcon(window.rootItem, seen), QString());
        // The status cells are new and show the platform's state; the rest of the row stays.
        const QVector<sim::Device> devices = bound.gateway(smallGateway).devices;
        // Only the changed state's cell is made anew (the tick's cost follows what changed).
        QCOMPARE(table->cellWidget(1, 0), unchangedCell);
        QVERIFY(table->cellWidget(0, 0) != oldCell && !table->cellWidget(devices.size(), 0) &&
                window.trafficDelta == 0);
        for (int row = 0; row < devices.size(); ++row) {
            const QString status = devices[row].deviceOnline ? picture::right : picture::wrong;
            QVERIFY(showsPicture(table->cellWidget(row, 0), status));
            QCOMPARE(table->item(row, 1)->text(), devices[row].deviceName);
        }

        // The counter moved on by 3000 bytes; the tunnel is down. Then a tick without traffic.
        bound.host.sentBytes = 8000;
        window.tunnelConnected = false;
        window.ReportState();
        QCOMPARE(bound.lastQuery(updateState), report + "0&tapOnline=1&flowData=3000");
        window.ReportState();
        QCOMPARE(bound.lastValue(updateState, QStringLiteral("flowData")), QStringLiteral("0"));

        // An unbound serial stops the tick whatever the flag says; a bound serial with the flag down
        // refreshes without stepping the meter or reporting.
        const int queries = bound.host.sentBytesQueries;
        bound.platform->clearRequests();
        window.tapSerial = QByteArrayLiteral("unbound");
        window.trafficDelta = 42;
        window.ReportState();
        QVERIFY(bound.platform->requests().isEmpty());
        window.tapSerial = demo::tap.toUtf8();
        *window.tapBound = false;
        window.ReportState();
        QVERIFY(bound.platform->requests().size() == 2 && bound.requestCount(updateState) == 0);
        QVERIFY(bound.host.sentBytesQueries == queries && window.trafficDelta == 42);

        // The tree is rebuilt in the reply's order, up to the first incomplete element; device states
        // beyond the table's rows are dropped.
        *window.tapBound = true;
        bound.platform->clearRequests();
        bound.platform->setFault(gatewayBatchFind, replyBody(R"({"code":100,"data":[{"gatewaySn":"B","tunnelOnline":1},
            {"gatewaySn":"A","tunnelOnline":0},{"gatewaySn":"C"},{"gatewaySn":"D","tunnelOnline":1}]})"));
        const QByteArray offline = R"({"deviceOnline":0},)";
        bound.platform->setFault(devicesBatchFind, replyBody(R"({"code":100,"data":[)" + offline.repeated(30) + "0]}"));
        window.ReportState();
        QCOMPARE(childTexts(window.rootItem), (QStringList{QStringLiteral("B"), QStringLiteral("A")}));
        QVERIFY(isIcon(window.rootItem->child(0)->icon(0), picture::on) &&
                isIcon(window.rootItem->child(1)->icon(0), picture::off));
        QCOMPARE(table->rowCount(), 25);
        for (int row = 0; row < 25; ++row)
            QVERIFY(showsPicture(table->cellWidget(row, 0), picture::wrong));
        QCOMPARE(table->item(6, 1)->text(), devices.at(6).deviceName);

        // 10002 leaves the root only and asks for a token; the next refresh has no serials to send.
        const QByteArray oldToken = window.sessionToken;
        bound.platform->setFault(gatewayBatchFind, fault(10002));
        window.ReportState();
        QCOMPARE(bound.lastValue(gatewayBatchFind, QStringLiteral("gatewaySn")), QStringLiteral("B,A,"));
        QVERIFY(window.rootItem->childCount() == 0 && window.sessionToken != oldToken);
        QVERIFY(bound.requestCount(QStringLiteral("getLintraToken")) == 1 && bound.requestCount(updateState) == 2);
        bound.platform->clearFaults();
        window.ReportState();
        QCOMPARE(bound.lastQuery(gatewayBatchFind), "token=" + window.sessionToken + "&gatewaySn=");
    }

    // Each browser operation answered with a hostile reply: no crash, no box, one tree root, and
    // the window works as before once the platform behaves again.
    void hostileReplies_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QByteArray>("body");
        // Ten thousand elements that every operation can read: a complete page of each list.
        const QByteArray many = QByteArray(R"({"gatewaySn":"GW","tunnelOnline":1,"customerId":1001,"deviceId":1,)"
                                           R"("deviceName":"d","deviceClassify":1,"realIp":"r","virtualIp":"v",)"
                                           R"("deviceOnline":1},)").repeated(10000).chopped(1);
        const QByteArray bodies[] = {
            "<html>502</html>", "", "null", R"({"code":"100","data":[]})",
            R"({"code":100,"page":[25,37,1],"data":{"siteSort":0}})",
            R"({"code":100,"page":{"size":30,"count":-5,"index":1},"data":[1,"x",null,{},[]]})",
            R"({"code":100,"page":{"size":0,"count":2147483647,"index":-1},"data":[{"gatewaySn":{},"tunnelOnline":"1",
                "deviceOnline":"1","deviceId":null,"customerId":1001}]})",
            R"({"code":100,"data":{"siteSort":1,"siteName":7,"siteWanIp":null,"siteEnabled":"1","tunnelOnline":[]}})",
            R"({"code":100,"data":{"siteSort":0,"siteName":{},"siteWanIp":[1],"siteLanIp":null,"siteEnabled":1e300}})",
            QByteArray("\x00\xff{\"code\":100", 13), QByteArray(100000, '[') + QByteArray(100000, ']'),
            R"({"code":100,"page":{"size":30,"count":10000,"index":1},"data":[)" + many + "]}",
        };
        for (const char *operation :
             {"gatewayVagueFind", "getSiteInfo", "devicesList", "gatewayBatchFind", "devicesBatchFind"})
            for (int i = 0; i < int(std::size(bodies)); ++i)
                QTest::addRow("%s %d", operation, i) << QString::fromLatin1(operation) << bodies[i];
    }

    void hostileReplies()
    {
        QFETCH(QString, operation);
        QFETCH(QByteArray, body);
        BoundWindow bound;
        QVERIFY(bound.start() && bound.click(QStringLiteral("KV2410A0001")));
        bound.platform->clearRequests();
        bound.platform->setFault(operation, replyBody(body));

        if (operation == QLatin1String("gatewayVagueFind"))
            QTest::mouseClick(bound.ui->WG_After_Page, Qt::LeftButton);
        else if (operation.endsWith(QLatin1String("BatchFind")))
            bound.window.ReportState();
        else
            QVERIFY(bound.click(smallGateway));
        QCOMPARE(bound.requestCount(operation), 1);
        QCOMPARE(childTexts(bound.ui->treeWidget->invisibleRootItem()), QStringList{QStringLiteral("Korvane")});
        // A body too long to be a reply ends the transfer: what the user asked for is told as lost.
        const bool told = body.size() > MaxReplyBytes && !operation.endsWith(QLatin1String("BatchFind"));
        QCOMPARE(bound.boxes.texts(),
                 told ? QStringList{QStringLiteral("网络连接失败，请检测您的网络状态后重试")} : QStringList());
        QCOMPARE(bound.requestCount(QStringLiteral("getLintraToken")), 0);

        bound.platform->clearFaults();
        bound.window.loadGatewayPage(1);
        QCOMPARE(bound.window.rootItem->childCount(), 30);
        QVERIFY(bound.click(smallGateway));
        QCOMPARE(bound.window.deviceIdList.size(), 7);
    }
};

QTEST_MAIN(TestOnlineRefresh)
#include "tst_onlinerefresh.moc"
