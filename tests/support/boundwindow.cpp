#include "support/boundwindow.h"

#include "api/sessiontoken.h"
#include "support/bindinghelpers.h"

#include <QTest>
#include <QTimer>

QStringList childTexts(const QTreeWidgetItem *root)
{
    QStringList texts;
    for (int i = 0; root && i < root->childCount(); ++i)
        texts.append(root->child(i)->text(0));
    return texts;
}

QString wrongIcon(const QTreeWidgetItem *root, sim::World world)
{
    for (int i = 0; root && i < root->childCount(); ++i) {
        const sim::Gateway *gateway = world.findGateway(root->child(i)->text(0));
        if (!gateway || !isIcon(root->child(i)->icon(0), gateway->tunnelOnline ? picture::on : picture::off))
            return root->child(i)->text(0);
    }
    return QString();
}

bool BoundWindow::start(bool bound)
{
    const TokenReply reply = requestToken(demo::user, demo::password);
    window.sessionToken = reply.token.value_or(QByteArray());
    window.userName = demo::user;
    window.userPassword = demo::password;
    window.tapSerial = QByteArrayLiteral("unbound");
    if (bound) {
        bindingtest::bindManually(window, demo::tap, demo::tapPassword);
        window.watchdogTimer->stop();
        window.reportTimer->stop();
        // The binding opens the tunnel; the fake tunnel program reports it connected.
        (void)QTest::qWaitFor([this] { return window.tunnelConnected; }, 5000);
    }
    window.show();
    platform->clearRequests();
    return platform.isRunning() && reply.token && bound == (window.tapSerial == demo::tap.toUtf8()) &&
           bound == window.tunnelConnected &&
           bound == (window.rootItem != nullptr) && QTest::qWaitForWindowExposed(&window);
}

sim::Gateway BoundWindow::gateway(const QString &serial)
{
    sim::World world = platform->world();
    const sim::Gateway *found = world.findGateway(serial);
    return found ? *found : sim::Gateway();
}

QStringList BoundWindow::customerSerials()
{
    QStringList serials;
    for (const sim::Gateway &gateway : platform->world().gateways) {
        if (gateway.customerId == demo::customer)
            serials.append(gateway.gatewaySn);
    }
    return serials;
}

void BoundWindow::click(QTreeWidgetItem *target)
{
    ui->treeWidget->scrollToItem(target);
    QTest::mouseClick(ui->treeWidget->viewport(), Qt::LeftButton, Qt::NoModifier,
                      ui->treeWidget->visualItemRect(target).center());
}

bool BoundWindow::click(const QString &serial)
{
    const QList<QTreeWidgetItem *> found = ui->treeWidget->findItems(serial, Qt::MatchExactly | Qt::MatchRecursive);
    if (!found.isEmpty())
        click(found.first());
    return !found.isEmpty();
}

QString BoundWindow::lastValue(const QString &operation, const QString &key)
{
    const QList<sim::RecordedRequest> requests = platform->requests(operation);
    return requests.isEmpty() ? QString() : requests.last().value(key);
}

QByteArray BoundWindow::lastQuery(const QString &operation)
{
    const QList<sim::RecordedRequest> requests = platform->requests(operation);
    return requests.isEmpty() ? QByteArray() : requests.last().rawQuery;
}
