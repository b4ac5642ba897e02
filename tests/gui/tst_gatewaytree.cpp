// The gateway tree: the fill from a binding and from page replies, the four page buttons, the
// search and the two tab buttons.
#include "gui/browserfixture.h"
#include "ui/resources.h"

#include <QToolButton>

using namespace browsertest;

namespace {
const QString selectedTab = QStringLiteral(
    "background-color:#29a8e2;color:rgb(255,255,255);border-radius: 8px;border-width: 3px; border-color:#000;");
const QString plainTab = QStringLiteral(
    "background-color:rgb(255,255,255);color:rgb(0,0,0);border:2px solid rgba(200, 200, 200);border-radius:10px;");

QToolButton *pageButton(MainWindow &window, const QString &name)
{
    return window.findChild<QToolButton *>(name);
}

QString text(const char *latin1)
{
    return QString::fromLatin1(latin1);
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
} // namespace

Q_DECLARE_METATYPE(sim::Fault)

class TestGatewayTree : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void bindingFillsTheFirstPage()
    {
        BrowserSession session;
        QVERIFY(session.start());
        MainWindow &window = session.window;
        QTreeWidget *tree = session.ui->treeWidget;

        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0), window.rootItem);
        QCOMPARE(window.rootItem->text(0), QStringLiteral("Korvane"));
        const QFont rootFont = window.rootItem->font(0);
        QCOMPARE(rootFont.family(), QStringLiteral("Calibri"));
        QCOMPARE(rootFont.pointSize(), 13);
        QCOMPARE(rootFont.weight(), int(QFont::Normal));
        QVERIFY(!rootFont.italic());
        QVERIFY(window.rootItem->isExpanded());

        const sim::World world = session.platform->world();
        const QStringList serials = customerSerials(world);
        QCOMPARE(serials.size(), 75);
        QCOMPARE(childTexts(window.rootItem), serials.mid(0, 30));
        for (int i = 0; i < window.rootItem->childCount(); ++i) {
            QTreeWidgetItem *item = window.rootItem->child(i);
            const bool online = session.gatewayInWorld(item->text(0)).tunnelOnline != 0;
            QVERIFY2(isIcon(item->icon(0), online ? onPicture : offPicture), qPrintable(item->text(0)));
            QCOMPARE(item->font(0).family(), QStringLiteral("Calibri"));
            QCOMPARE(item->font(0).pointSize(), 13);
            QCOMPARE(item->childCount(), 0);
        }
        QCOMPARE(window.gatewayItem, window.rootItem->child(29));
        QCOMPARE(session.ui->WG_Total_Page->text(), QStringLiteral("3"));
        QCOMPARE(session.ui->WG_Current_Page->text(), QStringLiteral("1"));
        QCOMPARE(session.ui->stackedWidget->currentIndex(), 0);
        QCOMPARE(window.customerId, demoCustomer);
    }

    // Replies handed to the fill: labels start as "5" / "9" so that untouched ones show.
    void fillFromReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("serials");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("customer");

        const QString a = gatewayRowJson(QStringLiteral("A-1"), 1, 7);
        const QString b = gatewayRowJson(QStringLiteral("B-2"), 0, 8);
        const QString c = gatewayRowJson(QStringLiteral("C-3"), 1, 9);
        const QStringList abc = {QStringLiteral("A-1"), QStringLiteral("B-2"), QStringLiteral("C-3")};
        QTest::newRow("customer of the last row")
            << gatewayPageReply(3, {a, b, c}) << abc << text("1") << text("5") << 9;
        QTest::newRow("count 30: one page")
            << gatewayPageReply(30, {a}) << QStringList(abc.mid(0, 1)) << text("1") << text("5") << 7;
        QTest::newRow("count 31: two pages")
            << gatewayPageReply(31, {a}) << QStringList(abc.mid(0, 1)) << text("2") << text("5") << 7;
        QTest::newRow("count 60: two pages")
            << gatewayPageReply(60, {a}) << QStringList(abc.mid(0, 1)) << text("2") << text("5") << 7;
        QTest::newRow("empty list") << gatewayPageReply(0, {}) << QStringList() << text("0") << text("0") << -1;
        QTest::newRow("row without customerId ends the fill")
            << gatewayPageReply(3, {a, QStringLiteral("{\"gatewaySn\":\"X\",\"tunnelOnline\":1}"), c})
            << QStringList(abc.mid(0, 1)) << text("1") << text("5") << 7;
        QTest::newRow("tunnelOnline of the wrong type ends the fill")
            << gatewayPageReply(3,
                                {a, b, QStringLiteral("{\"gatewaySn\":\"X\",\"tunnelOnline\":\"1\",\"customerId\":1}")})
            << QStringList(abc.mid(0, 2)) << text("1") << text("5") << 8;
        QTest::newRow("page without index")
            << QByteArray("{\"code\":100,\"page\":{\"size\":30,\"count\":3},\"data\":[" + a.toUtf8() + "]}")
            << QStringList() << text("9") << text("5") << -1;
        QTest::newRow("no data member") << QByteArray("{\"code\":100,\"page\":{\"size\":30,\"count\":31,\"index\":1}}")
                                        << QStringList() << text("2") << text("5") << -1;
        QTest::newRow("data is an object")
            << QByteArray("{\"page\":{\"size\":30,\"count\":31,\"index\":1},\"data\":{\"gatewaySn\":\"A\"}}")
            << QStringList() << text("2") << text("5") << -1;
        QTest::newRow("not JSON") << QByteArray("<html>502</html>") << QStringList() << text("9") << text("5") << -1;
        QTest::newRow("truncated") << gatewayPageReply(3, {a, b, c}).left(40) << QStringList() << text("9") << text("5")
                                   << -1;
    }

    void fillFromReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, serials);
        QFETCH(QString, total);
        QFETCH(QString, current);
        QFETCH(int, customer);

        ScopedWorkDir dir;
        MainWindow window;
        window.customerId = -1;
        window.ui->WG_Total_Page->setText(QStringLiteral("9"));
        window.ui->WG_Current_Page->setText(QStringLiteral("5"));
        window.fillGatewayTree(gatewayPageReply(2, {gatewayRowJson(QStringLiteral("OLD"), 0, -1)}));
        window.ui->WG_Total_Page->setText(QStringLiteral("9"));
        QTreeWidgetItem *oldRoot = window.rootItem;

        window.fillGatewayTree(reply);
        QVERIFY(window.rootItem && window.rootItem != oldRoot);
        QCOMPARE(window.ui->treeWidget->topLevelItemCount(), 1);
        QCOMPARE(window.rootItem->text(0), QStringLiteral("Korvane"));
        QVERIFY(window.rootItem->isExpanded());
        QCOMPARE(childTexts(window.rootItem), serials);
        QCOMPARE(window.ui->WG_Total_Page->text(), total);
        QCOMPARE(window.ui->WG_Current_Page->text(), current);
        QCOMPARE(window.customerId, customer);
        if (!serials.isEmpty()) {
            QVERIFY(isIcon(window.rootItem->child(0)->icon(0), onPicture));
            if (serials.size() > 1)
                QVERIFY(isIcon(window.rootItem->child(1)->icon(0), offPicture));
        }
    }

    // Each button from a start page; the label names the page before the request goes out.
    void pageButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("startPage");
        QTest::addColumn<int>("page");

        QTest::newRow("first from 2") << text("WG_One_Page") << 2 << 1;
        QTest::newRow("previous from 3") << text("WG_Previous_Page") << 3 << 2;
        QTest::newRow("previous on page 1 reloads it") << text("WG_Previous_Page") << 1 << 1;
        QTest::newRow("next from 1") << text("WG_After_Page") << 1 << 2;
        QTest::newRow("next on the last page reloads it") << text("WG_After_Page") << 3 << 3;
        QTest::newRow("last from 1") << text("WG_Last_Page") << 1 << 3;
    }

    void pageButtons()
    {
        QFETCH(QString, button);
        QFETCH(int, startPage);
        QFETCH(int, page);

        BrowserSession session;
        QVERIFY(session.start());
        if (startPage != 1) {
            session.ui->WG_Current_Page->setText(QString::number(startPage));
            session.window.loadGatewayPage(startPage);
            session.platform->clearRequests();
        }
        const QByteArray token = session.window.sessionToken;

        QTest::mouseClick(pageButton(session.window, button), Qt::LeftButton);

        const QList<sim::RecordedRequest> requests = session.platform->requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).operation, QStringLiteral("gatewayVagueFind"));
        QCOMPARE(requests.at(0).rawQuery,
                 QByteArray("token=" + token + "&gatewaySn=&gatewayName=&siteName=&customerId=" +
                            QByteArray::number(demoCustomer) + "&size=30&index=" + QByteArray::number(page)));
        QCOMPARE(session.ui->WG_Current_Page->text(), QString::number(page));
        QCOMPARE(session.ui->WG_Total_Page->text(), QStringLiteral("3"));
        const QStringList serials = customerSerials(session.platform->world());
        QCOMPARE(childTexts(session.window.rootItem), serials.mid((page - 1) * 30, 30));
        QVERIFY(session.boxes.isEmpty());
    }

    void pageLabelIsWrittenBeforeTheRequest()
    {
        BrowserSession session;
        QVERIFY(session.start());
        QTreeWidgetItem *root = session.window.rootItem;
        const QStringList shown = childTexts(root);
        session.platform->setFault(QStringLiteral("gatewayVagueFind"), droppedConnection());

        QTest::mouseClick(session.ui->WG_After_Page, Qt::LeftButton);
        QCOMPARE(session.platform->requests(QStringLiteral("gatewayVagueFind")).size(), 1);
        QCOMPARE(session.ui->WG_Current_Page->text(), QStringLiteral("2"));
        QCOMPARE(session.window.rootItem, root);
        QCOMPARE(childTexts(session.window.rootItem), shown);
        QVERIFY(session.boxes.isEmpty());

        QTest::mouseClick(session.ui->WG_Last_Page, Qt::LeftButton);
        QCOMPARE(session.ui->WG_Current_Page->text(), QStringLiteral("3"));
        QCOMPARE(childTexts(session.window.rootItem), shown);
    }

    // A page reply the platform refuses shows the error box; one it garbles is ignored.
    void failedPageRequest_data()
    {
        QTest::addColumn<sim::Fault>("fault");
        QTest::addColumn<bool>("errorBox");

        QTest::newRow("unknown serial") << faultWithCode(10005) << true;
        QTest::newRow("session expired: no re-request here") << faultWithCode(10002) << true;
        QTest::newRow("code 0") << faultWithCode(0) << true;
        QTest::newRow("not JSON") << faultWithBody(sim::Fault::Body::NotJson) << false;
        QTest::newRow("truncated") << faultWithBody(sim::Fault::Body::Truncated) << false;
        sim::Fault noCode;
        noCode.body = sim::Fault::Body::Custom;
        noCode.customBody = gatewayPageReply(75, {}).replace("\"code\":100,", "");
        QTest::newRow("JSON without code") << noCode << false;
    }

    void failedPageRequest()
    {
        QFETCH(sim::Fault, fault);
        QFETCH(bool, errorBox);

        BrowserSession session;
        QVERIFY(session.start());
        QTreeWidgetItem *root = session.window.rootItem;
        const QStringList shown = childTexts(root);
        session.platform->setFault(QStringLiteral("gatewayVagueFind"), fault);
        // The box comes after the reply: by then the label already names the new page.
        QString labelAtBox;
        session.boxes.setOnPresent(
            [&](const MessageBoxes::Request &) { labelAtBox = session.ui->WG_Current_Page->text(); });

        QTest::mouseClick(session.ui->WG_After_Page, Qt::LeftButton);
        QCOMPARE(session.ui->WG_Current_Page->text(), QStringLiteral("2"));
        QCOMPARE(session.window.rootItem, root);
        QCOMPARE(childTexts(session.window.rootItem), shown);
        QCOMPARE(session.ui->WG_Total_Page->text(), QStringLiteral("3"));
        QCOMPARE(session.platform->requests(QStringLiteral("getLintraToken")).size(), 0);
        if (errorBox) {
            QCOMPARE(session.boxes.count(), 1);
            QCOMPARE(session.boxes.last().kind, MessageBoxes::Kind::Critical);
            QCOMPARE(session.boxes.last().title, QStringLiteral("错误"));
            QCOMPARE(session.boxes.last().text, QStringLiteral("未检索到该网关"));
            QCOMPARE(labelAtBox, QStringLiteral("2"));
        } else {
            QVERIFY(session.boxes.isEmpty());
        }
    }

    // Page replies through the platform that the tree can use only in part, or not at all.
    void oddPageReplies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("gateways");
        QTest::addColumn<QString>("total");

        QStringList many;
        for (int i = 0; i < 10000; ++i)
            many.append(gatewayRowJson(QStringLiteral("GW%1").arg(i), i % 2, demoCustomer));
        QTest::newRow("ten thousand gateways") << gatewayPageReply(10000, many) << 10000 << text("334");
        QTest::newRow("count as text")
            << QByteArray("{\"code\":100,\"page\":{\"size\":30,\"count\":\"75\",\"index\":1},\"data\":[]}") << 0
            << text("3");
        QTest::newRow("elements are numbers") << gatewayPageReply(75, {text("1"), text("2")}) << 0 << text("3");
        QTest::newRow("serial as object")
            << gatewayPageReply(75, {text("{\"gatewaySn\":{},\"tunnelOnline\":1,\"customerId\":1}")}) << 0 << text("3");
        QTest::newRow("negative count") << gatewayPageReply(-5, many.mid(0, 2)) << 2 << text("0");
        QTest::newRow("huge count") << gatewayPageReply(2147483647, many.mid(0, 2)) << 2 << text("71582789");
        QTest::newRow("deeply nested") << QByteArray("{\"code\":100,\"page\":" + QByteArray(100000, '[') +
                                                     QByteArray(100000, ']') + "}")
                                       << -1 << text("3");
    }

    void oddPageReplies()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, gateways);
        QFETCH(QString, total);

        BrowserSession session;
        QVERIFY(session.start());
        QTreeWidgetItem *root = session.window.rootItem;
        const QStringList shown = childTexts(root);
        sim::Fault fault;
        fault.body = sim::Fault::Body::Custom;
        fault.customBody = body;
        session.platform->setFault(QStringLiteral("gatewayVagueFind"), fault);

        QTest::mouseClick(session.ui->WG_After_Page, Qt::LeftButton);
        QCOMPARE(session.ui->WG_Current_Page->text(), QStringLiteral("2"));
        QCOMPARE(session.ui->WG_Total_Page->text(), total);
        QCOMPARE(session.ui->treeWidget->topLevelItemCount(), 1);
        if (gateways < 0) {
            // Not JSON: nothing happens at all.
            QCOMPARE(session.window.rootItem, root);
            QCOMPARE(childTexts(session.window.rootItem), shown);
        } else {
            QCOMPARE(session.window.rootItem->childCount(), gateways);
        }
        QVERIFY(session.boxes.isEmpty());
    }

    void emptyListLeavesThePageButtonsIdle()
    {
        BrowserSession session;
        QVERIFY(session.start());
        session.ui->lineEdit_search_GW->setText(QStringLiteral("NO-SUCH-GATEWAY"));
        QTest::mouseClick(session.ui->searchGwBtn, Qt::LeftButton);
        QCOMPARE(session.platform->requests(QStringLiteral("gatewayVagueFind")).size(), 1);
        // The search wrote "1"; the empty reply overrides it.
        QCOMPARE(session.ui->WG_Current_Page->text(), QStringLiteral("0"));
        QCOMPARE(session.ui->WG_Total_Page->text(), QStringLiteral("0"));
        QCOMPARE(session.ui->treeWidget->topLevelItemCount(), 1);
        QCOMPARE(session.window.rootItem->childCount(), 0);

        session.platform->clearRequests();
        for (QToolButton *button : {session.ui->WG_One_Page, session.ui->WG_Previous_Page, session.ui->WG_After_Page,
                                    session.ui->WG_Last_Page})
            QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(session.platform->requests().isEmpty());
        QCOMPARE(session.ui->WG_Current_Page->text(), QStringLiteral("0"));
        QCOMPARE(session.ui->WG_Total_Page->text(), QStringLiteral("0"));
    }

    void searchTermsStayForLaterPages()
    {
        BrowserSession session;
        QVERIFY(session.start());
        Ui::MainWindow *ui = session.ui;
        const QByteArray token = session.window.sessionToken;
        ui->stackedWidget->setCurrentIndex(1);
        ui->lineEdit_search_GW->setText(QStringLiteral("KV2410A00"));
        ui->lineEdit_search_SITE_NAME->setText(QStringLiteral("号"));
        ui->lineEdit_search_GW_NAME->setText(QString());
        ui->WG_Current_Page->setText(QStringLiteral("3"));

        QTest::mouseClick(ui->searchGwBtn, Qt::LeftButton);
        QCOMPARE(ui->stackedWidget->currentIndex(), 0);
        QCOMPARE(ui->showAllGwList->styleSheet(), selectedTab);
        QCOMPARE(ui->searchGwPage->styleSheet(), plainTab);
        QCOMPARE(ui->WG_Current_Page->text(), QStringLiteral("1"));
        QCOMPARE(session.window.searchGatewaySn, QStringLiteral("KV2410A00"));
        QCOMPARE(session.window.searchSiteName, QStringLiteral("号"));
        QVERIFY(session.window.searchGatewayName.isEmpty());
        const QByteArray terms = "token=" + token + "&gatewaySn=KV2410A00&gatewayName=&siteName=%E5%8F%B7&customerId=" +
                                 QByteArray::number(demoCustomer) + "&size=30&index=";
        QCOMPARE(session.platform->requests(QStringLiteral("gatewayVagueFind")).last().rawQuery, terms + "1");

        // 72 ordinary sites match; the center sites ("...中心") do not.
        QStringList matching;
        for (const sim::Gateway &gateway : session.platform->world().gateways) {
            if (gateway.customerId == demoCustomer && gateway.gatewaySn.startsWith(QStringLiteral("KV2410A00")))
                matching.append(gateway.gatewaySn);
        }
        QCOMPARE(ui->WG_Total_Page->text(), QStringLiteral("3"));
        QCOMPARE(childTexts(session.window.rootItem), matching.mid(0, 30));

        QTest::mouseClick(ui->WG_After_Page, Qt::LeftButton);
        QCOMPARE(session.platform->requests(QStringLiteral("gatewayVagueFind")).last().rawQuery, terms + "2");
        QCOMPARE(childTexts(session.window.rootItem), matching.mid(30, 30));

        // The "all gateways" tab does not undo the search; only the next search replaces it.
        QTest::mouseClick(ui->showAllGwList, Qt::LeftButton);
        QTest::mouseClick(ui->WG_Last_Page, Qt::LeftButton);
        QCOMPARE(session.platform->requests(QStringLiteral("gatewayVagueFind")).last().rawQuery, terms + "3");
        QCOMPARE(childTexts(session.window.rootItem), matching.mid(60));

        ui->lineEdit_search_GW->clear();
        ui->lineEdit_search_SITE_NAME->clear();
        ui->lineEdit_search_GW_NAME->setText(QStringLiteral("泵站 & co"));
        QTest::mouseClick(ui->searchGwBtn, Qt::LeftButton);
        QCOMPARE(session.platform->requests(QStringLiteral("gatewayVagueFind")).last().rawQuery,
                 QByteArray("token=" + token + "&gatewaySn=&gatewayName=%E6%B3%B5%E7%AB%99%20%26%20co&siteName=" +
                            "&customerId=" + QByteArray::number(demoCustomer) + "&size=30&index=1"));
        QCOMPARE(
            session.platform->requests(QStringLiteral("gatewayVagueFind")).last().value(QStringLiteral("gatewayName")),
            QStringLiteral("泵站 & co"));
    }

    void failedSearch_data()
    {
        QTest::addColumn<sim::Fault>("fault");
        QTest::addColumn<bool>("errorBox");

        QTest::newRow("not JSON") << faultWithBody(sim::Fault::Body::NotJson) << true;
        QTest::newRow("truncated") << faultWithBody(sim::Fault::Body::Truncated) << true;
        QTest::newRow("code 10005 is silent") << faultWithCode(10005) << false;
        QTest::newRow("code 10002 is silent") << faultWithCode(10002) << false;
        sim::Fault noCode;
        noCode.body = sim::Fault::Body::Custom;
        noCode.customBody = QByteArrayLiteral("{\"msg\":\"ok\"}");
        QTest::newRow("no code is silent") << noCode << false;
        QTest::newRow("transfer failure is silent") << droppedConnection() << false;
    }

    void failedSearch()
    {
        QFETCH(sim::Fault, fault);
        QFETCH(bool, errorBox);

        BrowserSession session;
        QVERIFY(session.start());
        QTreeWidgetItem *root = session.window.rootItem;
        const QStringList shown = childTexts(root);
        session.ui->stackedWidget->setCurrentIndex(1);
        session.ui->lineEdit_search_GW->setText(QStringLiteral("KV"));
        session.platform->setFault(QStringLiteral("gatewayVagueFind"), fault);

        QTest::mouseClick(session.ui->searchGwBtn, Qt::LeftButton);
        QCOMPARE(session.ui->stackedWidget->currentIndex(), 0);
        QCOMPARE(session.ui->WG_Current_Page->text(), QStringLiteral("1"));
        QCOMPARE(session.window.rootItem, root);
        QCOMPARE(childTexts(session.window.rootItem), shown);
        QCOMPARE(session.platform->requests(QStringLiteral("getLintraToken")).size(), 0);
        if (errorBox) {
            QCOMPARE(session.boxes.count(), 1);
            QCOMPARE(session.boxes.last().kind, MessageBoxes::Kind::Critical);
            QCOMPARE(session.boxes.last().title, QStringLiteral("错误"));
            QCOMPARE(session.boxes.last().text, QStringLiteral("未检索到该网关"));
        } else {
            QVERIFY(session.boxes.isEmpty());
        }
        // The terms are taken even when the search failed.
        session.platform->clearFaults();
        QTest::mouseClick(session.ui->WG_One_Page, Qt::LeftButton);
        QCOMPARE(session.lastValue(QStringLiteral("gatewayVagueFind"), QStringLiteral("gatewaySn")),
                 QStringLiteral("KV"));
    }

    void tabButtons_data()
    {
        QTest::addColumn<bool>("bound");
        QTest::newRow("bound") << true;
        QTest::newRow("unbound") << false;
    }

    void tabButtons()
    {
        QFETCH(bool, bound);

        BrowserSession session;
        QVERIFY(session.platform.isRunning());
        QVERIFY(session.signIn());
        if (bound)
            QVERIFY(session.bind());
        else
            session.window.tapSerial = QByteArrayLiteral("unbound");
        session.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&session.window));
        session.platform->clearRequests();
        Ui::MainWindow *ui = session.ui;

        QTest::mouseClick(ui->searchGwPage, Qt::LeftButton);
        QCOMPARE(ui->stackedWidget->currentIndex(), bound ? 1 : 2);
        QCOMPARE(ui->showAllGwList->styleSheet(), plainTab);
        QCOMPARE(ui->searchGwPage->styleSheet(), selectedTab);

        QTest::mouseClick(ui->showAllGwList, Qt::LeftButton);
        QCOMPARE(ui->stackedWidget->currentIndex(), bound ? 0 : 2);
        QCOMPARE(ui->showAllGwList->styleSheet(), selectedTab);
        QCOMPARE(ui->searchGwPage->styleSheet(), plainTab);

        // Switching tabs never reloads the list.
        QVERIFY(session.platform->requests().isEmpty());
    }
};

QTEST_MAIN(TestGatewayTree)
#include "tst_gatewaytree.moc"
