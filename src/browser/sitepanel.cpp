// The site details panel: ordinary and center sites.
#include "mainwindow/mainwindow.h"

#include "api/operations.h"
#include "api/platformcall.h"
#include "browser/logic/siterecord.h"
#include "browser/treeitems.h"
#include "ui/elidedtooltips.h"
#include "ui/networkfailurebox.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QHeaderView>
#include <QPixmap>

namespace {
// The labels of one details page, by member; null where the page has no such label.
struct SiteLabels {
    QLabel *siteName, *siteWanIp, *siteLanIp, *siteEnabled, *siteAddress, *tunnelAddress1, *createtime, *flowDatas,
        *updateTimes, *tunnelStatus, *gatewayStatus, *gatewayCsq, *siteNetType, *wanCaption;
};

SiteLabels ordinaryLabels(Ui::MainWindow *ui)
{
    return {ui->siteName,  ui->siteWanIp,   ui->siteLanIp,           ui->siteEnabled,          ui->siteAddress,
            ui->tunnelAddress1, ui->createtime, ui->flowDatas, ui->updateTimes, ui->siteRunstatus_GW_VPN,
            ui->siteRunstatus_GW_TER, ui->gatewayCsq, ui->siteNetType, ui->siteWanIp_Name};
}

SiteLabels centerLabels(Ui::MainWindow *ui)
{
    return {ui->siteName_2,  ui->siteWanIp_2,  nullptr,           ui->siteEnabled_2, ui->siteAddress_2,
            ui->tunnelAddress1_2, ui->createtime_2, ui->flowDatas_2, ui->updateTimes_2, ui->siteRunstatus,
            ui->siteRunstatus_2, nullptr, ui->siteNetType_2, ui->siteWanIp_2_Name};
}

QPixmap statusPicture(bool online, const QString &onPath, const QString &offPath)
{
    return QPixmap(online ? onPath : offPath);
}

void setText(QLabel *label, const QString &text)
{
    if (label)
        label->setText(text);
}

// The serial of the gateway whose details the panel shows; empty before the first one.
QString shownGateway(Ui::MainWindow *ui)
{
    if (ui->stackedWidget_2->currentIndex() != 0)
        return QString();
    return ui->stackedWidget_GWMSG->currentIndex() == 0 ? ui->gatewaySn->text() : ui->gatewaySn_2->text();
}

// Addresses are read whole or not at all: the IP columns take what their texts need, the other
// columns share the rest and cut their texts, which their tool tips then show whole.
void fitDeviceTableColumns(QTableWidget *table)
{
    QHeaderView *header = table->horizontalHeader();
    header->setStretchLastSection(false); // it would stretch (and cut) the virtual IP column
    for (int column : {3, 4})
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    showFullTextOfElidedItems(table);
}
} // namespace

void MainWindow::showtheGatewayMsg(QTreeWidgetItem *item, int col)
{
    if (!item || item == rootItem)
        return;
    const QString serial = item->text(col);
    unansweredClick = nullptr;
    const PlatformReply reply =
        callInSession([&](const QByteArray &token) { return Operations::getSiteInfo(token, serial); });
    const std::optional<SiteRecord> record =
        reply.succeeded() ? readSiteRecord(reply.document.root()) : std::optional<SiteRecord>();
    if (!record) {
        // The panel keeps the previous gateway's details, so the tree must point at that one too.
        selectGateway(ui->treeWidget, shownGateway(ui));
        if (!reply.answered()) {
            qWarning().noquote() << QStringLiteral("网关信息获取失败，网络连接异常");
            unansweredClick = item;
            showNetworkFailureBox();
        }
        return;
    }

    ui->stackedWidget_2->setCurrentIndex(0);
    SiteLabels labels;
    if (record->centerSite) {
        ui->siteSort_2->setText(QStringLiteral("中心站点"));
        ui->stackedWidget_Dev->setCurrentIndex(1);
        ui->stackedWidget_GWMSG->setCurrentIndex(1);
        ui->gatewaySn_2->setText(serial);
        ui->VpnControl->setVisible(serial.toUtf8() == tapSerial);
        labels = centerLabels(ui);
    } else {
        ui->siteSort->setText(QStringLiteral("普通站点"));
        fitDeviceTableColumns(ui->tableWidget);
        ui->stackedWidget_Dev->setCurrentIndex(0);
        ui->stackedWidget_GWMSG->setCurrentIndex(0);
        ui->gatewaySn->setText(serial);
        labels = ordinaryLabels(ui);
    }

    for (const SiteValue &value : record->values) {
        switch (value.member) {
        case SiteValue::SiteName: setText(labels.siteName, value.text); break;
        case SiteValue::SiteWanIp: setText(labels.siteWanIp, value.text); break;
        case SiteValue::SiteLanIp: setText(labels.siteLanIp, value.text); break;
        case SiteValue::SiteEnabled: setText(labels.siteEnabled, siteEnabledText(value.number)); break;
        case SiteValue::SiteAddress: setText(labels.siteAddress, value.text); break;
        case SiteValue::TunnelAddress1: setText(labels.tunnelAddress1, value.text); break;
        case SiteValue::CreateTimes: setText(labels.createtime, value.text); break;
        case SiteValue::FlowDatas: setText(labels.flowDatas, value.text); break;
        case SiteValue::UpdateTimes: setText(labels.updateTimes, value.text); break;
        case SiteValue::GatewayCsq: setText(labels.gatewayCsq, value.text); break;
        case SiteValue::IsVirtuaIp: {
            const bool virtualNetwork = value.number != 0;
            labels.wanCaption->setVisible(virtualNetwork);
            labels.siteWanIp->setVisible(virtualNetwork);
            if (!record->centerSite)
                ui->tableWidget->setColumnHidden(4, !virtualNetwork);
            break;
        }
        case SiteValue::TunnelOnline:
            labels.tunnelStatus->setPixmap(statusPicture(value.number != 0, QStringLiteral(":/image/VPN_ON.png"),
                                                         QStringLiteral(":/image/VPN_OFF.png")));
            break;
        case SiteValue::GatewayOnline:
            labels.gatewayStatus->setPixmap(statusPicture(value.number != 0, QStringLiteral(":/image/对.png"),
                                                          QStringLiteral(":/image/错.png")));
            break;
        case SiteValue::SiteNetType:
            if (const std::optional<QString> text = siteNetTypeText(value.number))
                labels.siteNetType->setText(*text);
            break;
        }
    }
}
