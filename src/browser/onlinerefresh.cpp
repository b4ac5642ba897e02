// The once-a-minute refresh of the online states and the status report.
#include "mainwindow/mainwindow.h"

#include "api/exchangewait.h"
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
    // A tick that comes due while an exchange waits is held until the wait is over, not stacked on
    // it (the watchdog's probe, due at the same moment, is such a wait).
    if (ExchangeWait::isWaiting()) {
        ExchangeWait::holdUntilIdle(this, "ReportState", [this] { ReportState(); });
        return;
    }
    const auto answered = [this](const PlatformReply &reply) {
        return platformSilence.answered(reply.answered(), reply.failure);
    };
    if (!answered(refreshGatewayStates()) || !answered(refreshDeviceStates()))
        return;
    if (!*tapBound)
        return;
    updateTrafficMeter();
    answered(reportTunnelState(sessionToken, QString::fromUtf8(tapSerial), tunnelConnected));
}

PlatformReply MainWindow::refreshGatewayStates()
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

    PlatformReply reply =
        callInSession([&](const QByteArray &token) { return Operations::gatewayBatchFind(token, serials); });
    // The tree stays as it is while the platform is asked, and when it does not answer.
    if (!reply.answered())
        return reply;
    rootItem = resetGatewayTree(ui->treeWidget, rootItem);
    if (!reply.succeeded())
        return reply;
    QList<QTreeWidgetItem *> items;
    for (const GatewayRow &row : readGatewayStates(reply.document.root())) {
        gatewayItem = makeGatewayItem(row.gatewaySn, row.tunnelOnline != 0);
        items.append(gatewayItem);
    }
    rootItem->addChildren(items);
    rootItem->setExpanded(true);
    return reply;
}

PlatformReply MainWindow::refreshDeviceStates()
{
    const QStringList ids = deviceIdList;
    PlatformReply reply = callInSession([&](const QByteArray &token) { return Operations::devicesBatchFind(token, ids); });
    if (!reply.succeeded())
        return reply;
    const std::optional<QVector<int>> states = readDeviceStates(reply.document.root());
    if (!states)
        return reply;
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
    return reply;
}

void MainWindow::updateTrafficMeter()
{
    ::updateTrafficMeter(trafficCurrent, trafficPrevious, trafficDelta, hostSystem().tapSentBytes());
    noteTunnelCounters();
}
