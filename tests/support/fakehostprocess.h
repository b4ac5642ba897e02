#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// What the fake host system takes from the real operating system: a harmless stand-in for the
// tunnel interpreter, its kill, the command line the real host layer would write, and the check
// of owner-only files.
namespace fakeHostProcess {

// Starts a child that swallows the command line written to it and then waits (empty exitOutput)
// or prints exitOutput and ends. True when it started.
bool startStandIn(QProcess &process, const QByteArray &exitOutput);

// Kills the stand-in at once, unless the id no longer names a child of this process.
void killOwnChild(qint64 processId);

QByteArray commandLine(const QString &tapSerial, const QString &managementHost, quint16 managementPort,
                       const QString &managementPasswordFile);

bool isPrivateToUser(const QString &path);

} // namespace fakeHostProcess
