// The device table of the chosen gateway and its paging.
#include "mainwindow/mainwindow.h"

#include "api/operations.h"
#include "api/platformcall.h"
#include "browser/devicestatuscell.h"
#include "browser/logic/pagereplies.h"
#include "browser/logic/paging.h"
#include "ui/networkfailurebox.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QTableWidgetItem>
#include <QTreeWidgetItemIterator>

namespace {
QTableWidgetItem *makeTextCell(const QString &text)
{
    static const QFont font = [] {
        QFont f(QStringLiteral("微软雅黑"), 11);
        f.setWeight(QFont::Normal);
        f.setItalic(false);
        return f;
    }();
    auto *cell = new QTableWidgetItem(text);
    cell->setTextAlignment(Qt::AlignCenter);
    cell->setFont(font);
    return cell;
}

void goToDevicePage(MainWindow &window, PageButton button)
{
    Ui::MainWindow *ui = window.ui;
    const int page = deviceTargetPage(button, pageNumberFromLabel(ui->DEV_Current_Page->text()),
                                      pageNumberFromLabel(ui->DEV_Total_Page->text()));
    // A platform that does not answer leaves the shown page, and its number, as they were.
    const QString shown = ui->DEV_Current_Page->text();
    ui->DEV_Current_Page->setText(QString::number(page));
    if (!window.loadDevicePage(page)) {
        ui->DEV_Current_Page->setText(shown);
        showNetworkFailureBox();
    }
}

bool isInTree(const QTreeWidget *tree, const QTreeWidgetItem *item)
{
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(tree)); *it; ++it) {
        if (*it == item)
            return true;
    }
    return false;
}
} // namespace

void MainWindow::fillDeviceTable(const cJSON *reply, int shownPage)
{
    const DevicePage page = readDevicePage(reply);
    if (!page.page)
        return;
    ui->DEV_Current_Page->setText(page.page->count == 0 ? QStringLiteral("0") : QString::number(shownPage));
    ui->DEV_Total_Page->setText(QString::number(pageTotal(page.page->count, DevicePageSize)));
    if (!page.hasData)
        return;

    QTableWidget *table = ui->tableWidget;
    deviceIdList.append(page.deviceIds);
    // A complete page always ends as 25 rows; rows past them are never seen, so they are not built.
    // Cut short, a page shows as many rows as it has elements, but never more than a page holds.
    const int finalRows = page.complete ? DevicePageSize : std::min(page.dataSize, DevicePageSize);
    table->setRowCount(finalRows);
    const int filled = std::min<int>(page.rows.size(), finalRows);
    for (int row = 0; row < filled; ++row) {
        const DeviceRow &device = page.rows.at(row);
        table->setCellWidget(row, 0, makeDeviceStatusCell(device.deviceOnline != 0));
        const QString texts[] = {device.deviceName, deviceClassText(device.deviceClassify), device.realIp,
                                 device.virtualIp};
        for (int column = 1; column <= 4; ++column) {
            deviceCell = makeTextCell(texts[column - 1]);
            table->setItem(row, column, deviceCell);
        }
    }
}

void MainWindow::showDevList(QTreeWidgetItem *item, int col)
{
    // The site request of the same click waited (the tree may have been rebuilt meanwhile) and,
    // when the platform did not answer, has told the user already.
    const bool unanswered = unansweredClick && unansweredClick == item;
    unansweredClick = nullptr;
    if (!item || !isInTree(ui->treeWidget, item)) {
        return;
    }
    if (item == rootItem) {
        deviceIdList.clear();
        return;
    }
    if (unanswered)
        return;
    const QString serial = item->text(col);
    const PlatformReply reply = callInSession(
        [&](const QByteArray &token) { return Operations::devicesListFirstPage(token, serial, customerId); });
    if (!reply.answered()) {
        qWarning().noquote() << QStringLiteral("获取设备信息失败，网络连接异常");
        showNetworkFailureBox();
        return;
    }
    deviceIdList.clear();
    ui->tableWidget->clearContents();
    if (reply.succeeded())
        fillDeviceTable(reply.document.root(), 1);
}

bool MainWindow::loadDevicePage(int index)
{
    const QString serial = ui->gatewaySn->text();
    const PlatformReply reply = callInSession(
        [&](const QByteArray &token) { return Operations::devicesListPage(token, serial, index, customerId); });
    if (!reply.answered())
        return false;
    deviceIdList.clear();
    ui->tableWidget->clearContents();
    if (reply.succeeded())
        fillDeviceTable(reply.document.root(), index);
    return true;
}

void MainWindow::on_DEV_One_Page_clicked()
{
    goToDevicePage(*this, PageButton::First);
}

void MainWindow::on_DEV_Previous_Page_clicked()
{
    goToDevicePage(*this, PageButton::Previous);
}

void MainWindow::on_DEV_After_Page_clicked()
{
    goToDevicePage(*this, PageButton::Next);
}

void MainWindow::on_DEV_Last_Page_clicked()
{
    goToDevicePage(*this, PageButton::Last);
}
