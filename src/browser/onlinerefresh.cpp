// The once-a-minute refresh of the online states and the status report.
#include "mainwindow/mainwindow.h"

#include "api/operations.h"
#include "api/platformcall.h"
#include "browser/devicestatuscell.h"
#include "browser/logic/pagereplies.h"
#include "browser/treeitems.h"
#include "platform/hostsystem.h"
#include "tunnel/logic/trafficmeter.h"
#include "ui_mainwindow.h"

#include <QTreeWidgetItemIterator>

void MainWindow::ReportState()
{
    if (tapSerial == QByteArrayLiteral("unbound"))
        return;
    refreshGatewayStates();
    refreshDeviceStates();
    if (!*tapBound)
        return;
    updateTrafficMeter();
    reportTunnelState(sessionToken, QString::fromUtf8(tapSerial), tunnelConnected);
}

void MainWindow::refreshGatewayStates()
{
    gatewaySnList.clear();
    if (rootItem) {
        gatewaySnList.append(rootItem->text(0));
        for (QTreeWidgetItemIterator it(rootItem); *it; ++it) {
            if (*it != rootItem)
                gatewaySnList.append((*it)->text(0));
        }
    }
    const QStringList serials = gatewaySnList.mid(1);

    // Until the reply is handled the tree shows only its root.
    rootItem = resetGatewayTree(ui->treeWidget, rootItem);
    const PlatformReply reply = callPlatform(Operations::gatewayBatchFind(sessionToken, serials));
    if (reply.code == ReplyCode::SessionExpired) {
        reRequestToken();
        return;
    }
    if (!reply.succeeded())
        return;
    QList<QTreeWidgetItem *> items;
    for (const GatewayRow &row : readGatewayStates(reply.document.root())) {
        gatewayItem = makeGatewayItem(row.gatewaySn, row.tunnelOnline != 0);
        items.append(gatewayItem);
    }
    rootItem->addChildren(items);
    rootItem->setExpanded(true);
}

void MainWindow::refreshDeviceStates()
{
    const PlatformReply reply = callPlatform(Operations::devicesBatchFind(sessionToken, deviceIdList));
    if (!reply.succeeded())
        return;
    const std::optional<QVector<int>> states = readDeviceStates(reply.document.root());
    if (!states)
        return;
    QTableWidget *table = ui->tableWidget;
    // A reply with more elements than the table has rows changes only the existing rows.
    const int rows = std::min<int>(states->size(), table->rowCount());
    for (int row = 0; row < rows; ++row) {
        // Only the cells whose state changed are made anew; placing a cell widget costs more than
        // the exchange's own parsing, and the table looks the same either way.
        const bool online = states->at(row) != 0;
        if (deviceStatusCellShows(table->cellWidget(row, 0), online))
            continue;
        delete table->takeItem(row, 0);
        table->setCellWidget(row, 0, makeDeviceStatusCell(online));
    }
}

void MainWindow::updateTrafficMeter()
{
    ::updateTrafficMeter(trafficCurrent, trafficPrevious, trafficDelta, hostSystem().tapSentBytes());
}
