#include "browser/treeitems.h"

#include "ui/elidedtooltips.h"

#include <QFont>
#include <QIcon>
#include <QScrollBar>
#include <QStringList>
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

QStringList gatewaySerials(const QTreeWidgetItem *root)
{
    QStringList serials;
    for (int i = 0; root && i < root->childCount(); ++i)
        serials.append(root->child(i)->text(0));
    return serials;
}

QTreeWidgetItem *findGateway(const QTreeWidget *tree, const QString &serial)
{
    QTreeWidgetItem *root = tree->topLevelItem(0);
    for (int i = 0; root && !serial.isEmpty() && i < root->childCount(); ++i) {
        if (root->child(i)->text(0) == serial)
            return root->child(i);
    }
    return nullptr;
}

const char *const kKeeperName = "korvaneGatewayTreeView";

// Every rebuild (a page, a search, a binding, the minute refresh) replaces all items, which would
// drop the selection and scroll the list back to the top; this brings both back.
class GatewayTreeView : public QObject {
public:
    explicit GatewayTreeView(QTreeWidget *tree) : QObject(tree), tree(tree)
    {
        setObjectName(QLatin1String(kKeeperName));
        // The minute refresh adds its gateways without telling anyone: the insertion is the cue.
        connect(tree->model(), &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &parent) {
            if (!pending || !parent.isValid() || scheduled)
                return;
            scheduled = true;
            QMetaObject::invokeMethod(this, [this] { restore(); }, Qt::QueuedConnection);
        });
    }

    static GatewayTreeView *of(QTreeWidget *tree)
    {
        return dynamic_cast<GatewayTreeView *>(
            tree->findChild<QObject *>(QLatin1String(kKeeperName), Qt::FindDirectChildrenOnly));
    }

    void keep(const QTreeWidgetItem *oldRoot)
    {
        if (!oldRoot) {
            pending = false; // a new tree: nothing to bring back
            return;
        }
        // A refresh that failed left the root alone; what was kept before it still counts.
        if (oldRoot->childCount() == 0)
            return;
        const QTreeWidgetItem *current = tree->currentItem();
        selectedSerial =
            current && current->parent() == oldRoot && current->isSelected() ? current->text(0) : QString();
        scrollPosition = tree->verticalScrollBar()->value();
        serials = gatewaySerials(oldRoot);
        pending = true;
    }

    void restore()
    {
        scheduled = false;
        const QTreeWidgetItem *root = tree->topLevelItem(0);
        if (!pending || !root || root->childCount() == 0)
            return;
        pending = false;
        QTreeWidgetItem *selected = findGateway(tree, selectedSerial);
        if (selected)
            tree->setCurrentItem(selected);
        if (selected || gatewaySerials(root) == serials) {
            tree->doItemsLayout(); // the scroll range follows the new items only after the layout
            tree->verticalScrollBar()->setValue(scrollPosition);
        }
    }

private:
    QTreeWidget *tree;
    bool pending = false;
    bool scheduled = false;
    QString selectedSerial;
    int scrollPosition = 0;
    QStringList serials;
};
} // namespace

QTreeWidgetItem *resetGatewayTree(QTreeWidget *tree, QTreeWidgetItem *oldRoot)
{
    GatewayTreeView *view = GatewayTreeView::of(tree);
    if (!view) {
        view = new GatewayTreeView(tree);
        showFullTextOfElidedItems(tree);
    }
    view->keep(oldRoot);
    delete oldRoot;
    auto *root = new QTreeWidgetItem(QStringList(QStringLiteral("Korvane")));
    root->setFont(0, treeFont());
    tree->addTopLevelItem(root);
    tree->expandAll();
    return root;
}

void restoreGatewayTreeView(QTreeWidget *tree)
{
    if (GatewayTreeView *view = GatewayTreeView::of(tree))
        view->restore();
}

void selectGateway(QTreeWidget *tree, const QString &serial)
{
    if (QTreeWidgetItem *item = findGateway(tree, serial)) {
        tree->setCurrentItem(item);
        return;
    }
    tree->clearSelection();
    tree->setCurrentItem(nullptr);
}

QTreeWidgetItem *makeGatewayItem(const QString &gatewaySn, bool tunnelOnline)
{
    auto *item = new QTreeWidgetItem(QStringList(gatewaySn));
    item->setFont(0, treeFont());
    item->setIcon(0, onlineIcon(tunnelOnline));
    return item;
}
