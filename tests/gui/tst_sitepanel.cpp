// The site details panel: a click on a gateway shows its ordinary or center site.
#include "sim/replies.h"
#include "support/boundwindow.h"
#include "ui/appearance.h"
#include "ui/elidedlabel.h"
#include "ui/elidedtooltips.h"
#include "ui/fontwarmup.h"
#include "ui/resources.h"

#include <QToolTip>
#include <QtTest>

namespace {
QString pictureName(const QLabel *label)
{
    for (const QString &resource : {picture::on, picture::off, picture::right, picture::wrong})
        if (showsPicture(label, resource))
            return resource;
    return QStringLiteral("none");
}

// Everything the panel decides: the ordinary page (serial and kind, then one entry per reply member
// in fill order, isVirtuaIp as the caption's visibility 1/0; 16 entries), the center page (14), then
// the three stacks' pages and whether the device table hides column 4.
QStringList panel(Ui::MainWindow *ui)
{
    return {ui->gatewaySn->text(), ui->siteSort->text(), ui->siteName->text(), ui->siteWanIp->text(),
            ui->siteLanIp->text(), ui->siteEnabled->text(), ui->siteAddress->text(), ui->tunnelAddress1->text(),
            ui->createtime->text(), ui->flowDatas->text(), QString::number(!ui->siteWanIp_Name->isHidden()),
            ui->updateTimes->text(), pictureName(ui->siteRunstatus_GW_VPN), pictureName(ui->siteRunstatus_GW_TER),
            ui->gatewayCsq->text(), ui->siteNetType->text(), ui->gatewaySn_2->text(), ui->siteSort_2->text(),
            ui->siteName_2->text(), ui->siteWanIp_2->text(), ui->siteEnabled_2->text(), ui->siteAddress_2->text(),
            ui->tunnelAddress1_2->text(), ui->createtime_2->text(), ui->flowDatas_2->text(),
            QString::number(!ui->siteWanIp_2_Name->isHidden()), ui->updateTimes_2->text(),
            pictureName(ui->siteRunstatus), pictureName(ui->siteRunstatus_2), ui->siteNetType_2->text(),
            QStringLiteral("%1 %2 %3 %4")
                .arg(ui->stackedWidget_2->currentIndex())
                .arg(ui->stackedWidget_GWMSG->currentIndex())
                .arg(ui->stackedWidget_Dev->currentIndex())
                .arg(ui->tableWidget->isColumnHidden(4))};
}

// The tool tip a user resting the mouse at `at` of the widget gets.
QString toolTipAt(QWidget *widget, const QPoint &at)
{
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
    QCoreApplication::sendEvent(widget, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// What a page should show for a gateway of the platform's world.
QStringList expectedPage(const sim::Gateway &gateway)
{
    const sim::Site &site = gateway.site;
    const QStringList netTypes = QStringLiteral("5G 4G 3G WiFi 有线").split(QLatin1Char(' '));
    const QStringList page = {
        gateway.gatewaySn, site.siteSort ? QStringLiteral("中心站点") : QStringLiteral("普通站点"), site.siteName,
        site.siteWanIp, site.siteLanIp, site.siteEnabled == 1 ? QStringLiteral("是") : QStringLiteral("否"),
        site.siteAddress, site.tunnelAddress1, site.createtimes, site.flowDatas, QString::number(site.isVirtuaIp != 0),
        site.updateTimes, gateway.tunnelOnline ? picture::on : picture::off,
        gateway.gatewayOnline ? picture::right : picture::wrong, site.gatewayCsq, netTypes.value(site.siteNetType)};
    // The center page has no "siteLanIp" and no "gatewayCsq".
    return site.siteSort ? QStringList(page.mid(0, 4) + page.mid(5, 9) + page.mid(15)) : page;
}
} // namespace

class TestSitePanel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initKorvaneResources();
        applyClientAppearance(); // the fonts the user sees decide what fits
    }

    // Demo sites 3 (WiFi, tunnel down, no virtual network), 4 (wired, offline), 5 (5G, disabled);
    // the center sites of the bound TAP (sort 1) and of another TAP (sort 2). Only the page shown
    // changes, and the tunnel switch is there for the bound TAP's center site only.
    void clicksAndReplies()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        Ui::MainWindow *ui = bound.ui;
        const struct { const char *serial; bool switchShown, unbound; } clicks[] = {
            {"KV2410A0003", false, false}, {"KV2410A0004", false, false}, {"KV2410A0005", false, false},
            {"TAP-DEMO-0001", true, false}, {"TAP-DEMO-0002", false, false}, {"TAP-DEMO-0001", false, true}};
        for (const auto &click : clicks) {
            const QString serial = QString::fromLatin1(click.serial);
            const sim::Gateway gateway = bound.gateway(serial);
            const bool center = gateway.site.siteSort != 0;
            bound.window.tapSerial = click.unbound ? QByteArrayLiteral("unbound") : demo::tap.toUtf8();
            ui->stackedWidget_2->setCurrentIndex(1);
            ui->stackedWidget_GWMSG->setCurrentIndex(!center);
            ui->stackedWidget_Dev->setCurrentIndex(!center);
            ui->VpnControl->setVisible(!click.switchShown);
            const QStringList before = panel(ui);
            QVERIFY(bound.click(serial));
            QCOMPARE(bound.lastQuery(QStringLiteral("getSiteInfo")),
                     "token=" + bound.window.sessionToken + "&gatewaySn=" + serial.toUtf8());
            const QString stacks = center ? QStringLiteral("0 1 1 ") + before.last().right(1)
                                          : QStringLiteral("0 0 0 %1").arg(!gateway.site.isVirtuaIp);
            QCOMPARE(panel(ui), (center ? before.mid(0, 16) + expectedPage(gateway)
                                        : expectedPage(gateway) + before.mid(16, 14)) << stacks);
            QCOMPARE(ui->VpnControl->isHidden(), center ? !click.switchShown : click.switchShown);
            QCOMPARE((center ? ui->siteWanIp_2 : ui->siteWanIp)->isHidden(), !gateway.site.isVirtuaIp);
        }
        bound.window.tapSerial = demo::tap.toUtf8();

        // Only 1 reads as enabled; an unknown network type keeps the previous site's text (3G); the
        // root item sends nothing and changes nothing.
        bound.platform->editWorld([](sim::World &world) {
            world.findGateway(QStringLiteral("KV2410A0001"))->site.siteEnabled = 2;
            world.findGateway(QStringLiteral("KV2410A0001"))->site.siteNetType = 7;
            world.findGateway(QStringLiteral("KV2410A0003"))->gatewayOnline = 0;
        });
        QVERIFY(bound.click(QStringLiteral("KV2410A0002")) && ui->siteNetType->text() == QStringLiteral("3G"));
        QVERIFY(bound.click(QStringLiteral("KV2410A0001")));
        QCOMPARE(ui->siteEnabled->text() + ui->siteNetType->text(), QStringLiteral("否3G"));
        ui->stackedWidget_2->setCurrentIndex(1);
        QStringList before = panel(ui);
        bound.platform->clearRequests();
        bound.click(bound.window.rootItem);
        QVERIFY(bound.platform->requests().isEmpty());
        QCOMPARE(panel(ui), before);

        // A member missing or of another type part-way: the labels before it show the new site (5),
        // the rest keep the old one (3, made offline so that every value differs).
        const QString newSerial = QStringLiteral("KV2410A0005");
        QVERIFY(bound.click(newSerial));
        const QStringList newPage = panel(ui).mid(0, 16);
        const struct { const char *member; int position; bool remove; } breaks[] = {
            {"siteName", 2, true}, {"isVirtuaIp", 10, false}, {"siteNetType", 15, true}};
        for (const auto &broken : breaks) {
            QVERIFY(bound.click(QStringLiteral("KV2410A0003")));
            const QStringList oldPage = panel(ui).mid(0, 16);
            cJSON *data = sim::siteRecord(bound.gateway(newSerial));
            cJSON_DeleteItemFromObject(data, broken.member);
            if (!broken.remove)
                cJSON_AddStringToObject(data, broken.member, "1");
            sim::JsonPtr reply = sim::codeDocument(sim::Success);
            cJSON_AddItemToObject(reply.get(), "data", data);
            bound.platform->setFault(QStringLiteral("getSiteInfo"), replyBody(sim::jsonReply(reply).body));
            QVERIFY(bound.click(newSerial));
            bound.platform->clearFaults();
            const QStringList page = panel(ui).mid(0, 16);
            QCOMPARE(page.mid(0, broken.position), newPage.mid(0, broken.position));
            QCOMPARE(page.mid(broken.position), oldPage.mid(broken.position));
            // The table column follows the caption only when isVirtuaIp was read (site 3 hid it).
            QCOMPARE(ui->tableWidget->isColumnHidden(4), broken.position <= 10);
        }

        // Replies the panel cannot use leave it as it was: a lost one is logged and told (and the
        // device request of the same click is not sent), only 10002 asks for a new token (which the
        // repeated request and the device request of the same click carry).
        const struct { sim::Fault failure; bool newToken; } unusable[] = {
            {droppedConnection(), false}, {fault(10002), true},
            {fault(10005), false}, {fault(NotJson), false}};
        for (const auto &reply : unusable) {
            QVERIFY(bound.click(QStringLiteral("KV2410A0002")));
            before = panel(ui);
            const QByteArray oldToken = bound.window.sessionToken;
            bound.platform->clearRequests();
            bound.platform->setFault(QStringLiteral("getSiteInfo"), reply.failure);
            if (reply.failure.dropConnection)
                QTest::ignoreMessage(QtWarningMsg, "网关信息获取失败，网络连接异常");
            QVERIFY(bound.click(newSerial));
            bound.platform->clearFaults();
            QCOMPARE(panel(ui), before);
            // The tree points at the gateway the panel still shows, not at the one clicked.
            QVERIFY(ui->treeWidget->currentItem() && ui->treeWidget->currentItem()->isSelected());
            QCOMPARE(ui->treeWidget->currentItem()->text(0), QStringLiteral("KV2410A0002"));
            QCOMPARE(bound.requestCount(QStringLiteral("getLintraToken")), reply.newToken ? 1 : 0);
            QCOMPARE(bound.window.sessionToken != oldToken, reply.newToken);
            const QList<sim::RecordedRequest> sites = bound.platform->requests(QStringLiteral("getSiteInfo"));
            QCOMPARE(sites.size(), reply.newToken ? 2 : 1);
            QCOMPARE(sites.last().value(QStringLiteral("token")).toUtf8(), bound.window.sessionToken);
            const bool lost = reply.failure.dropConnection;
            QCOMPARE(bound.requestCount(QStringLiteral("devicesList")), lost ? 0 : 1);
            if (!lost) {
                QCOMPARE(bound.lastValue(QStringLiteral("devicesList"), QStringLiteral("token")).toUtf8(),
                         bound.window.sessionToken);
            }
            QCOMPARE(bound.boxes.texts(),
                     lost ? QStringList{QStringLiteral("网络连接失败，请检测您的网络状态后重试")} : QStringList());
            bound.boxes.clear();
        }
    }

    // In the smallest window long texts are cut with "…" and shown whole in their tool tips, while
    // serials and IP addresses are never cut and no value runs into the next caption.
    void smallestWindow()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        Ui::MainWindow *ui = bound.ui;
        const QString address = QStringLiteral("江苏省苏州市工业园区星湖街328号创意产业园二期A栋五楼东侧");
        const QString name = QStringLiteral("一号泵站进水口变频控制柜与水质监测仪表");
        bound.platform->editWorld([&](sim::World &world) {
            sim::Gateway *gateway = world.findGateway(QStringLiteral("KV2410A0001"));
            gateway->site.siteAddress = address;
            gateway->site.isVirtuaIp = 1;
            gateway->devices[0] = {1, name, 1, QStringLiteral("192.168.100.200"), QStringLiteral("10.108.100.200"), 1};
        });
        bound.window.resize(bound.window.minimumSize());
        QVERIFY(bound.click(QStringLiteral("KV2410A0001")));
        // Nested layouts settle over several event-loop turns; addresses are never cut once they have.
        for (const QLabel *ip : {ui->siteLanIp, ui->siteWanIp, ui->tunnelAddress1, ui->gatewaySn})
            QTRY_VERIFY2(ip->width() >= ip->sizeHint().width(), qPrintable(ip->text()));
        // The rest is laid out for the designed font sizes (CTest runs this once more with larger ones).
        if (qEnvironmentVariableIsSet("QT_FONT_DPI"))
            return;

        const QAbstractItemModel *gateways = ui->treeWidget->model();
        for (int row = 0; row < gateways->rowCount(gateways->index(0, 0)); ++row) {
            const QModelIndex gateway = gateways->index(row, 0, gateways->index(0, 0));
            QVERIFY2(!isItemTextElided(ui->treeWidget, gateway), qPrintable(gateway.data().toString()));
        }
        QTableWidget *table = ui->tableWidget;
        const auto cell = [table](int column) { return table->model()->index(0, column); };
        QVERIFY(!isItemTextElided(table, cell(3)) && !isItemTextElided(table, cell(4)) && isItemTextElided(table, cell(1)));
        QCOMPARE(toolTipAt(table->viewport(), table->visualRect(cell(1)).center()), name);

        auto *shownAddress = qobject_cast<ElidedLabel *>(ui->siteAddress);
        QVERIFY(shownAddress && shownAddress->isElided() && shownAddress->text() == address);
        QVERIFY(shownAddress->geometry().right() < ui->siteWanIp_Name->geometry().left());
        QCOMPARE(toolTipAt(shownAddress, shownAddress->rect().center()), address);
    }

    // Any non-zero "deviceOnline" is online, in the table and in the minute refresh.
    void deviceOnlineIsAnyNonZero()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        const int states[] = {2, -1, 0, 1};
        bound.platform->editWorld([&](sim::World &world) {
            for (int i = 0; i < 4; ++i)
                world.findGateway(QStringLiteral("KV2410A0001"))->devices[i].deviceOnline = states[i];
        });
        QVERIFY(bound.click(QStringLiteral("KV2410A0001")));
        for (const bool refreshed : {false, true}) {
            if (refreshed)
                bound.window.refreshDeviceStates();
            for (int row = 0; row < 4; ++row) {
                const QString shown = states[row] ? picture::right : picture::wrong;
                QVERIFY(showsPicture(bound.ui->tableWidget->cellWidget(row, 0), shown));
            }
        }
        QCOMPARE(bound.requestCount(QStringLiteral("devicesBatchFind")), 1);
    }
};

// Started as the client starts: its font configuration (one Chinese face, the bold texts
// emboldened) is in place before the application object, so what fits here fits on the screen.
int main(int argc, char *argv[])
{
    FontWarmup::start();
    FontWarmup::finish();
    QApplication application(argc, argv);
    TestSitePanel test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_sitepanel.moc"
