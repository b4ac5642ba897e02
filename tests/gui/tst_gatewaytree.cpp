// The gateway tree: the fill from a binding and from page replies, the four page buttons, the
// search and the two tab buttons.
#include "support/boundwindow.h"
#include "ui/resources.h"

#include <QScrollBar>
#include <QtTest>

namespace {
const QString vagueFind = QStringLiteral("gatewayVagueFind");
const QString selectedTab = QStringLiteral(
    "background-color:#29a8e2;color:rgb(255,255,255);border-radius: 8px;border-width: 3px; border-color:#000;");
const QString plainTab = QStringLiteral(
    "background-color:rgb(255,255,255);color:rgb(0,0,0);border:2px solid rgb(200, 200, 200);border-radius:10px;");

// The query of a page request up to the page index.
QByteArray pageQuery(const QByteArray &token, const QByteArray &terms = "gatewaySn=&gatewayName=&siteName=")
{
    return "token=" + token + '&' + terms + "&customerId=" + QByteArray::number(demo::customer) + "&size=30&index=";
}

QString pages(Ui::MainWindow *ui) { return ui->WG_Current_Page->text() + QLatin1Char('/') + ui->WG_Total_Page->text(); }
QString tabs(Ui::MainWindow *ui) { return ui->showAllGwList->styleSheet() + ui->searchGwPage->styleSheet(); }

// The selected gateway (empty: none) and the scroll position of the tree.
QString place(const QTreeWidget *tree)
{
    const QTreeWidgetItem *current = tree->currentItem();
    return (current && current->isSelected() ? current->text(0) : QString()) + QLatin1Char('@') +
           QString::number(tree->verticalScrollBar()->value());
}

QStringList styleWarnings;
void captureStyleWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg &&
        (message.startsWith(QLatin1String("QCss")) || message.contains(QLatin1String("stylesheet"))))
        styleWarnings << message;
}
} // namespace

class TestGatewayTree : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void bindingFillsTheFirstPage()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        QTreeWidgetItem *root = bound.window.rootItem;
        QCOMPARE(childTexts(bound.ui->treeWidget->invisibleRootItem()), QStringList{QStringLiteral("Korvane")});
        QVERIFY(root->font(0) == QFont(QStringLiteral("Calibri"), 13) && root->isExpanded());
        QCOMPARE(childTexts(root), bound.customerSerials().mid(0, 30));
        QCOMPARE(wrongIcon(root, bound.platform->world()), QString());
        QCOMPARE(pages(bound.ui), QStringLiteral("1/3"));

        // customerId comes from the rows: the last one read wins.
        bound.window.fillGatewayTree(R"({"code":100,"page":{"size":30,"count":3,"index":1},"data":[
            {"gatewaySn":"A","tunnelOnline":1,"customerId":7},{"gatewaySn":"B","tunnelOnline":0,"customerId":9}]})");
        QCOMPARE(bound.window.customerId, 9);
        QCOMPARE(childTexts(bound.window.rootItem), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));

        // 30 gateways a page: the count rounds up to whole pages of 30.
        for (const int count : {30, 31, 60}) {
            bound.window.fillGatewayTree(R"({"code":100,"page":{"size":25,"count":)" + QByteArray::number(count) +
                                         R"(,"index":1},"data":[{"gatewaySn":"A","tunnelOnline":1,"customerId":7}]})");
            QCOMPARE(bound.ui->WG_Total_Page->text(), QString::number((count + 29) / 30));
        }
    }

    // A rebuild of the same page (the minute refresh, a reload) keeps the selected gateway and the
    // scroll position; another page starts at its top with nothing selected.
    void rebuildKeepsThePlace()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        QTreeWidget *tree = bound.ui->treeWidget;
        const QString serial = bound.customerSerials().at(25);
        QVERIFY(bound.click(serial));
        const QString kept = place(tree);
        QVERIFY2(kept.startsWith(serial + QLatin1Char('@')) && !kept.endsWith(QLatin1String("@0")), qPrintable(kept));

        bound.window.refreshGatewayStates();
        QCOMPARE(bound.requestCount(QStringLiteral("gatewayBatchFind")), 1);
        QTRY_COMPARE(place(tree), kept);
        QTest::mouseClick(bound.ui->WG_One_Page, Qt::LeftButton);
        QCOMPARE(place(tree), kept);
        QTest::mouseClick(bound.ui->WG_After_Page, Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(place(tree), QStringLiteral("@0"));
    }

    void pageButtons()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        // Button, page shown, page requested: previous on page 1 and next on the last page reload it.
        const std::tuple<const char *, int, int> cases[] = {{"WG_One_Page", 2, 1},   {"WG_Previous_Page", 3, 2},
                                                            {"WG_Previous_Page", 1, 1}, {"WG_After_Page", 1, 2},
                                                            {"WG_After_Page", 3, 3}, {"WG_Last_Page", 1, 3}};
        for (const auto &[button, startPage, page] : cases) {
            bound.platform->clearRequests();
            bound.ui->WG_Current_Page->setText(QString::number(startPage));
            QTest::mouseClick(bound.window.findChild<QToolButton *>(QLatin1String(button)), Qt::LeftButton);
            QVERIFY2(bound.platform->requests().size() == 1, button);
            QCOMPARE(bound.lastQuery(vagueFind), pageQuery(bound.window.sessionToken) + QByteArray::number(page));
            QCOMPARE(pages(bound.ui), QStringLiteral("%1/3").arg(page));
            QCOMPARE(childTexts(bound.window.rootItem), bound.customerSerials().mid((page - 1) * 30, 30));
        }
        QVERIFY(bound.boxes.isEmpty());
    }

    // The label names the new page before the request goes out, so a refused request leaves it
    // there. A page request shows the error box for any refusal (10002 once the token was renewed
    // and the page asked for once more) and nothing for a garbled reply; a search the other way
    // round; the search terms are taken. A platform that does not answer leaves page, label and
    // terms as they were, and says so.
    void failedRequest_data()
    {
        QTest::addColumn<bool>("search");
        QTest::addColumn<sim::Fault>("failure");
        QTest::addColumn<QString>("box");
        const QString notFound = QStringLiteral("未检索到该网关");
        const QString network = QStringLiteral("网络连接失败，请检测您的网络状态后重试");
        QTest::newRow("page, transfer failure") << false << droppedConnection() << network;
        QTest::newRow("page, not JSON") << false << fault(NotJson) << QString();
        QTest::newRow("page, unknown serial") << false << fault(10005) << notFound;
        QTest::newRow("page, session expired") << false << fault(10002) << notFound;
        QTest::newRow("search, not JSON") << true << fault(NotJson) << notFound;
        QTest::newRow("search, code 10005") << true << fault(10005) << QString();
        QTest::newRow("search, no code") << true << replyBody(R"({"msg":"ok"})") << QString();
        QTest::newRow("search, session expired") << true << fault(10002) << QString();
        QTest::newRow("search, transfer failure") << true << droppedConnection() << network;
    }

    void failedRequest()
    {
        QFETCH(bool, search);
        QFETCH(sim::Fault, failure);
        QFETCH(QString, box);
        const bool lost = failure.dropConnection;
        const bool expired = failure.code == 10002;
        BoundWindow bound;
        QVERIFY(bound.start());
        QTreeWidgetItem *root = bound.window.rootItem;
        const QStringList shown = childTexts(root);
        bound.ui->lineEdit_search_GW->setText(QStringLiteral("KV"));
        bound.platform->setFault(vagueFind, failure);
        QString labelAtBox;
        bound.boxes.setOnPresent(
            [&](const MessageBoxes::Request &) { labelAtBox = bound.ui->WG_Current_Page->text(); });

        const QString before = bound.ui->WG_Current_Page->text();
        QTest::mouseClick(search ? bound.ui->searchGwBtn : bound.ui->WG_After_Page, Qt::LeftButton);
        const QString page = lost ? before : search ? QStringLiteral("1") : QStringLiteral("2");
        // A new token only for 10002, with which the request went once more.
        QCOMPARE(bound.requestCount(vagueFind), expired ? 2 : 1);
        QCOMPARE(bound.platform->requests().size(), expired ? 3 : 1);
        if (expired)
            QCOMPARE(bound.lastValue(vagueFind, QStringLiteral("token")).toUtf8(), bound.window.sessionToken);
        QCOMPARE(bound.ui->WG_Current_Page->text(), page);
        QVERIFY(bound.window.rootItem == root && childTexts(root) == shown);
        QCOMPARE(bound.boxes.texts(), box.isEmpty() ? QStringList() : QStringList{box});
        if (!box.isEmpty())
            QVERIFY(bound.boxes.last().kind == MessageBoxes::Kind::Critical &&
                    bound.boxes.last().title + labelAtBox == QStringLiteral("错误") + page);
        bound.platform->clearFaults();
        QTest::mouseClick(bound.ui->WG_One_Page, Qt::LeftButton);
        QCOMPARE(bound.lastValue(vagueFind, QStringLiteral("gatewaySn")),
                 search && !lost ? QStringLiteral("KV") : QString());
    }

    void emptyListLeavesThePageButtonsIdle()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        bound.ui->lineEdit_search_GW->setText(QStringLiteral("NO-SUCH-GATEWAY"));
        QTest::mouseClick(bound.ui->searchGwBtn, Qt::LeftButton);
        QCOMPARE(bound.requestCount(vagueFind), 1);
        // The search wrote "1"; the empty reply overrides it.
        QCOMPARE(pages(bound.ui), QStringLiteral("0/0"));
        QCOMPARE(bound.window.rootItem->childCount(), 0);
        bound.platform->clearRequests();
        for (QToolButton *button :
             {bound.ui->WG_One_Page, bound.ui->WG_Previous_Page, bound.ui->WG_After_Page, bound.ui->WG_Last_Page})
            QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(bound.platform->requests().isEmpty());
    }

    void searchTermsStayForLaterPages()
    {
        BoundWindow bound;
        QVERIFY(bound.start());
        Ui::MainWindow *ui = bound.ui;
        ui->stackedWidget->setCurrentIndex(1);
        ui->lineEdit_search_GW->setText(QStringLiteral("KV2410A00"));
        ui->lineEdit_search_SITE_NAME->setText(QStringLiteral("号"));
        ui->WG_Current_Page->setText(QStringLiteral("3"));
        const QByteArray terms =
            pageQuery(bound.window.sessionToken, "gatewaySn=KV2410A00&gatewayName=&siteName=%E5%8F%B7");
        // 72 ordinary sites match; the center sites do not. The "all gateways" tab does not undo the search.
        const QStringList matching = bound.customerSerials().filter(QStringLiteral("KV2410A00"));
        const struct {
            QToolButton *button;
            int page;
        } steps[] = {{ui->searchGwBtn, 1}, {ui->WG_After_Page, 2}, {ui->showAllGwList, 2}, {ui->WG_Last_Page, 3}};
        for (const auto &step : steps) {
            QTest::mouseClick(step.button, Qt::LeftButton);
            QCOMPARE(bound.lastQuery(vagueFind), terms + QByteArray::number(step.page));
            QCOMPARE(pages(ui), QStringLiteral("%1/3").arg(step.page));
            QCOMPARE(childTexts(bound.window.rootItem), matching.mid((step.page - 1) * 30, 30));
            QCOMPARE(ui->stackedWidget->currentIndex(), 0);
            QCOMPARE(tabs(ui), selectedTab + plainTab);
        }
        ui->lineEdit_search_GW->clear();
        ui->lineEdit_search_SITE_NAME->clear();
        ui->lineEdit_search_GW_NAME->setText(QStringLiteral("泵站 & co"));
        QTest::mouseClick(ui->searchGwBtn, Qt::LeftButton);
        const QByteArray named = "gatewaySn=&gatewayName=%E6%B3%B5%E7%AB%99%20%26%20co&siteName=";
        QCOMPARE(bound.lastQuery(vagueFind), pageQuery(bound.window.sessionToken, named) + '1');
        // Enter in any search field searches, once.
        for (QLineEdit *field : {ui->lineEdit_search_GW, ui->lineEdit_search_SITE_NAME, ui->lineEdit_search_GW_NAME}) {
            ui->stackedWidget->setCurrentIndex(1);
            const int before = bound.requestCount(vagueFind);
            QTest::keyClick(field, Qt::Key_Return);
            QCOMPARE(bound.requestCount(vagueFind), before + 1);
            QCOMPARE(bound.lastQuery(vagueFind), pageQuery(bound.window.sessionToken, named) + '1');
        }
    }

    void tabButtons()
    {
        // Both tab styles are accepted as written: a rejected one warns at every switch.
        const QtMessageHandler previous = qInstallMessageHandler(captureStyleWarnings);
        const auto restoreHandler = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        for (const bool isBound : {true, false}) {
            BoundWindow bound;
            QVERIFY(bound.start(isBound));
            for (const bool all : {false, true}) {
                QTest::mouseClick(all ? bound.ui->showAllGwList : bound.ui->searchGwPage, Qt::LeftButton);
                QCOMPARE(bound.ui->stackedWidget->currentIndex(), isBound ? int(!all) : 2);
                QCOMPARE(tabs(bound.ui), all ? selectedTab + plainTab : plainTab + selectedTab);
            }
            // Switching tabs never reloads the list.
            QVERIFY(bound.platform->requests().isEmpty());
        }
        QCOMPARE(styleWarnings, QStringList());
    }
};

QTEST_MAIN(TestGatewayTree)
#include "tst_gatewaytree.moc"
