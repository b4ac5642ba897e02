#include "browser/treeitems.h"

#include <QFont>
#include <QIcon>
#include <QTreeWidget>

namespace {
QFont treeFont()
{
    QFont font(QStringLiteral("Calibri"), 13);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

// Decoding a picture once instead of once per item keeps large fills fast.
const QIcon &onlineIcon(bool online)
{
    static const QIcon on(QStringLiteral(":/image/VPN_ON.png"));
    static const QIcon off(QStringLiteral(":/image/VPN_OFF.png"));
    return online ? on : off;
}
} // namespace

QTreeWidgetItem *resetGatewayTree(QTreeWidget *tree, QTreeWidgetItem *oldRoot)
{
    delete oldRoot;
    auto *root = new QTreeWidgetItem(QStringList(QStringLiteral("Korvane")));
    root->setFont(0, treeFont());
    tree->addTopLevelItem(root);
    tree->expandAll();
    return root;
}

QTreeWidgetItem *makeGatewayItem(const QString &gatewaySn, bool tunnelOnline)
{
    auto *item = new QTreeWidgetItem(QStringList(gatewaySn));
    item->setFont(0, treeFont());
    item->setIcon(0, onlineIcon(tunnelOnline));
    return item;
}
