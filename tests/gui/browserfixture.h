#pragma once

// A signed-in main window bound to a demo TAP, against a private simulator, for the browser tests
// (gateway tree, site panel, device table, online refresh). Header only: each test program has
// its own copy of these small helpers.

#include "api/sessiontoken.h"
#include "mainwindow/mainwindow.h"
#include "sim/world.h"
#include "support/fakehostsystem.h"
#include "support/messagerecorder.h"
#include "support/simfixture.h"
#include "support/workdir.h"
#include "ui_mainwindow.h"

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace browsertest {

inline const QString demoUser = QStringLiteral("demo");
inline const QString demoPassword = QStringLiteral("Demo@2026");
inline const QString demoTap = QStringLiteral("TAP-DEMO-0001");
inline const QString demoTapPassword = QStringLiteral("Tap@0001");
constexpr int demoCustomer = 1001;

const QString onPicture = QStringLiteral(":/image/VPN_ON.png");
const QString offPicture = QStringLiteral(":/image/VPN_OFF.png");
const QString rightPicture = QStringLiteral(":/image/对.png");
const QString wrongPicture = QStringLiteral(":/image/错.png");

// Whether a label shows exactly the picture of a resource.
inline bool showsPicture(const QLabel *label, const QString &resource)
{
    const QPixmap shown = label->pixmap(Qt::ReturnByValue);
    return !shown.isNull() && shown.toImage() == QPixmap(resource).toImage();
}

inline bool isIcon(const QIcon &icon, const QString &resource)
{
    return !icon.isNull() && icon.pixmap(16).toImage() == QIcon(resource).pixmap(16).toImage();
}

// The picture label of a device status cell, or null when the row has none.
inline QLabel *statusLabel(QTableWidget *table, int row)
{
    QWidget *cell = table->cellWidget(row, 0);
    return cell ? cell->findChild<QLabel *>() : nullptr;
}

// Serials of the customer's gateways in the platform's order.
inline QStringList customerSerials(const sim::World &world, int customerId = demoCustomer)
{
    QStringList serials;
    for (const sim::Gateway &gateway : world.gateways) {
        if (gateway.customerId == customerId)
            serials.append(gateway.gatewaySn);
    }
    return serials;
}

inline QStringList childTexts(const QTreeWidgetItem *root)
{
    QStringList texts;
    for (int i = 0; root && i < root->childCount(); ++i)
        texts.append(root->child(i)->text(0));
    return texts;
}

// A gateway page reply as the platform sends it; rows are JSON object texts.
inline QByteArray gatewayPageReply(int count, const QStringList &rows)
{
    return QByteArrayLiteral("{\"code\":100,\"page\":{\"size\":30,\"count\":") + QByteArray::number(count) +
           ",\"index\":1},\"data\":[" + rows.join(QLatin1Char(',')).toUtf8() + "]}";
}

inline QString gatewayRowJson(const QString &serial, int tunnelOnline, int customerId)
{
    return QStringLiteral("{\"gatewaySn\":\"%1\",\"tunnelOnline\":%2,\"customerId\":%3}")
        .arg(serial)
        .arg(tunnelOnline)
        .arg(customerId);
}

struct BrowserSession {
    ScopedWorkDir dir;
    SimFixture platform;
    FakeHostSystem host;
    MessageRecorder boxes;
    MainWindow window;
    Ui::MainWindow *ui = window.ui;

    explicit BrowserSession(sim::World world = sim::demoWorld()) : platform(std::move(world)) {}

    // The token hand-over of a login, without the start-up TAP check.
    bool signIn(const QString &user = demoUser, const QString &password = demoPassword)
    {
        const TokenReply reply = requestToken(user, password);
        if (!reply.token)
            return false;
        window.sessionToken = *reply.token;
        window.userName = user;
        window.userPassword = password;
        return true;
    }

    // Binds a TAP on the bind page, as the user does; the first gateway page then fills the tree.
    bool bind(const QString &serial = demoTap, const QString &password = demoTapPassword)
    {
        ui->b_tap_LineEdit->setText(serial);
        ui->b_tap_pswd_lineEdit->setText(password);
        window.on_btn_bound_tap_clicked();
        // The minute timers are driven by hand in these tests.
        window.watchdogTimer->stop();
        window.reportTimer->stop();
        return window.tapSerial == serial.toUtf8() && window.rootItem != nullptr;
    }

    // Signed in, bound, shown; the simulator's request log starts empty.
    bool start()
    {
        if (!platform.isRunning() || !signIn() || !bind())
            return false;
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return false;
        platform->clearRequests();
        return true;
    }

    sim::Gateway gatewayInWorld(const QString &serial)
    {
        sim::World world = platform->world();
        const sim::Gateway *gateway = world.findGateway(serial);
        return gateway ? *gateway : sim::Gateway();
    }

    QTreeWidgetItem *treeItem(const QString &serial) const
    {
        for (int i = 0; window.rootItem && i < window.rootItem->childCount(); ++i) {
            if (window.rootItem->child(i)->text(0) == serial)
                return window.rootItem->child(i);
        }
        return nullptr;
    }

    // A left click on the item, where the user would click it.
    void click(QTreeWidgetItem *item)
    {
        QTreeWidget *tree = ui->treeWidget;
        tree->scrollToItem(item);
        const QRect rect = tree->visualItemRect(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    }

    bool clickGateway(const QString &serial)
    {
        QTreeWidgetItem *item = treeItem(serial);
        if (!item)
            return false;
        click(item);
        return true;
    }

    // Text of the first query pair named key of the last request of an operation.
    QString lastValue(const QString &operation, const QString &key)
    {
        const QList<sim::RecordedRequest> requests = platform->requests(operation);
        return requests.isEmpty() ? QString() : requests.last().value(key);
    }
};

} // namespace browsertest
