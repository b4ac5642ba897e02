// The device table of the chosen gateway: the first page on a click, the four page buttons and
// replies the table cannot fully use.
#include "gui/browserfixture.h"
#include "sim/replies.h"
#include "ui/resources.h"

#include <QToolButton>

using namespace browsertest;

namespace {

QString text(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

const QString devicesList = QStringLiteral("devicesList");
const QString busyGateway = QStringLiteral("KV2410A0001");  // 37 devices: two pages
const QString smallGateway = QStringLiteral("KV2410A0002"); // 7 devices, one of each class
const QString emptyGateway = QStringLiteral("KV2410A0004"); // no devices

QString classText(int deviceClassify)
{
    static const QStringList texts = {QStringLiteral("通用"),  QStringLiteral("PLC"),    QStringLiteral("摄像头"),
                                      QStringLiteral("仪表"),  QStringLiteral("IO模块"), QStringLiteral("机床"),
                                      QStringLiteral("机器人")};
    return texts.value(deviceClassify);
}

// Checks that row shows device, as the table fill puts it.
bool rowShows(QTableWidget *table, int row, const sim::Device &device, QString *why)
{
    const QLabel *status = statusLabel(table, row);
    if (!status || !showsPicture(status, device.deviceOnline ? rightPicture : wrongPicture)) {
        *why = QStringLiteral("status picture of row %1").arg(row);
        return false;
    }
    const QStringList expected = {device.deviceName, classText(device.deviceClassify), device.realIp, device.virtualIp};
    for (int column = 1; column <= 4; ++column) {
        const QTableWidgetItem *item = table->item(row, column);
        if (!item || item->text() != expected.at(column - 1) || item->textAlignment() != Qt::AlignCenter ||
            item->font().family() != QStringLiteral("微软雅黑") || item->font().pointSize() != 11) {
            *why = QStringLiteral("row %1 column %2: %3").arg(row).arg(column).arg(item ? item->text() : text("none"));
            return false;
        }
    }
    return true;
}

bool rowIsBlank(QTableWidget *table, int row)
{
    for (int column = 0; column < table->columnCount(); ++column) {
        if (table->item(row, column) || table->cellWidget(row, column))
            return false;
    }
    return true;
}

// The table shows devices in its first rows and nothing after them.
void verifyTable(QTableWidget *table, const QVector<sim::Device> &devices, int rowCount)
{
    QCOMPARE(table->rowCount(), rowCount);
    for (int row = 0; row < rowCount; ++row) {
        if (row < devices.size()) {
            QString why;
            QVERIFY2(rowShows(table, row, devices.at(row), &why), qPrintable(why));
        } else {
            QVERIFY2(rowIsBlank(table, row), qPrintable(QString::number(row)));
        }
    }
}

QStringList idsOf(const QVector<sim::Device> &devices)
{
    QStringList ids;
    for (const sim::Device &device : devices)
        ids.append(QString::number(device.deviceId));
    return ids;
}

// A devicesList reply with the given devices, one element edited (index -1: none).
QByteArray deviceReply(int count, const QVector<sim::Device> &devices, int editIndex = -1,
                       const std::function<void(cJSON *)> &edit = {})
{
    cJSON *rows = cJSON_CreateArray();
    for (int i = 0; i < devices.size(); ++i) {
        cJSON *row = sim::deviceRow(devices.at(i));
        if (i == editIndex)
            edit(row);
        cJSON_AddItemToArray(rows, row);
    }
    sim::JsonPtr document = sim::pageDocument(25, count, 1, rows);
    char *printed = cJSON_PrintUnformatted(document.get());
    const QByteArray body(printed);
    cJSON_free(printed);
    return body;
}

sim::Fault customBody(const QByteArray &body)
{
    sim::Fault fault;
    fault.body = sim::Fault::Body::Custom;
    fault.customBody = body;
    return fault;
}

// Many synthetic devices of one gateway.
QVector<sim::Device> manyDevices(int count)
{
    QVector<sim::Device> devices;
    devices.reserve(count);
    for (int i = 0; i < count; ++i) {
        sim::Device device;
        device.deviceId = 500000 + i;
        device.deviceName = QStringLiteral("设备-%1").arg(i);
        device.deviceClassify = i % 7;
        device.realIp = QStringLiteral("192.168.%1.%2").arg(i / 250).arg(i % 250 + 1);
        device.virtualIp = QStringLiteral("10.8.%1.%2").arg(i / 250).arg(i % 250 + 1);
        device.deviceOnline = i % 3 ? 1 : 0;
        devices.append(device);
    }
    return devices;
}

// Collects the warnings written while it lives.
class WarningLog {
public:
    WarningLog() { previous = qInstallMessageHandler(&WarningLog::handle); }
    ~WarningLog() { qInstallMessageHandler(previous); }
    static QStringList &warnings()
    {
        static QStringList list;
        return list;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type == QtWarningMsg)
            warnings().append(message);
    }
    QtMessageHandler previous = nullptr;
};

} // namespace

Q_DECLARE_METATYPE(sim::Fault)

class TestDeviceTable : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void firstPageOnClick_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("shown");

        QTest::newRow("37 devices: a full page of two") << busyGateway << text("2") << text("1") << 25;
        QTest::newRow("7 devices of every class") << smallGateway << text("1") << text("1") << 7;
        QTest::newRow("no devices") << emptyGateway << text("0") << text("0") << 0;
    }

    void firstPageOnClick()
    {
        QFETCH(QString, serial);
        QFETCH(QString, total);
        QFETCH(QString, current);
        QFETCH(int, shown);

        BrowserSession session;
        QVERIFY(session.start());
        // Another gateway's devices fill the table first, so that leftovers would show.
        QVERIFY(session.clickGateway(serial == busyGateway ? smallGateway : busyGateway));
        session.platform->clearRequests();

        QVERIFY(session.clickGateway(serial));
        const QList<sim::RecordedRequest> requests = session.platform->requests(devicesList);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).rawQuery,
                 QByteArray("token=" + session.window.sessionToken + "&index=1&size=25&gatewaySn=" + serial.toUtf8() +
                            "&customerId=" + QByteArray::number(demoCustomer)));
        QCOMPARE(session.ui->DEV_Total_Page->text(), total);
        QCOMPARE(session.ui->DEV_Current_Page->text(), current);
        QCOMPARE(session.ui->stackedWidget_Dev->currentIndex(), 0);

        const QVector<sim::Device> devices = session.gatewayInWorld(serial).devices.mid(0, shown);
        verifyTable(session.ui->tableWidget, devices, 25);
        QCOMPARE(session.window.deviceIdList, idsOf(devices));
        if (shown > 0) {
            const QLabel *status = statusLabel(session.ui->tableWidget, 0);
            QVERIFY(status->maximumWidth() <= 23);
            QVERIFY(status->hasScaledContents());
            const QMargins margins = status->parentWidget()->layout()->contentsMargins();
            QCOMPARE(margins, QMargins(0, 3, 0, 3));
        }
    }

    void pageButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("startPage");
        QTest::addColumn<int>("page");

        QTest::newRow("first from 2") << text("DEV_One_Page") << 2 << 1;
        QTest::newRow("previous from 2") << text("DEV_Previous_Page") << 2 << 1;
        QTest::newRow("previous on page 1 reloads it") << text("DEV_Previous_Page") << 1 << 1;
        QTest::newRow("next from 1") << text("DEV_After_Page") << 1 << 2;
        QTest::newRow("next on the last page reloads it") << text("DEV_After_Page") << 2 << 2;
        QTest::newRow("last from 1") << text("DEV_Last_Page") << 1 << 2;
    }

    void pageButtons()
    {
        QFETCH(QString, button);
        QFETCH(int, startPage);
        QFETCH(int, page);

        BrowserSession session;
        QVERIFY(session.start());
        QVERIFY(session.clickGateway(busyGateway));
        if (startPage != 1) {
            session.ui->DEV_Current_Page->setText(QString::number(startPage));
            session.window.loadDevicePage(startPage);
        }
        session.platform->clearRequests();

        QTest::mouseClick(session.window.findChild<QToolButton *>(button), Qt::LeftButton);
        const QList<sim::RecordedRequest> requests = session.platform->requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).operation, devicesList);
        QCOMPARE(requests.at(0).rawQuery,
                 QByteArray("token=" + session.window.sessionToken + "&gatewaySn=" + busyGateway.toUtf8() +
                            "&size=25&index=" + QByteArray::number(page) +
                            "&customerId=" + QByteArray::number(demoCustomer)));
        QCOMPARE(session.ui->DEV_Current_Page->text(), QString::number(page));
        QCOMPARE(session.ui->DEV_Total_Page->text(), text("2"));
        const QVector<sim::Device> devices = session.gatewayInWorld(busyGateway).devices.mid((page - 1) * 25, 25);
        verifyTable(session.ui->tableWidget, devices, 25);
        QCOMPARE(session.window.deviceIdList, idsOf(devices));
    }

    // The device pages follow the serial of the site page, not the tree's selection.
    void pagesFollowTheSitePage()
    {
        BrowserSession session;
        QVERIFY(session.start());
        QVERIFY(session.clickGateway(busyGateway));
        session.window.fillGatewayTree(gatewayPageReply(1, {gatewayRowJson(smallGateway, 1, demoCustomer)}));
        QTest::mouseClick(session.ui->DEV_Last_Page, Qt::LeftButton);
        QCOMPARE(session.lastValue(devicesList, QStringLiteral("gatewaySn")), busyGateway);
        QCOMPARE(session.lastValue(devicesList, QStringLiteral("index")), text("2"));
    }

    void gatewayWithoutDevices()
    {
        BrowserSession session;
        QVERIFY(session.start());
        QVERIFY(session.clickGateway(emptyGateway));
        QCOMPARE(session.ui->DEV_Current_Page->text(), text("0"));
        QCOMPARE(session.ui->DEV_Total_Page->text(), text("0"));
        verifyTable(session.ui->tableWidget, {}, 25);
        QVERIFY(session.window.deviceIdList.isEmpty());

        // Unlike the gateway list, the buttons still ask: next and previous stay on page 0.
        for (QToolButton *button : {session.ui->DEV_After_Page, session.ui->DEV_Previous_Page}) {
            session.platform->clearRequests();
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(session.platform->requests(devicesList).size(), 1);
            QCOMPARE(session.lastValue(devicesList, QStringLiteral("index")), text("0"));
            QCOMPARE(session.ui->DEV_Current_Page->text(), text("0"));
            QCOMPARE(session.ui->DEV_Total_Page->text(), text("0"));
            verifyTable(session.ui->tableWidget, {}, 25);
        }
    }

    // An incomplete element ends the fill; the row count is then the number of elements.
    void incompleteElement_data()
    {
        QTest::addColumn<int>("elements");
        QTest::addColumn<int>("broken");
        QTest::addColumn<QByteArray>("member");
        QTest::addColumn<bool>("wrongType");
        QTest::addColumn<int>("ids");
        QTest::addColumn<int>("filled");

        QTest::newRow("no class: the id is kept") << 3 << 1 << QByteArray("deviceClassify") << false << 2 << 1;
        QTest::newRow("class as text") << 5 << 0 << QByteArray("deviceClassify") << true << 1 << 0;
        QTest::newRow("no id") << 3 << 1 << QByteArray("deviceId") << false << 1 << 1;
        QTest::newRow("realIp as number") << 3 << 2 << QByteArray("realIp") << true << 2 << 2;
        QTest::newRow("no deviceOnline in 30") << 30 << 28 << QByteArray("deviceOnline") << false << 28 << 28;
        QTest::newRow("deviceName null") << 4 << 3 << QByteArray("deviceName") << true << 3 << 3;
    }

    void incompleteElement()
    {
        QFETCH(int, elements);
        QFETCH(int, broken);
        QFETCH(QByteArray, member);
        QFETCH(bool, wrongType);
        QFETCH(int, ids);
        QFETCH(int, filled);

        BrowserSession session;
        QVERIFY(session.start());
        QVERIFY(session.clickGateway(busyGateway));
        const QVector<sim::Device> devices = manyDevices(elements);
        session.platform->setFault(devicesList, customBody(deviceReply(elements, devices, broken, [&](cJSON *row) {
                                       const bool isText = cJSON_IsString(cJSON_GetObjectItem(row, member.constData()));
                                       cJSON_DeleteItemFromObject(row, member.constData());
                                       if (wrongType && member == "deviceName")
                                           cJSON_AddNullToObject(row, member.constData());
                                       else if (wrongType && isText)
                                           cJSON_AddNumberToObject(row, member.constData(), 7);
                                       else if (wrongType)
                                           cJSON_AddStringToObject(row, member.constData(), "3");
                                   })));

        QVERIFY(session.clickGateway(smallGateway));
        verifyTable(session.ui->tableWidget, devices.mid(0, filled), elements);
        QCOMPARE(session.window.deviceIdList, idsOf(devices.mid(0, ids)));
        QCOMPARE(session.ui->DEV_Current_Page->text(), text("1"));
        QCOMPARE(session.ui->DEV_Total_Page->text(), QString::number((elements + 24) / 25));
    }

    void thousandsOfDevices()
    {
        BrowserSession session;
        QVERIFY(session.start());
        const QVector<sim::Device> devices = manyDevices(5000);
        session.platform->setFault(devicesList, customBody(deviceReply(5000, devices)));
        QVERIFY(session.clickGateway(smallGateway));
        // A complete reply always ends as one page of 25 rows.
        verifyTable(session.ui->tableWidget, devices.mid(0, 25), 25);
        QCOMPARE(session.window.deviceIdList, idsOf(devices));
        QCOMPARE(session.ui->DEV_Total_Page->text(), text("200"));
        QCOMPARE(session.ui->DEV_Current_Page->text(), text("1"));
    }

    void rootClickEmptiesOnlyTheIdList()
    {
        BrowserSession session;
        QVERIFY(session.start());
        QVERIFY(session.clickGateway(smallGateway));
        const QVector<sim::Device> devices = session.gatewayInWorld(smallGateway).devices;
        QCOMPARE(session.window.deviceIdList.size(), 7);
        session.platform->clearRequests();

        session.click(session.window.rootItem);
        QVERIFY(session.platform->requests().isEmpty());
        QVERIFY(session.window.deviceIdList.isEmpty());
        verifyTable(session.ui->tableWidget, devices, 25);
        QCOMPARE(session.ui->DEV_Current_Page->text(), text("1"));
    }

    void transferFailureOnClickLogs()
    {
        BrowserSession session;
        QVERIFY(session.start());
        QVERIFY(session.clickGateway(busyGateway));
        sim::Fault drop;
        drop.dropConnection = true;
        session.platform->setFault(devicesList, drop);

        QTest::ignoreMessage(QtWarningMsg, "获取设备信息失败，网络连接异常");
        QVERIFY(session.clickGateway(smallGateway));
        verifyTable(session.ui->tableWidget, {}, 25);
        QVERIFY(session.window.deviceIdList.isEmpty());
        QCOMPARE(session.ui->DEV_Total_Page->text(), text("2"));
        QVERIFY(session.boxes.isEmpty());
    }

    void transferFailureOnPageIsSilent()
    {
        BrowserSession session;
        QVERIFY(session.start());
        QVERIFY(session.clickGateway(busyGateway));
        sim::Fault drop;
        drop.dropConnection = true;
        session.platform->setFault(devicesList, drop);

        WarningLog log;
        WarningLog::warnings().clear();
        QTest::mouseClick(session.ui->DEV_After_Page, Qt::LeftButton);
        QVERIFY2(WarningLog::warnings().isEmpty(), qPrintable(WarningLog::warnings().join(QLatin1Char('|'))));
        // The label names the new page; the table stays cleared.
        QCOMPARE(session.ui->DEV_Current_Page->text(), text("2"));
        verifyTable(session.ui->tableWidget, {}, 25);
        QVERIFY(session.window.deviceIdList.isEmpty());
        QVERIFY(session.boxes.isEmpty());
    }

    // Replies the table cannot use: cleared table, labels as they were; a click answered with
    // 10002 asks for a new token, a page button does not.
    void unusableReply_data()
    {
        QTest::addColumn<sim::Fault>("fault");
        QTest::addColumn<bool>("byPageButton");
        QTest::addColumn<bool>("newToken");

        sim::Fault expired;
        expired.code = 10002;
        QTest::newRow("click, 10002") << expired << false << true;
        QTest::newRow("page, 10002") << expired << true << false;
        sim::Fault unknown;
        unknown.code = 10005;
        QTest::newRow("click, 10005") << unknown << false << false;
        sim::Fault notJson;
        notJson.body = sim::Fault::Body::NotJson;
        QTest::newRow("click, not JSON") << notJson << false << false;
        QTest::newRow("page, not JSON") << notJson << true << false;
        sim::Fault truncated;
        truncated.body = sim::Fault::Body::Truncated;
        QTest::newRow("click, truncated") << truncated << false << false;
        QTest::newRow("page, truncated") << truncated << true << false;
        QTest::newRow("no page") << customBody("{\"code\":100,\"data\":[]}") << false << false;
        QTest::newRow("count as text")
            << customBody("{\"code\":100,\"page\":{\"size\":25,\"count\":\"37\",\"index\":1},\"data\":[]}") << true
            << false;
        QTest::newRow("page is an array")
            << customBody("{\"code\":100,\"page\":[25,37,1],\"data\":[]}") << false << false;
        QTest::newRow("no code") << customBody("{\"page\":{\"size\":25,\"count\":37,\"index\":1},\"data\":[]}") << false
                                 << false;
        QTest::newRow("JSON string") << customBody("\"code\"") << true << false;
    }

    void unusableReply()
    {
        QFETCH(sim::Fault, fault);
        QFETCH(bool, byPageButton);
        QFETCH(bool, newToken);

        BrowserSession session;
        QVERIFY(session.start());
        QVERIFY(session.clickGateway(busyGateway));
        const QByteArray oldToken = session.window.sessionToken;
        session.platform->clearRequests();
        session.platform->setFault(devicesList, fault);

        if (byPageButton)
            QTest::mouseClick(session.ui->DEV_One_Page, Qt::LeftButton);
        else
            QVERIFY(session.clickGateway(smallGateway));
        QCOMPARE(session.platform->requests(devicesList).size(), 1);
        verifyTable(session.ui->tableWidget, {}, 25);
        QVERIFY(session.window.deviceIdList.isEmpty());
        QCOMPARE(session.ui->DEV_Current_Page->text(), text("1"));
        QCOMPARE(session.ui->DEV_Total_Page->text(), text("2"));
        QCOMPARE(session.platform->requests(QStringLiteral("getLintraToken")).size(), newToken ? 1 : 0);
        QCOMPARE(session.window.sessionToken != oldToken, newToken);
        QVERIFY(session.boxes.isEmpty());
    }
};

QTEST_MAIN(TestDeviceTable)
#include "tst_devicetable.moc"
