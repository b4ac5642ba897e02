// What an earlier run of the client in this folder may have left: a tunnel program that outlived a
// crash, its management password file, the TAP password, half-written files.
#include "mainwindow/mainwindow.h"

#include "platform/hostsystem.h"
#include "tunnel/logic/managementpassword.h"
#include "tunnel/logic/tunnelfiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>

void MainWindow::clearTunnelLeftovers()
{
    stopEarlierTunnel();
    const QStringList names = QDir::current().entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (TunnelFiles::isStaleTemporary(name))
            QFile::remove(name);
    }
    // A crash between a launch and its connection left the password in place.
    forgetTunnelPassword();
}

void MainWindow::stopEarlierTunnel()
{
    const TunnelFiles::PidRecord record = TunnelFiles::readPidFile();
    if (record.processId.isEmpty())
        return;
    if (tunnelProcess->state() != QProcess::NotRunning && record.processId == interpreterProcessId())
        return; // this run's own
    // The host layer checks the command line and the working directory: a pid that went to
    // another program since is left alone.
    hostSystem().stopStrayTunnel(record.processId);
    ManagementPassword::removeLeftover(record.passwordFile);
    QFile::remove(TunnelFiles::pidFile);
}
