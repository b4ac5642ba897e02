#pragma once

#include "sim/platformsimulator.h"

#include <QList>
#include <QString>

// What the tunnel tests read back without the client's help: file rights from the file system,
// reports from the simulator's world.
int fileMode(const QString &path); // permission bits, -1 when the file is missing

// warnType of every tunnelAlarmData and tunnelOnline of every updateTunnelAndTapState received.
QList<int> alarmTypes(sim::PlatformSimulator &platform);
QList<int> reportedTunnelStates(sim::PlatformSimulator &platform);
