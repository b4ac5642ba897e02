#include "support/fakehostprocess.h"

#include "platform/hostsystem_windows.h"
#include "platform/useracl_windows.h"

#include <windows.h>

namespace fakeHostProcess {

// The stand-in is a program of the test suite (tests/windows/standin.cpp): cmd.exe would run the
// command line written to it.
bool startStandIn(QProcess &process, const QByteArray &exitOutput)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments;
    if (!exitOutput.isEmpty())
        arguments << QString::fromUtf8(exitOutput);
    process.start(QStringLiteral(KORVANE_STANDIN_PROGRAM), arguments, QIODevice::ReadWrite);
    return process.waitForStarted(5000);
}

// Windows keeps a process id while a handle to the process is open, as the client's QProcess
// holds one: the id cannot name another process yet.
void killOwnChild(qint64 processId)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(processId));
    if (!process)
        return;
    TerminateProcess(process, 1);
    CloseHandle(process);
}

QByteArray commandLine(const QString &tapSerial, const QString &managementHost, quint16 managementPort,
                       const QString &managementPasswordFile)
{
    return windowsTunnelCommandLine(QStringLiteral("openvpn.exe"), tapSerial, managementHost, managementPort,
                                    managementPasswordFile);
}

bool isPrivateToUser(const QString &path)
{
    return UserAcl::isPrivateToUser(path);
}

} // namespace fakeHostProcess
