#include "support/fakehostprocess.h"

#include "platform/hostsystem_linux.h"

#include <QFile>

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

namespace fakeHostProcess {

bool startStandIn(QProcess &process, const QByteArray &exitOutput)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString script = exitOutput.isEmpty() ? QStringLiteral("cat >/dev/null; exec sleep 600")
                                                : QStringLiteral("cat >/dev/null; printf '%s' \"$0\"");
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QString::fromUtf8(exitOutput)},
                  QIODevice::ReadWrite);
    return process.waitForStarted(5000);
}

namespace {

// True while the pid still names a child of this process (it was not reaped and reused).
bool isOwnChild(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 1).simplified().split(' ');
    return fields.size() > 1 && fields.at(1).toLongLong() == ::getpid();
}

} // namespace

void killOwnChild(qint64 processId)
{
    if (isOwnChild(processId))
        ::kill(static_cast<pid_t>(processId), SIGKILL);
}

QByteArray commandLine(const QString &tapSerial, const QString &managementHost, quint16 managementPort,
                       const QString &managementPasswordFile)
{
    return tunnelCommandLine(tapSerial, managementHost, managementPort, managementPasswordFile);
}

bool isPrivateToUser(const QString &path)
{
    return isPathPrivateToUser(path);
}

} // namespace fakeHostProcess
