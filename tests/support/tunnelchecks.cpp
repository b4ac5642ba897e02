#include "support/tunnelchecks.h"

#include <QFile>

#include <sys/stat.h>

int fileMode(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
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
