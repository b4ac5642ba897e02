#include "sim/operations.h"

// The client's reports: tunnel and TAP state with traffic, and tunnel alarms.
namespace sim {

Reply updateTunnelAndTapState(SimState &state, const Session &, const RecordedRequest &request)
{
    StateReport report;
    report.gatewaySn = request.value(QStringLiteral("gatewaySn"));
    report.tunnelOnline = intValue(request, QStringLiteral("tunnelOnline"), 0);
    report.tapOnline = intValue(request, QStringLiteral("tapOnline"), 0);
    report.flowData = request.value(QStringLiteral("flowData")).trimmed().toLongLong();
    state.world.stateReports.append(report);

    if (Tap *tap = state.world.findTap(report.gatewaySn)) {
        tap->tunnelOnline = report.tunnelOnline;
        tap->tapOnline = report.tapOnline;
        tap->flowTotal += report.flowData;
    }
    // The TAP's center site shows the tunnel state the client reported.
    if (Gateway *center = state.world.findGateway(report.gatewaySn))
        center->tunnelOnline = report.tunnelOnline ? 1 : 0;
    return codeReply(Success);
}

Reply tunnelAlarmData(SimState &state, const Session &, const RecordedRequest &request)
{
    AlarmReport alarm;
    alarm.gatewaySn = request.value(QStringLiteral("gatewaySn"));
    alarm.warnSort = intValue(request, QStringLiteral("warnSort"), 0);
    alarm.warnType = intValue(request, QStringLiteral("warnType"), 0);
    state.world.alarmReports.append(alarm);
    if (Tap *tap = state.world.findTap(alarm.gatewaySn))
        tap->lastWarnType = alarm.warnType;
    return codeReply(Success);
}

} // namespace sim
