#pragma once

#include "sim/platformsimulator.h"

#include <QByteArray>
#include <QString>

// One platform call as one console line for the people watching the demo:
//   "tunnelAlarmData  gatewaySn=TAP-DEMO-0001 warnSort=1 warnType=2  -> 100"
// Passwords never appear (passWord=***), tokens only by their first 6 characters; the reply by its
// code, or by status and size when it has none (getDownload's certificate).
namespace sim {

QString callLine(const RecordedRequest &request, int httpStatus, const QByteArray &body);

} // namespace sim
