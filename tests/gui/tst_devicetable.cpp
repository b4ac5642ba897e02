// The device table of the chosen gateway: the first page on a click, the four page buttons and
// replies the table cannot fully use.
#include "support/boundwindow.h"
#include "ui/resources.h"

#include <QtTest>

#include <iterator>

namespace {
const QString devicesList = QStringLiteral("devicesList");
const QString busyGateway = QStringLiteral("KV2410A0001");  // 37 devices: two pages
const QString smallGateway = QStringLiteral("KV2410A0002"); // 7 devices, one of each class
const QString emptyGateway = QStringLiteral("KV2410A0004"); // no devices

// What each row shows: the four texts (centred, 微软雅黑 11) and the status picture; blank rows
// read as empty texts.
QStringList tableRows(QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 1; column <= 4; ++column) {
            const QTableWidgetItem *item = table->item(row, column);
            if (item && item->textAlignment() == Qt::AlignCenter && item->font() == QFont(QStringLiteral("微软雅黑"), 11))
                cells << item->text();
        }
        for (const QString &status : {picture::right, picture::wrong}) {
            if (showsPicture(table->cellWidget(row, 0), status))
                cells << status;
        }
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

// The devices in the first rows, blank rows after them up to rowCount.
QStringList expectedRows(const QVector<sim::Device> &devices, int rowCount = 25)
{
    static const QStringList classes = {QStringLiteral("通用"), QStringLiteral("PLC"),    QStringLiteral("摄像头"),
                                        QStringLiteral("仪表"), QStringLiteral("IO模块"), QStringLiteral("机床"),
                                        QStringLiteral("机器人")};
    QStringList rows;
    for (const sim::Device &device : devices)
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(device.deviceName, classes.value(device.deviceClassify), device.realIp, device.virtualIp,
                         device.deviceOnline ? picture::right : picture::wrong);
    while (rows.size() < rowCount)
        rows << QString();
    return rows;
}

QString pageLabels(Ui::MainWindow *ui)
{
    return ui->DEV_Current_Page->text() + QLatin1Char('/') + ui->DEV_Total_Page->text();
}

QStringList idsOf(const QVector<sim::Device> &devices)
{
    QStringList ids;
    std::transform(devices.begin(), devices.end(), std::back_inserter(ids),
                   [](const sim::Device &device) { return QString::number(device.deviceId); });
    return ids;
}
} // namespace

class TestDeviceTable : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    // Another gateway's devices fill the table first, so that leftovers would show.
    void firstPageOnClick_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("pages");
        QTest::addColumn<int>("shown");
        QTest::newRow("37 devices: a full page of two") << busyGateway << "1/2" << 25;
        QTest::newRow("7 devices of every class") << smallGateway << "1/1" << 7;
        QTest::newRow("no devices") << emptyGateway << "0/0" << 0;
    }

    void firstPageOnClick()
    {
        QFETCH(QString, serial);
        QFETCH(QString, pages);
        QFETCH(int, shown);
        BoundWindow bound;
        QVERIFY(bound.start());
        QVERIFY(bound.click(serial == busyGateway ? smallGateway : busyGateway));
        bound.platform->clearRequests();

        QVERIFY(bound.click(serial));
        QCOMPARE(bound.platform->requests(devicesList).size(), 1);
        QCOMPARE(bound.lastQuery(devicesList), "token=" + bound.window.sessionToken + "&index=1&size=25&gatewaySn=" +
                                              serial.toUtf8() + "&customerId=" + QByteArray::number(demo::customer));
        QCOMPARE(pageLabels(bound.ui), pages);
        const QVector<sim::Device> devices = bound.gateway(serial).devices.mid(0, shown);
        QCOMPARE(tableRows(bound.ui->tableWidget), expectedRows(devices));
        QCOMPARE(bound.window.deviceIdList, idsOf(devices));
        if (shown > 0) {
            const QLabel *status = bound.ui->tableWidget->cellWidget(0, 0)->findChild<QLabel *>();
            QVERIFY(status->maximumWidth() <= 23 && status->hasScaledContents() &&
                    status->parentWidget()->layout()->contentsMargins() == QMargins(0, 3, 0, 3));
            // The root item empties the id list only.
            bound.platform->clearRequests();
            bound.click(bound.window.rootItem);
            QVERIFY(bound.platform->requests().isEmpty() && bound.window.deviceIdList.isEmpty());
            QCOMPARE(tableRows(bound.ui->tableWidget), expectedRows(devices));
        } else {
            // Unlike the gateway list, the buttons still ask: next stays on page 0.
            QTest::mouseClick(bound.ui->DEV_After_Page, Qt::LeftButton);
            QCOMPARE(bound.lastValue(devicesList, QStringLiteral("index")), QStringLiteral("0"));
            QCOMPARE(pageLabels(bound.ui), QStringLiteral("0/0"));
        }
    }

    void pageButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("startPage");
        QTest::addColumn<int>("page");
        QTest::newRow("first from 2") << "DEV_One_Page" << 2 << 1;
        QTest::newRow("previous from 2") << "DEV_Previous_Page" << 2 << 1;
        QTest::newRow("previous on page 1 reloads it") << "DEV_Previous_Page" << 1 << 1;
        QTest::newRow("next from 1") << "DEV_After_Page" << 1 << 2;
        QTest::newRow("next on the last page reloads it") << "DEV_After_Page" << 2 << 2;
        QTest::newRow("last from 1") << "DEV_Last_Page" << 1 << 2;
    }

    // The pages follow the serial of the site page, not the tree (here refilled without it).
    void pageButtons()
    {
        QFETCH(QString, button);
        QFETCH(int, startPage);
        QFETCH(int, page);
        BoundWindow bound;
        QVERIFY(bound.start());
        QVERIFY(bound.click(busyGateway));
        bound.ui->DEV_Current_Page->setText(QString::number(startPage));
        bound.window.fillGatewayTree(R"({"code":100,"page":{"size":30,"count":1,"index":1},"data":[
            {"gatewaySn":"KV2410A0002","tunnelOnline":1,"customerId":1001}]})");
        bound.platform->clearRequests();

        QTest::mouseClick(bound.window.findChild<QToolButton *>(button), Qt::LeftButton);
        QCOMPARE(bound.platform->requests().size(), 1);
        QCOMPARE(bound.lastQuery(devicesList), "token=" + bound.window.sessionToken + "&gatewaySn=" +
                                                   busyGateway.toUtf8() + "&size=25&index=" + QByteArray::number(page) +
                                                   "&customerId=" + QByteArray::number(demo::customer));
        QCOMPARE(pageLabels(bound.ui), QStringLiteral("%1/2").arg(page));
        const QVector<sim::Device> devices = bound.gateway(busyGateway).devices.mid((page - 1) * 25, 25);
        QCOMPARE(tableRows(bound.ui->tableWidget), expectedRows(devices));
        QCOMPARE(bound.window.deviceIdList, idsOf(devices));
    }

    // An element without a class ends the fill after its id was taken; the row count is then the
    // number of elements.
    void elementWithoutClass()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        QVERIFY(bound.click(busyGateway));
        bound.platform->setFault(devicesList, replyBody(R"({"code":100,"page":{"size":25,"count":3,"index":1},"data":[
            {"deviceId":7,"deviceName":"A","deviceClassify":4,"realIp":"r","virtualIp":"v","deviceOnline":0},
            {"deviceId":8,"deviceName":"B","realIp":"r","virtualIp":"v","deviceOnline":1},
            {"deviceId":9,"deviceName":"C","deviceClassify":1,"realIp":"r","virtualIp":"v","deviceOnline":1}]})"));

        QVERIFY(bound.click(smallGateway));
        QCOMPARE(tableRows(bound.ui->tableWidget),
                 (QStringList{QStringLiteral("A|IO模块|r|v|") + picture::wrong, QString(), QString()}));
        QCOMPARE(bound.window.deviceIdList, (QStringList{QStringLiteral("7"), QStringLiteral("8")}));
    }

    // A click that gets no usable reply leaves the table cleared and the labels as they were; a
    // lost reply is logged, 10002 asks for a new token.
    void failedClick_data()
    {
        QTest::addColumn<sim::Fault>("failure");
        QTest::newRow("transfer failure") << droppedConnection();
        QTest::newRow("session expired") << fault(10002);
    }

    void failedClick()
    {
        QFETCH(sim::Fault, failure);
        BoundWindow bound;
        QVERIFY(bound.start());
        QVERIFY(bound.click(busyGateway));
        const QByteArray oldToken = bound.window.sessionToken;
        bound.platform->setFault(devicesList, failure);
        if (failure.dropConnection)
            QTest::ignoreMessage(QtWarningMsg, "获取设备信息失败，网络连接异常");

        QVERIFY(bound.click(smallGateway));
        QCOMPARE(tableRows(bound.ui->tableWidget), expectedRows({}));
        QCOMPARE(pageLabels(bound.ui), QStringLiteral("1/2"));
        QCOMPARE(bound.window.sessionToken != oldToken, failure.code == 10002);
        QVERIFY(bound.window.deviceIdList.isEmpty() && bound.boxes.isEmpty());
    }
};

QTEST_MAIN(TestDeviceTable)
#include "tst_devicetable.moc"
