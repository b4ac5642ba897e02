// The once-a-minute ReportState tick: gateway and device online refresh, the traffic meter step
// and the tunnel and TAP state report.
#include "gui/browserfixture.h"
#include "ui/resources.h"

using namespace browsertest;

namespace {

QString text(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

const QString gatewayBatchFind = QStringLiteral("gatewayBatchFind");
const QString devicesBatchFind = QStringLiteral("devicesBatchFind");
const QString updateState = QStringLiteral("updateTunnelAndTapState");
const QString smallGateway = QStringLiteral("KV2410A0002"); // 7 devices

sim::Fault customBody(const QByteArray &body)
{
    sim::Fault fault;
    fault.body = sim::Fault::Body::Custom;
    fault.customBody = body;
    return fault;
}

sim::Fault faultWithCode(int code)
{
    sim::Fault fault;
    fault.code = code;
    return fault;
}

sim::Fault faultWithBody(sim::Fault::Body body)
{
    sim::Fault fault;
    fault.body = body;
    return fault;
}

sim::Fault droppedConnection()
{
    sim::Fault fault;
    fault.dropConnection = true;
    return fault;
}

// A list value as the platform receives it: every entry followed by a comma, the comma encoded.
QByteArray encodedList(const QStringList &entries)
{
    QByteArray value;
    for (const QString &entry : entries)
        value += entry.toUtf8() + "%2C";
    return value;
}

QStringList operationsOf(const QList<sim::RecordedRequest> &requests)
{
    QStringList operations;
    for (const sim::RecordedRequest &request : requests)
        operations.append(request.operation);
    return operations;
}

QByteArray batchReply(const QString &elementsJson)
{
    return QByteArrayLiteral("{\"code\":100,\"data\":[") + elementsJson.toUtf8() + "]}";
}

QString repeated(const QString &element, int count)
{
    QStringList elements;
    for (int i = 0; i < count; ++i)
        elements.append(element.arg(i));
    return elements.join(QLatin1Char(','));
}

QList<int> sameState(int rows, int state)
{
    QList<int> states;
    for (int i = 0; i < rows; ++i)
        states.append(state);
    return states;
}

QList<QWidget *> statusCells(QTableWidget *table)
{
    QList<QWidget *> cells;
    for (int row = 0; row < table->rowCount(); ++row)
        cells.append(table->cellWidget(row, 0));
    return cells;
}

} // namespace

Q_DECLARE_METATYPE(sim::Fault)

class TestOnlineRefresh : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void unboundTickDoesNothing_data()
    {
        QTest::addColumn<bool>("wasBound");
        QTest::newRow("never bound") << false;
        QTest::newRow("binding released") << true;
    }

    void unboundTickDoesNothing()
    {
        QFETCH(bool, wasBound);

        BrowserSession session;
        QVERIFY(session.signIn());
        if (wasBound)
            QVERIFY(session.bind());
        // The flag may lag behind; the serial decides.
        session.window.tapSerial = QByteArrayLiteral("unbound");
        session.host.sentBytes = 9000;
        session.window.trafficDelta = 42;
        QTreeWidgetItem *root = session.window.rootItem;
        session.platform->clearRequests();

        session.window.ReportState();
        QVERIFY(session.platform->requests().isEmpty());
        QCOMPARE(session.host.sentBytesQueries, 0);
        QCOMPARE(session.window.trafficDelta, qint64(42));
        QCOMPARE(session.window.rootItem, root);
    }

    void boundTicks()
    {
        BrowserSession session;
        QVERIFY(session.start());
        MainWindow &window = session.window;
        QVERIFY(session.clickGateway(smallGateway));
        const QStringList serials = childTexts(window.rootItem);
        const QStringList ids = window.deviceIdList;
        QCOMPARE(ids.size(), 7);
        QTreeWidgetItem *oldRoot = window.rootItem;
        const QList<QWidget *> oldCells = statusCells(session.ui->tableWidget);
        const QString firstName = session.ui->tableWidget->item(0, 1)->text();

        // The platform's view changes between the fill and the tick.
        const sim::Gateway before = session.gatewayInWorld(QStringLiteral("KV2410A0001"));
        session.platform->editWorld([&](sim::World &world) {
            world.findGateway(QStringLiteral("KV2410A0001"))->tunnelOnline = before.tunnelOnline ? 0 : 1;
            world.findGateway(QStringLiteral("TAP-DEMO-0002"))->tunnelOnline = 1;
            sim::Device &device = world.findGateway(smallGateway)->devices[0];
            device.deviceOnline = device.deviceOnline ? 0 : 1;
        });
        session.host.sentBytes = 5000;
        window.tunnelConnected = true;
        session.platform->clearRequests();
        // The report itself marks the TAP's own gateway online: the refresh before it saw this.
        sim::World seen = session.platform->world();

        window.ReportState();
        QList<sim::RecordedRequest> requests = session.platform->requests();
        QCOMPARE(operationsOf(requests), (QStringList{gatewayBatchFind, devicesBatchFind, updateState}));
        const QByteArray token = window.sessionToken;
        QCOMPARE(requests.at(0).rawQuery, QByteArray("token=" + token + "&gatewaySn=" + encodedList(serials)));
        QCOMPARE(requests.at(0).value(QStringLiteral("gatewaySn")), serials.join(QLatin1Char(',')) + QLatin1Char(','));
        QCOMPARE(requests.at(1).rawQuery, QByteArray("token=" + token + "&ids=" + encodedList(ids)));
        // The first reading only sets the baseline.
        QCOMPARE(requests.at(2).rawQuery, QByteArray("token=" + token + "&gatewaySn=" + demoTap.toUtf8() +
                                                     "&tunnelOnline=1&tapOnline=1&flowData=0"));
        QCOMPARE(window.gatewaySnList, QStringList{QStringLiteral("Korvane")} + serials);

        // The tree: a new root with the same gateways and fresh icons; paging state untouched.
        QVERIFY(window.rootItem != oldRoot);
        QCOMPARE(session.ui->treeWidget->topLevelItemCount(), 1);
        QCOMPARE(window.rootItem->text(0), QStringLiteral("Korvane"));
        QCOMPARE(window.rootItem->font(0).family(), QStringLiteral("Calibri"));
        QVERIFY(window.rootItem->isExpanded());
        QCOMPARE(childTexts(window.rootItem), serials);
        for (int i = 0; i < window.rootItem->childCount(); ++i) {
            QTreeWidgetItem *item = window.rootItem->child(i);
            const bool online = seen.findGateway(item->text(0))->tunnelOnline != 0;
            QVERIFY2(isIcon(item->icon(0), online ? onPicture : offPicture), qPrintable(item->text(0)));
            QCOMPARE(item->font(0).pointSize(), 13);
        }
        QCOMPARE(window.gatewayItem, window.rootItem->child(window.rootItem->childCount() - 1));
        QCOMPARE(session.ui->WG_Current_Page->text(), text("1"));
        QCOMPARE(session.ui->WG_Total_Page->text(), text("3"));
        QCOMPARE(window.customerId, demoCustomer);

        // The status cells are new and show the platform's state; the rest of the row stays.
        const QVector<sim::Device> devices = session.gatewayInWorld(smallGateway).devices;
        QTableWidget *table = session.ui->tableWidget;
        for (int row = 0; row < devices.size(); ++row) {
            QVERIFY(table->cellWidget(row, 0) != oldCells.at(row));
            QVERIFY(showsPicture(statusLabel(table, row), devices.at(row).deviceOnline ? rightPicture : wrongPicture));
        }
        QCOMPARE(table->item(0, 1)->text(), firstName);
        QCOMPARE(table->rowCount(), 25);
        QVERIFY(!table->cellWidget(devices.size(), 0));
        QCOMPARE(window.trafficDelta, qint64(0));
        QCOMPARE(window.trafficPrevious, qint64(5000));

        // Second tick: the counter moved on by 3000 bytes; the tunnel is down.
        session.host.sentBytes = 8000;
        window.tunnelConnected = false;
        session.platform->clearRequests();
        window.ReportState();
        requests = session.platform->requests();
        QCOMPARE(operationsOf(requests), (QStringList{gatewayBatchFind, devicesBatchFind, updateState}));
        QCOMPARE(requests.at(2).rawQuery, QByteArray("token=" + token + "&gatewaySn=" + demoTap.toUtf8() +
                                                     "&tunnelOnline=0&tapOnline=1&flowData=3000"));
        QCOMPARE(window.trafficDelta, qint64(0));

        // Third tick without traffic: 0 again, not the previous figure.
        session.platform->clearRequests();
        window.ReportState();
        QCOMPARE(session.lastValue(updateState, QStringLiteral("flowData")), text("0"));

        const sim::World world = session.platform->world();
        QCOMPARE(world.stateReports.size(), 3);
        QCOMPARE(world.stateReports.at(1).flowData, qint64(3000));
        QCOMPARE(world.stateReports.at(1).tunnelOnline, 0);
        QCOMPARE(world.stateReports.at(0).tunnelOnline, 1);
    }

    void flagDownRefreshesOnly()
    {
        BrowserSession session;
        QVERIFY(session.start());
        *session.window.tapBound = false;
        session.window.trafficDelta = 77;
        session.host.sentBytes = 5000;

        session.window.ReportState();
        QCOMPARE(operationsOf(session.platform->requests()), (QStringList{gatewayBatchFind, devicesBatchFind}));
        QCOMPARE(session.host.sentBytesQueries, 0);
        QCOMPARE(session.window.trafficDelta, qint64(77));
        QCOMPARE(session.window.trafficPrevious, qint64(0));
    }

    // Nothing chosen, or the root clicked: the device look-up goes out with an empty list.
    void emptyDeviceList()
    {
        BrowserSession session;
        QVERIFY(session.start());
        session.window.ReportState();
        QVERIFY(session.platform->requests(devicesBatchFind).at(0).rawQuery.endsWith("&ids="));

        QVERIFY(session.clickGateway(smallGateway));
        session.click(session.window.rootItem);
        session.platform->clearRequests();
        session.window.ReportState();
        QVERIFY(session.platform->requests(devicesBatchFind).at(0).rawQuery.endsWith("&ids="));
    }

    // Replies to the gateway refresh: what the tree shows after it; only 10002 asks for a token.
    void gatewayRefreshReplies_data()
    {
        QTest::addColumn<sim::Fault>("fault");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<bool>("newToken");

        const QStringList none;
        QTest::newRow("10002") << faultWithCode(10002) << none << true;
        QTest::newRow("10005") << faultWithCode(10005) << none << false;
        QTest::newRow("not JSON") << faultWithBody(sim::Fault::Body::NotJson) << none << false;
        QTest::newRow("truncated") << faultWithBody(sim::Fault::Body::Truncated) << none << false;
        QTest::newRow("transfer failure") << droppedConnection() << none << false;
        QTest::newRow("no code") << customBody("{\"data\":[{\"gatewaySn\":\"A\",\"tunnelOnline\":1}]}") << none
                                 << false;
        QTest::newRow("data is an object")
            << customBody("{\"code\":100,\"data\":{\"gatewaySn\":\"A\"}}") << none << false;
        QTest::newRow("reply order")
            << customBody(batchReply(
                   text("{\"gatewaySn\":\"B\",\"tunnelOnline\":1},{\"gatewaySn\":\"A\",\"tunnelOnline\":0}")))
            << QStringList{text("B"), text("A")} << false;
        QTest::newRow("element without tunnelOnline ends the list")
            << customBody(batchReply(text("{\"gatewaySn\":\"A\",\"tunnelOnline\":1},{\"gatewaySn\":\"B\"},{"
                                          "\"gatewaySn\":\"C\",\"tunnelOnline\":1}")))
            << QStringList{text("A")} << false;
        QTest::newRow("serial as number")
            << customBody(batchReply(text("{\"gatewaySn\":5,\"tunnelOnline\":1}"))) << none << false;
        QStringList many;
        for (int i = 0; i < 10000; ++i)
            many.append(QStringLiteral("GW%1").arg(i));
        QTest::newRow("ten thousand gateways")
            << customBody(batchReply(repeated(text("{\"gatewaySn\":\"GW%1\",\"tunnelOnline\":1}"), 10000))) << many
            << false;
    }

    void gatewayRefreshReplies()
    {
        QFETCH(sim::Fault, fault);
        QFETCH(QStringList, shown);
        QFETCH(bool, newToken);

        BrowserSession session;
        QVERIFY(session.start());
        MainWindow &window = session.window;
        const QByteArray oldToken = window.sessionToken;
        session.platform->setFault(gatewayBatchFind, fault);

        window.ReportState();
        QCOMPARE(session.ui->treeWidget->topLevelItemCount(), 1);
        QCOMPARE(window.rootItem->text(0), QStringLiteral("Korvane"));
        QVERIFY(window.rootItem->isExpanded());
        QCOMPARE(childTexts(window.rootItem), shown);
        if (!shown.isEmpty())
            QVERIFY(isIcon(window.rootItem->child(0)->icon(0), onPicture));
        if (shown.size() == 2)
            QVERIFY(isIcon(window.rootItem->child(1)->icon(0), offPicture));
        QCOMPARE(session.platform->requests(QStringLiteral("getLintraToken")).size(), newToken ? 1 : 0);
        QCOMPARE(window.sessionToken != oldToken, newToken);
        QCOMPARE(session.ui->WG_Current_Page->text(), text("1"));
        QCOMPARE(session.ui->WG_Total_Page->text(), text("3"));
        QCOMPARE(window.customerId, demoCustomer);
        // The rest of the tick goes on.
        QCOMPARE(session.platform->requests(updateState).size(), 1);
        QVERIFY(session.boxes.isEmpty());

        // A tree left with its root only has no serials to send next time.
        if (shown.isEmpty()) {
            session.platform->clearFaults();
            session.platform->clearRequests();
            window.ReportState();
            QCOMPARE(session.platform->requests(gatewayBatchFind).at(0).rawQuery,
                     QByteArray("token=" + window.sessionToken + "&gatewaySn="));
            QCOMPARE(window.gatewaySnList, QStringList{QStringLiteral("Korvane")});
            QCOMPARE(window.rootItem->childCount(), 0);
        }
    }

    // Replies to the device refresh: which status cells are replaced and what they show
    // (1 online, 0 offline); the table keeps its 25 rows.
    void deviceRefreshReplies_data()
    {
        QTest::addColumn<sim::Fault>("fault");
        QTest::addColumn<QList<int>>("states");

        QTest::newRow("more elements than rows")
            << customBody(batchReply(repeated(text("{\"deviceId\":%1,\"deviceOnline\":0}"), 30))) << sameState(25, 0);
        QTest::newRow("fewer elements than devices")
            << customBody(batchReply(text("{\"deviceOnline\":1},{\"deviceOnline\":0},{\"deviceOnline\":5}")))
            << QList<int>{1, 0, 1};
        QTest::newRow("element without deviceOnline ends the list")
            << customBody(batchReply(text("{\"deviceOnline\":0},{\"deviceId\":3},{\"deviceOnline\":1}")))
            << QList<int>{0};
        QTest::newRow("deviceOnline as text")
            << customBody(batchReply(text("{\"deviceOnline\":\"1\"}"))) << QList<int>();
        QTest::newRow("data is an object")
            << customBody("{\"code\":100,\"data\":{\"deviceOnline\":1}}") << QList<int>();
        QTest::newRow("10002: no token request") << faultWithCode(10002) << QList<int>();
        QTest::newRow("not JSON") << faultWithBody(sim::Fault::Body::NotJson) << QList<int>();
        QTest::newRow("truncated") << faultWithBody(sim::Fault::Body::Truncated) << QList<int>();
        QTest::newRow("transfer failure") << droppedConnection() << QList<int>();
        QTest::newRow("ten thousand elements")
            << customBody(batchReply(repeated(text("{\"deviceId\":%1,\"deviceOnline\":1}"), 10000)))
            << sameState(25, 1);
    }

    void deviceRefreshReplies()
    {
        QFETCH(sim::Fault, fault);
        QFETCH(const QList<int>, states);

        BrowserSession session;
        QVERIFY(session.start());
        QVERIFY(session.clickGateway(smallGateway));
        QTableWidget *table = session.ui->tableWidget;
        const QList<QWidget *> before = statusCells(table);
        session.platform->setFault(devicesBatchFind, fault);

        session.window.ReportState();
        QCOMPARE(table->rowCount(), 25);
        const QList<QWidget *> after = statusCells(table);
        for (int row = 0; row < 25; ++row) {
            if (row < states.size()) {
                QVERIFY2(after.at(row) && after.at(row) != before.at(row), qPrintable(QString::number(row)));
                QVERIFY(showsPicture(statusLabel(table, row), states.at(row) ? rightPicture : wrongPicture));
            } else {
                QCOMPARE(after.at(row), before.at(row));
            }
            if (row < 7)
                QVERIFY(table->item(row, 1));
        }
        QCOMPARE(session.platform->requests(QStringLiteral("getLintraToken")).size(), 0);
        QCOMPARE(session.window.deviceIdList.size(), 7);
    }

    // The traffic of an interval is reported once, even when the report fails.
    void stateReportReplies_data()
    {
        QTest::addColumn<sim::Fault>("fault");
        QTest::addColumn<bool>("newToken");

        QTest::newRow("10002") << faultWithCode(10002) << true;
        QTest::newRow("10005") << faultWithCode(10005) << false;
        QTest::newRow("transfer failure") << droppedConnection() << false;
        QTest::newRow("not JSON") << faultWithBody(sim::Fault::Body::NotJson) << false;
    }

    void stateReportReplies()
    {
        QFETCH(sim::Fault, fault);
        QFETCH(bool, newToken);

        BrowserSession session;
        QVERIFY(session.start());
        MainWindow &window = session.window;
        session.host.sentBytes = 1000;
        window.ReportState();
        session.host.sentBytes = 4500;
        session.platform->setFault(updateState, fault);
        session.platform->clearRequests();

        window.ReportState();
        QCOMPARE(session.lastValue(updateState, QStringLiteral("flowData")), text("3500"));
        QCOMPARE(window.trafficDelta, qint64(0));
        QCOMPARE(session.platform->requests(QStringLiteral("getLintraToken")).size(), newToken ? 1 : 0);

        session.platform->clearFaults();
        window.ReportState();
        QCOMPARE(session.lastValue(updateState, QStringLiteral("flowData")), text("0"));
        QCOMPARE(session.lastValue(updateState, QStringLiteral("token")).toUtf8(), window.sessionToken);
    }
};

QTEST_MAIN(TestOnlineRefresh)
#include "tst_onlinerefresh.moc"
