#pragma once

#include <QString>

class QTreeWidget;
class QTreeWidgetItem;

// Deletes the old root item with its gateways and puts a new, expanded "Korvane" root in its place.
QTreeWidgetItem *resetGatewayTree(QTreeWidget *tree, QTreeWidgetItem *oldRoot);

// A gateway item: its serial and the tunnel's online icon; the serial is read back from the text.
QTreeWidgetItem *makeGatewayItem(const QString &gatewaySn, bool tunnelOnline);
