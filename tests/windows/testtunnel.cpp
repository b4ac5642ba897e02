// A stand-in for openvpn.exe in the Windows host-layer tests: started through cmd.exe with the
// tunnel command line, it starts one child of its own (so that there is a tree to kill), writes
// both ids to "testtunnel.pids" in its working directory, and answers on the management port as
// the tunnel program does: the password prompt, then the state notification for "state on".
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <windows.h>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.contains(QStringLiteral("--child"))) {
        Sleep(INFINITE);
        return 0;
    }
    const int management = arguments.indexOf(QStringLiteral("--management"));
    if (management < 0 || arguments.size() < management + 4)
        return 2;
    QFile passwordFile(arguments.at(management + 3));
    if (!passwordFile.open(QIODevice::ReadOnly))
        return 3;
    const QByteArray password = passwordFile.readLine().trimmed();

    QProcess child;
    child.setProgram(application.applicationFilePath());
    child.setArguments({QStringLiteral("--child")});
    qint64 childId = 0;
    if (!child.startDetached(&childId))
        return 4;
    QFile pids(QStringLiteral("testtunnel.pids"));
    if (!pids.open(QIODevice::WriteOnly))
        return 5;
    pids.write(QByteArray::number(application.applicationPid()) + ' ' + QByteArray::number(childId) + '\n');
    pids.close();

    QTcpServer server;
    if (!server.listen(QHostAddress(arguments.at(management + 1)), quint16(arguments.at(management + 2).toUInt())))
        return 6;
    QObject::connect(&server, &QTcpServer::newConnection, [&server, password] {
        QTcpSocket *socket = server.nextPendingConnection();
        socket->write("ENTER PASSWORD:");
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, password] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine().trimmed();
                if (!socket->property("in").toBool()) {
                    if (line != password) {
                        socket->write("ERROR: bad password\r\n");
                        socket->disconnectFromHost();
                        return;
                    }
                    socket->setProperty("in", true);
                    socket->write("SUCCESS: password is correct\r\n>INFO:OpenVPN Management Interface\r\n");
                } else if (line == "state on") {
                    socket->write("SUCCESS: real-time state notification set to ON\r\n"
                                  ">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.6,192.0.2.1,1194,,\r\n");
                }
            }
        });
    });
    return application.exec();
}
