#pragma once

#include "support/fakehostsystem.h"
#include "support/messagerecorder.h"
#include "support/simfixture.h"
#include "support/workdir.h"

#include <QByteArray>
#include <QIcon>
#include <QMetaType>
#include <QString>

class QWidget;

// What every window test stands on: the accounts and TAPs of the simulator's demo world, a scene
// with a private platform, a fake host and recorded boxes, platform faults, and picture checks.

Q_DECLARE_METATYPE(sim::Fault)

namespace demo {
inline const QString user = QStringLiteral("demo");
inline const QString password = QStringLiteral("Demo@2026");
inline const QString tap = QStringLiteral("TAP-DEMO-0001");
inline const QString tapPassword = QStringLiteral("Tap@0001");
constexpr int customer = 1001;
// A second account of the same customer, with a TAP of its own; both need encoding in a query.
inline const QString engineer = QStringLiteral("engineer");
inline const QString engineerPassword = QStringLiteral("Field #1 & co+");
inline const QString tap2 = QStringLiteral("TAP-DEMO-0002");
inline const QString tap2Password = QStringLiteral("Tap #2 & +x");
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

// A platform fault: a forced reply code (> 0; 0 is no fault) or one of these troubles.
enum Trouble { Drop = -1, NotJson = -2, Truncated = -3, Custom = -4 };
sim::Fault fault(int codeOrTrouble, const QByteArray &customBody = QByteArray());
sim::Fault replyBody(const QByteArray &body); // fault(Custom, body)
sim::Fault droppedConnection();               // fault(Drop)

// Working directory, platform, host and message boxes; torn down after the windows of a test.
struct Scene {
    ScopedWorkDir dir;
    SimFixture platform;
    FakeHostSystem host;
    MessageRecorder boxes;

    bool isReady() const { return dir.isValid() && platform.isRunning(); }
    int requestCount(const QString &operation) { return platform->requests(operation).size(); }
};
