#pragma once

#include "mainwindow/mainwindow.h"
#include "support/fakehostsystem.h"
#include "support/messagerecorder.h"
#include "support/simfixture.h"
#include "support/workdir.h"
#include "ui_mainwindow.h"

Q_DECLARE_METATYPE(sim::Fault)

// The demo account and TAP of the simulator's demo world.
namespace demo {
inline const QString user = QStringLiteral("demo");
inline const QString password = QStringLiteral("Demo@2026");
inline const QString tap = QStringLiteral("TAP-DEMO-0001");
constexpr int customer = 1001;
} // namespace demo

namespace picture {
inline const QString on = QStringLiteral(":/image/VPN_ON.png");
inline const QString off = QStringLiteral(":/image/VPN_OFF.png");
inline const QString right = QStringLiteral(":/image/对.png");
inline const QString wrong = QStringLiteral(":/image/错.png");
} // namespace picture

// Whether a label (or the label inside a device status cell) or an icon shows exactly the picture
// of a resource.
bool showsPicture(const QWidget *widget, const QString &resource);
bool isIcon(const QIcon &icon, const QString &resource);
QStringList childTexts(const QTreeWidgetItem *root);
// The first child of root whose icon does not show its gateway's tunnel state in world, or "".
QString wrongIcon(const QTreeWidgetItem *root, sim::World world);

// Simulator faults: a forced reply code, a broken or custom body, a dropped connection.
sim::Fault fault(int code);
sim::Fault fault(sim::Fault::Body body, const QByteArray &customBody = QByteArray());
sim::Fault replyBody(const QByteArray &body);
sim::Fault droppedConnection();

// A main window against a private simulator, with a fake host, a message recorder and a temporary
// working directory. Binding goes through the bind page as the user does, so the first gateway page
// fills the tree; the minute timers are stopped, tests call their slots.
struct BoundWindow {
    ScopedWorkDir dir;
    SimFixture platform;
    FakeHostSystem host;
    MessageRecorder boxes;
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
    int requestCount(const QString &operation) { return platform->requests(operation).size(); }
    // The first value of key in the last request of an operation.
    QString lastValue(const QString &operation, const QString &key);
    QByteArray lastQuery(const QString &operation);
};
