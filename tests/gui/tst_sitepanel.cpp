// The site details panel: a click on a gateway shows its ordinary or center site.
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

// Members of the ordinary site in the order the panel fills them.
const char *const ordinaryMembers[] = {"siteName",       "siteWanIp",     "siteLanIp",  "siteEnabled", "siteAddress",
                                       "tunnelAddress1", "createtimes",   "flowDatas",  "isVirtuaIp",  "updateTimes",
                                       "tunnelOnline",   "gatewayOnline", "gatewayCsq", "siteNetType"};

QString pictureName(const QLabel *label)
{
    for (const QString &resource : {onPicture, offPicture, rightPicture, wrongPicture}) {
        if (showsPicture(label, resource))
            return resource;
    }
    return QStringLiteral("none");
}

// What the ordinary site page shows, one entry per member above (isVirtuaIp: the caption's state).
QStringList ordinaryPage(Ui::MainWindow *ui)
{
    return {ui->siteName->text(),
            ui->siteWanIp->text(),
            ui->siteLanIp->text(),
            ui->siteEnabled->text(),
            ui->siteAddress->text(),
            ui->tunnelAddress1->text(),
            ui->createtime->text(),
            ui->flowDatas->text(),
            ui->siteWanIp_Name->isHidden() ? QStringLiteral("hidden") : QStringLiteral("shown"),
            ui->updateTimes->text(),
            pictureName(ui->siteRunstatus_GW_VPN),
            pictureName(ui->siteRunstatus_GW_TER),
            ui->gatewayCsq->text(),
            ui->siteNetType->text()};
}

QStringList centerPage(Ui::MainWindow *ui)
{
    return {ui->siteName_2->text(),           ui->siteSort_2->text(),
            ui->gatewaySn_2->text(),          ui->siteWanIp_2->text(),
            ui->siteEnabled_2->text(),        ui->siteAddress_2->text(),
            ui->tunnelAddress1_2->text(),     ui->createtime_2->text(),
            ui->flowDatas_2->text(),          ui->updateTimes_2->text(),
            ui->siteNetType_2->text(),        pictureName(ui->siteRunstatus),
            pictureName(ui->siteRunstatus_2), ui->siteWanIp_2_Name->isHidden() ? text("hidden") : text("shown")};
}

QList<int> stackIndexes(Ui::MainWindow *ui)
{
    return {ui->stackedWidget_2->currentIndex(), ui->stackedWidget_GWMSG->currentIndex(),
            ui->stackedWidget_Dev->currentIndex()};
}

// The platform's site record of a gateway, as JSON text, after an edit of its "data" object.
QByteArray siteReply(const sim::Gateway &gateway, const std::function<void(cJSON *)> &edit = {})
{
    sim::JsonPtr document = sim::codeDocument(sim::Success);
    cJSON *data = sim::siteRecord(gateway);
    if (edit)
        edit(data);
    cJSON_AddItemToObject(document.get(), "data", data);
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

const QString getSiteInfo = QStringLiteral("getSiteInfo");

} // namespace

Q_DECLARE_METATYPE(sim::Fault)

class TestSitePanel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void ordinarySite_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<QString>("netType");
        QTest::addColumn<bool>("virtualNetwork");

        // Demo sites: n % 5 gives the network type, n % 3 == 0 has no virtual network, site 5 is disabled,
        // site 4 is offline, site 3's tunnel is down.
        QTest::newRow("4G, virtual network") << text("KV2410A0001") << QStringLiteral("是") << text("4G") << true;
        QTest::newRow("3G") << text("KV2410A0002") << QStringLiteral("是") << text("3G") << true;
        QTest::newRow("WiFi, no virtual network")
            << text("KV2410A0003") << QStringLiteral("是") << text("WiFi") << false;
        QTest::newRow("wired, offline") << text("KV2410A0004") << QStringLiteral("是") << QStringLiteral("有线")
                                        << true;
        QTest::newRow("5G, disabled") << text("KV2410A0005") << QStringLiteral("否") << text("5G") << true;
    }

    void ordinarySite()
    {
        QFETCH(QString, serial);
        QFETCH(QString, enabled);
        QFETCH(QString, netType);
        QFETCH(bool, virtualNetwork);

        BrowserSession session;
        QVERIFY(session.start());
        Ui::MainWindow *ui = session.ui;
        // Start from the other pages so that every switch shows.
        ui->stackedWidget_2->setCurrentIndex(1);
        ui->stackedWidget_Dev->setCurrentIndex(1);
        ui->stackedWidget_GWMSG->setCurrentIndex(1);
        ui->tableWidget->setColumnHidden(4, virtualNetwork);
        const QStringList centerBefore = centerPage(ui);

        QVERIFY(session.clickGateway(serial));
        const QList<sim::RecordedRequest> requests = session.platform->requests(getSiteInfo);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).rawQuery,
                 QByteArray("token=" + session.window.sessionToken + "&gatewaySn=" + serial.toUtf8()));

        const sim::Gateway gateway = session.gatewayInWorld(serial);
        const sim::Site &site = gateway.site;
        QCOMPARE(stackIndexes(ui), (QList<int>{0, 0, 0}));
        QCOMPARE(ui->stackedWidget_GWMSG->currentWidget(), ui->page_12);
        QCOMPARE(ui->stackedWidget_Dev->currentWidget(), ui->page_6);
        QCOMPARE(ui->siteSort->text(), QStringLiteral("普通站点"));
        QCOMPARE(ui->gatewaySn->text(), serial);
        QCOMPARE(ui->siteName->text(), site.siteName);
        QCOMPARE(ui->siteWanIp->text(), site.siteWanIp);
        QCOMPARE(ui->siteLanIp->text(), site.siteLanIp);
        QCOMPARE(ui->siteEnabled->text(), enabled);
        QCOMPARE(ui->siteAddress->text(), site.siteAddress);
        QCOMPARE(ui->tunnelAddress1->text(), site.tunnelAddress1);
        QCOMPARE(ui->createtime->text(), site.createtimes);
        QCOMPARE(ui->flowDatas->text(), site.flowDatas);
        QCOMPARE(ui->updateTimes->text(), site.updateTimes);
        QCOMPARE(ui->gatewayCsq->text(), site.gatewayCsq);
        QCOMPARE(ui->siteNetType->text(), netType);
        QVERIFY(showsPicture(ui->siteRunstatus_GW_VPN, gateway.tunnelOnline ? onPicture : offPicture));
        QVERIFY(showsPicture(ui->siteRunstatus_GW_TER, gateway.gatewayOnline ? rightPicture : wrongPicture));
        QCOMPARE(ui->siteWanIp_Name->isHidden(), !virtualNetwork);
        QCOMPARE(ui->siteWanIp->isHidden(), !virtualNetwork);
        QCOMPARE(ui->tableWidget->isColumnHidden(4), !virtualNetwork);
        // The center-site page is not touched.
        QCOMPARE(centerPage(ui), centerBefore);
    }

    // siteEnabled is "是" only for 1; an unknown network type leaves the previous site's text.
    void enabledAndNetworkTexts_data()
    {
        QTest::addColumn<int>("siteEnabled");
        QTest::addColumn<int>("siteNetType");
        QTest::addColumn<QString>("enabledText");
        QTest::addColumn<QString>("netTypeText");

        QTest::newRow("enabled, 5G") << 1 << 0 << QStringLiteral("是") << text("5G");
        QTest::newRow("disabled, wired") << 0 << 4 << QStringLiteral("否") << QStringLiteral("有线");
        QTest::newRow("enabled 2 reads as no") << 2 << 3 << QStringLiteral("否") << text("WiFi");
        QTest::newRow("type 7 keeps the label") << 1 << 7 << QStringLiteral("是") << text("3G");
        QTest::newRow("type -1 keeps the label") << -1 << -1 << QStringLiteral("否") << text("3G");
    }

    void enabledAndNetworkTexts()
    {
        QFETCH(int, siteEnabled);
        QFETCH(int, siteNetType);
        QFETCH(QString, enabledText);
        QFETCH(QString, netTypeText);

        BrowserSession session;
        QVERIFY(session.start());
        session.platform->editWorld([&](sim::World &world) {
            sim::Site &site = world.findGateway(QStringLiteral("KV2410A0001"))->site;
            site.siteEnabled = siteEnabled;
            site.siteNetType = siteNetType;
        });
        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0002"))); // a 3G site
        QCOMPARE(session.ui->siteNetType->text(), text("3G"));

        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0001")));
        QCOMPARE(session.ui->gatewaySn->text(), QStringLiteral("KV2410A0001"));
        QCOMPARE(session.ui->siteEnabled->text(), enabledText);
        QCOMPARE(session.ui->siteNetType->text(), netTypeText);
    }

    void virtualAddressingShowsAndHides()
    {
        BrowserSession session;
        QVERIFY(session.start());
        Ui::MainWindow *ui = session.ui;
        session.platform->editWorld(
            [](sim::World &world) { world.findGateway(QStringLiteral("TAP-DEMO-0002"))->site.isVirtuaIp = 0; });

        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0003")));
        QVERIFY(ui->siteWanIp_Name->isHidden());
        QVERIFY(ui->siteWanIp->isHidden());
        QVERIFY(ui->tableWidget->isColumnHidden(4));

        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0001")));
        QVERIFY(!ui->siteWanIp_Name->isHidden());
        QVERIFY(!ui->siteWanIp->isHidden());
        QVERIFY(!ui->tableWidget->isColumnHidden(4));

        // A center site switches its own caption and value, never the table column.
        QVERIFY(session.clickGateway(QStringLiteral("TAP-DEMO-0002")));
        QVERIFY(ui->siteWanIp_2_Name->isHidden());
        QVERIFY(ui->siteWanIp_2->isHidden());
        QVERIFY(!ui->tableWidget->isColumnHidden(4));
        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0003")));
        QVERIFY(session.clickGateway(QStringLiteral("TAP-DEMO-0001")));
        QVERIFY(!ui->siteWanIp_2_Name->isHidden());
        QVERIFY(!ui->siteWanIp_2->isHidden());
        QVERIFY(ui->tableWidget->isColumnHidden(4));
    }

    void centerSite_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QByteArray>("boundSerial");
        QTest::addColumn<bool>("switchShown");

        QTest::newRow("the bound TAP's site, sort 1") << demoTap << demoTap.toUtf8() << true;
        QTest::newRow("another center site, sort 2") << text("TAP-DEMO-0002") << demoTap.toUtf8() << false;
        QTest::newRow("unbound") << demoTap << QByteArray("unbound") << false;
        QTest::newRow("serial differs in case") << demoTap << QByteArray("tap-demo-0001") << false;
    }

    void centerSite()
    {
        QFETCH(QString, serial);
        QFETCH(QByteArray, boundSerial);
        QFETCH(bool, switchShown);

        BrowserSession session;
        QVERIFY(session.start());
        Ui::MainWindow *ui = session.ui;
        session.window.tapSerial = boundSerial;
        ui->stackedWidget_2->setCurrentIndex(1);
        ui->stackedWidget_GWMSG->setCurrentIndex(0);
        ui->stackedWidget_Dev->setCurrentIndex(0);
        ui->VpnControl->setVisible(!switchShown);
        ui->tableWidget->setColumnHidden(4, true);
        const QStringList ordinaryBefore = ordinaryPage(ui);
        const QString ordinarySerialBefore = ui->gatewaySn->text();

        QVERIFY(session.clickGateway(serial));
        const sim::Gateway gateway = session.gatewayInWorld(serial);
        QVERIFY(gateway.site.siteSort != 0);
        QCOMPARE(stackIndexes(ui), (QList<int>{0, 1, 1}));
        QCOMPARE(ui->stackedWidget_GWMSG->currentWidget(), ui->page_13);
        QCOMPARE(ui->stackedWidget_Dev->currentWidget(), ui->page_7);
        QCOMPARE(ui->VpnControl->isHidden(), !switchShown);
        const QStringList expected = {gateway.site.siteName,
                                      QStringLiteral("中心站点"),
                                      serial,
                                      gateway.site.siteWanIp,
                                      QStringLiteral("是"),
                                      gateway.site.siteAddress,
                                      gateway.site.tunnelAddress1,
                                      gateway.site.createtimes,
                                      gateway.site.flowDatas,
                                      gateway.site.updateTimes,
                                      QStringLiteral("有线"),
                                      gateway.tunnelOnline ? onPicture : offPicture,
                                      gateway.gatewayOnline ? rightPicture : wrongPicture,
                                      text("shown")};
        QCOMPARE(centerPage(ui), expected);
        // The ordinary page, its serial (the device pages' gateway) and the table column stay.
        QCOMPARE(ordinaryPage(ui), ordinaryBefore);
        QCOMPARE(ui->gatewaySn->text(), ordinarySerialBefore);
        QVERIFY(ui->tableWidget->isColumnHidden(4));
        // The device list is still asked for, behind the empty page.
        QCOMPARE(session.platform->requests(QStringLiteral("devicesList")).size(), 1);
    }

    void rootItemChangesNothing()
    {
        BrowserSession session;
        QVERIFY(session.start());
        Ui::MainWindow *ui = session.ui;
        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0002")));
        session.platform->clearRequests();
        const QStringList before = ordinaryPage(ui);
        const QList<int> stacks = stackIndexes(ui);

        session.click(session.window.rootItem);
        QVERIFY(session.platform->requests().isEmpty());
        QCOMPARE(ordinaryPage(ui), before);
        QCOMPARE(ui->gatewaySn->text(), QStringLiteral("KV2410A0002"));
        QCOMPARE(stackIndexes(ui), stacks);
    }

    // A member missing or of another type part-way: the labels before it show the new site,
    // the rest keep the previous one.
    void memberMissingPartWay_data()
    {
        QTest::addColumn<int>("broken");
        QTest::addColumn<bool>("remove");

        QTest::newRow("siteName missing") << 0 << true;
        QTest::newRow("siteEnabled missing") << 3 << true;
        QTest::newRow("isVirtuaIp as text") << 8 << false;
        QTest::newRow("tunnelOnline as text") << 10 << false;
        QTest::newRow("gatewayCsq as number") << 12 << false;
        QTest::newRow("siteNetType missing") << 13 << true;
    }

    void memberMissingPartWay()
    {
        QFETCH(int, broken);
        QFETCH(bool, remove);

        BrowserSession session;
        QVERIFY(session.start());
        Ui::MainWindow *ui = session.ui;
        // Site 5 (new) and site 3 (old, made offline) differ in every value the page shows.
        session.platform->editWorld(
            [](sim::World &world) { world.findGateway(QStringLiteral("KV2410A0003"))->gatewayOnline = 0; });
        const QString newSerial = QStringLiteral("KV2410A0005");
        QVERIFY(session.clickGateway(newSerial));
        const QStringList newPage = ordinaryPage(ui);
        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0003")));
        const QStringList oldPage = ordinaryPage(ui);
        for (int i = 0; i < newPage.size(); ++i)
            QVERIFY2(newPage.at(i) != oldPage.at(i), ordinaryMembers[i]);

        const char *member = ordinaryMembers[broken];
        session.platform->setFault(getSiteInfo,
                                   customBody(siteReply(session.gatewayInWorld(newSerial), [&](cJSON *data) {
                                       const bool integer = cJSON_IsNumber(cJSON_GetObjectItem(data, member));
                                       cJSON_DeleteItemFromObject(data, member);
                                       if (!remove && integer)
                                           cJSON_AddStringToObject(data, member, "1");
                                       else if (!remove)
                                           cJSON_AddNumberToObject(data, member, 17);
                                   })));
        QVERIFY(session.clickGateway(newSerial));
        QCOMPARE(ui->gatewaySn->text(), newSerial);
        QCOMPARE(ui->siteSort->text(), QStringLiteral("普通站点"));
        const QStringList shown = ordinaryPage(ui);
        QCOMPARE(shown.mid(0, broken), newPage.mid(0, broken));
        QCOMPARE(shown.mid(broken), oldPage.mid(broken));
        // The table column follows the caption only when isVirtuaIp was read.
        QCOMPARE(ui->tableWidget->isColumnHidden(4), broken <= 8);
    }

    void transferFailureOnlyLogs()
    {
        BrowserSession session;
        QVERIFY(session.start());
        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0002")));
        const QStringList before = ordinaryPage(session.ui);
        sim::Fault drop;
        drop.dropConnection = true;
        session.platform->setFault(getSiteInfo, drop);

        QTest::ignoreMessage(QtWarningMsg, "网关信息获取失败，网络连接异常");
        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0005")));
        QCOMPARE(ordinaryPage(session.ui), before);
        QCOMPARE(session.ui->gatewaySn->text(), QStringLiteral("KV2410A0002"));
        QVERIFY(session.boxes.isEmpty());
    }

    // Replies the panel cannot use leave it as it was; only 10002 asks for a new token.
    void unusableReply_data()
    {
        QTest::addColumn<sim::Fault>("fault");
        QTest::addColumn<bool>("newToken");

        sim::Fault expired;
        expired.code = 10002;
        QTest::newRow("10002") << expired << true;
        sim::Fault unknown;
        unknown.code = 10005;
        QTest::newRow("10005") << unknown << false;
        sim::Fault notJson;
        notJson.body = sim::Fault::Body::NotJson;
        QTest::newRow("not JSON") << notJson << false;
        sim::Fault truncated;
        truncated.body = sim::Fault::Body::Truncated;
        QTest::newRow("truncated") << truncated << false;
        sim::Fault serverError = customBody(QByteArrayLiteral("{}"));
        serverError.httpStatus = 500;
        QTest::newRow("HTTP 500, empty object") << serverError << false;
        QTest::newRow("no data") << customBody("{\"code\":100}") << false;
        QTest::newRow("data is an array") << customBody("{\"code\":100,\"data\":[{\"siteSort\":0}]}") << false;
        QTest::newRow("siteSort as text")
            << customBody("{\"code\":100,\"data\":{\"siteSort\":\"0\",\"siteName\":\"X\"}}") << false;
        QTest::newRow("code as text") << customBody("{\"code\":\"100\",\"data\":{\"siteSort\":0,\"siteName\":\"X\"}}")
                                      << false;
        QTest::newRow("JSON array") << customBody("[100]") << false;
        QTest::newRow("JSON null") << customBody("null") << false;
        QTest::newRow("empty body") << customBody(QByteArray()) << false;
        QTest::newRow("binary") << customBody(QByteArray("\x00\xff{\"code\":100", 13)) << false;
    }

    void unusableReply()
    {
        QFETCH(sim::Fault, fault);
        QFETCH(bool, newToken);

        BrowserSession session;
        QVERIFY(session.start());
        Ui::MainWindow *ui = session.ui;
        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0002")));
        const QStringList before = ordinaryPage(ui);
        const QStringList centerBefore = centerPage(ui);
        const QList<int> stacks = stackIndexes(ui);
        const QByteArray oldToken = session.window.sessionToken;
        session.platform->clearRequests();
        session.platform->setFault(getSiteInfo, fault);

        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0005")));
        QCOMPARE(ordinaryPage(ui), before);
        QCOMPARE(centerPage(ui), centerBefore);
        QCOMPARE(ui->gatewaySn->text(), QStringLiteral("KV2410A0002"));
        QCOMPARE(stackIndexes(ui), stacks);
        QVERIFY(session.boxes.isEmpty());

        const QList<sim::RecordedRequest> tokenRequests = session.platform->requests(QStringLiteral("getLintraToken"));
        QCOMPARE(tokenRequests.size(), newToken ? 1 : 0);
        if (newToken) {
            QCOMPARE(tokenRequests.at(0).value(QStringLiteral("userName")), demoUser);
            QCOMPARE(tokenRequests.at(0).value(QStringLiteral("passWord")), demoPassword);
            QVERIFY(session.window.sessionToken != oldToken);
            // The device request of the same click already carries the new token.
            QCOMPARE(session.lastValue(QStringLiteral("devicesList"), QStringLiteral("token")).toUtf8(),
                     session.window.sessionToken);
        } else {
            QCOMPARE(session.window.sessionToken, oldToken);
        }
    }

    void oversizedRecordIsShown()
    {
        BrowserSession session;
        QVERIFY(session.start());
        const QString longName = QString(100000, QChar(0x6C34)); // 水
        session.platform->setFault(
            getSiteInfo, customBody(siteReply(session.gatewayInWorld(QStringLiteral("KV2410A0001")), [&](cJSON *data) {
                cJSON_ReplaceItemInObject(data, "siteName", cJSON_CreateString(longName.toUtf8().constData()));
                for (int i = 0; i < 5000; ++i)
                    cJSON_AddNumberToObject(data, QByteArray("extra" + QByteArray::number(i)).constData(), i);
            })));
        QVERIFY(session.clickGateway(QStringLiteral("KV2410A0001")));
        QCOMPARE(session.ui->siteName->text(), longName);
        QCOMPARE(session.ui->siteNetType->text(), text("4G"));
    }
};

QTEST_MAIN(TestSitePanel)
#include "tst_sitepanel.moc"
