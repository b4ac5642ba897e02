// The device table of the chosen gateway: the first page on a click, the four page buttons and
// replies the table cannot fully use.
#include "support/boundwindow.h"
#include "ui/resources.h"

#include <QtTest>

namespace {
const QString devicesList = QStringLiteral("devicesList");
const QString busyGateway = QStringLiteral("KV2410A0001");  // 37 devices: two pages
const QString smallGateway = QStringLiteral("KV2410A0002"); // 7 devices, one of each class
const QString emptyGateway = QStringLiteral("KV2410A0004"); // no devices
const QByteArray customer = "&customerId=" + QByteArray::number(demo::customer);

// What each row shows: the four texts (centred, 微软雅黑 11) and the status picture, blank rows as
// empty texts; then the device id list.
QStringList shownDevices(BoundWindow &bound)
{
    QStringList rows;
    QTableWidget *table = bound.ui->tableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 1; column <= 4; ++column) {
            const QTableWidgetItem *item = table->item(row, column);
            if (item && item->textAlignment() == Qt::AlignCenter && item->font() == QFont(QStringLiteral("微软雅黑"), 11))
                cells << item->text();
        }
        const QWidget *cell = table->cellWidget(row, 0);
        cells << (showsPicture(cell, picture::right)   ? picture::right
                  : showsPicture(cell, picture::wrong) ? picture::wrong
                                                       : QString());
        rows << cells.join(QLatin1Char('|'));
    }
    return rows << bound.window.deviceIdList.join(QLatin1Char(','));
}

// The devices in the first of 25 rows, blank rows after them, then their ids.
QStringList expectedDevices(const QVector<sim::Device> &devices)
{
    const QStringList classes = QStringLiteral("通用 PLC 摄像头 仪表 IO模块 机床 机器人").split(QLatin1Char(' '));
    QStringList rows, ids;
    for (const sim::Device &device : devices) {
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(device.deviceName, classes.value(device.deviceClassify), device.realIp, device.virtualIp,
                         device.deviceOnline ? picture::right : picture::wrong);
        ids << QString::number(device.deviceId);
    }
    while (rows.size() < 25)
        rows << QString();
    return rows << ids.join(QLatin1Char(','));
}

QString pageLabels(Ui::MainWindow *ui)
{
    return ui->DEV_Current_Page->text() + QLatin1Char('/') + ui->DEV_Total_Page->text();
}
} // namespace

class TestDeviceTable : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    // Another gateway's devices fill the table first, so that leftovers would show.
    void firstPageOnClick()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        const struct { QString serial; const char *pages; int shown; } gateways[] = {
            {busyGateway, "1/2", 25}, {smallGateway, "1/1", 7}, {emptyGateway, "0/0", 0}};
        for (const auto &gateway : gateways) {
            QVERIFY(bound.click(gateway.serial == busyGateway ? smallGateway : busyGateway));
            bound.platform->clearRequests();
            QVERIFY(bound.click(gateway.serial));
            QCOMPARE(bound.platform->requests(devicesList).size(), 1);
            QCOMPARE(bound.lastQuery(devicesList), "token=" + bound.window.sessionToken + "&index=1&size=25" +
                                                      "&gatewaySn=" + gateway.serial.toUtf8() + customer);
            QCOMPARE(pageLabels(bound.ui), QLatin1String(gateway.pages));
            QStringList expected = expectedDevices(bound.gateway(gateway.serial).devices.mid(0, gateway.shown));
            QCOMPARE(shownDevices(bound), expected);
            if (gateway.shown == 0)
                continue;
            const QLabel *status = bound.ui->tableWidget->cellWidget(0, 0)->findChild<QLabel *>();
            QVERIFY(status->maximumWidth() <= 23 && status->hasScaledContents() &&
                    status->parentWidget()->layout()->contentsMargins() == QMargins(0, 3, 0, 3));
            // The root item empties the id list only.
            bound.platform->clearRequests();
            bound.click(bound.window.rootItem);
            QVERIFY(bound.platform->requests().isEmpty());
            expected.last().clear();
            QCOMPARE(shownDevices(bound), expected);
        }
        // Unlike the gateway list, the buttons still ask when there are no devices: next stays on page 0.
        QTest::mouseClick(bound.ui->DEV_After_Page, Qt::LeftButton);
        QCOMPARE(bound.lastValue(devicesList, QStringLiteral("index")) + QLatin1Char(' ') + pageLabels(bound.ui),
                 QStringLiteral("0 0/0"));
    }

    // Each button from page 1 and 2 (previous on 1 and next on the last page reload it). The pages
    // follow the serial of the site page, not the tree (here refilled without it).
    void pageButtons()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        QVERIFY(bound.click(busyGateway));
        bound.window.fillGatewayTree(R"({"code":100,"page":{"size":30,"count":1,"index":1},"data":[
            {"gatewaySn":"KV2410A0002","tunnelOnline":1,"customerId":1001}]})");
        const struct { const char *button; int startPage, page; } presses[] = {
            {"DEV_One_Page", 2, 1},   {"DEV_Previous_Page", 2, 1}, {"DEV_Previous_Page", 1, 1},
            {"DEV_After_Page", 1, 2}, {"DEV_After_Page", 2, 2},    {"DEV_Last_Page", 1, 2}};
        for (const auto &press : presses) {
            bound.ui->DEV_Current_Page->setText(QString::number(press.startPage));
            bound.platform->clearRequests();
            QTest::mouseClick(bound.window.findChild<QToolButton *>(QLatin1String(press.button)), Qt::LeftButton);
            QCOMPARE(bound.platform->requests().size(), 1);
            QCOMPARE(bound.lastQuery(devicesList), "token=" + bound.window.sessionToken + "&gatewaySn=" +
                                                      busyGateway.toUtf8() + "&size=25&index=" +
                                                      QByteArray::number(press.page) + customer);
            QCOMPARE(pageLabels(bound.ui), QStringLiteral("%1/2").arg(press.page));
            const QVector<sim::Device> devices = bound.gateway(busyGateway).devices;
            QCOMPARE(shownDevices(bound), expectedDevices(devices.mid((press.page - 1) * 25, 25)));
        }
    }

    // An element without a class ends the fill after its id was taken; the row count is then the
    // number of elements, up to a page. A click that gets no usable reply leaves the table cleared and the labels
    // as they were; 10002 asks for a new token and the page once more. A lost reply is logged and
    // told, and leaves the table too as it was.
    void unusableReplies()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        QVERIFY(bound.click(busyGateway));
        bound.platform->setFault(devicesList, replyBody(R"({"code":100,"page":{"size":25,"count":3,"index":1},"data":[
            {"deviceId":7,"deviceName":"A","deviceClassify":4,"realIp":"r","virtualIp":"v","deviceOnline":0},
            {"deviceId":8,"deviceName":"B","realIp":"r","virtualIp":"v","deviceOnline":1},
            {"deviceId":9,"deviceName":"C","deviceClassify":1,"realIp":"r","virtualIp":"v","deviceOnline":1}]})"));
        QVERIFY(bound.click(smallGateway));
        QCOMPARE(shownDevices(bound), (QStringList{QStringLiteral("A|IO模块|r|v|") + picture::wrong, QString(),
                                                   QString(), QStringLiteral("7,8")}));
        // However many elements it has, cut short early or late, the table shows at most one page of
        // rows and keeps no more ids, and a state refresh with as many states touches no more rows.
        const QByteArray device = R"({"deviceId":8,"deviceName":"B","deviceClassify":1,"realIp":"r","virtualIp":"v",)"
                                  R"("deviceOnline":1},)";
        for (const QByteArray &data : {"{}," + device.repeated(1999), device.repeated(1999) + "{},"}) {
            bound.platform->setFault(devicesList, replyBody(R"({"code":100,"page":{"size":25,"count":3,"index":1},)"
                                                            R"("data":[)" + data.chopped(1) + "]}"));
            QVERIFY(bound.click(busyGateway));
            QVERIFY(bound.ui->tableWidget->rowCount() == 25 && bound.window.deviceIdList.size() <= 25);
        }
        const QByteArray state = R"({"deviceOnline":0},)";
        bound.platform->setFault(QStringLiteral("devicesBatchFind"),
                                 replyBody(R"({"code":100,"data":[)" + state.repeated(2000).chopped(1) + "]}"));
        bound.window.refreshDeviceStates();
        QVERIFY(bound.ui->tableWidget->rowCount() == 25 && bound.ui->tableWidget->cellWidget(24, 0));

        QVERIFY(bound.boxes.isEmpty());
        for (const sim::Fault &failure : {droppedConnection(), fault(10002)}) {
            bound.platform->clearFaults();
            QVERIFY(bound.click(busyGateway));
            const QStringList shown = shownDevices(bound);
            const QByteArray oldToken = bound.window.sessionToken;
            bound.platform->setFault(devicesList, failure);
            bound.platform->clearRequests();
            if (failure.dropConnection)
                QTest::ignoreMessage(QtWarningMsg, "获取设备信息失败，网络连接异常");
            QVERIFY(bound.click(smallGateway));
            QCOMPARE(shownDevices(bound), failure.dropConnection ? shown : expectedDevices({}));
            QCOMPARE(pageLabels(bound.ui), QStringLiteral("1/2"));
            QCOMPARE(bound.window.sessionToken != oldToken, failure.code == 10002);
            QCOMPARE(bound.requestCount(devicesList), failure.code == 10002 ? 2 : 1);
            QCOMPARE(bound.boxes.texts(), failure.dropConnection
                                              ? QStringList{QStringLiteral("网络连接失败，请检测您的网络状态后重试")}
                                              : QStringList());
            bound.boxes.clear();
        }
    }
};

QTEST_MAIN(TestDeviceTable)
#include "tst_devicetable.moc"
