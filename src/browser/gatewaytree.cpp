// The gateway tree: filling, paging, search and the two tab buttons.
#include "mainwindow/mainwindow.h"

#include "api/operations.h"
#include "api/platformcall.h"
#include "browser/logic/pagereplies.h"
#include "browser/logic/paging.h"
#include "browser/treeitems.h"
#include "ui/messageboxes.h"
#include "ui/networkfailurebox.h"
#include "ui_mainwindow.h"

namespace {
const QString kSelectedTab = QStringLiteral(
    "background-color:#29a8e2;color:rgb(255,255,255);border-radius: 8px;border-width: 3px; border-color:#000;");
// The grey as rgb(): rgba() without its alpha is rejected by the style sheet parser, with a warning.
const QString kPlainTab = QStringLiteral(
    "background-color:rgb(255,255,255);color:rgb(0,0,0);border:2px solid rgb(200, 200, 200);border-radius:10px;");
const QByteArray kUnbound = QByteArrayLiteral("unbound");

void showGatewayNotFound()
{
    MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("未检索到该网关"));
}

void goToGatewayPage(MainWindow &window, PageButton button)
{
    Ui::MainWindow *ui = window.ui;
    // The buttons do nothing while the list has no pages.
    if (ui->WG_Total_Page->text() == QStringLiteral("0"))
        return;
    const int page = gatewayTargetPage(button, pageNumberFromLabel(ui->WG_Current_Page->text()),
                                       pageNumberFromLabel(ui->WG_Total_Page->text()));
    // The label shows the new page while it is asked for; a platform that does not answer leaves
    // the shown page, and its number, as they were.
    const QString shown = ui->WG_Current_Page->text();
    ui->WG_Current_Page->setText(QString::number(page));
    if (!window.loadGatewayPage(page)) {
        ui->WG_Current_Page->setText(shown);
        showNetworkFailureBox();
    }
}
} // namespace

void MainWindow::fillGatewayTree(const QByteArray &reply)
{
    rootItem = resetGatewayTree(ui->treeWidget, rootItem);

    const JsonDocument document = JsonDocument::parse(reply);
    if (!document.isValid())
        return;
    const GatewayPage page = readGatewayPage(document.root());
    if (!page.page)
        return;
    ui->WG_Total_Page->setText(QString::number(pageTotal(page.page->count, GatewayPageSize)));
    if (!page.hasData)
        return;
    if (page.dataSize == 0) {
        ui->WG_Current_Page->setText(QStringLiteral("0"));
        return;
    }
    QList<QTreeWidgetItem *> items;
    items.reserve(page.rows.size());
    for (const GatewayRow &row : page.rows) {
        customerId = row.customerId;
        gatewayItem = makeGatewayItem(row.gatewaySn, row.tunnelOnline != 0);
        items.append(gatewayItem);
    }
    rootItem->addChildren(items);
    rootItem->setExpanded(true);
    restoreGatewayTreeView(ui->treeWidget);
}

bool MainWindow::loadGatewayPage(int index)
{
    const PlatformReply reply = callInSession([&](const QByteArray &token) {
        return Operations::gatewayVagueFindPage(token, searchGatewaySn, searchGatewayName, searchSiteName, customerId,
                                                index);
    });
    if (!reply.code)
        return reply.answered();
    if (reply.succeeded())
        fillGatewayTree(*reply.body);
    else
        showGatewayNotFound();
    return true;
}

void MainWindow::on_WG_One_Page_clicked()
{
    goToGatewayPage(*this, PageButton::First);
}

void MainWindow::on_WG_Previous_Page_clicked()
{
    goToGatewayPage(*this, PageButton::Previous);
}

void MainWindow::on_WG_After_Page_clicked()
{
    goToGatewayPage(*this, PageButton::Next);
}

void MainWindow::on_WG_Last_Page_clicked()
{
    goToGatewayPage(*this, PageButton::Last);
}

void MainWindow::on_searchGwBtn_clicked()
{
    ui->stackedWidget->setCurrentIndex(0);
    ui->showAllGwList->setStyleSheet(kSelectedTab);
    ui->searchGwPage->setStyleSheet(kPlainTab);
    // What the tree shows, kept when the platform does not answer: the page and the terms behind it.
    const QString shown = ui->WG_Current_Page->text();
    const QStringList shownTerms = {searchGatewaySn, searchGatewayName, searchSiteName};
    ui->WG_Current_Page->setText(QStringLiteral("1"));
    searchGatewaySn = ui->lineEdit_search_GW->text();
    searchGatewayName = ui->lineEdit_search_GW_NAME->text();
    searchSiteName = ui->lineEdit_search_SITE_NAME->text();

    const PlatformReply reply = callInSession([&](const QByteArray &token) {
        return Operations::gatewayVagueFindSearch(token, searchGatewaySn, searchGatewayName, searchSiteName,
                                                  customerId);
    });
    if (!reply.answered()) {
        ui->WG_Current_Page->setText(shown);
        searchGatewaySn = shownTerms.at(0);
        searchGatewayName = shownTerms.at(1);
        searchSiteName = shownTerms.at(2);
        showNetworkFailureBox();
        return;
    }
    if (!reply.isJson())
        showGatewayNotFound();
    else if (reply.succeeded())
        fillGatewayTree(*reply.body);
}

void MainWindow::on_showAllGwList_clicked()
{
    ui->stackedWidget->setCurrentIndex(tapSerial == kUnbound ? 2 : 0);
    ui->showAllGwList->setStyleSheet(kSelectedTab);
    ui->searchGwPage->setStyleSheet(kPlainTab);
}

void MainWindow::on_searchGwPage_clicked()
{
    ui->stackedWidget->setCurrentIndex(tapSerial == kUnbound ? 2 : 1);
    ui->showAllGwList->setStyleSheet(kPlainTab);
    ui->searchGwPage->setStyleSheet(kSelectedTab);
}
