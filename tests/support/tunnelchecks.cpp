#include "support/tunnelchecks.h"

#include "support/filemode.h"

int fileMode(const QString &path)
{
    return permissionBits(path);
}

QList<int> alarmTypes(sim::PlatformSimulator &platform)
{
    QList<int> types;
    for (const sim::AlarmReport &report : platform.world().alarmReports)
        types << report.warnType;
    return types;
}

QList<int> reportedTunnelStates(sim::PlatformSimulator &platform)
{
    QList<int> online;
    for (const sim::StateReport &report : platform.world().stateReports)
        online << report.tunnelOnline;
    return online;
}
