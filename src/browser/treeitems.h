#pragma once

#include <QString>

class QTreeWidget;
class QTreeWidgetItem;

// Deletes the old root item with its gateways and puts a new, expanded "Korvane" root in its place.
// What the user had in view comes back once the gateways are in again: the selected gateway when
// it is among them, and the scroll position when it is the same page (the selected gateway is
// there, or the same gateways in the same order). That happens when control returns to the event
// loop, or at once through restoreGatewayTreeView.
QTreeWidgetItem *resetGatewayTree(QTreeWidget *tree, QTreeWidgetItem *oldRoot);

// Brings back what resetGatewayTree kept, now that the rebuild has added its gateways.
void restoreGatewayTreeView(QTreeWidget *tree);

// Puts the selection on the gateway with this serial; clears it when the tree has no such gateway.
void selectGateway(QTreeWidget *tree, const QString &serial);

// A gateway item: its serial and the tunnel's online icon; the serial is read back from the text.
QTreeWidgetItem *makeGatewayItem(const QString &gatewaySn, bool tunnelOnline);
