#pragma once

#include "mainwindow/mainwindow.h"
#include "support/scene.h"
#include "ui_mainwindow.h"

QStringList childTexts(const QTreeWidgetItem *root);
// The first child of root whose icon does not show its gateway's tunnel state in world, or "".
QString wrongIcon(const QTreeWidgetItem *root, sim::World world);

// A main window in a scene (a private simulator, a fake host, recorded boxes, a temporary working
// directory). Binding goes through the bind page as the user does, so the first gateway page fills
// the tree; the minute timers are stopped, tests call their slots.
struct BoundWindow : Scene {
    MainWindow window;
    Ui::MainWindow *ui = window.ui;

    // Signed in (the token hand-over of a login), bound unless told otherwise, shown; the
    // request log starts empty.
    bool start(bool bound = true);
    sim::Gateway gateway(const QString &serial);
    // The demo customer's gateway serials in the platform's order.
    QStringList customerSerials();
    // A left click where the user would click the item.
    void click(QTreeWidgetItem *item);
    bool click(const QString &serial);
    // The first value of key in the last request of an operation.
    QString lastValue(const QString &operation, const QString &key);
    QByteArray lastQuery(const QString &operation);
};
